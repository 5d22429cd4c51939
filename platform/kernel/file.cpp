// Files, folders and the current directory, inside the simulated machine.
//
// Offsets are 64-bit, as SetFilePointer's high part allows, on the 32-bit host too.
#define _FILE_OFFSET_BITS 64

#include "kernel/file.h"

#include "kernel/handles.h"
#include "kernel/text.h"
#include "machine/machine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

namespace platform::kernel {
namespace fs = std::filesystem;
namespace {

class FileObject : public KernelObject {
 public:
  FileObject(int fd, DWORD access) : fd(fd), access(access) {}
  ~FileObject() override { ::close(fd); }
  const int fd;
  const DWORD access;
};

bool CanRead(DWORD access) { return access & (GENERIC_READ | GENERIC_ALL); }
bool CanWrite(DWORD access) { return access & (GENERIC_WRITE | GENERIC_ALL); }

std::mutex openerLock;
DeviceOpener& Opener() {
  static DeviceOpener* opener = new DeviceOpener;
  return *opener;
}

// "\\.\name" and "\\?\name" that do not continue with a drive ("\\?\C:\...") name devices.
bool IsDevicePath(std::u16string_view path) {
  bool prefixed = path.size() > 4 && (path[0] == u'\\' || path[0] == u'/') && (path[1] == u'\\' || path[1] == u'/') &&
                  (path[2] == u'.' || path[2] == u'?') && (path[3] == u'\\' || path[3] == u'/');
  return prefixed && !(path.size() >= 6 && path[5] == u':');
}

enum class Kind { missing, file, folder };

Kind KindOf(const fs::path& host) {
  std::error_code error;
  auto status = fs::status(host, error);
  if (fs::is_directory(status)) return Kind::folder;
  if (fs::exists(status)) return Kind::file;
  return Kind::missing;
}

// The error for a name that does not exist: the file is missing, or already its folder is.
DWORD MissingError(const fs::path& host) {
  return KindOf(host.parent_path()) == Kind::folder ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

DWORD ErrorFromErrno(int error) {
  switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return ERROR_ACCESS_DENIED;
    case ENOSPC: return 112;  // ERROR_DISK_FULL
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    default: return ERROR_INVALID_FUNCTION;
  }
}

// Resolves a wide path that a caller passed; FALSE with the last error set.
BOOL Resolve(LPCWSTR path, fs::path& host) {
  if (!path) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  return machine::ResolvePath(path, host);
}

HANDLE OpenDevice(std::u16string_view path, DWORD access) {
  DeviceOpener opener;
  {
    std::lock_guard guard(openerLock);
    opener = Opener();
  }
  if (!opener) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return opener(path, access);
}

// Every transfer of ours completes before the call returns, as a synchronous one on Windows does:
// the OVERLAPPED tells its result and its event is signalled.
void CompleteOverlapped(LPOVERLAPPED overlapped, DWORD done) {
  if (!overlapped) return;
  overlapped->Internal = 0;  // STATUS_SUCCESS
  overlapped->InternalHigh = done;
  if (overlapped->hEvent) SetEvent(overlapped->hEvent);
}

}  // namespace

void SetDeviceOpener(DeviceOpener opener) {
  std::lock_guard guard(openerLock);
  Opener() = std::move(opener);
}

}  // namespace platform::kernel

using namespace platform;
using platform::kernel::FileObject;
using platform::kernel::Kind;
namespace fs = std::filesystem;

