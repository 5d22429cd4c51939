// Threads: CreateThread on POSIX threads, suspended starts, priorities and exit codes.
#include <windows.h>

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>

#include "kernel/scheduler.h"

namespace platform::kernel {
namespace {

// The stack a thread gets when its creator asks for none: the reserve that Windows programs are
// linked with by default.
constexpr uint64_t kDefaultStack = 0x100000;
constexpr uint64_t kStackGranularity = 0x10000;  // Windows reserves address space in 64 KiB steps
constexpr uint64_t kMaxStack = 0x40000000;       // far beyond what a 32-bit process could map

constexpr std::array kPriorityLevels = {
    THREAD_PRIORITY_IDLE,   THREAD_PRIORITY_LOWEST,  THREAD_PRIORITY_BELOW_NORMAL,  THREAD_PRIORITY_NORMAL,
    THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST, THREAD_PRIORITY_TIME_CRITICAL,
};

uint64_t RoundUp(uint64_t value, uint64_t step) { return (value + step - 1) / step * step; }

// Without STACK_SIZE_PARAM_IS_A_RESERVATION the size is what the thread commits at first, and the
// reserve is the default unless the commit is larger, in which case Windows rounds it up to whole MiB.
uint64_t StackReserve(SIZE_T requested, DWORD flags) {
  if (requested == 0) return kDefaultStack;
  if (flags & STACK_SIZE_PARAM_IS_A_RESERVATION) return RoundUp(requested, kStackGranularity);
  return std::max(kDefaultStack, RoundUp(requested, kDefaultStack));
}

struct StartBlock {
  std::shared_ptr<ThreadObject> thread;
  LPTHREAD_START_ROUTINE routine;
  LPVOID parameter;
};

void* RunThread(void* argument) {
  std::unique_ptr<StartBlock> start(static_cast<StartBlock*>(argument));
  BindCurrentThread(start->thread);
  {
    std::unique_lock lock(SchedulerLock());
    while (start->thread->state == ThreadObject::State::Suspended) start->thread->wake.wait(lock);
  }
  DWORD exitCode = start->routine(start->parameter);
  FinishCurrentThread(exitCode);
  return nullptr;
}

bool StartHostThread(StartBlock* start, uint64_t stackSize) {
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return false;
  pthread_t host;
  bool started = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED) == 0 &&
                 pthread_attr_setstacksize(&attributes, static_cast<size_t>(stackSize)) == 0 &&
                 pthread_create(&host, &attributes, RunThread, start) == 0;
  pthread_attr_destroy(&attributes);
  return started;
}

std::shared_ptr<ThreadObject> LookupThread(HANDLE handle) {
  if (handle == GetCurrentThread()) return CurrentThreadObject();
  return LookupHandleAs<ThreadObject>(handle);
}

}  // namespace
}  // namespace platform::kernel

using namespace platform::kernel;

WINBASEAPI HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T dwStackSize,
                                      LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                                      DWORD dwCreationFlags, LPDWORD lpThreadId) {
  if (lpStartAddress == NULL) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return NULL;
  }
  uint64_t stackSize = std::max<uint64_t>(StackReserve(dwStackSize, dwCreationFlags), PTHREAD_STACK_MIN);
  if (stackSize > kMaxStack) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return NULL;
  }
  CurrentThreadObject();
  auto thread = std::make_shared<ThreadObject>(NewThreadId(), (dwCreationFlags & CREATE_SUSPENDED) != 0);
  HANDLE handle = AddHandle(thread);
  if (handle == NULL) return NULL;
  TrackNewThread(thread);
  auto start = std::make_unique<StartBlock>(StartBlock{thread, lpStartAddress, lpParameter});
  if (!StartHostThread(start.get(), stackSize)) {
    UntrackThread(*thread);
    RemoveHandle(handle);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return NULL;
  }
  start.release();  // the new thread owns it now
  if (lpThreadId) *lpThreadId = thread->id;
  return handle;
}

WINBASEAPI DWORD WINAPI ResumeThread(HANDLE hThread) {
  auto thread = LookupThread(hThread);
  if (!thread) return static_cast<DWORD>(-1);
  std::lock_guard lock(SchedulerLock());
  DWORD previous = thread->suspendCount;
  if (previous > 0 && --thread->suspendCount == 0) ReleaseSuspended(*thread);
  return previous;
}

// The level is kept for GetThreadPriority; the host scheduler is left alone, since raising a thread
// there needs privileges that a test or a user session does not have.
WINBASEAPI BOOL WINAPI SetThreadPriority(HANDLE hThread, int nPriority) {
  auto thread = LookupThread(hThread);
  if (!thread) return FALSE;
  if (std::find(kPriorityLevels.begin(), kPriorityLevels.end(), nPriority) == kPriorityLevels.end()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard lock(SchedulerLock());
  thread->priority = nPriority;
  return TRUE;
}

WINBASEAPI int WINAPI GetThreadPriority(HANDLE hThread) {
  auto thread = LookupThread(hThread);
  if (!thread) return THREAD_PRIORITY_ERROR_RETURN;
  std::lock_guard lock(SchedulerLock());
  return thread->priority;
}

WINBASEAPI BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
  auto thread = LookupThread(hThread);
  if (!thread) return FALSE;
  if (lpExitCode == NULL) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard lock(SchedulerLock());
  *lpExitCode = thread->exitCode;
  return TRUE;
}

WINBASEAPI DWORD WINAPI GetCurrentThreadId(void) { return CurrentThreadObject()->id; }

// The pseudo-handle that stands for the calling thread in every thread function; it is never in the
// handle table.
WINBASEAPI HANDLE WINAPI GetCurrentThread(void) { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2)); }

WINBASEAPI DWORD WINAPI GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

WINBASEAPI void WINAPI ExitThread(DWORD dwExitCode) {
  FinishCurrentThread(dwExitCode);
  pthread_exit(nullptr);
}
