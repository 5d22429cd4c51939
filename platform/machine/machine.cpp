#include "machine/machine.h"

#include "kernel/text.h"
#include "platform/machine.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <list>
#include <mutex>
#include <sstream>

namespace platform::machine {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kSettingsFile = "machine.ini";
constexpr std::u16string_view kRoot = u"C:\\";

// The folders of a fresh machine, below its host folder.
constexpr std::string_view kFreshFolders[] = {
    "drive_c/WINDOWS/system32/drivers",
    "drive_c/WINDOWS/system32/spool/drivers/w32x86/3",
    "drive_c/WINDOWS/system32/spool/PRINTERS",
    "drive_c/WINDOWS/inf",
    "drive_c/WINDOWS/Temp",
    "drive_c/Program Files",
    "printer/sheets",
};

// The selected machine. Roots are never freed, so that Root() can hand out references that stay
// valid while another thread switches machines.
struct Selection {
  std::mutex lock;
  std::list<fs::path> roots;
  const fs::path* root = nullptr;
  std::u16string currentFolder{kRoot};
  // Settings as last read, with what identified the file then.
  const fs::path* cachedRoot = nullptr;
  fs::file_time_type cachedTime;
  std::uintmax_t cachedSize = 0;
  Settings cached;
};

Selection& State() {
  static Selection* selection = new Selection;  // used by static destructors of other modules
  return *selection;
}

fs::path DefaultFolder() {
  if (const char* chosen = std::getenv("ORVELLA_MACHINE"); chosen && *chosen) return fs::absolute(chosen);
  if (const char* home = std::getenv("HOME"); home && *home) return fs::path(home) / ".orvella" / "machine";
  return "/tmp/orvella-machine";
}

// --- locking: flock on "<name>.lock" beside the state file, shared by every process of the machine

class FileLock {
 public:
  FileLock(const fs::path& file, bool exclusive) {
    fs::path lockPath = file;
    lockPath += ".lock";
    fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      while (::flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0 && errno == EINTR) {
      }
    }
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing the descriptor releases the lock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_ = -1;
};

// A state file is named relative to the machine folder ("spooler.ini", "printer/state.ini"): no
// empty, "." or ".." parts, no backslashes, so it never lands outside the machine.
bool ValidStateName(std::string_view name) {
  if (name.empty() || name.find('\\') != std::string_view::npos || name.find('\0') != std::string_view::npos)
    return false;
  while (true) {
    size_t end = name.find('/');
    std::string_view part = name.substr(0, end);
    if (part.empty() || part == "." || part == "..") return false;
    if (end == std::string_view::npos) return true;
    name.remove_prefix(end + 1);
  }
}

std::string ReadWhole(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return std::move(text).str();
}

bool WriteWhole(const fs::path& file, std::string_view text) {
  fs::path temporary = file;
  temporary += ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out) return false;
  }
  std::error_code error;
  fs::rename(temporary, file, error);  // readers see the old text or the new, never half of it
  return !error;
}

std::string ReadState(const fs::path& root, std::string_view name) {
  fs::path file = root / name;
  FileLock guard(file, false);
  return ReadWhole(file);
}

bool UpdateState(const fs::path& root, std::string_view name, const std::function<bool(std::string&)>& edit) {
  fs::path file = root / name;
  std::error_code error;
  fs::create_directories(file.parent_path(), error);
  FileLock guard(file, true);
  std::string text = ReadWhole(file);
  if (!edit(text)) return false;
  return WriteWhole(file, text);
}

// --- machine.ini: a small ini file in UTF-8, written and read only here

