// ORVELLA_UI_LOG: one JSON line per box or dialog event, appended to the named host file, so that a
// script driving any program of the machine can see what the user was shown and what was answered.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace platform::user {

// `text` as a JSON string literal (quotes included), UTF-8, with control characters escaped.
std::string JsonString(std::u16string_view text);

// Appends one line; nothing happens when ORVELLA_UI_LOG is unset or empty. `fields` are the members
// after "event", already written as `"name":value` pairs separated by commas.
void LogUiEvent(std::string_view event, std::string_view fields);

void LogMessageBox(std::u16string_view caption, std::u16string_view text, UINT style, int answer);

}  // namespace platform::user
