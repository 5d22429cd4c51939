// Every test of this program works in one fresh machine of its own, never in the user's default one.
#include <gtest/gtest.h>
#include <platform/machine.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace {

class TestMachine : public ::testing::Environment {
 public:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() / ("user-tests-" + std::to_string(getpid()));
    std::filesystem::remove_all(folder_);
    platform::UseMachine(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

 private:
  std::filesystem::path folder_;
};

[[maybe_unused]] ::testing::Environment* const kTestMachine = ::testing::AddGlobalTestEnvironment(new TestMachine);

}  // namespace
