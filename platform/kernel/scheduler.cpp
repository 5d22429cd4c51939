#include "kernel/scheduler.h"

#include <algorithm>
#include <atomic>
#include <vector>

namespace platform::kernel {
namespace {

struct Scheduler {
  std::mutex lock;
  std::vector<ThreadObject*> threads;  // tracked and not finished; each kept alive by its thread
  int running = 0;                     // how many of them are in State::Running
  uint64_t nextWaitOrder = 0;
  uint64_t virtualNow = 0;
  bool virtualStarted = false;
};

Scheduler& TheScheduler() {
  static Scheduler* scheduler = new Scheduler;  // threads may still run while statics are destroyed
  return *scheduler;
}

// Windows hands out thread ids as multiples of 4 and never 0.
std::atomic<DWORD> nextThreadId{0x400};

// The calling thread's object. The holder's destructor runs when a host thread ends, so a thread that
// the platform met by chance stops counting as runnable when it is gone.
thread_local bool holderGone = false;  // set once the holder is destroyed at the thread's end

struct CurrentHolder {
  std::shared_ptr<ThreadObject> object;
  ~CurrentHolder() {
    FinishCurrentThread(0);
    holderGone = true;
  }
};
thread_local CurrentHolder current;

void Track(Scheduler& s, ThreadObject& thread, bool counted = true) {
  thread.tracked = true;
  thread.counted = counted;
  s.threads.push_back(&thread);
  if (counted && thread.state == ThreadObject::State::Running) ++s.running;
}

void Untrack(Scheduler& s, ThreadObject& thread) {
  if (!thread.tracked) return;
  thread.tracked = false;
  std::erase(s.threads, &thread);
  if (thread.counted && thread.state == ThreadObject::State::Running) --s.running;
  thread.counted = false;
}

void SetState(Scheduler& s, ThreadObject& thread, ThreadObject::State state) {
  if (thread.counted) {
    if (thread.state == ThreadObject::State::Running) --s.running;
    if (state == ThreadObject::State::Running) ++s.running;
  }
  thread.state = state;
}

bool HasPendingVirtualEnd(const ThreadObject& t) {
  return t.state == ThreadObject::State::Blocked && t.waitResult == WaitResult::Pending && t.hasVirtualEnd;
}

void ExpireVirtualWaits(Scheduler& s) {
  for (ThreadObject* t : std::vector<ThreadObject*>(s.threads)) {
    if (HasPendingVirtualEnd(*t) && t->virtualEnd <= s.virtualNow) Wake(*t, WaitResult::TimedOut);
  }
}

// Nothing that the platform knows of can run: the next thing to happen is the earliest end of a timed
// wait, so virtual time jumps there.
void Reschedule(Scheduler& s) {
  if (!ClockIsVirtual()) return;
  while (s.running == 0) {
    const ThreadObject* first = nullptr;
    for (const ThreadObject* t : s.threads) {
      if (HasPendingVirtualEnd(*t) && (!first || t->virtualEnd < first->virtualEnd)) first = t;
    }
    if (!first) return;
    MoveVirtualTime(first->virtualEnd);
  }
}

void StartVirtualTime(Scheduler& s) {
  if (s.virtualStarted) return;
  // Virtual time starts where the real clock stands, so tick counts look like those of a running PC.
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  s.virtualNow = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
  s.virtualStarted = true;
}

// The thread that loads the platform (the program's main thread) is known from the start, so a worker's
// timed wait never takes it for finished before it has made its first call.
__attribute__((constructor)) void RegisterLoadingThread() { CurrentThreadObject(); }

}  // namespace

ThreadObject::ThreadObject(DWORD threadId, bool suspended)
    : id(threadId), state(suspended ? State::Suspended : State::Running), suspendCount(suspended ? 1 : 0) {}

std::mutex& SchedulerLock() { return TheScheduler().lock; }

std::shared_ptr<ThreadObject> CurrentThreadObject() {
  if (holderGone) {
    // Destructors that run after this thread's end in the platform (the main thread's statics at exit,
    // other libraries' thread-local objects) may still wait and signal. They get a second object that
    // waits can wake but that never counts as runnable: nobody could tell when its host thread is gone.
    // It is kept until the process ends.
    static thread_local std::shared_ptr<ThreadObject>* afterEnd = nullptr;
    if (afterEnd == nullptr) {
      afterEnd = new std::shared_ptr<ThreadObject>(std::make_shared<ThreadObject>(NewThreadId(), false));
      Scheduler& s = TheScheduler();
      std::lock_guard lock(s.lock);
      Track(s, **afterEnd, false);
    }
    return *afterEnd;
  }
  if (!current.object) {
    auto thread = std::make_shared<ThreadObject>(NewThreadId(), false);
    Scheduler& s = TheScheduler();
    std::lock_guard lock(s.lock);
    Track(s, *thread);
    current.object = thread;
  }
  return current.object;
}

void TrackNewThread(const std::shared_ptr<ThreadObject>& thread) {
  Scheduler& s = TheScheduler();
  std::lock_guard lock(s.lock);
  Track(s, *thread);
}

void BindCurrentThread(const std::shared_ptr<ThreadObject>& thread) {
  current.object = thread;
}

void UntrackThread(ThreadObject& thread) {
  Scheduler& s = TheScheduler();
  std::lock_guard lock(s.lock);
  Untrack(s, thread);
  Reschedule(s);
}

DWORD NewThreadId() { return nextThreadId.fetch_add(4); }

void FinishCurrentThread(DWORD exitCode) {
  std::shared_ptr<ThreadObject> self = current.object;
  if (!self || holderGone) return;
  holderGone = true;
  Scheduler& s = TheScheduler();
  std::lock_guard lock(s.lock);
  if (self->state == ThreadObject::State::Finished) return;
  self->exitCode = exitCode;
  Untrack(s, *self);
  self->state = ThreadObject::State::Finished;
  SignalWaiters(*self);
  Reschedule(s);
}

WaitResult Block(std::unique_lock<std::mutex>& lock, ThreadObject& self, const void* key, DWORD ms) {
  using Clock = std::chrono::steady_clock;
  Scheduler& s = TheScheduler();
  self.waitKey = key;
  self.waitOrder = s.nextWaitOrder++;
  self.waitResult = WaitResult::Pending;
  self.hasVirtualEnd = false;
  const bool timed = ms != INFINITE;
  bool realTime = timed && !ClockIsVirtual();
  Clock::time_point realEnd = Clock::now() + std::chrono::milliseconds(ms);
  if (timed && !realTime) {
    StartVirtualTime(s);
    self.hasVirtualEnd = true;
    self.virtualEnd = s.virtualNow + ms;
  }
  SetState(s, self, ThreadObject::State::Blocked);
  Reschedule(s);
  while (self.waitResult == WaitResult::Pending) {
    // When the clock is switched during the wait, the time still to wait carries over to the other clock.
    if (timed && realTime && ClockIsVirtual()) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(realEnd - Clock::now()).count();
      realTime = false;
      self.hasVirtualEnd = true;
      self.virtualEnd = VirtualNow() + static_cast<uint64_t>(std::max<int64_t>(left, 0));
      Reschedule(s);
      continue;
    }
    if (timed && !realTime && !ClockIsVirtual()) {
      realTime = true;
      self.hasVirtualEnd = false;
      realEnd = Clock::now() + std::chrono::milliseconds(self.virtualEnd - std::min(self.virtualEnd, VirtualNow()));
    }
    if (!realTime) {
      self.wake.wait(lock);
    } else if (self.wake.wait_until(lock, realEnd) == std::cv_status::timeout &&
               self.waitResult == WaitResult::Pending) {
      Wake(self, WaitResult::TimedOut);
    }
  }
  self.hasVirtualEnd = false;
  return self.waitResult;
}

