// A pixel-at-a-time model of the raster layer's rules, written independently of its row engine, for
// randomized comparisons: each canvas pixel is computed on its own from the rule that defines it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
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

// How a random brush's colour pattern reaches GDI: a packed DIB of any size up to 11 x 11
// (CreateDIBPatternBrushPt), or an 8 x 8 bitmap (CreatePatternBrush).
enum class RandomPattern { packedDib, bitmap8x8 };

// A random solid, hatched or pattern brush, created through GDI and described in `brush` for the model.
inline HBRUSH CreateRandomBrush(Random &random, RandomPattern patterns, ModelBrush &brush) {
  brush = ModelBrush{};
  brush.color = random.Next() & 0xFFFFFF;
  switch (random.Between(0, 2)) {
    case 0: return CreateSolidBrush(brush.color);
    case 1:
      brush.kind = ModelBrush::hatched;
      brush.hatch = random.Between(0, 5);
      return CreateHatchBrush(brush.hatch, brush.color);
    default: break;
  }
  brush.kind = ModelBrush::pattern;
  if (patterns == RandomPattern::bitmap8x8) {
    brush.patternWidth = brush.patternHeight = 8;
    std::vector<BYTE> bits(8 * 24);  // rows top-down, 24 bytes each
    for (int k = 0; k < 64; ++k) {
      COLORREF c = random.Next() & 0xFFFFFF;
      brush.pixels.push_back(c);
      bits[k * 3] = GetBValue(c), bits[k * 3 + 1] = GetGValue(c), bits[k * 3 + 2] = GetRValue(c);
    }
    HBITMAP bitmap = CreateBitmap(8, 8, 1, 24, bits.data());
    HBRUSH handle = CreatePatternBrush(bitmap);
    DeleteObject(bitmap);
    return handle;
  }
  brush.patternWidth = random.Between(1, 11);
  brush.patternHeight = random.Between(1, 11);
  int stride = (3 * brush.patternWidth + 3) & ~3;
  std::vector<BYTE> packed(40 + stride * brush.patternHeight);
  BITMAPINFOHEADER header = {40, brush.patternWidth, brush.patternHeight, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  std::memcpy(packed.data(), &header, 40);
  for (int y = 0; y < brush.patternHeight; ++y)
    for (int x = 0; x < brush.patternWidth; ++x) {
      COLORREF c = random.Next() & 0xFFFFFF;
      brush.pixels.push_back(c);
      BYTE *p = packed.data() + 40 + (brush.patternHeight - 1 - y) * stride + 3 * x;  // bottom-up
      p[0] = GetBValue(c), p[1] = GetGValue(c), p[2] = GetRValue(c);
    }
  return CreateDIBPatternBrushPt(packed.data(), DIB_RGB_COLORS);
}

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
