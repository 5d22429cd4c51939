// Brushes: solid, hollow, hatched and pattern brushes, and their realization as rows of pattern pixels.
#include "gdi/dib.h"
#include "gdi/raster.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace platform::gdi {
namespace {

// GDI's hatch patterns, 8 x 8, rows from the top, bit 7 the leftmost pixel; a set bit is a hatch line.
// They tile from the brush origin like any pattern.
constexpr BYTE kHatches[6][8] = {
    {0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00}, /* HS_HORIZONTAL: the fourth row */
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08}, /* HS_VERTICAL: the fifth column */
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01}, /* HS_FDIAGONAL: top left to bottom right */
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80}, /* HS_BDIAGONAL: bottom left to top right */
    {0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08, 0x08}, /* HS_CROSS: horizontal and vertical */
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81}, /* HS_DIAGCROSS: both diagonals */
};

// The default palette's 20 static colours, as COLORREF.
constexpr COLORREF kDefaultPalette[20] = {
    RGB(0x00, 0x00, 0x00), RGB(0x80, 0x00, 0x00), RGB(0x00, 0x80, 0x00), RGB(0x80, 0x80, 0x00),
    RGB(0x00, 0x00, 0x80), RGB(0x80, 0x00, 0x80), RGB(0x00, 0x80, 0x80), RGB(0xC0, 0xC0, 0xC0),
    RGB(0xC0, 0xDC, 0xC0), RGB(0xA6, 0xCA, 0xF0), RGB(0xFF, 0xFB, 0xF0), RGB(0xA0, 0xA0, 0xA4),
    RGB(0x80, 0x80, 0x80), RGB(0xFF, 0x00, 0x00), RGB(0x00, 0xFF, 0x00), RGB(0xFF, 0xFF, 0x00),
    RGB(0x00, 0x00, 0xFF), RGB(0xFF, 0x00, 0xFF), RGB(0x00, 0xFF, 0xFF), RGB(0xFF, 0xFF, 0xFF),
};

HBRUSH AddBrush(std::shared_ptr<BrushObject> brush) { return static_cast<HBRUSH>(AddObject(std::move(brush))); }

HBRUSH NewBrush(BrushKind kind, COLORREF color, int hatch) {
  auto brush = std::make_shared<BrushObject>();
  brush->brushKind = kind;
  brush->color = color;
  brush->hatch = hatch;
  return AddBrush(brush);
}

// The hatch styles past HS_DIAGCROSS give a solid brush of the colour, as GDI does.
HBRUSH NewHatchBrush(unsigned hatch, COLORREF color) {
  if (hatch > HS_DIAGCROSS) return NewBrush(BrushKind::solid, color, 0);
  return NewBrush(BrushKind::hatched, color, static_cast<int>(hatch));
}

// Fills `out` with the 24-bit pixel at column x of a row expanded by the caller.
inline void CopyPixel(BYTE *out, const BYTE *in) {
  out[0] = in[0];
  out[1] = in[1];
  out[2] = in[2];
}

int Mod(long long value, int modulus) {
  long long r = value % modulus;
  return static_cast<int>(r < 0 ? r + modulus : r);
}

// Repeats the first `period` bytes of `buffer` until it holds `bytes` bytes.
void RepeatPeriod(BYTE *buffer, size_t period, size_t bytes) {
  size_t filled = period;
  while (filled < bytes) {
    size_t chunk = std::min(filled, bytes - filled);
    std::memcpy(buffer + filled, buffer, chunk);
    filled += chunk;
  }
}

}  // namespace

COLORREF ResolveColor(COLORREF color) {
  if ((color >> 24) == 0x10) return color & 0x00FFFFFF;  // DIBINDEX: the value itself on a 24-bit bitmap
  if (color & 0x01000000) {
    WORD index = LOWORD(color);
    return index < 20 ? kDefaultPalette[index] : kDefaultPalette[0];
  }
  return color & 0x00FFFFFF;
}

BrushRows::BrushRows(const BrushObject &brush, const DcObject &dc) : origin_(dc.brushOrigin) {
  switch (brush.brushKind) {
    case BrushKind::hollow:
      hollow_ = true;
      tile_.assign(3, 0);
      break;
    case BrushKind::solid:
      tile_.resize(3);
      PutPixel(tile_.data(), ResolveColor(brush.color));
      break;
    case BrushKind::hatched: {
      tileWidth_ = tileHeight_ = 8;
      tile_.resize(8 * 8 * 3);
      COLORREF line = ResolveColor(brush.color), space = ResolveColor(dc.bkColor);
      bool transparent = dc.bkMode == TRANSPARENT;
      if (transparent) tileMask_.resize(64);
      for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
          bool isLine = (kHatches[brush.hatch][y] >> (7 - x)) & 1;
          PutPixel(&tile_[(y * 8 + x) * 3], isLine ? line : space);
          if (transparent) tileMask_[y * 8 + x] = isLine;
        }
      }
      break;
    }
    case BrushKind::pattern:
      tileWidth_ = brush.patternWidth;
      tileHeight_ = brush.patternHeight;
      tile_ = brush.pattern;
      break;
  }
}

