// Events, waits, threads, critical sections and the clock, through the kernel32 entry points.
#include <platform/clock.h>
#include <windows.h>

#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <vector>

namespace {

constexpr DWORD kPoison = 0xdeadbeef;

class SyncTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::UseClock(platform::ClockMode::Virtual); }
  void TearDown() override {
    for (HANDLE handle : handles_) CloseHandle(handle);
  }

  HANDLE Event(BOOL manualReset, BOOL initialState) {
    HANDLE event = CreateEventW(NULL, manualReset, initialState, NULL);
    EXPECT_NE(event, nullptr);
    handles_.push_back(event);
    return event;
  }

  HANDLE Thread(LPTHREAD_START_ROUTINE routine, void* parameter, DWORD flags = 0, SIZE_T stack = 0) {
    HANDLE thread = CreateThread(NULL, stack, routine, parameter, flags, NULL);
    EXPECT_NE(thread, nullptr);
    handles_.push_back(thread);
    return thread;
  }

  // Waits for a thread without limit and answers its exit code.
  static DWORD Join(HANDLE thread) {
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    DWORD code = kPoison;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    return code;
  }

  std::vector<HANDLE> handles_;
};

// --- events

struct EventCase {
  BOOL manualReset, initialState;
  DWORD firstWait, secondWait;  // two waits of 0 ms right after creation
  DWORD afterSetFirst, afterSetSecond;
};

class EventStates : public SyncTest, public ::testing::WithParamInterface<EventCase> {};

TEST_P(EventStates, AutoResetTakesTheSignalManualKeepsIt) {
  const EventCase& c = GetParam();
  HANDLE event = Event(c.manualReset, c.initialState);
  EXPECT_EQ(WaitForSingleObject(event, 0), c.firstWait);
  EXPECT_EQ(WaitForSingleObject(event, 0), c.secondWait);
  ASSERT_TRUE(SetEvent(event));
  EXPECT_EQ(WaitForSingleObject(event, 0), c.afterSetFirst);
  EXPECT_EQ(WaitForSingleObject(event, 0), c.afterSetSecond);
  ASSERT_TRUE(SetEvent(event));
  ASSERT_TRUE(ResetEvent(event));
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, EventStates,
    ::testing::Values(EventCase{TRUE, TRUE, WAIT_OBJECT_0, WAIT_OBJECT_0, WAIT_OBJECT_0, WAIT_OBJECT_0},
                      EventCase{TRUE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT, WAIT_OBJECT_0, WAIT_OBJECT_0},
                      EventCase{FALSE, TRUE, WAIT_OBJECT_0, WAIT_TIMEOUT, WAIT_OBJECT_0, WAIT_TIMEOUT},
                      EventCase{FALSE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT, WAIT_OBJECT_0, WAIT_TIMEOUT}));

TEST_F(SyncTest, BadHandlesFailWithInvalidHandle) {
  HANDLE notAnEvent = Thread([](LPVOID) -> DWORD WINAPI { return 0; }, nullptr);
  HANDLE closed = CreateEventW(NULL, TRUE, TRUE, NULL);
  ASSERT_TRUE(CloseHandle(closed));  // its slot stays free: nothing below opens a handle
  for (HANDLE handle : {HANDLE(NULL), INVALID_HANDLE_VALUE, HANDLE(0x1234), closed}) {
    SetLastError(kPoison);
    EXPECT_EQ(WaitForSingleObject(handle, 0), WAIT_FAILED) << handle;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  }
  for (HANDLE handle : {HANDLE(NULL), closed, notAnEvent}) {
    SetLastError(kPoison);
    EXPECT_FALSE(SetEvent(handle));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(kPoison);
    EXPECT_FALSE(ResetEvent(handle));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  }
}

