// The spooler calls a print monitor makes: printer handles, printer data, job control and the driver
// directory. Printer handles are the spooler's own, from a table of this process, not kernel handles;
// what they open lives in the machine's spooler state.
#include <windows.h>

#include <platform/spooler.h>

#include <optional>

#include "spooler/handles.h"
#include "spooler/state.h"

namespace platform::spooler {
namespace {

struct JobControl {
  DWORD command;
  const char* name;
};

// Level-0 job controls; delete and cancel take the job off the queue, the others are recorded on it.
constexpr JobControl kJobControls[] = {
    {JOB_CONTROL_PAUSE, "pause"},
    {JOB_CONTROL_RESUME, "resume"},
    {JOB_CONTROL_CANCEL, "cancel"},
    {JOB_CONTROL_RESTART, "restart"},
    {JOB_CONTROL_DELETE, "delete"},
    {JOB_CONTROL_SENT_TO_PRINTER, "sent-to-printer"},
    {JOB_CONTROL_LAST_PAGE_EJECTED, "last-page-ejected"},
};

const JobControl* FindJobControl(DWORD command) {
  for (const JobControl& control : kJobControls) {
    if (control.command == command) return &control;
  }
  return nullptr;
}

}  // namespace
}  // namespace platform::spooler

using namespace platform::spooler;