WINBASEAPI HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                     LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                                     DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
  (void)dwShareMode;  // sharing is not enforced: every program of the machine may open every file
  (void)lpSecurityAttributes;
  (void)dwFlagsAndAttributes;  // attributes and caching hints change nothing here
  (void)hTemplateFile;
  if (dwCreationDisposition < CREATE_NEW || dwCreationDisposition > TRUNCATE_EXISTING ||
      (dwCreationDisposition == TRUNCATE_EXISTING && !kernel::CanWrite(dwDesiredAccess))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (lpFileName && kernel::IsDevicePath(lpFileName)) return kernel::OpenDevice(lpFileName, dwDesiredAccess);
  fs::path host;
  if (!kernel::Resolve(lpFileName, host)) return INVALID_HANDLE_VALUE;

  Kind kind = kernel::KindOf(host);
  if (kind == Kind::folder) {
    SetLastError(ERROR_ACCESS_DENIED);  // a folder opens only with backup semantics, which we lack
    return INVALID_HANDLE_VALUE;
  }
  bool exists = kind == Kind::file;
  if (!exists && kernel::KindOf(host.parent_path()) != Kind::folder) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (exists && dwCreationDisposition == CREATE_NEW) {
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
  }
  if (!exists && (dwCreationDisposition == OPEN_EXISTING || dwCreationDisposition == TRUNCATE_EXISTING)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  bool truncate = dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == TRUNCATE_EXISTING;
  bool changes = !exists || truncate || kernel::CanWrite(dwDesiredAccess);
  if (changes && !machine::IsWritable(host)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }

  // The host descriptor may write when the handle may not (CREATE_ALWAYS with GENERIC_READ still
  // empties the file); the handle's own access is checked on every call.
  int flags = O_CLOEXEC | (kernel::CanWrite(dwDesiredAccess) || truncate ? O_RDWR : O_RDONLY);
  if (!exists) flags |= O_CREAT | O_EXCL;
  if (truncate) flags |= O_TRUNC;
  int fd = ::open(host.c_str(), flags, 0644);
  if (fd < 0) {
    SetLastError(kernel::ErrorFromErrno(errno));
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = kernel::AddHandle(std::make_shared<FileObject>(fd, dwDesiredAccess));
  if (!handle) return INVALID_HANDLE_VALUE;
  bool reported = exists && (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS);
  SetLastError(reported ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

WINBASEAPI HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                     LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                                     DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
  if (!lpFileName) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::u16string name = text::FromAnsi(lpFileName);
  return CreateFileW(name.c_str(), dwDesiredAccess, dwShareMode, lpSecurityAttributes, dwCreationDisposition,
                     dwFlagsAndAttributes, hTemplateFile);
}

WINBASEAPI BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                                LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
  auto file = kernel::LookupHandleAs<FileObject>(hFile);
  if (!file) return FALSE;
  if (!lpNumberOfBytesRead && !lpOverlapped) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!kernel::CanRead(file->access)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!lpBuffer && nNumberOfBytesToRead > 0) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  // An OVERLAPPED on a handle of ours names the offset; the call still completes before it returns.
  off_t offset = lpOverlapped ? static_cast<off_t>((ULONGLONG(lpOverlapped->OffsetHigh) << 32) | lpOverlapped->Offset) : -1;
  DWORD done = 0;
  auto* bytes = static_cast<char*>(lpBuffer);
  while (done < nNumberOfBytesToRead) {
    ssize_t n = offset >= 0 ? ::pread(file->fd, bytes + done, nNumberOfBytesToRead - done, offset + done)
                            : ::read(file->fd, bytes + done, nNumberOfBytesToRead - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      SetLastError(kernel::ErrorFromErrno(errno));
      return FALSE;
    }
    if (n == 0) break;
    done += static_cast<DWORD>(n);
  }
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = done;
  kernel::CompleteOverlapped(lpOverlapped, done);
  return TRUE;
}

WINBASEAPI BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                                 LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
  auto file = kernel::LookupHandleAs<FileObject>(hFile);
  if (!file) return FALSE;
  if (!lpNumberOfBytesWritten && !lpOverlapped) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!kernel::CanWrite(file->access)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!lpBuffer && nNumberOfBytesToWrite > 0) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  off_t offset = lpOverlapped ? static_cast<off_t>((ULONGLONG(lpOverlapped->OffsetHigh) << 32) | lpOverlapped->Offset) : -1;
  DWORD done = 0;
  const auto* bytes = static_cast<const char*>(lpBuffer);
  while (done < nNumberOfBytesToWrite) {
    ssize_t n = offset >= 0 ? ::pwrite(file->fd, bytes + done, nNumberOfBytesToWrite - done, offset + done)
                            : ::write(file->fd, bytes + done, nNumberOfBytesToWrite - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
      SetLastError(n < 0 ? kernel::ErrorFromErrno(errno) : 112 /* ERROR_DISK_FULL */);
      return FALSE;
    }
    done += static_cast<DWORD>(n);
  }
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
  kernel::CompleteOverlapped(lpOverlapped, done);
  return TRUE;
}

