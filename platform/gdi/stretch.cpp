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

#include <tmmintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace platform::gdi {
namespace {

// One axis of the mapping, for the destination pixels that are drawn, in canvas order.
struct AxisMap {
  long long start = 0;  // canvas coordinate of the first pixel drawn
  int size = 0;
  // Unscaled and unmirrored: canvas coordinate c shows image coordinate c + offset.
  bool linear = false;
  long long offset = 0;
  std::vector<int> first;   // lowest image coordinate of each pixel's source group
  std::vector<int> count;   // pixels in the group (>= 1); empty when every group is one pixel
  std::vector<int> chosen;  // the group's member a stretch mode that keeps one pixel keeps; empty: first

  int Size() const { return size; }
  int First(int k) const { return linear ? static_cast<int>(start + k + offset) : first[k]; }
  int Count(int k) const { return count.empty() ? 1 : count[k]; }
  int Chosen(int k) const { return chosen.empty() ? First(k) : chosen[k]; }
};

// floor((start + k * step) / divisor) for k = 0, 1, 2, ..., one division in all rather than one a pixel.
// T holds the quotient and the remainder, which stay below the source extent and twice the destination's.
template <class T>
class Stepper {
 public:
  using U = unsigned long long;
  Stepper(U start, U step, U divisor)
      : q_(static_cast<T>(start / divisor)), r_(static_cast<T>(start % divisor)), dq_(static_cast<T>(step / divisor)),
        dr_(static_cast<T>(step % divisor)), d_(static_cast<T>(divisor)) {}
  T Value() const { return q_; }
  void Next() {
    q_ += dq_;
    r_ += dr_;
    if (r_ >= d_) {
      r_ -= d_;
      ++q_;
    }
  }

