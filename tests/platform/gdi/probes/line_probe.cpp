// Draws polylines read from stdin and prints each canvas as characters, so that the same cases can be
// drawn by a real GDI (built with MinGW, run under Wine) and by ours, and the outputs compared.
// Input, per case: "C width height bkmode style" (a negative height makes the DIB bottom-up), then
// "P count x y x y ..." for each Polyline call, then "E". Output, per case: one row of characters per
// canvas row, top first ('#' pen, 'o' background colour, '.' untouched), then a line "=".
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#ifdef _WIN32
#define WIDE(s) L##s
#else
#define WIDE(s) u##s
#endif

namespace {

char Mark(const unsigned char *p) {
  if (p[0] == 0x80 && p[1] == 0x80 && p[2] == 0x80) return '.';
  if (p[0] == 0 && p[1] == 0 && p[2] == 255) return '#';
  if (p[0] == 0 && p[1] == 255 && p[2] == 0) return 'o';
  return '?';
}

void DrawCase(HDC reference, int width, int height, int mode, int style) {
  const bool bottomUp = height < 0;
  if (bottomUp) height = -height;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = bottomUp ? height : -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void *bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(reference, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = CreateCompatibleDC(reference);
  HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
  const int stride = (3 * width + 3) & ~3;
  std::memset(bits, 0x80, static_cast<size_t>(stride) * height);
  HPEN pen = CreatePen(style, 1, RGB(255, 0, 0));
  HGDIOBJ oldPen = SelectObject(dc, pen);
  SetBkMode(dc, mode);
  SetBkColor(dc, RGB(0, 255, 0));
  char tag[8];
  int count = 0;
  while (std::scanf("%7s", tag) == 1 && tag[0] == 'P' && std::scanf("%d", &count) == 1 && count > 0) {
    std::vector<POINT> points(count);
    for (POINT &p : points) {
      long x = 0, y = 0;
      if (std::scanf("%ld %ld", &x, &y) != 2) return;
      p.x = x;
      p.y = y;
    }
    Polyline(dc, points.data(), count);
  }
  GdiFlush();
  const unsigned char *pixels = static_cast<const unsigned char *>(bits);
  for (int y = 0; y < height; ++y) {
    const unsigned char *row = pixels + (bottomUp ? height - 1 - y : y) * stride;
    for (int x = 0; x < width; ++x) std::putchar(Mark(row + 3 * x));
    std::putchar('\n');
  }
  std::puts("=");
  SelectObject(dc, oldPen);
  DeleteObject(pen);
  SelectObject(dc, oldBitmap);
  DeleteDC(dc);
  DeleteObject(bitmap);
}

}  // namespace

int main() {
  HDC reference = CreateDCW(WIDE("DISPLAY"), nullptr, nullptr, nullptr);
  char tag[8];
  int width, height, mode, style;
  while (std::scanf("%7s", tag) == 1) {
    if (tag[0] == 'C' && std::scanf("%d %d %d %d", &width, &height, &mode, &style) == 4)
      DrawCase(reference, width, height, mode, style);
  }
  DeleteDC(reference);
  return 0;
}
