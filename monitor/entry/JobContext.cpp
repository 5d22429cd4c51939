#include "entry/JobContext.h"

#include "entry/MonitorState.h"
#include "stream/DisplayList.h"

#include <new>

namespace dovamon {

namespace {

constexpr DWORD kDebugFileFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN;

HANDLE CreateDebugFile(LPCWSTR name) {
  return CreateFileW(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                     kDebugFileFlags, nullptr);
}

// A switch is on only when the printer holds the value and it fits the four bytes of a DWORD.
DWORD ReadSwitch(HANDLE printer, LPCWSTR name) {
  DWORD value = 0;
  DWORD type = 0;
  DWORD needed = 0;
  if (GetPrinterDataW(printer, const_cast<LPWSTR>(name), &type, reinterpret_cast<LPBYTE>(&value),
                      sizeof value, &needed) != ERROR_SUCCESS)
    return 0;
  return value;
}

void ClearPrinterValue(HANDLE printer, LPCWSTR name) {
  DWORD zero = 0;
  SetPrinterDataW(printer, const_cast<LPWSTR>(name), REG_DWORD, reinterpret_cast<LPBYTE>(&zero),
                  sizeof zero);
}

// Which debug file a job opens at its start: the first switch that is on decides.
struct StartFile {
  DWORD MonitorState::*mode;
  LPCWSTR name;
  HANDLE JobContext::*file;
};
constexpr StartFile kStartFiles[] = {
    {&MonitorState::rawFileMode, TEXT("c:\\CMYK1.raw"), &JobContext::debugFile},
    {&MonitorState::rgbFileMode, TEXT("c:\\RGB1.raw"), &JobContext::debugFile},
    {&MonitorState::prnFileMode, TEXT("c:\\Output.prn"), &JobContext::outputPrnFile},
};

BOOL StartJobContext(JobContext& context) {
  context.bandList = CreateBandList();
  if (!context.bandList) return FALSE;
  for (HANDLE& event : context.slotEvent) {
    event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    if (!event) return FALSE;
  }

  MonitorState& state = monitorState;
  state.debugPageNumber = state.debugCopyNumber = 0;
  state.rawFileMode = state.rgbFileMode = state.prnFileMode = 0;
  context.debugFile = context.outputPrnFile = INVALID_HANDLE_VALUE;

  // The printer's user interface watches these two while a job prints; every job starts them afresh.
  ClearPrinterValue(context.printer, TEXT("Progress"));
  ClearPrinterValue(context.printer, TEXT("CopyCancel"));

  state.rawFileMode = ReadSwitch(context.printer, TEXT("Write2Raw"));
  state.rgbFileMode = ReadSwitch(context.printer, TEXT("Write2RGB"));
  state.prnFileMode = ReadSwitch(context.printer, TEXT("Write2Prn"));

  for (const StartFile& start : kStartFiles) {
    if (!(state.*start.mode)) continue;
    context.*start.file = CreateDebugFile(start.name);
    return context.*start.file != INVALID_HANDLE_VALUE;
  }
  return TRUE;
}

void CloseIfOpen(HANDLE& file) {
  if (file != INVALID_HANDLE_VALUE && file != nullptr) CloseHandle(file);
  file = INVALID_HANDLE_VALUE;
}

}  // namespace

JobContext* CreateJobContext(HANDLE printer) {
  auto* context = new (std::nothrow) JobContext;
  if (!context) return nullptr;
  context->printer = printer;
  if (!StartJobContext(*context)) {
    DestroyJobContext(context);
    return nullptr;
  }
  return context;
}

// Also tears down a context whose start failed half-way, so every step checks what exists.
void DestroyJobContext(JobContext* context) {
  if (!context) return;
  if (context->workerThread) {
    // currentSlot has already moved on to the other slot: the running worker's is the previous one.
    HANDLE busy = context->slotEvent[1 - context->currentSlot];
    if (busy) WaitForSingleObject(busy, INFINITE);
    CloseHandle(context->workerThread);
    context->workerThread = nullptr;
  }
  CloseIfOpen(context->debugFile);
  CloseIfOpen(context->outputPrnFile);
  for (HANDLE& event : context->slotEvent) {
    if (event) CloseHandle(event);
    event = nullptr;
  }
  DestroyBandList(context->bandList);
  context->bandList = nullptr;
  delete context;
}

}  // namespace dovamon
