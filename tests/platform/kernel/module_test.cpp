// LoadLibrary, GetProcAddress, FreeLibrary, GetModuleHandle and GetModuleFileName with the test DLL
// (testdll.cpp, built next to this program as KsyncTestDll.dll), in a fresh machine per test.
#include <windows.h>

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kernel/module.h"
#include "machine/fresh_machine.h"

namespace {

namespace fs = std::filesystem;
using orvella_test::kPoison;

fs::path ProgramFolder() { return fs::read_symlink("/proc/self/exe").parent_path(); }

const fs::path& TestDll() {
  static const fs::path dll = ProgramFolder() / "KsyncTestDll.dll";
  return dll;
}

// GetProcAddress's answer as the function type the export has.
template <class Function>
Function Export(HMODULE module, LPCSTR name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::string HandleText(HMODULE module) {
  char text[32];
  std::snprintf(text, sizeof text, "%p", static_cast<void*>(module));
  return text;
}

class ModuleTest : public orvella_test::FreshMachine {
 protected:
  void SetUp() override {
    FreshMachine::SetUp();
    log_ = folder_.string() + ".dll-log";
    fs::remove(log_);
    setenv("ORVELLA_TESTDLL_LOG", log_.c_str(), 1);
    unsetenv("ORVELLA_TESTDLL_REFUSE");
  }
  void TearDown() override {
    unsetenv("ORVELLA_TESTDLL_LOG");
    unsetenv("ORVELLA_TESTDLL_REFUSE");
    fs::remove(log_);
    FreshMachine::TearDown();
  }

  // The entry routine's calls so far, one "attach <handle>" or "detach <handle>" each.
  std::vector<std::string> EntryCalls() {
    std::ifstream in(log_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  // Puts a copy of the test DLL into the machine under another name.
  void PutDll(std::u16string_view windowsPath) {
    fs::path host = platform::HostPath(windowsPath);
    ASSERT_FALSE(host.empty());
    fs::create_directories(host.parent_path());
    fs::copy_file(TestDll(), host, fs::copy_options::overwrite_existing);
  }

  static std::u16string FileName(HMODULE module) {
    WCHAR name[MAX_PATH + 1];
    DWORD length = GetModuleFileNameW(module, name, MAX_PATH + 1);
    return std::u16string(name, length);
  }

  std::string log_;
};

TEST_F(ModuleTest, EntryRoutineRunsOnFirstLoadAndLastFree) {
  HMODULE module = LoadLibraryW(u"KsyncTestDll.dll");
  ASSERT_NE(module, nullptr);
  const std::string attach = "attach " + HandleText(module), detach = "detach " + HandleText(module);
  EXPECT_EQ(EntryCalls(), std::vector<std::string>{attach});
  // Another spelling of the same file: the same module, counted once more, no second attach.
  EXPECT_EQ(LoadLibraryW(u"ksynctestdll"), module);
  EXPECT_EQ(LoadLibraryA("KSYNCTESTDLL.DLL"), module);
  EXPECT_EQ(GetModuleHandleW(u"KsyncTestDll"), module);
  EXPECT_EQ(GetModuleHandleA("ksynctestdll.dll"), module);
  EXPECT_EQ(EntryCalls(), std::vector<std::string>{attach});

  auto instance = Export<HINSTANCE(WINAPI*)()>(module, "AttachedInstance");
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(instance(), module);  // the entry routine got the module handle as its instance

  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_EQ(EntryCalls(), std::vector<std::string>{attach});
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_EQ(EntryCalls(), (std::vector<std::string>{attach, detach}));

  SetLastError(kPoison);
  EXPECT_FALSE(FreeLibrary(module));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  SetLastError(kPoison);
  EXPECT_EQ(GetModuleHandleW(u"KsyncTestDll.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST_F(ModuleTest, RefusedAttachIsDetachedUnloadedAndReported) {
  setenv("ORVELLA_TESTDLL_REFUSE", "1", 1);
  SetLastError(kPoison);
  EXPECT_EQ(LoadLibraryW(u"KsyncTestDll.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
  std::vector<std::string> calls = EntryCalls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].substr(0, 7), "attach ");
  EXPECT_EQ(calls[1], "detach " + calls[0].substr(7));
  EXPECT_EQ(GetModuleHandleW(u"KsyncTestDll.dll"), nullptr);

  unsetenv("ORVELLA_TESTDLL_REFUSE");
  HMODULE module = LoadLibraryW(u"KsyncTestDll.dll");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(EntryCalls().size(), 3u);
  EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(ModuleTest, GetProcAddressFindsTheModulesOwnNamedExportsOnly) {
  HMODULE module = LoadLibraryW(u"KsyncTestDll.dll");
  ASSERT_NE(module, nullptr);
  auto sum = Export<LONG(WINAPI*)(LONG, LONG, LONG, LONG, LONG)>(module, "WeightedSum");
  ASSERT_NE(sum, nullptr);
  EXPECT_EQ(sum(1, 2, 3, 4, 5), 55);
  EXPECT_EQ(sum(-1, 0, 0, 0, 100000), 499999);

  // Hidden, wrong case, empty, an export of a library the module uses, an ordinal.
  for (LPCSTR name : std::initializer_list<LPCSTR>{"HiddenHelper", "weightedsum", "", "CreateEventW", "DllMainX", MAKEINTRESOURCEA(1)}) {
    SetLastError(kPoison);
    EXPECT_EQ(GetProcAddress(module, name), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  }
  SetLastError(kPoison);
  EXPECT_EQ(GetProcAddress(reinterpret_cast<HMODULE>(0x1000), "WeightedSum"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

  // The lookups the resource functions use answer the same.
  EXPECT_EQ(platform::kernel::ModuleSymbol(module, "WeightedSum"), reinterpret_cast<void*>(sum));
  EXPECT_EQ(platform::kernel::ModuleSymbol(module, "CreateEventW"), nullptr);
  EXPECT_EQ(platform::kernel::ModuleOfAddress(reinterpret_cast<void*>(sum)), module);
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_EQ(platform::kernel::ModuleSymbol(module, "WeightedSum"), nullptr);
}

TEST_F(ModuleTest, TheProgramIsAModuleToo) {
  HMODULE program = GetModuleHandleW(NULL);
  ASSERT_NE(program, nullptr);
  EXPECT_EQ(GetModuleHandleA(NULL), program);
  EXPECT_EQ(platform::kernel::ModuleOfAddress(reinterpret_cast<void*>(&ProgramFolder)), program);
  EXPECT_EQ(platform::kernel::ModuleOfAddress(nullptr), nullptr);
  std::u16string name = FileName(NULL);
  EXPECT_EQ(name, FileName(program));
  std::u16string expected = u"\\" + fs::read_symlink("/proc/self/exe").filename().u16string();
  EXPECT_TRUE(name.ends_with(expected));
  EXPECT_TRUE(name.starts_with(u"Z:\\"));
}

struct SearchCase {
  const char* what;
  std::vector<std::u16string> copies;  // where copies of the probe DLL lie
  const char16_t* expected;            // the file that loads, or nullptr for none
};

class SearchOrder : public ModuleTest, public ::testing::WithParamInterface<SearchCase> {};

TEST_P(SearchOrder, FirstFolderThatHoldsTheFileWins) {
  const SearchCase& c = GetParam();
  ASSERT_TRUE(CreateDirectoryW(u"C:\\work", NULL));
  ASSERT_TRUE(SetCurrentDirectoryW(u"C:\\work"));
  for (const std::u16string& copy : c.copies) PutDll(copy);
  SetLastError(kPoison);
  HMODULE module = LoadLibraryW(u"OrderProbe.dll");
  if (c.expected == nullptr) {
    EXPECT_EQ(module, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    return;
  }
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(FileName(module), c.expected);
  EXPECT_TRUE(FreeLibrary(module));
}

INSTANTIATE_TEST_SUITE_P(
    Folders, SearchOrder,
    ::testing::Values(
        SearchCase{"system", {u"C:\\WINDOWS\\system32\\OrderProbe.dll", u"C:\\WINDOWS\\OrderProbe.dll", u"C:\\work\\OrderProbe.dll"},
                   u"C:\\WINDOWS\\system32\\OrderProbe.dll"},
        SearchCase{"windows", {u"C:\\WINDOWS\\OrderProbe.dll", u"C:\\work\\OrderProbe.dll"}, u"C:\\WINDOWS\\OrderProbe.dll"},
        SearchCase{"current", {u"C:\\work\\OrderProbe.dll"}, u"C:\\work\\OrderProbe.dll"},
        SearchCase{"elsewhere", {u"C:\\OrderProbe.dll", u"C:\\WINDOWS\\system32\\drivers\\OrderProbe.dll"}, nullptr},
        SearchCase{"case", {u"C:\\WINDOWS\\system32\\ORDERPROBE.DLL"}, u"C:\\WINDOWS\\system32\\OrderProbe.dll"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(ModuleTest, TheProgramsFolderComesBeforeTheSystemDirectory) {
  PutDll(u"C:\\WINDOWS\\system32\\KsyncTestDll.dll");
  HMODULE module = LoadLibraryW(u"KsyncTestDll.dll");
  ASSERT_NE(module, nullptr);
  std::u16string name = FileName(module);
  EXPECT_TRUE(name.starts_with(u"Z:\\"));
  EXPECT_EQ(name, FileName(NULL).substr(0, FileName(NULL).rfind(u'\\')) + u"\\KsyncTestDll.dll");
  EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(ModuleTest, APathLoadsThatFileOnlyAndMeetsTheSameModuleByName) {
  PutDll(u"C:\\WINDOWS\\system32\\OrderProbe.dll");
  PutDll(u"C:\\Program Files\\Orvella\\Other.dll");
  HMODULE byPath = LoadLibraryW(u"c:/windows/SYSTEM32\\orderprobe");
  ASSERT_NE(byPath, nullptr);
  EXPECT_EQ(LoadLibraryW(u"OrderProbe.dll"), byPath);
  EXPECT_EQ(GetModuleHandleW(u"C:\\WINDOWS\\system32\\OrderProbe.dll"), byPath);
  EXPECT_EQ(EntryCalls().size(), 1u);

  HMODULE other = LoadLibraryW(u"C:\\Program Files\\Orvella\\Other.dll");
  ASSERT_NE(other, nullptr);
  EXPECT_NE(other, byPath);
  for (LPCWSTR missing : {u"C:\\WINDOWS\\Other.dll", u"C:\\nowhere\\x.dll", u"Q:\\x.dll", u"\\\\server\\share\\x.dll"}) {
    SetLastError(kPoison);
    EXPECT_EQ(LoadLibraryW(missing), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  }
  EXPECT_TRUE(FreeLibrary(other));
  EXPECT_TRUE(FreeLibrary(byPath));
  EXPECT_TRUE(FreeLibrary(byPath));
  EXPECT_EQ(EntryCalls().size(), 4u);
}

TEST_F(ModuleTest, FilesThatAreNotLibrariesOfThisMachineAreRefused) {
  struct BadImage {
    const char* name;
    std::string bytes;
  };
  const std::string elf32Header = std::string("\x7f" "ELF\x01\x01\x01", 7) + std::string(9, '\0') +
                                  std::string("\x03\x00\x03\x00", 4);  // ET_DYN, EM_386
  for (const BadImage& bad : {
           BadImage{"text", "this is not a library\n"},
           BadImage{"empty", ""},
           BadImage{"short", std::string("\x7f" "ELF", 4)},
           BadImage{"64-bit", std::string("\x7f" "ELF\x02\x01\x01", 7) + std::string(9, '\0') + std::string("\x03\x00\x3e\x00", 4)},
           BadImage{"executable", std::string("\x7f" "ELF\x01\x01\x01", 7) + std::string(9, '\0') + std::string("\x02\x00\x03\x00", 4)},
           BadImage{"header only", elf32Header},
           BadImage{"header and noise", elf32Header + std::string(4096, '\x5a')},
       }) {
    PutFile(u"C:\\WINDOWS\\system32\\Broken.dll", bad.bytes);
    SetLastError(kPoison);
    EXPECT_EQ(LoadLibraryW(u"Broken.dll"), nullptr) << bad.name;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT)) << bad.name;
  }
  for (LPCWSTR nothing : {u"", u"NoSuchModule", u"NoSuchModule.dll", u"C:\\WINDOWS\\system32"}) {
    SetLastError(kPoison);
    EXPECT_EQ(LoadLibraryW(nothing), nullptr);
    EXPECT_NE(GetLastError(), kPoison);
  }
  SetLastError(kPoison);
  EXPECT_EQ(LoadLibraryA(NULL), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(ModuleTest, GetModuleFileNameFollowsTheTwoPassBufferRules) {
  PutDll(u"C:\\WINDOWS\\system32\\OrderProbe.dll");
  HMODULE module = LoadLibraryW(u"OrderProbe.dll");
  ASSERT_NE(module, nullptr);
  const std::u16string expected = u"C:\\WINDOWS\\system32\\OrderProbe.dll";
  const DWORD n = static_cast<DWORD>(expected.size());
  for (DWORD size : {n + 1, n + 2, n, n - 1, DWORD{1}}) {
    std::vector<WCHAR> wide(size + 4, u'#');
    std::vector<char> narrow(size + 4, '#');
    SetLastError(kPoison);
    DWORD length = GetModuleFileNameW(module, wide.data(), size);
    const bool fits = size > n;
    EXPECT_EQ(length, fits ? n : size) << size;
    EXPECT_EQ(GetLastError(), fits ? kPoison : static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER)) << size;
    DWORD kept = fits ? n : size - 1;
    EXPECT_EQ(std::u16string(wide.data()), expected.substr(0, kept)) << size;
    EXPECT_EQ(wide[size], u'#') << "wrote past the buffer at size " << size;

    SetLastError(kPoison);
    length = GetModuleFileNameA(module, narrow.data(), size);
    EXPECT_EQ(length, fits ? n : size) << size;
    EXPECT_EQ(GetLastError(), fits ? kPoison : static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER)) << size;
    EXPECT_EQ(std::string(narrow.data()), std::string(expected.begin(), expected.begin() + kept)) << size;
    EXPECT_EQ(narrow[size], '#') << size;
  }
  SetLastError(kPoison);
  EXPECT_EQ(GetModuleFileNameW(module, nullptr, 0), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_TRUE(FreeLibrary(module));
  WCHAR name[MAX_PATH];
  SetLastError(kPoison);
  EXPECT_EQ(GetModuleFileNameW(module, name, MAX_PATH), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

}  // namespace
