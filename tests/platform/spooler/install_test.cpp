// The installation calls of the spooler: monitors, drivers, printers, reading a printer back and
// deleting it, in a fresh machine per test.
#include <windows.h>
#include <winspool.h>

#include <gtest/gtest.h>
#include <platform/machine.h>
#include <platform/spooler.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
constexpr DWORD kPoison = 0xdeadbeef;
LPSTR A(const char* text) { return const_cast<LPSTR>(text); }

constexpr char kSystem[] = "C:\\WINDOWS\\system32";
constexpr char kDriverDir[] = "C:\\WINDOWS\\system32\\spool\\drivers\\w32x86";

class InstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("spooler-install-" + std::to_string(getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    platform::UseMachine(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  static void PutFile(const std::string& windowsPath, const std::string& content = "x") {
    const fs::path host = platform::HostPath(std::u16string(windowsPath.begin(), windowsPath.end()));
    ASSERT_FALSE(host.empty()) << windowsPath;
    fs::create_directories(host.parent_path());
    std::ofstream(host) << content;
  }
  static bool Exists(const std::string& windowsPath) {
    const fs::path host = platform::HostPath(std::u16string(windowsPath.begin(), windowsPath.end()));
    return !host.empty() && fs::is_regular_file(host);
  }

  // The package in place as the installer leaves it before it registers anything.
  void PutPackage() {
    for (const char* name : {"DovaMon.dll", "DovaRndr.dll", "DovaUni.dll", "DovaUi.dll", "Q3help.hlp"}) {
      PutFile(std::string(kSystem) + "\\" + name);
    }
    for (const char* name : {"DovaUm.dll", "DovaMon.dll", "Dova.ini", "Corvix.dll"}) {
      PutFile(std::string(kDriverDir) + "\\" + name, name);
    }
  }

  BOOL AddMonitor(const char* dll = "DovaMon.dll", const char* environment = "Windows NT x86") {
    MONITOR_INFO_2A monitor{A("Orvella Language Monitor"), A(environment), A(dll)};
    return AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&monitor));
  }

  BOOL AddDriver(const char* monitor = "Orvella Language Monitor") {
    const std::string system = kSystem;
    const std::string driverPath = system + "\\DovaRndr.dll", dataFile = system + "\\DovaUni.dll",
                      configFile = system + "\\DovaUi.dll", helpFile = system + "\\Q3help.hlp";
    static const char kDependent[] = "DovaUm.dll\0DovaMon.dll\0Dova.ini\0Corvix.dll\0";
    DRIVER_INFO_3A driver{3,
                          A("Orvella 300 Series"),
                          A("Windows NT x86"),
                          A(driverPath.c_str()),
                          A(dataFile.c_str()),
                          A(configFile.c_str()),
                          A(helpFile.c_str()),
                          A(kDependent),
                          A(monitor),
                          A("RAW")};
    return AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&driver));
  }

  static PRINTER_INFO_2A PrinterRecord() {
    PRINTER_INFO_2A printer{};
    printer.pPrinterName = A("Orvella 300 Series");
    printer.pPortName = A("LPT1:");
    printer.pDriverName = A("Orvella 300 Series");
    printer.pPrintProcessor = A("WinPrint");
    printer.pDatatype = A("RAW");
    printer.Attributes = PRINTER_ATTRIBUTE_DO_COMPLETE_FIRST | PRINTER_ATTRIBUTE_ENABLE_BIDI;
    printer.Priority = 1;
    printer.Status = 0x80;
    return printer;
  }

  fs::path folder_;
};

