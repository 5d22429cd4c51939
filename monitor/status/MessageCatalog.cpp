#include "status/MessageCatalog.h"

#include "entry/MonitorState.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

namespace dovamon {

namespace {

constexpr WCHAR kLineBreak = u'\n';
constexpr std::u16string_view kEscapedBreak = u"\\n";
constexpr DWORD kDriverDirectoryBytes = 260;
// A translation file holds at most 400 short entries; anything far beyond that is not one, and is
// not worth holding in memory.
constexpr DWORD kMaxWholeFileBytes = 1 << 20;

std::u16string Replace(std::u16string_view text, std::u16string_view from, std::u16string_view to) {
  std::u16string result;
  result.reserve(text.size());
  size_t start = 0;
  for (size_t at = text.find(from); at != std::u16string_view::npos; at = text.find(from, start)) {
    result.append(text.substr(start, at - start)).append(to);
    start = at + from.size();
  }
  result.append(text.substr(start));
  return result;
}

// <printer driver directory>\2\Dova.ini, or empty when the directory is not known.
std::u16string TranslationFilePath() {
  WCHAR directory[kDriverDirectoryBytes / sizeof(WCHAR)] = {};
  DWORD needed = 0;
  if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(directory), sizeof directory,
                                  &needed))
    return {};
  directory[std::size(directory) - 1] = 0;
  if (!directory[0]) return {};
  return std::u16string(directory) + u"\\2\\Dova.ini";
}

}  // namespace

MessageCatalog::MessageCatalog() = default;

void MessageCatalog::Load() {
  for (auto& slots : index_) slots.fill(0);
  iniPath_ = TranslationFilePath();
  if (iniPath_.empty()) {
    passThrough_ = 1;
    return;
  }

  std::unique_ptr<WCHAR[]> section(new (std::nothrow) WCHAR[kSectionChars]());
  if (!section) {
    passThrough_ = 1;
    return;
  }
  // A section longer than the buffer is cut where the buffer ends.
  const DWORD n = std::min(
      GetPrivateProfileSectionW(u"LANGUAGE_MONITOR", section.get(), kSectionChars, iniPath_.c_str()),
      kSectionChars - 1);
  if (n == 0) {
    LoadWholeFile();
    return;
  }
  passThrough_ = 0;
  // The section comes as zero-terminated lines; with each terminator turned into a line break, the
  // last line ends with one too.
  std::replace(section.get(), section.get() + n + 1, WCHAR{0}, kLineBreak);
  Parse(std::u16string(section.get(), n + 1));
}

// A file without the section is read as a whole, each of its lines a possible entry, in the system's
// ANSI code page. Such files carry translations for the language of the system they were installed
// on, so an English system does not use them.
void MessageCatalog::LoadWholeFile() {
  HANDLE file = CreateFileW(iniPath_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    passThrough_ = 1;
    return;
  }
  const DWORD size = std::min(GetFileSize(file, nullptr), kMaxWholeFileBytes);
  std::vector<char> bytes;
  DWORD read = 0;
  if (size != INVALID_FILE_SIZE && size > 0) {
    bytes.resize(size);
    if (!ReadFile(file, bytes.data(), size, &read, nullptr)) read = 0;
  }
  CloseHandle(file);
  bytes.resize(std::min<size_t>(read, bytes.size()));
  bytes.erase(std::find(bytes.begin(), bytes.end(), '\0'), bytes.end());

  std::u16string text;
  if (!bytes.empty()) {
    const int chars = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (chars > 0) {
      text.resize(static_cast<size_t>(chars));
      const int written = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()),
                                              text.data(), chars);
      text.resize(static_cast<size_t>(std::max(written, 0)));
    }
  }
  passThrough_ = PRIMARYLANGID(GetSystemDefaultLangID()) == LANG_ENGLISH ? 1 : 0;
  Parse(std::move(text));
}

void MessageCatalog::Parse(std::u16string text) {
  text_ = std::move(text);
  const std::u16string_view all(text_);
  if (all.find(kLineBreak) == std::u16string_view::npos) {
    passThrough_ = 1;
    text_.clear();
    return;
  }
  // Text after the last line break is not a line.
  for (size_t start = 0, end; (end = all.find(kLineBreak, start)) != std::u16string_view::npos; start = end + 1) {
    const std::u16string_view line = all.substr(start, end - start);
    size_t quote[4];
    size_t from = 0;
    int found = 0;
    for (; found < 4; ++found) {
      const size_t at = line.find(u'"', from);
      if (at == std::u16string_view::npos) break;
      quote[found] = at;
      from = at + 1;
    }
    if (found < 4 || entryCount_ >= kMaxEntries) continue;

    const int k = ++entryCount_;
    keys_[k] = line.substr(quote[0] + 1, quote[1] - quote[0] - 1);
    values_[k] = line.substr(quote[2] + 1, quote[3] - quote[2] - 1);
    if (keys_[k].size() >= kMaxKeyLength) continue;
    auto& slots = index_[keys_[k].size()];
    const auto free = std::find(slots.begin(), slots.end(), 0);
    if (free != slots.end()) *free = static_cast<WORD>(k);
  }
  if (entryCount_ == 0) passThrough_ = 1;
  text_.clear();
}

std::u16string MessageCatalog::Translate(std::u16string_view text) const {
  std::u16string_view result = text;
  std::u16string key;
  if (!passThrough_ && !text.empty()) {
    key = Replace(text, std::u16string_view(&kLineBreak, 1), kEscapedBreak);
    if (key.size() < kMaxKeyLength) {
      for (WORD entry : index_[key.size()]) {
        if (entry == 0) break;
        if (keys_[entry] == key) {
          result = values_[entry];
          break;
        }
      }
    }
  }
  return Replace(result, kEscapedBreak, std::u16string_view(&kLineBreak, 1));
}

std::u16string MessageCatalog::LoadText(UINT id) const {
  WCHAR buffer[1024] = {};
  const int length = LoadStringW(monitorModule, id, buffer, static_cast<int>(std::size(buffer)));
  if (length <= 0) return Translate(std::u16string_view());
  return Translate(std::u16string_view(buffer, std::min<size_t>(static_cast<size_t>(length), std::size(buffer) - 1)));
}

std::u16string TranslateText(const MessageCatalog* catalog, std::u16string_view text) {
  return catalog ? catalog->Translate(text) : std::u16string(text);
}

}  // namespace dovamon
