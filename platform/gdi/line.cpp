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

// The steps [lo, hi) of a walk of n steps whose pixels lie on the canvas: those that keep
// `start + step * offset(i)` within [0, limit) on both axes, where offset(i) is i on the major axis and
// MinorOffset on the minor one. Both are monotonic in i, so the range is found by bisection.
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

// Where a walk starts on the canvas and how it moves through memory.
struct Walk {
  BYTE *pixel;          // the first visible pixel
  ptrdiff_t majorStep;  // bytes to the next pixel along the major axis
  ptrdiff_t minorStep;  // bytes to the next pixel along the minor axis
  uint64_t count;       // visible pixels, > 0
  int64_t error;        // 2 * i * d - (2 * offset + 1) * n at the first visible step i
  uint64_t d, n;        // minor and major lengths of the line
  bool descends;        // the minor coordinate falls along the line
  uint32_t style;       // style position of the first visible pixel
};

// The Bresenham loop: the error term rises by 2d per major step, and the minor coordinate moves on
// when it passes zero (reaches zero on a descending axis, where halves round onwards). Int is 32 bits
// for every line shorter than 2^30 pixels, 64 bits beyond.
template <class Int>
void Run(const Stroke &stroke, const Walk &walk) {
  const Int twiceD = static_cast<Int>(2 * walk.d);
  const Int twiceN = static_cast<Int>(2 * walk.n);
  const Int bias = walk.descends ? -1 : 0;
  const uint32_t mask = stroke.dashes.onMask;
  const uint32_t period = stroke.dashes.period;
  Int error = static_cast<Int>(walk.error);
  uint32_t style = walk.style;
  BYTE *pixel = walk.pixel;
  for (uint64_t left = walk.count;;) {
    const bool on = (mask >> style) & 1;
    if (on || stroke.paintGaps) {
      const BYTE *color = on ? stroke.pen : stroke.gap;
      pixel[0] = color[0];
      pixel[1] = color[1];
      pixel[2] = color[2];
    }
    if (--left == 0) break;
    if (++style == period) style = 0;
    pixel += walk.majorStep;
    error += twiceD;
    if (error > bias) {
      error -= twiceN;
      pixel += walk.minorStep;
    }
  }
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
  if (steps.lo < steps.hi) {
    const uint64_t d = minor.length;
    const bool descends = minor.step < 0;
    const uint64_t whole = steps.lo * d / n;
    const uint64_t remainder = steps.lo * d % n;
    const uint64_t offset = Nearest(whole, remainder, n, descends);
    const int64_t majorAt = major.start + major.step * static_cast<int64_t>(steps.lo);
    const int64_t minorAt = minor.start + minor.step * static_cast<int64_t>(offset);
    const int64_t x = xMajor ? majorAt : minorAt;
    const int64_t y = xMajor ? minorAt : majorAt;
    // Rows may lie bottom-up in memory.
    const ptrdiff_t rowStep = target.bottomUp ? -static_cast<ptrdiff_t>(target.stride) : target.stride;
    Walk walk;
    walk.pixel = target.Row(static_cast<int>(y)) + 3 * static_cast<ptrdiff_t>(x);
    walk.majorStep = (xMajor ? 3 : rowStep) * major.step;
    walk.minorStep = (xMajor ? rowStep : 3) * minor.step;
    walk.count = steps.hi - steps.lo;
    walk.error = 2 * static_cast<int64_t>(remainder) - static_cast<int64_t>(n) -
                 2 * static_cast<int64_t>(offset - whole) * static_cast<int64_t>(n);
    walk.d = d;
    walk.n = n;
    walk.descends = descends;
    walk.style = static_cast<uint32_t>((stroke.position + steps.lo) % stroke.dashes.period);
    if (n < (uint64_t{1} << 30)) {
      Run<int32_t>(stroke, walk);
    } else {
      Run<int64_t>(stroke, walk);
    }
  }
  stroke.position = (stroke.position + n) % stroke.dashes.period;
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
