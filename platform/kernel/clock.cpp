// GetTickCount and Sleep on the process's one clock (see include/platform/clock.h).
#include <platform/clock.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "kernel/scheduler.h"

namespace platform::kernel {
namespace {

std::atomic<ClockMode> mode{ClockMode::Real};
std::once_flag modeChosen;

void ChooseFromEnvironment() {
  const char* value = std::getenv("ORVELLA_CLOCK");
  mode = value != nullptr && std::strcmp(value, "virtual") == 0 ? ClockMode::Virtual : ClockMode::Real;
}

ClockMode Mode() {
  std::call_once(modeChosen, ChooseFromEnvironment);
  return mode;
}

uint64_t RealMilliseconds() {
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

// A Sleep that never ends: the thread blocks on a key that nothing signals, so under the virtual clock
// it counts as waiting rather than running.
void SleepForever() {
  static const char forever = 0;
  auto self = CurrentThreadObject();
  std::unique_lock lock(SchedulerLock());
  for (;;) Block(lock, *self, &forever, INFINITE);
}

}  // namespace

bool ClockIsVirtual() { return Mode() == ClockMode::Virtual; }

}  // namespace platform::kernel

namespace platform {

void UseClock(ClockMode newMode) {
  std::call_once(kernel::modeChosen, [] {});
  kernel::mode = newMode;
  kernel::ClockModeChanged();
}

ClockMode CurrentClock() { return kernel::Mode(); }

void AdvanceClock(DWORD ms) {
  kernel::CurrentThreadObject();
  std::lock_guard lock(kernel::SchedulerLock());
  kernel::MoveVirtualTime(kernel::VirtualNow() + ms);
}

}  // namespace platform

WINBASEAPI DWORD WINAPI GetTickCount(void) {
  using namespace platform::kernel;
  if (!ClockIsVirtual()) return static_cast<DWORD>(RealMilliseconds());
  std::lock_guard lock(SchedulerLock());
  return static_cast<DWORD>(VirtualNow());  // wraps every 2^32 ms (49.7 days) as on Windows
}

WINBASEAPI void WINAPI Sleep(DWORD dwMilliseconds) {
  using namespace platform::kernel;
  if (dwMilliseconds == INFINITE) SleepForever();
  if (dwMilliseconds == 0) {
    std::this_thread::yield();
    return;
  }
  if (ClockIsVirtual()) {
    platform::AdvanceClock(dwMilliseconds);
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}