std::string FormatSettings(const Settings& s) {
  char language[8];
  std::snprintf(language, sizeof language, "0x%04X", static_cast<unsigned>(s.language));
  std::ostringstream out;
  out << "; The simulated PC: what its system calls report. Edit with care; tests use the platform\n"
         "; extensions (SetMachineLanguage, SetMachineVersion, SetFolderWritable).\n"
      << "[Machine]\n"
      << "Language=" << language << "\n"
      << "CodePage=" << s.codePage << "\n"
      << "Version=" << s.majorVersion << "." << s.minorVersion << "." << s.buildNumber << "\n"
      << "ServicePack=" << s.servicePack << "\n"
      << "WindowsDirectory=" << text::ToUtf8(s.windowsDirectory) << "\n"
      << "SystemDirectory=" << text::ToUtf8(s.systemDirectory) << "\n"
      << "[ReadOnlyFolders]\n";
  for (const auto& folder : s.readOnlyFolders) out << "Folder=" << text::ToUtf8(folder) << "\n";
  return std::move(out).str();
}

template <class T>
void ParseNumber(std::string_view text, T& value) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  T parsed{};
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed, base);
  if (error == std::errc() && end == text.data() + text.size()) value = parsed;
}

// Unknown or malformed lines keep the defaults: a damaged file still gives a working machine.
Settings ParseSettings(std::string_view text) {
  Settings s;
  std::string section;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      section = std::string(line.substr(1, line.find(']') - 1));
      continue;
    }
    size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    std::string_view key = line.substr(0, equals), value = line.substr(equals + 1);
    if (section == "ReadOnlyFolders") {
      if (key == "Folder" && !value.empty()) s.readOnlyFolders.push_back(text::FromUtf8(value));
    } else if (key == "Language") {
      ParseNumber(value, s.language);
    } else if (key == "CodePage") {
      ParseNumber(value, s.codePage);
    } else if (key == "Version") {
      size_t dot1 = value.find('.'), dot2 = value.find('.', dot1 == std::string_view::npos ? dot1 : dot1 + 1);
      if (dot1 != std::string_view::npos && dot2 != std::string_view::npos) {
        ParseNumber(value.substr(0, dot1), s.majorVersion);
        ParseNumber(value.substr(dot1 + 1, dot2 - dot1 - 1), s.minorVersion);
        ParseNumber(value.substr(dot2 + 1), s.buildNumber);
      }
    } else if (key == "ServicePack") {
      s.servicePack = std::string(value.substr(0, 127));
    } else if (key == "WindowsDirectory" && !value.empty()) {
      s.windowsDirectory = text::FromUtf8(value);
    } else if (key == "SystemDirectory" && !value.empty()) {
      s.systemDirectory = text::FromUtf8(value);
    }
  }
  return s;
}

void CreateFreshMachine(const fs::path& root) {
  std::error_code error;
  for (auto folder : kFreshFolders) fs::create_directories(root / folder, error);
  UpdateState(root, kSettingsFile, [](std::string& text) {
    if (!text.empty()) return false;  // another process made it first
    text = FormatSettings(Settings{});
    return true;
  });
}

// A program started on the host inside the machine's drive starts in that folder, as one started
// from a folder on Windows does; any other starts at C:\.
std::u16string StartingFolder(const fs::path& root) {
  std::error_code error;
  fs::path drive = fs::weakly_canonical(root / "drive_c", error);
  if (error) return std::u16string(kRoot);
  fs::path here = fs::current_path(error);
  if (error) return std::u16string(kRoot);
  fs::path below = here.lexically_relative(drive);
  if (below.empty() || *below.begin() == "..") return std::u16string(kRoot);
  std::u16string folder(kRoot);
  for (const auto& part : below) {
    if (part == ".") continue;
    if (folder.size() > kRoot.size()) folder += u'\\';
    folder += text::FromUtf8(part.string());
  }
  return folder;
}

const fs::path& Select(Selection& state, const fs::path& folder) {
  state.roots.push_back(folder);
  state.root = &state.roots.back();
  state.cachedRoot = nullptr;
  if (!fs::exists(folder / kSettingsFile)) CreateFreshMachine(folder);
  state.currentFolder = StartingFolder(folder);
  return *state.root;
}

// --- paths

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool IsForbidden(char16_t c) {
  return c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|' || c == u'?' || c == u'*';
}

