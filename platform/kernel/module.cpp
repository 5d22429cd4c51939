// Modules: our DLLs are ELF shared objects named like Windows DLLs ("DovaMon.dll"), exporting their
// entry points with default visibility. LoadLibrary finds them the way Windows does for a desktop
// program, inside the machine, and runs their DLL entry routine on the first load and the last free.
#include "kernel/module.h"

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "kernel/text.h"
#include "machine/machine.h"

namespace platform::kernel {
namespace {

namespace fs = std::filesystem;

struct Module {
  HMODULE base;
  void* library;               // from dlopen
  fs::path hostPath;           // the real file, the key of the table
  std::u16string windowsPath;  // what GetModuleFileName reports
  std::u16string fileName;     // what GetModuleHandle matches without a path
  unsigned references;
  PDLL_ENTRY entry;
};

// Held across loads, frees and the entry routine calls they make, as the Windows loader lock is: an
// entry routine may load or free other modules on the same thread. It is a critical section so that a
// thread waiting for it counts as waiting, not running, when the virtual clock decides whether a timed
// wait in an entry routine can still be ended by another thread.
class LoaderLock {
 public:
  LoaderLock() { EnterCriticalSection(Section()); }
  ~LoaderLock() { LeaveCriticalSection(Section()); }
  LoaderLock(const LoaderLock&) = delete;
  LoaderLock& operator=(const LoaderLock&) = delete;

 private:
  static CRITICAL_SECTION* Section() {
    static CRITICAL_SECTION* section = [] {
      auto* created = new CRITICAL_SECTION;
      InitializeCriticalSection(created);
      return created;
    }();
    return section;
  }
};

std::vector<std::unique_ptr<Module>>& Modules() {
  static auto* modules = new std::vector<std::unique_ptr<Module>>;
  return *modules;
}

char16_t FoldCase(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool SameName(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) {
           return FoldCase(x) == FoldCase(y);
         });
}

bool HasPath(std::u16string_view name) { return name.find_first_of(u"\\/:") != std::u16string_view::npos; }

std::u16string_view LastComponent(std::u16string_view name) {
  size_t slash = name.find_last_of(u"\\/:");
  return slash == std::u16string_view::npos ? name : name.substr(slash + 1);
}

// Windows appends ".dll" to a file name without an extension; a trailing dot stands for "no extension".
std::u16string WithDefaultExtension(std::u16string_view name) {
  std::u16string_view file = LastComponent(name);
  if (!file.empty() && file.back() == u'.') return std::u16string(name.substr(0, name.size() - 1));
  if (file.find(u'.') == std::u16string_view::npos) return std::u16string(name) + u".dll";
  return std::u16string(name);
}

HMODULE BaseOfAddress(const void* address) {
  Dl_info info{};
  if (address == nullptr || dladdr(address, &info) == 0) return NULL;
  return static_cast<HMODULE>(info.dli_fbase);
}

HMODULE BaseOfLibrary(void* library) {
  link_map* map = nullptr;
  if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return NULL;
  return BaseOfAddress(map->l_ld);
}

void* ProgramLibrary() {
  static void* program = dlopen(nullptr, RTLD_NOW);
  return program;
}

HMODULE ProgramBase() { return BaseOfLibrary(ProgramLibrary()); }

fs::path ProgramFile() {
  std::error_code error;
  fs::path file = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : file;
}

// A host file outside the machine is shown as Wine shows the host's root: drive Z:.
std::u16string HostFileAsWindowsPath(const fs::path& host) {
  std::u16string path = u"Z:" + text::FromUtf8(host.string());
  std::replace(path.begin(), path.end(), u'/', u'\\');
  return path;
}

Module* FindByBase(HMODULE base) {
  for (auto& module : Modules()) {
    if (module->base == base) return module.get();
  }
  return nullptr;
}

Module* FindByHostPath(const fs::path& host) {
  for (auto& module : Modules()) {
    if (module->hostPath == host) return module.get();
  }
  return nullptr;
}

Module* FindByFileName(std::u16string_view fileName) {
  for (auto& module : Modules()) {
    if (SameName(module->fileName, fileName)) return module.get();
  }
  return nullptr;
}

// A file of a host folder whose name matches without regard to case.
fs::path FindInHostFolder(const fs::path& folder, std::u16string_view fileName) {
  std::error_code error;
  fs::path exact = folder / text::ToUtf8(fileName);
  if (fs::is_regular_file(exact, error)) return exact;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (SameName(text::FromUtf8(it->path().filename().string()), fileName) && it->is_regular_file(error)) {
      return it->path();
    }
  }
  return {};
}

struct Located {
  fs::path hostPath;
  std::u16string windowsPath;
};

// A Windows path of the machine that names an existing file.
bool LocateInMachine(std::u16string_view windowsPath, Located& found) {
  fs::path host;
  std::error_code error;
  if (!machine::ResolvePath(windowsPath, host) || !fs::is_regular_file(host, error)) return false;
  found.hostPath = host;
  if (!machine::FullWindowsPath(windowsPath, found.windowsPath)) found.windowsPath = windowsPath;
  return true;
}

