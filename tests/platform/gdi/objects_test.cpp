// The object table through GDI's calls: selection, deletion and every kind of bad handle.
#include <gtest/gtest.h>
#include <windows.h>

#include <thread>
#include <vector>

#include "canvas.h"

namespace {

using gdi_test::Canvas;

TEST(ObjectsTest, SelectObjectHandsBackThePreviousObjectOfItsKind) {
  Canvas canvas(4, 4);
  HBRUSH first = CreateSolidBrush(RGB(1, 2, 3));
  HBRUSH second = CreateHatchBrush(HS_CROSS, 0);
  HGDIOBJ original = SelectObject(canvas.dc, first);
  ASSERT_NE(original, nullptr);
  EXPECT_EQ(GetObjectType(original), static_cast<DWORD>(OBJ_BRUSH));
  EXPECT_EQ(SelectObject(canvas.dc, second), first);
  HPEN pen = CreatePen(PS_DASH, 1, RGB(9, 9, 9));
  HGDIOBJ originalPen = SelectObject(canvas.dc, pen);
  EXPECT_EQ(GetObjectType(originalPen), static_cast<DWORD>(OBJ_PEN));
  EXPECT_EQ(GetCurrentObject(canvas.dc, OBJ_PEN), pen);
  EXPECT_EQ(GetCurrentObject(canvas.dc, OBJ_BRUSH), second);  // pens and brushes are apart
  EXPECT_FALSE(DeleteObject(pen));
  EXPECT_EQ(SelectObject(canvas.dc, originalPen), pen);
  EXPECT_TRUE(DeleteObject(pen));
  EXPECT_EQ(GetCurrentObject(canvas.dc, OBJ_BITMAP), canvas.bitmap);
  EXPECT_EQ(SelectObject(canvas.dc, original), second);
  EXPECT_TRUE(DeleteObject(first));
  EXPECT_TRUE(DeleteObject(second));
}

// A selected object is not deleted: the call fails and the object keeps working, as GDI documents.
TEST(ObjectsTest, SelectedObjectsSurviveDeleteObject) {
  Canvas canvas(8, 1);
  HBRUSH brush = CreateSolidBrush(RGB(10, 20, 30));
  HGDIOBJ original = SelectObject(canvas.dc, brush);
  EXPECT_FALSE(DeleteObject(brush));
  EXPECT_TRUE(BitBlt(canvas.dc, 0, 0, 8, 1, nullptr, 0, 0, PATCOPY));
  EXPECT_EQ(canvas.Get(7, 0), RGB(10, 20, 30));
  SelectObject(canvas.dc, original);
  EXPECT_TRUE(DeleteObject(brush));
  // A bitmap is in one context at a time.
  HDC other = CreateCompatibleDC(nullptr);
  EXPECT_EQ(SelectObject(other, canvas.bitmap), nullptr);
  DeleteDC(other);
}

TEST(ObjectsTest, BadHandlesGetGdiFailureResults) {
  Canvas canvas(4, 4);
  HBRUSH deleted = CreateSolidBrush(0);
  DeleteObject(deleted);
  HDC deletedDc = CreateCompatibleDC(nullptr);
  DeleteDC(deletedDc);
  HRGN region = CreateRectRgn(0, 0, 2, 2);
  HBRUSH brush = CreateSolidBrush(0);
  const RECT rect = {0, 0, 4, 4};
  // Handles that are not GDI objects at all: NULL, a deleted one, a made-up one, a kernel-style value.
  const HANDLE bogus[] = {nullptr, deleted, reinterpret_cast<HANDLE>(0x12345678), reinterpret_cast<HANDLE>(4),
                          INVALID_HANDLE_VALUE};
  for (HANDLE h : bogus) {
    HDC dc = static_cast<HDC>(h);
    EXPECT_EQ(SelectObject(dc, brush), nullptr) << h;
    EXPECT_EQ(SelectObject(canvas.dc, h), nullptr) << h;
    EXPECT_FALSE(DeleteObject(h)) << h;
    EXPECT_FALSE(DeleteDC(dc)) << h;
    EXPECT_EQ(GetObjectType(h), 0u) << h;
    EXPECT_EQ(SetBkColor(dc, 0), CLR_INVALID) << h;
    EXPECT_EQ(GetBkColor(dc), CLR_INVALID) << h;
    EXPECT_EQ(SetBkMode(dc, OPAQUE), 0) << h;
    EXPECT_FALSE(BitBlt(dc, 0, 0, 1, 1, nullptr, 0, 0, PATCOPY)) << h;
    EXPECT_EQ(FillRect(dc, &rect, brush), 0) << h;
    EXPECT_EQ(FillRect(canvas.dc, &rect, static_cast<HBRUSH>(h)), 0) << h;
    EXPECT_FALSE(FillRgn(dc, region, brush)) << h;
    EXPECT_FALSE(FillRgn(canvas.dc, static_cast<HRGN>(h), brush)) << h;
    EXPECT_FALSE(ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr)) << h;
    EXPECT_EQ(CreatePatternBrush(static_cast<HBITMAP>(h)), nullptr) << h;
    EXPECT_EQ(CreateCompatibleDC(h == nullptr ? deletedDc : dc), nullptr) << h;
  }
  // Right handles in the wrong places.
  EXPECT_EQ(SelectObject(canvas.dc, canvas.dc), nullptr);
  EXPECT_EQ(SelectObject(static_cast<HDC>(static_cast<HGDIOBJ>(brush)), brush), nullptr);
  EXPECT_FALSE(DeleteObject(canvas.dc));
  EXPECT_FALSE(DeleteDC(static_cast<HDC>(static_cast<HGDIOBJ>(brush))));
  EXPECT_EQ(FillRect(canvas.dc, &rect, static_cast<HBRUSH>(static_cast<HGDIOBJ>(region))), 0);
  EXPECT_FALSE(FillRgn(canvas.dc, static_cast<HRGN>(static_cast<HGDIOBJ>(brush)), brush));
  EXPECT_EQ(CreatePatternBrush(static_cast<HBITMAP>(static_cast<HGDIOBJ>(brush))), nullptr);
  // Nothing above drew: the canvas is still white.
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(canvas.Get(x, y), RGB(255, 255, 255));
  DeleteObject(region);
  DeleteObject(brush);
}

