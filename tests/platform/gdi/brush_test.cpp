// Brushes as they paint: hatch patterns, pattern tiling from the canvas origin, LOGBRUSH styles, colours.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <vector>

#include "canvas.h"

namespace {

using gdi_test::Canvas;

constexpr COLORREF kLine = RGB(200, 20, 90);
constexpr COLORREF kSpace = RGB(0, 0, 255);
constexpr COLORREF kUnder = RGB(0, 255, 0);

// GDI's 8 x 8 hatches as they appear from the canvas origin ('#' line, '.' space).
TEST(BrushTest, HatchPatterns) {
  struct Case {
    int style;
    const char *tile;
  };
  const Case cases[] = {
      {HS_HORIZONTAL, "........\n........\n........\n########\n........\n........\n........\n........\n"},
      {HS_VERTICAL, "....#...\n....#...\n....#...\n....#...\n....#...\n....#...\n....#...\n....#...\n"},
      {HS_FDIAGONAL, "#.......\n.#......\n..#.....\n...#....\n....#...\n.....#..\n......#.\n.......#\n"},
      {HS_BDIAGONAL, ".......#\n......#.\n.....#..\n....#...\n...#....\n..#.....\n.#......\n#.......\n"},
      {HS_CROSS, "....#...\n....#...\n....#...\n########\n....#...\n....#...\n....#...\n....#...\n"},
      {HS_DIAGCROSS, "#......#\n.#....#.\n..#..#..\n...##...\n...##...\n..#..#..\n.#....#.\n#......#\n"},
  };
  for (const Case &c : cases) {
    Canvas canvas(24, 24);
    canvas.Fill(kUnder);
    SetBkColor(canvas.dc, kSpace);
    HBRUSH brush = CreateHatchBrush(c.style, kLine);
    // Two fills that start off the tile grid: the pattern still lines up with the canvas origin.
    const RECT first = {3, 5, 24, 24}, second = {0, 0, 3, 24}, third = {3, 0, 24, 5};
    FillRect(canvas.dc, &first, brush);
    FillRect(canvas.dc, &second, brush);
    FillRect(canvas.dc, &third, brush);
    EXPECT_EQ(canvas.Picture(8, 16, 8, 8, {{kLine, '#'}, {kSpace, '.'}}), c.tile) << "style " << c.style;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) ASSERT_EQ(canvas.Get(x, y), canvas.Get(x + 8, y + 8)) << c.style << " " << x << "," << y;
    DeleteObject(brush);
  }
}

TEST(BrushTest, TransparentHatchLeavesTheSpacesAlone) {
  Canvas canvas(8, 8);
  canvas.Fill(kUnder);
  SetBkMode(canvas.dc, TRANSPARENT);
  HBRUSH brush = CreateHatchBrush(HS_CROSS, kLine);
  HGDIOBJ old = SelectObject(canvas.dc, brush);
  // Under an operation too: only the line pixels change.
  EXPECT_TRUE(BitBlt(canvas.dc, 0, 0, 8, 8, nullptr, 0, 0, PATINVERT));
  COLORREF inverted = RGB(200 ^ 0, 20 ^ 255, 90 ^ 0);
  EXPECT_EQ(canvas.Picture(0, 0, 8, 4, {{inverted, '#'}, {kUnder, '.'}}),
            "....#...\n....#...\n....#...\n########\n");
  SelectObject(canvas.dc, old);
  DeleteObject(brush);
}

TEST(BrushTest, HatchStylesOutsideTheTable) {
  Canvas canvas(8, 8);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(CreateHatchBrush(-1, kLine), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  // Styles past HS_DIAGCROSS give a solid brush of the colour.
  for (int style : {6, 7, 100}) {
    HBRUSH brush = CreateHatchBrush(style, kLine);
    ASSERT_NE(brush, nullptr);
    const RECT all = {0, 0, 8, 8};
    FillRect(canvas.dc, &all, brush);
    EXPECT_EQ(canvas.Picture(0, 0, 8, 8, {{kLine, '#'}}).find_first_not_of("#\n"), std::string::npos) << style;
    DeleteObject(brush);
  }
}

TEST(BrushTest, LogicalBrushStyles) {
  struct Case {
    UINT style;
    ULONG_PTR hatch;
    bool created;
    const char *row;  // the first row painted over white by FillRect, or "" when nothing is created
  };
  const Case cases[] = {
      {BS_SOLID, 0, true, "########"},
      {BS_SOLID, 0xdeadbeef, true, "########"},
      {BS_HOLLOW, 0, true, "........"},
      {BS_HATCHED, HS_VERTICAL, true, "....#..."},
      {BS_HATCHED, 77, true, "########"},
      // The pattern styles would read lbHatch as a handle or an address: refused.
      {BS_PATTERN, 0xdeadbeef, false, ""},
      {BS_INDEXED, 0, false, ""},
      {BS_DIBPATTERN, 0xdeadbeef, false, ""},
      {BS_DIBPATTERNPT, 0xdeadbeef, false, ""},
      {BS_PATTERN8X8, 0xdeadbeef, false, ""},
      {BS_DIBPATTERN8X8, 0xdeadbeef, false, ""},
      {BS_MONOPATTERN, 0xdeadbeef, false, ""},
      {1000, 0, false, ""},
  };
  for (const Case &c : cases) {
    Canvas canvas(8, 1);
    LOGBRUSH logical = {c.style, kLine, c.hatch};
    SetLastError(0xdeadbeef);
    HBRUSH brush = CreateBrushIndirect(&logical);
    EXPECT_EQ(brush != nullptr, c.created) << "style " << c.style;
    if (!brush) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
      continue;
    }
    const RECT all = {0, 0, 8, 1};
    EXPECT_EQ(FillRect(canvas.dc, &all, brush), 1);
    EXPECT_EQ(canvas.Picture(0, 0, 8, 1, {{kLine, '#'}, {RGB(255, 255, 255), '.'}}), std::string(c.row) + "\n")
        << "style " << c.style;
    DeleteObject(brush);
  }
  EXPECT_EQ(CreateBrushIndirect(nullptr), nullptr);
}

