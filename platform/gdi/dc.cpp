// Device contexts: the reference display context, memory contexts, object selection and the
// background and stretch state.
#include "gdi/dc.h"

#include <utility>

namespace platform::gdi {
namespace {

bool EqualsIgnoreCase(LPCWSTR text, const char *ascii) {
  for (; *ascii; ++text, ++ascii) {
    WCHAR c = *text;
    if (c >= u'a' && c <= u'z') c = static_cast<WCHAR>(c - u'a' + u'A');
    if (c != static_cast<WCHAR>(*ascii)) return false;
  }
  return *text == 0;
}

HDC NewContext(bool isDisplay) {
  auto dc = std::make_shared<DcObject>();
  dc->isDisplay = isDisplay;
  dc->pen = StockBlackPen();
  dc->brush = StockWhiteBrush();
  dc->pen->selectCount++;
  dc->brush->selectCount++;
  if (!isDisplay) {
    dc->bitmap = StockBitmap();
    dc->bitmap->selectCount++;
  }
  HGDIOBJ handle = AddObject(dc);
  if (!handle) {
    dc->pen->selectCount--;
    dc->brush->selectCount--;
    if (dc->bitmap) dc->bitmap->selectCount--;
  }
  return static_cast<HDC>(handle);
}

// Puts `incoming` in `slot` and returns the handle of what it replaced.
template <class T>
HGDIOBJ Swap(std::shared_ptr<T> &slot, std::shared_ptr<T> incoming) {
  incoming->selectCount++;
  std::shared_ptr<T> previous = std::exchange(slot, std::move(incoming));
  previous->selectCount--;
  return previous->handle;
}

}  // namespace

std::shared_ptr<DcObject> LookupDrawingDc(HDC hdc) {
  auto dc = LookupDc(hdc);
  if (dc && !dc->bitmap) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
  }
  return dc;
}

}  // namespace platform::gdi

using namespace platform::gdi;

HDC WINAPI CreateDCW(LPCWSTR pwszDriver, LPCWSTR pwszDevice, LPCWSTR pszPort, const DEVMODEW *pdm) {
  (void)pszPort;
  (void)pdm;
  if (!pwszDriver && !pwszDevice) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // The stand-in has one device, the display; printer drivers are not part of it.
  bool display = (pwszDriver && EqualsIgnoreCase(pwszDriver, "DISPLAY")) ||
                 (!pwszDriver && pwszDevice && EqualsIgnoreCase(pwszDevice, "\\\\.\\DISPLAY1"));
  if (!display) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
  }
  return NewContext(true);
}

HDC WINAPI CreateCompatibleDC(HDC hdc) {
  if (hdc && !LookupDc(hdc)) return nullptr;
  return NewContext(false);
}

BOOL WINAPI DeleteDC(HDC hdc) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (!RemoveObject(hdc, false)) return FALSE;
  // The selected objects are released, not deleted: the bitmap and its pixels live on.
  dc->pen->selectCount--;
  dc->brush->selectCount--;
  if (dc->bitmap) dc->bitmap->selectCount--;
  return TRUE;
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
  auto dc = LookupDc(hdc);
  if (!dc) return nullptr;
  auto object = LookupObject(h);
  if (!object) return nullptr;
  switch (object->kind) {
    case ObjectKind::pen:
      return Swap(dc->pen, std::static_pointer_cast<PenObject>(object));
    case ObjectKind::brush:
      return Swap(dc->brush, std::static_pointer_cast<BrushObject>(object));
    case ObjectKind::bitmap: {
      auto bitmap = std::static_pointer_cast<BitmapObject>(object);
      if (bitmap == dc->bitmap) return h;
      // A display context has no bitmap, and a bitmap is in at most one context at a time.
      if (dc->isDisplay || (bitmap->selectCount > 0 && !IsStockObject(bitmap.get()))) return nullptr;
      return Swap(dc->bitmap, bitmap);
    }
    case ObjectKind::region:
      // Clipping stays the canvas bounds: the layer keeps no clip region.
      SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
      return HGDI_ERROR;
    case ObjectKind::dc:
      break;
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type) {
  auto dc = LookupDc(hdc);
  if (!dc) return nullptr;
  switch (type) {
    case OBJ_PEN: return dc->pen->handle;
    case OBJ_BRUSH: return dc->brush->handle;
    case OBJ_BITMAP: return dc->bitmap ? dc->bitmap->handle : nullptr;
    default: return nullptr;
  }
}

// Every drawing call finishes its pixels before it returns: there is no batch to flush.
BOOL WINAPI GdiFlush(void) { return TRUE; }

COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color) {
  auto dc = LookupDc(hdc);
  if (!dc) return CLR_INVALID;
  return std::exchange(dc->bkColor, color);
}

COLORREF WINAPI GetBkColor(HDC hdc) {
  auto dc = LookupDc(hdc);
  return dc ? dc->bkColor : CLR_INVALID;
}

int WINAPI SetBkMode(HDC hdc, int mode) {
  auto dc = LookupDc(hdc);
  if (!dc) return 0;
  if (mode != TRANSPARENT && mode != OPAQUE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return std::exchange(dc->bkMode, mode);
}

int WINAPI GetBkMode(HDC hdc) {
  auto dc = LookupDc(hdc);
  return dc ? dc->bkMode : 0;
}

int WINAPI SetStretchBltMode(HDC hdc, int mode) {
  auto dc = LookupDc(hdc);
  if (!dc) return 0;
  if (mode < BLACKONWHITE || mode > HALFTONE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // HALFTONE averages colours; the layer's blits keep or combine whole pixels only.
  if (mode == HALFTONE) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
  }
  return std::exchange(dc->stretchMode, mode);
}

int WINAPI GetStretchBltMode(HDC hdc) {
  auto dc = LookupDc(hdc);
  return dc ? dc->stretchMode : 0;
}
