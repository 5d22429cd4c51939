// The process's windows. Dialogs and their controls enter here when they are created, so that every
// call taking a window (an owner, a parent) can tell a live window from a stale or made-up handle.
#pragma once

#include <windows.h>

namespace platform::user {

void AddWindow(HWND window);
void RemoveWindow(HWND window);
bool IsLiveWindow(HWND window);

}  // namespace platform::user
