// StretchDIBits: a DIB copied, stretched, shrunk or mirrored onto the canvas under any of the 256
// ternary raster operations.
//
// Each axis is mapped once, as if nothing were clipped: destination pixel j of n shows source pixel
// ((2j + 1) * m - 1) / (2n) of m when stretching; when shrinking, source pixel i lands on destination
// pixel ((2i + 1) * n - 1) / (2m) and every source pixel landing on the same one is combined by the
// stretch mode (BLACKONWHITE: AND). A negative extent mirrors the axis and covers x + extent + 1 .. x.
// Clipping then keeps the destination pixels that are on the canvas and whose source lies in the image.
#include "gdi/dib.h"
#include "gdi/raster.h"

#include <algorithm>
#include <cstring>

namespace platform::gdi {
namespace {

// One axis of the mapping, for the destination pixels that are drawn, in canvas order.
struct AxisMap {
  long long start = 0;       // canvas coordinate of the first pixel drawn
  std::vector<int> first;    // lowest image coordinate of each pixel's source group
  std::vector<int> count;    // pixels in the group (>= 1)
  std::vector<int> chosen;   // the group's member a stretch mode that keeps one pixel keeps
  int Size() const { return static_cast<int>(first.size()); }
};

// First source index of destination index j when m source pixels shrink onto n (m > n).
unsigned long long GroupStart(unsigned long long j, unsigned long long m, unsigned long long n) {
  unsigned long long need = 2 * m * j + 1;  // (2i + 1) * n - 1 >= 2mj
  return need <= n ? 0 : (need - n + 2 * n - 1) / (2 * n);
}

// Maps destination extent (d0, dn) on a canvas axis of `canvas` pixels to source extent (s0, sn) in
// image coordinates; source pixels outside [lo, hi) are absent.
AxisMap MapAxis(long long d0, long long dn, long long s0, long long sn, int canvas, long long lo, long long hi) {
  AxisMap map;
  unsigned long long n = static_cast<unsigned long long>(dn < 0 ? -dn : dn);
  unsigned long long m = static_cast<unsigned long long>(sn < 0 ? -sn : sn);
  long long dmin = dn > 0 ? d0 : d0 + dn + 1, dmax = dmin + static_cast<long long>(n);
  long long c0 = std::max<long long>(dmin, 0), c1 = std::min<long long>(dmax, canvas);
  bool started = false;
  for (long long c = c0; c < c1; ++c) {
    unsigned long long j = static_cast<unsigned long long>(dn > 0 ? c - d0 : d0 - c);
    unsigned long long i0, i1;
    if (n >= m) {
      i0 = ((2 * j + 1) * m - 1) / (2 * n);
      i1 = i0 + 1;
    } else {
      i0 = GroupStart(j, m, n);
      i1 = j + 1 == n ? m : GroupStart(j + 1, m, n);
    }
    // The group in image coordinates, then clipped to the pixels that are there.
    long long a = sn > 0 ? s0 + static_cast<long long>(i0) : s0 - static_cast<long long>(i1) + 1;
    long long b = sn > 0 ? s0 + static_cast<long long>(i1) : s0 - static_cast<long long>(i0) + 1;
    a = std::max(a, lo);
    b = std::min(b, hi);
    if (a >= b) {
      if (started) break;  // the mapping is monotonic: nothing further is inside
      continue;
    }
    if (!started) map.start = c;
    started = true;
    map.first.push_back(static_cast<int>(a));
    map.count.push_back(static_cast<int>(b - a));
    // The last source pixel in the order the blit walks the source.
    map.chosen.push_back(static_cast<int>(sn > 0 ? b - 1 : a));
  }
  return map;
}

// How the source pixels of one destination pixel combine.
enum class Combine { all_and, all_or, keep_one };

Combine CombineOf(int stretchMode) {
  switch (stretchMode) {
    case WHITEONBLACK: return Combine::all_or;
    case COLORONCOLOR: return Combine::keep_one;
    default: return Combine::all_and;
  }
}

void Merge(Combine how, BYTE *into, const BYTE *from, size_t bytes) {
  if (how == Combine::all_and) {
    for (size_t k = 0; k < bytes; ++k) into[k] &= from[k];
  } else {
    for (size_t k = 0; k < bytes; ++k) into[k] |= from[k];
  }
}

// Builds the source pixels of one destination row: the row group combined, then the column map applied.
class SourceRows {
 public:
  SourceRows(const DibSource &dib, const AxisMap &columns, Combine how)
      : dib_(dib), columns_(columns), how_(how) {
    lo_ = columns.first.front();
    hi_ = columns.first.back() + columns.count.back();
    for (int k = 0; k < columns.Size(); ++k) {
      lo_ = std::min(lo_, columns.first[k]);
      hi_ = std::max(hi_, columns.first[k] + columns.count[k]);
    }
    // The plain case: every destination column shows the next source column.
    identity_ = hi_ - lo_ == columns.Size();
    for (int k = 0; identity_ && k < columns.Size(); ++k) identity_ = columns.count[k] == 1 && columns.first[k] == lo_ + k;
    combined_.resize(static_cast<size_t>(hi_ - lo_) * 3);
    decoded_.resize(combined_.size());
    span_.resize(static_cast<size_t>(columns.Size()) * 3);
  }

