#include "kernel/handles.h"

#include <mutex>
#include <new>
#include <vector>

namespace platform::kernel {
namespace {

// Handles are multiples of 4 from 4 on, as Windows hands them out; slot i holds handle 4 * (i + 1).
constexpr size_t kMaxHandles = 1 << 16;

struct HandleTable {
  std::mutex lock;
  std::vector<std::shared_ptr<KernelObject>> slots;
  size_t searchFrom = 0;
};

HandleTable& Table() {
  static HandleTable* table = new HandleTable;  // outlives every static destructor that may close handles
  return *table;
}

bool SlotOf(HANDLE handle, size_t& slot) {
  auto value = reinterpret_cast<ULONG_PTR>(handle);
  if (value == 0 || (value & 3) != 0 || handle == INVALID_HANDLE_VALUE) return false;
  slot = value / 4 - 1;
  return true;
}

}  // namespace

HANDLE AddHandle(std::shared_ptr<KernelObject> object) {
  HandleTable& table = Table();
  std::lock_guard guard(table.lock);
  size_t n = table.slots.size();
  for (size_t k = 0; k < n; ++k) {
    size_t slot = (table.searchFrom + k) % n;
    if (!table.slots[slot]) {
      table.slots[slot] = std::move(object);
      table.searchFrom = slot + 1;
      return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(4 * (slot + 1)));
    }
  }
  if (n >= kMaxHandles) {
    SetLastError(ERROR_TOO_MANY_OPEN_FILES);
    return NULL;
  }
  try {
    table.slots.push_back(std::move(object));
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return NULL;
  }
  table.searchFrom = n + 1;
  return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(4 * (n + 1)));
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
  HandleTable& table = Table();
  size_t slot;
  std::lock_guard guard(table.lock);
  if (!SlotOf(handle, slot) || slot >= table.slots.size() || !table.slots[slot]) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return table.slots[slot];
}

BOOL RemoveHandle(HANDLE handle) {
  HandleTable& table = Table();
  size_t slot;
  std::shared_ptr<KernelObject> object;
  {
    std::lock_guard guard(table.lock);
    if (!SlotOf(handle, slot) || slot >= table.slots.size() || !table.slots[slot]) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    object = std::move(table.slots[slot]);
    table.slots[slot].reset();
  }
  // Objects have one handle each (there is no DuplicateHandle), so this was the last one.
  object->OnLastHandleClosed();
  return TRUE;
}

}  // namespace platform::kernel

WINBASEAPI BOOL WINAPI CloseHandle(HANDLE hObject) { return platform::kernel::RemoveHandle(hObject); }
