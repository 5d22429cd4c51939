// A pixel-at-a-time model of the raster layer's rules, written independently of its row engine, for
// randomized comparisons: each canvas pixel is computed on its own from the rule that defines it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "canvas.h"

namespace gdi_test {

inline BYTE ModelRop(BYTE rop3, BYTE p, BYTE s, BYTE d) {
  BYTE r = 0;
  for (int bit = 0; bit < 8; ++bit) {
    int index = ((p >> bit) & 1) << 2 | ((s >> bit) & 1) << 1 | ((d >> bit) & 1);
    r |= ((rop3 >> index) & 1) << bit;
  }
  return r;
}

// A brush as the model sees it.
struct ModelBrush {
  enum Kind { solid, hatched, pattern, hollow } kind = solid;
  COLORREF color = 0;
  int hatch = 0;
  int patternWidth = 0, patternHeight = 0;
  std::vector<COLORREF> pixels;  // top-down
};

// GDI's hatch lines, as seen on screen: is (x, y) of the 8 x 8 tile on a line of the style?
inline bool OnHatchLine(int style, int x, int y) {
  switch (style) {
    case HS_HORIZONTAL: return y == 3;
    case HS_VERTICAL: return x == 4;
    case HS_FDIAGONAL: return x == y;
    case HS_BDIAGONAL: return x + y == 7;
    case HS_CROSS: return x == 4 || y == 3;
    default: return x == y || x + y == 7;
  }
}

inline int Wrap(int v, int m) { return ((v % m) + m) % m; }

// The brush colour at canvas (x, y); `painted` is false where a transparent hatch leaves the canvas alone.
inline COLORREF BrushAt(const ModelBrush &brush, int x, int y, COLORREF bk, bool transparent, bool &painted) {
  painted = true;
  switch (brush.kind) {
    case ModelBrush::hatched: {
      bool line = OnHatchLine(brush.hatch, Wrap(x, 8), Wrap(y, 8));
      painted = line || !transparent;
      return line ? brush.color : bk;
    }
    case ModelBrush::pattern:
      return brush.pixels[Wrap(y, brush.patternHeight) * brush.patternWidth + Wrap(x, brush.patternWidth)];
    default:
      return brush.color;
  }
}

inline COLORREF ApplyRop(BYTE rop3, COLORREF p, COLORREF s, COLORREF d) {
  return RGB(ModelRop(rop3, GetRValue(p), GetRValue(s), GetRValue(d)),
             ModelRop(rop3, GetGValue(p), GetGValue(s), GetGValue(d)),
             ModelRop(rop3, GetBValue(p), GetBValue(s), GetBValue(d)));
}

// Destination index j of n maps to the source indices [first, last] of m (stretch: one; shrink: all
// those that land on j).
inline void SourceGroup(long long j, long long n, long long m, long long &first, long long &last) {
  if (n >= m) {
    first = last = ((2 * j + 1) * m - 1) / (2 * n);
    return;
  }
  first = -1;
  last = -2;
  for (long long i = 0; i < m; ++i) {
    if (((2 * i + 1) * n - 1) / (2 * m) == j) {
      if (first < 0) first = i;
      last = i;
    }
  }
}

}  // namespace gdi_test
