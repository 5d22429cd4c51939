// Printer handles: the spooler's own, from a table of this process, not kernel handles.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace platform::spooler {

struct OpenHandle {
  std::u16string printer;  // empty for a handle on the local server (OpenPrinter with no name)
  ACCESS_MASK access;
};

HANDLE AddHandle(OpenHandle handle);
std::optional<OpenHandle> LookupHandle(HANDLE handle);
bool RemoveHandle(HANDLE handle);

}  // namespace platform::spooler