// The standard search order of a desktop program: its own folder, the system directory, the Windows
// directory, the current directory. (The 16-bit system directory and PATH have no place in the machine.)
bool Search(std::u16string_view fileName, Located& found) {
  fs::path program = ProgramFile();
  if (!program.empty()) {
    found.hostPath = FindInHostFolder(program.parent_path(), fileName);
    if (!found.hostPath.empty()) {
      found.windowsPath = HostFileAsWindowsPath(found.hostPath);
      return true;
    }
  }
  machine::Settings settings = machine::GetSettings();
  for (const std::u16string& folder : {settings.systemDirectory, settings.windowsDirectory}) {
    if (LocateInMachine(folder + u"\\" + std::u16string(fileName), found)) return true;
  }
  return LocateInMachine(fileName, found);
}

// Only 32-bit x86 shared objects can be loaded into this process; anything else is refused before the
// dynamic loader sees it.
bool IsLoadableImage(const fs::path& host) {
  std::array<unsigned char, 20> header{};
  std::ifstream in(host, std::ios::binary);
  if (!in.read(reinterpret_cast<char*>(header.data()), header.size())) return false;
  auto u16 = [&](size_t at) { return static_cast<unsigned>(header[at] | header[at + 1] << 8); };
  return std::memcmp(header.data(), ELFMAG, SELFMAG) == 0 && header[EI_CLASS] == ELFCLASS32 &&
         header[EI_DATA] == ELFDATA2LSB && u16(16) == ET_DYN && u16(18) == EM_386;
}

// The module's own export, never one of a library it depends on.
void* OwnSymbol(void* library, HMODULE base, const char* name) {
  void* symbol = dlsym(library, name);
  return symbol != nullptr && BaseOfAddress(symbol) == base ? symbol : nullptr;
}

void* OpenImage(const fs::path& host) {
  void* library = dlopen(host.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library != nullptr) return library;
  // A library it needs is missing: Windows reports that as a missing module, anything else as a bad image.
  const char* why = dlerror();
  bool missing = why != nullptr && std::strstr(why, "cannot open shared object file") != nullptr;
  SetLastError(missing ? ERROR_MOD_NOT_FOUND : ERROR_BAD_EXE_FORMAT);
  return nullptr;
}

HMODULE Load(std::u16string_view requested) {
  if (requested.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return NULL;
  }
  std::u16string name = WithDefaultExtension(requested);
  LoaderLock lock;
  Located found;
  if (!HasPath(name)) {
    // A module of that name that is already loaded is used, wherever it came from.
    if (Module* loaded = FindByFileName(name)) {
      ++loaded->references;
      return loaded->base;
    }
    if (!Search(name, found)) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return NULL;
    }
  } else if (!LocateInMachine(name, found)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return NULL;
  }
  std::error_code error;
  fs::path real = fs::canonical(found.hostPath, error);
  if (error) real = found.hostPath;
  if (Module* loaded = FindByHostPath(real)) {
    ++loaded->references;
    return loaded->base;
  }
  if (!IsLoadableImage(real)) {
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return NULL;
  }
  void* library = OpenImage(real);
  if (library == nullptr) return NULL;
  HMODULE base = BaseOfLibrary(library);
  auto module = std::make_unique<Module>(
      Module{base, library, real, found.windowsPath, std::u16string(LastComponent(found.windowsPath)), 1, nullptr});
  module->entry = reinterpret_cast<PDLL_ENTRY>(OwnSymbol(library, base, "DllMain"));
  PDLL_ENTRY entry = module->entry;
  Modules().push_back(std::move(module));  // listed while its entry routine runs, as on Windows
  if (entry != nullptr && !entry(base, DLL_PROCESS_ATTACH, nullptr)) {
    // A refused attach is followed by a detach before the library goes away.
    entry(base, DLL_PROCESS_DETACH, nullptr);
    std::erase_if(Modules(), [&](const auto& m) { return m->base == base; });
    dlclose(library);
    SetLastError(ERROR_DLL_INIT_FAILED);
    return NULL;
  }
  return base;
}

// The path of a loaded ELF object whose mapping starts at `base`, for modules that the process got
// without LoadLibrary (linked with the program).
struct ObjectSearch {
  HMODULE base = NULL;
  std::u16string fileName;
  HMODULE found = NULL;
  std::string path;
};

int VisitObject(dl_phdr_info* info, size_t, void* data) {
  auto* search = static_cast<ObjectSearch*>(data);
  if (info->dlpi_name == nullptr || info->dlpi_name[0] == 0) return 0;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    if (info->dlpi_phdr[i].p_type != PT_LOAD) continue;
    HMODULE base = BaseOfAddress(reinterpret_cast<const void*>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr));
    std::u16string file = text::FromUtf8(fs::path(info->dlpi_name).filename().string());
    if ((search->base != NULL && base == search->base) ||
        (!search->fileName.empty() && SameName(file, search->fileName))) {
      search->found = base;
      search->path = info->dlpi_name;
      return 1;
    }
    break;
  }
  return 0;
}

