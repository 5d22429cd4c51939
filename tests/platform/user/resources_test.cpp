// FindResourceW, LoadResource, SizeofResource and LoadStringW/A over the resources that the resource
// compiler built into this program (res/strings.rc) and into UserStrings.dll (res/strings_dll.rc).
#include <windows.h>

#include <gtest/gtest.h>
#include <platform/machine.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "res/strings.h"

namespace {

constexpr DWORD kPoison = 0xdeadbeef;

class ResourcesTest : public ::testing::Test {
 protected:
  // The program's machine (test_machine.cpp), speaking US English again after any test that changed it.
  void SetUp() override { platform::SetMachineLanguage(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), 1252); }
  void TearDown() override { SetUp(); }

  static std::u16string Load(UINT id, HINSTANCE instance = nullptr) {
    WCHAR buffer[256];
    const int length = LoadStringW(instance, id, buffer, 256);
    return std::u16string(buffer, length);
  }
};

TEST_F(ResourcesTest, LoadStringReadsTheScriptsStrings) {
  struct Case {
    UINT id;
    std::u16string text;
  } const cases[] = {
      {IDS_PLAIN, u"Warning"},
      {IDS_ESCAPES, u"Tab\there\nQuote \"x\" and \"y\" back\\slash AA end"},
      {IDS_ANSI, u"Caf\u00e9 \u20ac \u00a4"},
      {IDS_SECOND, u"Second part"},
      {IDS_END_OF_BLOCK, u"Euro \u20ac"},
      {IDS_HIGHEST, u"Highest"},
      {IDS_CONDITIONAL, u"second"},
  };
  for (const Case& c : cases) EXPECT_EQ(Load(c.id), c.text) << c.id;
}

TEST_F(ResourcesTest, MissingAndEmptyStringsGiveAnEmptyBuffer) {
  for (UINT id : {UINT(IDS_EMPTY), UINT(0), UINT(6), UINT(IDS_BASE), UINT(5000)}) {
    WCHAR buffer[8] = {u'x', u'x', u'x'};
    EXPECT_EQ(LoadStringW(nullptr, id, buffer, 8), 0) << id;
    EXPECT_EQ(buffer[0], 0) << id;
  }
}

TEST_F(ResourcesTest, LoadStringTruncatesToTheBuffer) {
  const std::u16string text = u"Warning";  // 7 characters
  const int n = int(text.size());
  for (int size : {1, n - 1, n, n + 1, n + 2}) {
    std::vector<WCHAR> buffer(size + 1, u'#');
    const int expected = std::min(n, size - 1);
    EXPECT_EQ(LoadStringW(nullptr, IDS_PLAIN, buffer.data(), size), expected) << size;
    EXPECT_EQ(std::u16string(buffer.data(), expected), text.substr(0, expected));
    EXPECT_EQ(buffer[expected], 0) << size;
    EXPECT_EQ(buffer[size], u'#') << "written beyond the buffer with size " << size;
  }
}

TEST_F(ResourcesTest, ZeroBufferSizeGivesAPointerIntoTheResource) {
  LPCWSTR text = reinterpret_cast<LPCWSTR>(kPoison);
  const std::u16string expected = Load(IDS_ESCAPES);
  EXPECT_EQ(LoadStringW(nullptr, IDS_ESCAPES, reinterpret_cast<LPWSTR>(&text), 0), int(expected.size()));
  EXPECT_EQ(std::u16string(text, expected.size()), expected);
  EXPECT_EQ(std::u16string(text, 8), u"Tab\there");
  // The same memory on every call: the string lives in the module.
  LPCWSTR again = nullptr;
  LoadStringW(nullptr, IDS_ESCAPES, reinterpret_cast<LPWSTR>(&again), 0);
  EXPECT_EQ(again, text);
}

TEST_F(ResourcesTest, LanguageFollowsTheMachine) {
  EXPECT_EQ(Load(IDS_PLAIN), u"Warning");
  platform::SetMachineLanguage(MAKELANGID(LANG_GERMAN, SUBLANG_DEFAULT), 1252);
  EXPECT_EQ(Load(IDS_PLAIN), u"Warnung");
  EXPECT_EQ(Load(IDS_SECOND), u"Second part");  // only in English: the English one
}

TEST_F(ResourcesTest, LoadStringAConvertsToTheCodePageWithoutSplittingCharacters) {
  char buffer[32];
  memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(LoadStringA(nullptr, IDS_ANSI, buffer, sizeof buffer), 8);
  EXPECT_STREQ(buffer, "Caf\xe9 \x80 \xa4");
  EXPECT_EQ(LoadStringA(nullptr, IDS_ANSI, buffer, 5), 4);
  EXPECT_STREQ(buffer, "Caf\xe9");

  // On a Chinese machine the euro sign is two bytes: a buffer that has room for one of them stops
  // before the character instead of cutting it.
  platform::SetMachineLanguage(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL), 950);
  EXPECT_EQ(LoadStringA(nullptr, IDS_END_OF_BLOCK, buffer, 7), 5);
  EXPECT_STREQ(buffer, "Euro ");
  EXPECT_EQ(LoadStringA(nullptr, IDS_END_OF_BLOCK, buffer, 8), 7);
}

