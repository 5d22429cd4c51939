// Test fixtures: a fresh simulated machine with the product's printer, and DovaMon.dll loaded on it.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <winsplp.h>

#include <platform/clock.h>
#include <platform/machine.h>
#include <platform/spooler.h>
#include <platform/ui.h>

#include <filesystem>
#include <string>
#include <vector>

namespace dovamon::test {

inline constexpr char16_t kPrinterName[] = u"Orvella 300 Series";

// A fresh machine per test, on the virtual clock, with the product's printer installed.
class FreshMachine : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    machine_ = std::filesystem::temp_directory_path() /
               (std::string("dovamon-") + info->test_suite_name() + "-" + info->name());
    std::filesystem::remove_all(machine_);
    platform::UseMachine(machine_);
    platform::UseClock(platform::ClockMode::Virtual);
    platform::ClearScriptedAnswers();
    platform::ClearShownBoxes();
    ASSERT_TRUE(platform::AddSpoolerPrinter({kPrinterName, u"Orvella 300", u"LPT1:"}));
  }
  void TearDown() override { std::filesystem::remove_all(machine_); }

  static bool FileExists(const char16_t* windowsPath) {
    const std::filesystem::path host = platform::HostPath(windowsPath);
    return !host.empty() && std::filesystem::exists(host);
  }

  // The folder of the translation file: "2" under the printer driver directory.
  static std::filesystem::path TranslationFolder() {
    WCHAR directory[MAX_PATH] = {};
    DWORD needed = 0;
    EXPECT_TRUE(GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(directory),
                                           sizeof directory, &needed));
    const std::filesystem::path folder = platform::HostPath(std::u16string(directory) + u"\\2");
    std::filesystem::create_directories(folder);
    return folder;
  }

  std::filesystem::path machine_;
};

// The module's export, as the spooler finds it.
inline PFN_InitializePrintMonitor FindInitializePrintMonitor(HMODULE module) {
  return reinterpret_cast<PFN_InitializePrintMonitor>(
      reinterpret_cast<void*>(GetProcAddress(module, "InitializePrintMonitor")));
}

// DovaMon.dll loaded and initialised the way the spooler does it.
class LoadedMonitor : public FreshMachine {
 protected:
  void SetUp() override {
    FreshMachine::SetUp();
    if (HasFatalFailure()) return;

    module_ = LoadLibraryW(u"DovaMon.dll");
    ASSERT_NE(module_, nullptr) << "last error " << GetLastError();
    const PFN_InitializePrintMonitor init = FindInitializePrintMonitor(module_);
    ASSERT_NE(init, nullptr);
    std::u16string root = u"System\\CurrentControlSet\\Control\\Print\\Monitors\\DovaMon";
    table_ = init(root.data());
    ASSERT_NE(table_, nullptr);
    m_ = &table_->Monitor;
  }

  void TearDown() override {
    if (m_) {
      m_->pfnEndDocPort(port_);
      m_->pfnClosePort(port_);
    }
    if (module_) FreeLibrary(module_);
    FreshMachine::TearDown();
  }

  // OpenPortEx on LPT1: and StartDocPort of a new job of the product's printer.
  DWORD StartJob() {
    std::u16string port = u"LPT1:";
    std::u16string printer = kPrinterName;
    EXPECT_TRUE(m_->pfnOpenPortEx(port.data(), printer.data(), &port_, nullptr));
    const DWORD id = platform::AddSpoolerJob(kPrinterName, u"photo");
    EXPECT_NE(id, 0u);
    EXPECT_TRUE(m_->pfnStartDocPort(port_, printer.data(), id, 1, nullptr));
    return id;
  }

  BOOL Write(const void* bytes, DWORD size, DWORD* written) {
    *written = 0xdeadbeef;
    return m_->pfnWritePort(port_, static_cast<LPBYTE>(const_cast<void*>(bytes)), size, written);
  }

  void SetSwitch(const char16_t* name, DWORD value) {
    std::vector<BYTE> bytes(4);
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<BYTE>(value >> (8 * i));
    ASSERT_TRUE(platform::WritePrinterData(kPrinterName, name, REG_DWORD, bytes));
  }

  HMODULE module_ = nullptr;
  LPMONITOREX table_ = nullptr;
  MONITOR* m_ = nullptr;
  HANDLE port_ = nullptr;
};

}  // namespace dovamon::test
