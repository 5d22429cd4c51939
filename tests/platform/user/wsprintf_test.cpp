#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

struct NumberCase {
  const char* format;
  long value;
  const char* expected;
};

// Every row runs through both wsprintfA and wsprintfW.
constexpr NumberCase kNumberCases[] = {
    {"%d", -42, "-42"},
    {"%i", 2147483647, "2147483647"},
    {"%d", -2147483647 - 1, "-2147483648"},
    {"%u", -1, "4294967295"},
    {"%lu", -1294967296, "3000000000"},
    {"%x", 0xBEEF, "beef"},
    {"%X", 0xBEEF, "BEEF"},
    {"%lX", -559038737, "DEADBEEF"},
    {"%#x", 255, "0xff"},
    {"%5d", 42, "   42"},
    {"%-5d|", 42, "42   |"},
    {"%05d", -42, "-0042"},
    {"%08X", 0x1F, "0000001F"},
    {"%.3d", 7, "007"},
    {"%hd", 65535, "-1"},
    {"%hu", 0x12345, "9029"},
    {"%1d", 123, "123"},  // a width never cuts
    {"100%%", 0, "100%"},
    {"[%c]", 'A', "[A]"},
    {"%-3c|", 'z', "z  |"},
};

std::u16string Widen(const char* ascii) { return std::u16string(ascii, ascii + std::char_traits<char>::length(ascii)); }

TEST(WsprintfTest, NumbersAndCharactersInBothWidths) {
  for (const NumberCase& c : kNumberCases) {
    char narrow[64];
    EXPECT_EQ(wsprintfA(narrow, c.format, c.value), int(strlen(c.expected))) << c.format;
    EXPECT_STREQ(narrow, c.expected) << c.format;
    WCHAR wide[64];
    const std::u16string format = Widen(c.format);
    EXPECT_EQ(wsprintfW(wide, format.c_str(), c.value), int(strlen(c.expected))) << c.format;
    EXPECT_EQ(std::u16string(wide), Widen(c.expected)) << c.format;
  }
}

TEST(WsprintfTest, StringsTakeTheFunctionsOwnWidthUnlessToldOtherwise) {
  WCHAR wide[64];
  EXPECT_EQ(wsprintfW(wide, u"%s %s\n\n%s", u"Port:", u"COM1:", u"Choose"), 19);
  EXPECT_EQ(std::u16string(wide), u"Port: COM1:\n\nChoose");
  wsprintfW(wide, u"%S|%hs|%ls|%C", "caf\xe9", "x", u"\u4e2d", 'q');
  EXPECT_EQ(std::u16string(wide), u"caf\u00e9|x|\u4e2d|q");
  wsprintfW(wide, u"[%5s][%-5s][%.2s]", u"ab", u"ab", u"abcdef");
  EXPECT_EQ(std::u16string(wide), u"[   ab][ab   ][ab]");
  wsprintfW(wide, u"%s", static_cast<LPCWSTR>(nullptr));
  EXPECT_EQ(std::u16string(wide), u"(null)");

  char narrow[64];
  EXPECT_EQ(wsprintfA(narrow, "%s=%S;%c%C", "key", u"\u00e9\u20ac", 'a', u'\u00fc'), 9);
  EXPECT_STREQ(narrow, "key=\xe9\x80;a\xfc");
  wsprintfA(narrow, "%.3s|%ls|%hs", "abcdef", u"w", "n");
  EXPECT_STREQ(narrow, "abc|w|n");
}

TEST(WsprintfTest, OutputStopsAt1024CharactersWithTheTerminator) {
  const std::string longText(2000, 'a');
  std::string narrow(2048, '\x7f');
  EXPECT_EQ(wsprintfA(narrow.data(), "%s", longText.c_str()), 1023);
  EXPECT_EQ(narrow[1022], 'a');
  EXPECT_EQ(narrow[1023], '\0');
  EXPECT_EQ(narrow[1024], '\x7f');

  // A width far beyond the limit fills the output and no more.
  std::u16string wide(2048, u'\x7f');
  EXPECT_EQ(wsprintfW(wide.data(), u"%099999999999d", 5), 1023);
  EXPECT_EQ(wide[1022], u'0');
  EXPECT_EQ(wide[1023], u'\0');
  EXPECT_EQ(wide[1024], u'\x7f');

  // Exactly 1023 characters fit whole.
  const std::string fits(1023, 'b');
  EXPECT_EQ(wsprintfA(narrow.data(), fits.c_str()), 1023);
  EXPECT_EQ(std::string(narrow.c_str()), fits);
}

TEST(WsprintfTest, FormatEndingInsideAConversionStops) {
  char narrow[16];
  EXPECT_EQ(wsprintfA(narrow, "ab%-5"), 2);
  EXPECT_STREQ(narrow, "ab");
}

}  // namespace
