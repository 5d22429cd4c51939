// Polyline with cosmetic one-pixel pens on 24-bit bitmaps.
//
// Pixel choice. GDI lights the pixels of a cosmetic line by its diamond convention; for integer end
// points that is a walk along the major axis (x when |dx| >= |dy|) that takes, at every major step,
// the minor coordinate nearest to the true line. When the line passes exactly halfway between two
// pixels, the one with the smaller minor coordinate is lit (the upper one for x-major lines, the left
// one for y-major lines), whichever way the line runs. A line includes its first pixel and leaves out
// its last, so each point of a polyline is drawn once, by the line that starts there.
//
// Styles. A styled pen steps through its dash pattern one position per pixel of the walk, drawn or
// not: the pattern runs on from one line of a polyline to the next, and over the pixels that fall
// outside the canvas, so that clipping never shifts the dashes. Every Polyline call starts the pattern
// afresh. Gaps are painted in the background colour in OPAQUE mode and left alone in TRANSPARENT mode.
//
// Clipping. Lines may run from one end of the 32-bit coordinate space to the other; only the part of
// the walk that lies on the canvas is visited, entered at its first on-canvas step with the error term
// and the style position it would have had there. Coordinates are carried in 64 bits.
#include "gdi/dc.h"
#include "gdi/raster.h"

#include <array>
#include <cstdint>
#include <initializer_list>

