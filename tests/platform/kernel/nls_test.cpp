#include "machine/fresh_machine.h"

#include <cstring>
#include <functional>
#include <string>

namespace {

using orvella_test::FreshMachine;
using orvella_test::kPoison;

using CodePageTest = FreshMachine;

struct Conversion {
  UINT codePage;
  std::string bytes;
  std::u16string text;
};

// Pairs that convert exactly both ways.
const Conversion kExact[] = {
    {1252, "caf\xE9 \x80 \x9F", u"café € Ÿ"},
    {1252, "\x81\x8D", u"\u0081\u008D"},  // the holes of 1252 keep their value
    {950, "\xA4\xA4\xA4\xE5 OK", u"中文 OK"},
    {CP_UTF8, "\xE4\xB8\xAD \xF0\x9F\x96\xA8", u"中 \U0001F5A8"},
    {437, "\x82", u"é"},
};

TEST_F(CodePageTest, ExactConversionsBothWaysWithBufferSizes) {
  for (const auto& c : kExact) {
    SCOPED_TRACE(c.codePage);
    const int n = static_cast<int>(c.text.size());
    EXPECT_EQ(MultiByteToWideChar(c.codePage, 0, c.bytes.data(), static_cast<int>(c.bytes.size()), nullptr, 0), n);
    for (int size : {n - 1, n, n + 1}) {
      if (size == 0) continue;  // a size of 0 asks for the size
      char16_t wide[32];
      std::fill(std::begin(wide), std::end(wide), u'#');
      SetLastError(kPoison);
      int result = MultiByteToWideChar(c.codePage, 0, c.bytes.data(), static_cast<int>(c.bytes.size()), wide, size);
      if (size >= n) {
        EXPECT_EQ(result, n);
        EXPECT_EQ(std::u16string(wide, n), c.text);
        EXPECT_EQ(wide[n], u'#');
      } else {
        EXPECT_EQ(result, 0);
        EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
      }
    }
    const int m = static_cast<int>(c.bytes.size());
    EXPECT_EQ(WideCharToMultiByte(c.codePage, 0, c.text.data(), n, nullptr, 0, nullptr, nullptr), m);
    for (int size : {m - 1, m, m + 1}) {
      if (size == 0) continue;
      char bytes[32];
      std::memset(bytes, '#', sizeof bytes);
      SetLastError(kPoison);
      int result = WideCharToMultiByte(c.codePage, 0, c.text.data(), n, bytes, size, nullptr, nullptr);
      if (size >= m) {
        EXPECT_EQ(result, m);
        EXPECT_EQ(std::string(bytes, m), c.bytes);
        EXPECT_EQ(bytes[m], '#');
      } else {
        EXPECT_EQ(result, 0);
        EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
      }
    }
  }
}

TEST_F(CodePageTest, TerminatedInputCountsItsTerminator) {
  char16_t wide[8];
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 8), 4);
  EXPECT_EQ(std::u16string(wide), u"abc");
  char bytes[8];
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", -1, bytes, 8, nullptr, nullptr), 4);
  EXPECT_STREQ(bytes, "abc");
}

TEST_F(CodePageTest, AnsiMeansTheMachineCodePage) {
  char16_t wide[8];
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "\xA4\xA4", 2, wide, 8), 2);
  EXPECT_EQ(std::u16string(wide, 2), u"¤¤");
  platform::SetMachineLanguage(0x0404, 950);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "\xA4\xA4", 2, wide, 8), 1);
  EXPECT_EQ(wide[0], u'中');
}