TEST_F(InstallTest, TheInstallersSequenceRegistersMonitorDriverAndPrinter) {
  PutPackage();
  ASSERT_TRUE(AddMonitor()) << GetLastError();
  SetLastError(kPoison);
  EXPECT_FALSE(AddMonitor());
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PRINT_MONITOR_ALREADY_INSTALLED));
  auto monitors = platform::SpoolerMonitors();
  ASSERT_EQ(monitors.size(), 1u);
  EXPECT_EQ(monitors[0].library, u"DovaMon.dll");

  ASSERT_TRUE(AddDriver()) << GetLastError();
  for (const char* name : {"DovaRndr.dll", "DovaUni.dll", "DovaUi.dll", "Q3help.hlp", "DovaUm.dll", "DovaMon.dll",
                           "Dova.ini", "Corvix.dll"}) {
    EXPECT_TRUE(Exists(std::string(kDriverDir) + "\\3\\" + name)) << name;
  }
  auto drivers = platform::SpoolerDrivers();
  ASSERT_EQ(drivers.size(), 1u);
  EXPECT_EQ(drivers[0].driverPath, u"C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\3\\DovaRndr.dll");
  EXPECT_EQ(drivers[0].monitor, u"Orvella Language Monitor");
  EXPECT_EQ(drivers[0].dependentFiles,
            (std::vector<std::u16string>{u"DovaUm.dll", u"DovaMon.dll", u"Dova.ini", u"Corvix.dll"}));
  // The installer deletes its copies from the driver directory; adding the driver again still works.
  fs::remove(platform::HostPath(u"C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\DovaUm.dll"));
  EXPECT_TRUE(AddDriver()) << GetLastError();
  EXPECT_EQ(platform::SpoolerDrivers().size(), 1u);

  PRINTER_INFO_2A record = PrinterRecord();
  HANDLE printer = AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&record));
  ASSERT_NE(printer, nullptr) << GetLastError();
  EXPECT_TRUE(ClosePrinter(printer));
  SetLastError(kPoison);
  EXPECT_EQ(AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&record)), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PRINTER_ALREADY_EXISTS));
  auto printers = platform::SpoolerPrinters();
  ASSERT_EQ(printers.size(), 1u);
  EXPECT_EQ(printers[0].port, u"LPT1:");
}

TEST_F(InstallTest, RefusedMonitorsAndDrivers) {
  PutPackage();
  struct MonitorCase {
    const char* dll;
    const char* environment;
    DWORD error;
  } const monitorCases[] = {
      {"Missing.dll", "Windows NT x86", ERROR_MOD_NOT_FOUND},
      {"DovaMon.dll", "Windows 4.0", ERROR_INVALID_ENVIRONMENT},
      {"", "Windows NT x86", ERROR_INVALID_PARAMETER},
  };
  for (const auto& c : monitorCases) {
    SetLastError(kPoison);
    EXPECT_FALSE(AddMonitor(c.dll, c.environment)) << c.dll;
    EXPECT_EQ(GetLastError(), c.error) << c.dll;
  }
  SetLastError(kPoison);
  EXPECT_FALSE(AddMonitorA(nullptr, 1, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL));
  SetLastError(kPoison);
  EXPECT_FALSE(DeleteMonitorA(nullptr, A("Windows NT x86"), A("Orvella Language Monitor")));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PRINT_MONITOR));

  SetLastError(kPoison);
  EXPECT_FALSE(AddDriver());  // its monitor is not installed
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PRINT_MONITOR));
  ASSERT_TRUE(AddMonitor());
  fs::remove(platform::HostPath(u"C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\Corvix.dll"));
  SetLastError(kPoison);
  EXPECT_FALSE(AddDriver());
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(platform::SpoolerDrivers().empty());

  EXPECT_TRUE(DeleteMonitorA(nullptr, nullptr, A("orvella language monitor")));
  EXPECT_TRUE(platform::SpoolerMonitors().empty());
}

TEST_F(InstallTest, RefusedPrinters) {
  PutPackage();
  ASSERT_TRUE(AddMonitor());
  ASSERT_TRUE(AddDriver());
  struct Case {
    const char* what;
    void (*change)(PRINTER_INFO_2A&);
    DWORD error;
  } const cases[] = {
      {"unknown driver", [](PRINTER_INFO_2A& p) { p.pDriverName = A("Other"); }, ERROR_UNKNOWN_PRINTER_DRIVER},
      {"unknown port", [](PRINTER_INFO_2A& p) { p.pPortName = A("USB001"); }, ERROR_UNKNOWN_PORT},
      {"print processor", [](PRINTER_INFO_2A& p) { p.pPrintProcessor = A("Other"); }, ERROR_UNKNOWN_PRINTPROCESSOR},
      {"data type", [](PRINTER_INFO_2A& p) { p.pDatatype = A("XPS"); }, ERROR_INVALID_DATATYPE},
      {"priority", [](PRINTER_INFO_2A& p) { p.Priority = 0; }, ERROR_INVALID_PRIORITY},
      {"name with comma", [](PRINTER_INFO_2A& p) { p.pPrinterName = A("a,b"); }, ERROR_INVALID_PRINTER_NAME},
      {"no name", [](PRINTER_INFO_2A& p) { p.pPrinterName = nullptr; }, ERROR_INVALID_PRINTER_NAME},
  };
  for (const Case& c : cases) {
    PRINTER_INFO_2A record = PrinterRecord();
    c.change(record);
    SetLastError(kPoison);
    EXPECT_EQ(AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&record)), nullptr) << c.what;
    EXPECT_EQ(GetLastError(), c.error) << c.what;
  }
  PRINTER_INFO_2A record = PrinterRecord();
  SetLastError(kPoison);
  EXPECT_EQ(AddPrinterA(nullptr, 1, reinterpret_cast<LPBYTE>(&record)), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL));
  EXPECT_TRUE(platform::SpoolerPrinters().empty());
}