TEST_F(ResourcesTest, FindResourceReportsWhatIsMissing) {
  struct Case {
    LPCWSTR name;
    LPCWSTR type;
    DWORD error;
  } const cases[] = {
      {MAKEINTRESOURCEW(IDD_WAIT), MAKEINTRESOURCEW(4), ERROR_RESOURCE_TYPE_NOT_FOUND},  // no menus
      {MAKEINTRESOURCEW(132), RT_DIALOG, ERROR_RESOURCE_NAME_NOT_FOUND},
      {u"OTHER", RT_DIALOG, ERROR_RESOURCE_NAME_NOT_FOUND},
      {u"#99999", RT_DIALOG, ERROR_RESOURCE_NAME_NOT_FOUND},
      {u"#13x", RT_DIALOG, ERROR_RESOURCE_NAME_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SetLastError(kPoison);
    EXPECT_EQ(FindResourceW(nullptr, c.name, c.type), nullptr);
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_NE(FindResourceW(nullptr, u"#131", RT_DIALOG), nullptr);
  EXPECT_NE(FindResourceW(nullptr, u"Named", u"#5"), nullptr);
  EXPECT_EQ(FindResourceW(nullptr, u"#131", RT_DIALOG), FindResourceW(nullptr, MAKEINTRESOURCEW(IDD_WAIT), RT_DIALOG));

  SetLastError(kPoison);
  DWORD notAResource = kPoison;
  EXPECT_EQ(SizeofResource(nullptr, reinterpret_cast<HRSRC>(&notAResource)), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_EQ(LoadResource(nullptr, nullptr), nullptr);
}

// Appends little-endian fields to an expected template.
struct Bytes {
  std::vector<BYTE> bytes;
  Bytes& W(unsigned v) { return bytes.push_back(BYTE(v)), bytes.push_back(BYTE(v >> 8)), *this; }
  Bytes& D(unsigned long v) { return W(v & 0xFFFF).W(v >> 16); }
  Bytes& B(unsigned v) { return bytes.push_back(BYTE(v)), *this; }
  Bytes& S(std::u16string_view s) {
    for (char16_t c : s) W(c);
    return W(0);
  }
  Bytes& Align() {
    while (bytes.size() % 4) bytes.push_back(0);
    return *this;
  }
};

std::vector<BYTE> Resource(LPCWSTR name) {
  HRSRC info = FindResourceW(nullptr, name, RT_DIALOG);
  if (info == nullptr) return {};
  const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, info)));
  return std::vector<BYTE>(data, data + SizeofResource(nullptr, info));
}

TEST_F(ResourcesTest, DialogTemplateIsWindowsBinaryFormat) {
  Bytes expected;
  expected.D(0x90C00AC2).D(0).W(3)                        // style, extended style, 3 items
      .W(0).W(0).W(252).W(117)                            // x, y, cx, cy
      .W(0).W(0).S(u"")                                   // no menu, the dialog class, empty caption
      .W(8).S(u"MS Sans Serif");                          // DS_SETFONT: point size, typeface
  expected.Align().D(0x50800004).D(0).W(8).W(7).W(15).W(97).W(IDC_PROGRESS)
      .S(u"msctls_progress32").S(u"Progress1").W(0);      // class by name, text, no creation data
  expected.Align().D(0x50010000).D(0).W(102).W(93).W(50).W(14).W(IDC_CANCEL)
      .W(0xFFFF).W(0x80).S(u"Cancel").W(0);               // BUTTON atom
  expected.Align().D(0x50020000).D(0).W(33).W(4).W(212).W(86).W(IDC_MESSAGE)
      .W(0xFFFF).W(0x82).S(u"").W(0);                     // STATIC atom
  EXPECT_EQ(Resource(MAKEINTRESOURCEW(IDD_WAIT)), expected.bytes);
}

TEST_F(ResourcesTest, ExtendedDialogTemplateIsWindowsBinaryFormat) {
  Bytes expected;
  expected.W(1).W(0xFFFF).D(77).D(0x8).D(0x80C00040)       // version, signature, help id, ex style, style
      .W(2).W(1).W(2).W(30).W(40)                          // 2 items; x, y, cx, cy
      .W(0).W(0).S(u"Hi")                                  // no menu, dialog class, caption
      .W(9).W(700).B(1).B(0).S(u"Tahoma");                 // point size, weight, italic, charset, face
  expected.Align().D(0).D(0).D(0x50800080).W(1).W(2).W(3).W(4).D(10)  // EDITTEXT without WS_TABSTOP
      .W(0xFFFF).W(0x81).S(u"").W(0);
  expected.Align().D(99).D(0x4).D(0x50010001).W(5).W(6).W(7).W(8).D(1)  // DEFPUSHBUTTON
      .W(0xFFFF).W(0x80).S(u"OK").W(0);
  EXPECT_EQ(Resource(u"named"), expected.bytes);
}

TEST_F(ResourcesTest, LoadStringThroughALoadedModule) {
  HMODULE module = LoadLibraryW(u"UserStrings.dll");
  ASSERT_NE(module, nullptr) << GetLastError();
  EXPECT_EQ(Load(1, module), u"From the DLL");
  EXPECT_EQ(Load(17, module), u"Second block");
  EXPECT_EQ(Load(IDS_PLAIN, module), u"From the DLL") << "the module's table, not the program's";
  SetLastError(kPoison);
  EXPECT_EQ(FindResourceW(module, MAKEINTRESOURCEW(IDD_WAIT), RT_DIALOG), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_TYPE_NOT_FOUND));
  // A resource handle of the program is not one of the module's.
  HRSRC programs = FindResourceW(nullptr, MAKEINTRESOURCEW(IDD_WAIT), RT_DIALOG);
  ASSERT_NE(programs, nullptr);
  EXPECT_EQ(SizeofResource(module, programs), 0u);
  EXPECT_TRUE(FreeLibrary(module));
}

}  // namespace
