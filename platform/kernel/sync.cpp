// Events, WaitForSingleObject and critical sections.
#include <windows.h>

#include <memory>

#include "kernel/scheduler.h"

namespace platform::kernel {
namespace {

class EventObject final : public Waitable {
 public:
  EventObject(bool manualReset, bool signalled) : manualReset_(manualReset), signalled_(signalled) {}

  bool IsSignalled() const override { return signalled_; }
  void Acquire() override {
    if (!manualReset_) signalled_ = false;
  }
  void Set() {
    signalled_ = true;
    SignalWaiters(*this);
  }
  void Reset() { signalled_ = false; }

 private:
  const bool manualReset_;
  bool signalled_;  // scheduler lock
};

// Named events would need one object behind several handles; nothing of the system names its events.
HANDLE CreateEventObject(BOOL manualReset, BOOL initialState, bool named) {
  if (named) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return NULL;
  }
  CurrentThreadObject();
  return AddHandle(std::make_shared<EventObject>(manualReset != FALSE, initialState != FALSE));
}

std::shared_ptr<Waitable> LookupWaitable(HANDLE handle) {
  if (handle == GetCurrentThread()) return CurrentThreadObject();
  return LookupHandleAs<Waitable>(handle);
}

// A critical section keeps its whole state in the caller's structure, guarded by the scheduler lock:
// OwningThread is the owner's thread id (NULL when free), RecursionCount how often the owner entered,
// LockCount the number of threads waiting (-1 when free, as Windows starts it). Waiting threads are
// blocked in the scheduler under the structure's address, so they count as waiting, not running.
DWORD OwnerOf(const CRITICAL_SECTION* cs) {
  return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(cs->OwningThread));
}

void SetOwner(CRITICAL_SECTION* cs, DWORD threadId) {
  cs->OwningThread = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(threadId));
  cs->RecursionCount = threadId != 0 ? 1 : 0;
}

}  // namespace
}  // namespace platform::kernel

using namespace platform::kernel;

WINBASEAPI HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState,
                                      LPCWSTR lpName) {
  return CreateEventObject(bManualReset, bInitialState, lpName != NULL && lpName[0] != 0);
}

WINBASEAPI HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState,
                                      LPCSTR lpName) {
  return CreateEventObject(bManualReset, bInitialState, lpName != NULL && lpName[0] != 0);
}

WINBASEAPI BOOL WINAPI SetEvent(HANDLE hEvent) {
  auto event = LookupHandleAs<EventObject>(hEvent);
  if (!event) return FALSE;
  CurrentThreadObject();
  std::lock_guard lock(SchedulerLock());
  event->Set();
  return TRUE;
}

WINBASEAPI BOOL WINAPI ResetEvent(HANDLE hEvent) {
  auto event = LookupHandleAs<EventObject>(hEvent);
  if (!event) return FALSE;
  std::lock_guard lock(SchedulerLock());
  event->Reset();
  return TRUE;
}

WINBASEAPI DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  auto object = LookupWaitable(hHandle);
  if (!object) return WAIT_FAILED;
  auto self = CurrentThreadObject();
  std::unique_lock lock(SchedulerLock());
  if (object->IsSignalled()) {
    object->Acquire();
    return WAIT_OBJECT_0;
  }
  if (dwMilliseconds == 0) return WAIT_TIMEOUT;
  return Block(lock, *self, object.get(), dwMilliseconds) == WaitResult::Satisfied ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

WINBASEAPI void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (!lpCriticalSection) return;
  std::lock_guard lock(SchedulerLock());
  *lpCriticalSection = CRITICAL_SECTION{};
  lpCriticalSection->LockCount = -1;
}

WINBASEAPI void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (!lpCriticalSection) return;
  auto self = CurrentThreadObject();
  std::unique_lock lock(SchedulerLock());
  DWORD owner = OwnerOf(lpCriticalSection);
  if (owner == 0) {
    SetOwner(lpCriticalSection, self->id);
    lpCriticalSection->LockCount = 0;
  } else if (owner == self->id) {
    ++lpCriticalSection->RecursionCount;
  } else {
    ++lpCriticalSection->LockCount;
    // LeaveCriticalSection hands the section over to the thread it wakes.
    Block(lock, *self, lpCriticalSection, INFINITE);
  }
}

WINBASEAPI BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (!lpCriticalSection) return FALSE;
  auto self = CurrentThreadObject();
  std::lock_guard lock(SchedulerLock());
  DWORD owner = OwnerOf(lpCriticalSection);
  if (owner == 0) {
    SetOwner(lpCriticalSection, self->id);
    lpCriticalSection->LockCount = 0;
    return TRUE;
  }
  if (owner != self->id) return FALSE;
  ++lpCriticalSection->RecursionCount;
  return TRUE;
}

WINBASEAPI void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (!lpCriticalSection) return;
  auto self = CurrentThreadObject();
  std::lock_guard lock(SchedulerLock());
  // Leaving a section one does not own would break another thread's hold on it: it is ignored.
  if (OwnerOf(lpCriticalSection) != self->id || lpCriticalSection->RecursionCount <= 0) return;
  if (--lpCriticalSection->RecursionCount > 0) return;
  ThreadObject* next = FirstWaiter(lpCriticalSection);
  if (!next) {
    SetOwner(lpCriticalSection, 0);
    lpCriticalSection->LockCount = -1;
    return;
  }
  SetOwner(lpCriticalSection, next->id);
  --lpCriticalSection->LockCount;
  Wake(*next, WaitResult::Satisfied);
}

WINBASEAPI void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (!lpCriticalSection) return;
  std::lock_guard lock(SchedulerLock());
  *lpCriticalSection = CRITICAL_SECTION{};
}
