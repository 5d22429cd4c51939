// The one road of every message box, for the W and A entry points (and the dialogs' own boxes).
#pragma once

#include <windows.h>

#include <string>

namespace platform::user {

// Checks the owner and the style, answers the box (platform/ui.h), records and logs it. 0 with
// ERROR_INVALID_WINDOW_HANDLE or ERROR_INVALID_MSGBOX_STYLE on failure.
int ShowMessageBox(HWND owner, std::u16string text, std::u16string caption, UINT style);

}  // namespace platform::user
