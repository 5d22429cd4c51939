#include "kernel/text.h"
#include "machine/fresh_machine.h"

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using orvella_test::FreshMachine;
using orvella_test::kPoison;

// A translation file as a printer package carries it, with the odd corners Windows' reader has.
constexpr char kCatalog[] =
    "stray=before any section\r\n"
    "[LANGUAGE_MONITOR]\r\n"
    "\"Warning\"=\"Avertissement\"\r\n"
    "  Key One  =   value with blanks \t \r\n"
    "quoted=\"  inside  \"\r\n"
    "single='x'\r\n"
    "mixed=\"x'\r\n"
    ";comment=skip\r\n"
    "   ; indented comment\r\n"
    "nokey\r\n"
    "  [ Second ]trailing text\n"
    "k=v\n"
    "[empty]\r"
    "[second]\n"
    "k=dup\n"
    "last=no line break";

class ProfileTest : public FreshMachine {
 protected:
  void SetUp() override {
    FreshMachine::SetUp();
    PutFile(u"C:\\WINDOWS\\catalog.ini", kCatalog);
  }
};

// A literal with the zeros inside it (without the literal's own terminator).
template <size_t N>
std::u16string WithZeros(const char16_t (&literal)[N]) {
  return std::u16string(literal, N - 1);
}

// A list answer as a string with its zeros, up to the return count plus the final zero.
std::u16string Listed(const char16_t* buffer, DWORD count) { return std::u16string(buffer, count + 1); }

TEST_F(ProfileTest, SingleValues) {
  struct Case {
    const char16_t* section;
    const char16_t* key;
    const char16_t* fallback;
    const char16_t* expected;
    DWORD error;
  } cases[] = {
      {u"language_monitor", u"KEY ONE", u"d", u"value with blanks", ERROR_SUCCESS},
      {u"LANGUAGE_MONITOR", u"\"Warning\"", u"d", u"Avertissement", ERROR_SUCCESS},
      {u"LANGUAGE_MONITOR", u"Warning", u"d", u"d", ERROR_FILE_NOT_FOUND},
      {u"LANGUAGE_MONITOR", u"quoted", u"d", u"  inside  ", ERROR_SUCCESS},
      {u"LANGUAGE_MONITOR", u"single", u"d", u"x", ERROR_SUCCESS},
      {u"LANGUAGE_MONITOR", u"mixed", u"d", u"\"x'", ERROR_SUCCESS},
      {u"LANGUAGE_MONITOR", u";comment", u"d", u"d", ERROR_FILE_NOT_FOUND},
      {u"LANGUAGE_MONITOR", u"nokey", u"d", u"", ERROR_SUCCESS},
      {u"LANGUAGE_MONITOR", u"stray", u"d", u"d", ERROR_FILE_NOT_FOUND},
      {u"second", u"k", u"d", u"v", ERROR_SUCCESS},        // the first of two sections wins
      {u"  Second ", u" K  ", u"d", u"v", ERROR_SUCCESS},  // spaces around names given do not count
      {u"second", u"last", u"d", u"d", ERROR_FILE_NOT_FOUND},  // a repeated section is not read
      {u"missing", u"k", u"  dflt \t  ", u"  dflt \t", ERROR_FILE_NOT_FOUND},  // trailing spaces only
      {u"empty", u"k", nullptr, u"", ERROR_FILE_NOT_FOUND},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::text::ToUtf8(c.section) + "/" + platform::text::ToUtf8(c.key));
    char16_t buffer[64];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    SetLastError(kPoison);
    DWORD n = GetPrivateProfileStringW(c.section, c.key, c.fallback, buffer, 64, u"catalog.ini");
    EXPECT_EQ(std::u16string(buffer), c.expected);
    EXPECT_EQ(n, std::u16string_view(c.expected).size());
    EXPECT_EQ(GetLastError(), c.error);
  }
}