void Wake(ThreadObject& thread, WaitResult result) {
  thread.waitResult = result;
  thread.waitKey = nullptr;
  SetState(TheScheduler(), thread, ThreadObject::State::Running);
  thread.wake.notify_one();
}

ThreadObject* FirstWaiter(const void* key) {
  ThreadObject* first = nullptr;
  for (ThreadObject* t : TheScheduler().threads) {
    if (t->state == ThreadObject::State::Blocked && t->waitResult == WaitResult::Pending && t->waitKey == key &&
        (!first || t->waitOrder < first->waitOrder)) {
      first = t;
    }
  }
  return first;
}

void SignalWaiters(Waitable& object) {
  while (object.IsSignalled()) {
    ThreadObject* waiter = FirstWaiter(&object);
    if (!waiter) break;
    object.Acquire();
    Wake(*waiter, WaitResult::Satisfied);
  }
}

void ReleaseSuspended(ThreadObject& thread) {
  if (thread.state != ThreadObject::State::Suspended) return;
  SetState(TheScheduler(), thread, ThreadObject::State::Running);
  thread.wake.notify_one();
}

uint64_t VirtualNow() {
  Scheduler& s = TheScheduler();
  StartVirtualTime(s);
  return s.virtualNow;
}

void MoveVirtualTime(uint64_t when) {
  Scheduler& s = TheScheduler();
  StartVirtualTime(s);
  s.virtualNow = std::max(s.virtualNow, when);
  ExpireVirtualWaits(s);
}

void ClockModeChanged() {
  Scheduler& s = TheScheduler();
  std::lock_guard lock(s.lock);
  for (ThreadObject* t : s.threads) {
    if (t->state == ThreadObject::State::Blocked) t->wake.notify_one();
  }
  Reschedule(s);
}

}  // namespace platform::kernel
