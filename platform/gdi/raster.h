// The pixel engine behind the blits and fills: ternary raster operations over rows of bytes, brushes
// realized as rows of pattern pixels, and colour resolution.
#pragma once

#include "gdi/dc.h"

#include <cstddef>
#include <vector>

namespace platform::gdi {

// ---- Ternary raster operations ----
// A ROP3 is the 8-bit truth table in bits 16..23 of a raster-operation code: bit 4P + 2S + D holds the
// result for pattern bit P, source bit S and destination bit D. The low word (the drivers' operation
// code) carries nothing the result depends on.

constexpr BYTE Rop3Of(DWORD rop) { return static_cast<BYTE>(rop >> 16); }
constexpr bool RopUsesPattern(BYTE rop3) { return ((rop3 >> 4) ^ rop3) & 0x0F; }
constexpr bool RopUsesSource(BYTE rop3) { return ((rop3 >> 2) ^ rop3) & 0x33; }
constexpr bool RopUsesDestination(BYTE rop3) { return ((rop3 >> 1) ^ rop3) & 0x55; }

// The plain rule, bit by bit: the reference every faster path is checked against.
BYTE RopByte(BYTE rop3, BYTE pattern, BYTE source, BYTE destination);
void GeneralRopRow(BYTE rop3, BYTE *dst, const BYTE *src, const BYTE *pat, size_t bytes);

// The fast kernel of an operation: dst[i] = f(pat[i], src[i], dst[i]) over whole rows, 16 bytes at a time.
// src and pat may be null when the operation does not read them.
using RopRowFn = void (*)(BYTE *dst, const BYTE *src, const BYTE *pat, size_t bytes);
RopRowFn FastRopRow(BYTE rop3);

// Halving across, the common shrink: out pixel k is pixels 2k and 2k + 1 of rows a and b (b may be a)
// combined by AND (or OR). Reads only the 6 * pixels bytes of each row; writes 3 * pixels bytes and up to
// 16 more (the caller's spare).
using HalveRowFn = void (*)(bool useAnd, const BYTE *a, const BYTE *b, BYTE *out, int pixels);
void PlainHalveRow(bool useAnd, const BYTE *a, const BYTE *b, BYTE *out, int pixels);
void Sse2HalveRow(bool useAnd, const BYTE *a, const BYTE *b, BYTE *out, int pixels);
void Ssse3HalveRow(bool useAnd, const BYTE *a, const BYTE *b, BYTE *out, int pixels);  // only where supported
bool HaveSsse3();
HalveRowFn FastHalveRow();  // the fastest the processor runs

// PATCOPY with one colour: `pixels` pixels of the blue, green, red bytes at bgr.
void FillSolidRow(BYTE *dst, const BYTE *bgr, int pixels);

// ---- Colours ----

// The 24-bit colour a COLORREF paints on a 24-bit bitmap: palette indices (bit 24) select from the
// default 20-colour palette (an index past it gives black); every other form keeps its low 24 bits.
COLORREF ResolveColor(COLORREF color);

// ---- Brushes realized on a context ----

// A brush as rows of pattern bytes for one context: hatch spaces take the context's background colour,
// and in TRANSPARENT mode they are left out (mask). Patterns tile from the context's brush origin.
class BrushRows {
 public:
  BrushRows(const BrushObject &brush, const DcObject &dc);

  bool Hollow() const { return hollow_; }
  // The colour of a brush that paints every pixel alike (blue, green, red), or null.
  const BYTE *Solid() const { return !hollow_ && tileWidth_ == 1 && tileHeight_ == 1 && tileMask_.empty() ? tile_.data() : nullptr; }
  // Pattern bytes for canvas row y, columns x0 .. x0 + pixels - 1 (valid until the next call).
  const BYTE *Row(int y, int x0, int pixels);
  // Per pixel 1 where the brush paints, 0 where it leaves the canvas alone; null when it paints all.
  const BYTE *Mask(int y, int x0, int pixels);

 private:
  bool hollow_ = false;
  int tileWidth_ = 1;
  int tileHeight_ = 1;
  std::vector<BYTE> tile_;      // tileHeight_ rows of 3 * tileWidth_ bytes, top row first
  std::vector<BYTE> tileMask_;  // tileHeight_ rows of tileWidth_ bytes; empty when every pixel paints
  POINT origin_ = {0, 0};
  static constexpr int kCachedTileRows = 64;
  std::vector<std::vector<BYTE>> rows_;  // expanded tile rows for the span (rowKeyX_, rowKeyN_)
  std::vector<int> rowTiles_;            // the tile row each entry of rows_ holds, -1 for none
  std::vector<BYTE> maskRow_;
  int rowKeyX_ = 0, rowKeyN_ = -1;
};

// ---- Row combination ----

// Combines `pixels` pixels of one canvas row with the pattern (and source) by the operation; where a
// mask is given, only pixels whose mask byte is set change.
void CombineRow(BYTE rop3, BYTE *dst, const BYTE *src, const BYTE *pat, const BYTE *mask, int pixels);

// Paints a rectangle of the context's bitmap (canvas coordinates, left/top inclusive, right/bottom
// exclusive, already normalised) with a brush under an operation that reads no source. Clips to the
// canvas.
void PaintRect(DcObject &dc, RECT rect, const BrushObject &brush, BYTE rop3);

// Normalises a GDI extent: a negative width covers x + width + 1 .. x, as GDI lays mirrored blits.
inline void NormaliseSpan(long long &start, long long &extent) {
  if (extent < 0) {
    start += extent + 1;
    extent = -extent;
  }
}

}  // namespace platform::gdi
