#include <windows.h>

#include "entry/MonitorState.h"

// The module learns its own handle here: LoadStringW finds the string table through it. The loader
// looks the entry routine up by name, so it is visible like the export.
extern "C" DECLSPEC_EXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) dovamon::monitorModule = instance;
  return TRUE;
}