TEST_F(ProfileTest, SingleValueBufferSizes) {
  const std::u16string value = u"value with blanks";
  const DWORD n = static_cast<DWORD>(value.size());
  struct Probe {
    DWORD size;
    DWORD result;
    DWORD error;
  } probes[] = {{n - 1, n - 2, ERROR_MORE_DATA}, {n, n - 1, ERROR_MORE_DATA}, {n + 1, n, ERROR_SUCCESS},
                {n + 2, n, ERROR_SUCCESS},       {1, 0, ERROR_MORE_DATA}};
  for (const auto& p : probes) {
    SCOPED_TRACE(p.size);
    char16_t buffer[64];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    SetLastError(kPoison);
    EXPECT_EQ(GetPrivateProfileStringW(u"LANGUAGE_MONITOR", u"key one", u"", buffer, p.size, u"catalog.ini"), p.result);
    EXPECT_EQ(GetLastError(), p.error);
    EXPECT_EQ(std::u16string(buffer), value.substr(0, p.result));
    EXPECT_EQ(buffer[p.size], u'#');  // nothing written past the buffer
  }
  char16_t untouched[4] = {u'#', u'#', u'#', u'#'};
  EXPECT_EQ(GetPrivateProfileStringW(u"LANGUAGE_MONITOR", u"key one", u"", untouched, 0, u"catalog.ini"), 0u);
  EXPECT_EQ(untouched[0], u'#');
}

TEST_F(ProfileTest, SectionAndKeyListsWithTheirBufferSizes) {
  const std::u16string sections = WithZeros(u"LANGUAGE_MONITOR\0Second\0empty\0second\0\0");
  const std::u16string keys = WithZeros(u"\"Warning\"\0Key One\0quoted\0single\0mixed\0nokey\0\0");
  const std::u16string entries = WithZeros(
      u"\"Warning\"=\"Avertissement\"\0Key One=value with blanks\0quoted=\"  inside  \"\0single='x'\0"
      u"mixed=\"x'\0nokey\0\0");
  struct Case {
    const char* what;
    std::u16string full;
    DWORD (*call)(char16_t* buffer, DWORD size);
  } cases[] = {
      {"sections", sections,
       [](char16_t* b, DWORD s) { return GetPrivateProfileStringW(nullptr, u"k", u"d", b, s, u"catalog.ini"); }},
      {"keys", keys,
       [](char16_t* b, DWORD s) { return GetPrivateProfileStringW(u"Language_Monitor", nullptr, u"d", b, s, u"catalog.ini"); }},
      {"entries", entries,
       [](char16_t* b, DWORD s) { return GetPrivateProfileSectionW(u"language_monitor", b, s, u"catalog.ini"); }},
  };
  for (const auto& c : cases) {
    const DWORD n = static_cast<DWORD>(c.full.size() - 1);  // the count leaves out the final zero
    for (DWORD size : {n - 1, n, n + 1, n + 2}) {
      SCOPED_TRACE(testing::Message() << c.what << " in " << size);
      std::vector<char16_t> buffer(size + 4, u'#');
      DWORD result = c.call(buffer.data(), size);
      if (size >= n + 1) {
        EXPECT_EQ(result, n);
        EXPECT_EQ(Listed(buffer.data(), result), c.full);
      } else {
        // Cut: as much as fits, then two zeros; the count is size - 2.
        EXPECT_EQ(result, size - 2);
        EXPECT_EQ(std::u16string(buffer.data(), size - 2), c.full.substr(0, size - 2));
        EXPECT_EQ(buffer[size - 2], u'\0');
        EXPECT_EQ(buffer[size - 1], u'\0');
      }
      EXPECT_EQ(buffer[size], u'#');
    }
  }
  // Tiny buffers give nothing but a zero.
  char16_t tiny[2] = {u'#', u'#'};
  EXPECT_EQ(GetPrivateProfileSectionW(u"LANGUAGE_MONITOR", tiny, 1, u"catalog.ini"), 0u);
  EXPECT_EQ(tiny[0], u'\0');
  EXPECT_EQ(tiny[1], u'#');
}

