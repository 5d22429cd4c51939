// A 24-bit canvas on a memory context, as the band renderer sets one up, with pixel access for tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace gdi_test {

inline DWORD Bgr(COLORREF c) { return GetBValue(c) | GetGValue(c) << 8 | GetRValue(c) << 16; }

class Canvas {
 public:
  Canvas(int width, int height, bool topDown = false) : width(width), height(height), topDown(topDown) {
    HDC reference = CreateDCW(TEXT("DISPLAY"), nullptr, nullptr, nullptr);
    BITMAPINFO info = {};
    info.bmiHeader = {40, width, topDown ? -height : height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void *pixels = nullptr;
    bitmap = CreateDIBSection(reference, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    dc = CreateCompatibleDC(reference);
    DeleteDC(reference);
    previous = SelectObject(dc, bitmap);
    bits = static_cast<BYTE *>(pixels);
    stride = (3 * width + 3) & ~3;
    Fill(RGB(255, 255, 255));
  }
  ~Canvas() {
    SelectObject(dc, previous);
    DeleteDC(dc);
    DeleteObject(bitmap);
  }
  Canvas(const Canvas &) = delete;
  Canvas &operator=(const Canvas &) = delete;

  BYTE *At(int x, int y) const { return bits + (topDown ? y : height - 1 - y) * stride + 3 * x; }
  // The pixel as a COLORREF (low byte red).
  COLORREF Get(int x, int y) const {
    const BYTE *p = At(x, y);
    return RGB(p[2], p[1], p[0]);
  }
  void Set(int x, int y, COLORREF c) const {
    BYTE *p = At(x, y);
    p[0] = GetBValue(c);
    p[1] = GetGValue(c);
    p[2] = GetRValue(c);
  }
  void Fill(COLORREF c) const {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) Set(x, y, c);
  }
  std::vector<BYTE> Bytes() const { return std::vector<BYTE>(bits, bits + stride * height); }
  // One character per pixel: the first of `legend` whose colour matches, '?' for any other colour.
  std::string Picture(int x0, int y0, int w, int h, const std::vector<std::pair<COLORREF, char>> &legend) const {
    std::string text;
    for (int y = y0; y < y0 + h; ++y) {
      for (int x = x0; x < x0 + w; ++x) {
        char c = '?';
        for (auto &[color, mark] : legend)
          if (Get(x, y) == color) {
            c = mark;
            break;
          }
        text += c;
      }
      text += '\n';
    }
    return text;
  }

  const int width, height;
  const bool topDown;
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ previous = nullptr;
  BYTE *bits = nullptr;
  int stride = 0;
};

// A small deterministic generator for randomized cases; tests print the seed of a failing case.
class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed * 2654435761u + 1) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  int Between(int lo, int hi) { return lo + static_cast<int>(Next() % static_cast<uint32_t>(hi - lo + 1)); }

 private:
  uint32_t state_;
};

}  // namespace gdi_test