WINBASEAPI DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  auto file = kernel::LookupHandleAs<FileObject>(hFile);
  if (!file) return INVALID_FILE_SIZE;
  struct stat info;
  if (::fstat(file->fd, &info) != 0) {
    SetLastError(kernel::ErrorFromErrno(errno));
    return INVALID_FILE_SIZE;
  }
  auto size = static_cast<ULONGLONG>(info.st_size);
  if (lpFileSizeHigh) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
  // A size whose low half is INVALID_FILE_SIZE is told from a failure by the last error.
  SetLastError(NO_ERROR);
  return static_cast<DWORD>(size);
}

WINBASEAPI DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                                       DWORD dwMoveMethod) {
  auto file = kernel::LookupHandleAs<FileObject>(hFile);
  if (!file) return INVALID_SET_FILE_POINTER;
  if (dwMoveMethod > FILE_END) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  LONGLONG distance = lpDistanceToMoveHigh
                          ? static_cast<LONGLONG>((ULONGLONG(static_cast<DWORD>(*lpDistanceToMoveHigh)) << 32) |
                                                  static_cast<DWORD>(lDistanceToMove))
                          : lDistanceToMove;
  constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  off_t base = dwMoveMethod == FILE_BEGIN ? 0 : ::lseek(file->fd, 0, kWhence[dwMoveMethod]);
  LONGLONG target = static_cast<LONGLONG>(base) + distance;
  if (base < 0 || target < 0) {
    SetLastError(base < 0 ? kernel::ErrorFromErrno(errno) : ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
  }
  // Without a high part the position must fit in a 32-bit signed value, as Windows requires.
  if (!lpDistanceToMoveHigh && target > 0x7FFFFFFF) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (::lseek(file->fd, static_cast<off_t>(target), SEEK_SET) < 0) {
    SetLastError(kernel::ErrorFromErrno(errno));
    return INVALID_SET_FILE_POINTER;
  }
  if (lpDistanceToMoveHigh) *lpDistanceToMoveHigh = static_cast<LONG>(target >> 32);
  SetLastError(NO_ERROR);  // lets a caller tell a low half of 0xFFFFFFFF from a failure
  return static_cast<DWORD>(target);
}

WINBASEAPI BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
  auto file = kernel::LookupHandleAs<FileObject>(hFile);
  if (!file) return FALSE;
  if (!kernel::CanWrite(file->access)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (::fdatasync(file->fd) != 0 && errno != EINVAL) {
    SetLastError(kernel::ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

WINBASEAPI BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
  (void)lpSecurityAttributes;
  fs::path host;
  if (!kernel::Resolve(lpPathName, host)) return FALSE;
  if (kernel::KindOf(host) != Kind::missing) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  if (kernel::KindOf(host.parent_path()) != Kind::folder) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  if (!machine::IsWritable(host)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (::mkdir(host.c_str(), 0755) != 0) {
    SetLastError(errno == EEXIST ? ERROR_ALREADY_EXISTS : kernel::ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

WINBASEAPI BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
  if (!lpPathName) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  return CreateDirectoryW(text::FromAnsi(lpPathName).c_str(), lpSecurityAttributes);
}

WINBASEAPI BOOL WINAPI CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists) {
  fs::path source, target;
  if (!kernel::Resolve(lpExistingFileName, source) || !kernel::Resolve(lpNewFileName, target)) return FALSE;
  Kind sourceKind = kernel::KindOf(source), targetKind = kernel::KindOf(target);
  if (sourceKind != Kind::file) {
    SetLastError(sourceKind == Kind::folder ? ERROR_ACCESS_DENIED : kernel::MissingError(source));
    return FALSE;
  }
  if (targetKind == Kind::missing && kernel::KindOf(target.parent_path()) != Kind::folder) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  if (targetKind != Kind::missing && bFailIfExists) {
    SetLastError(ERROR_FILE_EXISTS);
    return FALSE;
  }
  if (targetKind == Kind::folder || !machine::IsWritable(target)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  std::error_code error;
  if (targetKind == Kind::file && fs::equivalent(source, target, error)) {
    SetLastError(ERROR_SHARING_VIOLATION);  // the file would be copied onto itself, as Windows refuses
    return FALSE;
  }
  // The copy is written beside the target and renamed over it: a program that has the old file
  // loaded (a DLL being replaced) keeps its own copy, and nobody sees half a file.
  fs::path partial = target;
  partial += ".copying";
  fs::copy_file(source, partial, fs::copy_options::overwrite_existing, error);
  if (!error) fs::rename(partial, target, error);
  if (error) {
    fs::remove(partial, error);
    SetLastError(kernel::ErrorFromErrno(error.value() ? error.value() : EIO));
    return FALSE;
  }
  return TRUE;
}

WINBASEAPI BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
  if (!lpExistingFileName || !lpNewFileName) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  return CopyFileW(text::FromAnsi(lpExistingFileName).c_str(), text::FromAnsi(lpNewFileName).c_str(), bFailIfExists);
}

WINBASEAPI BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) {
  fs::path host;
  if (!kernel::Resolve(lpFileName, host)) return FALSE;
  Kind kind = kernel::KindOf(host);
  if (kind != Kind::file) {
    SetLastError(kind == Kind::folder ? ERROR_ACCESS_DENIED : kernel::MissingError(host));
    return FALSE;
  }
  if (!machine::IsWritable(host)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (::unlink(host.c_str()) != 0) {
    SetLastError(kernel::ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

WINBASEAPI BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
  if (!lpFileName) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  return DeleteFileW(text::FromAnsi(lpFileName).c_str());
}

WINBASEAPI DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName) {
  fs::path host;
  if (!kernel::Resolve(lpFileName, host)) return INVALID_FILE_ATTRIBUTES;
  Kind kind = kernel::KindOf(host);
  if (kind == Kind::missing) {
    SetLastError(kernel::MissingError(host));
    return INVALID_FILE_ATTRIBUTES;
  }
  DWORD attributes = kind == Kind::folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (!machine::IsWritable(host)) attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes;
}

WINBASEAPI DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
  if (!lpFileName) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  return GetFileAttributesW(text::FromAnsi(lpFileName).c_str());
}

namespace {

// The two-pass protocol: the length without the terminator when it fits, else the size needed with it.
template <class Char>
DWORD CopyOut(std::basic_string_view<Char> value, DWORD size, Char* buffer) {
  if (size <= value.size() || !buffer) return static_cast<DWORD>(value.size() + 1);
  std::copy(value.begin(), value.end(), buffer);
  buffer[value.size()] = 0;
  return static_cast<DWORD>(value.size());
}

}  // namespace

WINBASEAPI DWORD WINAPI GetCurrentDirectoryW(DWORD nBufferLength, LPWSTR lpBuffer) {
  std::u16string folder = machine::CurrentFolder();
  return CopyOut<char16_t>(folder, nBufferLength, lpBuffer);
}

WINBASEAPI DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer) {
  std::string folder = text::ToAnsi(machine::CurrentFolder());
  return CopyOut<char>(folder, nBufferLength, lpBuffer);
}

WINBASEAPI BOOL WINAPI SetCurrentDirectoryW(LPCWSTR lpPathName) {
  std::u16string full;
  fs::path host;
  if (!lpPathName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!machine::FullWindowsPath(lpPathName, full) || !machine::ResolvePath(full, host)) return FALSE;
  // The current directory is kept with a trailing backslash, within MAX_PATH with its terminator.
  if (full.size() + (full.back() == u'\\' ? 0 : 1) > MAX_PATH - 1) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return FALSE;
  }
  Kind kind = kernel::KindOf(host);
  if (kind != Kind::folder) {
    SetLastError(kind == Kind::file ? ERROR_DIRECTORY : kernel::MissingError(host));
    return FALSE;
  }
  machine::SetCurrentFolder(std::move(full));
  return TRUE;
}

WINBASEAPI BOOL WINAPI SetCurrentDirectoryA(LPCSTR lpPathName) {
  if (!lpPathName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return SetCurrentDirectoryW(text::FromAnsi(lpPathName).c_str());
}
