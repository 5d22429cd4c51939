// Pens and Polyline: GDI's pixel choice for one-pixel lines, the dash styles and their run along a
// polyline, lines whose end points lie far off the canvas, and the calls' failures. Expected pictures
// were taken from a real GDI drawing the same calls on a 24-bit DIB section.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "canvas.h"

namespace {

using gdi_test::Canvas;
using gdi_test::Random;

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kPen = RGB(255, 0, 0);
constexpr COLORREF kGap = RGB(0, 255, 0);
constexpr DWORD kPoison = 0xdeadbeef;

// '#' pen colour, 'o' background colour, '.' untouched.
std::string Picture(const Canvas &canvas) {
  return canvas.Picture(0, 0, canvas.width, canvas.height, {{kPen, '#'}, {kGap, 'o'}, {kWhite, '.'}});
}

// Draws one polyline with a pen of the style in the background mode, gaps in kGap.
void Draw(const Canvas &canvas, int style, int mode, const std::vector<POINT> &points) {
  HPEN pen = CreatePen(style, 1, kPen);
  HGDIOBJ old = SelectObject(canvas.dc, pen);
  SetBkColor(canvas.dc, kGap);
  SetBkMode(canvas.dc, mode);
  EXPECT_TRUE(Polyline(canvas.dc, points.data(), static_cast<int>(points.size())));
  SelectObject(canvas.dc, old);
  DeleteObject(pen);
}

// The lit pixels as "xy" pairs, nearest to (4, 4) first.
std::string LitFromCentre(const Canvas &canvas) {
  std::vector<POINT> lit;
  for (int y = 0; y < canvas.height; ++y)
    for (int x = 0; x < canvas.width; ++x)
      if (canvas.Get(x, y) == kPen) lit.push_back({x, y});
  auto distance = [](POINT p) { return std::max(std::abs(p.x - 4), std::abs(p.y - 4)); };
  std::stable_sort(lit.begin(), lit.end(), [&](POINT a, POINT b) { return distance(a) < distance(b); });
  std::string text;
  for (POINT p : lit) text += (text.empty() ? "" : " ") + std::to_string(p.x) + std::to_string(p.y);
  return text;
}

// Where the line passes halfway between two pixels, the smaller coordinate wins in every octant; the
// end point is never lit.
TEST(LineTest, PixelChoiceInEveryOctant) {
  struct Case {
    POINT to;
    const char *lit;
  };
  const Case cases[] = {
      {{8, 5}, "44 54 64 75"}, {{8, 3}, "44 54 63 73"}, {{0, 5}, "44 34 24 15"}, {{0, 3}, "44 34 23 13"},
      {{5, 8}, "44 45 46 57"}, {{3, 8}, "44 45 36 37"}, {{5, 0}, "44 43 42 51"}, {{3, 0}, "44 43 32 31"},
      {{8, 6}, "44 54 65 75"}, {{2, 8}, "44 35 36 27"}, {{0, 0}, "44 33 22 11"}, {{8, 8}, "44 55 66 77"},
      {{4, 4}, ""},
  };
  for (bool topDown : {false, true}) {
    for (const Case &c : cases) {
      Canvas canvas(9, 9, topDown);
      Draw(canvas, PS_SOLID, OPAQUE, {{4, 4}, c.to});
      EXPECT_EQ(LitFromCentre(canvas), c.lit) << "to " << c.to.x << "," << c.to.y << (topDown ? " top-down" : "");
    }
  }
}

// The dash lengths of every cosmetic style, gaps painted only in OPAQUE mode.
TEST(LineTest, DashLengthsOfEveryStyle) {
  struct Case {
    int style, mode;
    const char *row;
  };
  const Case cases[] = {
      {PS_SOLID, OPAQUE, "##############################"},
      {PS_DASH, OPAQUE, "##################oooooo######"},
      {PS_DOT, OPAQUE, "###ooo###ooo###ooo###ooo###ooo"},
      {PS_DASHDOT, OPAQUE, "#########oooooo###oooooo######"},
      {PS_DASHDOTDOT, OPAQUE, "#########ooo###ooo###ooo######"},
      {PS_NULL, OPAQUE, ".............................."},
      {PS_INSIDEFRAME, OPAQUE, "##############################"},
      {PS_DASH, TRANSPARENT, "##################......######"},
      {PS_DOT, TRANSPARENT, "###...###...###...###...###..."},
      {PS_DASHDOTDOT, TRANSPARENT, "#########...###...###...######"},
  };
  for (const Case &c : cases) {
    Canvas canvas(30, 1);
    Draw(canvas, c.style, c.mode, {{0, 0}, {31, 0}});
    EXPECT_EQ(Picture(canvas), std::string(c.row) + "\n") << "style " << c.style << " mode " << c.mode;
  }
}

// The style steps once per pixel, whatever the line's direction, and runs on across the corners of one
// polyline; a new Polyline call starts it again.
TEST(LineTest, StyleRunsAlongThePolyline) {
  const std::vector<POINT> corners = {{0, 0}, {10, 0}, {10, 7}, {3, 14}};
  struct Case {
    int style, mode;
    const char *picture;
  };
  const Case cases[] = {
      {PS_DASHDOT, OPAQUE,
       "#########oo.....\n..........o.....\n..........o.....\n..........o.....\n..........o.....\n"
       "..........#.....\n..........#.....\n..........#.....\n.........o......\n........o.......\n"
       ".......o........\n......o.........\n.....o..........\n....o...........\n"},
      {PS_DASHDOTDOT, TRANSPARENT,
       "#########.......\n................\n..........#.....\n..........#.....\n..........#.....\n"
       "................\n................\n................\n.........#......\n........#.......\n"
       ".......#........\n................\n................\n................\n"},
  };
  for (const Case &c : cases) {
    Canvas canvas(16, 14);
    Draw(canvas, c.style, c.mode, corners);
    EXPECT_EQ(Picture(canvas), c.picture) << "style " << c.style;
  }

  Canvas canvas(30, 1);
  Draw(canvas, PS_DASH, OPAQUE, {{0, 0}, {10, 0}});
  Draw(canvas, PS_DASH, OPAQUE, {{10, 0}, {31, 0}});
  EXPECT_EQ(Picture(canvas), "############################oo\n");
}

// A line whose end points lie anywhere in the 32-bit plane lights, on the canvas, exactly the pixels
// and dashes of the same geometric line drawn whole: drawn here from nearby end points, shifted onto a
// canvas that holds all of it. The far start lies a whole number of style periods (24 pixels) further
// back, so the dashes line up too.
TEST(LineTest, FarEndPointsDrawTheLineTheyLieOn) {
  constexpr int kWidth = 23, kHeight = 17, kShift = 200;
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    Random random(seed);
    const int dx = random.Between(-12, 12), dy = random.Between(-12, 12);
    if (dx == 0 && dy == 0) continue;
    const int style = random.Between(PS_SOLID, PS_DASHDOTDOT);
    const POINT p = {random.Between(-5, kWidth + 5), random.Between(-5, kHeight + 5)};
    // m steps of (dx, dy) either side of p reach past the canvas; the far ends stay within 32 bits.
    const int m = (kWidth + kHeight + 10) / std::max(std::abs(dx), std::abs(dy)) + 1;
    const long long room = (INT_MAX - 2000LL) / (12LL * 24);
    const long long back = m + 24LL * (random.Next() % room), ahead = m + random.Next() % (room * 24);
    const POINT farFrom = {static_cast<LONG>(p.x - back * dx), static_cast<LONG>(p.y - back * dy)};
    const POINT farTo = {static_cast<LONG>(p.x + ahead * dx), static_cast<LONG>(p.y + ahead * dy)};

    Canvas canvas(kWidth, kHeight, seed % 2 == 0);
    Draw(canvas, style, OPAQUE, {farFrom, farTo});

    Canvas whole(2 * kShift, 2 * kShift);
    Draw(whole, style, OPAQUE, {{kShift + p.x - m * dx, kShift + p.y - m * dy}, {kShift + p.x + m * dx, kShift + p.y + m * dy}});
    bool same = true;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) same = same && canvas.Get(x, y) == whole.Get(kShift + x, kShift + y);
    ASSERT_TRUE(same) << "seed " << seed << ": " << farFrom.x << "," << farFrom.y << " to " << farTo.x << ","
                      << farTo.y << "\n"
                      << Picture(canvas);
  }
}