std::vector<std::u16string> SplitFolders(std::u16string_view full) {
  std::vector<std::u16string> parts;
  full.remove_prefix(std::min(full.size(), kRoot.size()));
  while (!full.empty()) {
    size_t end = full.find(u'\\');
    if (end > 0) parts.emplace_back(full.substr(0, end));
    full.remove_prefix(end == std::u16string_view::npos ? full.size() : end + 1);
  }
  return parts;
}

// The host entry of `folder` whose name matches `name` without regard to case; the exact spelling
// wins when several match.
bool FindEntry(const fs::path& folder, const std::u16string& name, fs::path& found) {
  fs::path exact = folder / text::ToUtf8(name);
  std::error_code error;
  if (fs::exists(fs::symlink_status(exact, error))) {
    found = exact;
    return true;
  }
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (text::EqualNoCase(text::FromUtf8(it->path().filename().string()), name)) {
      found = it->path();
      return true;
    }
  }
  return false;
}

bool SamePathNoCase(const fs::path& a, const fs::path& b, bool allowBelow) {
  auto i = a.begin(), j = b.begin();
  for (; i != a.end() && j != b.end(); ++i, ++j) {
    if (i->empty() && j->empty()) continue;
    if (!text::EqualNoCase(text::FromUtf8(i->string()), text::FromUtf8(j->string()))) return false;
  }
  return j == b.end() && (i == a.end() || allowBelow);
}

}  // namespace

const fs::path& Root() {
  Selection& state = State();
  std::lock_guard guard(state.lock);
  if (state.root) return *state.root;
  return Select(state, DefaultFolder());
}

Settings GetSettings() {
  const fs::path& root = Root();
  fs::path file = root / kSettingsFile;
  std::error_code error;
  auto time = fs::last_write_time(file, error);
  auto size = error ? 0 : fs::file_size(file, error);
  Selection& state = State();
  {
    std::lock_guard guard(state.lock);
    if (!error && state.cachedRoot == &root && state.cachedTime == time && state.cachedSize == size)
      return state.cached;
  }
  Settings settings = ParseSettings(ReadState(root, kSettingsFile));
  std::lock_guard guard(state.lock);
  if (!error) {
    state.cachedRoot = &root;
    state.cachedTime = time;
    state.cachedSize = size;
    state.cached = settings;
  }
  return settings;
}

void PutSettings(const Settings& settings) {
  UpdateState(Root(), kSettingsFile, [&](std::string& text) {
    text = FormatSettings(settings);
    return true;
  });
  Selection& state = State();
  std::lock_guard guard(state.lock);
  state.cachedRoot = nullptr;
}

std::u16string CurrentFolder() {
  Root();
  Selection& state = State();
  std::lock_guard guard(state.lock);
  return state.currentFolder;
}

void SetCurrentFolder(std::u16string fullPath) {
  Root();
  Selection& state = State();
  std::lock_guard guard(state.lock);
  state.currentFolder = std::move(fullPath);
}

BOOL FullWindowsPath(std::u16string_view path, std::u16string& fullPath) {
  std::u16string given(path);
  for (auto& c : given)
    if (c == u'/') c = u'\\';
  std::u16string_view rest = given;
  // "\\?\C:\..." and "\\.\C:\..." name ordinary files; any other "\\" path is a network share or a
  // device, which the machine's drive does not hold.
  if (rest.starts_with(u"\\\\?\\") || rest.starts_with(u"\\\\.\\")) rest.remove_prefix(4);
  bool relative = true;
  if (rest.size() >= 2 && rest[1] == u':') {
    if (text::FoldCase(rest[0]) != u'C') {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return FALSE;
    }
    rest.remove_prefix(2);
    relative = rest.empty() || !IsSeparator(rest[0]);
  } else if (rest.starts_with(u"\\\\") || rest.size() < given.size()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  } else if (!rest.empty() && IsSeparator(rest[0])) {
    relative = false;
  }
  if (given.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  std::vector<std::u16string> parts;
  if (relative) parts = SplitFolders(CurrentFolder());
  while (!rest.empty()) {
    size_t end = rest.find(u'\\');
    std::u16string_view part = rest.substr(0, end);
    rest.remove_prefix(end == std::u16string_view::npos ? rest.size() : end + 1);
    if (part.empty() || part == u".") continue;
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    // Windows drops trailing dots and blanks of a name: "name." and "name " are "name".
    while (!part.empty() && (part.back() == u'.' || part.back() == u' ')) part.remove_suffix(1);
    if (part.empty()) continue;
    for (char16_t c : part) {
      if (IsForbidden(c)) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
      }
    }
    if (part.size() > 255) {
      SetLastError(ERROR_INVALID_NAME);
      return FALSE;
    }
    parts.emplace_back(part);
  }
  fullPath.assign(kRoot);
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) fullPath += u'\\';
    fullPath += parts[i];
  }
  return TRUE;
}

