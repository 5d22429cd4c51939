// The simulated PC that every Windows call of the process works in: one host folder holding drive C:,
// the machine's settings and the text files that keep the registry, spooler and device state.
#pragma once

#include <platform/machine.h>  // the extensions (UseMachine, HostPath, ...) that go with these
#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::machine {

struct Settings {
  LANGID language = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);  // GetSystemDefaultLangID
  UINT codePage = 1252;                                            // the ANSI code page of A functions
  DWORD majorVersion = 5, minorVersion = 1, buildNumber = 2600;    // GetVersionEx
  std::string servicePack = "Service Pack 3";
  std::u16string windowsDirectory = u"C:\\WINDOWS";
  std::u16string systemDirectory = u"C:\\WINDOWS\\system32";
  std::vector<std::u16string> readOnlyFolders;  // Windows paths of folders that refuse writes
};

// The machine's folder on the host. The first use selects it (ORVELLA_MACHINE, or the default folder)
// and creates a fresh machine there when it is missing. The reference stays valid when another
// machine is selected later.
DECLSPEC_EXPORT const std::filesystem::path& Root();

// The machine's settings, read from its folder.
DECLSPEC_EXPORT Settings GetSettings();

// Resolves a Windows path ("c:\\RGB1.raw", "C:/WINDOWS\\system32\\x.dll", "relative\\name") to the host
// path inside the machine. Existing components are matched without regard to case; the rest keep the
// spelling given. Relative paths start at the current directory. FALSE with ERROR_PATH_NOT_FOUND /
// ERROR_INVALID_NAME for paths that cannot name anything in the machine (unknown drive, UNC, ...).
DECLSPEC_EXPORT BOOL ResolvePath(std::u16string_view windowsPath, std::filesystem::path& hostPath);

// FALSE when the machine refuses writes at this host path (a folder made read-only, or inside one).
DECLSPEC_EXPORT bool IsWritable(const std::filesystem::path& hostPath);

// Reads a state file of the machine ("spooler.ini", "registry.ini", "printer/state.ini", named
// relative to the machine folder with '/') under a shared lock: empty when it does not exist or the
// name would leave the machine folder.
DECLSPEC_EXPORT std::string ReadStateFile(std::string_view name);

// Rewrites a state file under an exclusive lock held across the read, the edit and the write, so that
// several programs of one machine can share it. `edit` gets the current text (empty when missing) and
// returns false to leave the file as it was.
DECLSPEC_EXPORT bool UpdateStateFile(std::string_view name, const std::function<bool(std::string&)>& edit);

// Replaces the machine's settings (kept in machine.ini).
DECLSPEC_EXPORT void PutSettings(const Settings& settings);

// The full Windows path ("C:\\dir\\name") that a path names, after the current directory, "." and
// ".." are applied; "." and ".." never climb above C:\\. FALSE with the error of ResolvePath.
DECLSPEC_EXPORT BOOL FullWindowsPath(std::u16string_view windowsPath, std::u16string& fullPath);

// The process's current directory, a full Windows path without a trailing backslash except for the
// root ("C:\\"). SetCurrentFolder takes a full path of an existing folder.
DECLSPEC_EXPORT std::u16string CurrentFolder();
DECLSPEC_EXPORT void SetCurrentFolder(std::u16string fullPath);

}  // namespace platform::machine
