// The monitor as the spooler drives it: through the function table of InitializePrintMonitor.
#include "MachineFixture.h"

#include "JobStreamBuilder.h"

#include <cstring>
#include <fstream>
#include <set>

namespace dovamon::test {
namespace {

constexpr DWORD kPoison = 0xdeadbeef;

std::u16string StringAt(const BYTE* bytes) {
  std::u16string text;
  for (size_t i = 0;; i += 2) {
    const char16_t c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    if (!c) return text;
    text.push_back(c);
  }
}

DWORD Le32(const BYTE* bytes) {
  return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<DWORD>(bytes[3]) << 24);
}

using MonitorEntry = LoadedMonitor;

TEST(InitializePrintMonitor, RefusesMissingRegistryRoot) {
  // The module's own export, without a machine: nothing else is touched.
  HMODULE module = LoadLibraryW(u"DovaMon.dll");
  ASSERT_NE(module, nullptr);
  const PFN_InitializePrintMonitor init = FindInitializePrintMonitor(module);
  ASSERT_NE(init, nullptr);
  std::u16string empty;
  for (LPWSTR root : {static_cast<LPWSTR>(nullptr), empty.data()}) {
    SetLastError(kPoison);
    EXPECT_EQ(init(root), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
  EXPECT_EQ(GetProcAddress(module, "EnumPorts"), nullptr) << "only InitializePrintMonitor is exported";
  FreeLibrary(module);
}

TEST_F(MonitorEntry, TableHoldsTheProvidedEntriesOnly) {
  EXPECT_EQ(table_->dwMonitorSize, 68u);
  const MONITOR& m = *m_;
  const struct {
    const char* name;
    bool provided;
  } entries[] = {
      {"EnumPorts", m.pfnEnumPorts != nullptr},
      {"OpenPort", m.pfnOpenPort != nullptr},
      {"OpenPortEx", m.pfnOpenPortEx != nullptr},
      {"StartDocPort", m.pfnStartDocPort != nullptr},
      {"WritePort", m.pfnWritePort != nullptr},
      {"ReadPort", m.pfnReadPort != nullptr},
      {"EndDocPort", m.pfnEndDocPort != nullptr},
      {"ClosePort", m.pfnClosePort != nullptr},
      {"AddPort", m.pfnAddPort != nullptr},
      {"AddPortEx", m.pfnAddPortEx != nullptr},
      {"ConfigurePort", m.pfnConfigurePort != nullptr},
      {"DeletePort", m.pfnDeletePort != nullptr},
      {"GetPrinterDataFromPort", m.pfnGetPrinterDataFromPort != nullptr},
      {"SetPortTimeOuts", m.pfnSetPortTimeOuts != nullptr},
      {"XcvOpenPort", m.pfnXcvOpenPort != nullptr},
      {"XcvDataPort", m.pfnXcvDataPort != nullptr},
      {"XcvClosePort", m.pfnXcvClosePort != nullptr},
  };
  const std::set<std::string> provided = {"EnumPorts", "OpenPortEx", "StartDocPort", "WritePort",
                                          "ReadPort",  "EndDocPort", "ClosePort",    "DeletePort"};
  for (const auto& entry : entries) EXPECT_EQ(entry.provided, provided.count(entry.name) == 1) << entry.name;

  std::u16string name = u"anything";
  EXPECT_TRUE(m.pfnDeletePort(nullptr, nullptr, name.data()));
}

// The string table carries every user text by number, with real line breaks where the English text
// has them: they are also the keys of the translation files, so they must come out exactly.
TEST_F(MonitorEntry, StringTableHoldsTheUserTexts) {
  const struct {
    UINT id;
    const char16_t* text;
  } strings[] = {
      {1, u"Warning"},
      {22, u"Not support print out to this port:"},
      {23, u"Please choose port:"},
      {26, u"Format Error!!"},
      {27, u"No Support SCSI Command Error!!"},
      {28, u"Logic Unit Not Supported Error!!"},
      {30, u"Memory SRAM Error!!"},
      {31, u"Memory DRAM Error!!"},
      {32, u"NVR Check Sum Error!!"},
      {33, u"ASIC Error!!"},
      {34, u"MEMORY_NVR_ERROR!!"},
      {35, u"Firmware Check Sum Error!!"},
      {36, u"Engine TPH Error!!"},
      {37, u"Engine Move TPH Error!!"},
      {38, u"Data transfer timeout!\nPlease terminate all other applications in use or restart the syetem to retry."},
      {39, u"Engine Command Error!! Please reset the printer!!"},
      {42, u"Out of ribbon! Please replace by a new ribbon cartridge."},
      {43, u"Engine Receiver Type Error!!"},
      {44, u"Out of paper!\nPlease load paper in the paper cassette or insert paper in manual paper feeding slot!"},
      {45, u"Paper jam door open!\nThe current printing job is canceled; please close the door  at the bottom of printer (behind the output tray), then retry."},
      {47, u"Paper jam! Please remove the jammed paper (refer to the instructions in User's Manual)."},
      {49, u"Would you like to continue the printing job?"},
      {50, u"Notice"},
      {52, u"Error"},
      {53, u"Can not detect ribbon!!\nPlease replace a new ribbon cartridge."},
      {54, u"Ribbon cartridge cover open!\nThe current printing job is canceled; please close the cover, then retry!"},
      {55, u"Please remove the paper in the manual feeding slot and press OK to go on printing.\nIf problem persists, please press Cancel and follow the instructions to remove the jammed paper.\nFor details, please refer to the on-line help and User's Manual."},
      {56, u"Paper Jam"},
  };
  for (const auto& s : strings) {
    WCHAR buffer[512] = {};
    const int length = LoadStringW(module_, s.id, buffer, 512);
    EXPECT_EQ(std::u16string(buffer, length > 0 ? length : 0), s.text) << "id " << s.id;
  }
  WCHAR buffer[16] = {};
  EXPECT_EQ(LoadStringW(module_, 24, buffer, 16), 0) << "no text without a number";
}

struct EnumCase {
  DWORD level;
  DWORD size;
  BOOL result;
  DWORD error;
  DWORD needed;
  DWORD returned;
};

TEST_F(MonitorEntry, EnumPortsBufferSizes) {
  const EnumCase cases[] = {
      {1, 0, FALSE, ERROR_INSUFFICIENT_BUFFER, 22, 0},   {1, 21, FALSE, ERROR_INSUFFICIENT_BUFFER, 22, 0},
      {1, 22, TRUE, ERROR_SUCCESS, 22, 1},               {1, 23, TRUE, ERROR_SUCCESS, 22, 1},
      {2, 83, FALSE, ERROR_INSUFFICIENT_BUFFER, 84, 0},  {2, 84, TRUE, ERROR_SUCCESS, 84, 1},
      {2, 100, TRUE, ERROR_SUCCESS, 84, 1},              {3, 200, FALSE, ERROR_INVALID_LEVEL, kPoison, kPoison},
      {0, 200, FALSE, ERROR_INVALID_LEVEL, kPoison, kPoison},
  };
  for (const EnumCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << "level " << c.level << ", " << c.size << " bytes");
    std::vector<BYTE> buffer(200, 0xCC);
    DWORD needed = kPoison, returned = kPoison;
    SetLastError(kPoison);
    EXPECT_EQ(m_->pfnEnumPorts(nullptr, c.level, buffer.data(), c.size, &needed, &returned), c.result);
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(needed, c.needed);
    EXPECT_EQ(returned, c.returned);
    if (!c.result) {
      EXPECT_EQ(buffer[0], 0xCC) << "a refused call writes nothing";
    }
  }
}

TEST_F(MonitorEntry, EnumPortsLevel1PlacesThePortNameAtTheBufferEnd) {
  std::vector<BYTE> buffer(22 + 8, 0xCC);
  DWORD needed = 0, returned = 0;
  ASSERT_TRUE(m_->pfnEnumPorts(nullptr, 1, buffer.data(), 22, &needed, &returned));
  // "LPT1:" and its terminator take bytes 10 to 21; PORT_INFO_1W.pName at offset 0 points there.
  EXPECT_EQ(Le32(&buffer[0]), reinterpret_cast<DWORD>(&buffer[10]));
  EXPECT_EQ(StringAt(&buffer[10]), u"LPT1:");
  EXPECT_EQ(buffer[20], 0);
  EXPECT_EQ(buffer[21], 0);
  EXPECT_EQ(std::vector<BYTE>(buffer.begin() + 4, buffer.begin() + 10), std::vector<BYTE>(6, 0));
  EXPECT_EQ(buffer[22], 0xCC) << "nothing past the buffer";
}

TEST_F(MonitorEntry, EnumPortsLevel2Layout) {
  std::vector<BYTE> buffer(100 + 4, 0xCC);
  DWORD needed = 0, returned = 0;
  ASSERT_TRUE(m_->pfnEnumPorts(nullptr, 2, buffer.data(), 100, &needed, &returned));
  const BYTE* b = buffer.data();
  // PORT_INFO_2W: pPortName, pMonitorName, pDescription, fPortType, Reserved.
  EXPECT_EQ(Le32(b + 0), reinterpret_cast<DWORD>(b + 88));
  EXPECT_EQ(Le32(b + 4), reinterpret_cast<DWORD>(b + 72));
  EXPECT_EQ(Le32(b + 8), reinterpret_cast<DWORD>(b + 46));
  EXPECT_EQ(Le32(b + 12), static_cast<DWORD>(PORT_TYPE_WRITE));
  EXPECT_EQ(Le32(b + 16), 0u);
  EXPECT_EQ(std::vector<BYTE>(b + 20, b + 46), std::vector<BYTE>(26, 0));
  EXPECT_EQ(StringAt(b + 46), u"Printer Port");  // bytes 46 to 71
  EXPECT_EQ(StringAt(b + 72), u"DovaMon");       // bytes 72 to 87
  EXPECT_EQ(StringAt(b + 88), u"LPT1:");         // bytes 88 to 99
  EXPECT_EQ(buffer[100], 0xCC);
}

TEST_F(MonitorEntry, OpenPortExTakesLptPortsOnly) {
  const struct {
    const char16_t* name;
    bool accepted;
  } cases[] = {{u"LPT1:", true}, {u"lpt2:", true}, {u"LpT9", true}, {u"COM1:", false},
               {u"LP", false},   {u"USB001", false}, {u"", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name)));
    platform::ClearShownBoxes();
    std::u16string name = c.name;
    HANDLE port = nullptr;
    EXPECT_EQ(m_->pfnOpenPortEx(name.data(), nullptr, &port, nullptr), c.accepted ? TRUE : FALSE);
    const auto boxes = platform::ShownBoxes();
    if (c.accepted) {
      EXPECT_NE(port, nullptr);
      EXPECT_TRUE(boxes.empty());
      continue;
    }
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, u"Warning");
    EXPECT_EQ(boxes[0].text, u"Not support print out to this port: " + name + u"\n\nPlease choose port: USBtarn");
    EXPECT_EQ(boxes[0].style, 0x1000u);
  }
}