// A freed slot may be reused; the old handle must not reach the new object.
TEST(ObjectsTest, StaleHandlesStayDeadWhenTheirSlotIsReused) {
  HBRUSH old = CreateSolidBrush(RGB(1, 1, 1));
  ASSERT_TRUE(DeleteObject(old));
  std::vector<HBRUSH> fresh;
  for (int k = 0; k < 64; ++k) fresh.push_back(CreateSolidBrush(RGB(2, 2, 2)));
  EXPECT_EQ(GetObjectType(old), 0u);
  EXPECT_FALSE(DeleteObject(old));
  for (HBRUSH b : fresh) {
    EXPECT_NE(b, old);
    EXPECT_TRUE(DeleteObject(b));
  }
}

TEST(ObjectsTest, GetObjectDescribesBrushesAndBitmaps) {
  HBRUSH hatch = CreateHatchBrush(HS_DIAGCROSS, RGB(1, 2, 3));
  LOGBRUSH logical = {};
  EXPECT_EQ(GetObjectW(hatch, 0, nullptr), static_cast<int>(sizeof(LOGBRUSH)));
  EXPECT_EQ(GetObjectW(hatch, sizeof logical - 1, &logical), 0);
  EXPECT_EQ(GetObjectW(hatch, sizeof logical, &logical), static_cast<int>(sizeof(LOGBRUSH)));
  EXPECT_EQ(logical.lbStyle, static_cast<UINT>(BS_HATCHED));
  EXPECT_EQ(logical.lbColor, RGB(1, 2, 3));
  EXPECT_EQ(logical.lbHatch, static_cast<ULONG_PTR>(HS_DIAGCROSS));
  DeleteObject(hatch);

  Canvas canvas(5, 3);
  BITMAP info = {};
  EXPECT_EQ(GetObjectW(canvas.bitmap, sizeof info, &info), static_cast<int>(sizeof(BITMAP)));
  EXPECT_EQ(info.bmWidth, 5);
  EXPECT_EQ(info.bmHeight, 3);
  EXPECT_EQ(info.bmWidthBytes, 16);
  EXPECT_EQ(info.bmBitsPixel, 24);
  EXPECT_EQ(info.bmBits, canvas.bits);
  HBITMAP device = CreateBitmap(3, 2, 1, 24, nullptr);
  EXPECT_EQ(GetObjectW(device, sizeof info, &info), static_cast<int>(sizeof(BITMAP)));
  EXPECT_EQ(info.bmWidthBytes, 10);
  EXPECT_EQ(info.bmBits, nullptr);
  DeleteObject(device);
}

