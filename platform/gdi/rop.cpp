// The 256 ternary raster operations. Each operation's kernel is generated from its truth table: split on
// the pattern bit, the two halves are functions of source and destination alone, each one of the 16
// two-input functions below, and the pattern selects between them. Every kernel is a handful of bitwise
// operations on 16-byte vectors, so whole rows run at close to memory speed.
#include "gdi/raster.h"

#include <emmintrin.h>
#include <tmmintrin.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <utility>

namespace platform::gdi {

BYTE RopByte(BYTE rop3, BYTE pattern, BYTE source, BYTE destination) {
  BYTE result = 0;
  for (int bit = 0; bit < 8; ++bit) {
    int p = (pattern >> bit) & 1, s = (source >> bit) & 1, d = (destination >> bit) & 1;
    result |= static_cast<BYTE>(((rop3 >> (4 * p + 2 * s + d)) & 1) << bit);
  }
  return result;
}

void GeneralRopRow(BYTE rop3, BYTE *dst, const BYTE *src, const BYTE *pat, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) dst[i] = RopByte(rop3, pat ? pat[i] : 0, src ? src[i] : 0, dst[i]);
}

namespace {

typedef uint32_t Vec __attribute__((vector_size(16)));

// The two-input function with truth table T of (s, d): bit 2s + d.
template <unsigned T, class V>
inline V Fn2(V s, V d) {
  if constexpr (T == 0x0) return s ^ s;
  else if constexpr (T == 0x1) return ~(s | d);   /* 0x1: ~(S | D) */
  else if constexpr (T == 0x2) return ~s & d;     /* 0x2: ~S & D */
  else if constexpr (T == 0x3) return ~s;         /* 0x3: ~S */
  else if constexpr (T == 0x4) return s & ~d;     /* 0x4: S & ~D */
  else if constexpr (T == 0x5) return ~d;         /* 0x5: ~D */
  else if constexpr (T == 0x6) return s ^ d;      /* 0x6: S ^ D */
  else if constexpr (T == 0x7) return ~(s & d);   /* 0x7: ~(S & D) */
  else if constexpr (T == 0x8) return s & d;      /* 0x8: S & D */
  else if constexpr (T == 0x9) return ~(s ^ d);   /* 0x9: ~(S ^ D) */
  else if constexpr (T == 0xA) return d;          /* 0xA: D */
  else if constexpr (T == 0xB) return ~s | d;     /* 0xB: ~S | D */
  else if constexpr (T == 0xC) return s;          /* 0xC: S */
  else if constexpr (T == 0xD) return s | ~d;     /* 0xD: S | ~D */
  else if constexpr (T == 0xE) return s | d;      /* 0xE: S | D */
  else return ~(s ^ s);                           /* 0xF: 1 */
}

// The operation R on one word: the pattern picks between the halves R >> 4 (P = 1) and R & 15 (P = 0).
template <unsigned R, class V>
inline V Fn3(V p, V s, V d) {
  constexpr unsigned one = R >> 4, zero = R & 0xF;
  if constexpr (one == zero) return Fn2<one>(s, d);
  else if constexpr (zero == 0) return Fn2<one>(s, d) & p;
  else if constexpr (one == 0) return Fn2<zero>(s, d) & ~p;
  else {
    V f0 = Fn2<zero>(s, d);
    return f0 ^ ((f0 ^ Fn2<one>(s, d)) & p);
  }
}

template <class V>
inline V Load(const BYTE *at) {
  V v;
  std::memcpy(&v, at, sizeof v);
  return v;
}

template <unsigned R>
void RopRow(BYTE *dst, const BYTE *src, const BYTE *pat, size_t bytes) {
  constexpr bool usesP = RopUsesPattern(R), usesS = RopUsesSource(R);
  size_t i = 0;
  for (; i + sizeof(Vec) <= bytes; i += sizeof(Vec)) {
    Vec p = usesP ? Load<Vec>(pat + i) : Vec{};
    Vec s = usesS ? Load<Vec>(src + i) : Vec{};
    Vec r = Fn3<R>(p, s, Load<Vec>(dst + i));
    std::memcpy(dst + i, &r, sizeof r);
  }
  for (; i < bytes; ++i) {
    BYTE p = usesP ? pat[i] : 0, s = usesS ? src[i] : 0;
    dst[i] = static_cast<BYTE>(Fn3<R>(unsigned{p}, unsigned{s}, unsigned{dst[i]}));
  }
}

// Operations that are plain copies or fills of a row.
void CopySource(BYTE *dst, const BYTE *src, const BYTE *, size_t bytes) { std::memcpy(dst, src, bytes); }
void CopyPattern(BYTE *dst, const BYTE *, const BYTE *pat, size_t bytes) { std::memcpy(dst, pat, bytes); }
void FillZero(BYTE *dst, const BYTE *, const BYTE *, size_t bytes) { std::memset(dst, 0, bytes); }
void FillOnes(BYTE *dst, const BYTE *, const BYTE *, size_t bytes) { std::memset(dst, 0xFF, bytes); }
void KeepDestination(BYTE *, const BYTE *, const BYTE *, size_t) {}

template <size_t... R>
constexpr std::array<RopRowFn, 256> MakeKernels(std::index_sequence<R...>) {
  std::array<RopRowFn, 256> kernels = {&RopRow<R>...};
  kernels[0x00] = &FillZero;         /* 0x00: BLACKNESS */
  kernels[0xFF] = &FillOnes;         /* 0xFF: WHITENESS */
  kernels[0xCC] = &CopySource;       /* 0xCC: SRCCOPY */
  kernels[0xF0] = &CopyPattern;      /* 0xF0: PATCOPY */
  kernels[0xAA] = &KeepDestination;  /* 0xAA: D, a no-op */
  return kernels;
}

constexpr std::array<RopRowFn, 256> kKernels = MakeKernels(std::make_index_sequence<256>());

}  // namespace

