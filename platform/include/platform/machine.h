// Choosing and shaping the simulated PC: for tests, sim/ and cli/ (the system's code never calls these).
//
// The machine is a host folder: drive_c/ (C:\ with WINDOWS, WINDOWS\system32, the spooler's driver
// folders and Program Files), machine.ini (language, code page, version, directories and the folders
// that refuse writes), the text files of the registry, spooler and devices, and printer/ with the
// emulated printer's output (printer/sheets/).
//
// Which folder: the last UseMachine of the process; else the environment's ORVELLA_MACHINE; else
// $HOME/.orvella/machine (/tmp/orvella-machine without HOME). A missing folder, or one without
// machine.ini, becomes a fresh Windows XP-like machine: NT 5.1.2600 "Service Pack 3", English
// (0x0409), code page 1252.
//
// A process starts with the current directory C:\, or, when it was started on the host inside the
// machine's drive_c/, in that folder (cd machine/drive_c/pkg && OVDrvInst starts in C:\pkg), as a
// program started from a folder on Windows does. SetCurrentDirectory moves it; UseMachine chooses it
// again for the new machine.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

// Selects the machine folder (created when missing) for every later call of the process, from any
// thread. Tests call it first, and may switch to a fresh folder per test.
DECLSPEC_EXPORT void UseMachine(const std::filesystem::path& folder);

// The machine folder in use (selecting the default one on first use).
DECLSPEC_EXPORT std::filesystem::path MachineFolder();

// Where a Windows path ("C:\\WINDOWS\\system32\\x.dll", relative to the current directory, / or \)
// lands on the host: existing folders and files are matched without regard to case. Empty when the
// path cannot name anything in the machine (another drive, a network path, a forbidden character).
DECLSPEC_EXPORT std::filesystem::path HostPath(std::u16string_view windowsPath);

// Makes the machine refuse (writable = false) or accept writes in a folder and everything below it,
// as a read-only share or a locked-down system directory would: creating, replacing, writing or
// deleting files there fails with ERROR_ACCESS_DENIED. Kept in machine.ini. False when the path
// cannot name a folder of the machine.
DECLSPEC_EXPORT bool SetFolderWritable(std::u16string_view windowsFolder, bool writable);

// The language and ANSI code page the machine reports (GetSystemDefaultLangID, GetUserDefaultLangID,
// GetACP) and uses for every A function: e.g. 0x0404 with 950 for Traditional Chinese.
DECLSPEC_EXPORT void SetMachineLanguage(LANGID language, UINT codePage);

// The version GetVersionEx reports.
DECLSPEC_EXPORT void SetMachineVersion(DWORD major, DWORD minor, DWORD build, std::string_view servicePack);

}  // namespace platform
