#include "gdi/raster.h"

#include <gtest/gtest.h>

#include <vector>

#include "canvas.h"

namespace platform::gdi {
namespace {

// The named operations against their definitions written out as expressions.
struct NamedRop {
  const char *name;
  DWORD code;
  BYTE (*expected)(BYTE p, BYTE s, BYTE d);
};

const NamedRop kNamed[] = {
    {"BLACKNESS", BLACKNESS, [](BYTE, BYTE, BYTE) -> BYTE { return 0; }},
    {"NOTSRCERASE", NOTSRCERASE, [](BYTE, BYTE s, BYTE d) -> BYTE { return ~(s | d); }},
    {"NOTSRCCOPY", NOTSRCCOPY, [](BYTE, BYTE s, BYTE) -> BYTE { return ~s; }},
    {"SRCERASE", SRCERASE, [](BYTE, BYTE s, BYTE d) -> BYTE { return s & ~d; }},
    {"DSTINVERT", DSTINVERT, [](BYTE, BYTE, BYTE d) -> BYTE { return ~d; }},
    {"PATINVERT", PATINVERT, [](BYTE p, BYTE, BYTE d) -> BYTE { return p ^ d; }},
    {"SRCINVERT", SRCINVERT, [](BYTE, BYTE s, BYTE d) -> BYTE { return s ^ d; }},
    {"SRCAND", SRCAND, [](BYTE, BYTE s, BYTE d) -> BYTE { return s & d; }},
    {"MERGEPAINT", MERGEPAINT, [](BYTE, BYTE s, BYTE d) -> BYTE { return ~s | d; }},
    {"MERGECOPY", MERGECOPY, [](BYTE p, BYTE s, BYTE) -> BYTE { return p & s; }},
    {"SRCCOPY", SRCCOPY, [](BYTE, BYTE s, BYTE) -> BYTE { return s; }},
    {"SRCPAINT", SRCPAINT, [](BYTE, BYTE s, BYTE d) -> BYTE { return s | d; }},
    {"PATCOPY", PATCOPY, [](BYTE p, BYTE, BYTE) -> BYTE { return p; }},
    {"PATPAINT", PATPAINT, [](BYTE p, BYTE s, BYTE d) -> BYTE { return p | ~s | d; }},
    {"WHITENESS", WHITENESS, [](BYTE, BYTE, BYTE) -> BYTE { return 0xFF; }},
    {"0x00A000C9 pattern and destination", 0x00A000C9, [](BYTE p, BYTE, BYTE d) -> BYTE { return p & d; }},
    {"0x00B8074A pattern where the source is 0", 0x00B8074A,
     [](BYTE p, BYTE s, BYTE d) -> BYTE { return (p & ~s) | (d & s); }},
    {"0x00CA0749 source where the pattern is 1", 0x00CA0749,
     [](BYTE p, BYTE s, BYTE d) -> BYTE { return (s & p) | (d & ~p); }},
};

TEST(RopTest, NamedOperationsFollowTheirDefinitions) {
  gdi_test::Random random(7);
  for (const NamedRop &rop : kNamed) {
    for (int k = 0; k < 64; ++k) {
      BYTE p = random.Next(), s = random.Next(), d = random.Next();
      ASSERT_EQ(RopByte(Rop3Of(rop.code), p, s, d), rop.expected(p, s, d))
          << rop.name << " p=" << int(p) << " s=" << int(s) << " d=" << int(d);
    }
  }
}

TEST(RopTest, WhatAnOperationReads) {
  struct Case {
    DWORD code;
    bool pattern, source, destination;
  };
  const Case cases[] = {
      {BLACKNESS, false, false, false}, {SRCCOPY, false, true, false},   {PATCOPY, true, false, false},
      {PATINVERT, true, false, true},   {DSTINVERT, false, false, true}, {SRCAND, false, true, true},
      {0x00B8074A, true, true, true},   {MERGECOPY, true, true, false},
  };
  for (const Case &c : cases) {
    BYTE rop3 = Rop3Of(c.code);
    EXPECT_EQ(RopUsesPattern(rop3), c.pattern) << std::hex << c.code;
    EXPECT_EQ(RopUsesSource(rop3), c.source) << std::hex << c.code;
    EXPECT_EQ(RopUsesDestination(rop3), c.destination) << std::hex << c.code;
  }
}

// Every kernel against the bit-by-bit rule, over lengths that exercise the vector body and the tail and
// over unaligned starts; operands an operation does not read are passed as null.
TEST(RopTest, EveryKernelMatchesThePlainRule) {
  for (int rop3 = 0; rop3 < 256; ++rop3) {
    uint32_t seed = 1000 + rop3;
    gdi_test::Random random(seed);
    for (int length : {0, 1, 3, 15, 16, 17, 31, 48, 67, 200}) {
      int offset = random.Between(0, 3);
      std::vector<BYTE> pat(length + 4), src(length + 4), dst(length + 4);
      for (auto *v : {&pat, &src, &dst})
        for (BYTE &b : *v) b = static_cast<BYTE>(random.Next());
      std::vector<BYTE> expected = dst;
      GeneralRopRow(rop3, expected.data() + offset, src.data() + offset, pat.data() + offset, length);
      const BYTE *s = RopUsesSource(rop3) ? src.data() + offset : nullptr;
      const BYTE *p = RopUsesPattern(rop3) ? pat.data() + offset : nullptr;
      FastRopRow(rop3)(dst.data() + offset, s, p, length);
      ASSERT_EQ(dst, expected) << "rop3 0x" << std::hex << rop3 << std::dec << " length " << length << " seed " << seed;
    }
  }
}

// The halving kernels against the plain one, for every length around their word sizes and both modes;
// each reads only the rows' 6 * pixels bytes (the buffers end there) and writes 3 * pixels (+ spare).
TEST(RopTest, HalvingKernelsMatchThePlainOne) {
  struct Kernel {
    const char *name;
    HalveRowFn fn;
  };
  std::vector<Kernel> kernels = {{"SSE2", &Sse2HalveRow}};
  if (HaveSsse3()) kernels.push_back({"SSSE3", &Ssse3HalveRow});
  for (const Kernel &kernel : kernels) {
    for (int pixels = 0; pixels <= 40; ++pixels) {
      for (bool useAnd : {true, false}) {
        uint32_t seed = pixels * 2 + useAnd;
        gdi_test::Random random(seed);
        std::vector<BYTE> a(6 * pixels), b(6 * pixels);
        for (auto *v : {&a, &b})
          for (BYTE &x : *v) x = static_cast<BYTE>(random.Next());
        std::vector<BYTE> expected(3 * pixels + 32, 0xEE), out(3 * pixels + 32, 0xEE);
        PlainHalveRow(useAnd, a.data(), b.data(), expected.data(), pixels);
        kernel.fn(useAnd, a.data(), b.data(), out.data(), pixels);
        out.resize(3 * pixels);
        expected.resize(3 * pixels);
        ASSERT_EQ(out, expected) << kernel.name << " pixels " << pixels << (useAnd ? " AND" : " OR") << " seed " << seed;
      }
    }
  }
}

}  // namespace
}  // namespace platform::gdi