namespace platform::gdi {
namespace {

// A dash pattern as a mask over its period: bit k set means position k draws in the pen colour.
struct DashPattern {
  uint32_t onMask;
  uint32_t period;
};

// Builds a pattern from alternating run lengths, starting with a dash.
constexpr DashPattern Dashes(std::initializer_list<uint32_t> runs) {
  DashPattern pattern = {0, 0};
  bool on = true;
  for (uint32_t run : runs) {
    for (uint32_t k = 0; k < run; ++k, ++pattern.period) {
      if (on) pattern.onMask |= 1u << pattern.period;
    }
    on = !on;
  }
  return pattern;
}

// Cosmetic styles on a bitmap: GDI's style unit is 3 pixels, so a dash of 6 units is 18 pixels.
constexpr std::array<DashPattern, PS_INSIDEFRAME + 1> kStyles = {{
    Dashes({1}),                   /* PS_SOLID: always on */
    Dashes({18, 6}),               /* PS_DASH: 18 on, 6 off */
    Dashes({3, 3}),                /* PS_DOT: 3 on, 3 off */
    Dashes({9, 6, 3, 6}),          /* PS_DASHDOT: 9 on, 6 off, 3 on, 6 off */
    Dashes({9, 3, 3, 3, 3, 3}),    /* PS_DASHDOTDOT: 9 on, 3 off, 3 on, 3 off, 3 on, 3 off */
    Dashes({0, 1}),                /* PS_NULL: never on (and never drawn at all) */
    Dashes({1}),                   /* PS_INSIDEFRAME: solid at one pixel */
}};
static_assert(kStyles[PS_DASH].period == 24 && kStyles[PS_DASHDOTDOT].onMask == 0x001C71FFu);

// What one Polyline call draws with, and where its style pattern stands.
struct Stroke {
  const Surface &target;
  BYTE pen[3];
  BYTE gap[3];
  bool paintGaps;
  DashPattern dashes;
  uint64_t position;  // style position of the next pixel of the walk, < dashes.period
};

struct Axis {
  int64_t start;    // coordinate of the first pixel
  int64_t step;     // +1 or -1 (the minor axis of a line without minor movement uses +1)
  uint64_t length;  // |delta| along this axis
  int64_t limit;    // the canvas extent on this axis
};

// The minor offset of a pixel whose exact offset is whole + remainder / n: the nearest whole value,
// halves going to the smaller coordinate (further along a descending axis).
inline uint64_t Nearest(uint64_t whole, uint64_t remainder, uint64_t n, bool minorDescends) {
  const uint64_t twice = 2 * remainder;
  return whole + ((twice > n || (twice == n && minorDescends)) ? 1 : 0);
}

// Offset along the minor axis of the pixel at major step i, for a line that moves d along its minor
// axis in n major steps. d <= n < 2^32 and i < n keep i * d within 64 bits.
uint64_t MinorOffset(uint64_t i, uint64_t d, uint64_t n, bool minorDescends) {
  const uint64_t product = i * d;
  return Nearest(product / n, product % n, n, minorDescends);
}

// Steps [lo, hi) of a walk of n steps that keep `start + step * offset(i)` within [0, limit), where
// offset(i) is i on the major axis and MinorOffset on the minor one. Both are monotonic in i.
struct StepRange {
  uint64_t lo;
  uint64_t hi;
};

// The offsets that keep the axis on the canvas: [first, last], or first > last when none do.
void OnCanvasOffsets(const Axis &axis, int64_t &first, int64_t &last) {
  if (axis.step > 0) {
    first = -axis.start;
    last = axis.limit - 1 - axis.start;
  } else {
    first = axis.start - (axis.limit - 1);
    last = axis.start;
  }
}

// The first step in [lo, hi] whose minor offset exceeds `bound` (hi when none does).
uint64_t FirstStepBeyond(int64_t bound, uint64_t lo, uint64_t hi, const Axis &minor, uint64_t n) {
  bool descends = minor.step < 0;
  while (lo < hi) {
    uint64_t mid = lo + (hi - lo) / 2;
    if (static_cast<int64_t>(MinorOffset(mid, minor.length, n, descends)) > bound) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return lo;
}

StepRange VisibleSteps(const Axis &major, const Axis &minor) {
  const uint64_t n = major.length;
  int64_t first = 0;
  int64_t last = 0;
  OnCanvasOffsets(major, first, last);
  StepRange range = {0, n};
  if (last < 0 || first >= static_cast<int64_t>(n) || first > last) return {0, 0};
  if (first > 0) range.lo = static_cast<uint64_t>(first);
  if (last + 1 < static_cast<int64_t>(n)) range.hi = static_cast<uint64_t>(last + 1);

  OnCanvasOffsets(minor, first, last);
  if (last < 0 || first > static_cast<int64_t>(minor.length) || first > last) return {0, 0};
  range.lo = FirstStepBeyond(first - 1, range.lo, range.hi, minor, n);
  range.hi = FirstStepBeyond(last, range.lo, range.hi, minor, n);
  return range;
}

void DrawLine(Stroke &stroke, POINT from, POINT to) {
  const int64_t dx = int64_t{to.x} - from.x;
  const int64_t dy = int64_t{to.y} - from.y;
  const uint64_t adx = static_cast<uint64_t>(dx < 0 ? -dx : dx);
  const uint64_t ady = static_cast<uint64_t>(dy < 0 ? -dy : dy);
  const bool xMajor = adx >= ady;
  const Surface &target = stroke.target;
  const Axis ax = {from.x, dx < 0 ? -1 : 1, adx, target.width};
  const Axis ay = {from.y, dy < 0 ? -1 : 1, ady, target.height};
  const Axis &major = xMajor ? ax : ay;
  const Axis &minor = xMajor ? ay : ax;
  const uint64_t n = major.length;
  if (n == 0) return;

  const StepRange steps = VisibleSteps(major, minor);
  const uint64_t period = stroke.dashes.period;
  if (steps.lo < steps.hi) {
    const uint64_t d = minor.length;
    const bool descends = minor.step < 0;
    // Error term of the walk at its first visible step: offset*n + remainder = i*d.
    uint64_t whole = steps.lo * d / n;
    uint64_t remainder = steps.lo * d % n;
    uint64_t offset = MinorOffset(steps.lo, d, n, descends);
    const int64_t x0 = xMajor ? major.start + major.step * static_cast<int64_t>(steps.lo)
                              : minor.start + minor.step * static_cast<int64_t>(offset);
    const int64_t y0 = xMajor ? minor.start + minor.step * static_cast<int64_t>(offset)
                              : major.start + major.step * static_cast<int64_t>(steps.lo);
    // Byte steps: one pixel along x, one row along y (rows may lie bottom-up in memory).
    const ptrdiff_t rowStep = target.bottomUp ? -static_cast<ptrdiff_t>(target.stride) : target.stride;
    const ptrdiff_t majorStep = (xMajor ? 3 : rowStep) * major.step;
    const ptrdiff_t minorStep = (xMajor ? rowStep : 3) * minor.step;
    BYTE *pixel = target.Row(static_cast<int>(y0)) + 3 * static_cast<ptrdiff_t>(x0);
    uint64_t style = (stroke.position + steps.lo) % period;
    for (uint64_t i = steps.lo;;) {
      const bool on = (stroke.dashes.onMask >> style) & 1;
      if (on || stroke.paintGaps) {
        const BYTE *color = on ? stroke.pen : stroke.gap;
        pixel[0] = color[0];
        pixel[1] = color[1];
        pixel[2] = color[2];
      }
      if (++i == steps.hi) break;
      if (++style == period) style = 0;
      pixel += majorStep;
      remainder += d;
      if (remainder >= n) {
        remainder -= n;
        ++whole;
      }
      const uint64_t next = Nearest(whole, remainder, n, descends);
      if (next != offset) {
        pixel += minorStep;
        offset = next;
      }
    }
  }
  stroke.position = (stroke.position + n) % period;
}

void ToBytes(COLORREF color, BYTE out[3]) {
  COLORREF rgb = ResolveColor(color);
  out[0] = GetBValue(rgb);
  out[1] = GetGValue(rgb);
  out[2] = GetRValue(rgb);
}

}  // namespace
}  // namespace platform::gdi

using namespace platform::gdi;

BOOL WINAPI Polyline(HDC hdc, const POINT *apt, int cpt) {
  auto dc = LookupDrawingDc(hdc);
  if (!dc) return FALSE;
  // GDI refuses fewer than two points without a last error.
  if (cpt < 2) return FALSE;
  if (!apt) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const PenObject &pen = *dc->pen;
  if (pen.style == PS_NULL) return TRUE;
  if (pen.width > 1) {
    // Wide pens are geometric; this layer draws cosmetic lines only.
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  const Surface &target = dc->Target();
  if (target.Empty()) return TRUE;

  const UINT style = pen.style <= PS_INSIDEFRAME ? pen.style : PS_SOLID;
  Stroke stroke = {target, {}, {}, dc->bkMode == OPAQUE, kStyles[style], 0};
  ToBytes(pen.color, stroke.pen);
  ToBytes(dc->bkColor, stroke.gap);
  for (int k = 0; k + 1 < cpt; ++k) DrawLine(stroke, apt[k], apt[k + 1]);
  return TRUE;
}