 private:
  T q_, r_, dq_, dr_, d_;
};

// The scaled or mirrored mapping, pixel by pixel over the destination indices [jLo, jHi). S is wide
// enough for every image coordinate and index involved, T for the stepper's quotient and remainder.
template <class S, class T>
void MapScaled(AxisMap &map, S d0, S dn, S s0, S sn, S jLo, S jHi, S lo, S hi) {
  using U = unsigned long long;
  const S n = dn < 0 ? -dn : dn, m = sn < 0 ? -sn : sn;
  // Stretching, j shows source index ((2j + 1) m - 1) / 2n; shrinking, it gathers the indices from
  // (2mj + n) / 2n up to the next pixel's first.
  const bool stretching = n >= m;
  const U um = static_cast<U>(m), un = static_cast<U>(n), uj = static_cast<U>(jLo);
  Stepper<T> step(stretching ? (2 * uj + 1) * um - 1 : 2 * um * uj + un, 2 * um, 2 * un);
  S firstDrawn = -1, lastDrawn = -1;
  map.first.reserve(static_cast<size_t>(jHi - jLo));
  if (!stretching) {
    map.count.reserve(static_cast<size_t>(jHi - jLo));
    map.chosen.reserve(static_cast<size_t>(jHi - jLo));
  }
  for (S j = jLo; j < jHi; ++j) {
    S i0 = static_cast<S>(step.Value());
    step.Next();
    S i1 = stretching ? i0 + 1 : static_cast<S>(step.Value());
    // The group in image coordinates, then clipped to the pixels that are there.
    S a = sn > 0 ? s0 + i0 : s0 - i1 + 1;
    S b = sn > 0 ? s0 + i1 : s0 - i0 + 1;
    a = a < lo ? lo : a;
    b = b > hi ? hi : b;
    if (a >= b) {
      if (firstDrawn >= 0) break;  // the mapping is monotonic: nothing further is inside
      continue;
    }
    if (firstDrawn < 0) firstDrawn = j;
    lastDrawn = j;
    map.first.push_back(static_cast<int>(a));
    if (!stretching) {
      map.count.push_back(static_cast<int>(b - a));
      // The last source pixel in the order the blit walks the source.
      map.chosen.push_back(static_cast<int>(sn > 0 ? b - 1 : a));
    }
  }
  if (firstDrawn < 0) return;
  map.size = static_cast<int>(map.first.size());
  if (dn > 0) {
    map.start = d0 + firstDrawn;
  } else {
    // Mirrored: canvas order runs against j.
    map.start = d0 - lastDrawn;
    std::reverse(map.first.begin(), map.first.end());
    std::reverse(map.count.begin(), map.count.end());
    std::reverse(map.chosen.begin(), map.chosen.end());
  }
}

// Maps destination extent (d0, dn) on a canvas axis of `canvas` pixels to source extent (s0, sn) in
// image coordinates; source pixels outside [lo, hi) are absent.
AxisMap MapAxis(long long d0, long long dn, long long s0, long long sn, int canvas, long long lo, long long hi) {
  AxisMap map;
  const long long n = dn < 0 ? -dn : dn, m = sn < 0 ? -sn : sn;
  // The destination indices j whose pixel (d0 + j, or d0 - j when mirrored) is on the canvas.
  long long jLo = dn > 0 ? std::max(0LL, -d0) : std::max(0LL, d0 - canvas + 1);
  long long jHi = dn > 0 ? std::min(n, canvas - d0) : std::min(n, d0 + 1);
  if (jLo >= jHi) return map;
  if (n == m && (dn > 0) == (sn > 0)) {
    // One to one: the canvas span, less what falls outside the image.
    map.linear = true;
    map.offset = s0 - d0;
    long long c0 = dn > 0 ? d0 + jLo : d0 - jHi + 1, c1 = c0 + (jHi - jLo);
    c0 = std::max(c0, lo - map.offset);
    c1 = std::min(c1, hi - map.offset);
    if (c0 < c1) {
      map.start = c0;
      map.size = static_cast<int>(c1 - c0);
    }
    return map;
  }
  // Narrow arithmetic where every value fits: it is the per-pixel loop of every stretch.
  constexpr long long kNarrow = 1LL << 29;
  auto fits = [&](long long v) { return v > -kNarrow && v < kNarrow; };
  if (fits(d0) && fits(n) && fits(s0) && fits(m) && fits(lo) && fits(hi)) {
    MapScaled<int32_t, uint32_t>(map, static_cast<int32_t>(d0), static_cast<int32_t>(dn), static_cast<int32_t>(s0),
                                 static_cast<int32_t>(sn), static_cast<int32_t>(jLo), static_cast<int32_t>(jHi),
                                 static_cast<int32_t>(lo), static_cast<int32_t>(hi));
  } else {
    MapScaled<long long, unsigned long long>(map, d0, dn, s0, sn, jLo, jHi, lo, hi);
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

typedef uint32_t Vec __attribute__((vector_size(16)));

// Combines two rows of source bytes into `into` (which may be either), 16 bytes at a time.
void Merge(Combine how, BYTE *into, const BYTE *a, const BYTE *b, size_t bytes) {
  size_t k = 0;
  for (; k + sizeof(Vec) <= bytes; k += sizeof(Vec)) {
    Vec x, y;
    std::memcpy(&x, a + k, sizeof x);
    std::memcpy(&y, b + k, sizeof y);
    x = how == Combine::all_and ? x & y : x | y;
    std::memcpy(into + k, &x, sizeof x);
  }
  for (; k < bytes; ++k) into[k] = how == Combine::all_and ? a[k] & b[k] : a[k] | b[k];
}

// A pixel read as one word; the byte after it is read too, so rows read this way have a byte to spare.
inline uint32_t Pixel(const BYTE *p) {
  uint32_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

// Spare bytes past the rows and spans the column passes read and write as whole words.
constexpr size_t kSpare = 32;

// A column map as byte shuffles: output word c (16 bytes) takes its bytes from the 16 bytes of the
// row at start[c], as mask[c] picks them. It exists when every output word's bytes lie within 16
// bytes of the row, as they do for a stretch of 1.2 times or more.
struct ShufflePlan {
  std::vector<int> start;
  std::vector<BYTE> mask;  // 16 bytes per output word
};

bool MakeShufflePlan(const std::vector<int> &pick, int rowBytes, ShufflePlan &plan) {
  const int outBytes = static_cast<int>(pick.size()) * 3, words = (outBytes + 15) / 16;
  if (rowBytes < 16) return false;
  plan.start.resize(words);
  plan.mask.assign(static_cast<size_t>(words) * 16, 0x80);  // 0x80: a zero byte, past the span's end
  for (int c = 0; c < words; ++c) {
    int lo = rowBytes, hi = -1;
    for (int i = 16 * c; i < std::min(outBytes, 16 * c + 16); ++i) {
      int from = pick[i / 3] + i % 3;
      lo = std::min(lo, from);
      hi = std::max(hi, from);
    }
    if (hi - lo >= 16) return false;
    int start = std::min(lo, rowBytes - 16);  // the 16 bytes read stay inside the row
    plan.start[c] = start;
    for (int i = 16 * c; i < std::min(outBytes, 16 * c + 16); ++i) {
      plan.mask[static_cast<size_t>(i)] = static_cast<BYTE>(pick[i / 3] + i % 3 - start);
    }
  }
  return true;
}

__attribute__((target("ssse3"))) void ShuffleColumns(const ShufflePlan &plan, const BYTE *row, BYTE *out) {
  const int words = static_cast<int>(plan.start.size());
  for (int c = 0; c < words; ++c) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + plan.start[c]));
    __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i *>(&plan.mask[static_cast<size_t>(c) * 16]));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 16 * c), _mm_shuffle_epi8(v, m));
  }
}