TEST_F(MonitorEntry, RefusalBoxPassesThroughTheTranslationFile) {
  std::ofstream(TranslationFolder() / "Dova.ini")
      << "[LANGUAGE_MONITOR]\r\n"
      << "Title=\"Warning\"=\"Achtung\"\r\n"
      << "Port=\"Please choose port:\"=\"Bitte Anschluss waehlen:\"\r\n";
  std::u16string name = u"COM1:";
  HANDLE port = nullptr;
  EXPECT_FALSE(m_->pfnOpenPortEx(name.data(), nullptr, &port, nullptr));
  const auto boxes = platform::ShownBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, u"Achtung");
  EXPECT_EQ(boxes[0].text, u"Not support print out to this port: COM1:\n\nBitte Anschluss waehlen: USBtarn");
}

TEST_F(MonitorEntry, HoldMarkerWaitsASecondAndTakesNothing) {
  StartJob();
  const BYTE marker[] = {0xAB, 0xBB, 0xCF, 0xCF, 1, 2, 3};
  for (int offer = 0; offer < 2; ++offer) {
    const DWORD before = GetTickCount();
    DWORD written = 0;
    EXPECT_TRUE(Write(marker, sizeof marker, &written));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(GetTickCount() - before, 1000u);
  }
  // Not a marker: the other byte order, and a buffer too short to hold one.
  const BYTE notMarkers[][4] = {{0xDD, 0xCC, 0xBB, 0xAA}, {0xCF, 0xCF, 0xBB, 0xAB}};
  for (const auto& bytes : notMarkers) {
    const DWORD before = GetTickCount();
    DWORD written = 0;
    EXPECT_TRUE(Write(bytes, 4, &written));
    EXPECT_EQ(written, 4u);
    EXPECT_EQ(GetTickCount(), before);
  }
  DWORD written = 0;
  EXPECT_TRUE(Write(marker, 3, &written));
  EXPECT_EQ(written, 3u);
}

