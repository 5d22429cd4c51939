#include "fresh_machine.h"
#include "kernel/text.h"
#include "machine/machine.h"

#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <thread>
#include <vector>

namespace {

using orvella_test::FreshMachine;
using orvella_test::kPoison;
namespace fs = std::filesystem;
namespace machine = platform::machine;

using MachineTest = FreshMachine;

TEST_F(MachineTest, FreshMachineHasTheFoldersOfAnXpSystem) {
  for (const char* folder : {"drive_c/WINDOWS/system32", "drive_c/WINDOWS/system32/spool/drivers/w32x86/3",
                             "drive_c/Program Files", "printer/sheets"})
    EXPECT_TRUE(fs::is_directory(folder_ / folder)) << folder;
  machine::Settings settings = machine::GetSettings();
  EXPECT_EQ(settings.language, 0x0409);
  EXPECT_EQ(settings.codePage, 1252u);
  EXPECT_EQ(settings.majorVersion, 5u);
  EXPECT_EQ(settings.minorVersion, 1u);
  EXPECT_EQ(settings.buildNumber, 2600u);
  EXPECT_EQ(settings.servicePack, "Service Pack 3");
  EXPECT_EQ(settings.windowsDirectory, u"C:\\WINDOWS");
  EXPECT_EQ(settings.systemDirectory, u"C:\\WINDOWS\\system32");
}

TEST_F(MachineTest, SettingsSurviveInTheMachineFolder) {
  platform::SetMachineLanguage(0x0404, 950);
  platform::SetMachineVersion(5, 0, 2195, "Service Pack 4");
  ASSERT_TRUE(platform::SetFolderWritable(u"c:\\windows\\system32", false));

  // Another process of the machine reads them from the file, not from this one's memory.
  fs::path other = folder_.string() + "-copy";
  fs::copy(folder_, other, fs::copy_options::recursive);
  platform::UseMachine(other);
  machine::Settings settings = machine::GetSettings();
  EXPECT_EQ(settings.language, 0x0404);
  EXPECT_EQ(settings.codePage, 950u);
  EXPECT_EQ(settings.minorVersion, 0u);
  EXPECT_EQ(settings.buildNumber, 2195u);
  EXPECT_EQ(settings.servicePack, "Service Pack 4");
  ASSERT_EQ(settings.readOnlyFolders.size(), 1u);
  EXPECT_EQ(settings.readOnlyFolders[0], u"C:\\windows\\system32");
  fs::remove_all(other);
}

TEST_F(MachineTest, DamagedSettingsFileKeepsTheDefaults) {
  {
    std::ofstream out(folder_ / "machine.ini", std::ios::trunc);
    out << "[Machine]\nLanguage=zz\nCodePage=\nVersion=7\n\x01\x02garbage without equals\n[Read";
  }
  machine::Settings settings = machine::GetSettings();
  EXPECT_EQ(settings.language, 0x0409);
  EXPECT_EQ(settings.codePage, 1252u);
  EXPECT_EQ(settings.majorVersion, 5u);
  EXPECT_TRUE(settings.readOnlyFolders.empty());
}

TEST_F(MachineTest, FullPathsApplyCurrentFolderDotsAndSeparators) {
  fs::create_directories(folder_ / "drive_c/pkg/sub");
  ASSERT_TRUE(SetCurrentDirectoryW(u"C:\\pkg"));
  struct Case {
    const char16_t* given;
    const char16_t* full;
  } cases[] = {
      {u"c:\\RGB1.raw", u"C:\\RGB1.raw"},
      {u"C:/WINDOWS\\system32//x.dll", u"C:\\WINDOWS\\system32\\x.dll"},
      {u"name.txt", u"C:\\pkg\\name.txt"},
      {u"sub\\..\\.\\name", u"C:\\pkg\\name"},
      {u"..\\..\\..\\..\\escape", u"C:\\escape"},
      {u"\\rooted", u"C:\\rooted"},
      {u"C:relative", u"C:\\pkg\\relative"},
      {u"C:", u"C:\\pkg"},
      {u"trailing. . ", u"C:\\pkg\\trailing"},
      {u"\\\\?\\C:\\long\\form", u"C:\\long\\form"},
      {u"C:\\..", u"C:\\"},
  };
  for (const auto& c : cases) {
    std::u16string full = u"poison";
    EXPECT_TRUE(machine::FullWindowsPath(c.given, full)) << platform::text::ToUtf8(c.given);
    EXPECT_EQ(full, c.full) << platform::text::ToUtf8(c.given);
  }
}

TEST_F(MachineTest, PathsThatNameNothingInTheMachineFail) {
  struct Case {
    const char16_t* given;
    DWORD error;
  } cases[] = {
      {u"", ERROR_PATH_NOT_FOUND},
      {u"D:\\file", ERROR_PATH_NOT_FOUND},
      {u"\\\\server\\share\\file", ERROR_PATH_NOT_FOUND},
      {u"\\\\.\\LPT1", ERROR_PATH_NOT_FOUND},
      {u"C:\\a<b", ERROR_INVALID_NAME},
      {u"C:\\dir\\what?", ERROR_INVALID_NAME},
      {u"C:\\file:stream", ERROR_INVALID_NAME},
      {u"C:\\tab\there", ERROR_INVALID_NAME},
  };
  for (const auto& c : cases) {
    SetLastError(kPoison);
    fs::path host;
    EXPECT_FALSE(machine::ResolvePath(c.given, host)) << platform::text::ToUtf8(c.given);
    EXPECT_EQ(GetLastError(), c.error) << platform::text::ToUtf8(c.given);
    EXPECT_TRUE(platform::HostPath(c.given).empty());
  }
  std::u16string longName(256, u'x');
  fs::path host;
  EXPECT_FALSE(machine::ResolvePath(u"C:\\" + longName, host));
}

// Whatever a caller passes, a path that resolves lands inside the machine's drive.
TEST_F(MachineTest, NoPathLeavesTheDrive) {
  fs::create_directories(folder_ / "drive_c/a/b");
  ASSERT_TRUE(SetCurrentDirectoryW(u"C:\\a\\b"));
  const std::u16string pieces[] = {u"..", u".", u"\\", u"/", u"a", u"B", u"...", u" ", u"C:", u"c:\\",
                                   u"\\\\?\\", u"%", u"\u00e9", u"\u4e2d"};
  const std::string drive = (folder_ / "drive_c").lexically_normal().string();
  std::mt19937 random(1211);
  for (int i = 0; i < 2000; ++i) {
    std::u16string path;
    for (int n = 1 + random() % 12; n > 0; --n) path += pieces[random() % std::size(pieces)];
    fs::path host;
    if (!machine::ResolvePath(path, host)) continue;
    std::string landed = host.lexically_normal().string();
    EXPECT_EQ(landed.compare(0, drive.size(), drive), 0) << "seed 1211, case " << i << ": " << landed;
    EXPECT_EQ(landed.find("/../"), std::string::npos) << landed;
  }
}

TEST_F(MachineTest, ResolutionMatchesExistingNamesWithoutRegardToCase) {
  fs::create_directories(folder_ / "drive_c/Program Files/Orvella");
  EXPECT_EQ(platform::HostPath(u"c:\\PROGRAM FILES\\orvella\\New File.TXT"),
            folder_ / "drive_c/Program Files/Orvella/New File.TXT");
  EXPECT_EQ(platform::HostPath(u"C:\\windows\\SYSTEM32"), folder_ / "drive_c/WINDOWS/system32");
  // Below a missing folder the spelling given is kept.
  EXPECT_EQ(platform::HostPath(u"C:\\New\\Windows"), folder_ / "drive_c/New/Windows");
  // Non-ASCII names fold too, and land as UTF-8 on the host.
  fs::create_directories(folder_ / "drive_c/Ärger");
  EXPECT_EQ(platform::HostPath(u"C:\\äRGER\\x"), folder_ / "drive_c/Ärger/x");
  EXPECT_EQ(platform::HostPath(u"C:\\"), folder_ / "drive_c");
}

TEST_F(MachineTest, RefusedFoldersRefuseEverythingBelowThem) {
  ASSERT_TRUE(platform::SetFolderWritable(u"C:\\WINDOWS\\system32", false));
  EXPECT_FALSE(machine::IsWritable(platform::HostPath(u"c:\\windows\\system32")));
  EXPECT_FALSE(machine::IsWritable(platform::HostPath(u"c:\\windows\\system32\\x.dll")));
  EXPECT_FALSE(machine::IsWritable(platform::HostPath(u"c:\\windows\\system32\\spool\\drivers\\x")));
  EXPECT_TRUE(machine::IsWritable(platform::HostPath(u"c:\\windows\\system")));
  EXPECT_TRUE(machine::IsWritable(platform::HostPath(u"c:\\windows\\x.ini")));
  ASSERT_TRUE(platform::SetFolderWritable(u"c:\\WINDOWS\\SYSTEM32", true));
  EXPECT_TRUE(machine::IsWritable(platform::HostPath(u"c:\\windows\\system32\\x.dll")));
  EXPECT_FALSE(platform::SetFolderWritable(u"D:\\", false));
}

TEST_F(MachineTest, StateFilesStartEmptyAndKeepWhatIsWritten) {
  EXPECT_EQ(machine::ReadStateFile("spooler.ini"), "");
  EXPECT_TRUE(machine::UpdateStateFile("spooler.ini", [](std::string& text) {
    EXPECT_EQ(text, "");
    text = "[Printers]\n";
    return true;
  }));
  EXPECT_FALSE(machine::UpdateStateFile("spooler.ini", [](std::string& text) {
    text = "lost";
    return false;
  }));
  EXPECT_EQ(machine::ReadStateFile("spooler.ini"), "[Printers]\n");
  EXPECT_TRUE(machine::UpdateStateFile("printer/state.ini", [](std::string& text) {
    text = "paper=50\n";
    return true;
  }));
  EXPECT_EQ(machine::ReadStateFile("printer/state.ini"), "paper=50\n");
  for (const char* bad : {"", "..", "../escape", "a/../../b", "/etc/passwd", "a//b", "a\\b", "a/"}) {
    EXPECT_FALSE(machine::UpdateStateFile(bad, [](std::string&) { return true; })) << bad;
    EXPECT_EQ(machine::ReadStateFile(bad), "") << bad;
  }
}

// Every increment of a counter kept in a state file survives when threads and processes update it
// at once: the lock is held across the read, the edit and the write.
TEST_F(MachineTest, ConcurrentUpdatesOfAStateFileLoseNothing) {
  auto increment = [] {
    machine::UpdateStateFile("counter.txt", [](std::string& text) {
      text = std::to_string((text.empty() ? 0 : std::stoi(text)) + 1);
      return true;
    });
  };
  constexpr int kRounds = 50;
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    for (int i = 0; i < kRounds; ++i) increment();
    ::_exit(0);
  }
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) increment();
    });
  for (auto& thread : threads) thread.join();
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(machine::ReadStateFile("counter.txt"), std::to_string(3 * kRounds));
}

