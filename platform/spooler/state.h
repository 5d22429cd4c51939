// The spooler's state as it lives in the machine's "spooler.ini": printers with their driver, port and
// printer data, and the queued jobs. Every call reads the file afresh (or edits it under the machine's
// lock), so that the monitor, the installer, the tools and the cli of one machine see one spooler.
//
// The file reads like a .reg export:
//
//   [Spooler]
//   NextJobId=4
//
//   [Monitor]
//   Name="Orvella Language Monitor"
//   Environment="Windows NT x86"
//   Library="DovaMon.dll"
//
//   [Driver]
//   Name="Orvella 300 Series"
//   Environment="Windows NT x86"
//   Version=3
//   DriverPath="C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\3\\DovaRndr.dll"
//   DependentFiles="DovaUm.dll","DovaMon.dll"
//   Monitor="Orvella Language Monitor"
//   ...
//
//   [Printer]
//   Name="Orvella 300 Series"
//   Driver="Orvella 300 Series"
//   Port="LPT1:"
//   PrintProcessor="WinPrint"
//   Attributes=2560
//   ...
//   Data "Progress"=dword:00000000
//   Data "Comment"="any text"
//   Data "Table"=hex:01,02,03
//   Data "Other"=hex(7):41,00,00,00,00,00
//
//   [Job]
//   Id=3
//   Printer="Orvella 300 Series"
//   Document="photo.png"
//   Paused=0
//   Commands=pause,resume
//
// Strings are UTF-8 in double quotes with \\, \", \n, \r, \t and \xHH escapes. A REG_DWORD of four
// bytes is written as dword:, a well-formed REG_SZ as a string, everything else as hex(type): bytes,
// so every value reads back with exactly its type and bytes. Sections the spooler does not know are
// kept as they are.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::spooler {

// The one environment this spooler serves, and its printer-driver directory
// ("C:\\WINDOWS\\system32\\spool\\drivers\\w32x86" on a standard machine).
inline constexpr std::u16string_view kEnvironment = u"Windows NT x86";
std::u16string DriverDirectory();

struct DataValue {
  std::u16string name;
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;
};

struct Printer {
  std::u16string name;
  std::u16string driver;
  std::u16string port;
  std::u16string shareName, comment, location, sepFile, printProcessor, datatype, parameters;
  DWORD attributes = 0, priority = 1, defaultPriority = 0, startTime = 0, untilTime = 0, status = 0;
  std::vector<DataValue> data;
};

struct Monitor {
  std::u16string name;
  std::u16string environment;
  std::u16string library;  // file name in the system directory
};

struct Driver {
  std::u16string name;
  std::u16string environment;
  DWORD version = 3;
  // Full paths of the installed files, in the driver directory's version folder.
  std::u16string driverPath, dataFile, configFile, helpFile;
  std::vector<std::u16string> dependentFiles;
  std::u16string monitor, defaultDataType;
};

struct Job {
  DWORD id = 0;
  std::u16string printer;
  std::u16string document;
  bool paused = false;
  std::vector<std::string> commands;  // the job controls applied to it, in order
};

struct State {
  DWORD nextJobId = 1;
  std::vector<Monitor> monitors;
  std::vector<Driver> drivers;
  std::vector<Printer> printers;
  std::vector<Job> jobs;
  std::string otherSections;  // sections of other kinds, verbatim
};

State ParseState(std::string_view text);
std::string FormatState(const State& state);

// The state of the machine's spooler, and a locked read-edit-write of it (`edit` returns false to
// leave the file unchanged).
State ReadState();
bool UpdateState(const std::function<bool(State&)>& edit);

// Printer names are matched without regard to case, as Windows does.
bool SameName(std::u16string_view a, std::u16string_view b);
Printer* FindPrinter(State& state, std::u16string_view name);
Monitor* FindMonitor(State& state, std::u16string_view name);
Driver* FindDriver(State& state, std::u16string_view name);
DataValue* FindData(Printer& printer, std::u16string_view name);
Job* FindJob(State& state, DWORD id);

}  // namespace platform::spooler
