// StretchDIBits: the pixel mapping of copies, stretches, shrinks and mirrors, clipping, the headers it
// accepts, the source formats it reads, and its results against a pixel-at-a-time model.
//
// The mapping tables were taken from a real GDI: each source pixel i carries a colour with only bit i
// cleared, so the AND of the pixels that shrink into one destination pixel names them all.
#include <gtest/gtest.h>
#include <windows.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "canvas.h"
#include "model.h"

namespace {

using gdi_test::Canvas;
using gdi_test::Random;

// A 24-bit DIB in memory.
class Image {
 public:
  Image(int width, int height, int bitCount = 24) : width(width), height(height < 0 ? -height : height) {
    info.bmiHeader = {40, width, height, 1, static_cast<WORD>(bitCount), BI_RGB, 0, 0, 0, 0, 0};
    stride = ((width * bitCount + 31) / 32) * 4;
    bits.assign(static_cast<size_t>(stride) * this->height, 0);
    topDown = height < 0;
  }
  BYTE *Row(int y) { return bits.data() + (topDown ? y : height - 1 - y) * stride; }
  void Set(int x, int y, DWORD bgr) {
    BYTE *p = Row(y) + 3 * x;
    p[0] = bgr & 0xFF;
    p[1] = (bgr >> 8) & 0xFF;
    p[2] = (bgr >> 16) & 0xFF;
  }
  // Pixel i (counted across rows from the top left) has only bit i cleared.
  static Image Tagged(int width, int height) {
    Image image(width, height);
    for (int y = 0; y < image.height; ++y)
      for (int x = 0; x < width; ++x) image.Set(x, y, ~(1u << (y * width + x)) & 0xFFFFFF);
    return image;
  }
  int Blit(const Canvas &canvas, int xd, int yd, int wd, int hd, int xs, int ys, int ws, int hs, DWORD rop = SRCCOPY) const {
    return StretchDIBits(canvas.dc, xd, yd, wd, hd, xs, ys, ws, hs, bits.data(), &info, DIB_RGB_COLORS, rop);
  }