RopRowFn FastRopRow(BYTE rop3) { return kKernels[rop3]; }

void FillSolidRow(BYTE *dst, const BYTE *bgr, int pixels) {
  // Sixteen pixels make 48 bytes, a whole number of 16-byte words: stored as such, as memset would.
  BYTE period[48];
  for (int k = 0; k < 16; ++k) std::memcpy(period + 3 * k, bgr, 3);
  size_t bytes = static_cast<size_t>(pixels) * 3, i = 0;
  for (; i + sizeof period <= bytes; i += sizeof period) std::memcpy(dst + i, period, sizeof period);
  std::memcpy(dst + i, period, bytes - i);
}

void PlainHalveRow(bool useAnd, const BYTE *a, const BYTE *b, BYTE *out, int pixels) {
  for (int k = 0; k < pixels; ++k) {
    for (int byte = 0; byte < 3; ++byte) {
      int at = 6 * k + byte;
      out[3 * k + byte] = useAnd ? a[at] & a[at + 3] & b[at] & b[at + 3] : a[at] | a[at + 3] | b[at] | b[at + 3];
    }
  }
}

namespace {

inline __m128i Load(const BYTE *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }

template <bool And>
inline __m128i Op(__m128i x, __m128i y) {
  return And ? _mm_and_si128(x, y) : _mm_or_si128(x, y);
}

// Each 16-byte word of a row, combined with the same word three bytes on, holds three output pixels at
// bytes 0, 6 and 12, which shifts and masks gather.
template <bool And>
void Sse2Halve(const BYTE *a, const BYTE *b, BYTE *out, int pixels) {
  const __m128i low = _mm_setr_epi8(-1, -1, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  const __m128i middle = _mm_slli_si128(low, 3), high = _mm_slli_si128(low, 6);
  const int rowBytes = 6 * pixels;
  int k = 0;
  for (; 6 * k + 19 <= rowBytes; k += 3) {
    const int at = 6 * k;
    __m128i c = Op<And>(Op<And>(Load(a + at), Load(a + at + 3)), Op<And>(Load(b + at), Load(b + at + 3)));
    __m128i r = _mm_or_si128(_mm_and_si128(c, low),
                             _mm_or_si128(_mm_and_si128(_mm_srli_si128(c, 3), middle), _mm_and_si128(_mm_srli_si128(c, 6), high)));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 3 * k), r);
  }
  PlainHalveRow(And, a + 6 * k, b + 6 * k, out + 3 * k, pixels - k);
}

// Eight output pixels from 48 bytes of each row: the rows combined, each byte with the byte three on
// (alignr), and the 24 output bytes picked by byte shuffles.
template <bool And>
__attribute__((target("ssse3"))) void Ssse3Halve(const BYTE *a, const BYTE *b, BYTE *out, int pixels) {
  const __m128i pick00 = _mm_setr_epi8(0, 1, 2, 6, 7, 8, 12, 13, 14, -1, -1, -1, -1, -1, -1, -1);
  const __m128i pick01 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 3, 4, 8, 9, 10, 14);
  const __m128i pick11 = _mm_setr_epi8(15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i pick12 = _mm_setr_epi8(-1, 0, 4, 5, 6, 10, 11, 12, -1, -1, -1, -1, -1, -1, -1, -1);
  int k = 0;
  for (; 6 * k + 48 <= 6 * pixels; k += 8) {
    const int at = 6 * k;
    __m128i v0 = Op<And>(Load(a + at), Load(b + at));
    __m128i v1 = Op<And>(Load(a + at + 16), Load(b + at + 16));
    __m128i v2 = Op<And>(Load(a + at + 32), Load(b + at + 32));
    __m128i h0 = Op<And>(v0, _mm_alignr_epi8(v1, v0, 3));
    __m128i h1 = Op<And>(v1, _mm_alignr_epi8(v2, v1, 3));
    __m128i h2 = Op<And>(v2, _mm_srli_si128(v2, 3));
    __m128i o0 = _mm_or_si128(_mm_shuffle_epi8(h0, pick00), _mm_shuffle_epi8(h1, pick01));
    __m128i o1 = _mm_or_si128(_mm_shuffle_epi8(h1, pick11), _mm_shuffle_epi8(h2, pick12));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 3 * k), o0);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(out + 3 * k + 16), o1);
  }
  Sse2Halve<And>(a + 6 * k, b + 6 * k, out + 3 * k, pixels - k);
}

}  // namespace

void Sse2HalveRow(bool useAnd, const BYTE *a, const BYTE *b, BYTE *out, int pixels) {
  if (useAnd) Sse2Halve<true>(a, b, out, pixels);
  else Sse2Halve<false>(a, b, out, pixels);
}

void Ssse3HalveRow(bool useAnd, const BYTE *a, const BYTE *b, BYTE *out, int pixels) {
  if (useAnd) Ssse3Halve<true>(a, b, out, pixels);
  else Ssse3Halve<false>(a, b, out, pixels);
}

bool HaveSsse3() {
  static const bool have = __builtin_cpu_supports("ssse3");
  return have;
}

HalveRowFn FastHalveRow() { return HaveSsse3() ? &Ssse3HalveRow : &Sse2HalveRow; }

}  // namespace platform::gdi
