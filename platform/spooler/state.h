// The spooler's state as it lives in the machine's "spooler.ini": printers with their driver, port and
// printer data, and the queued jobs. Every call reads the file afresh (or edits it under the machine's
// lock), so that the monitor, the installer, the tools and the cli of one machine see one spooler.
//
// The file reads like a .reg export:
//
//   [Spooler]
//   NextJobId=4
//
//   [Printer]
//   Name="Orvella 300 Series"
//   Driver="Orvella 300 Series"
//   Port="LPT1:"
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

struct DataValue {
  std::u16string name;
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;
};

struct Printer {
  std::u16string name;
  std::u16string driver;
  std::u16string port;
  std::vector<DataValue> data;
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
DataValue* FindData(Printer& printer, std::u16string_view name);
Job* FindJob(State& state, DWORD id);

}  // namespace platform::spooler