  BITMAPINFO info = {};
  int width, height, stride = 0;
  bool topDown = false;
  std::vector<BYTE> bits;
};

// The source pixels whose bits are cleared in a canvas pixel: "-" for none (white), "2+3" for two.
std::string Tags(const Canvas &canvas, int x, int y) {
  const BYTE *p = canvas.At(x, y);
  DWORD cleared = ~(p[0] | p[1] << 8 | p[2] << 16) & 0xFFFFFF;
  if (!cleared) return "-";
  std::string text;
  for (int i = 0; i < 24; ++i)
    if (cleared >> i & 1) text += (text.empty() ? "" : "+") + std::to_string(i);
  return text;
}

std::string RowTags(const Canvas &canvas, int y, int x0, int count) {
  std::string text;
  for (int x = x0; x < x0 + count; ++x) text += (x == x0 ? "" : " ") + Tags(canvas, x, y);
  return text;
}

std::string ColumnTags(const Canvas &canvas, int x, int y0, int count) {
  std::string text;
  for (int y = y0; y < y0 + count; ++y) text += (y == y0 ? "" : " ") + Tags(canvas, x, y);
  return text;
}

TEST(StretchTest, HorizontalMapping) {
  struct Case {
    int sw, dw;
    const char *tags;
  };
  const Case cases[] = {
      {1, 3, "0 0 0"},
      {2, 5, "0 0 0 1 1"},
      {3, 2, "0+1 2"},
      {3, 4, "0 1 1 2"},
      {4, 3, "0 1+2 3"},
      {4, 5, "0 1 1 2 3"},
      {4, 6, "0 0 1 2 2 3"},
      {5, 3, "0+1 2 3+4"},
      {5, 7, "0 1 1 2 3 3 4"},
      {7, 4, "0+1 2+3 4 5+6"},
      {7, 9, "0 1 1 2 3 4 5 5 6"},
      {7, 10, "0 1 1 2 3 3 4 5 5 6"},
      {8, 5, "0+1 2 3+4 5 6+7"},
      {8, 13, "0 0 1 2 2 3 3 4 5 5 6 7 7"},
      {10, 3, "0+1+2 3+4+5+6 7+8+9"},
      {10, 4, "0+1+2 3+4 5+6+7 8+9"},
      {10, 6, "0+1 2 3+4 5+6 7 8+9"},
      {10, 13, "0 1 1 2 3 4 4 5 6 7 8 8 9"},
      {16, 5, "0+1+2 3+4+5 6+7+8+9 10+11+12 13+14+15"},
      {16, 7, "0+1 2+3+4 5+6 7+8 9+10 11+12+13 14+15"},
      {16, 20, "0 1 1 2 3 4 5 5 6 7 8 9 9 10 11 12 13 13 14 15"},
      {24, 5, "0+1+2+3+4 5+6+7+8+9 10+11+12+13 14+15+16+17+18 19+20+21+22+23"},
      {24, 9, "0+1+2 3+4 5+6+7 8+9+10 11+12 13+14+15 16+17+18 19+20 21+22+23"},
      {24, 13, "0+1 2+3 4+5 6 7+8 9+10 11+12 13+14 15+16 17 18+19 20+21 22+23"},
      {24, 20, "0 1 2+3 4 5 6 7 8+9 10 11 12 13 14+15 16 17 18 19 20+21 22 23"},
      {24, 25, "0 1 2 3 4 5 6 7 8 9 10 11 11 12 13 14 15 16 17 18 19 20 21 22 23"},
  };
  for (const Case &c : cases) {
    Canvas canvas(30, 1);
    Image source = Image::Tagged(c.sw, 1);
    EXPECT_EQ(source.Blit(canvas, 0, 0, c.dw, 1, 0, 0, c.sw, 1), 1);
    EXPECT_EQ(RowTags(canvas, 0, 0, c.dw), c.tags) << c.sw << " to " << c.dw;
  }
}

TEST(StretchTest, VerticalMapping) {
  struct Case {
    int sh, dh;
    const char *tags;
  };
  const Case cases[] = {
      {5, 2, "0+1+2 3+4"},
      {5, 3, "0+1 2 3+4"},
      {5, 4, "0 1+2 3 4"},
      {5, 7, "0 1 1 2 3 3 4"},
      {5, 9, "0 0 1 1 2 3 3 4 4"},
      {5, 13, "0 0 0 1 1 2 2 2 3 3 4 4 4"},
      {8, 2, "0+1+2+3 4+5+6+7"},
      {8, 3, "0+1+2 3+4 5+6+7"},
      {8, 4, "0+1 2+3 4+5 6+7"},
      {8, 7, "0 1 2 3+4 5 6 7"},
      {8, 9, "0 1 2 3 3 4 5 6 7"},
      {8, 13, "0 0 1 2 2 3 3 4 5 5 6 7 7"},
      {10, 2, "0+1+2+3+4 5+6+7+8+9"},
      {10, 3, "0+1+2 3+4+5+6 7+8+9"},
      {10, 4, "0+1+2 3+4 5+6+7 8+9"},
      {10, 7, "0 1+2 3 4+5 6 7+8 9"},
      {10, 9, "0 1 2 3 4+5 6 7 8 9"},
      {10, 13, "0 1 1 2 3 4 4 5 6 7 8 8 9"},
  };
  for (const Case &c : cases) {
    Canvas canvas(1, 16);
    Image source = Image::Tagged(1, c.sh);
    EXPECT_EQ(source.Blit(canvas, 0, 0, 1, c.dh, 0, 0, 1, c.sh), c.sh);
    EXPECT_EQ(ColumnTags(canvas, 0, 0, c.dh), c.tags) << c.sh << " to " << c.dh;
  }
}

TEST(StretchTest, ShrinkingCombinesRowsAndColumns) {
  struct Case {
    int dw, dh;
    std::vector<const char *> rows;
  };
  const Case cases[] = {
      {3, 2, {"0+1+6+7 2+3+8+9 4+5+10+11", "12+13+18+19 14+15+20+21 16+17+22+23"}},
      {4, 3, {"0+1 2 3+4 5", "6+7+12+13 8+14 9+10+15+16 11+17", "18+19 20 21+22 23"}},
      {5, 3, {"0 1 2+3 4 5", "6+12 7+13 8+9+14+15 10+16 11+17", "18 19 20+21 22 23"}},
  };
  for (const Case &c : cases) {
    Canvas canvas(8, 4);
    Image source = Image::Tagged(6, 4);
    source.Blit(canvas, 0, 0, c.dw, c.dh, 0, 0, 6, 4);
    for (int y = 0; y < c.dh; ++y) EXPECT_EQ(RowTags(canvas, y, 0, c.dw), c.rows[y]) << c.dw << "x" << c.dh;
  }
}

// Negative extents mirror and cover x + extent + 1 .. x; a source column outside the image is not drawn.
TEST(StretchTest, Mirroring) {
  struct Case {
    int xd, dw, xs, sw;
    const char *tags;
  };
  const Case cases[] = {
      {10, 5, 0, 5, "- - - - - - - - - - 0 1 2 3 4 - - - - -"},
      {10, -5, 0, 5, "- - - - - - 4 3 2 1 0 - - - - - - - - -"},
      {10, 5, 5, -5, "- - - - - - - - - - - 4 3 2 1 - - - - -"},
      {10, -5, 5, -5, "- - - - - - 1 2 3 4 - - - - - - - - - -"},
      {10, -5, 0, -5, "- - - - - - - - - - 0 - - - - - - - - -"},
      {10, 7, 0, 5, "- - - - - - - - - - 0 1 1 2 3 3 4 - - -"},
      {10, -7, 0, 5, "- - - - 4 3 3 2 1 1 0 - - - - - - - - -"},
      {10, 3, 0, 5, "- - - - - - - - - - 0+1 2 3+4 - - - - - - -"},
      {10, -3, 0, 5, "- - - - - - - - 3+4 2 0+1 - - - - - - - - -"},
      {10, 3, 5, -5, "- - - - - - - - - - 4 3 1+2 - - - - - - -"},
      {10, -8, 4, -3, "- - - 2 2 2 3 3 4 4 4 - - - - - - - - -"},
  };
  for (const Case &c : cases) {
    Canvas canvas(20, 1);
    Image source = Image::Tagged(5, 1);
    EXPECT_EQ(source.Blit(canvas, c.xd, 0, c.dw, 1, c.xs, 0, c.sw, 1), 1);
    EXPECT_EQ(RowTags(canvas, 0, 0, 20), c.tags) << c.xd << " " << c.dw << " " << c.xs << " " << c.sw;
  }
  // Rows mirror the same way.
  Canvas canvas(1, 14);
  Image source = Image::Tagged(1, 5);
  source.Blit(canvas, 0, 10, 1, -7, 0, 0, 1, 5);
  EXPECT_EQ(ColumnTags(canvas, 0, 0, 14), "- - - - 4 3 3 2 1 1 0 - - -");
}

// Clipping to the canvas keeps the mapping of the whole destination rectangle.
TEST(StretchTest, ClippingKeepsTheMapping) {
  struct Case {
    int xd, dw;
    const char *tags;
  };
  const Case cases[] = {
      {-3, 25, "1 1 2 2 2 3 3 4 4 4 5 5 6 6 6 7 7 8 8 8 9 9 - - - - - - - -"},
      {-7, 7, "- - - - - - - - - - - - - - - - - - - - - - - - - - - - - -"},
      {-1, 4, "3+4 5+6+7 8+9 - - - - - - - - - - - - - - - - - - - - - - - - - - -"},
      {75, 13, "- - - - - 0 1 1 2 3"},
      {-5, 30, "1 2 2 2 3 3 3 4 4 4 5 5 5 6 6 6 7 7 7 8 8 8 9 9 9 - - - - -"},
  };
  for (const Case &c : cases) {
    Canvas canvas(80, 1);
    Image source = Image::Tagged(10, 1);
    EXPECT_EQ(source.Blit(canvas, c.xd, 0, c.dw, 1, 0, 0, 10, 1), 1);
    int from = c.xd < 0 ? 0 : 70;
    EXPECT_EQ(RowTags(canvas, 0, from, c.xd < 0 ? 30 : 10), c.tags) << c.xd << " " << c.dw;
  }
  Canvas canvas(1, 30);
  Image source = Image::Tagged(1, 5);
  source.Blit(canvas, 0, -3, 1, 12, 0, 0, 1, 5);
  EXPECT_EQ(ColumnTags(canvas, 0, 0, 10), "1 1 2 2 3 3 3 4 4 -");
  canvas.Fill(RGB(255, 255, 255));
  source.Blit(canvas, 0, 25, 1, 10, 0, 0, 1, 5);
  EXPECT_EQ(ColumnTags(canvas, 0, 24, 6), "- 0 0 1 1 2");
}

// Source rectangles: ySrc counts from the bottom row of the image, except that a top-down image read
// from ySrc 0 starts at its top row; parts outside the image are not drawn.
TEST(StretchTest, SourceRectangles) {
  struct Case {
    bool topDown;
    int xs, ys, w, h;
    std::vector<const char *> rows;
  };
  const Case cases[] = {
      {false, 1, 0, 3, 2, {"13 14 15", "19 20 21"}},
      {false, 0, 1, 3, 2, {"6 7 8", "12 13 14"}},
      {false, 2, 2, 4, 2, {"2 3 4 5", "8 9 10 11"}},
      {false, -2, 0, 4, 2, {"- - 12 13", "- - 18 19"}},
      {false, 4, 0, 4, 1, {"22 23 - -"}},
      {false, 0, -1, 6, 3, {"12 13 14 15 16 17", "18 19 20 21 22 23", "- - - - - -"}},
      {false, 0, 3, 6, 3, {"- - - - - -", "- - - - - -", "0 1 2 3 4 5"}},
      {true, 0, 0, 3, 2, {"0 1 2", "6 7 8"}},
      {true, 0, 1, 3, 2, {"6 7 8", "12 13 14"}},
      {true, 1, 2, 2, 1, {"7 8"}},
  };
  for (const Case &c : cases) {
    Canvas canvas(8, 4);
    Image source = Image::Tagged(6, 4);
    if (c.topDown) {
      Image flipped(6, -4);
      for (int y = 0; y < 4; ++y) std::memcpy(flipped.Row(y), source.Row(y), source.stride);
      source = flipped;
    }
    EXPECT_EQ(source.Blit(canvas, 0, 0, c.w, c.h, c.xs, c.ys, c.w, c.h), 4);
    for (size_t y = 0; y < c.rows.size(); ++y)
      EXPECT_EQ(RowTags(canvas, static_cast<int>(y), 0, c.w), c.rows[y])
          << (c.topDown ? "top-down " : "bottom-up ") << c.xs << "," << c.ys << " " << c.w << "x" << c.h;
  }
}

// A negative source height walks up the image from row height - ySrc - SrcHeight, for top-down and
// bottom-up images alike.
TEST(StretchTest, MirroredSourceRows) {
  struct Case {
    int ys, hs;
    const char *tags;
  };
  const Case cases[] = {
      {2, -1, "4"}, {4, -1, "2"}, {6, -1, "0"}, {4, -2, "3 2"}, {6, -2, "1 0"},
      {5, -3, "3 2 1"}, {6, -4, "3 2 1 0"}, {6, -5, "4 3 2 1 0"},
  };
  for (bool topDown : {false, true}) {
    for (const Case &c : cases) {
      Canvas canvas(1, 6);
      Image source(1, topDown ? -5 : 5);
      for (int y = 0; y < 5; ++y) source.Set(0, y, ~(1u << y) & 0xFFFFFF);
      EXPECT_EQ(source.Blit(canvas, 0, 0, 1, -c.hs, 0, c.ys, 1, c.hs), 5);
      EXPECT_EQ(ColumnTags(canvas, 0, 0, -c.hs), c.tags) << (topDown ? "top-down " : "bottom-up ") << c.ys << " " << c.hs;
    }
  }
}

TEST(StretchTest, Results) {
  Canvas canvas(8, 8);
  Image source = Image::Tagged(2, 2);
  struct Case {
    int wd, hd, xs, ys, ws, hs;
    int result;
  };
  const Case cases[] = {
      {2, 2, 0, 0, 2, 2, 2},      // the image's height
      {0, 2, 0, 0, 2, 2, 2},      // an empty destination draws nothing and succeeds
      {2, 0, 0, 0, 2, 2, 2},
      {2, 2, 0, 0, 0, 2, 0},      // an empty source fails
      {2, 2, 0, 0, 2, 0, 0},
      {2, 2, 5, 5, 2, 2, 0},      // a source rectangle wholly outside the image fails
      {2, 2, -2, 0, 2, 2, 0},
      {1 << 28, 1 << 28, 0, 0, 2, 2, 2},
      {-(1 << 30), 1 << 30, 0, 0, 1 << 30, 3, 2},
  };
  for (const Case &c : cases)
    EXPECT_EQ(source.Blit(canvas, 0, 0, c.wd, c.hd, c.xs, c.ys, c.ws, c.hs), c.result)
        << c.wd << "x" << c.hd << " from " << c.xs << "," << c.ys << " " << c.ws << "x" << c.hs;
  // Far off the canvas: nothing drawn, still a success.
  canvas.Fill(RGB(255, 255, 255));
  EXPECT_EQ(source.Blit(canvas, 30000, -30000, 4, 4, 0, 0, 2, 2), 2);
  EXPECT_EQ(source.Blit(canvas, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0, 0, 2, 2), 2);
  EXPECT_EQ(source.Blit(canvas, (int)0x80000000, 0, (int)0x80000000, 1, 0, 0, (int)0x80000000, 1), 2);
  EXPECT_EQ(canvas.Picture(0, 0, 8, 8, {{RGB(255, 255, 255), '.'}}).find('?'), std::string::npos);
  EXPECT_EQ(StretchDIBits(canvas.dc, 0, 0, 2, 2, 0, 0, 2, 2, nullptr, &source.info, DIB_RGB_COLORS, SRCCOPY), 0);
  EXPECT_EQ(StretchDIBits(canvas.dc, 0, 0, 2, 2, 0, 0, 2, 2, source.bits.data(), nullptr, DIB_RGB_COLORS, SRCCOPY), 0);
  EXPECT_EQ(StretchDIBits(nullptr, 0, 0, 2, 2, 0, 0, 2, 2, source.bits.data(), &source.info, DIB_RGB_COLORS, SRCCOPY), 0);
}

TEST(StretchTest, Headers) {
  struct Case {
    LONG biSize, width, height;
    WORD planes, bitCount;
    DWORD compression;
    bool accepted;
  };
  const Case cases[] = {
      {40, 2, 2, 1, 24, BI_RGB, true},
      {40, 2, 2, 7, 24, BI_RGB, true},  // any plane count but 0
      {40, 2, 2, 0, 24, BI_RGB, false},
      {40, 0, 2, 1, 24, BI_RGB, false},
      {40, -2, 2, 1, 24, BI_RGB, false},
      {40, 2, 0, 1, 24, BI_RGB, false},
      {40, 2, 2, 1, 23, BI_RGB, false},
      {40, 2, 2, 1, 0, BI_RGB, false},
      {40, 2, 2, 1, 24, BI_RLE8, false},
      {40, 2, 2, 1, 24, BI_BITFIELDS, false},
      {12, 2, 2, 1, 24, BI_RGB, false},
      {1000, 2, 2, 1, 24, BI_RGB, false},
      {40, 0x7FFFFFFF, 0x7FFFFFFF, 1, 24, BI_RGB, false},  // its bytes could not be addressed
      {40, 2, (LONG)0x80000000, 1, 24, BI_RGB, false},
  };
  std::vector<BYTE> bits(64, 0);
  for (const Case &c : cases) {
    Canvas canvas(2, 2);
    BITMAPINFO info = {};
    info.bmiHeader = {static_cast<DWORD>(c.biSize), c.width, c.height, c.planes, c.bitCount, c.compression, 0, 0, 0, 0, 0};
    SetLastError(0xdeadbeef);
    int result = StretchDIBits(canvas.dc, 0, 0, 2, 2, 0, 0, 2, 2, bits.data(), &info, DIB_RGB_COLORS, SRCCOPY);
    EXPECT_EQ(result != 0, c.accepted) << c.biSize << " " << c.width << "x" << c.height << " planes " << c.planes
                                       << " bits " << c.bitCount << " compression " << c.compression;
    if (!c.accepted) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    EXPECT_EQ(canvas.Get(0, 0), c.accepted ? RGB(0, 0, 0) : RGB(255, 255, 255));
  }
}

// Sources below 24 bits: 32 and 16 bits per pixel decode their channels; 1, 4 and 8 bits without a colour
// table are grey levels (0 black, the highest index white), and a counted table is honoured.
TEST(StretchTest, SourceFormats) {
  struct Case {
    WORD bitCount;
    DWORD clrUsed;
    std::vector<BYTE> row;    // the first (and only) row's bytes, padded by the test
    std::vector<RGBQUAD> table;
    std::vector<COLORREF> expected;
  };
  const Case cases[] = {
      {32, 0, {0x10, 0x20, 0x30, 0x99, 0xFF, 0x00, 0x80, 0x00}, {}, {RGB(0x30, 0x20, 0x10), RGB(0x80, 0x00, 0xFF)}},
      {16, 0, {0x1F, 0x00, 0xE0, 0x03, 0x00, 0x7C, 0x21, 0x04}, {}, {RGB(0, 0, 255), RGB(0, 255, 0), RGB(255, 0, 0), RGB(8, 8, 8)}},
      {8, 0, {0x00, 0x80, 0xFF, 0x01}, {}, {RGB(0, 0, 0), RGB(128, 128, 128), RGB(255, 255, 255), RGB(1, 1, 1)}},
      {4, 0, {0x0F, 0x71}, {}, {RGB(0, 0, 0), RGB(255, 255, 255), RGB(119, 119, 119), RGB(17, 17, 17)}},
      {1, 0, {0xA0}, {}, {RGB(255, 255, 255), RGB(0, 0, 0), RGB(255, 255, 255), RGB(0, 0, 0)}},
      {8, 2, {0x00, 0x01, 0x02, 0xFF}, {{0x30, 0x20, 0x10, 0}, {0xFF, 0x00, 0x00, 0}},
       {RGB(0x10, 0x20, 0x30), RGB(0, 0, 255), RGB(0, 0, 0), RGB(0, 0, 0)}},
      {1, 2, {0x40}, {{0, 0, 255, 0}, {0, 255, 0, 0}}, {RGB(255, 0, 0), RGB(0, 255, 0), RGB(255, 0, 0), RGB(255, 0, 0)}},
  };
  for (const Case &c : cases) {
    int width = static_cast<int>(c.expected.size());
    std::vector<BYTE> info(sizeof(BITMAPINFOHEADER) + 4 * c.table.size());
    BITMAPINFOHEADER header = {40, width, 1, 1, c.bitCount, BI_RGB, 0, 0, 0, c.clrUsed, 0};
    std::memcpy(info.data(), &header, sizeof header);
    if (!c.table.empty()) std::memcpy(info.data() + 40, c.table.data(), 4 * c.table.size());
    std::vector<BYTE> bits = c.row;
    bits.resize(16, 0);
    Canvas canvas(width, 1);
    EXPECT_EQ(StretchDIBits(canvas.dc, 0, 0, width, 1, 0, 0, width, 1, bits.data(),
                            reinterpret_cast<const BITMAPINFO *>(info.data()), DIB_RGB_COLORS, SRCCOPY),
              1);
    for (int x = 0; x < width; ++x) EXPECT_EQ(canvas.Get(x, 0), c.expected[x]) << c.bitCount << " bits, pixel " << x;
  }
}

// A biSizeImage smaller than the rows bounds what is read: the rows past it are not drawn.
TEST(StretchTest, SizeImageBoundsTheRowsRead) {
  Image source(2, 4);
  for (int y = 0; y < 4; ++y) source.Set(0, y, 0), source.Set(1, y, 0);
  source.info.bmiHeader.biSizeImage = 2 * source.stride;  // the two rows first in memory: the bottom ones
  Canvas canvas(2, 4);
  EXPECT_EQ(source.Blit(canvas, 0, 0, 2, 4, 0, 0, 2, 4), 4);
  EXPECT_EQ(canvas.Picture(0, 0, 2, 4, {{0, '#'}, {RGB(255, 255, 255), '.'}}), "..\n..\n##\n##\n");
}

TEST(StretchTest, StretchModesCombineDroppedPixels) {
  struct Case {
    int mode;
    COLORREF left, right;
  };
  const Case cases[] = {
      {BLACKONWHITE, RGB(0, 0, 0), RGB(0x80, 0, 0)},                // AND
      {WHITEONBLACK, RGB(0, 255, 255), RGB(255, 0x80, 0x80)},       // OR
      {COLORONCOLOR, RGB(0, 255, 0), RGB(0x80, 0x80, 0x80)},        // the last pixel of each pair
  };
  for (const Case &c : cases) {
    Image source(4, 1);
    source.Set(0, 0, 0x0000FF);  // bytes blue, green, red: blue
    source.Set(1, 0, 0x00FF00);  // green
    source.Set(2, 0, 0xFF0000);  // red
    source.Set(3, 0, 0x808080);  // grey
    Canvas canvas(2, 1);
    SetStretchBltMode(canvas.dc, c.mode);
    source.Blit(canvas, 0, 0, 2, 1, 0, 0, 4, 1);
    EXPECT_EQ(canvas.Get(0, 0), c.left) << c.mode;
    EXPECT_EQ(canvas.Get(1, 0), c.right) << c.mode;
  }
}

// Geometry at the ends of the integer range: each call returns GDI's result quickly and leaves every
// pixel outside its destination rectangle alone.
TEST(StretchTest, ExtremeGeometryStaysInsideItsRectangle) {
  const int extremes[] = {INT_MIN, INT_MIN + 1, -65536, -7, -1, 0, 1, 2, 5, 65536, INT_MAX - 1, INT_MAX};
  constexpr int n = sizeof extremes / sizeof extremes[0];
  Image image = Image::Tagged(4, 3);
  for (uint32_t seed = 1; seed <= 3000; ++seed) {
    Random random(seed);
    int v[8];
    for (int &x : v) x = random.Between(0, 3) == 0 ? random.Between(-10, 10) : extremes[random.Between(0, n - 1)];
    Canvas canvas(9, 7);
    canvas.Fill(RGB(1, 2, 3));
    int result = image.Blit(canvas, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], static_cast<DWORD>(random.Next()) & 0x00FF0000);
    EXPECT_TRUE(result == 0 || result == 3) << "seed " << seed;
    long long x0 = v[2] < 0 ? static_cast<long long>(v[0]) + v[2] + 1 : v[0];
    long long y0 = v[3] < 0 ? static_cast<long long>(v[1]) + v[3] + 1 : v[1];
    long long x1 = x0 + std::llabs(v[2]), y1 = y0 + std::llabs(v[3]);
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 9; ++x)
        if (x < x0 || x >= x1 || y < y0 || y >= y1) {
          ASSERT_EQ(canvas.Get(x, y), RGB(1, 2, 3)) << "seed " << seed << " at " << x << "," << y;
        }
  }
}

