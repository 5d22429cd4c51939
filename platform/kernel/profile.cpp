// Reading ini files the way Windows' profile functions do.
//
// The rules, as Windows applies them: text before the first section belongs to no section; a section
// name ends at its first ']' (or at the line's end), blanks around it ignored; a line whose first
// non-blank is ';' is a comment; keys and values lose their leading and trailing blanks (space, tab,
// vertical tab), and a single value read by name also loses one pair of matching outer quotes. Names
// compare without regard to case; the first of duplicate sections and keys wins.
#include "kernel/text.h"
#include "machine/machine.h"

#include <fstream>
#include <string>
#include <vector>

namespace platform::kernel {
namespace {
namespace fs = std::filesystem;

// An ini file is read whole; one larger than this is read up to here, which no real profile reaches.
constexpr std::uintmax_t kMaxProfileBytes = 16u << 20;

struct Entry {
  std::u16string key;
  std::u16string value;
  bool hasValue = false;  // a line without '=' is a key of its own
};

struct Section {
  std::u16string name;
  std::vector<Entry> entries;
};

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\v'; }

std::u16string_view TrimBlanks(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Names given by the caller lose leading and trailing spaces (only spaces) before they are looked up.
std::u16string_view TrimSpaces(std::u16string_view s) {
  while (!s.empty() && s.front() == u' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == u' ') s.remove_suffix(1);
  return s;
}

// UTF-16LE with its byte-order mark, UTF-8 with its mark, else 8-bit text in the machine's code page.
std::u16string DecodeProfile(const std::string& bytes) {
  std::u16string text;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    text.reserve(bytes.size() / 2);
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                           (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    return text;
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) return text::FromUtf8(std::string_view(bytes).substr(3));
  return text::FromAnsi(bytes);
}

std::vector<Section> ParseProfile(std::u16string_view text) {
  std::vector<Section> sections;
  while (!text.empty()) {
    size_t end = text.find_first_of(u"\r\n");
    std::u16string_view line = text.substr(0, end);
    text.remove_prefix(end == std::u16string_view::npos ? text.size() : end + 1);
    line = TrimBlanks(line);
    if (line.empty() || line.front() == u';') continue;
    if (line.front() == u'[') {
      std::u16string_view name = line.substr(1, line.find(u']') - 1);
      sections.push_back(Section{std::u16string(TrimBlanks(name)), {}});
      continue;
    }
    if (sections.empty()) continue;
    Entry entry;
    size_t equals = line.find(u'=');
    entry.key = TrimBlanks(line.substr(0, equals));
    if (equals != std::u16string_view::npos) {
      entry.value = TrimBlanks(line.substr(equals + 1));
      entry.hasValue = true;
    }
    sections.back().entries.push_back(std::move(entry));
  }
  return sections;
}

// Where a profile name lands: a bare file name lives in the Windows directory, anything with a folder
// in it is a path (relative ones from the current directory).
BOOL ProfileHostPath(std::u16string_view fileName, fs::path& host) {
  std::u16string name(fileName.empty() ? u"win.ini" : fileName);
  if (name.find_first_of(u"\\/:") == std::u16string::npos) name = machine::GetSettings().windowsDirectory + u"\\" + name;
  std::u16string full;
  if (!machine::FullWindowsPath(name, full)) return FALSE;
  if (full.size() >= MAX_PATH) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  return machine::ResolvePath(full, host);
}

// The parsed file, or false with the last error set (ERROR_FILE_NOT_FOUND when there is no file).
bool LoadProfile(std::u16string_view fileName, std::vector<Section>& sections) {
  fs::path host;
  if (!ProfileHostPath(fileName, host)) return false;
  std::error_code error;
  if (fs::is_directory(host, error)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  std::ifstream in(host, std::ios::binary);
  if (!in) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  std::string bytes(static_cast<size_t>(std::min(fs::file_size(host, error), kMaxProfileBytes)), '\0');
  if (error) bytes.clear();
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<size_t>(in.gcount()));
  sections = ParseProfile(DecodeProfile(bytes));
  return true;
}

const Section* FindSection(const std::vector<Section>& sections, std::u16string_view name) {
  name = TrimSpaces(name);
  for (const auto& section : sections)
    if (text::EqualNoCase(section.name, name)) return &section;
  return nullptr;
}

std::u16string StripQuotes(std::u16string_view value) {
  if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return std::u16string(value);
}

// What a profile query answers: one string, or a list of strings (sections, keys, entries).
struct Answer {
  bool isList = false;
  bool found = false;
  DWORD error = ERROR_FILE_NOT_FOUND;  // the last error the call leaves
  std::vector<std::u16string> strings;
};

Answer Query(const char16_t* appName, const char16_t* keyName, std::u16string_view fileName) {
  Answer answer;
  std::vector<Section> sections;
  answer.isList = !appName || !keyName;
  if (!LoadProfile(fileName, sections)) {
    answer.error = GetLastError();
    return answer;
  }
  if (!appName) {
    answer.found = true;
    for (const auto& section : sections) answer.strings.push_back(section.name);
    return answer;
  }
  const Section* section = FindSection(sections, appName);
  if (!keyName) {
    answer.found = section != nullptr;
    if (section)
      for (const auto& entry : section->entries) answer.strings.push_back(entry.key);
    return answer;
  }
  std::u16string_view key = TrimSpaces(keyName);
  if (section) {
    for (const auto& entry : section->entries) {
      if (text::EqualNoCase(entry.key, key)) {
        answer.found = true;
        answer.strings.push_back(StripQuotes(entry.value));
        break;
      }
    }
  }
  return answer;
}

// Copies one string: its length on success; nSize - 1 with ERROR_MORE_DATA when it is cut.
template <class Char>
DWORD CopyString(std::basic_string_view<Char> value, Char* buffer, DWORD size) {
  if (!buffer || size == 0) return 0;
  size_t n = value.size();
  bool cut = n > size - 1;
  if (cut) n = size - 1;
  std::copy_n(value.begin(), n, buffer);
  buffer[n] = 0;
  if (cut) SetLastError(ERROR_MORE_DATA);
  return static_cast<DWORD>(n);
}

// Copies a list of zero-terminated strings ended by a second zero: the characters copied without
// the final zero; nSize - 2 when the list is cut (the cut is ended by two zeros).
template <class Char>
DWORD CopyList(const std::vector<std::basic_string<Char>>& strings, Char* buffer, DWORD size) {
  if (!buffer || size == 0) return 0;
  if (size < 2) {
    buffer[0] = 0;
    return 0;
  }
  size_t at = 0;
  for (const auto& s : strings) {
    if (at + s.size() + 1 > size - 1) {
      size_t room = at < size - 2 ? size - 2 - at : 0;
      std::copy_n(s.begin(), std::min(room, s.size()), buffer + at);
      buffer[size - 2] = 0;
      buffer[size - 1] = 0;
      SetLastError(ERROR_MORE_DATA);
      return size - 2;
    }
    std::copy(s.begin(), s.end(), buffer + at);
    at += s.size();
    buffer[at++] = 0;
  }
  buffer[at] = 0;
  if (strings.empty() && size > 1) buffer[1] = 0;
  return static_cast<DWORD>(at);
}

// The default loses trailing spaces (only spaces), as Windows documents.
std::u16string DefaultValue(const char16_t* value) {
  std::u16string_view s = value ? std::u16string_view(value) : std::u16string_view();
  while (!s.empty() && s.back() == u' ') s.remove_suffix(1);
  return std::u16string(s);
}

}  // namespace
}  // namespace platform::kernel

using namespace platform;

WINBASEAPI DWORD WINAPI GetPrivateProfileSectionW(LPCWSTR lpAppName, LPWSTR lpReturnedString, DWORD nSize,
                                                  LPCWSTR lpFileName) {
  if (!lpReturnedString || nSize == 0) return 0;
  std::vector<std::u16string> lines;
  std::vector<kernel::Section> sections;
  DWORD error = ERROR_SUCCESS;
  if (!lpAppName) {
    error = ERROR_INVALID_PARAMETER;
  } else if (!kernel::LoadProfile(lpFileName ? lpFileName : u"", sections)) {
    error = GetLastError();
  } else if (const kernel::Section* section = kernel::FindSection(sections, lpAppName)) {
    for (const auto& entry : section->entries) lines.push_back(entry.hasValue ? entry.key + u"=" + entry.value : entry.key);
  } else {
    error = ERROR_FILE_NOT_FOUND;
  }
  SetLastError(error);
  return kernel::CopyList<char16_t>(lines, lpReturnedString, nSize);
}

WINBASEAPI DWORD WINAPI GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                                                 LPWSTR lpReturnedString, DWORD nSize, LPCWSTR lpFileName) {
  if (!lpReturnedString || nSize == 0) return 0;
  kernel::Answer answer = kernel::Query(lpAppName, lpKeyName, lpFileName ? lpFileName : u"");
  SetLastError(answer.found ? ERROR_SUCCESS : answer.error);
  if (answer.isList) return kernel::CopyList<char16_t>(answer.strings, lpReturnedString, nSize);
  std::u16string value = answer.found ? answer.strings.front() : kernel::DefaultValue(lpDefault);
  return kernel::CopyString<char16_t>(value, lpReturnedString, nSize);
}

WINBASEAPI DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                                                 LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) {
  if (!lpReturnedString || nSize == 0) return 0;
  std::u16string appName = lpAppName ? text::FromAnsi(lpAppName) : u"";
  std::u16string keyName = lpKeyName ? text::FromAnsi(lpKeyName) : u"";
  std::u16string fileName = lpFileName ? text::FromAnsi(lpFileName) : u"";
  kernel::Answer answer =
      kernel::Query(lpAppName ? appName.c_str() : nullptr, lpKeyName ? keyName.c_str() : nullptr, fileName);
  SetLastError(answer.found ? ERROR_SUCCESS : answer.error);
  if (answer.isList) {
    std::vector<std::string> strings;
    for (const auto& s : answer.strings) strings.push_back(text::ToAnsi(s));
    return kernel::CopyList<char>(strings, lpReturnedString, nSize);
  }
  std::string value;
  if (answer.found) {
    value = text::ToAnsi(answer.strings.front());
  } else if (lpDefault) {
    value = lpDefault;
    while (!value.empty() && value.back() == ' ') value.pop_back();
  }
  return kernel::CopyString<char>(value, lpReturnedString, nSize);
}