TEST(LineTest, EndPointsAtTheLimitsOfTheCoordinateSpace) {
  struct Case {
    POINT from, to;
    const char *picture;
  };
  const Case cases[] = {
      {{INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}, "#...\n.#..\n..#.\n...#\n"},
      {{INT_MAX, INT_MAX}, {INT_MIN, INT_MIN}, "#...\n.#..\n..#.\n...#\n"},
      {{INT_MIN, 2}, {INT_MAX, 2}, "....\n....\n####\n....\n"},
      {{1, INT_MAX}, {1, INT_MIN}, ".#..\n.#..\n.#..\n.#..\n"},
      {{INT_MIN, INT_MAX}, {INT_MAX, INT_MIN}, "....\n....\n....\n....\n"},
      {{INT_MIN, 0}, {3, 0}, "###.\n....\n....\n....\n"},
      {{INT_MAX, INT_MIN}, {INT_MAX, INT_MAX}, "....\n....\n....\n....\n"},
  };
  for (const Case &c : cases) {
    Canvas canvas(4, 4);
    Draw(canvas, PS_SOLID, OPAQUE, {c.from, c.to});
    EXPECT_EQ(Picture(canvas), c.picture) << c.from.x << "," << c.from.y << " to " << c.to.x << "," << c.to.y;
  }
}

