// Translations of the monitor's user texts. Every text is written in English (string table or code)
// and passes through Translate just before it is shown; the translation file is keyed by the English
// text itself, so one file serves both. One catalog lives per document.
//
// Translation file: <printer driver directory>\2\Dova.ini. Its section "LANGUAGE_MONITOR" holds one
// entry per line: the text between the first and second double quote is the key, the text between
// the third and fourth the translation; the rest of the line is ignored. Line breaks are written as
// backslash-n in both.
#pragma once

#include <windows.h>

#include <array>
#include <string>
#include <string_view>

namespace dovamon {

class MessageCatalog {
 public:
  static constexpr int kMaxEntries = 400;
  static constexpr int kMaxKeyLength = 400;  // in UTF-16 code units, exclusive
  static constexpr int kSlotsPerLength = 30;
  static constexpr DWORD kSectionChars = 10000;

  MessageCatalog();
  MessageCatalog(const MessageCatalog&) = delete;
  MessageCatalog& operator=(const MessageCatalog&) = delete;

  // Finds and reads the translation file; without one the catalog passes every text through.
  void Load();

  std::u16string Translate(std::u16string_view text) const;
  // The string-table text with this id (empty when there is none), translated.
  std::u16string LoadText(UINT id) const;

  bool passThrough() const { return passThrough_ != 0; }
  int entryCount() const { return entryCount_; }

 private:
  void LoadWholeFile();
  // Parses catalog text: the lines of the section, or of a whole file.
  void Parse(std::u16string text);

  std::u16string iniPath_;
  DWORD passThrough_ = 1;
  int entryCount_ = 0;
  std::u16string text_;
  std::array<std::u16string, kMaxEntries + 1> keys_;  // entry numbers run 1 to 400
  std::array<std::u16string, kMaxEntries + 1> values_;
  // Per key length, the numbers of the entries with a key that long, in the order parsed; 0 is free.
  std::array<std::array<WORD, kSlotsPerLength>, kMaxKeyLength> index_{};
};

// Where a text goes through the document's catalog, if there is one.
std::u16string TranslateText(const MessageCatalog* catalog, std::u16string_view text);

}  // namespace dovamon
