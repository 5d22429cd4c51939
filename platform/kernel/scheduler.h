// When a thread of the process may go on: the one lock behind every event, thread and critical
// section, the process's threads and their waits, and the virtual clock's rule for ending timed waits.
//
// Every thread that the platform knows about (each one made by CreateThread, and each other thread
// from its first call into these functions on) is running, blocked in a platform wait (a wait on an
// object, a critical section, an endless Sleep), suspended, or finished. Under the virtual clock a
// timed wait ends by time only when no known thread is running any more: then the clock jumps to the
// earliest end among the timed waits and those waits time out. While any known thread runs, a timed
// wait waits for its object in real time, because that thread may still signal it. Threads the
// platform never saw (a host thread that has made no call here) are not counted.
#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "kernel/handles.h"

namespace platform::kernel {

// The lock that guards every field marked "scheduler lock" below and the state of critical sections.
std::mutex& SchedulerLock();

// A kernel object that a thread can wait for.
class Waitable : public KernelObject {
 public:
  // Both under the scheduler lock.
  virtual bool IsSignalled() const = 0;
  // A wait that the object satisfies takes the signal with it (auto-reset events).
  virtual void Acquire() {}
};

enum class WaitResult { Pending, Satisfied, TimedOut };

class ThreadObject final : public Waitable {
 public:
  enum class State { Running, Blocked, Suspended, Finished };

  ThreadObject(DWORD id, bool suspended);

  bool IsSignalled() const override { return state == State::Finished; }

  const DWORD id;
  // Scheduler lock.
  State state;
  DWORD suspendCount;
  DWORD exitCode = STILL_ACTIVE;
  int priority = THREAD_PRIORITY_NORMAL;
  bool tracked = false;  // among the process's threads, so waits can wake it
  bool counted = false;  // and counted as runnable while it runs
  // The wait in progress (scheduler lock).
  const void* waitKey = nullptr;
  uint64_t waitOrder = 0;
  bool hasVirtualEnd = false;
  uint64_t virtualEnd = 0;
  WaitResult waitResult = WaitResult::Pending;
  std::condition_variable wake;
};

DWORD NewThreadId();

// The calling thread's object; registers the thread on its first call.
std::shared_ptr<ThreadObject> CurrentThreadObject();

// Makes a thread object that CreateThread is about to start the one of the thread that will run it,
// and counts it from now on: a thread is runnable from its creation, not from its first instruction.
void TrackNewThread(const std::shared_ptr<ThreadObject>& thread);
void BindCurrentThread(const std::shared_ptr<ThreadObject>& thread);
// Takes a thread that could not be started out of the count again.
void UntrackThread(ThreadObject& thread);

// Ends the calling thread's life in the scheduler: records the exit code, signals the thread object.
void FinishCurrentThread(DWORD exitCode);

// Blocks the calling thread (lock held) until Wake is called for it or `ms` passes (INFINITE: no
// end). `key` names what it waits for: a Waitable, a critical section.
WaitResult Block(std::unique_lock<std::mutex>& lock, ThreadObject& self, const void* key, DWORD ms);

// Lets a blocked thread go on with the given result (lock held).
void Wake(ThreadObject& thread, WaitResult result);

// The longest-waiting thread blocked on `key`, or nullptr (lock held).
ThreadObject* FirstWaiter(const void* key);

// Satisfies the waits on an object for as long as it stays signalled, oldest wait first (lock held).
void SignalWaiters(Waitable& object);

// Lets a thread that was suspended run (lock held).
void ReleaseSuspended(ThreadObject& thread);

// --- the clock's side (clock.cpp); all with the scheduler lock held
bool ClockIsVirtual();
uint64_t VirtualNow();
// Re-examines the timed waits after the clock was switched (takes the lock itself).
void ClockModeChanged();
// Moves virtual time to `when` (never backwards) and times out the waits whose end it reaches.
void MoveVirtualTime(uint64_t when);

}  // namespace platform::kernel