TEST(ObjectsTest, CreateBitmapSizes) {
  // An empty size gives the shared 1 x 1 bitmap, which DeleteObject leaves in place.
  HBITMAP empty = CreateBitmap(0, 5, 1, 24, nullptr);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(CreateBitmap(5, 0, 1, 24, nullptr), empty);
  EXPECT_TRUE(DeleteObject(empty));
  EXPECT_EQ(GetObjectType(empty), static_cast<DWORD>(OBJ_BITMAP));
  EXPECT_EQ(CreateBitmap(-1, 2, 1, 24, nullptr), nullptr);
  EXPECT_EQ(CreateBitmap(2, 2, 2, 24, nullptr), nullptr);
  EXPECT_EQ(CreateBitmap(0x7FFFFFFF, 0x7FFFFFFF, 1, 24, nullptr), nullptr);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(CreateBitmap(8, 8, 1, 1, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
}

// Packed DIBs for pattern brushes are read only as far as their header says, and refused when it is bad.
TEST(ObjectsTest, PackedDibsGdiRefuses) {
  struct Case {
    DWORD size;
    LONG width, height;
    WORD planes, bitCount;
    DWORD compression;
    UINT usage;
  };
  const Case cases[] = {
      {40, 0, 8, 1, 24, BI_RGB, DIB_RGB_COLORS},
      {40, 8, 0, 1, 24, BI_RGB, DIB_RGB_COLORS},
      {40, -8, 8, 1, 24, BI_RGB, DIB_RGB_COLORS},
      {40, 8, 8, 0, 24, BI_RGB, DIB_RGB_COLORS},
      {40, 8, 8, 1, 3, BI_RGB, DIB_RGB_COLORS},
      {40, 8, 8, 1, 24, BI_RLE8, DIB_RGB_COLORS},
      {12, 8, 8, 1, 24, BI_RGB, DIB_RGB_COLORS},
      {40, 8, 8, 1, 24, BI_RGB, 7},
      {40, 0x7FFFFFFF, 0x7FFFFFFF, 1, 24, BI_RGB, DIB_RGB_COLORS},
      {40, 0x10000, 0x10000, 1, 24, BI_RGB, DIB_RGB_COLORS},  // would need 12 GiB of pattern
  };
  for (const Case &c : cases) {
    BITMAPINFOHEADER header = {c.size, c.width, c.height, c.planes, c.bitCount, c.compression, 0, 0, 0, 0, 0};
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateDIBPatternBrushPt(&header, c.usage), nullptr) << c.width << "x" << c.height << " " << c.bitCount;
    EXPECT_NE(GetLastError(), 0xdeadbeefu);
  }
  EXPECT_EQ(CreateDIBPatternBrushPt(nullptr, DIB_RGB_COLORS), nullptr);
  // An 8-bit packed DIB carries its colour table: two entries used, then the pixels.
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD table[2];
    BYTE pixels[4];
  } packed = {{40, 2, 1, 1, 8, BI_RGB, 0, 0, 0, 2, 0}, {{0, 0, 255, 0}, {255, 0, 0, 0}}, {1, 0, 0, 0}};
  HBRUSH brush = CreateDIBPatternBrushPt(&packed, DIB_RGB_COLORS);
  ASSERT_NE(brush, nullptr);
  Canvas canvas(4, 1);
  const RECT all = {0, 0, 4, 1};
  FillRect(canvas.dc, &all, brush);
  EXPECT_EQ(canvas.Get(0, 0), RGB(0, 0, 255));
  EXPECT_EQ(canvas.Get(1, 0), RGB(255, 0, 0));
  EXPECT_EQ(canvas.Get(2, 0), RGB(0, 0, 255));
  DeleteObject(brush);
}

// The band renderer draws on one thread while the output worker deletes the previous band's bitmap on
// another: the one object table serves both without mixing up their objects.
TEST(ObjectsTest, TwoThreadsShareTheTable) {
  auto work = [](COLORREF color, bool *ok) {
    for (int round = 0; round < 300; ++round) {
      Canvas canvas(16, 2);
      HBRUSH brush = CreateSolidBrush(color);
      const RECT all = {0, 0, 16, 2};
      FillRect(canvas.dc, &all, brush);
      if (canvas.Get(15, 1) != color || GetObjectType(brush) != OBJ_BRUSH || !DeleteObject(brush)) *ok = false;
    }
  };
  bool firstOk = true, secondOk = true;
  std::thread first(work, RGB(1, 2, 3), &firstOk);
  std::thread second(work, RGB(4, 5, 6), &secondOk);
  first.join();
  second.join();
  EXPECT_TRUE(firstOk);
  EXPECT_TRUE(secondOk);
}

TEST(ObjectsTest, BackgroundAndStretchModes) {
  Canvas canvas(1, 1);
  EXPECT_EQ(SetBkMode(canvas.dc, TRANSPARENT), OPAQUE);
  EXPECT_EQ(SetBkMode(canvas.dc, 0), 0);
  EXPECT_EQ(SetBkMode(canvas.dc, 3), 0);
  EXPECT_EQ(GetBkMode(canvas.dc), TRANSPARENT);
  EXPECT_EQ(GetStretchBltMode(canvas.dc), BLACKONWHITE);
  EXPECT_EQ(SetStretchBltMode(canvas.dc, 0), 0);
  EXPECT_EQ(SetStretchBltMode(canvas.dc, 5), 0);
  EXPECT_EQ(SetStretchBltMode(canvas.dc, HALFTONE), 0);
  EXPECT_EQ(SetStretchBltMode(canvas.dc, COLORONCOLOR), BLACKONWHITE);
  EXPECT_EQ(GetStretchBltMode(canvas.dc), COLORONCOLOR);
  EXPECT_EQ(SetBkColor(canvas.dc, RGB(1, 2, 3)), 0x00FFFFFFu);
  EXPECT_EQ(GetBkColor(canvas.dc), RGB(1, 2, 3));
}

}  // namespace