TEST_F(MonitorEntry, JobHeaderOneBytePerWrite) {
  StartJob();
  const Bytes stream =
      JobStreamBuilder().Header().BandCount(1).Band(0, 16, 64, Payload({{80, {1, 2, 3}}})).BandCount(0).bytes();
  for (size_t i = 0; i < stream.size(); ++i) {
    DWORD written = 0;
    ASSERT_TRUE(Write(&stream[i], 1, &written)) << "byte " << i;
    ASSERT_EQ(written, 1u) << "byte " << i;
  }
}

TEST_F(MonitorEntry, StartResetsProgressAndCopyCancel) {
  StartJob();
  SetSwitch(u"Progress", 57);
  SetSwitch(u"CopyCancel", 1);
  DWORD written = 0;
  const BYTE first[] = {0};
  ASSERT_TRUE(Write(first, 1, &written));
  for (const char16_t* name : {u"Progress", u"CopyCancel"}) {
    const auto value = platform::ReadPrinterData(kPrinterName, name);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value->bytes, std::vector<BYTE>(4, 0));
  }
}

TEST_F(MonitorEntry, DebugSwitchesChooseOneFile) {
  const struct {
    DWORD raw, rgb, prn;
    const char16_t* created;  // the one file made, or none
  } cases[] = {
      {0, 0, 0, nullptr},           {1, 0, 0, u"c:\\CMYK1.raw"},  {0, 1, 0, u"c:\\RGB1.raw"},
      {1, 1, 0, u"c:\\CMYK1.raw"},  {0, 0, 1, u"c:\\Output.prn"}, {0, 7, 1, u"c:\\RGB1.raw"},
  };
  const char16_t* files[] = {u"c:\\CMYK1.raw", u"c:\\RGB1.raw", u"c:\\Output.prn"};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "raw " << c.raw << ", rgb " << c.rgb << ", prn " << c.prn);
    for (const char16_t* file : files) std::filesystem::remove(platform::HostPath(file));
    SetSwitch(u"Write2Raw", c.raw);
    SetSwitch(u"Write2RGB", c.rgb);
    SetSwitch(u"Write2Prn", c.prn);
    StartJob();
    DWORD written = 0;
    const BYTE first[] = {0};
    ASSERT_TRUE(Write(first, 1, &written));
    for (const char16_t* file : files)
      EXPECT_EQ(FileExists(file), c.created && std::u16string_view(file) == c.created)
          << std::string(file, file + std::char_traits<char16_t>::length(file));
    EXPECT_TRUE(m_->pfnEndDocPort(port_));
  }
}