TEST_F(ProfileTest, MissingSectionsAndFilesGiveTheDefaultAndEmptyLists) {
  struct Case {
    const char16_t* section;
    const char16_t* file;
    DWORD error;
  } cases[] = {
      {u"nothing", u"catalog.ini", ERROR_FILE_NOT_FOUND},
      {u"LANGUAGE_MONITOR", u"absent.ini", ERROR_FILE_NOT_FOUND},
      {u"LANGUAGE_MONITOR", u"C:\\no\\folder.ini", ERROR_FILE_NOT_FOUND},
      {u"LANGUAGE_MONITOR", u"C:\\WINDOWS\\system32", ERROR_ACCESS_DENIED},
      {u"LANGUAGE_MONITOR", u"C:\\bad*name.ini", ERROR_INVALID_NAME},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::text::ToUtf8(c.file));
    char16_t buffer[16];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    SetLastError(kPoison);
    EXPECT_EQ(GetPrivateProfileStringW(c.section, u"key one", u"fallback", buffer, 16, c.file), 8u);
    EXPECT_EQ(std::u16string(buffer), u"fallback");
    EXPECT_EQ(GetLastError(), c.error);

    std::fill(std::begin(buffer), std::end(buffer), u'#');
    SetLastError(kPoison);
    EXPECT_EQ(GetPrivateProfileSectionW(c.section, buffer, 16, c.file), 0u);
    EXPECT_EQ(buffer[0], u'\0');
    EXPECT_EQ(buffer[1], u'\0');
    EXPECT_EQ(GetLastError(), c.error);

    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(GetPrivateProfileStringW(c.section, nullptr, u"fallback", buffer, 16, c.file), 0u);
    EXPECT_EQ(buffer[0], u'\0');
    EXPECT_EQ(buffer[1], u'\0');
  }
}

// The message catalog reads a section of many lines, each a pair of quoted texts.
TEST_F(ProfileTest, SectionLinesKeepTheirQuotesAndEndWithTheLastLine) {
  PutFile(u"C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\2\\Dova.ini",
          "[LANGUAGE_MONITOR]\n"
          "1=\"Out of paper!\\nPlease load paper\"=\"Plus de papier !\\nChargez du papier\"\n"
          "\"Warning\"  =  \"Attention\"");
  char16_t buffer[256];
  DWORD n = GetPrivateProfileSectionW(u"LANGUAGE_MONITOR", buffer, 256,
                                      u"C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\2\\Dova.ini");
  const std::u16string expected = WithZeros(
      u"1=\"Out of paper!\\nPlease load paper\"=\"Plus de papier !\\nChargez du papier\"\0"
      u"\"Warning\"=\"Attention\"\0\0");
  EXPECT_EQ(n, expected.size() - 1);
  EXPECT_EQ(Listed(buffer, n), expected);
}

TEST_F(ProfileTest, EncodingsOfTheFile) {
  // UTF-16LE with its mark: "[s]\r\nk=中文\r\n"
  std::string utf16("\xFF\xFE", 2);
  for (char16_t c : std::u16string(u"[s]\r\nk=中文\r\n")) {
    utf16.push_back(static_cast<char>(c & 0xFF));
    utf16.push_back(static_cast<char>(c >> 8));
  }
  PutFile(u"C:\\WINDOWS\\utf16.ini", utf16);
  PutFile(u"C:\\WINDOWS\\utf8.ini", "\xEF\xBB\xBF[s]\nk=\xE4\xB8\xAD\xE6\x96\x87\n");
  PutFile(u"C:\\WINDOWS\\western.ini", "[s]\nk=caf\xE9\n");
  PutFile(u"C:\\WINDOWS\\big5.ini", "[s]\nk=\xA4\xA4\xA4\xE5\n");

  struct Case {
    const char16_t* file;
    const char16_t* wide;
    const char* ansi;  // the same value read through the A function
  } western[] = {
      {u"utf16.ini", u"中文", "??"},
      {u"utf8.ini", u"中文", "??"},
      {u"western.ini", u"café", "caf\xE9"},
  };
  auto check = [](const Case& c) {
    SCOPED_TRACE(platform::text::ToUtf8(c.file));
    char16_t wide[16];
    EXPECT_EQ(GetPrivateProfileStringW(u"s", u"k", u"", wide, 16, c.file), std::u16string_view(c.wide).size());
    EXPECT_EQ(std::u16string(wide), c.wide);
    char ansi[16];
    std::string file = platform::text::ToUtf8(c.file);
    EXPECT_EQ(GetPrivateProfileStringA("s", "k", "", ansi, 16, file.c_str()), std::strlen(c.ansi));
    EXPECT_STREQ(ansi, c.ansi);
  };
  for (const auto& c : western) check(c);

  platform::SetMachineLanguage(0x0404, 950);
  Case chinese[] = {
      {u"utf16.ini", u"中文", "\xA4\xA4\xA4\xE5"},
      {u"big5.ini", u"中文", "\xA4\xA4\xA4\xE5"},
  };
  for (const auto& c : chinese) check(c);
}

