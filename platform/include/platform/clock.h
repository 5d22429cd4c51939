// The one clock behind GetTickCount, Sleep and timed waits, and how tests and scripts drive it.
//
// Real: milliseconds of the host's monotonic clock. Virtual: a counter that moves only when someone
// moves it; Sleep returns at once and moves it on, AdvanceClock moves it from outside, and a timed wait
// that nothing in the process can end any more moves it to the wait's end. The first use reads
// ORVELLA_CLOCK ("real" or "virtual", real when unset or unknown); UseClock overrides that choice.
#pragma once

#include <windef.h>

namespace platform {

enum class ClockMode { Real, Virtual };

DECLSPEC_EXPORT void UseClock(ClockMode mode);
DECLSPEC_EXPORT ClockMode CurrentClock();

// Moves virtual time on by `ms` and ends the timed waits whose end it passes. Virtual time is kept
// even while the real clock is chosen, so it only shows once the virtual clock is chosen again.
DECLSPEC_EXPORT void AdvanceClock(DWORD ms);

}  // namespace platform