// The row engine against the pixel-at-a-time model: random images, positions (on and off the canvas),
// sizes (stretch, shrink, mirror), source rectangles, operations and brushes.
TEST(StretchTest, RandomBlitsMatchTheModel) {
  for (uint32_t seed = 1; seed <= 400; ++seed) {
    Random random(seed);
    int cw = random.Between(1, 40), ch = random.Between(1, 30);
    Canvas canvas(cw, ch);
    for (int y = 0; y < ch; ++y)
      for (int x = 0; x < cw; ++x) canvas.Set(x, y, random.Next() & 0xFFFFFF);
    int iw = random.Between(1, 12), ih = random.Between(1, 12);
    bool topDown = random.Between(0, 3) == 0;
    Image image(iw, topDown ? -ih : ih);
    for (int y = 0; y < ih; ++y)
      for (int x = 0; x < iw; ++x) image.Set(x, y, random.Next() & 0xFFFFFF);
    int xd = random.Between(-15, cw + 2), yd = random.Between(-15, ch + 2);
    int wd = random.Between(1, 30) * (random.Between(0, 3) == 0 ? -1 : 1);
    int hd = random.Between(1, 30) * (random.Between(0, 3) == 0 ? -1 : 1);
    int xs = random.Between(-3, iw), ys = random.Between(-3, ih);
    int ws = random.Between(1, iw + 3) * (random.Between(0, 4) == 0 ? -1 : 1);
    int hs = random.Between(1, ih + 3) * (random.Between(0, 4) == 0 ? -1 : 1);
    BYTE rop3 = static_cast<BYTE>(random.Next());
    gdi_test::ModelBrush brush;
    HBRUSH handle = gdi_test::CreateRandomBrush(random, gdi_test::RandomPattern::bitmap8x8, brush);
    COLORREF bk = random.Next() & 0xFFFFFF;
    bool transparent = random.Between(0, 3) == 0;
    SetBkColor(canvas.dc, bk);
    SetBkMode(canvas.dc, transparent ? TRANSPARENT : OPAQUE);
    HGDIOBJ old = SelectObject(canvas.dc, handle);

    // The model, one canvas pixel at a time.
    std::vector<COLORREF> expected(cw * ch);
    for (int y = 0; y < ch; ++y)
      for (int x = 0; x < cw; ++x) expected[y * cw + x] = canvas.Get(x, y);
    long long sy = ys;
    if (!topDown || ys != 0 || hs < 0) sy = ih - ys - hs;
    auto inImage = [&](long long sx, long long syy) { return sx >= 0 && sx < iw && syy >= 0 && syy < ih; };
    bool sourceMeetsImage = false;
    for (long long i = 0; i < (ws < 0 ? -ws : ws); ++i)
      for (long long k = 0; k < (hs < 0 ? -hs : hs); ++k)
        if (inImage(ws > 0 ? xs + i : xs - i, hs > 0 ? sy + k : sy - k)) sourceMeetsImage = true;
    for (int y = 0; y < ch; ++y) {
      long long j = hd > 0 ? y - yd : yd - y;
      if (j < 0 || j >= (hd < 0 ? -hd : hd)) continue;
      for (int x = 0; x < cw; ++x) {
        long long i = wd > 0 ? x - xd : xd - x;
        if (i < 0 || i >= (wd < 0 ? -wd : wd)) continue;
        long long c0 = 0, c1 = -1, r0 = 0, r1 = -1;
        gdi_test::SourceGroup(i, wd < 0 ? -wd : wd, ws < 0 ? -ws : ws, c0, c1);
        gdi_test::SourceGroup(j, hd < 0 ? -hd : hd, hs < 0 ? -hs : hs, r0, r1);
        DWORD combined = 0xFFFFFF;
        bool any = false;
        for (long long r = r0; r <= r1; ++r)
          for (long long c = c0; c <= c1; ++c) {
            long long sx = ws > 0 ? xs + c : xs - c, syy = hs > 0 ? sy + r : sy - r;
            if (!inImage(sx, syy)) continue;
            const BYTE *p = image.Row(static_cast<int>(syy)) + 3 * sx;
            combined &= p[0] | p[1] << 8 | p[2] << 16;
            any = true;
          }
        if (!any) continue;
        COLORREF source = RGB(combined >> 16, (combined >> 8) & 0xFF, combined & 0xFF);
        bool painted;
        COLORREF pattern = gdi_test::BrushAt(brush, x, y, bk, transparent, painted);
        bool usesPattern = ((rop3 >> 4) ^ rop3) & 0x0F;
        if (usesPattern && !painted) continue;
        expected[y * cw + x] = gdi_test::ApplyRop(rop3, pattern, source, expected[y * cw + x]);
      }
    }
    int result = image.Blit(canvas, xd, yd, wd, hd, xs, ys, ws, hs, static_cast<DWORD>(rop3) << 16);
    EXPECT_EQ(result, sourceMeetsImage ? ih : 0) << "seed " << seed;
    for (int y = 0; y < ch; ++y)
      for (int x = 0; x < cw; ++x)
        ASSERT_EQ(canvas.Get(x, y), expected[y * cw + x])
            << "seed " << seed << " at " << x << "," << y << ": " << xd << "," << yd << " " << wd << "x" << hd
            << " from " << xs << "," << ys << " " << ws << "x" << hs << " of " << iw << "x" << ih
            << (topDown ? " top-down" : "") << " rop3 " << int(rop3);
    SelectObject(canvas.dc, old);
    DeleteObject(handle);
  }
}

