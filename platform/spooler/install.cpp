// The spooler calls an installer makes: monitors, printer drivers and printers, and reading back and
// deleting a printer. Only the local machine and its own environment ("Windows NT x86") are served.
#include <windows.h>

#include <platform/spooler.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>

#include "kernel/text.h"
#include "machine/machine.h"
#include "spooler/handles.h"
#include "spooler/state.h"

namespace platform::spooler {
namespace {


// The ports of the local port monitor, which every printer of this spooler prints to.
constexpr std::u16string_view kLocalPorts[] = {u"LPT1:", u"LPT2:", u"LPT3:", u"COM1:", u"COM2:",
                                               u"COM3:", u"COM4:", u"FILE:"};
constexpr std::u16string_view kPrintProcessor = u"WinPrint";
// The data types the WinPrint print processor takes.
constexpr std::u16string_view kDatatypes[] = {u"RAW", u"RAW [FF appended]", u"RAW [FF auto]", u"NT EMF 1.003",
                                              u"NT EMF 1.006", u"NT EMF 1.007", u"NT EMF 1.008", u"TEXT"};
constexpr DWORD kMinPriority = 1, kMaxPriority = 99;

// The host path of a Windows path of the machine, or an empty path when it names nothing there.
std::filesystem::path Host(std::u16string_view windowsPath) {
  std::filesystem::path host;
  return machine::ResolvePath(windowsPath, host) ? host : std::filesystem::path();
}

std::u16string Wide(LPCSTR text) { return text ? text::FromAnsi(text) : std::u16string(); }

template <size_t N>
bool OneOf(std::u16string_view value, const std::u16string_view (&names)[N]) {
  return std::any_of(std::begin(names), std::end(names), [&](std::u16string_view n) { return SameName(n, value); });
}

// The checks every installation call starts with: the local server and the local environment.
DWORD CheckTarget(LPCSTR server, LPCSTR environment) {
  if (server != nullptr && *server != '\0') return ERROR_INVALID_NAME;
  if (environment != nullptr && !SameName(Wide(environment), kEnvironment)) return ERROR_INVALID_ENVIRONMENT;
  return ERROR_SUCCESS;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

std::u16string FileName(std::u16string_view path) {
  const size_t slash = path.find_last_of(u"\\/");
  return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

// Copies one file of a driver into the version folder; a name without a folder is taken from the
// driver directory, where the installer puts the files before it adds the driver. A file that is
// already in the version folder and has no newer copy counts as present.
DWORD InstallDriverFile(std::u16string_view file, const std::u16string& driverDirectory,
                        const std::u16string& versionFolder, std::u16string& installedPath) {
  const std::u16string name = FileName(file);
  const std::u16string source = name.size() == file.size() ? driverDirectory + u"\\" + name : std::u16string(file);
  installedPath = versionFolder + u"\\" + name;
  const auto sourceHost = Host(source), targetHost = Host(installedPath);
  if (targetHost.empty()) return ERROR_PATH_NOT_FOUND;
  std::error_code error;
  if (sourceHost.empty() || !std::filesystem::is_regular_file(sourceHost, error)) {
    return std::filesystem::is_regular_file(targetHost, error) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  }
  if (!machine::IsWritable(targetHost)) return ERROR_ACCESS_DENIED;
  std::filesystem::create_directories(targetHost.parent_path(), error);
  std::filesystem::copy_file(sourceHost, targetHost, std::filesystem::copy_options::overwrite_existing, error);
  return error ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

// The strings of a MULTI_SZ list: each ended by a zero, the list by a second zero.
std::vector<std::u16string> MultiString(LPCSTR list) {
  std::vector<std::u16string> items;
  for (LPCSTR p = list; p != nullptr && *p != '\0'; p += std::strlen(p) + 1) items.push_back(Wide(p));
  return items;
}

// Packs the strings of a PRINTER_INFO record after the record itself and points its fields at them.
class RecordPacker {
 public:
  void Add(LPSTR* field, const std::u16string& text) {
    if (!text.empty()) strings_.push_back({field, text::ToAnsi(text)});
  }
  DWORD Size(DWORD recordSize) const {
    DWORD size = recordSize;
    for (const auto& s : strings_) size += static_cast<DWORD>(s.second.size() + 1);
    return size;
  }
  // `record` is the caller's buffer, `fields` the record filled in memory with the fields' pointers as
  // offsets into `record`.
  void Write(LPBYTE record, DWORD recordSize, BYTE* fields) const {
    DWORD at = recordSize;
    for (const auto& [field, text] : strings_) {
      LPSTR pointer = reinterpret_cast<LPSTR>(record + at);
      std::memcpy(reinterpret_cast<BYTE*>(field), &pointer, sizeof pointer);
      std::memcpy(record + at, text.c_str(), text.size() + 1);
      at += static_cast<DWORD>(text.size() + 1);
    }
    std::memcpy(record, fields, recordSize);
  }

 private:
  std::vector<std::pair<LPSTR*, std::string>> strings_;
};

}  // namespace
}  // namespace platform::spooler

using namespace platform::spooler;

WINBASEAPI BOOL WINAPI AddMonitorA(LPSTR pName, DWORD Level, LPBYTE pMonitors) {
  if (Level != 2) return Fail(ERROR_INVALID_LEVEL);
  const auto* info = reinterpret_cast<const MONITOR_INFO_2A*>(pMonitors);
  if (info == nullptr || info->pName == nullptr || *info->pName == '\0' || info->pDLLName == nullptr ||
      *info->pDLLName == '\0') {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  if (DWORD error = CheckTarget(pName, info->pEnvironment)) return Fail(error);
  // The spooler loads a monitor from the system directory.
  const std::u16string library = FileName(Wide(info->pDLLName));
  const auto host = Host(platform::machine::GetSettings().systemDirectory + u"\\" + library);
  std::error_code ignored;
  if (host.empty() || !std::filesystem::is_regular_file(host, ignored)) return Fail(ERROR_MOD_NOT_FOUND);
  DWORD error = ERROR_SUCCESS;
  UpdateState([&](State& state) {
    if (FindMonitor(state, Wide(info->pName)) != nullptr) {
      error = ERROR_PRINT_MONITOR_ALREADY_INSTALLED;
      return false;
    }
    state.monitors.push_back({Wide(info->pName), std::u16string(kEnvironment), library});
    return true;
  });
  return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

WINBASEAPI BOOL WINAPI DeleteMonitorA(LPSTR pName, LPSTR pEnvironment, LPSTR pMonitorName) {
  if (DWORD error = CheckTarget(pName, pEnvironment)) return Fail(error);
  if (pMonitorName == nullptr || *pMonitorName == '\0') return Fail(ERROR_INVALID_PARAMETER);
  const std::u16string name = Wide(pMonitorName);
  const bool removed = UpdateState([&](State& state) {
    return std::erase_if(state.monitors, [&](const Monitor& m) { return SameName(m.name, name); }) != 0;
  });
  return removed ? TRUE : Fail(ERROR_UNKNOWN_PRINT_MONITOR);
}

// Levels 2 and 3 (DRIVER_INFO_2 is the first part of DRIVER_INFO_3). The driver's files are copied into
// the driver directory's version folder ("...\w32x86\3"), where the driver record then names them.
WINBASEAPI BOOL WINAPI AddPrinterDriverA(LPSTR pName, DWORD Level, LPBYTE pDriverInfo) {
  if (Level != 2 && Level != 3) return Fail(ERROR_INVALID_LEVEL);
  const auto* info = reinterpret_cast<const DRIVER_INFO_3A*>(pDriverInfo);
  if (info == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (DWORD error = CheckTarget(pName, info->pEnvironment)) return Fail(error);
  const auto empty = [](LPCSTR text) { return text == nullptr || *text == '\0'; };
  if (empty(info->pName) || empty(info->pDriverPath) || empty(info->pDataFile) || empty(info->pConfigFile) ||
      info->cVersion > 3) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  Driver driver;
  driver.name = Wide(info->pName);
  driver.environment = kEnvironment;
  driver.version = info->cVersion;
  if (Level == 3) {
    driver.monitor = Wide(info->pMonitorName);
    driver.defaultDataType = Wide(info->pDefaultDataType);
  }
  if (!driver.monitor.empty()) {
    State state = ReadState();
    if (FindMonitor(state, driver.monitor) == nullptr) return Fail(ERROR_UNKNOWN_PRINT_MONITOR);
  }

  const std::u16string driverDirectory = DriverDirectory();
  const std::u16string versionFolder = driverDirectory + u"\\" + std::u16string(1, char16_t(u'0' + driver.version));
  const std::pair<LPCSTR, std::u16string*> mainFiles[] = {{info->pDriverPath, &driver.driverPath},
                                                          {info->pDataFile, &driver.dataFile},
                                                          {info->pConfigFile, &driver.configFile},
                                                          {Level == 3 ? info->pHelpFile : nullptr, &driver.helpFile}};
  for (const auto& [file, installed] : mainFiles) {
    if (empty(file)) continue;
    if (DWORD error = InstallDriverFile(Wide(file), driverDirectory, versionFolder, *installed)) return Fail(error);
  }
  for (const std::u16string& file : Level == 3 ? MultiString(info->pDependentFiles) : std::vector<std::u16string>()) {
    std::u16string installed;
    if (DWORD error = InstallDriverFile(file, driverDirectory, versionFolder, installed)) return Fail(error);
    driver.dependentFiles.push_back(FileName(file));
  }
  // Adding a driver that exists replaces it, as an upgrade does.
  UpdateState([&](State& state) {
    std::erase_if(state.drivers, [&](const Driver& d) { return SameName(d.name, driver.name); });
    state.drivers.push_back(driver);
    return true;
  });
  return TRUE;
}

WINBASEAPI HANDLE WINAPI AddPrinterA(LPSTR pName, DWORD Level, LPBYTE pPrinter) {
  const auto fail = [](DWORD error) -> HANDLE {
    SetLastError(error);
    return nullptr;
  };
  if (Level != 2) return fail(ERROR_INVALID_LEVEL);
  const auto* info = reinterpret_cast<const PRINTER_INFO_2A*>(pPrinter);
  if (info == nullptr) return fail(ERROR_INVALID_PARAMETER);
  if (DWORD error = CheckTarget(pName, nullptr)) return fail(error);
  Printer printer;
  printer.name = Wide(info->pPrinterName);
  if (printer.name.empty() || printer.name.find_first_of(u",\\!") != std::u16string::npos) {
    return fail(ERROR_INVALID_PRINTER_NAME);
  }
  printer.driver = Wide(info->pDriverName);
  printer.port = Wide(info->pPortName);
  printer.printProcessor = Wide(info->pPrintProcessor);
  printer.datatype = info->pDatatype ? Wide(info->pDatatype) : u"RAW";
  if (!OneOf(printer.port, kLocalPorts)) return fail(ERROR_UNKNOWN_PORT);
  if (!SameName(printer.printProcessor, kPrintProcessor)) return fail(ERROR_UNKNOWN_PRINTPROCESSOR);
  if (!OneOf(printer.datatype, kDatatypes)) return fail(ERROR_INVALID_DATATYPE);
  if (info->Priority < kMinPriority || info->Priority > kMaxPriority) return fail(ERROR_INVALID_PRIORITY);
  printer.shareName = Wide(info->pShareName);
  printer.comment = Wide(info->pComment);
  printer.location = Wide(info->pLocation);
  printer.sepFile = Wide(info->pSepFile);
  printer.parameters = Wide(info->pParameters);
  printer.attributes = info->Attributes;
  printer.priority = info->Priority;
  printer.defaultPriority = info->DefaultPriority;
  printer.startTime = info->StartTime;
  printer.untilTime = info->UntilTime;
  printer.status = info->Status;

  DWORD error = ERROR_SUCCESS;
  UpdateState([&](State& state) {
    if (FindDriver(state, printer.driver) == nullptr) error = ERROR_UNKNOWN_PRINTER_DRIVER;
    else if (FindPrinter(state, printer.name) != nullptr) error = ERROR_PRINTER_ALREADY_EXISTS;
    if (error != ERROR_SUCCESS) return false;
    state.printers.push_back(printer);
    return true;
  });
  if (error != ERROR_SUCCESS) return fail(error);
  return AddHandle({printer.name, PRINTER_ALL_ACCESS});
}

WINBASEAPI BOOL WINAPI OpenPrinterA(LPSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSA pDefault) {
  std::u16string name = Wide(pPrinterName);
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, pDefault ? pDefault->DesiredAccess : 0};
  return OpenPrinterW(pPrinterName ? name.data() : nullptr, phPrinter, pDefault ? &defaults : nullptr);
}

// Levels 1 and 2, with the record's strings packed after it in the caller's buffer.
WINBASEAPI BOOL WINAPI GetPrinterA(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf, LPDWORD pcbNeeded) {
  const auto handle = LookupHandle(hPrinter);
  if (!handle || handle->printer.empty()) return Fail(ERROR_INVALID_HANDLE);
  if (Level == 0 || Level > 9) return Fail(ERROR_INVALID_LEVEL);
  if (Level > 2) return Fail(ERROR_CALL_NOT_IMPLEMENTED);
  if (pcbNeeded == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  State state = ReadState();
  const Printer* printer = FindPrinter(state, handle->printer);
  if (printer == nullptr) return Fail(ERROR_INVALID_PRINTER_NAME);

  RecordPacker packer;
  PRINTER_INFO_1A one{};
  PRINTER_INFO_2A two{};
  if (Level == 1) {
    one.Flags = 0x00800000;  // PRINTER_ENUM_ICON8: a printer, as Windows marks it
    packer.Add(&one.pDescription, printer->name + u"," + printer->driver + u"," + printer->location);
    packer.Add(&one.pName, printer->name);
    packer.Add(&one.pComment, printer->comment);
  } else {
    const std::pair<LPSTR*, const std::u16string*> strings[] = {
        {&two.pPrinterName, &printer->name},   {&two.pShareName, &printer->shareName},
        {&two.pPortName, &printer->port},      {&two.pDriverName, &printer->driver},
        {&two.pComment, &printer->comment},    {&two.pLocation, &printer->location},
        {&two.pSepFile, &printer->sepFile},    {&two.pPrintProcessor, &printer->printProcessor},
        {&two.pDatatype, &printer->datatype},  {&two.pParameters, &printer->parameters}};
    for (const auto& [field, text] : strings) packer.Add(field, *text);
    two.Attributes = printer->attributes;
    two.Priority = printer->priority;
    two.DefaultPriority = printer->defaultPriority;
    two.StartTime = printer->startTime;
    two.UntilTime = printer->untilTime;
    two.Status = printer->status;
    two.cJobs = static_cast<DWORD>(std::count_if(state.jobs.begin(), state.jobs.end(),
                                                 [&](const Job& j) { return SameName(j.printer, printer->name); }));
  }
  const DWORD recordSize = Level == 1 ? sizeof one : sizeof two;
  *pcbNeeded = packer.Size(recordSize);
  if (cbBuf < *pcbNeeded) return Fail(ERROR_INSUFFICIENT_BUFFER);
  if (pPrinter == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  packer.Write(pPrinter, recordSize, Level == 1 ? reinterpret_cast<BYTE*>(&one) : reinterpret_cast<BYTE*>(&two));
  return TRUE;
}

// Removes the printer with its queued jobs. The handle stays open until ClosePrinter, but names
// nothing any more.
WINBASEAPI BOOL WINAPI DeletePrinter(HANDLE hPrinter) {
  const auto handle = LookupHandle(hPrinter);
  if (!handle || handle->printer.empty()) return Fail(ERROR_INVALID_HANDLE);
  if ((handle->access & DELETE) == 0) return Fail(ERROR_ACCESS_DENIED);
  const bool removed = UpdateState([&](State& state) {
    if (FindPrinter(state, handle->printer) == nullptr) return false;
    std::erase_if(state.printers, [&](const Printer& p) { return SameName(p.name, handle->printer); });
    std::erase_if(state.jobs, [&](const Job& j) { return SameName(j.printer, handle->printer); });
    return true;
  });
  return removed ? TRUE : Fail(ERROR_INVALID_PRINTER_NAME);
}

namespace platform {

std::vector<SpoolerMonitor> SpoolerMonitors() {
  std::vector<SpoolerMonitor> monitors;
  for (const Monitor& m : ReadState().monitors) monitors.push_back({m.name, m.library});
  return monitors;
}

std::vector<SpoolerDriver> SpoolerDrivers() {
  std::vector<SpoolerDriver> drivers;
  for (const Driver& d : ReadState().drivers) {
    drivers.push_back({d.name, d.monitor, d.driverPath, d.dataFile, d.configFile, d.helpFile, d.dependentFiles});
  }
  return drivers;
}

}  // namespace platform
