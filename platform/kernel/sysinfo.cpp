// What the machine says about itself (version, language, directories), and the small string and
// memory helpers of kernel32.
#include "kernel/text.h"
#include "machine/machine.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_set>

using namespace platform;

namespace {

// The two-pass protocol of the directory calls: the length without the terminator when the value
// fits, else the size it needs with its terminator.
template <class Char>
UINT CopyDirectory(std::basic_string_view<Char> value, Char* buffer, UINT size) {
  if (!buffer || size <= value.size()) return static_cast<UINT>(value.size() + 1);
  std::copy(value.begin(), value.end(), buffer);
  buffer[value.size()] = 0;
  return static_cast<UINT>(value.size());
}

template <class Info>
bool CheckVersionSize(Info* info) {
  if (!info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (info->dwOSVersionInfoSize != sizeof(Info)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  return true;
}

template <class Info>
void FillVersion(const machine::Settings& settings, Info* info) {
  info->dwMajorVersion = settings.majorVersion;
  info->dwMinorVersion = settings.minorVersion;
  info->dwBuildNumber = settings.buildNumber;
  info->dwPlatformId = VER_PLATFORM_WIN32_NT;
}

// Blocks of LocalAlloc and GlobalAlloc, so that freeing something else is refused, not a crash.
struct Blocks {
  std::mutex lock;
  std::unordered_set<void*> live;
};

Blocks& LiveBlocks() {
  static Blocks* blocks = new Blocks;
  return *blocks;
}

constexpr UINT kMoveable = 0x0002;  // LMEM_MOVEABLE and GMEM_MOVEABLE: handles to lock, which we lack

void* Allocate(UINT flags, SIZE_T bytes) {
  if (flags & kMoveable) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
  }
  void* block = (flags & LMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
  if (!block) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  Blocks& blocks = LiveBlocks();
  std::lock_guard guard(blocks.lock);
  blocks.live.insert(block);
  return block;
}

// NULL when freed (or given NULL); the block itself with ERROR_INVALID_HANDLE when it is not ours.
void* Release(void* block) {
  if (!block) return nullptr;
  Blocks& blocks = LiveBlocks();
  {
    std::lock_guard guard(blocks.lock);
    if (blocks.live.erase(block) == 0) {
      SetLastError(ERROR_INVALID_HANDLE);
      return block;
    }
  }
  std::free(block);
  return nullptr;
}

}  // namespace

WINBASEAPI BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
  if (!CheckVersionSize(lpVersionInformation)) return FALSE;
  machine::Settings settings = machine::GetSettings();
  FillVersion(settings, lpVersionInformation);
  std::string servicePack = text::ToAnsi(text::FromUtf8(settings.servicePack));
  std::memset(lpVersionInformation->szCSDVersion, 0, sizeof lpVersionInformation->szCSDVersion);
  std::memcpy(lpVersionInformation->szCSDVersion, servicePack.data(),
              std::min(servicePack.size(), sizeof lpVersionInformation->szCSDVersion - 1));
  return TRUE;
}

WINBASEAPI BOOL WINAPI GetVersionExW(LPOSVERSIONINFOW lpVersionInformation) {
  if (!CheckVersionSize(lpVersionInformation)) return FALSE;
  machine::Settings settings = machine::GetSettings();
  FillVersion(settings, lpVersionInformation);
  std::u16string servicePack = text::FromUtf8(settings.servicePack);
  auto& field = lpVersionInformation->szCSDVersion;
  std::fill(std::begin(field), std::end(field), u'\0');
  std::copy_n(servicePack.begin(), std::min(servicePack.size(), std::size(field) - 1), field);
  return TRUE;
}

WINBASEAPI UINT WINAPI GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize) {
  std::u16string folder = machine::GetSettings().systemDirectory;
  return CopyDirectory<char16_t>(folder, lpBuffer, uSize);
}

WINBASEAPI UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
  std::string folder = text::ToAnsi(machine::GetSettings().systemDirectory);
  return CopyDirectory<char>(folder, lpBuffer, uSize);
}

WINBASEAPI UINT WINAPI GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize) {
  std::u16string folder = machine::GetSettings().windowsDirectory;
  return CopyDirectory<char16_t>(folder, lpBuffer, uSize);
}

WINBASEAPI UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
  std::string folder = text::ToAnsi(machine::GetSettings().windowsDirectory);
  return CopyDirectory<char>(folder, lpBuffer, uSize);
}

WINBASEAPI LANGID WINAPI GetSystemDefaultLangID(void) { return machine::GetSettings().language; }
WINBASEAPI LANGID WINAPI GetUserDefaultLangID(void) { return machine::GetSettings().language; }

WINBASEAPI int WINAPI lstrlenW(LPCWSTR lpString) { return static_cast<int>(text::Length(lpString)); }
WINBASEAPI int WINAPI lstrlenA(LPCSTR lpString) { return lpString ? static_cast<int>(std::strlen(lpString)) : 0; }

WINBASEAPI HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) { return Allocate(uFlags, uBytes); }
WINBASEAPI HLOCAL WINAPI LocalFree(HLOCAL hMem) { return Release(hMem); }
WINBASEAPI HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes) { return Allocate(uFlags, dwBytes); }
WINBASEAPI HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) { return Release(hMem); }