BOOL ResolvePath(std::u16string_view windowsPath, fs::path& hostPath) {
  std::u16string full;
  if (!FullWindowsPath(windowsPath, full)) return FALSE;
  fs::path host = Root() / "drive_c";
  bool matching = true;
  for (const auto& part : SplitFolders(full)) {
    fs::path found;
    if (matching && FindEntry(host, part, found)) {
      host = found;
    } else {
      matching = false;
      host /= text::ToUtf8(part);
    }
  }
  hostPath = host;
  return TRUE;
}

bool IsWritable(const fs::path& hostPath) {
  fs::path target = hostPath.lexically_normal();
  for (const auto& folder : GetSettings().readOnlyFolders) {
    fs::path refused;
    if (ResolvePath(folder, refused) && SamePathNoCase(target, refused.lexically_normal(), true)) return false;
  }
  return true;
}

std::string ReadStateFile(std::string_view name) {
  if (!ValidStateName(name)) return {};
  return ReadState(Root(), name);
}

bool UpdateStateFile(std::string_view name, const std::function<bool(std::string&)>& edit) {
  if (!ValidStateName(name)) return false;
  return UpdateState(Root(), name, edit);
}

}  // namespace platform::machine

// --- extensions for tests, sim/ and cli/

namespace platform {

void UseMachine(const std::filesystem::path& folder) {
  auto& state = machine::State();
  std::lock_guard guard(state.lock);
  machine::Select(state, std::filesystem::absolute(folder));
}

std::filesystem::path MachineFolder() { return machine::Root(); }

std::filesystem::path HostPath(std::u16string_view windowsPath) {
  std::filesystem::path host;
  DWORD saved = GetLastError();
  BOOL ok = machine::ResolvePath(windowsPath, host);
  SetLastError(saved);
  return ok ? host : std::filesystem::path();
}

bool SetFolderWritable(std::u16string_view windowsFolder, bool writable) {
  std::u16string full;
  DWORD saved = GetLastError();
  BOOL ok = machine::FullWindowsPath(windowsFolder, full);
  SetLastError(saved);
  if (!ok) return false;
  machine::Settings settings = machine::GetSettings();
  auto& folders = settings.readOnlyFolders;
  std::erase_if(folders, [&](const std::u16string& f) { return text::EqualNoCase(f, full); });
  if (!writable) folders.push_back(full);
  machine::PutSettings(settings);
  return true;
}

void SetMachineLanguage(LANGID language, UINT codePage) {
  machine::Settings settings = machine::GetSettings();
  settings.language = language;
  settings.codePage = codePage;
  machine::PutSettings(settings);
}

void SetMachineVersion(DWORD major, DWORD minor, DWORD build, std::string_view servicePack) {
  machine::Settings settings = machine::GetSettings();
  settings.majorVersion = major;
  settings.minorVersion = minor;
  settings.buildNumber = build;
  settings.servicePack = std::string(servicePack.substr(0, 127));
  machine::PutSettings(settings);
}

}  // namespace platform