ObjectSearch FindLoadedObject(HMODULE base, std::u16string_view fileName) {
  ObjectSearch search;
  search.base = base;
  search.fileName = fileName;
  dl_iterate_phdr(VisitObject, &search);
  return search;
}

HMODULE ModuleHandleOf(LPCWSTR moduleName) {
  if (moduleName == NULL) return ProgramBase();
  std::u16string name = WithDefaultExtension(moduleName);
  LoaderLock lock;
  if (HasPath(name)) {
    fs::path host;
    std::error_code error;
    if (machine::ResolvePath(name, host)) {
      fs::path real = fs::canonical(host, error);
      if (Module* module = FindByHostPath(error ? host : real)) return module->base;
    }
  } else {
    if (Module* module = FindByFileName(name)) return module->base;
    if (HMODULE base = FindLoadedObject(NULL, name).found) return base;
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return NULL;
}

// The file name of a module; empty when the handle names no loaded module.
std::u16string ModuleFileName(HMODULE module) {
  LoaderLock lock;
  if (module == NULL || module == ProgramBase()) return HostFileAsWindowsPath(ProgramFile());
  if (Module* loaded = FindByBase(module)) return loaded->windowsPath;
  ObjectSearch object = FindLoadedObject(module, {});
  return object.found != NULL ? HostFileAsWindowsPath(object.path) : std::u16string();
}

// Copies a name into the caller's buffer as GetModuleFileName documents it: the length without the
// terminator; when it does not fit, as much as fits with a terminator, nSize and ERROR_INSUFFICIENT_BUFFER.
template <class Char>
DWORD CopyName(const std::basic_string<Char>& name, Char* buffer, DWORD size) {
  if (buffer == nullptr && size != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (name.size() < size) {
    std::copy(name.begin(), name.end(), buffer);
    buffer[name.size()] = 0;
    return static_cast<DWORD>(name.size());
  }
  if (size > 0) {
    std::copy_n(name.begin(), size - 1, buffer);
    buffer[size - 1] = 0;
  }
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return size;
}

}  // namespace

void* ModuleSymbol(HMODULE module, const char* name) {
  if (name == nullptr) return nullptr;
  LoaderLock lock;
  if (module == NULL) module = ProgramBase();
  if (Module* loaded = FindByBase(module)) return OwnSymbol(loaded->library, module, name);
  if (module == ProgramBase()) return OwnSymbol(ProgramLibrary(), module, name);
  ObjectSearch object = FindLoadedObject(module, {});
  if (object.found == NULL) return nullptr;
  void* library = dlopen(object.path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (library == nullptr) return nullptr;
  void* symbol = OwnSymbol(library, module, name);
  dlclose(library);
  return symbol;
}

HMODULE ModuleOfAddress(const void* address) { return BaseOfAddress(address); }

}  // namespace platform::kernel

using namespace platform;
using namespace platform::kernel;

WINBASEAPI HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName) {
  if (lpLibFileName == NULL) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return NULL;
  }
  return Load(lpLibFileName);
}

WINBASEAPI HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
  if (lpLibFileName == NULL) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return NULL;
  }
  return Load(text::FromAnsi(lpLibFileName));
}

WINBASEAPI BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  LoaderLock lock;
  Module* module = FindByBase(hLibModule);
  if (module == nullptr || hLibModule == NULL) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  if (--module->references > 0) return TRUE;
  if (module->entry != nullptr) module->entry(module->base, DLL_PROCESS_DETACH, nullptr);
  void* library = module->library;
  std::erase_if(Modules(), [&](const auto& m) { return m->base == hLibModule; });
  dlclose(library);
  return TRUE;
}

WINBASEAPI FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  // Our modules export by name only.
  if (lpProcName == NULL || IS_INTRESOURCE(lpProcName)) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return NULL;
  }
  if (hModule != NULL && ModuleFileName(hModule).empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return NULL;
  }
  void* symbol = ModuleSymbol(hModule, lpProcName);
  if (symbol == nullptr) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return NULL;
  }
  return reinterpret_cast<FARPROC>(symbol);
}

WINBASEAPI HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) { return ModuleHandleOf(lpModuleName); }

WINBASEAPI HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
  if (lpModuleName == NULL) return ModuleHandleOf(NULL);
  return ModuleHandleOf(text::FromAnsi(lpModuleName).c_str());
}

WINBASEAPI DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
  std::u16string name = ModuleFileName(hModule);
  if (name.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  return CopyName(name, lpFilename, nSize);
}

WINBASEAPI DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  std::u16string name = ModuleFileName(hModule);
  if (name.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  return CopyName(text::ToAnsi(name), lpFilename, nSize);
}