TEST_F(CodePageTest, CharactersWithoutAMapping) {
  struct Case {
    UINT codePage;
    std::u16string text;
    const char* defaultChar;
    std::string bytes;
  } cases[] = {
      {1252, u"a中b", nullptr, "a?b"},
      {1252, u"a中b", "*", "a*b"},
      {950, u"aéb", nullptr, "a?b"},
      {950, u"a\U0001F5A8b", nullptr, "a?b"},  // a surrogate pair is one character
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.codePage);
    char bytes[16] = {};
    BOOL usedDefault = kPoison;
    int n = WideCharToMultiByte(c.codePage, 0, c.text.data(), static_cast<int>(c.text.size()), bytes, 16,
                                c.defaultChar, &usedDefault);
    EXPECT_EQ(std::string(bytes, n > 0 ? n : 0), c.bytes);
    EXPECT_TRUE(usedDefault);
  }
  BOOL usedDefault = kPoison;
  char bytes[4];
  EXPECT_EQ(WideCharToMultiByte(1252, 0, u"ok", 2, bytes, 4, nullptr, &usedDefault), 2);
  EXPECT_FALSE(usedDefault);

  // Bytes that are no character: '?' (U+FFFD for UTF-8), or a failure when the caller asks for one.
  struct Bad {
    UINT codePage;
    std::string bytes;
    std::u16string text;
  } bad[] = {
      {CP_UTF8, "a\xC0\x80z", u"a\uFFFDz"},
      {CP_UTF8, "a\xED\xA0\x80z", u"a\uFFFDz"},
      {CP_UTF8, "a\xE4\xB8", u"a\uFFFD"},
      {950, "a\xA4", u"a?"},
  };
  for (const auto& c : bad) {
    SCOPED_TRACE(c.codePage);
    char16_t wide[16];
    int n = MultiByteToWideChar(c.codePage, 0, c.bytes.data(), static_cast<int>(c.bytes.size()), wide, 16);
    EXPECT_EQ(std::u16string(wide, n > 0 ? n : 0), c.text);
    SetLastError(kPoison);
    EXPECT_EQ(MultiByteToWideChar(c.codePage, MB_ERR_INVALID_CHARS, c.bytes.data(),
                                  static_cast<int>(c.bytes.size()), wide, 16),
              0);
    EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
  }
}

TEST_F(CodePageTest, InvalidArguments) {
  char16_t wide[4];
  char bytes[4];
  BOOL used;
  struct Case {
    const char* what;
    std::function<int()> call;
    DWORD error;
  } cases[] = {
      {"null input", [&] { return MultiByteToWideChar(1252, 0, nullptr, 3, wide, 4); }, ERROR_INVALID_PARAMETER},
      {"empty input", [&] { return MultiByteToWideChar(1252, 0, "abc", 0, wide, 4); }, ERROR_INVALID_PARAMETER},
      {"negative size", [&] { return MultiByteToWideChar(1252, 0, "abc", -2, wide, 4); }, ERROR_INVALID_PARAMETER},
      {"null output", [&] { return MultiByteToWideChar(1252, 0, "abc", 3, nullptr, 4); }, ERROR_INVALID_PARAMETER},
      {"unknown code page", [&] { return MultiByteToWideChar(12345, 0, "abc", 3, wide, 4); }, ERROR_INVALID_PARAMETER},
      {"flags on UTF-8", [&] { return MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "abc", 3, wide, 4); },
       ERROR_INVALID_FLAGS},
      {"null wide input", [&] { return WideCharToMultiByte(1252, 0, nullptr, 3, bytes, 4, nullptr, nullptr); },
       ERROR_INVALID_PARAMETER},
      {"default char on UTF-8", [&] { return WideCharToMultiByte(CP_UTF8, 0, u"abc", 3, bytes, 4, "?", nullptr); },
       ERROR_INVALID_PARAMETER},
      {"used flag on UTF-8", [&] { return WideCharToMultiByte(CP_UTF8, 0, u"abc", 3, bytes, 4, nullptr, &used); },
       ERROR_INVALID_PARAMETER},
      {"unknown flags", [&] { return WideCharToMultiByte(1252, 0x10000, u"abc", 3, bytes, 4, nullptr, nullptr); },
       ERROR_INVALID_FLAGS},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetLastError(kPoison);
    EXPECT_EQ(c.call(), 0);
    EXPECT_EQ(GetLastError(), c.error);
  }
}

}  // namespace