// What a COLORREF paints on a 24-bit canvas.
TEST(BrushTest, ColourForms) {
  struct Case {
    COLORREF color;
    COLORREF painted;
  };
  const Case cases[] = {
      {0x00123456, 0x00123456},
      {0x02123456, 0x00123456},  // PALETTERGB: the colour itself
      {0x01000003, RGB(0x80, 0x80, 0x00)},  // PALETTEINDEX(3) of the default palette
      {0x0100000D, RGB(0xFF, 0x00, 0x00)},
      {0x01000014, 0},  // past the default palette: black
      {0xFF123456, 0},  // an index flag with a bad index
      {0x04123456, 0x00123456},
      {0x80123456, 0x00123456},
  };
  for (const Case &c : cases) {
    Canvas canvas(1, 1);
    HBRUSH brush = CreateSolidBrush(c.color);
    const RECT all = {0, 0, 1, 1};
    FillRect(canvas.dc, &all, brush);
    EXPECT_EQ(canvas.Get(0, 0), c.painted) << std::hex << c.color;
    DeleteObject(brush);
    // The opaque rectangle fill resolves its colour the same way and keeps it as given.
    canvas.Fill(RGB(1, 1, 1));
    SetBkColor(canvas.dc, c.color);
    ExtTextOutW(canvas.dc, 0, 0, ETO_OPAQUE, &all, nullptr, 0, nullptr);
    EXPECT_EQ(canvas.Get(0, 0), c.painted) << std::hex << c.color;
    EXPECT_EQ(GetBkColor(canvas.dc), c.color);
  }
}

COLORREF PatternColour(int x, int y) { return RGB(x * 30, y * 30, (x + y) * 7); }

// A pattern brush from an 8 x 8 device bitmap (rows top-down, 24 bytes each) tiles from the canvas
// origin, and outlives its bitmap.
TEST(BrushTest, PatternBrushTilesFromTheOrigin) {
  BYTE image[8 * 24];
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      COLORREF c = PatternColour(x, y);
      image[y * 24 + 3 * x] = GetBValue(c);
      image[y * 24 + 3 * x + 1] = GetGValue(c);
      image[y * 24 + 3 * x + 2] = GetRValue(c);
    }
  HBITMAP bitmap = CreateBitmap(8, 8, 1, 24, image);
  ASSERT_NE(bitmap, nullptr);
  HBRUSH brush = CreatePatternBrush(bitmap);
  ASSERT_NE(brush, nullptr);
  EXPECT_TRUE(DeleteObject(bitmap));
  Canvas canvas(21, 19);
  const RECT rect = {3, 5, 20, 18};
  FillRect(canvas.dc, &rect, brush);
  for (int y = 0; y < 19; ++y)
    for (int x = 0; x < 21; ++x) {
      bool inside = x >= 3 && x < 20 && y >= 5 && y < 18;
      ASSERT_EQ(canvas.Get(x, y), inside ? PatternColour(x % 8, y % 8) : RGB(255, 255, 255)) << x << "," << y;
    }
  DeleteObject(brush);
}

// A packed DIB of any size, bottom-up rows padded to 4 bytes, tiles the same way.
TEST(BrushTest, DibPatternBrushOfAnySize) {
  for (int width : {1, 3, 5, 8, 11}) {
    for (int height : {1, 2, 7}) {
      int stride = (3 * width + 3) & ~3;
      std::vector<BYTE> packed(sizeof(BITMAPINFOHEADER) + stride * height, 0xEE);  // padding: a poison value
      BITMAPINFOHEADER header = {40, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
      std::memcpy(packed.data(), &header, sizeof header);
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
          BYTE *p = packed.data() + 40 + (height - 1 - y) * stride + 3 * x;
          COLORREF c = PatternColour(x, y);
          p[0] = GetBValue(c);
          p[1] = GetGValue(c);
          p[2] = GetRValue(c);
        }
      HBRUSH brush = CreateDIBPatternBrushPt(packed.data(), DIB_RGB_COLORS);
      ASSERT_NE(brush, nullptr);
      Canvas canvas(17, 9);
      HGDIOBJ old = SelectObject(canvas.dc, brush);
      BitBlt(canvas.dc, 2, 1, 15, 8, nullptr, 0, 0, PATCOPY);
      for (int y = 1; y < 9; ++y)
        for (int x = 2; x < 17; ++x)
          ASSERT_EQ(canvas.Get(x, y), PatternColour(x % width, y % height)) << width << "x" << height << " at " << x << "," << y;
      SelectObject(canvas.dc, old);
      DeleteObject(brush);
    }
  }
}

}  // namespace