  // The source pixels for destination row with source rows [first, first + count), chosen row `keep`.
  const BYTE *Row(int first, int count, int keep) {
    if (first == cachedFirst_ && count == cachedCount_) return result_;
    cachedFirst_ = first;
    cachedCount_ = count;
    const BYTE *rows = CombinedRows(first, count, keep);
    result_ = identity_ ? rows : ApplyColumns(rows);
    return result_;
  }

 private:
  const BYTE *SourceRow(int y, BYTE *scratch) {
    if (const BYTE *row = dib_.Row24(y)) return row + static_cast<size_t>(lo_) * 3;
    dib_.DecodeRow(y, lo_, hi_ - lo_, scratch);
    return scratch;
  }

  const BYTE *CombinedRows(int first, int count, int keep) {
    if (count == 1 || how_ == Combine::keep_one) return SourceRow(how_ == Combine::keep_one ? keep : first, combined_.data());
    const BYTE *row = SourceRow(first, combined_.data());
    if (row != combined_.data()) std::memcpy(combined_.data(), row, combined_.size());
    for (int y = first + 1; y < first + count; ++y) Merge(how_, combined_.data(), SourceRow(y, decoded_.data()), combined_.size());
    return combined_.data();
  }

  const BYTE *ApplyColumns(const BYTE *rows) {
    for (int k = 0; k < columns_.Size(); ++k) {
      BYTE *out = &span_[static_cast<size_t>(k) * 3];
      int pick = how_ == Combine::keep_one ? columns_.chosen[k] : columns_.first[k];
      std::memcpy(out, rows + static_cast<size_t>(pick - lo_) * 3, 3);
      if (how_ == Combine::keep_one) continue;
      for (int c = columns_.first[k] + 1; c < columns_.first[k] + columns_.count[k]; ++c) {
        Merge(how_, out, rows + static_cast<size_t>(c - lo_) * 3, 3);
      }
    }
    return span_.data();
  }

  const DibSource &dib_;
  const AxisMap &columns_;
  Combine how_;
  int lo_ = 0, hi_ = 0;
  bool identity_ = false;
  std::vector<BYTE> combined_, decoded_, span_;
  int cachedFirst_ = -1, cachedCount_ = 0;
  const BYTE *result_ = nullptr;
};

}  // namespace
}  // namespace platform::gdi

using namespace platform::gdi;

int WINAPI StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc, int ySrc,
                         int SrcWidth, int SrcHeight, const VOID *lpBits, const BITMAPINFO *lpbmi, UINT iUsage,
                         DWORD rop) {
  auto dc = LookupDrawingDc(hdc);
  if (!dc) return 0;
  if (!lpBits || !lpbmi) return 0;
  DibSource dib;
  if (!dib.Parse(lpbmi, iUsage, lpBits, ColorTable::onlyWhenCounted)) return 0;
  if (SrcWidth == 0 || SrcHeight == 0) return 0;
  int height = dib.Height();
  if (DestWidth == 0 || DestHeight == 0) return height;

  // The source rectangle in top-down image rows. ySrc counts from the image's bottom row, and a negative
  // height mirrors the rows ySrc + SrcHeight + 1 .. ySrc counted so. GDI keeps one exception for top-down
  // images: a rectangle at ySrc 0 starts at the top row.
  long long sy = ySrc, sh = SrcHeight;
  if (sh < 0) sy = height - 2 - sy - sh;
  else if (dib.BottomUp() || sy != 0) sy = height - sy - sh;
  long long sx = xSrc, sw = SrcWidth;
  long long sxMin = sw > 0 ? sx : sx + sw + 1, syMin = sh > 0 ? sy : sy - (-sh) + 1;
  long long sxMax = sxMin + (sw < 0 ? -sw : sw), syMax = syMin + (sh < 0 ? -sh : sh);
  if (sxMax <= 0 || sxMin >= dib.Width() || syMax <= 0 || syMin >= height) return 0;

  long long readLo, readHi;
  dib.ReadableRows(readLo, readHi);

  const Surface &target = dc->Target();
  AxisMap columns = MapAxis(xDest, DestWidth, sx, sw, target.width, 0, dib.Width());
  AxisMap rows = MapAxis(yDest, DestHeight, sy, sh, target.height, readLo, readHi);
  if (columns.Size() == 0 || rows.Size() == 0) return height;

  BYTE rop3 = Rop3Of(rop);
  BrushRows brush(*dc->brush, *dc);
  bool usesPattern = RopUsesPattern(rop3), usesSource = RopUsesSource(rop3);
  if (usesPattern && brush.Hollow()) return height;  // a hollow brush paints nothing

  SourceRows source(dib, columns, CombineOf(dc->stretchMode));
  int x0 = static_cast<int>(columns.start), pixels = columns.Size();
  for (int k = 0; k < rows.Size(); ++k) {
    int y = static_cast<int>(rows.start) + k;
    const BYTE *src = usesSource ? source.Row(rows.first[k], rows.count[k], rows.chosen[k]) : nullptr;
    const BYTE *pat = usesPattern ? brush.Row(y, x0, pixels) : nullptr;
    const BYTE *mask = usesPattern ? brush.Mask(y, x0, pixels) : nullptr;
    CombineRow(rop3, target.Row(y) + static_cast<ptrdiff_t>(x0) * 3, src, pat, mask, pixels);
  }
  return height;
}
