#include "spooler/handles.h"

#include <map>
#include <mutex>

namespace platform::spooler {
namespace {

struct HandleTable {
  std::mutex lock;
  std::map<UINT_PTR, OpenHandle> open;
  UINT_PTR next = 1;
};

HandleTable& Handles() {
  static HandleTable table;
  return table;
}

// Spooler handles sit in a range of their own so that they are never mistaken for kernel handles.
constexpr UINT_PTR kHandleBase = 0x50000000;

}  // namespace

HANDLE AddHandle(OpenHandle handle) {
  auto& table = Handles();
  std::lock_guard guard(table.lock);
  const UINT_PTR value = kHandleBase | (table.next++ << 2);
  table.open.emplace(value, std::move(handle));
  return reinterpret_cast<HANDLE>(value);
}

std::optional<OpenHandle> LookupHandle(HANDLE handle) {
  auto& table = Handles();
  std::lock_guard guard(table.lock);
  auto it = table.open.find(reinterpret_cast<UINT_PTR>(handle));
  if (it == table.open.end()) return std::nullopt;
  return it->second;
}

bool RemoveHandle(HANDLE handle) {
  auto& table = Handles();
  std::lock_guard guard(table.lock);
  return table.open.erase(reinterpret_cast<UINT_PTR>(handle)) != 0;
}

}  // namespace platform::spooler
