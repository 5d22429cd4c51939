// Rectangle fills and blits without a source: which pixels each call covers, and every operation with
// every kind of brush against the pixel-at-a-time model.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "canvas.h"
#include "model.h"

namespace {

using gdi_test::Canvas;
using gdi_test::Random;

constexpr COLORREF kWhite = RGB(255, 255, 255);

std::string Covered(const Canvas &canvas) { return canvas.Picture(0, 0, 7, 7, {{0, '#'}, {kWhite, '.'}}); }

// GDI's extents: a negative width or height covers x + extent + 1 .. x; FillRect passes its rectangle
// as such an extent, while regions and the opaque rectangle are normalised.
TEST(BlitTest, WhatEachCallCovers) {
  const char *square23 = ".......\n.......\n..###..\n..###..\n..###..\n.......\n.......\n";
  const char *square33 = ".......\n.......\n.......\n...###.\n...###.\n...###.\n.......\n";
  const char *shifted = ".......\n.......\n...###.\n...###.\n...###.\n.......\n.......\n";
  const char *lowered = ".......\n.......\n.......\n..###..\n..###..\n..###..\n.......\n";
  const char *corner = "##.....\n##.....\n.......\n.......\n.......\n.......\n.......\n";
  const char *empty = ".......\n.......\n.......\n.......\n.......\n.......\n.......\n";
  struct Case {
    RECT r;
    const char *bitBlt, *fillRect, *fillRgn, *opaque;
  };
  const Case cases[] = {
      {{2, 2, 5, 5}, square23, square23, square23, square23},
      {{5, 5, 2, 2}, square33, square33, square23, square23},
      {{5, 2, 2, 5}, shifted, shifted, square23, square23},
      {{2, 5, 5, 2}, lowered, lowered, square23, square23},
      {{-3, -3, 2, 2}, corner, corner, corner, corner},
      {{3, 3, 3, 6}, empty, empty, empty, empty},
  };
  HBRUSH black = CreateSolidBrush(0);
  for (const Case &c : cases) {
    const RECT &r = c.r;
    Canvas canvas(7, 7);
    HGDIOBJ old = SelectObject(canvas.dc, black);
    EXPECT_TRUE(BitBlt(canvas.dc, r.left, r.top, r.right - r.left, r.bottom - r.top, nullptr, 0, 0, PATCOPY));
    EXPECT_EQ(Covered(canvas), c.bitBlt) << "BitBlt " << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    canvas.Fill(kWhite);
    EXPECT_EQ(FillRect(canvas.dc, &r, black), 1);
    EXPECT_EQ(Covered(canvas), c.fillRect) << "FillRect " << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    canvas.Fill(kWhite);
    HRGN region = CreateRectRgn(r.left, r.top, r.right, r.bottom);
    EXPECT_TRUE(FillRgn(canvas.dc, region, black));
    DeleteObject(region);
    EXPECT_EQ(Covered(canvas), c.fillRgn) << "FillRgn " << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    canvas.Fill(kWhite);
    SetBkColor(canvas.dc, 0);
    EXPECT_TRUE(ExtTextOutW(canvas.dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr));
    EXPECT_EQ(Covered(canvas), c.opaque) << "ExtTextOutW " << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    SelectObject(canvas.dc, old);
  }
  DeleteObject(black);
}

TEST(BlitTest, CallsThatDrawNothing) {
  Canvas canvas(4, 4);
  HBRUSH black = CreateSolidBrush(0);
  HGDIOBJ old = SelectObject(canvas.dc, black);
  const RECT all = {0, 0, 4, 4};
  SetBkColor(canvas.dc, 0);
  // No rectangle, or no ETO_OPAQUE: the opaque rectangle is not drawn, and without text nothing else is.
  EXPECT_TRUE(ExtTextOutW(canvas.dc, 0, 0, ETO_OPAQUE, nullptr, nullptr, 0, nullptr));
  EXPECT_TRUE(ExtTextOutW(canvas.dc, 0, 0, 0, &all, nullptr, 0, nullptr));
  // Text needs fonts the layer does not have.
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(ExtTextOutW(canvas.dc, 0, 0, ETO_OPAQUE, &all, TEXT("A"), 1, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
  // An operation that reads a source has none here.
  EXPECT_FALSE(BitBlt(canvas.dc, 0, 0, 4, 4, nullptr, 0, 0, SRCCOPY));
  // A hollow brush paints nothing, whatever the operation does with its pattern.
  LOGBRUSH hollow = {BS_HOLLOW, 0, 0};
  HBRUSH none = CreateBrushIndirect(&hollow);
  SelectObject(canvas.dc, none);
  EXPECT_TRUE(BitBlt(canvas.dc, 0, 0, 4, 4, nullptr, 0, 0, PATCOPY));
  EXPECT_EQ(FillRect(canvas.dc, &all, none), 1);
  // Positions and sizes at the ends of the integer range.
  SelectObject(canvas.dc, black);
  EXPECT_TRUE(BitBlt(canvas.dc, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, nullptr, 0, 0, PATCOPY));
  EXPECT_TRUE(BitBlt(canvas.dc, (int)0x80000000, 0, (int)0x80000000, 4, nullptr, 0, 0, PATCOPY));
  EXPECT_TRUE(BitBlt(canvas.dc, 30000, 30000, 4, 4, nullptr, 0, 0, PATCOPY));
  const RECT huge = {(LONG)0x80000000, (LONG)0x80000000, 0x7FFFFFFF, -0x7FFFFFFF};
  EXPECT_EQ(FillRect(canvas.dc, &huge, none), 1);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(canvas.Get(x, y), kWhite) << x << "," << y;
  // The whole canvas at once, from far outside.
  EXPECT_TRUE(BitBlt(canvas.dc, -0x40000000, -0x40000000, 0x7FFFFFFF, 0x7FFFFFFF, nullptr, 0, 0, PATCOPY));
  EXPECT_EQ(canvas.Get(3, 3), RGB(0, 0, 0));
  SelectObject(canvas.dc, old);
  DeleteObject(black);
  DeleteObject(none);
}

// BitBlt with every operation that reads no source, each brush kind, both background modes, against
// the model; FillRect is the PATCOPY case with its own brush.
TEST(BlitTest, RandomPatternBlitsMatchTheModel) {
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    Random random(seed);
    int cw = random.Between(1, 50), ch = random.Between(1, 20);
    Canvas canvas(cw, ch);
    for (int y = 0; y < ch; ++y)
      for (int x = 0; x < cw; ++x) canvas.Set(x, y, random.Next() & 0xFFFFFF);
    BYTE rop3;
    do rop3 = static_cast<BYTE>(random.Next());
    while (((rop3 >> 2) ^ rop3) & 0x33);  // operations that read no source
    gdi_test::ModelBrush brush;
    HBRUSH handle = gdi_test::CreateRandomBrush(random, gdi_test::RandomPattern::packedDib, brush);
    ASSERT_NE(handle, nullptr) << "seed " << seed;
    COLORREF bk = random.Next() & 0xFFFFFF;
    bool transparent = random.Between(0, 3) == 0;
    SetBkColor(canvas.dc, bk);
    SetBkMode(canvas.dc, transparent ? TRANSPARENT : OPAQUE);
    int x0 = random.Between(-10, cw + 2), y0 = random.Between(-10, ch + 2);
    int w = random.Between(-20, 40), h = random.Between(-20, 30);
    bool fillRect = random.Between(0, 4) == 0;
    if (fillRect) rop3 = 0xF0;

    std::vector<COLORREF> expected(cw * ch);
    for (int y = 0; y < ch; ++y)
      for (int x = 0; x < cw; ++x) {
        COLORREF d = canvas.Get(x, y);
        expected[y * cw + x] = d;
        int left = w < 0 ? x0 + w + 1 : x0, top = h < 0 ? y0 + h + 1 : y0;
        if (x < left || x >= left + std::abs(w) || y < top || y >= top + std::abs(h)) continue;
        bool painted;
        COLORREF p = gdi_test::BrushAt(brush, x, y, bk, transparent, painted);
        if (((rop3 >> 4) ^ rop3) & 0x0F && !painted) continue;
        expected[y * cw + x] = gdi_test::ApplyRop(rop3, p, 0, d);
      }
    if (fillRect) {
      const RECT r = {x0, y0, x0 + w, y0 + h};
      EXPECT_EQ(FillRect(canvas.dc, &r, handle), 1);
    } else {
      HGDIOBJ old = SelectObject(canvas.dc, handle);
      EXPECT_TRUE(BitBlt(canvas.dc, x0, y0, w, h, nullptr, 0, 0, static_cast<DWORD>(rop3) << 16));
      SelectObject(canvas.dc, old);
    }
    for (int y = 0; y < ch; ++y)
      for (int x = 0; x < cw; ++x)
        ASSERT_EQ(canvas.Get(x, y), expected[y * cw + x])
            << "seed " << seed << " at " << x << "," << y << " rop3 " << int(rop3) << " rect " << x0 << "," << y0
            << " " << w << "x" << h << (fillRect ? " FillRect" : " BitBlt");
    DeleteObject(handle);
  }
}

}  // namespace