TEST_F(SyncTest, ThreadFunctionsRefuseOtherObjectsAndMissingOutputs) {
  HANDLE event = Event(TRUE, TRUE);
  DWORD code = kPoison;
  SetLastError(kPoison);
  EXPECT_FALSE(GetExitCodeThread(event, &code));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(code, kPoison);
  SetLastError(kPoison);
  EXPECT_EQ(ResumeThread(event), static_cast<DWORD>(-1));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  SetLastError(kPoison);
  EXPECT_FALSE(SetThreadPriority(NULL, THREAD_PRIORITY_NORMAL));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  SetLastError(kPoison);
  EXPECT_FALSE(GetExitCodeThread(GetCurrentThread(), NULL));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(SyncTest, NamedEventsAreNotSupported) {
  SetLastError(kPoison);
  EXPECT_EQ(CreateEventW(NULL, TRUE, FALSE, u"Global\\Orvella"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
  SetLastError(kPoison);
  EXPECT_EQ(CreateEventA(NULL, TRUE, FALSE, "Orvella"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
  HANDLE unnamed = CreateEventA(NULL, FALSE, TRUE, "");  // an empty name makes an unnamed event
  ASSERT_NE(unnamed, nullptr);
  EXPECT_EQ(WaitForSingleObject(unnamed, 0), WAIT_OBJECT_0);
  CloseHandle(unnamed);
}

struct WaiterContext {
  HANDLE event;
  std::atomic<int>* released;
};

DWORD WINAPI CountRelease(LPVOID parameter) {
  auto* context = static_cast<WaiterContext*>(parameter);
  if (WaitForSingleObject(context->event, INFINITE) != WAIT_OBJECT_0) return 1;
  ++*context->released;
  return 0;
}

TEST_F(SyncTest, SetEventOnAnAutoResetEventReleasesOneWaiterManualReleasesAll) {
  for (BOOL manual : {FALSE, TRUE}) {
    std::atomic<int> released{0};
    WaiterContext context{Event(manual, FALSE), &released};
    HANDLE first = Thread(CountRelease, &context);
    HANDLE second = Thread(CountRelease, &context);
    ASSERT_TRUE(SetEvent(context.event));
    // A timed wait ends by time only once every other thread is blocked, so the waits below see the
    // released thread finished and the other one still waiting.
    int finished = (WaitForSingleObject(first, 1000) == WAIT_OBJECT_0) + (WaitForSingleObject(second, 1000) == WAIT_OBJECT_0);
    EXPECT_EQ(finished, manual ? 2 : 1) << "manual " << manual;
    EXPECT_EQ(released, manual ? 2 : 1);
    ASSERT_TRUE(SetEvent(context.event));
    EXPECT_EQ(Join(first), 0u);
    EXPECT_EQ(Join(second), 0u);
    EXPECT_EQ(released, 2);
  }
}

// --- the virtual clock

TEST_F(SyncTest, TimedWaitsAndSleepMoveVirtualTimeExactly) {
  HANDLE never = Event(TRUE, FALSE);
  for (DWORD ms : {1ul, 999ul, 1000ul, 60000ul, 0x7fffffful}) {
    DWORD start = GetTickCount();
    EXPECT_EQ(WaitForSingleObject(never, ms), WAIT_TIMEOUT);
    EXPECT_EQ(GetTickCount() - start, ms);
    start = GetTickCount();
    Sleep(ms);
    EXPECT_EQ(GetTickCount() - start, ms);
    start = GetTickCount();
    platform::AdvanceClock(ms);
    EXPECT_EQ(GetTickCount() - start, ms);
  }
  DWORD start = GetTickCount();
  EXPECT_EQ(WaitForSingleObject(never, 0), WAIT_TIMEOUT);
  Sleep(0);
  EXPECT_EQ(GetTickCount(), start);
}

TEST_F(SyncTest, TickCountWrapsAfter32Bits) {
  platform::AdvanceClock(static_cast<DWORD>(0 - GetTickCount()) - 10);
  EXPECT_EQ(GetTickCount(), 0xfffffff6u);
  Sleep(25);
  EXPECT_EQ(GetTickCount(), 15u);
}

TEST_F(SyncTest, RealClockFollowsTheHostsMonotonicClock) {
  platform::UseClock(platform::ClockMode::Real);
  EXPECT_EQ(platform::CurrentClock(), platform::ClockMode::Real);
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  auto host = static_cast<DWORD>(static_cast<uint64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000);
  EXPECT_LT(GetTickCount() - host, 1000u);
  platform::UseClock(platform::ClockMode::Virtual);
  EXPECT_EQ(platform::CurrentClock(), platform::ClockMode::Virtual);
}

struct TimedWait {
  HANDLE event;
  DWORD ms;
  DWORD result = kPoison;
  DWORD endTick = 0;
};

DWORD WINAPI WaitTimed(LPVOID parameter) {
  auto* wait = static_cast<TimedWait*>(parameter);
  wait->result = WaitForSingleObject(wait->event, wait->ms);
  wait->endTick = GetTickCount();
  return 0;
}

TEST_F(SyncTest, TimedWaitsOfSeveralThreadsEndInTheOrderOfTheirDeadlines) {
  DWORD start = GetTickCount();
  TimedWait late{Event(TRUE, FALSE), 700};
  TimedWait early{Event(TRUE, FALSE), 300};
  HANDLE lateThread = Thread(WaitTimed, &late);
  HANDLE earlyThread = Thread(WaitTimed, &early);
  Join(lateThread);
  Join(earlyThread);
  EXPECT_EQ(early.result, static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(late.result, static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(early.endTick - start, 300u);
  EXPECT_EQ(late.endTick - start, 700u);
}

TEST_F(SyncTest, AnEarlierDeadlineEndsFirstAndTheLaterWaitCanStillBeSignalled) {
  DWORD start = GetTickCount();
  TimedWait worker{Event(TRUE, FALSE), 5000};
  HANDLE thread = Thread(WaitTimed, &worker);
  // The worker may not be waiting yet; then this wait stays open in real time until it is.
  EXPECT_EQ(WaitForSingleObject(Event(TRUE, FALSE), 10), WAIT_TIMEOUT);
  EXPECT_EQ(GetTickCount() - start, 10u);
  ASSERT_TRUE(SetEvent(worker.event));
  Join(thread);
  EXPECT_EQ(worker.result, static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(worker.endTick - start, 10u);
}

struct BusyWork {
  HANDLE done;
  volatile unsigned sum = 0;
};

DWORD WINAPI WorkThenSignal(LPVOID parameter) {
  auto* work = static_cast<BusyWork*>(parameter);
  for (unsigned i = 0; i < 20000000; ++i) work->sum = work->sum + i;
  SetEvent(work->done);
  return 0;
}

TEST_F(SyncTest, ARunningThreadKeepsATimedWaitOpenUntilItSignals) {
  BusyWork work{Event(TRUE, FALSE)};
  DWORD start = GetTickCount();
  Thread(WorkThenSignal, &work);
  EXPECT_EQ(WaitForSingleObject(work.done, 1000), WAIT_OBJECT_0);
  EXPECT_EQ(GetTickCount(), start);
}

struct SwitchedWait {
  HANDLE ready, never;
  DWORD result = kPoison;
};

DWORD WINAPI WaitAMinute(LPVOID parameter) {
  auto* wait = static_cast<SwitchedWait*>(parameter);
  SetEvent(wait->ready);
  wait->result = WaitForSingleObject(wait->never, 60000);
  return 0;
}

TEST_F(SyncTest, AWaitBegunOnTheRealClockFinishesOnTheVirtualOne) {
  SwitchedWait wait{Event(TRUE, FALSE), Event(TRUE, FALSE)};
  platform::UseClock(platform::ClockMode::Real);
  HANDLE thread = Thread(WaitAMinute, &wait);
  ASSERT_EQ(WaitForSingleObject(wait.ready, INFINITE), WAIT_OBJECT_0);
  platform::UseClock(platform::ClockMode::Virtual);
  DWORD start = GetTickCount();
  Join(thread);
  EXPECT_EQ(wait.result, static_cast<DWORD>(WAIT_TIMEOUT));
  // What was left of the minute passed on the virtual clock.
  EXPECT_GT(GetTickCount() - start, 50000u);
  EXPECT_LE(GetTickCount() - start, 60000u);
}

// --- threads

struct ExitCase {
  DWORD code;
  bool viaExitThread;
};

DWORD WINAPI ExitWith(LPVOID parameter) {
  auto* c = static_cast<ExitCase*>(parameter);
  if (c->viaExitThread) ExitThread(c->code);
  return c->code;
}

TEST_F(SyncTest, ExitCodeIsTheRoutinesResultOrExitThreadsCode) {
  for (ExitCase c : {ExitCase{0, false}, ExitCase{28, false}, ExitCase{0xffffffff, false}, ExitCase{42, true},
                     ExitCase{0, true}}) {
    HANDLE thread = Thread(ExitWith, &c);
    EXPECT_EQ(Join(thread), c.code) << c.code << " " << c.viaExitThread;
  }
}

DWORD WINAPI WaitForEvent(LPVOID parameter) { return WaitForSingleObject(static_cast<HANDLE>(parameter), INFINITE) == WAIT_OBJECT_0 ? 7 : 1; }

TEST_F(SyncTest, ARunningThreadIsStillActiveAndUnsignalled) {
  HANDLE go = Event(TRUE, FALSE);
  HANDLE thread = Thread(WaitForEvent, go);
  DWORD code = kPoison;
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);
  DWORD start = GetTickCount();
  EXPECT_EQ(WaitForSingleObject(thread, 250), WAIT_TIMEOUT);  // both blocked: ends by virtual time
  EXPECT_EQ(GetTickCount() - start, 250u);
  ASSERT_TRUE(SetEvent(go));
  EXPECT_EQ(Join(thread), 7u);
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);  // an ended thread stays signalled
}

DWORD WINAPI SetFlag(LPVOID parameter) {
  static_cast<std::atomic<bool>*>(parameter)->store(true);
  return 5;
}

TEST_F(SyncTest, ASuspendedThreadRunsOnlyOnceResumed) {
  std::atomic<bool> ran{false};
  HANDLE thread = Thread(SetFlag, &ran, CREATE_SUSPENDED);
  EXPECT_EQ(WaitForSingleObject(thread, 500), WAIT_TIMEOUT);
  EXPECT_FALSE(ran);
  DWORD code = kPoison;
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(ResumeThread(thread), 1u);
  EXPECT_EQ(Join(thread), 5u);
  EXPECT_TRUE(ran);
  EXPECT_EQ(ResumeThread(thread), 0u);
  SetLastError(kPoison);
  EXPECT_EQ(ResumeThread(NULL), static_cast<DWORD>(-1));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

DWORD WINAPI ReportStackSize(LPVOID parameter) {
  pthread_attr_t attributes;
  size_t size = 0;
  if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
    pthread_attr_getstacksize(&attributes, &size);
    pthread_attr_destroy(&attributes);
  }
  *static_cast<size_t*>(parameter) = size;
  return 0;
}

TEST_F(SyncTest, StackSizesFollowWindowsReserveRules) {
  struct StackCase {
    SIZE_T requested;
    DWORD flags;
    size_t expected;
  };
  for (StackCase c : {StackCase{0, 0, 0x100000}, StackCase{0x100000, 0, 0x100000}, StackCase{0x4000, 0, 0x100000},
                      StackCase{0x100001, 0, 0x200000}, StackCase{0x20000, STACK_SIZE_PARAM_IS_A_RESERVATION, 0x20000},
                      StackCase{0x28000, STACK_SIZE_PARAM_IS_A_RESERVATION, 0x30000}}) {
    size_t size = 0;
    Join(Thread(ReportStackSize, &size, c.flags, c.requested));
    // The C library may hand a finished thread's stack of up to four times the size (and a guard page)
    // to a new thread, never a smaller one; a size left to the host's default (8 MiB) shows too.
    EXPECT_GE(size, c.expected) << std::hex << c.requested;
    EXPECT_LE(size, 4 * c.expected + 0x10000) << std::hex << c.requested;
  }
}

TEST_F(SyncTest, CreateThreadRejectsWhatCannotRun) {
  SetLastError(kPoison);
  EXPECT_EQ(CreateThread(NULL, 0, NULL, NULL, 0, NULL), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  SetLastError(kPoison);
  EXPECT_EQ(CreateThread(NULL, 0xfff00000, SetFlag, NULL, 0, NULL), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

TEST_F(SyncTest, PriorityLevelsAreKeptAndUnknownOnesRefused) {
  HANDLE go = Event(TRUE, FALSE);
  HANDLE thread = Thread(WaitForEvent, go);
  EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_NORMAL);
  for (int level : {THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_IDLE, THREAD_PRIORITY_LOWEST, THREAD_PRIORITY_BELOW_NORMAL,
                    THREAD_PRIORITY_HIGHEST, THREAD_PRIORITY_TIME_CRITICAL, THREAD_PRIORITY_NORMAL}) {
    EXPECT_TRUE(SetThreadPriority(thread, level)) << level;
    EXPECT_EQ(GetThreadPriority(thread), level);
  }
  ASSERT_TRUE(SetThreadPriority(thread, THREAD_PRIORITY_ABOVE_NORMAL));
  for (int level : {3, -3, 14, 16, -16, THREAD_PRIORITY_ERROR_RETURN}) {
    SetLastError(kPoison);
    EXPECT_FALSE(SetThreadPriority(thread, level)) << level;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_ABOVE_NORMAL);
  }
  EXPECT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST));
  EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_HIGHEST);
  EXPECT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL));
  SetLastError(kPoison);
  EXPECT_EQ(GetThreadPriority(go), THREAD_PRIORITY_ERROR_RETURN);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  SetEvent(go);
  Join(thread);
}

DWORD WINAPI ReportId(LPVOID parameter) {
  *static_cast<DWORD*>(parameter) = GetCurrentThreadId();
  return 0;
}

TEST_F(SyncTest, ThreadIdsAreDistinctAndMatchWhatTheThreadSees) {
  DWORD seen[2] = {kPoison, kPoison}, given[2] = {kPoison, kPoison};
  for (int i = 0; i < 2; ++i) {
    HANDLE thread = CreateThread(NULL, 0, ReportId, &seen[i], 0, &given[i]);
    ASSERT_NE(thread, nullptr);
    handles_.push_back(thread);
    Join(thread);
    EXPECT_EQ(seen[i], given[i]);
    EXPECT_NE(given[i], 0u);
    EXPECT_NE(given[i], GetCurrentThreadId());
  }
  EXPECT_NE(given[0], given[1]);
  EXPECT_EQ(GetCurrentThreadId(), GetCurrentThreadId());
  EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(getpid()));
  DWORD code = kPoison;
  ASSERT_TRUE(GetExitCodeThread(GetCurrentThread(), &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
}

struct Handshake {
  HANDLE go, done;
};

DWORD WINAPI WaitThenSignal(LPVOID parameter) {
  auto* handshake = static_cast<Handshake*>(parameter);
  WaitForSingleObject(handshake->go, INFINITE);
  SetEvent(handshake->done);
  return 3;
}

TEST_F(SyncTest, ClosingTheHandleOfARunningThreadLeavesItRunning) {
  Handshake handshake{Event(TRUE, FALSE), Event(TRUE, FALSE)};
  HANDLE thread = CreateThread(NULL, 0, WaitThenSignal, &handshake, 0, NULL);
  ASSERT_NE(thread, nullptr);
  ASSERT_TRUE(CloseHandle(thread));
  SetLastError(kPoison);
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  ASSERT_TRUE(SetEvent(handshake.go));
  EXPECT_EQ(WaitForSingleObject(handshake.done, INFINITE), WAIT_OBJECT_0);
}

// A thread-local object whose destructor still waits and signals after the thread's routine is over,
// as C++ runtimes and libraries' thread-local state do.
struct LateWaiter {
  HANDLE never = NULL, done = NULL;
  DWORD result = kPoison;
  ~LateWaiter() {
    if (done == NULL) return;
    result = WaitForSingleObject(never, 300);
    lateResult = result;
    SetEvent(done);
  }
  static inline std::atomic<DWORD> lateResult{kPoison};
};
thread_local LateWaiter lateWaiter;

DWORD WINAPI ArmLateWaiter(LPVOID parameter) {
  auto* handshake = static_cast<Handshake*>(parameter);
  lateWaiter.never = handshake->go;
  lateWaiter.done = handshake->done;
  return 0;
}

TEST_F(SyncTest, WaitsAfterAThreadsRoutineHasEndedStillWork) {
  Handshake handshake{Event(TRUE, FALSE), Event(TRUE, FALSE)};
  LateWaiter::lateResult = kPoison;
  HANDLE thread = Thread(ArmLateWaiter, &handshake);
  EXPECT_EQ(WaitForSingleObject(handshake.done, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(LateWaiter::lateResult, static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(Join(thread), 0u);
}

// --- critical sections

struct Counter {
  CRITICAL_SECTION lock;
  unsigned value = 0;
};

DWORD WINAPI CountUnderLock(LPVOID parameter) {
  auto* counter = static_cast<Counter*>(parameter);
  for (int i = 0; i < 20000; ++i) {
    EnterCriticalSection(&counter->lock);
    EnterCriticalSection(&counter->lock);  // recursive
    unsigned value = counter->value;
    if (i % 64 == 0) Sleep(0);
    counter->value = value + 1;
    LeaveCriticalSection(&counter->lock);
    LeaveCriticalSection(&counter->lock);
  }
  return 0;
}

TEST_F(SyncTest, CriticalSectionExcludesOtherThreadsAndIsRecursive) {
  Counter counter;
  InitializeCriticalSection(&counter.lock);
  HANDLE threads[4];
  for (HANDLE& thread : threads) thread = Thread(CountUnderLock, &counter);
  for (HANDLE thread : threads) Join(thread);
  EXPECT_EQ(counter.value, 4u * 20000u);
  DeleteCriticalSection(&counter.lock);
}

DWORD WINAPI TryEnter(LPVOID parameter) { return TryEnterCriticalSection(static_cast<CRITICAL_SECTION*>(parameter)); }

TEST_F(SyncTest, TryEnterSucceedsForTheOwnerOnly) {
  CRITICAL_SECTION lock;
  InitializeCriticalSection(&lock);
  EXPECT_TRUE(TryEnterCriticalSection(&lock));
  EXPECT_TRUE(TryEnterCriticalSection(&lock));
  EXPECT_EQ(Join(Thread(TryEnter, &lock)), static_cast<DWORD>(FALSE));
  LeaveCriticalSection(&lock);
  EXPECT_EQ(Join(Thread(TryEnter, &lock)), static_cast<DWORD>(FALSE));  // still held once
  LeaveCriticalSection(&lock);
  LeaveCriticalSection(&lock);  // one leave too many is ignored
  EXPECT_EQ(Join(Thread(TryEnter, &lock)), static_cast<DWORD>(TRUE));  // the thread ended holding it
  EXPECT_FALSE(TryEnterCriticalSection(&lock));
  DeleteCriticalSection(&lock);
}

struct HolderAndWaiter {
  CRITICAL_SECTION lock;
  HANDLE never;
  std::atomic<bool> entered{false};
};

DWORD WINAPI EnterAndNote(LPVOID parameter) {
  auto* shared = static_cast<HolderAndWaiter*>(parameter);
  EnterCriticalSection(&shared->lock);
  shared->entered = true;
  LeaveCriticalSection(&shared->lock);
  return 0;
}

TEST_F(SyncTest, AThreadBlockedOnACriticalSectionCountsAsWaiting) {
  HolderAndWaiter shared;
  shared.never = Event(TRUE, FALSE);
  InitializeCriticalSection(&shared.lock);
  EnterCriticalSection(&shared.lock);
  HANDLE thread = Thread(EnterAndNote, &shared);
  DWORD start = GetTickCount();
  // The other thread can only wait for this one, so the timed wait ends by virtual time.
  EXPECT_EQ(WaitForSingleObject(shared.never, 2000), WAIT_TIMEOUT);
  EXPECT_EQ(GetTickCount() - start, 2000u);
  EXPECT_FALSE(shared.entered);
  LeaveCriticalSection(&shared.lock);
  Join(thread);
  EXPECT_TRUE(shared.entered);
  DeleteCriticalSection(&shared.lock);
}

}  // namespace