const BYTE *BrushRows::Row(int y, int x0, int pixels) {
  int tileRow = Mod(static_cast<long long>(y) - origin_.y, tileHeight_);
  if (x0 != rowKeyX_ || pixels != rowKeyN_) {
    // A new span: forget the rows expanded for the old one. Short tiles keep every expanded row, so
    // a fill expands each tile row once; taller ones keep the last.
    rowKeyX_ = x0;
    rowKeyN_ = pixels;
    rows_.assign(tileHeight_ <= kCachedTileRows ? tileHeight_ : 1, {});
    rowTiles_.assign(rows_.size(), -1);
  }
  size_t slot = rows_.size() == 1 ? 0 : static_cast<size_t>(tileRow);
  std::vector<BYTE> &row = rows_[slot];
  if (rowTiles_[slot] == tileRow) return row.data();
  size_t bytes = static_cast<size_t>(pixels) * 3;
  // One period of the tile row, starting at the column that lands on x0, then repeated.
  size_t period = static_cast<size_t>(tileWidth_) * 3;
  row.resize(std::max(bytes, period));
  const BYTE *source = &tile_[static_cast<size_t>(tileRow) * period];
  int column = Mod(static_cast<long long>(x0) - origin_.x, tileWidth_);
  for (int k = 0; k < tileWidth_; ++k) CopyPixel(&row[k * 3], &source[((column + k) % tileWidth_) * 3]);
  RepeatPeriod(row.data(), period, bytes);
  rowTiles_[slot] = tileRow;
  return row.data();
}

const BYTE *BrushRows::Mask(int y, int x0, int pixels) {
  if (tileMask_.empty()) return nullptr;
  if (maskRow_.size() < static_cast<size_t>(std::max(pixels, tileWidth_))) maskRow_.resize(std::max(pixels, tileWidth_));
  const BYTE *tileRow = &tileMask_[static_cast<size_t>(Mod(static_cast<long long>(y) - origin_.y, tileHeight_)) * tileWidth_];
  int column = Mod(static_cast<long long>(x0) - origin_.x, tileWidth_);
  for (int k = 0; k < tileWidth_; ++k) maskRow_[k] = tileRow[(column + k) % tileWidth_];
  RepeatPeriod(maskRow_.data(), tileWidth_, pixels);
  return maskRow_.data();
}

}  // namespace platform::gdi

using namespace platform::gdi;

HBRUSH WINAPI CreateSolidBrush(COLORREF color) { return NewBrush(BrushKind::solid, color, 0); }

HBRUSH WINAPI CreateHatchBrush(int iHatch, COLORREF color) {
  if (iHatch < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return NewHatchBrush(static_cast<unsigned>(iHatch), color);
}

HBRUSH WINAPI CreateBrushIndirect(const LOGBRUSH *plbrush) {
  if (!plbrush) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  switch (plbrush->lbStyle) {
    case BS_SOLID: return NewBrush(BrushKind::solid, plbrush->lbColor, 0);
    case BS_NULL: return NewBrush(BrushKind::hollow, 0, 0);
    case BS_HATCHED: return NewHatchBrush(plbrush->lbHatch, plbrush->lbColor);
    default:
      // The pattern styles carry a bitmap handle or a DIB address in lbHatch. Callers of this layer pass
      // record values there, which are neither: those styles are refused rather than dereferenced.
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
  }
}

HBRUSH WINAPI CreatePatternBrush(HBITMAP hbm) {
  auto bitmap = LookupObjectAs<BitmapObject>(hbm);
  if (!bitmap) return nullptr;
  const Surface &surface = bitmap->surface;
  auto brush = std::make_shared<BrushObject>();
  brush->brushKind = BrushKind::pattern;
  brush->patternWidth = surface.width;
  brush->patternHeight = surface.height;
  size_t rowBytes = static_cast<size_t>(surface.width) * 3;
  // The brush keeps its own copy: the bitmap may be deleted while the brush lives on.
  brush->pattern.resize(rowBytes * surface.height);
  for (int y = 0; y < surface.height; ++y) std::memcpy(&brush->pattern[y * rowBytes], surface.Row(y), rowBytes);
  return AddBrush(brush);
}

HBRUSH WINAPI CreateDIBPatternBrushPt(const VOID *lpPackedDIB, UINT iUsage) {
  if (!lpPackedDIB) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto brush = std::make_shared<BrushObject>();
  brush->brushKind = BrushKind::pattern;
  if (!DecodePackedDib(static_cast<const BITMAPINFO *>(lpPackedDIB), iUsage, nullptr, brush->patternWidth,
                       brush->patternHeight, brush->pattern)) {
    return nullptr;
  }
  return AddBrush(brush);
}
