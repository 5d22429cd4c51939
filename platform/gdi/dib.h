// Device-independent bitmaps handed in by callers: the header checked, the bytes it describes bounded,
// and rows decoded into 24-bit pixels.
#pragma once

#include "gdi/dc.h"

#include <cstddef>
#include <vector>

namespace platform::gdi {

// Where the colour table of a 1-, 4- or 8-bit DIB comes from.
enum class ColorTable {
  // A packed DIB: the table follows the header, with 2^bits entries when biClrUsed is 0.
  follows,
  // A BITMAPINFO handed to a blit. The band renderer passes a bare header for such sources, so a table
  // is read only when biClrUsed says it is there; otherwise the indices are grey levels (0 black, the
  // highest index white), which makes one-bit masks black and white.
  onlyWhenCounted,
};

class DibSource {
 public:
  // Checks the header as GDI does (ERROR_INVALID_PARAMETER on a header it refuses). `bits` null means
  // the pixels follow the header and its colour table (a packed DIB).
  bool Parse(const BITMAPINFO *info, UINT usage, const void *bits, ColorTable table);

  int Width() const { return width_; }
  int Height() const { return height_; }
  // Whether top-down row y can be read: inside the image and within the bytes the header describes.
  bool RowReadable(int y) const;
  // The top-down rows [lo, hi) that are readable: the image's rows within the bytes the header describes.
  void ReadableRows(long long &lo, long long &hi) const;
  // Decodes `count` pixels from column x0 of top-down row y into blue, green, red bytes. The row must be
  // readable and the columns inside the image.
  void DecodeRow(int y, int x0, int count, BYTE *out) const;
  // The row itself when the image has 24 bits per pixel (no decoding needed), else null.
  const BYTE *Row24(int y) const;
  bool BottomUp() const { return bottomUp_; }

 private:
  const BYTE *MemoryRow(int y) const;
  int width_ = 0;
  int height_ = 0;
  bool bottomUp_ = true;
  int bitCount_ = 24;
  size_t stride_ = 0;
  size_t readableRows_ = 0;  // memory rows (from the first in memory) that lie within the described bytes
  const BYTE *bits_ = nullptr;
  BYTE palette_[256][3] = {};
};

// Decodes a packed DIB (header, colour table, pixels) into a top-down 24-bit image.
bool DecodePackedDib(const BITMAPINFO *info, UINT usage, const BYTE *bits, int &width, int &height,
                     std::vector<BYTE> &topDownPixels);

}  // namespace platform::gdi