TEST_F(MachineTest, ProgramsStartedInsideTheDriveStartInThatFolder) {
  fs::create_directories(folder_ / "drive_c/Orvella Package/disk1");
  fs::path hostFolder = fs::current_path();
  fs::current_path(folder_ / "drive_c/Orvella Package/disk1");
  platform::UseMachine(folder_);
  std::u16string inside = machine::CurrentFolder();
  fs::current_path(folder_);
  platform::UseMachine(folder_);
  std::u16string outside = machine::CurrentFolder();
  fs::current_path(hostFolder);
  EXPECT_EQ(inside, u"C:\\Orvella Package\\disk1");
  EXPECT_EQ(outside, u"C:\\");
}

TEST_F(MachineTest, SwitchingMachinesStartsAtTheRootAgain) {
  fs::create_directories(folder_ / "drive_c/pkg");
  ASSERT_TRUE(SetCurrentDirectoryW(u"C:\\pkg"));
  fs::path other = folder_.string() + "-other";
  platform::UseMachine(other);
  EXPECT_EQ(platform::MachineFolder(), other);
  EXPECT_EQ(machine::CurrentFolder(), u"C:\\");
  EXPECT_TRUE(fs::is_directory(other / "drive_c/WINDOWS/system32"));
  fs::remove_all(other);
}

}  // namespace
