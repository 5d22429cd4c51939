// Text conversions of the stand-in: the machine's ANSI code page for A functions, UTF-8 for the host
// (file names, terminal, logs).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace platform::text {

// 8-bit text in the machine's ANSI code page (1252, 950, ...) to UTF-16, and back; characters without
// a mapping become '?'.
std::u16string FromAnsi(std::string_view text);
std::string ToAnsi(std::u16string_view text);

std::u16string FromUtf8(std::string_view text);
std::string ToUtf8(std::u16string_view text);

// Length of a zero-terminated UTF-16 string; 0 for NULL.
size_t Length(LPCWSTR text);

}  // namespace platform::text
