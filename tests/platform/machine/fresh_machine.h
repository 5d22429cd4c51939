// A fresh simulated PC in a temporary host folder for each test, removed afterwards.
#pragma once

#include <platform/machine.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace orvella_test {

constexpr DWORD kPoison = 0xdeadbeef;

class FreshMachine : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> counter{0};
    folder_ = std::filesystem::temp_directory_path() /
              ("orvella-machine-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(folder_);
    platform::UseMachine(folder_);
  }
  void TearDown() override {
    std::error_code error;
    std::filesystem::remove_all(folder_, error);
  }

  // Writes a file of the machine directly on the host, as a package or another program would.
  void PutFile(std::u16string_view windowsPath, std::string_view bytes) {
    std::filesystem::path host = platform::HostPath(windowsPath);
    ASSERT_FALSE(host.empty());
    std::filesystem::create_directories(host.parent_path());
    std::ofstream out(host, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  std::string HostFileText(std::u16string_view windowsPath) {
    std::ifstream in(platform::HostPath(windowsPath), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::filesystem::path folder_;
};

}  // namespace orvella_test