TEST_F(MonitorEntry, RefusedDebugFileFailsTheWriteAndTheNextWriteTriesAgain) {
  SetSwitch(u"Write2Prn", 1);
  StartJob();
  ASSERT_TRUE(platform::SetFolderWritable(u"c:\\", false));
  const BYTE bytes[] = {1, 2, 3};
  DWORD written = 0;
  EXPECT_FALSE(Write(bytes, sizeof bytes, &written));
  EXPECT_EQ(written, 0u);
  EXPECT_FALSE(FileExists(u"c:\\Output.prn"));

  // The failed start closed the job's printer, so the retry reads no switches and opens no file; it
  // starts a job rather than refusing the write as one made after the job ended.
  EXPECT_TRUE(Write(bytes, sizeof bytes, &written));
  EXPECT_EQ(written, sizeof bytes);
  EXPECT_FALSE(FileExists(u"c:\\Output.prn"));
}

TEST_F(MonitorEntry, ReadPortReturnsNothing) {
  StartJob();
  BYTE buffer[16];
  DWORD read = kPoison;
  EXPECT_FALSE(m_->pfnReadPort(port_, buffer, sizeof buffer, &read));
  EXPECT_EQ(read, 0u);
}

TEST_F(MonitorEntry, EndDocPortWithoutAJobStillDeletesTheSpoolerJob) {
  const DWORD id = StartJob();
  ASSERT_EQ(platform::SpoolerJobs(kPrinterName).size(), 1u);
  EXPECT_TRUE(m_->pfnEndDocPort(port_));
  for (const auto& job : platform::SpoolerJobs(kPrinterName)) EXPECT_NE(job.id, id);
}

// A write after EndDocPort or ClosePort has no job to go into until the next StartDocPort.
TEST_F(MonitorEntry, WriteAfterTheJobEndedIsRefused) {
  const struct {
    const char* name;
    BOOL(WINAPI* MONITOR::*end)(HANDLE);
  } endings[] = {{"EndDocPort", &MONITOR::pfnEndDocPort}, {"ClosePort", &MONITOR::pfnClosePort}};
  for (const auto& ending : endings) {
    SCOPED_TRACE(ending.name);
    StartJob();
    DWORD written = 0;
    const BYTE bytes[] = {1, 2};
    ASSERT_TRUE(Write(bytes, sizeof bytes, &written));
    ASSERT_TRUE((m_->*ending.end)(port_));

    SetLastError(kPoison);
    EXPECT_FALSE(Write(bytes, sizeof bytes, &written));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    std::u16string printer = kPrinterName;
    const DWORD id = platform::AddSpoolerJob(kPrinterName, u"next");
    ASSERT_TRUE(m_->pfnStartDocPort(port_, printer.data(), id, 1, nullptr));
    EXPECT_TRUE(Write(bytes, sizeof bytes, &written));
    EXPECT_EQ(written, sizeof bytes);
    EXPECT_TRUE(m_->pfnEndDocPort(port_));
  }
}

}  // namespace
}  // namespace dovamon::test