// Builds the source pixels of one destination row: the row group combined, then the column map applied.
// Pixels at the end of a row that a halving into the canvas does one by one: the vector kernels store
// at most 6 bytes past their last pixel.
constexpr int kExactHalveTail = 3;

class SourceRows {
 public:
  SourceRows(const DibSource &dib, const AxisMap &columns, Combine how) : dib_(dib), how_(how) {
    const int size = columns.Size();
    lo_ = hi_ = columns.First(0);
    for (int k = 0; k < size; ++k) {
      lo_ = std::min(lo_, columns.First(k));
      hi_ = std::max(hi_, columns.First(k) + columns.Count(k));
    }
    // Each destination pixel reads count_ pixels from pick_ (a byte offset into the combined row).
    singles_ = true;
    identity_ = columns.linear;
    if (!identity_) {
      pick_.resize(size);
      count_.resize(size);
      for (int k = 0; k < size; ++k) {
        int from = how == Combine::keep_one ? columns.Chosen(k) : columns.First(k);
        pick_[k] = (from - lo_) * 3;
        count_[k] = how == Combine::keep_one ? 1 : columns.Count(k);
        singles_ = singles_ && count_[k] == 1;
      }
      halving_ = how != Combine::keep_one;
      for (int k = 0; halving_ && k < size; ++k) halving_ = count_[k] == 2 && pick_[k] == 6 * k;
      shuffled_ = singles_ && HaveSsse3() && MakeShufflePlan(pick_, (hi_ - lo_) * 3, plan_);
    }
    // Spare bytes for the word reads and writes of the grouped columns.
    combined_.resize(static_cast<size_t>(hi_ - lo_) * 3 + kSpare);
    decoded_.resize(combined_.size());
    if (!identity_) span_.resize(static_cast<size_t>(size) * 3 + kSpare);
  }

  // A plain halving written straight into `out`, for a copy that needs no further pass over the row;
  // false when this row is not one. The vector kernels may store a few bytes past their last pixel, so
  // the last pixels are done exactly and nothing after the row is touched.
  bool HalveInto(int first, int count, BYTE *out) {
    if (!halving_ || count > 2) return false;
    const BYTE *a = SourceRow(first, combined_.data());
    const BYTE *b = count == 2 ? SourceRow(first + 1, decoded_.data()) : a;
    const bool useAnd = how_ == Combine::all_and;
    const int size = static_cast<int>(pick_.size()), exact = std::min(size, kExactHalveTail);
    if (size > exact) halve_(useAnd, a, b, out, size - exact);
    const size_t done = static_cast<size_t>(size - exact);
    PlainHalveRow(useAnd, a + 6 * done, b + 6 * done, out + 3 * done, exact);
    cachedFirst_ = -1;  // the row went past span_
    return true;
  }

  // The source pixels for the destination row whose source rows are [first, first + count) (`keep`
  // when the stretch mode keeps one).
  const BYTE *Row(int first, int count, int keep) {
    if (first == cachedFirst_ && count == cachedCount_) return result_;
    cachedFirst_ = first;
    cachedCount_ = count;
    if (halving_ && count <= 2) {
      // Both rows straight from the image (or decoded), combined with the columns in one pass.
      const BYTE *a = SourceRow(first, combined_.data());
      const BYTE *b = count == 2 ? SourceRow(first + 1, decoded_.data()) : a;
      halve_(how_ == Combine::all_and, a, b, span_.data(), static_cast<int>(pick_.size()));
      return result_ = span_.data();
    }
    const BYTE *rows = CombinedRows(first, count, keep);
    if (halving_) {
      halve_(how_ == Combine::all_and, rows, rows, span_.data(), static_cast<int>(pick_.size()));
      return result_ = span_.data();
    }
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
    size_t bytes = static_cast<size_t>(hi_ - lo_) * 3;
    const BYTE *row = SourceRow(how_ == Combine::keep_one ? keep : first, combined_.data());
    if (how_ == Combine::keep_one || count == 1) {
      // Groups of columns read whole words: they read from the padded copy, never past the image.
      if (!singles_ && row != combined_.data()) std::memcpy(combined_.data(), row, bytes);
      return singles_ ? row : combined_.data();
    }
    Merge(how_, combined_.data(), row, SourceRow(first + 1, decoded_.data()), bytes);
    for (int y = first + 2; y < first + count; ++y) Merge(how_, combined_.data(), combined_.data(), SourceRow(y, decoded_.data()), bytes);
    return combined_.data();
  }

