// Shaping the machine's print spooler from tests, sim/ and cli/: printers, jobs and printer data, as
// the installer and the printer driver would leave them. The state lives in the machine (spooler.ini)
// and is shared with every program of it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#pragma GCC visibility push(default)
namespace platform {

struct SpoolerPrinter {
  std::u16string name;
  std::u16string driver;
  std::u16string port;
};

struct SpoolerJob {
  DWORD id = 0;
  std::u16string printer;
  std::u16string document;
  bool paused = false;
  std::vector<std::string> commands;  // job controls applied by SetJob: "pause", "resume", "restart", ...
};

struct PrinterDataValue {
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;
};

// Adds a printer directly, without the checks of AddPrinter (its driver need not be installed). False
// when a printer of that name (compared without regard to case) exists or the name is empty.
bool AddSpoolerPrinter(const SpoolerPrinter& printer);
std::vector<SpoolerPrinter> SpoolerPrinters();

// Queues a job on a printer; its new id, or 0 when there is no such printer.
DWORD AddSpoolerJob(std::u16string_view printer, std::u16string_view document);
// The jobs of one printer, or of all printers when `printer` is empty, in the order they were added.
std::vector<SpoolerJob> SpoolerJobs(std::u16string_view printer = {});

// Monitors added with AddMonitor: the library is a file name in the system directory.
struct SpoolerMonitor {
  std::u16string name;
  std::u16string library;
};
std::vector<SpoolerMonitor> SpoolerMonitors();

// Drivers added with AddPrinterDriver: full Windows paths of the installed files, the names of the
// dependent files (installed next to them) and the driver's language monitor.
struct SpoolerDriver {
  std::u16string name;
  std::u16string monitor;
  std::u16string driverPath, dataFile, configFile, helpFile;
  std::vector<std::u16string> dependentFiles;
};
std::vector<SpoolerDriver> SpoolerDrivers();

std::optional<PrinterDataValue> ReadPrinterData(std::u16string_view printer, std::u16string_view valueName);
// False when there is no such printer.
bool WritePrinterData(std::u16string_view printer, std::u16string_view valueName, DWORD type,
                      std::vector<BYTE> bytes);

}  // namespace platform
#pragma GCC visibility pop
