#include "user/windows.h"

#include <mutex>
#include <unordered_set>

namespace platform::user {
namespace {

std::mutex& TableLock() {
  static std::mutex lock;
  return lock;
}

std::unordered_set<HWND>& Table() {
  static std::unordered_set<HWND> table;
  return table;
}

}  // namespace

void AddWindow(HWND window) {
  std::lock_guard guard(TableLock());
  Table().insert(window);
}

void RemoveWindow(HWND window) {
  std::lock_guard guard(TableLock());
  Table().erase(window);
}

bool IsLiveWindow(HWND window) {
  std::lock_guard guard(TableLock());
  return window != nullptr && Table().contains(window);
}

}  // namespace platform::user

WINBASEAPI BOOL WINAPI IsWindow(HWND hWnd) { return platform::user::IsLiveWindow(hWnd) ? TRUE : FALSE; }
