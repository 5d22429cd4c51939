// The resource compiler refuses what rc.exe would refuse, and says where.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

struct CompilerRun {
  int status;  // the exit code; -1 when the compiler did not exit by itself (a crash)
  std::string output;
};

class ResourceCompilerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("rc-test-" + std::to_string(getpid()));
    fs::create_directories(folder_);
    std::ofstream(folder_ / "ids.h") << "#define IDS_ONE 1\n#define IDS_BAD (\n";
  }
  void TearDown() override { fs::remove_all(folder_); }

  CompilerRun Compile(const std::string& script) {
    std::ofstream(folder_ / "test.rc") << script;
    fs::remove(folder_ / "out.cpp");
    const std::string command = std::string(ORVELLA_RC) + " -o " + (folder_ / "out.cpp").string() + " " +
                                (folder_ / "test.rc").string() + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    char chunk[256];
    while (size_t n = fread(chunk, 1, sizeof chunk, pipe)) output.append(chunk, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
  }

  fs::path folder_;
};

TEST_F(ResourceCompilerTest, RefusesInvalidScriptsNamingTheLine) {
  struct Case {
    const char* script;
    const char* message;
  } const cases[] = {
      {"STRINGTABLE\nBEGIN\n  1 \"a\"\n  1 \"b\"\nEND\n", "test.rc:4: string 1 is defined twice"},
      {"#include \"ids.h\"\nSTRINGTABLE\nBEGIN\n  IDS_TWO \"a\"\nEND\n", "test.rc:4: undefined name"},
      {"#include \"ids.h\"\nSTRINGTABLE\nBEGIN\n  IDS_BAD \"a\"\nEND\n", "test.rc:4: expected"},
      {"STRINGTABLE\nBEGIN\n  1 \"open\nEND\n", "test.rc:3: string not closed"},
      {"STRINGTABLE\nBEGIN\n  1 \"a\"\n", "expected"},
      {"STRINGTABLE\nBEGIN\n  1 \"\\x\"\nEND\n", "test.rc:3: \\x without hex digits"},
      {"1 ICON \"x.ico\"\n", "test.rc:1: this resource type is not supported"},
      {"1 DIALOG 0, 0, 10\nBEGIN\nEND\n", "test.rc:2: expected ','"},
      {"1 DIALOG 0, 0, 10, 10\nBEGIN\n  BUTTONX \"a\", 1, 0, 0, 1, 1\nEND\n", "test.rc:3: expected a control"},
      {"#include \"missing.h\"\n", "test.rc:1: cannot find include file missing.h"},
      {"#if 1\n", "#if without #endif"},
      {"#endif\n", "test.rc:1: #endif without #if"},
      {"#if 1 / 0\n#endif\n", "test.rc:1: division by zero"},
      {"#error stop here\n", "test.rc:1: #error stop here"},
      {"#pragma code_page(932)\n", "test.rc:1: only code pages 1252 and 65001"},
      {"#bogus\n", "test.rc:1: unknown directive #bogus"},
      {"STRINGTABLE\nBEGIN\n  1 @\nEND\n", "test.rc:3: unexpected character '@'"},
      {"STRINGTABLE\nBEGIN\n  99999999999 \"a\"\nEND\n", "test.rc:3: number too large"},
  };
  for (const auto& c : cases) {
    const CompilerRun run = Compile(c.script);
    EXPECT_EQ(run.status, 1) << c.script;
    EXPECT_NE(run.output.find(c.message), std::string::npos) << c.script << "\ngot: " << run.output;
    EXPECT_FALSE(fs::exists(folder_ / "out.cpp")) << "no output from a failed compilation";
  }
}

TEST_F(ResourceCompilerTest, DeeplyNestedExpressionsAreRefusedNotOverflowed) {
  const std::string deep(30000, '('), close(30000, ')');
  for (const std::string& script : {"STRINGTABLE { " + deep + "1" + close + " \"a\" }\n",
                                    "#if " + deep + "1" + close + "\n#endif\n", "#if " + std::string(60000, '!') + "1\n#endif\n"}) {
    const CompilerRun run = Compile(script);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("nested too deeply"), std::string::npos) << run.output;
  }
}

TEST_F(ResourceCompilerTest, AcceptsAnEmptyScriptAndDirectivesOnlyHeaders) {
  std::ofstream(folder_ / "header.h") << "#define X 1\nint declarations(void); /* ignored */\n";
  for (const char* script : {"", "#include \"header.h\"\n#if X\n#endif\n", "#include \"IDS.H\"\n"}) {
    const CompilerRun run = Compile(script);
    EXPECT_EQ(run.status, 0) << script << run.output;
    EXPECT_TRUE(fs::exists(folder_ / "out.cpp")) << script;
  }
}

}  // namespace