TEST_F(ProfileTest, WhereFileNamesLand) {
  PutFile(u"C:\\pkg\\setup.ini", "[s]\nk=package\n");
  PutFile(u"C:\\WINDOWS\\setup.ini", "[s]\nk=windows\n");
  ASSERT_TRUE(SetCurrentDirectoryW(u"C:\\pkg"));
  struct Case {
    const char16_t* file;
    const char16_t* value;
  } cases[] = {
      {u"setup.ini", u"windows"},  // a bare name is looked up in the Windows directory
      {u".\\setup.ini", u"package"},
      {u"C:\\PKG\\SETUP.INI", u"package"},
      {u"..\\windows\\setup.ini", u"windows"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::text::ToUtf8(c.file));
    char16_t buffer[16];
    GetPrivateProfileStringW(u"s", u"k", u"", buffer, 16, c.file);
    EXPECT_EQ(std::u16string(buffer), c.value);
  }
}

// Whatever a file holds, the reader answers within the buffer and never hangs.
TEST_F(ProfileTest, GarbageFilesAreReadSafely) {
  std::mt19937 random(20261211);
  std::vector<std::string> files = {
      "", "[", "[]", "=", "[s", "[s]\n=", std::string(1 << 20, 'x'), "[s]\nk=" + std::string(1 << 20, 'v'),
      std::string("[s]\nk=a\0b\n", 10), "\xFF\xFE", "\xFF\xFE[", "\xEF\xBB\xBF", std::string(100000, '\n'),
  };
  for (int i = 0; i < 20; ++i) {
    std::string bytes(1 + random() % 5000, '\0');
    for (auto& b : bytes) b = static_cast<char>("[]=;\r\n \"'ks"[random() % 12] ^ ((random() % 8 == 0) ? random() : 0));
    files.push_back(bytes);
  }
  for (size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(i);
    PutFile(u"C:\\WINDOWS\\garbage.ini", files[i]);
    std::vector<char16_t> buffer(64 + 2, u'#');
    DWORD n = GetPrivateProfileStringW(u"s", u"k", u"", buffer.data(), 64, u"garbage.ini");
    EXPECT_LE(n, 63u);
    n = GetPrivateProfileSectionW(u"s", buffer.data(), 64, u"garbage.ini");
    EXPECT_LE(n, 62u);
    n = GetPrivateProfileStringW(nullptr, nullptr, u"", buffer.data(), 64, u"garbage.ini");
    EXPECT_LE(n, 62u);
    char ansi[66];
    std::memset(ansi, '#', sizeof ansi);
    n = GetPrivateProfileStringA(nullptr, nullptr, "", ansi, 64, "garbage.ini");
    EXPECT_LE(n, 62u);
    EXPECT_EQ(buffer[64], u'#');
    EXPECT_EQ(ansi[64], '#');
  }
}

}  // namespace
