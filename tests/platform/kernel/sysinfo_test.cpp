#include "machine/fresh_machine.h"

#include <cstring>
#include <string>

namespace {

using orvella_test::FreshMachine;
using orvella_test::kPoison;

using SystemFactsTest = FreshMachine;

TEST_F(SystemFactsTest, VersionOfAnXpMachineAndOfAnother) {
  OSVERSIONINFOA info;
  std::memset(&info, 0xEF, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwMajorVersion, 5u);
  EXPECT_EQ(info.dwMinorVersion, 1u);
  EXPECT_EQ(info.dwBuildNumber, 2600u);
  EXPECT_EQ(info.dwPlatformId, DWORD(VER_PLATFORM_WIN32_NT));
  EXPECT_STREQ(info.szCSDVersion, "Service Pack 3");

  platform::SetMachineVersion(5, 0, 2195, "Service Pack 4");
  OSVERSIONINFOW wide;
  std::memset(&wide, 0xEF, sizeof wide);
  wide.dwOSVersionInfoSize = sizeof wide;
  ASSERT_TRUE(GetVersionExW(&wide));
  EXPECT_EQ(wide.dwMajorVersion, 5u);
  EXPECT_EQ(wide.dwMinorVersion, 0u);
  EXPECT_EQ(wide.dwBuildNumber, 2195u);
  EXPECT_EQ(std::u16string(wide.szCSDVersion), u"Service Pack 4");
}

TEST_F(SystemFactsTest, VersionRefusesAStructureOfAnotherSize) {
  for (DWORD size : {DWORD(0), DWORD(sizeof(OSVERSIONINFOA) - 1), DWORD(sizeof(OSVERSIONINFOA) + 1),
                     DWORD(sizeof(OSVERSIONINFOW))}) {
    SCOPED_TRACE(size);
    OSVERSIONINFOA info;
    std::memset(&info, 0xEF, sizeof info);
    info.dwOSVersionInfoSize = size;
    SetLastError(kPoison);
    EXPECT_FALSE(GetVersionExA(&info));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(info.dwMajorVersion, 0xEFEFEFEFu);
  }
}

// The directory calls: length without the terminator when it fits, else the size needed with it.
TEST_F(SystemFactsTest, DirectoriesWithTheTwoPassProtocol) {
  struct Case {
    const char* what;
    UINT (*ansi)(LPSTR, UINT);
    UINT (*wide)(LPWSTR, UINT);
    std::string expected;
  } cases[] = {
      {"system", [](LPSTR b, UINT n) { return GetSystemDirectoryA(b, n); },
       [](LPWSTR b, UINT n) { return GetSystemDirectoryW(b, n); }, "C:\\WINDOWS\\system32"},
      {"windows", [](LPSTR b, UINT n) { return GetWindowsDirectoryA(b, n); },
       [](LPWSTR b, UINT n) { return GetWindowsDirectoryW(b, n); }, "C:\\WINDOWS"},
  };
  for (const auto& c : cases) {
    const UINT n = static_cast<UINT>(c.expected.size());
    EXPECT_EQ(c.ansi(nullptr, 0), n + 1);
    for (UINT size : {n - 1, n, n + 1, n + 2}) {
      SCOPED_TRACE(testing::Message() << c.what << " in " << size);
      char ansi[64];
      std::memset(ansi, '#', sizeof ansi);
      char16_t wide[64];
      std::fill(std::begin(wide), std::end(wide), u'#');
      bool fits = size >= n + 1;
      EXPECT_EQ(c.ansi(ansi, size), fits ? n : n + 1);
      EXPECT_EQ(c.wide(wide, size), fits ? n : n + 1);
      if (fits) {
        EXPECT_EQ(std::string(ansi), c.expected);
        EXPECT_EQ(std::u16string(wide), std::u16string(c.expected.begin(), c.expected.end()));
      } else {
        EXPECT_EQ(ansi[0], '#');
        EXPECT_EQ(wide[0], u'#');
      }
    }
  }
}

TEST_F(SystemFactsTest, LanguageAndCodePageFollowTheMachine) {
  EXPECT_EQ(GetSystemDefaultLangID(), 0x0409);
  EXPECT_EQ(GetUserDefaultLangID(), 0x0409);
  EXPECT_EQ(GetACP(), 1252u);
  platform::SetMachineLanguage(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL), 950);
  EXPECT_EQ(GetSystemDefaultLangID(), 0x0404);
  EXPECT_EQ(PRIMARYLANGID(GetSystemDefaultLangID()), LANG_CHINESE);
  EXPECT_EQ(GetACP(), 950u);
}

TEST_F(SystemFactsTest, StringLengths) {
  EXPECT_EQ(lstrlenA(nullptr), 0);
  EXPECT_EQ(lstrlenW(nullptr), 0);
  EXPECT_EQ(lstrlenA(""), 0);
  EXPECT_EQ(lstrlenA("Dova.ini"), 8);
  EXPECT_EQ(lstrlenW(u"中文"), 2);
}

TEST_F(SystemFactsTest, LocalAndGlobalMemory) {
  struct Case {
    HLOCAL (*alloc)(UINT, SIZE_T);
    HLOCAL (*release)(HLOCAL);
    UINT zeroFlag;
  } cases[] = {
      {[](UINT f, SIZE_T n) { return LocalAlloc(f, n); }, [](HLOCAL h) { return LocalFree(h); }, LPTR},
      {[](UINT f, SIZE_T n) { return GlobalAlloc(f, n); }, [](HLOCAL h) { return GlobalFree(h); }, GPTR},
  };
  for (const auto& c : cases) {
    auto* block = static_cast<unsigned char*>(c.alloc(c.zeroFlag, 4096));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 4096; ++i) ASSERT_EQ(block[i], 0) << i;
    EXPECT_EQ(c.release(block), nullptr);
    HLOCAL empty = c.alloc(LMEM_FIXED, 0);
    EXPECT_NE(empty, nullptr);
    EXPECT_EQ(c.release(empty), nullptr);
    EXPECT_EQ(c.release(nullptr), nullptr);
    // Freeing what was not allocated here (or twice) is refused, not a crash.
    int local = 0;
    SetLastError(kPoison);
    EXPECT_EQ(c.release(&local), &local);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(kPoison);
    EXPECT_EQ(c.release(empty), empty);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    // Moveable memory would need LocalLock, which the system never calls.
    SetLastError(kPoison);
    EXPECT_EQ(c.alloc(0x0002, 16), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_CALL_NOT_IMPLEMENTED);
  }
}

}  // namespace
