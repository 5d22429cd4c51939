// The one clock behind GetTickCount, Sleep and timed waits, and how tests and scripts drive it.
//
// Real: milliseconds of the host's monotonic clock. Virtual: a counter that moves only when someone
// moves it; Sleep returns at once and moves it on, AdvanceClock moves it from outside, and a timed wait
// that nothing in the process can end any more moves it to the wait's end. The first use reads
// ORVELLA_CLOCK ("real" or "virtual", real when unset or unknown); UseClock overrides that choice.
//
// "Nothing can end it" means: every thread the platform knows (each made by CreateThread, and each
// other thread from its first call into the platform on) is blocked in a platform wait (an object, a
// critical section), suspended or ended. A thread blocked elsewhere (std::thread::join, a host mutex,
// a pipe) counts as running, so a timed wait then lasts until it is signalled: tests start their
// helpers with CreateThread and wait for them with WaitForSingleObject. INFINITE waits are real waits.
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