// Colours are taken when the line is drawn: the pen's COLORREF as GDI resolves it on a 24-bit bitmap,
// and the context's background colour of the moment.
TEST(LineTest, ColoursAreThoseOfTheMoment) {
  Canvas canvas(8, 1);
  HPEN pen = CreatePen(PS_DOT, 1, 0x0100000D);  // PALETTEINDEX(13): the default palette's red
  HGDIOBJ old = SelectObject(canvas.dc, pen);
  SetBkColor(canvas.dc, RGB(1, 2, 3));
  SetBkColor(canvas.dc, kGap);
  const POINT points[] = {{0, 0}, {8, 0}};
  EXPECT_TRUE(Polyline(canvas.dc, points, 2));
  EXPECT_EQ(Picture(canvas), "###ooo##\n");
  SelectObject(canvas.dc, old);
  DeleteObject(pen);
}

TEST(LineTest, PolylineFailures) {
  Canvas canvas(4, 4);
  const POINT points[] = {{0, 0}, {3, 3}};
  struct Case {
    HDC dc;
    const POINT *points;
    int count;
    DWORD error;  // kPoison: GDI leaves the last error alone
  };
  const Case cases[] = {
      {nullptr, points, 2, ERROR_INVALID_HANDLE},
      {reinterpret_cast<HDC>(canvas.bitmap), points, 2, ERROR_INVALID_HANDLE},
      {canvas.dc, points, 1, kPoison},
      {canvas.dc, points, 0, kPoison},
      {canvas.dc, points, -1, kPoison},
      {canvas.dc, nullptr, 2, ERROR_INVALID_PARAMETER},
  };
  for (const Case &c : cases) {
    SetLastError(kPoison);
    EXPECT_FALSE(Polyline(c.dc, c.points, c.count)) << c.count;
    EXPECT_EQ(GetLastError(), c.error) << c.count;
  }

  // A wide pen is geometric, which this layer does not draw: it says so rather than drawing thin.
  HPEN wide = CreatePen(PS_SOLID, 3, kPen);
  HGDIOBJ old = SelectObject(canvas.dc, wide);
  SetLastError(kPoison);
  EXPECT_FALSE(Polyline(canvas.dc, points, 2));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
  SelectObject(canvas.dc, old);
  DeleteObject(wide);
  EXPECT_EQ(Picture(canvas), "....\n....\n....\n....\n");

  // A fresh memory context draws on its 1 x 1 default bitmap.
  HDC fresh = CreateCompatibleDC(canvas.dc);
  EXPECT_TRUE(Polyline(fresh, points, 2));
  DeleteDC(fresh);
}

// What GDI keeps of a pen's description, as GetObject reports it.
TEST(PenTest, WhatGdiKeeps) {
  struct Case {
    UINT style;
    int width;
    LOGPEN kept;
  };
  const Case cases[] = {
      {PS_SOLID, 0, {PS_SOLID, {0, 0}, kPen}},
      {PS_DASH, 1, {PS_DASH, {1, 0}, kPen}},
      {PS_DOT, -1, {PS_DOT, {1, 0}, kPen}},
      {PS_INSIDEFRAME, -3, {PS_INSIDEFRAME, {3, 0}, kPen}},
      {PS_NULL, 2, {PS_NULL, {1, 0}, 0}},
      {PS_USERSTYLE, 1, {PS_SOLID, {1, 0}, kPen}},
      {PS_ALTERNATE, 1, {PS_SOLID, {1, 0}, kPen}},
      {PS_GEOMETRIC | PS_DASH, 1, {PS_SOLID, {1, 0}, kPen}},
      {PS_ENDCAP_FLAT | PS_DOT, 2, {PS_SOLID, {2, 0}, kPen}},
      {0x80000002u, 1, {PS_SOLID, {1, 0}, kPen}},
  };
  for (const Case &c : cases) {
    const LOGPEN description = {c.style, {c.width, 7}, kPen};
    for (HPEN pen : {CreatePen(static_cast<int>(c.style), c.width, kPen), CreatePenIndirect(&description)}) {
      ASSERT_NE(pen, nullptr);
      LOGPEN kept;
      std::memset(&kept, 0xcd, sizeof kept);
      EXPECT_EQ(GetObjectW(pen, sizeof kept, &kept), static_cast<int>(sizeof kept));
      EXPECT_EQ(kept.lopnStyle, c.kept.lopnStyle) << std::hex << c.style;
      EXPECT_EQ(kept.lopnWidth.x, c.kept.lopnWidth.x) << std::hex << c.style;
      EXPECT_EQ(kept.lopnWidth.y, 0) << std::hex << c.style;
      EXPECT_EQ(kept.lopnColor, c.kept.lopnColor) << std::hex << c.style;
      EXPECT_TRUE(DeleteObject(pen));
    }
  }
  SetLastError(kPoison);
  EXPECT_EQ(CreatePenIndirect(nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