TEST_F(InstallTest, UninstallerReadsThePrinterBackAndDeletesIt) {
  PutPackage();
  ASSERT_TRUE(AddMonitor());
  ASSERT_TRUE(AddDriver());
  PRINTER_INFO_2A record = PrinterRecord();
  record.pComment = A("Caf\xe9");
  ASSERT_TRUE(ClosePrinter(AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&record))));
  platform::AddSpoolerJob(u"Orvella 300 Series", u"photo");

  HANDLE reader = nullptr;
  ASSERT_TRUE(OpenPrinterA(A("Orvella 300 Series"), &reader, nullptr));
  DWORD needed = kPoison;
  SetLastError(kPoison);
  EXPECT_FALSE(GetPrinterA(reader, 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  // The record and its strings: printer, port, driver, comment, print processor and data type.
  const DWORD n = sizeof(PRINTER_INFO_2A) + 19 + 6 + 19 + 5 + 9 + 4;
  EXPECT_EQ(needed, n);
  std::vector<BYTE> buffer(n + 1, 0xcd);
  EXPECT_FALSE(GetPrinterA(reader, 2, buffer.data(), n - 1, &needed));
  EXPECT_EQ(buffer[0], 0xcd);
  ASSERT_TRUE(GetPrinterA(reader, 2, buffer.data(), n, &needed));
  EXPECT_EQ(buffer[n], 0xcd);
  PRINTER_INFO_2A info;
  std::memcpy(&info, buffer.data(), sizeof info);
  EXPECT_STREQ(info.pPrinterName, "Orvella 300 Series");
  EXPECT_STREQ(info.pPortName, "LPT1:");
  EXPECT_STREQ(info.pDriverName, "Orvella 300 Series");
  EXPECT_STREQ(info.pComment, "Caf\xe9");
  EXPECT_STREQ(info.pPrintProcessor, "WinPrint");
  EXPECT_STREQ(info.pDatatype, "RAW");
  EXPECT_EQ(info.pServerName, nullptr);
  EXPECT_EQ(info.pShareName, nullptr);
  EXPECT_EQ(info.pDevMode, nullptr);
  EXPECT_EQ(info.Attributes, DWORD(0xA00));
  EXPECT_EQ(info.Priority, 1u);
  EXPECT_EQ(info.Status, 0x80u);
  EXPECT_EQ(info.cJobs, 1u);
  for (DWORD level : {0ul, 10ul}) {
    SetLastError(kPoison);
    EXPECT_FALSE(GetPrinterA(reader, level, buffer.data(), n, &needed));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL));
  }

  // Deleting needs the right to delete: a handle opened for use is refused.
  SetLastError(kPoison);
  EXPECT_FALSE(DeletePrinter(reader));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));

  PRINTER_DEFAULTSA defaults{info.pDatatype, info.pDevMode, PRINTER_ALL_ACCESS};
  HANDLE owner = nullptr;
  ASSERT_TRUE(OpenPrinterA(A("Orvella 300 Series"), &owner, &defaults));
  EXPECT_TRUE(DeletePrinter(owner));
  EXPECT_TRUE(platform::SpoolerPrinters().empty());
  EXPECT_TRUE(platform::SpoolerJobs().empty());
  SetLastError(kPoison);
  EXPECT_FALSE(GetPrinterA(reader, 2, buffer.data(), n, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PRINTER_NAME));
  EXPECT_TRUE(ClosePrinter(owner));
  EXPECT_TRUE(ClosePrinter(reader));
  // The monitor and the driver stay.
  EXPECT_EQ(platform::SpoolerMonitors().size(), 1u);
  EXPECT_EQ(platform::SpoolerDrivers().size(), 1u);
}

}  // namespace
