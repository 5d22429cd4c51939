#include "gdi/dib.h"

#include "gdi/raster.h"

#include <cstring>

namespace platform::gdi {
namespace {

// The largest image the layer addresses: its bytes must fit a signed 32-bit offset.
constexpr long long kMaxImageBytes = 0x7FFFFFFF;
constexpr DWORD kLargestHeader = 124;  // BITMAPV5HEADER
// A brush keeps its own copy of its pattern; a larger one is refused as out of memory.
constexpr size_t kMaxPatternBytes = 64u << 20;

WORD ReadLe16(const BYTE *p) { return static_cast<WORD>(p[0] | p[1] << 8); }

}  // namespace

bool DibSource::Parse(const BITMAPINFO *info, UINT usage, const void *bits, ColorTable table) {
  const BITMAPINFOHEADER &header = info->bmiHeader;
  long long width = header.biWidth, height = header.biHeight;
  int bitCount = header.biBitCount;
  bool knownDepth = bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 ||
                    bitCount == 32;
  if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biSize > kLargestHeader || width <= 0 || height == 0 ||
      header.biPlanes == 0 || !knownDepth || header.biCompression != BI_RGB) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  bottomUp_ = height > 0;
  if (height < 0) height = -height;
  long long stride = ((width * bitCount + 31) / 32) * 4;
  if (stride > kMaxImageBytes / height) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  width_ = static_cast<int>(width);
  height_ = static_cast<int>(height);
  bitCount_ = bitCount;
  stride_ = static_cast<size_t>(stride);
  // A non-zero biSizeImage smaller than the rows need bounds what is read: rows past it count as absent.
  readableRows_ = static_cast<size_t>(height);
  if (header.biSizeImage != 0 && header.biSizeImage / stride_ < readableRows_) readableRows_ = header.biSizeImage / stride_;

  const BYTE *tableAt = reinterpret_cast<const BYTE *>(info) + header.biSize;
  size_t entries = 0;
  if (bitCount <= 8) {
    size_t most = size_t{1} << bitCount;
    entries = header.biClrUsed != 0 ? std::min<size_t>(header.biClrUsed, most)
                                    : (table == ColorTable::follows ? most : 0);
    for (size_t i = 0; i < most; ++i) {
      BYTE level = static_cast<BYTE>(i * 255 / (most - 1));
      palette_[i][0] = palette_[i][1] = palette_[i][2] = level;
    }
    if (entries != 0) {
      for (size_t i = 0; i < most; ++i) std::memset(palette_[i], 0, 3);  // indices past the table: black
      for (size_t i = 0; i < entries; ++i) {
        if (usage == DIB_PAL_COLORS) {
          PutPixel(palette_[i], ResolveColor(0x01000000 | ReadLe16(tableAt + 2 * i)));
        } else {
          std::memcpy(palette_[i], tableAt + 4 * i, 3);
        }
      }
    }
  }
  size_t tableBytes = entries * (usage == DIB_PAL_COLORS ? 2 : 4);
  bits_ = bits ? static_cast<const BYTE *>(bits) : tableAt + tableBytes;
  return true;
}

const BYTE *DibSource::MemoryRow(int y) const {
  size_t memoryRow = bottomUp_ ? static_cast<size_t>(height_ - 1 - y) : static_cast<size_t>(y);
  return bits_ + memoryRow * stride_;
}

bool DibSource::RowReadable(int y) const {
  if (y < 0 || y >= height_) return false;
  size_t memoryRow = bottomUp_ ? static_cast<size_t>(height_ - 1 - y) : static_cast<size_t>(y);
  return memoryRow < readableRows_;
}

void DibSource::ReadableRows(long long &lo, long long &hi) const {
  long long readable = static_cast<long long>(readableRows_);
  lo = bottomUp_ ? height_ - readable : 0;
  hi = bottomUp_ ? height_ : readable;
}

const BYTE *DibSource::Row24(int y) const { return bitCount_ == 24 ? MemoryRow(y) : nullptr; }

void DibSource::DecodeRow(int y, int x0, int count, BYTE *out) const {
  const BYTE *row = MemoryRow(y);
  switch (bitCount_) {
    case 24:
      std::memcpy(out, row + static_cast<size_t>(x0) * 3, static_cast<size_t>(count) * 3);
      return;
    case 32:
      for (int k = 0; k < count; ++k) std::memcpy(out + 3 * k, row + 4 * static_cast<size_t>(x0 + k), 3);
      return;
    case 16:
      // x5-5-5: each five-bit level widened to eight bits by repeating its top bits.
      for (int k = 0; k < count; ++k) {
        WORD v = ReadLe16(row + 2 * static_cast<size_t>(x0 + k));
        BYTE b = v & 31, g = (v >> 5) & 31, r = (v >> 10) & 31;
        out[3 * k] = static_cast<BYTE>(b << 3 | b >> 2);
        out[3 * k + 1] = static_cast<BYTE>(g << 3 | g >> 2);
        out[3 * k + 2] = static_cast<BYTE>(r << 3 | r >> 2);
      }
      return;
    default: {
      int perByte = 8 / bitCount_, mask = (1 << bitCount_) - 1;
      for (int k = 0; k < count; ++k) {
        int x = x0 + k;
        int shift = 8 - bitCount_ * (x % perByte + 1);
        int index = (row[x / perByte] >> shift) & mask;
        std::memcpy(out + 3 * k, palette_[index], 3);
      }
      return;
    }
  }
}

bool DecodePackedDib(const BITMAPINFO *info, UINT usage, const BYTE *bits, int &width, int &height,
                     std::vector<BYTE> &topDownPixels) {
  if (usage != DIB_RGB_COLORS && usage != DIB_PAL_COLORS) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  DibSource source;
  if (!source.Parse(info, usage, bits, ColorTable::follows)) return false;
  size_t rowBytes = static_cast<size_t>(source.Width()) * 3;
  if (rowBytes * source.Height() > kMaxPatternBytes) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  width = source.Width();
  height = source.Height();
  topDownPixels.assign(rowBytes * height, 0);
  for (int y = 0; y < height; ++y) {
    if (source.RowReadable(y)) source.DecodeRow(y, 0, width, &topDownPixels[y * rowBytes]);
  }
  return true;
}

}  // namespace platform::gdi
