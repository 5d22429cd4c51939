// The message catalog, loaded from a translation file on the machine's printer driver directory.
#include "MachineFixture.h"

#include "status/MessageCatalog.h"

#include <fstream>
#include <ostream>

namespace dovamon::test {
namespace {

constexpr LANGID kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr LANGID kGerman = MAKELANGID(LANG_GERMAN, SUBLANG_DEFAULT);

const std::u16string kOutOfPaper =
    u"Out of paper!\nPlease load paper in the paper cassette or insert paper in manual paper feeding slot!";
const std::string kOutOfPaperKey =
    R"(Out of paper!\nPlease load paper in the paper cassette or insert paper in manual paper feeding slot!)";

class Catalog : public FreshMachine {
 protected:
  void WriteFile(const std::string& bytes) {
    std::ofstream(TranslationFolder() / "Dova.ini", std::ios::binary) << bytes;
  }
  void Load(LANGID language = kEnglish, UINT codePage = 1252) {
    platform::SetMachineLanguage(language, codePage);
    catalog_.Load();
  }
  MessageCatalog catalog_;
};

// Lookups against one file: what each English text comes back as.
struct Lookup {
  std::u16string text;
  std::u16string shown;
};

struct FileCase {
  const char* name;
  std::string file;
  LANGID language;
  std::vector<Lookup> lookups;
};

// Named by the case, so that test listings read as the file they try.
void PrintTo(const FileCase& c, std::ostream* out) { *out << c.name; }

class CatalogFiles : public Catalog, public ::testing::WithParamInterface<FileCase> {};

TEST_P(CatalogFiles, ShowTheTranslationOrTheEnglishText) {
  const FileCase& c = GetParam();
  WriteFile(c.file);
  Load(c.language);
  for (const Lookup& lookup : c.lookups)
    EXPECT_EQ(catalog_.Translate(lookup.text), lookup.shown)
        << std::string(lookup.text.begin(), lookup.text.end());
}

INSTANTIATE_TEST_SUITE_P(
    Files, CatalogFiles,
    ::testing::Values(
        FileCase{"SectionEntry",
                 "[Other]\r\nx=\"Error\"=\"Wrong\"\r\n[LANGUAGE_MONITOR]\r\nTitle=\"Warning\"=\"Achtung\" trailing\r\n",
                 kEnglish,
                 {{u"Warning", u"Achtung"},
                  {u"Error", u"Error"},  // outside the section
                  {u"warning", u"warning"},
                  {u"Warning ", u"Warning "},
                  {u"", u""}}},
        FileCase{"FirstOfTwoEqualKeysWins",
                 "[LANGUAGE_MONITOR]\r\na=\"Notice\"=\"Hinweis\"\r\nb=\"Notice\"=\"Notiz\"\r\n",
                 kEnglish,
                 {{u"Notice", u"Hinweis"}}},
        FileCase{"LinesWithFewerThanFourQuotesAreSkipped",
                 "[LANGUAGE_MONITOR]\r\na=\"Error\"=\"Fehler\r\nb=\"Notice\"=\"Hinweis\"\r\n",
                 kGerman,
                 {{u"Error", u"Error"}, {u"Notice", u"Hinweis"}}},
        FileCase{"BackslashNInKeysAndTranslations",
                 "[LANGUAGE_MONITOR]\r\np=\"" + kOutOfPaperKey + "\"=\"Kein Papier!\\nBitte einlegen.\"\r\n",
                 kEnglish,
                 {{kOutOfPaper, u"Kein Papier!\nBitte einlegen."}}},
        // Without the section, the whole file is read, every line a possible entry, but only where the
        // system does not speak English.
        FileCase{"WholeFileOnEnglishSystem",
                 "[Strings]\r\nTitle=\"Warning\"=\"Achtung\"\r\n",
                 kEnglish,
                 {{u"Warning", u"Warning"}}},
        FileCase{"WholeFileOnGermanSystem",
                 "\"Error\"=\"Fehler\" [Header]\r\n[Strings]\r\nTitle=\"Warning\"=\"Achtung\"\r\n",
                 kGerman,
                 {{u"Warning", u"Achtung"}, {u"Error", u"Fehler"}}},
        FileCase{"WholeFileInTheAnsiCodePage",
                 "\"Notice\"=\"\xE4hnlich\"\r\n",
                 kGerman,
                 {{u"Notice", u"\u00e4hnlich"}}},
        // The section text ends with a line break, so its last line counts even without one in the
        // file; a whole-file read does not parse text after the last line break.
        FileCase{"SectionLastLineWithoutLineBreak",
                 "[LANGUAGE_MONITOR]\r\nTitle=\"Warning\"=\"Achtung\"",
                 kEnglish,
                 {{u"Warning", u"Achtung"}}},
        FileCase{"WholeFileLastLineWithoutLineBreak",
                 "\"Error\"=\"Fehler\"\r\n\"Warning\"=\"Achtung\"",
                 kGerman,
                 {{u"Error", u"Fehler"}, {u"Warning", u"Warning"}}},
        FileCase{"WholeFileWithoutAnyLineBreak", "\"Warning\"=\"Achtung\"", kGerman, {{u"Warning", u"Warning"}}},
        FileCase{"NoEntries", "[LANGUAGE_MONITOR]\r\njust text\r\n", kGerman, {{u"Warning", u"Warning"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Catalog, WithoutAFileEveryTextPassesThrough) {
  Load(kGerman);
  EXPECT_TRUE(catalog_.passThrough());
  EXPECT_EQ(catalog_.Translate(u"Warning"), u"Warning");
  // Backslash-n pairs in a text become line breaks on the way out, translated or not.
  EXPECT_EQ(catalog_.Translate(u"a\\nb"), u"a\nb");
  EXPECT_EQ(TranslateText(nullptr, u"Warning"), u"Warning");
}

// 401 entries, no key length with more than 20 of them: the first 400 are found, the 401st is not.
TEST_F(Catalog, FourHundredEntriesAreKept) {
  std::string file;
  auto key = [](int i) { return "k" + std::to_string(i) + std::string(static_cast<size_t>(i / 20), '.'); };
  for (int i = 0; i <= 400; ++i) file += "\"" + key(i) + "\"=\"v" + std::to_string(i) + "\"\r\n";
  WriteFile(file);
  Load(kGerman);
  EXPECT_EQ(catalog_.entryCount(), 400);
  for (int i = 0; i < 400; ++i) {
    const std::string k = key(i);
    const std::string v = "v" + std::to_string(i);
    ASSERT_EQ(catalog_.Translate(std::u16string(k.begin(), k.end())), std::u16string(v.begin(), v.end())) << k;
  }
  const std::string last = key(400);
  EXPECT_EQ(catalog_.Translate(std::u16string(last.begin(), last.end())), std::u16string(last.begin(), last.end()));
}

// Each key length has thirty slots: a 31st key of the same length is stored but never found.
TEST_F(Catalog, ThirtyKeysPerLength) {
  std::string file = "[LANGUAGE_MONITOR]\r\n";
  for (int i = 0; i < 31; ++i) file += "\"key" + std::to_string(10 + i) + "\"=\"t" + std::to_string(i) + "\"\r\n";
  WriteFile(file);
  Load();
  EXPECT_EQ(catalog_.entryCount(), 31);
  EXPECT_EQ(catalog_.Translate(u"key10"), u"t0");
  EXPECT_EQ(catalog_.Translate(u"key39"), u"t29");
  EXPECT_EQ(catalog_.Translate(u"key40"), u"key40");
}

TEST_F(Catalog, KeysOfFourHundredCharactersAreNeverFound) {
  const std::string longKey(400, 'x');
  const std::string shorter(399, 'x');
  WriteFile("\"" + longKey + "\"=\"long\"\r\n\"" + shorter + "\"=\"shorter\"\r\n");
  Load(kGerman);
  EXPECT_EQ(catalog_.Translate(std::u16string(400, u'x')), std::u16string(400, u'x'));
  EXPECT_EQ(catalog_.Translate(std::u16string(399, u'x')), u"shorter");
}

}  // namespace
}  // namespace dovamon::test
