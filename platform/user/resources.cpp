// FindResourceW, LoadResource, LockResource, SizeofResource, LoadStringW and LoadStringA over the
// resource table a module exports (platform/resources.h). Resource handles are pointers into that
// table and resource data is the module's own read-only data, as on Windows: nothing is freed.
#include <windows.h>

#include <platform/resources.h>

#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "kernel/module.h"
#include "kernel/text.h"
#include "machine/machine.h"

namespace platform::user {
namespace {

std::span<const ResourceEntry> TableOf(HMODULE module) {
  void* symbol = kernel::ModuleSymbol(module, ORVELLA_RESOURCE_TABLE_SYMBOL);
  if (symbol == nullptr) return {};
  const auto* table = static_cast<const ResourceTable*>(symbol);
  return {table->entries, table->count};
}

// A type or name as FindResource takes it: a number (MAKEINTRESOURCE, or "#123") or a name.
struct Key {
  WORD id = 0;
  std::u16string name;
};

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 0x20) : c; }

Key MakeKey(LPCWSTR value) {
  Key key;
  if (IS_INTRESOURCE(value)) {
    key.id = LOWORD(reinterpret_cast<ULONG_PTR>(value));
    return key;
  }
  const std::u16string_view text(value);
  // "#123" is the number 123; anything else after '#' that is not a 16-bit number stays a name.
  if (text.size() > 1 && text.size() <= 6 && text.front() == u'#' &&
      std::all_of(text.begin() + 1, text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; })) {
    DWORD number = 0;
    for (char16_t c : text.substr(1)) number = number * 10 + (c - u'0');
    if (number <= 0xFFFF) {
      key.id = WORD(number);
      return key;
    }
  }
  for (char16_t c : text) key.name += Upper(c);
  return key;
}

bool Matches(const Key& key, WORD id, const char16_t* name) {
  if (name == nullptr) return key.name.empty() && key.id == id;
  return !key.name.empty() && key.name == name;
}

// Languages tried in turn when several entries share a type and name: neutral, the machine's own,
// its primary language, US English; else the first entry.
const ResourceEntry* PickLanguage(std::span<const ResourceEntry> table, const Key& type, const Key& name) {
  const LANGID machine = platform::machine::GetSettings().language;
  const LANGID preferred[] = {
      MAKELANGID(LANG_NEUTRAL, 0),
      machine,
      LANGID(MAKELANGID(PRIMARYLANGID(machine), 0)),
      LANGID(MAKELANGID(PRIMARYLANGID(machine), SUBLANG_DEFAULT)),
      MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
  };
  const ResourceEntry* first = nullptr;
  for (LANGID language : preferred) {
    for (const ResourceEntry& entry : table) {
      if (!Matches(type, entry.typeId, entry.typeName) || !Matches(name, entry.nameId, entry.nameName)) continue;
      if (first == nullptr) first = &entry;
      if (entry.language == language) return &entry;
    }
  }
  return first;
}

const ResourceEntry* EntryOf(HMODULE module, HRSRC resource) {
  const auto table = TableOf(module);
  const auto* entry = reinterpret_cast<const ResourceEntry*>(resource);
  for (const ResourceEntry& candidate : table) {
    if (&candidate == entry) return entry;
  }
  return nullptr;
}

// The string `id` of a module's string table, or nullopt (with the last error of FindResource) when
// there is none. Every length read from the block is checked against the block's size.
std::optional<std::u16string_view> FindString(HINSTANCE instance, UINT id) {
  HRSRC resource = FindResourceW(instance, MAKEINTRESOURCEW((LOWORD(id) >> 4) + 1), RT_STRING);
  if (resource == nullptr) return std::nullopt;
  const auto* entry = reinterpret_cast<const ResourceEntry*>(resource);
  const auto* units = reinterpret_cast<const char16_t*>(entry->data);
  const size_t count = entry->size / sizeof(char16_t);
  size_t at = 0;
  for (UINT index = 0; index < (id & 15); ++index) {
    if (at >= count) return std::nullopt;
    at += 1 + units[at];
  }
  if (at >= count || units[at] > count - at - 1) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return std::nullopt;
  }
  return std::u16string_view(units + at + 1, units[at]);
}

}  // namespace
}  // namespace platform::user

using namespace platform::user;

WINBASEAPI HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType) {
  const auto table = TableOf(hModule);
  if (table.empty()) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  const Key type = MakeKey(lpType), name = MakeKey(lpName);
  bool typeSeen = false;
  for (const platform::ResourceEntry& entry : table) typeSeen |= Matches(type, entry.typeId, entry.typeName);
  if (!typeSeen) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
  }
  const platform::ResourceEntry* entry = PickLanguage(table, type, name);
  if (entry == nullptr) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<HRSRC>(const_cast<platform::ResourceEntry*>(entry));
}

WINBASEAPI HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo) {
  const platform::ResourceEntry* entry = EntryOf(hModule, hResInfo);
  if (entry == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return const_cast<BYTE*>(entry->data);
}

WINBASEAPI LPVOID WINAPI LockResource(HGLOBAL hResData) { return hResData; }

WINBASEAPI DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo) {
  const platform::ResourceEntry* entry = EntryOf(hModule, hResInfo);
  if (entry == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return entry->size;
}

WINBASEAPI int WINAPI LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax) {
  if (lpBuffer == nullptr || cchBufferMax < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const auto text = FindString(hInstance, uID);
  if (cchBufferMax == 0) {
    // The documented read-only form: lpBuffer receives a pointer to the (unterminated) string itself.
    if (!text) return 0;
    *reinterpret_cast<LPCWSTR*>(lpBuffer) = text->data();
    return static_cast<int>(text->size());
  }
  const size_t count = text ? std::min(text->size(), size_t(cchBufferMax - 1)) : 0;
  if (count > 0) std::copy_n(text->data(), count, lpBuffer);
  lpBuffer[count] = 0;
  return static_cast<int>(count);
}

WINBASEAPI int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
  if (lpBuffer == nullptr || cchBufferMax <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string out;
  if (const auto text = FindString(hInstance, uID)) {
    // Character by character, so that a double-byte character is never cut in half at the end.
    for (char16_t c : *text) {
      const std::string bytes = platform::text::ToAnsi(std::u16string(1, c));
      if (out.size() + bytes.size() > size_t(cchBufferMax - 1)) break;
      out += bytes;
    }
  }
  std::copy(out.begin(), out.end(), lpBuffer);
  lpBuffer[out.size()] = 0;
  return static_cast<int>(out.size());
}