// A NULL or empty name opens the local server: such a handle can be closed, but it has no printer
// data and no jobs.
WINBASEAPI BOOL WINAPI OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSW pDefault) {
  if (phPrinter == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  OpenHandle handle{pPrinterName ? std::u16string(pPrinterName) : std::u16string(), PRINTER_ACCESS_USE};
  if (pDefault != nullptr && pDefault->DesiredAccess != 0) handle.access = pDefault->DesiredAccess;
  if (!handle.printer.empty()) {
    State state = ReadState();
    const Printer* printer = FindPrinter(state, handle.printer);
    if (printer == nullptr) {
      SetLastError(ERROR_INVALID_PRINTER_NAME);
      return FALSE;
    }
    handle.printer = printer->name;
  }
  *phPrinter = AddHandle(std::move(handle));
  return TRUE;
}

WINBASEAPI BOOL WINAPI ClosePrinter(HANDLE hPrinter) {
  if (!RemoveHandle(hPrinter)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

WINBASEAPI DWORD WINAPI GetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, LPDWORD pType, LPBYTE pData, DWORD nSize,
                                        LPDWORD pcbNeeded) {
  const auto handle = LookupHandle(hPrinter);
  if (!handle) return ERROR_INVALID_HANDLE;
  if (pValueName == nullptr || pcbNeeded == nullptr) return ERROR_INVALID_PARAMETER;
  // The server's own values (spool directory, versions, ...) are not kept by this spooler.
  if (handle->printer.empty()) return ERROR_CALL_NOT_IMPLEMENTED;
  State state = ReadState();
  Printer* printer = FindPrinter(state, handle->printer);
  if (printer == nullptr) return ERROR_INVALID_HANDLE;  // deleted while open
  const DataValue* value = FindData(*printer, pValueName);
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  const DWORD size = static_cast<DWORD>(value->bytes.size());
  *pcbNeeded = size;
  if (pType != nullptr) *pType = value->type;
  if (nSize < size) return ERROR_MORE_DATA;
  if (size > 0 && pData == nullptr) return ERROR_INVALID_PARAMETER;
  std::copy(value->bytes.begin(), value->bytes.end(), pData);
  return ERROR_SUCCESS;
}

WINBASEAPI DWORD WINAPI SetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, DWORD Type, LPBYTE pData, DWORD cbData) {
  const auto handle = LookupHandle(hPrinter);
  if (!handle) return ERROR_INVALID_HANDLE;
  if (pValueName == nullptr || (pData == nullptr && cbData != 0)) return ERROR_INVALID_PARAMETER;
  if (handle->printer.empty()) return ERROR_CALL_NOT_IMPLEMENTED;
  // Changing a printer's data needs a handle opened to administer it, as on Windows.
  if ((handle->access & PRINTER_ACCESS_ADMINISTER) == 0) return ERROR_ACCESS_DENIED;
  DWORD result = ERROR_INVALID_HANDLE;
  UpdateState([&](State& state) {
    Printer* printer = FindPrinter(state, handle->printer);
    if (printer == nullptr) return false;
    std::vector<BYTE> bytes(pData, pData + cbData);
    if (DataValue* value = FindData(*printer, pValueName)) {
      value->type = Type;
      value->bytes = std::move(bytes);
    } else {
      printer->data.push_back({pValueName, Type, std::move(bytes)});
    }
    result = ERROR_SUCCESS;
    return true;
  });
  return result;
}

WINBASEAPI BOOL WINAPI SetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD Command) {
  const auto handle = LookupHandle(hPrinter);
  if (!handle || handle->printer.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (Level != 0) {
    // Setting a job's JOB_INFO_1..4 is not supported by this spooler.
    SetLastError(Level <= 4 ? ERROR_CALL_NOT_IMPLEMENTED : ERROR_INVALID_LEVEL);
    return FALSE;
  }
  (void)pJob;  // level 0 carries no job information
  const JobControl* control = FindJobControl(Command);
  DWORD error = ERROR_INVALID_PARAMETER;
  UpdateState([&](State& state) {
    Job* job = FindJob(state, JobId);
    if (job == nullptr || !SameName(job->printer, handle->printer) || control == nullptr) return false;
    if (Command == JOB_CONTROL_DELETE || Command == JOB_CONTROL_CANCEL) {
      std::erase_if(state.jobs, [&](const Job& j) { return j.id == JobId; });
    } else {
      if (Command == JOB_CONTROL_PAUSE) job->paused = true;
      if (Command == JOB_CONTROL_RESUME || Command == JOB_CONTROL_RESTART) job->paused = false;
      job->commands.emplace_back(control->name);
    }
    error = ERROR_SUCCESS;
    return true;
  });
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

// Only the local machine and its own environment are served: pName NULL or empty, pEnvironment NULL
// or "Windows NT x86", level 1.
WINBASEAPI BOOL WINAPI GetPrinterDriverDirectoryW(LPWSTR pName, LPWSTR pEnvironment, DWORD Level,
                                                  LPBYTE pDriverDirectory, DWORD cbBuf, LPDWORD pcbNeeded) {
  DWORD error = ERROR_SUCCESS;
  if (pName != nullptr && *pName != 0) {
    error = ERROR_INVALID_NAME;
  } else if (pEnvironment != nullptr && !SameName(pEnvironment, kEnvironment)) {
    error = ERROR_INVALID_ENVIRONMENT;
  } else if (Level != 1) {
    error = ERROR_INVALID_LEVEL;
  } else if (pcbNeeded == nullptr) {
    error = ERROR_INVALID_PARAMETER;
  }
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  const std::u16string folder = DriverDirectory();
  const DWORD needed = static_cast<DWORD>((folder.size() + 1) * sizeof(WCHAR));
  *pcbNeeded = needed;
  if (cbBuf < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (pDriverDirectory == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // Byte by byte: the caller's buffer need not be aligned for WCHAR.
  for (size_t i = 0; i <= folder.size(); ++i) {
    const char16_t c = i < folder.size() ? folder[i] : 0;
    pDriverDirectory[2 * i] = BYTE(c & 0xFF);
    pDriverDirectory[2 * i + 1] = BYTE(c >> 8);
  }
  return TRUE;
}

namespace platform {

bool AddSpoolerPrinter(const SpoolerPrinter& printer) {
  if (printer.name.empty()) return false;
  return UpdateState([&](State& state) {
    if (FindPrinter(state, printer.name) != nullptr) return false;
    Printer added;
    added.name = printer.name;
    added.driver = printer.driver;
    added.port = printer.port;
    added.printProcessor = u"WinPrint";
    added.datatype = u"RAW";
    state.printers.push_back(std::move(added));
    return true;
  });
}

std::vector<SpoolerPrinter> SpoolerPrinters() {
  std::vector<SpoolerPrinter> printers;
  for (const Printer& p : ReadState().printers) printers.push_back({p.name, p.driver, p.port});
  return printers;
}

DWORD AddSpoolerJob(std::u16string_view printer, std::u16string_view document) {
  DWORD id = 0;
  UpdateState([&](State& state) {
    const Printer* target = FindPrinter(state, printer);
    if (target == nullptr) return false;
    id = state.nextJobId++;
    if (state.nextJobId == 0) state.nextJobId = 1;
    state.jobs.push_back({id, target->name, std::u16string(document), false, {}});
    return true;
  });
  return id;
}

std::vector<SpoolerJob> SpoolerJobs(std::u16string_view printer) {
  std::vector<SpoolerJob> jobs;
  for (const Job& j : ReadState().jobs) {
    if (printer.empty() || SameName(j.printer, printer)) {
      jobs.push_back({j.id, j.printer, j.document, j.paused, j.commands});
    }
  }
  return jobs;
}

std::optional<PrinterDataValue> ReadPrinterData(std::u16string_view printer, std::u16string_view valueName) {
  State state = ReadState();
  Printer* target = FindPrinter(state, printer);
  if (target == nullptr) return std::nullopt;
  const DataValue* value = FindData(*target, valueName);
  if (value == nullptr) return std::nullopt;
  return PrinterDataValue{value->type, value->bytes};
}

bool WritePrinterData(std::u16string_view printer, std::u16string_view valueName, DWORD type,
                      std::vector<BYTE> bytes) {
  return UpdateState([&](State& state) {
    Printer* target = FindPrinter(state, printer);
    if (target == nullptr) return false;
    if (DataValue* value = FindData(*target, valueName)) {
      value->type = type;
      value->bytes = std::move(bytes);
    } else {
      target->data.push_back({std::u16string(valueName), type, std::move(bytes)});
    }
    return true;
  });
}

}  // namespace platform
