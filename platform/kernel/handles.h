// The process's one table of kernel objects: events, threads and files all live behind a HANDLE here,
// so every module of the process (program, DovaMon.dll, parscsi.dll) shares it.
#pragma once

#include <windows.h>

#include <memory>

namespace platform::kernel {

class KernelObject {
 public:
  virtual ~KernelObject() = default;
  // Called when the last handle to the object is closed; the object may still be referenced by a
  // thread that is waiting on it, so tear-down of shared state belongs in the destructor.
  virtual void OnLastHandleClosed() {}
};

// Adds the object and returns its new handle (never NULL or INVALID_HANDLE_VALUE), or NULL with
// ERROR_NOT_ENOUGH_MEMORY / ERROR_TOO_MANY_OPEN_FILES when the table is full.
HANDLE AddHandle(std::shared_ptr<KernelObject> object);

// The object behind a handle, or nullptr (with ERROR_INVALID_HANDLE set) when the handle is not open.
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);

// The object behind a handle if it is of kind T; otherwise nullptr and ERROR_INVALID_HANDLE.
template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
  auto object = std::dynamic_pointer_cast<T>(LookupHandle(handle));
  if (!object) SetLastError(ERROR_INVALID_HANDLE);
  return object;
}

// Removes the handle; FALSE with ERROR_INVALID_HANDLE when it is not open.
BOOL RemoveHandle(HANDLE handle);

}  // namespace platform::kernel
