// Process-wide state of the monitor. It serves one job at a time on its one port; the spooler calls a
// port's entry points one at a time, so nothing here is locked.
#pragma once

#include <windows.h>

namespace dovamon {

struct JobContext;
class MessageCatalog;

struct MonitorState {
  JobContext* job = nullptr;
  HANDLE printerHandle = INVALID_HANDLE_VALUE;
  DWORD jobId = 0;
  BOOL firstWrite = TRUE;
  BOOL pageReady = FALSE;
  MessageCatalog* catalog = nullptr;

  // Debug switches of the job's printer, read when a job context starts.
  DWORD rawFileMode = 0;
  DWORD rgbFileMode = 0;
  DWORD prnFileMode = 0;
  WORD debugPageNumber = 0;
  WORD debugCopyNumber = 0;
};

extern MonitorState monitorState;

// The module's own handle, learnt when the library is attached; it finds the string table.
extern HMODULE monitorModule;

}  // namespace dovamon
