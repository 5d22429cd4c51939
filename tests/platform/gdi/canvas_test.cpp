// The band canvas as the band renderer sets it up and takes it down.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <vector>

#include "canvas.h"

namespace {

using gdi_test::Canvas;

// The renderer's set-up, step by step, through the calls it makes.
struct Band {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ previousBitmap = nullptr;
  HGDIOBJ previousBrush = nullptr;
  HBRUSH black = nullptr;
  BYTE *pixels = nullptr;

  Band(int width, int height) {
    HDC reference = CreateDCW(TEXT("DISPLAY"), nullptr, nullptr, nullptr);
    EXPECT_NE(reference, nullptr);
    BITMAPINFO info = {};
    info.bmiHeader = {40, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void *bits = nullptr;
    bitmap = CreateDIBSection(reference, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    pixels = static_cast<BYTE *>(bits);
    dc = CreateCompatibleDC(reference);
    EXPECT_TRUE(DeleteDC(reference));
    previousBitmap = SelectObject(dc, bitmap);
    LOGBRUSH white = {BS_SOLID, 0x00FFFFFF, 0};
    HBRUSH brush = CreateBrushIndirect(&white);
    HRGN region = CreateRectRgn(0, 0, width, height);
    EXPECT_TRUE(FillRgn(dc, region, brush));
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_TRUE(DeleteObject(region));
    LOGBRUSH blackBrush = {BS_SOLID, 0, 0};
    black = CreateBrushIndirect(&blackBrush);
    previousBrush = SelectObject(dc, black);
  }
  void TakeApart() {
    EXPECT_EQ(SelectObject(dc, previousBitmap), bitmap);
    EXPECT_EQ(SelectObject(dc, previousBrush), black);
    EXPECT_TRUE(DeleteObject(black));
    EXPECT_TRUE(DeleteDC(dc));
  }
};

TEST(CanvasTest, StartsWhiteWithPaddedBottomUpRows) {
  for (int width : {1, 2, 3, 4, 5, 1248}) {
    Band band(width, 3);
    int stride = (3 * width + 3) & ~3;
    // The padding bytes of each row stay as the bitmap was created (zero); every pixel byte is white.
    for (int row = 0; row < 3; ++row) {
      for (int k = 0; k < stride; ++k) {
        EXPECT_EQ(band.pixels[row * stride + k], k < 3 * width ? 0xFF : 0x00)
            << "width " << width << " row " << row << " byte " << k;
      }
    }
    band.TakeApart();
    DeleteObject(band.bitmap);
  }
}

TEST(CanvasTest, BandRowZeroIsTheLastRowInMemory) {
  Band band(5, 4);
  const RECT top = {0, 0, 5, 1};
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  FillRect(band.dc, &top, red);
  int stride = 16;
  const BYTE *last = band.pixels + 3 * stride;
  EXPECT_EQ(last[0], 0x00);  // blue
  EXPECT_EQ(last[2], 0xFF);  // red
  EXPECT_EQ(band.pixels[0], 0xFF);  // the first row in memory is the band's bottom row, still white
  DeleteObject(red);
  band.TakeApart();
  DeleteObject(band.bitmap);
}

TEST(CanvasTest, PixelsOutliveTheContextAndTheBitmapOutlivesDeselection) {
  Band band(8, 8);
  EXPECT_TRUE(BitBlt(band.dc, 0, 0, 8, 8, nullptr, 0, 0, PATCOPY));  // the black brush
  // While selected, the bitmap cannot be deleted, and stays usable.
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(DeleteObject(band.bitmap));
  EXPECT_EQ(GetObjectType(band.bitmap), static_cast<DWORD>(OBJ_BITMAP));
  band.TakeApart();
  // The context is gone; the pixels are still there and still black.
  for (int k = 0; k < 8 * 24; ++k) ASSERT_EQ(band.pixels[k], 0) << k;
  EXPECT_EQ(GetObjectType(band.dc), 0u);
  EXPECT_TRUE(DeleteObject(band.bitmap));
  EXPECT_EQ(GetObjectType(band.bitmap), 0u);
}

// The background colour set by one opaque fill is what a later hatch and a later fill see, on the
// same context; a fresh context starts white and opaque again.
TEST(CanvasTest, DrawingStateCarriesFromCallToCall) {
  Canvas canvas(16, 8);
  EXPECT_EQ(GetBkColor(canvas.dc), 0x00FFFFFFu);
  EXPECT_EQ(GetBkMode(canvas.dc), OPAQUE);
  const RECT nothing = {0, 0, 0, 0};
  SetBkColor(canvas.dc, RGB(0, 0, 255));
  EXPECT_TRUE(ExtTextOutW(canvas.dc, 0, 0, ETO_OPAQUE, &nothing, nullptr, 0, nullptr));
  HBRUSH hatch = CreateHatchBrush(HS_HORIZONTAL, RGB(255, 0, 0));
  const RECT all = {0, 0, 16, 8};
  FillRect(canvas.dc, &all, hatch);
  EXPECT_EQ(canvas.Get(0, 3), RGB(255, 0, 0));
  EXPECT_EQ(canvas.Get(0, 0), RGB(0, 0, 255));
  DeleteObject(hatch);

  Canvas fresh(16, 8);
  EXPECT_EQ(GetBkColor(fresh.dc), 0x00FFFFFFu);
}

TEST(CanvasTest, TopDownSectionsKeepTheirFirstRowFirst) {
  Canvas canvas(4, 3, true);
  const RECT top = {0, 0, 4, 1};
  HBRUSH black = CreateSolidBrush(0);
  FillRect(canvas.dc, &top, black);
  EXPECT_EQ(canvas.bits[0], 0);
  EXPECT_EQ(canvas.bits[2 * canvas.stride], 0xFF);
  DeleteObject(black);
}

TEST(CanvasTest, SectionSizesGdiRefuses) {
  struct Case {
    LONG width, height;
    WORD planes, bitCount;
    DWORD compression;
    DWORD error;
  };
  const Case cases[] = {
      {0, 4, 1, 24, BI_RGB, ERROR_INVALID_PARAMETER},
      {4, 0, 1, 24, BI_RGB, ERROR_INVALID_PARAMETER},
      {-4, 4, 1, 24, BI_RGB, ERROR_INVALID_PARAMETER},
      {4, 4, 3, 24, BI_RGB, ERROR_INVALID_PARAMETER},
      // width * height * 3 overflows 32 bits
      {0x7FFFFFFF, 0x7FFFFFFF, 1, 24, BI_RGB, ERROR_INVALID_PARAMETER},
      {100000, -100000, 1, 24, BI_RGB, ERROR_INVALID_PARAMETER},
      {0x55555556, 1, 1, 24, BI_RGB, ERROR_INVALID_PARAMETER},
      {4, (LONG)0x80000000, 1, 24, BI_RGB, ERROR_INVALID_PARAMETER},
      {4, 4, 1, 8, BI_RGB, ERROR_CALL_NOT_IMPLEMENTED},
      {4, 4, 1, 24, BI_RLE8, ERROR_CALL_NOT_IMPLEMENTED},
  };
  for (const Case &c : cases) {
    BITMAPINFO info = {};
    info.bmiHeader = {40, c.width, c.height, c.planes, c.bitCount, c.compression, 0, 0, 0, 0, 0};
    void *bits = reinterpret_cast<void *>(0xdeadbeef);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr) << c.width << "x" << c.height;
    EXPECT_EQ(bits, nullptr);
    EXPECT_EQ(GetLastError(), c.error) << c.width << "x" << c.height;
  }
  EXPECT_EQ(CreateDIBSection(nullptr, nullptr, DIB_RGB_COLORS, nullptr, nullptr, 0), nullptr);
}

TEST(CanvasTest, OnlyTheDisplayDeviceExists) {
  HDC display = CreateDCW(TEXT("display"), nullptr, nullptr, nullptr);
  ASSERT_NE(display, nullptr);
  EXPECT_EQ(GetObjectType(display), static_cast<DWORD>(OBJ_DC));
  // The display has no pixels here: a bitmap cannot be selected into it and drawing on it fails.
  BITMAPINFO info = {};
  info.bmiHeader = {40, 2, 2, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  HBITMAP bitmap = CreateDIBSection(display, &info, DIB_RGB_COLORS, nullptr, nullptr, 0);
  EXPECT_EQ(SelectObject(display, bitmap), nullptr);
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(BitBlt(display, 0, 0, 1, 1, nullptr, 0, 0, PATCOPY));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
  EXPECT_TRUE(DeleteDC(display));
  DeleteObject(bitmap);

  SetLastError(0xdeadbeef);
  EXPECT_EQ(CreateDCW(TEXT("WINSPOOL"), TEXT("Orvella 300 Series"), nullptr, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
  EXPECT_EQ(CreateDCW(nullptr, nullptr, nullptr, nullptr), nullptr);
}

}  // namespace
