// Bitmaps: 24-bit DIB sections (the canvases) and 24-bit device bitmaps (the pattern images).
#include "gdi/dc.h"

#include <cstring>
#include <new>

namespace platform::gdi {
namespace {

// The largest bitmap the layer allocates: its bytes must fit a signed 32-bit offset.
constexpr long long kMaxBitmapBytes = 0x7FFFFFFF;

// A new 24-bit bitmap of zeroed pixels, or null (last error set) when the size is refused.
std::shared_ptr<BitmapObject> NewBitmap(long long width, long long height, bool bottomUp) {
  long long stride = (3 * width + 3) & ~3LL;
  if (stride > kMaxBitmapBytes / height) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto bitmap = std::make_shared<BitmapObject>();
  size_t bytes = static_cast<size_t>(stride * height);
  bitmap->storage.reset(new (std::nothrow) BYTE[bytes]);
  if (!bitmap->storage) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  std::memset(bitmap->storage.get(), 0, bytes);
  bitmap->surface = Surface{static_cast<int>(width), static_cast<int>(height), static_cast<int>(stride),
                            bitmap->storage.get(), bottomUp};
  return bitmap;
}

}  // namespace
}  // namespace platform::gdi

using namespace platform::gdi;

HBITMAP WINAPI CreateDIBSection(HDC hdc, const BITMAPINFO *pbmi, UINT usage, VOID **ppvBits, HANDLE hSection,
                                DWORD offset) {
  (void)offset;
  if (ppvBits) *ppvBits = nullptr;
  if (hdc && !LookupDc(hdc)) return nullptr;
  if (!pbmi || usage > DIB_PAL_COLORS) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const BITMAPINFOHEADER &header = pbmi->bmiHeader;
  if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biWidth <= 0 || header.biHeight == 0 ||
      header.biPlanes != 1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // The layer draws on 24-bit RGB bitmaps in its own memory.
  if (header.biBitCount != 24 || header.biCompression != BI_RGB || hSection) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
  }
  long long height = header.biHeight;
  auto bitmap = NewBitmap(header.biWidth, height < 0 ? -height : height, height > 0);
  if (!bitmap) return nullptr;
  bitmap->isDibSection = true;
  HBITMAP handle = static_cast<HBITMAP>(AddObject(bitmap));
  if (handle && ppvBits) *ppvBits = bitmap->surface.bits;
  return handle;
}

HBITMAP WINAPI CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount, const VOID *lpBits) {
  if (nWidth < 0 || nHeight < 0 || nPlanes != 1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // An empty size gives the stock 1 x 1 bitmap, as in GDI.
  if (nWidth == 0 || nHeight == 0) return static_cast<HBITMAP>(StockBitmap()->handle);
  if (nBitCount != 24) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
  }
  auto bitmap = NewBitmap(nWidth, nHeight, false);
  if (!bitmap) return nullptr;
  if (lpBits) {
    // Device-bitmap rows are top-down and padded to a multiple of 2 bytes.
    size_t inStride = (static_cast<size_t>(nWidth) * 3 + 1) & ~size_t{1};
    size_t rowBytes = static_cast<size_t>(nWidth) * 3;
    for (int y = 0; y < nHeight; ++y) {
      std::memcpy(bitmap->surface.Row(y), static_cast<const BYTE *>(lpBits) + y * inStride, rowBytes);
    }
  }
  return static_cast<HBITMAP>(AddObject(bitmap));
}