  const BYTE *ApplyColumns(const BYTE *rows) {
    BYTE *out = span_.data();
    const int size = static_cast<int>(pick_.size());
    if (shuffled_) {
      ShuffleColumns(plan_, rows, out);
      return span_.data();
    }
    if (singles_) {
      // Four pixels read as words and packed into three words, while every word read stays inside the
      // row (rows may be the image's own); the rest byte by byte.
      const int wordsBelow = (hi_ - lo_ - 1) * 3;
      int k = 0;
      for (; k + 4 <= size; k += 4, out += 12) {
        if (std::max({pick_[k], pick_[k + 1], pick_[k + 2], pick_[k + 3]}) >= wordsBelow) {
          for (int q = 0; q < 4; ++q) std::memcpy(out + 3 * q, rows + pick_[k + q], 3);
          continue;
        }
        uint32_t a = Pixel(rows + pick_[k]), b = Pixel(rows + pick_[k + 1]);
        uint32_t c = Pixel(rows + pick_[k + 2]), d = Pixel(rows + pick_[k + 3]);
        uint32_t w0 = (a & 0xFFFFFF) | b << 24, w1 = ((b >> 8) & 0xFFFF) | c << 16, w2 = ((c >> 16) & 0xFF) | d << 8;
        std::memcpy(out, &w0, 4);
        std::memcpy(out + 4, &w1, 4);
        std::memcpy(out + 8, &w2, 4);
      }
      for (; k < size; ++k, out += 3) {
        const BYTE *p = rows + pick_[k];
        out[0] = p[0];
        out[1] = p[1];
        out[2] = p[2];
      }
      return span_.data();
    }
    if (how_ == Combine::all_and) GroupColumns<true>(rows, out, size);
    else GroupColumns<false>(rows, out, size);
    return span_.data();
  }

  template <bool And>
  void GroupColumns(const BYTE *rows, BYTE *out, int size) const {
    for (int k = 0; k < size; ++k, out += 3) {
      const BYTE *p = rows + pick_[k];
      uint32_t value = Pixel(p);
      for (int c = 1; c < count_[k]; ++c) value = And ? value & Pixel(p + 3 * c) : value | Pixel(p + 3 * c);
      // A whole word out too: the next pixel overwrites its fourth byte, and span_ has bytes to spare.
      std::memcpy(out, &value, sizeof value);
    }
  }

  const DibSource &dib_;
  Combine how_;
  int lo_ = 0, hi_ = 0;
  bool identity_ = false, singles_ = false, halving_ = false, shuffled_ = false;
  ShufflePlan plan_;
  HalveRowFn halve_ = FastHalveRow();
  std::vector<int> pick_, count_;
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

  // The source rectangle in top-down image rows: it starts at row height - ySrc - SrcHeight and runs
  // down the image, or up it when SrcHeight is negative (a mirror). GDI keeps one exception for
  // top-down images: an unmirrored rectangle at ySrc 0 starts at the top row. A mirrored rectangle that
  // reaches past the image is clipped like any other, as columns are; Wine 8 instead moves such a
  // rectangle's rows back inside the image (its columns it clips), so the two part there.
  long long sy = ySrc, sh = SrcHeight;
  if (dib.BottomUp() || sy != 0 || sh < 0) sy = height - sy - sh;
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
    BYTE *out = target.Row(y) + static_cast<ptrdiff_t>(x0) * 3;
    if (rop3 == 0xCC && source.HalveInto(rows.First(k), rows.Count(k), out)) continue;  // SRCCOPY
    const BYTE *src = usesSource ? source.Row(rows.First(k), rows.Count(k), rows.Chosen(k)) : nullptr;
    const BYTE *pat = usesPattern ? brush.Row(y, x0, pixels) : nullptr;
    const BYTE *mask = usesPattern ? brush.Mask(y, x0, pixels) : nullptr;
    CombineRow(rop3, out, src, pat, mask, pixels);
  }
  return height;
}
