#include <windows.h>
#include <winspool.h>

#include <gtest/gtest.h>
#include <platform/machine.h>
#include <platform/spooler.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace {

constexpr DWORD kPoison = 0xdeadbeef;
LPWSTR W(const char16_t* text) { return const_cast<LPWSTR>(text); }

class SpoolerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("spooler-test-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    platform::UseMachine(folder_);
    ASSERT_TRUE(platform::AddSpoolerPrinter({u"Orvella 300 Series", u"Orvella 300 Series", u"LPT1:"}));
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  HANDLE Open(ACCESS_MASK access = PRINTER_ACCESS_ADMINISTER) {
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
    HANDLE handle = nullptr;
    EXPECT_TRUE(OpenPrinterW(W(u"Orvella 300 Series"), &handle, &defaults));
    return handle;
  }

  std::string StateText() {
    std::ifstream file(folder_ / "spooler.ini");
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

  std::filesystem::path folder_;
};

TEST_F(SpoolerTest, OpenPrinterFindsPrintersWithoutRegardToCase) {
  HANDLE handle = reinterpret_cast<HANDLE>(kPoison);
  EXPECT_TRUE(OpenPrinterW(W(u"ORVELLA 300 series"), &handle, nullptr));
  EXPECT_NE(handle, reinterpret_cast<HANDLE>(kPoison));
  EXPECT_NE(handle, nullptr);
  EXPECT_TRUE(ClosePrinter(handle));

  SetLastError(kPoison);
  handle = reinterpret_cast<HANDLE>(kPoison);
  EXPECT_FALSE(OpenPrinterW(W(u"Orvella 300"), &handle, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PRINTER_NAME));
  EXPECT_EQ(handle, reinterpret_cast<HANDLE>(kPoison));
}

TEST_F(SpoolerTest, ClosePrinterRefusesHandlesItDidNotGive) {
  HANDLE handle = Open();
  EXPECT_TRUE(ClosePrinter(handle));
  for (HANDLE bad : {handle, static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE}) {
    SetLastError(kPoison);
    EXPECT_FALSE(ClosePrinter(bad));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  }
}

TEST_F(SpoolerTest, ServerHandleClosesButHasNoPrinterData) {
  HANDLE server = nullptr;
  ASSERT_TRUE(OpenPrinterW(nullptr, &server, nullptr));
  DWORD needed = kPoison;
  BYTE data[4];
  EXPECT_EQ(GetPrinterDataW(server, W(u"Progress"), nullptr, data, 4, &needed), DWORD(ERROR_CALL_NOT_IMPLEMENTED));
  EXPECT_TRUE(ClosePrinter(server));
}

TEST_F(SpoolerTest, PrinterDataKeepsTypeAndBytes) {
  HANDLE handle = Open();
  const DWORD zero = 0;
  EXPECT_EQ(SetPrinterDataW(handle, W(u"Progress"), REG_DWORD, (LPBYTE)&zero, 4), DWORD(ERROR_SUCCESS));
  const char16_t text[] = u"a \"quoted\"\nline \u00e9";
  EXPECT_EQ(SetPrinterDataW(handle, W(u"Note=1"), REG_SZ, (LPBYTE)text, sizeof text), DWORD(ERROR_SUCCESS));
  BYTE blob[] = {0x00, 0xff, 0x10};
  EXPECT_EQ(SetPrinterDataW(handle, W(u"Blob"), REG_BINARY, blob, 3), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(SetPrinterDataW(handle, W(u"Empty"), REG_MULTI_SZ, nullptr, 0), DWORD(ERROR_SUCCESS));
  BYTE odd[] = {'x', 0, 0};  // a REG_SZ that is not a whole UTF-16 string
  EXPECT_EQ(SetPrinterDataW(handle, W(u"Odd"), REG_SZ, odd, 3), DWORD(ERROR_SUCCESS));
  ASSERT_TRUE(ClosePrinter(handle));

  struct Case {
    const char16_t* name;
    DWORD type;
    std::vector<BYTE> bytes;
  } const cases[] = {
      {u"progress", REG_DWORD, {0, 0, 0, 0}},
      {u"Note=1", REG_SZ, std::vector<BYTE>((const BYTE*)text, (const BYTE*)text + sizeof text)},
      {u"Blob", REG_BINARY, {0x00, 0xff, 0x10}},
      {u"Empty", REG_MULTI_SZ, {}},
      {u"Odd", REG_SZ, {'x', 0, 0}},
  };
  handle = Open(PRINTER_ACCESS_USE);
  for (const Case& c : cases) {
    BYTE buffer[64];
    std::fill(std::begin(buffer), std::end(buffer), 0xcd);
    DWORD type = kPoison, needed = kPoison;
    EXPECT_EQ(GetPrinterDataW(handle, W(c.name), &type, buffer, sizeof buffer, &needed), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(type, c.type);
    ASSERT_EQ(needed, c.bytes.size());
    EXPECT_EQ(std::vector<BYTE>(buffer, buffer + needed), c.bytes);
    EXPECT_EQ(buffer[needed], 0xcd);
    // The same value as another process of the machine sees it.
    auto direct = platform::ReadPrinterData(u"Orvella 300 Series", c.name);
    ASSERT_TRUE(direct.has_value());
    EXPECT_EQ(direct->type, c.type);
    EXPECT_EQ(direct->bytes, c.bytes);
  }
  ClosePrinter(handle);

  const std::string state = StateText();
  EXPECT_NE(state.find("Data \"Progress\"=dword:00000000"), std::string::npos) << state;
  EXPECT_NE(state.find("Data \"Blob\"=hex:00,ff,10"), std::string::npos) << state;
}

TEST_F(SpoolerTest, GetPrinterDataBufferSizes) {
  ASSERT_TRUE(platform::WritePrinterData(u"Orvella 300 Series", u"Write2Raw", REG_DWORD, {1, 0, 0, 0}));
  HANDLE handle = Open();
  struct Case {
    DWORD size;
    DWORD result;
  } const cases[] = {{0, ERROR_MORE_DATA}, {3, ERROR_MORE_DATA}, {4, ERROR_SUCCESS}, {5, ERROR_SUCCESS}};
  for (const Case& c : cases) {
    BYTE buffer[8] = {0xcd, 0xcd, 0xcd, 0xcd, 0xcd, 0xcd, 0xcd, 0xcd};
    DWORD needed = kPoison;
    EXPECT_EQ(GetPrinterDataW(handle, W(u"Write2Raw"), nullptr, buffer, c.size, &needed), c.result) << c.size;
    EXPECT_EQ(needed, 4u);
    const BYTE expectFirst = c.result == ERROR_SUCCESS ? 1 : 0xcd;
    EXPECT_EQ(buffer[0], expectFirst) << c.size;
    EXPECT_EQ(buffer[4], 0xcd);
  }

  DWORD needed = kPoison, type = kPoison;
  BYTE buffer[4];
  EXPECT_EQ(GetPrinterDataW(handle, W(u"Write2RGB"), &type, buffer, 4, &needed), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetPrinterDataW(reinterpret_cast<HANDLE>(0x1234), W(u"Write2Raw"), &type, buffer, 4, &needed),
            DWORD(ERROR_INVALID_HANDLE));
  EXPECT_EQ(SetPrinterDataW(reinterpret_cast<HANDLE>(0x1234), W(u"x"), REG_DWORD, buffer, 4),
            DWORD(ERROR_INVALID_HANDLE));
  ClosePrinter(handle);
}

TEST_F(SpoolerTest, SetPrinterDataNeedsAdministerAccess) {
  HANDLE handle = Open(PRINTER_ACCESS_USE);
  DWORD one = 1;
  EXPECT_EQ(SetPrinterDataW(handle, W(u"CopyCancel"), REG_DWORD, (LPBYTE)&one, 4), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(platform::ReadPrinterData(u"Orvella 300 Series", u"CopyCancel").has_value());
  ClosePrinter(handle);
}

TEST_F(SpoolerTest, SetJobDeletesAndRecordsControls) {
  const DWORD first = platform::AddSpoolerJob(u"Orvella 300 Series", u"photo.png");
  const DWORD second = platform::AddSpoolerJob(u"orvella 300 series", u"second");
  ASSERT_NE(first, 0u);
  ASSERT_NE(second, first);
  EXPECT_EQ(platform::AddSpoolerJob(u"No Such Printer", u"x"), 0u);
  HANDLE handle = Open();

  EXPECT_TRUE(SetJobW(handle, second, 0, nullptr, JOB_CONTROL_PAUSE));
  EXPECT_TRUE(SetJobW(handle, second, 0, nullptr, JOB_CONTROL_SENT_TO_PRINTER));
  EXPECT_TRUE(SetJobW(handle, first, 0, nullptr, JOB_CONTROL_DELETE));
  auto jobs = platform::SpoolerJobs(u"Orvella 300 Series");
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].id, second);
  EXPECT_EQ(jobs[0].document, u"second");
  EXPECT_TRUE(jobs[0].paused);
  EXPECT_EQ(jobs[0].commands, (std::vector<std::string>{"pause", "sent-to-printer"}));

  struct Case {
    DWORD job, level, command, error;
  } const cases[] = {
      {first, 0, JOB_CONTROL_DELETE, ERROR_INVALID_PARAMETER},  // already gone
      {999, 0, JOB_CONTROL_DELETE, ERROR_INVALID_PARAMETER},
      {second, 0, 99, ERROR_INVALID_PARAMETER},
      {second, 7, JOB_CONTROL_DELETE, ERROR_INVALID_LEVEL},
      {second, 1, 0, ERROR_CALL_NOT_IMPLEMENTED},
  };
  for (const Case& c : cases) {
    SetLastError(kPoison);
    EXPECT_FALSE(SetJobW(handle, c.job, c.level, nullptr, c.command)) << c.job << " " << c.command;
    EXPECT_EQ(GetLastError(), c.error) << c.job << " " << c.command;
  }
  EXPECT_EQ(platform::SpoolerJobs().size(), 1u);
  ClosePrinter(handle);

  SetLastError(kPoison);
  EXPECT_FALSE(SetJobW(handle, second, 0, nullptr, JOB_CONTROL_DELETE));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST_F(SpoolerTest, JobOfAnotherPrinterIsNotReachable) {
  ASSERT_TRUE(platform::AddSpoolerPrinter({u"Other", u"Other Driver", u"FILE:"}));
  EXPECT_FALSE(platform::AddSpoolerPrinter({u"OTHER", u"x", u"y"}));
  const DWORD job = platform::AddSpoolerJob(u"Other", u"doc");
  HANDLE handle = Open();
  SetLastError(kPoison);
  EXPECT_FALSE(SetJobW(handle, job, 0, nullptr, JOB_CONTROL_DELETE));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(platform::SpoolerJobs(u"Other").size(), 1u);
  ClosePrinter(handle);
}

TEST_F(SpoolerTest, JobIdsAreNotReusedAfterADelete) {
  const DWORD first = platform::AddSpoolerJob(u"Orvella 300 Series", u"a");
  HANDLE handle = Open();
  ASSERT_TRUE(SetJobW(handle, first, 0, nullptr, JOB_CONTROL_DELETE));
  ClosePrinter(handle);
  EXPECT_GT(platform::AddSpoolerJob(u"Orvella 300 Series", u"b"), first);
}

TEST_F(SpoolerTest, DriverDirectoryBufferSizes) {
  const std::u16string expected = u"C:\\WINDOWS\\system32\\spool\\drivers\\w32x86";
  const DWORD n = DWORD((expected.size() + 1) * 2);
  for (DWORD size : {n - 1, n, n + 1, DWORD(260)}) {
    std::vector<BYTE> buffer(300, 0xcd);
    DWORD needed = kPoison;
    SetLastError(kPoison);
    const BOOL ok = GetPrinterDriverDirectoryW(nullptr, nullptr, 1, buffer.data(), size, &needed);
    EXPECT_EQ(needed, n) << size;
    if (size < n) {
      EXPECT_FALSE(ok);
      EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
      EXPECT_EQ(buffer[0], 0xcd);
    } else {
      EXPECT_TRUE(ok) << size;
      std::u16string got(reinterpret_cast<const char16_t*>(buffer.data()));
      EXPECT_EQ(got, expected);
      EXPECT_EQ(buffer[n], 0xcd);
    }
  }
  DWORD needed = kPoison;
  BYTE buffer[260];
  EXPECT_TRUE(GetPrinterDriverDirectoryW(W(u""), W(u"windows nt x86"), 1, buffer, sizeof buffer, &needed));

  struct Case {
    const char16_t* name;
    const char16_t* environment;
    DWORD level;
    DWORD error;
  } const cases[] = {
      {nullptr, u"Windows 4.0", 1, ERROR_INVALID_ENVIRONMENT},
      {nullptr, u"Windows x64", 1, ERROR_INVALID_ENVIRONMENT},
      {nullptr, nullptr, 2, ERROR_INVALID_LEVEL},
      {nullptr, nullptr, 0, ERROR_INVALID_LEVEL},
      {u"\\\\elsewhere", nullptr, 1, ERROR_INVALID_NAME},
  };
  for (const Case& c : cases) {
    needed = kPoison;
    SetLastError(kPoison);
    EXPECT_FALSE(GetPrinterDriverDirectoryW(W(c.name), W(c.environment), c.level, buffer, sizeof buffer, &needed));
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(needed, kPoison);
  }
}

TEST_F(SpoolerTest, DamagedStateFileIsReadAsFarAsItMakesSense) {
  {
    std::ofstream file(folder_ / "spooler.ini", std::ios::trunc);
    file << "[Spooler]\nNextJobId=banana\n\n[Printer]\nName=\"P\"\nDriver=\"D\nData \"a\"=dword:zz\n"
            "Data \"b\"=hex:01,2\nData \"c\"=hex(4\nData \"d\n[Job]\nPrinter=\"P\"\n[Job]\nId=7\nPrinter=\"P\"\n"
            "[Monitor]\nName=\"DovaMon\"\n";
  }
  auto printers = platform::SpoolerPrinters();
  ASSERT_EQ(printers.size(), 1u);
  EXPECT_EQ(printers[0].name, u"P");
  auto b = platform::ReadPrinterData(u"P", u"b");
  ASSERT_TRUE(b.has_value());
  EXPECT_EQ(b->bytes, (std::vector<BYTE>{1, 2}));
  EXPECT_FALSE(platform::ReadPrinterData(u"P", u"a").has_value());
  ASSERT_EQ(platform::SpoolerJobs().size(), 1u);
  EXPECT_EQ(platform::AddSpoolerJob(u"P", u"next"), 8u);
  EXPECT_NE(StateText().find("[Monitor]\nName=\"DovaMon\"\n"), std::string::npos) << "foreign sections are kept";
}

// Damaged files, seeded so that a failure can be replayed: whatever is read from them, the state the
// spooler writes back reads back as the same text (its format is a fixed point).
TEST_F(SpoolerTest, RewrittenStateReadsBackUnchanged) {
  ASSERT_TRUE(platform::WritePrinterData(u"Orvella 300 Series", u"Note \"x\"=\\", REG_SZ, {'a', 0, '\n', 0, 0, 0}));
  ASSERT_TRUE(platform::WritePrinterData(u"Orvella 300 Series", u"Blob", 9, {1, 2, 3}));
  platform::AddSpoolerJob(u"Orvella 300 Series", u"doc\t1");
  const auto tricky = platform::ReadPrinterData(u"Orvella 300 Series", u"Note \"x\"=\\");
  ASSERT_TRUE(tricky.has_value()) << StateText();
  EXPECT_EQ(tricky->bytes, (std::vector<BYTE>{'a', 0, '\n', 0, 0, 0}));
  ASSERT_EQ(platform::SpoolerJobs().size(), 1u);
  EXPECT_EQ(platform::SpoolerJobs()[0].document, u"doc\t1");
  const std::string original = StateText();
  constexpr char kNoise[] = "\"\\=[],:x\n\x01\xe9";
  for (unsigned seed = 1; seed <= 200; ++seed) {
    std::mt19937 random(seed);
    std::string text = original;
    for (int edits = 1 + random() % 5; edits > 0 && !text.empty(); --edits) {
      const size_t at = random() % text.size();
      switch (random() % 3) {
        case 0: text[at] = char(random() % 256); break;
        case 1: text.erase(at, random() % 8); break;
        default: text.insert(at, 1, kNoise[random() % (sizeof kNoise - 1)]);
      }
    }
    std::ofstream(folder_ / "spooler.ini", std::ios::trunc) << text;
    const auto printers = platform::SpoolerPrinters();
    if (printers.empty()) continue;
    ASSERT_TRUE(platform::WritePrinterData(printers[0].name, u"Touch", REG_DWORD, {1, 0, 0, 0})) << "seed " << seed;
    const std::string first = StateText();
    ASSERT_TRUE(platform::WritePrinterData(printers[0].name, u"Touch", REG_DWORD, {1, 0, 0, 0})) << "seed " << seed;
    EXPECT_EQ(StateText(), first) << "seed " << seed;
  }
}

}  // namespace