// A 2x shrink onto the whole canvas, SRCCOPY, in the default stretch mode: every canvas pixel is the AND
// of its four source pixels, for widths that end the row inside and outside the vector kernels' blocks,
// and no byte of a row's padding is written.
TEST(StretchTest, HalvingShrinkFillsEachRowExactly) {
  for (int width = 1; width <= 40; ++width) {
    Random random(static_cast<uint32_t>(width));
    Canvas canvas(width, 3);
    for (int y = 0; y < canvas.height; ++y)
      for (BYTE *pad = canvas.At(width - 1, y) + 3; pad < canvas.At(0, y) + canvas.stride; ++pad) *pad = 0x5A;
    Image image(2 * width, 2 * canvas.height);
    for (int y = 0; y < image.height; ++y)
      for (int x = 0; x < image.width; ++x) image.Set(x, y, random.Next() & 0xFFFFFF);
    ASSERT_EQ(image.Blit(canvas, 0, 0, width, canvas.height, 0, 0, image.width, image.height), image.height);
    for (int y = 0; y < canvas.height; ++y) {
      for (int x = 0; x < width; ++x)
        for (int c = 0; c < 3; ++c) {
          const BYTE *top = image.Row(2 * y) + 6 * x + c, *bottom = image.Row(2 * y + 1) + 6 * x + c;
          ASSERT_EQ(canvas.At(x, y)[c], top[0] & top[3] & bottom[0] & bottom[3]) << "width " << width << " at " << x << "," << y;
        }
      for (const BYTE *pad = canvas.At(width - 1, y) + 3; pad < canvas.At(0, y) + canvas.stride; ++pad)
        ASSERT_EQ(*pad, 0x5A) << "width " << width << " row " << y;
    }
  }
}

}  // namespace
