// Text conversions of the stand-in: the machine's ANSI code page for A functions, UTF-8 for the host
// (file names, terminal, logs).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace platform::text {

// 8-bit text in the machine's ANSI code page (1252, 950, ...) to UTF-16, and back; characters without
// a mapping become '?'.
DECLSPEC_EXPORT std::u16string FromAnsi(std::string_view text);
DECLSPEC_EXPORT std::string ToAnsi(std::u16string_view text);

DECLSPEC_EXPORT std::u16string FromUtf8(std::string_view text);
DECLSPEC_EXPORT std::string ToUtf8(std::u16string_view text);

// Length of a zero-terminated UTF-16 string; 0 for NULL.
DECLSPEC_EXPORT size_t Length(LPCWSTR text);

// Conversions in a given code page (1252, 950, 65001 for UTF-8, any other that the host's iconv
// knows). Decode turns each undecodable byte sequence into '?' (U+FFFD in UTF-8, as Windows does) and
// sets `invalid`; Encode writes `defaultChar` for each character the code page cannot hold and sets
// `usedDefault` (UTF-8 holds everything; a lone surrogate becomes U+FFFD). Both answer false for a
// code page that is not supported.
DECLSPEC_EXPORT bool IsSupportedCodePage(UINT codePage);
DECLSPEC_EXPORT bool Decode(UINT codePage, std::string_view bytes, std::u16string& text, bool& invalid);
DECLSPEC_EXPORT bool Encode(UINT codePage, std::u16string_view text, std::string_view defaultChar, std::string& bytes,
                            bool& usedDefault);

// The machine's ANSI code page (GetACP).
DECLSPEC_EXPORT UINT AnsiCodePage();

// Windows compares file, section, key and registry names without regard to case by upper-casing
// each UTF-16 unit; FoldCase is that mapping for the Latin, Greek and Cyrillic letters.
DECLSPEC_EXPORT char16_t FoldCase(char16_t c);
DECLSPEC_EXPORT bool EqualNoCase(std::u16string_view a, std::u16string_view b);

}  // namespace platform::text
