// The spooler's entry points into the monitor. DovaMon has the shape of a language monitor but is the
// end of the print path itself: it reports one port, takes any LPT port, and consumes the whole job
// stream; nothing is passed on to a port monitor underneath.
#include <windows.h>
#include <winsplp.h>

#include "entry/JobContext.h"
#include "entry/MonitorState.h"
#include "res/resource.h"
#include "status/MessageCatalog.h"
#include "stream/ByteOrder.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

namespace dovamon {

namespace {

constexpr std::u16string_view kPortName = u"LPT1:";
constexpr std::u16string_view kMonitorName = u"DovaMon";
constexpr std::u16string_view kPortDescription = u"Printer Port";
constexpr std::u16string_view kAcceptedPrefix = u"lpt";

// The hold marker: a buffer starting with AB BB CF CF is held back for a second and offered again.
constexpr DWORD kHoldMarker = 0xCFCFBBAB;
constexpr DWORD kHoldMilliseconds = 1000;

// Guards EnumPorts alone. Set up once, on the first InitializePrintMonitor: initialising it again
// while another spooler thread holds it would break the lock.
CRITICAL_SECTION& MonitorLock() {
  static struct Lock {
    CRITICAL_SECTION section;
    Lock() { InitializeCriticalSection(&section); }
  } lock;
  return lock.section;
}

// Byte sizes that EnumPorts asks for: more than strictly needed (four characters extra for the port
// name, 24 bytes for the 20-byte level-2 record), as callers that size their buffers from a first
// call have always been told.
constexpr DWORD kLevel1Needed = 2 * (kPortName.size() + 4) + 4;
constexpr DWORD kLevel2Needed =
    2 * ((kPortName.size() + 4) + (kMonitorName.size() + 1) + (kPortDescription.size() + 1)) + 24;
static_assert(kLevel1Needed == 22 && kLevel2Needed == 84);

struct PortLevel {
  DWORD level;
  DWORD needed;
};
constexpr PortLevel kPortLevels[] = {
    {1, kLevel1Needed},  // PORT_INFO_1W
    {2, kLevel2Needed},  // PORT_INFO_2W
};

// Places a string with its terminator right below `top` and returns where it starts.
LPWSTR PlaceBelow(LPBYTE& top, std::u16string_view text) {
  top -= 2 * (text.size() + 1);
  std::memcpy(top, text.data(), 2 * text.size());
  std::memset(top + 2 * text.size(), 0, 2);
  return reinterpret_cast<LPWSTR>(top);
}

void StoreLe32(LPBYTE at, DWORD value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<BYTE>(value >> (8 * i));
}

BOOL StartsWithLpt(LPCWSTR name) {
  for (size_t i = 0; i < kAcceptedPrefix.size(); ++i) {
    WCHAR c = name[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<WCHAR>(c - u'A' + u'a');
    if (c != kAcceptedPrefix[i]) return FALSE;  // a terminator never matches, so short names stop here
  }
  return TRUE;
}

MessageCatalog* EnsureCatalog() {
  MonitorState& state = monitorState;
  if (!state.catalog) {
    state.catalog = new (std::nothrow) MessageCatalog;
    if (state.catalog) state.catalog->Load();
  }
  return state.catalog;
}

void DestroyCatalog() {
  delete monitorState.catalog;
  monitorState.catalog = nullptr;
}

std::u16string LoadText(UINT id) {
  const MessageCatalog* catalog = EnsureCatalog();
  return catalog ? catalog->LoadText(id) : std::u16string();
}

void ShowPortRefusal(LPCWSTR portName) {
  const std::u16string text = LoadText(IDS_PORT_NOT_SUPPORTED) + u" " + portName + u"\n\n" +
                              LoadText(IDS_CHOOSE_PORT) + u" USBtarn";
  const std::u16string caption = LoadText(IDS_WARNING);
  MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_SYSTEMMODAL);
}

void DestroyJob() {
  DestroyJobContext(monitorState.job);
  monitorState.job = nullptr;
}

BOOL WINAPI EnumPorts(LPWSTR, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned) {
  if (!pcbNeeded || !pcReturned) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto level = std::find_if(std::begin(kPortLevels), std::end(kPortLevels),
                                  [&](const PortLevel& row) { return row.level == Level; });
  if (level == std::end(kPortLevels)) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  const DWORD needed = level->needed;
  *pcbNeeded = needed;
  if (cbBuf < needed) {
    *pcReturned = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (!pPorts) {
    *pcReturned = 0;
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }

  EnterCriticalSection(&MonitorLock());
  std::memset(pPorts, 0, needed);
  // Strings go to the top of the caller's whole buffer, the record to its start.
  LPBYTE top = pPorts + cbBuf;
  const LPWSTR port = PlaceBelow(top, kPortName);
  if (Level == 1) {
    StoreLe32(pPorts + 0, reinterpret_cast<DWORD>(port));  // PORT_INFO_1W.pName
  } else {
    const LPWSTR monitor = PlaceBelow(top, kMonitorName);
    const LPWSTR description = PlaceBelow(top, kPortDescription);
    StoreLe32(pPorts + 0, reinterpret_cast<DWORD>(port));         // PORT_INFO_2W.pPortName
    StoreLe32(pPorts + 4, reinterpret_cast<DWORD>(monitor));      // pMonitorName
    StoreLe32(pPorts + 8, reinterpret_cast<DWORD>(description));  // pDescription
    StoreLe32(pPorts + 12, PORT_TYPE_WRITE);                      // fPortType
    StoreLe32(pPorts + 16, 0);                                    // Reserved
  }
  SetLastError(ERROR_SUCCESS);
  *pcReturned = 1;
  LeaveCriticalSection(&MonitorLock());
  return TRUE;
}

BOOL WINAPI OpenPortEx(LPWSTR pPortName, LPWSTR, PHANDLE pHandle, LPMONITOR) {
  if (!pPortName || !pHandle) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!StartsWithLpt(pPortName)) {
    ShowPortRefusal(pPortName);
    return FALSE;
  }
  // A new port use starts without a job. A context still held here could never be reached again, so
  // it is torn down rather than dropped with its files, events and display list.
  DestroyJob();
  monitorState.jobId = 0;
  *pHandle = reinterpret_cast<HANDLE>(&monitorState);
  return TRUE;
}

BOOL WINAPI StartDocPort(HANDLE, LPWSTR pPrinterName, DWORD JobId, DWORD, LPBYTE) {
  MonitorState& state = monitorState;
  EnsureCatalog();
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ACCESS_ADMINISTER};
  OpenPrinterW(pPrinterName, &state.printerHandle, &defaults);
  state.jobId = JobId;
  state.pageReady = FALSE;
  state.firstWrite = TRUE;
  return TRUE;
}

bool IsHoldMarker(const BYTE* buffer, DWORD size) {
  return buffer && size >= 4 && ReadLe32(std::span<const BYTE>(buffer, size), 0) == kHoldMarker;
}

BOOL WINAPI WritePort(HANDLE, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) {
  MonitorState& state = monitorState;
  if (!pcbWritten || (!pBuffer && cbBuf > 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *pcbWritten = 0;
  if (IsHoldMarker(pBuffer, cbBuf)) {
    Sleep(kHoldMilliseconds);
    return TRUE;
  }

  if (!state.job) {
    // After EndDocPort or ClosePort there is no job to write into until the next StartDocPort: the
    // bytes are refused rather than taken into a job that nobody will end.
    if (!state.firstWrite) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    state.job = CreateJobContext(state.printerHandle);
    if (!state.job) {
      ClosePrinter(state.printerHandle);
      state.printerHandle = nullptr;
      DestroyCatalog();
      return FALSE;
    }
    state.firstWrite = FALSE;
  }
  if (!DispatchWrite(*state.job, pBuffer, cbBuf)) return FALSE;
  *pcbWritten = cbBuf;
  return TRUE;
}

BOOL WINAPI ReadPort(HANDLE, LPBYTE, DWORD, LPDWORD pcbRead) {
  if (pcbRead) *pcbRead = 0;
  return FALSE;
}

BOOL WINAPI EndDocPort(HANDLE) {
  MonitorState& state = monitorState;
  DestroyJob();
  SetJobW(state.printerHandle, state.jobId, 0, nullptr, JOB_CONTROL_DELETE);
  ClosePrinter(state.printerHandle);
  state.printerHandle = nullptr;
  DestroyCatalog();
  return TRUE;
}

BOOL WINAPI ClosePort(HANDLE) {
  DestroyJob();
  return TRUE;
}

BOOL WINAPI DeletePort(LPWSTR, HWND, LPWSTR) { return TRUE; }

MONITOREX monitorTable = {
    sizeof(MONITOR),
    {
        EnumPorts,
        nullptr,  // OpenPort: the spooler opens ports through OpenPortEx
        OpenPortEx,
        StartDocPort,
        WritePort,
        ReadPort,
        EndDocPort,
        ClosePort,
        nullptr,  // AddPort
        nullptr,  // AddPortEx
        nullptr,  // ConfigurePort
        DeletePort,
        nullptr,  // GetPrinterDataFromPort
        nullptr,  // SetPortTimeOuts
        nullptr,  // XcvOpenPort
        nullptr,  // XcvDataPort
        nullptr,  // XcvClosePort
    },
};

}  // namespace

}  // namespace dovamon

extern "C" DECLSPEC_EXPORT LPMONITOREX WINAPI InitializePrintMonitor(LPWSTR pRegistryRoot) {
  dovamon::MonitorLock();
  if (!pRegistryRoot || !pRegistryRoot[0]) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return &dovamon::monitorTable;
}
