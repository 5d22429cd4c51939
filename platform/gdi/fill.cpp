// Fills and blits without a source: BitBlt with pattern and destination operations, FillRect, FillRgn,
// the opaque rectangle of ExtTextOutW, and rectangle regions.
#include "gdi/raster.h"

#include <algorithm>

namespace platform::gdi {

void CombineRow(BYTE rop3, BYTE *dst, const BYTE *src, const BYTE *pat, const BYTE *mask, int pixels) {
  if (!mask) {
    FastRopRow(rop3)(dst, src, pat, static_cast<size_t>(pixels) * 3);
    return;
  }
  // Transparent hatch spaces: the operation applies to the line pixels only.
  for (int x = 0; x < pixels; ++x) {
    if (mask[x]) GeneralRopRow(rop3, dst + 3 * x, src ? src + 3 * x : nullptr, pat + 3 * x, 3);
  }
}

void PaintRect(DcObject &dc, RECT rect, const BrushObject &brush, BYTE rop3) {
  const Surface &target = dc.Target();
  LONG left = std::max<LONG>(rect.left, 0), top = std::max<LONG>(rect.top, 0);
  LONG right = std::min<LONG>(rect.right, target.width), bottom = std::min<LONG>(rect.bottom, target.height);
  if (left >= right || top >= bottom) return;
  BrushRows rows(brush, dc);
  if (RopUsesPattern(rop3) && rows.Hollow()) return;  // a hollow brush paints nothing
  int pixels = right - left;
  if (rop3 == Rop3Of(PATCOPY) && rows.Solid()) {
    for (int y = top; y < bottom; ++y) FillSolidRow(target.Row(y) + 3 * static_cast<ptrdiff_t>(left), rows.Solid(), pixels);
    return;
  }
  for (int y = top; y < bottom; ++y) {
    const BYTE *pat = RopUsesPattern(rop3) ? rows.Row(y, left, pixels) : nullptr;
    const BYTE *mask = RopUsesPattern(rop3) ? rows.Mask(y, left, pixels) : nullptr;
    CombineRow(rop3, target.Row(y) + 3 * static_cast<ptrdiff_t>(left), nullptr, pat, mask, pixels);
  }
}

namespace {

// A rectangle from a position and a GDI extent, in 64 bits so no coordinate overflows; then clamped to
// the LONG range, which lies far outside any canvas.
RECT RectFromExtent(long long x, long long y, long long cx, long long cy) {
  NormaliseSpan(x, cx);
  NormaliseSpan(y, cy);
  auto clamp = [](long long v) { return static_cast<LONG>(std::clamp<long long>(v, -0x40000000LL, 0x40000000LL)); };
  return RECT{clamp(x), clamp(y), clamp(x + cx), clamp(y + cy)};
}

// The brush of a fill call: a GDI brush handle.
std::shared_ptr<BrushObject> LookupBrush(HBRUSH hbr) { return LookupObjectAs<BrushObject>(hbr); }

}  // namespace
}  // namespace platform::gdi

using namespace platform::gdi;

BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop) {
  (void)x1;
  (void)y1;
  auto dc = LookupDrawingDc(hdc);
  if (!dc) return FALSE;
  BYTE rop3 = Rop3Of(rop);
  if (RopUsesSource(rop3)) {
    // Blits from another context are not part of the layer: its callers bring sources as DIBs.
    SetLastError(hdcSrc ? ERROR_CALL_NOT_IMPLEMENTED : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  PaintRect(*dc, RectFromExtent(x, y, cx, cy), *dc->brush, rop3);
  return TRUE;
}

int WINAPI FillRect(HDC hDC, const RECT *lprc, HBRUSH hbr) {
  auto dc = LookupDrawingDc(hDC);
  if (!dc || !lprc) return 0;
  auto brush = LookupBrush(hbr);
  if (!brush) return 0;
  // As a pattern blit of the rectangle's extent: an inverted rectangle is mirrored, not dropped.
  RECT rect = RectFromExtent(lprc->left, lprc->top, static_cast<long long>(lprc->right) - lprc->left,
                             static_cast<long long>(lprc->bottom) - lprc->top);
  PaintRect(*dc, rect, *brush, Rop3Of(PATCOPY));
  return 1;
}

HRGN WINAPI CreateRectRgn(int x1, int y1, int x2, int y2) {
  auto region = std::make_shared<RegionObject>();
  region->rect = RECT{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
  return static_cast<HRGN>(AddObject(region));
}

BOOL WINAPI FillRgn(HDC hdc, HRGN hrgn, HBRUSH hbr) {
  auto dc = LookupDrawingDc(hdc);
  if (!dc) return FALSE;
  auto region = LookupObjectAs<RegionObject>(hrgn);
  auto brush = LookupBrush(hbr);
  if (!region || !brush) return FALSE;
  PaintRect(*dc, region->rect, *brush, Rop3Of(PATCOPY));
  return TRUE;
}

BOOL WINAPI ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT *lprect, LPCWSTR lpString, UINT c,
                        const INT *lpDx) {
  (void)x;
  (void)y;
  (void)lpString;
  (void)lpDx;
  auto dc = LookupDrawingDc(hdc);
  if (!dc) return FALSE;
  // Text needs fonts, which the layer does not have; only the opaque rectangle is drawn.
  if (c != 0) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  if ((options & ETO_OPAQUE) && lprect) {
    RECT rect = {std::min(lprect->left, lprect->right), std::min(lprect->top, lprect->bottom),
                 std::max(lprect->left, lprect->right), std::max(lprect->top, lprect->bottom)};
    BrushObject background;
    background.color = dc->bkColor;
    PaintRect(*dc, rect, background, Rop3Of(PATCOPY));
  }
  return TRUE;
}
