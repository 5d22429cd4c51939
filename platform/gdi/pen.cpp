// Pens as CreatePen and CreatePenIndirect build them. Only cosmetic pens are drawn by this layer; a pen
// keeps what GDI keeps for it (GetObject reports it), and the drawing calls decide what they can draw.
#include "gdi/dc.h"

#include <climits>

namespace platform::gdi {
namespace {

HPEN NewPen(UINT style, int width, COLORREF color) {
  auto pen = std::make_shared<PenObject>();
  // GDI keeps a style past PS_INSIDEFRAME (the extended styles and flags that only ExtCreatePen
  // understands, or garbage) as PS_SOLID, and a negative width as its magnitude.
  pen->style = style <= PS_INSIDEFRAME ? style : PS_SOLID;
  pen->width = width == INT_MIN ? INT_MAX : (width < 0 ? -width : width);
  pen->color = color;
  if (pen->style == PS_NULL) {
    // Every null pen is GDI's NULL_PEN: one pixel wide, black, whatever was asked for.
    pen->width = 1;
    pen->color = 0;
  }
  return static_cast<HPEN>(AddObject(std::move(pen)));
}

}  // namespace
}  // namespace platform::gdi

using namespace platform::gdi;

HPEN WINAPI CreatePen(int iStyle, int cWidth, COLORREF color) {
  return NewPen(static_cast<UINT>(iStyle), cWidth, color);
}

HPEN WINAPI CreatePenIndirect(const LOGPEN *plpen) {
  if (!plpen) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return NewPen(plpen->lopnStyle, plpen->lopnWidth.x, plpen->lopnColor);
}
