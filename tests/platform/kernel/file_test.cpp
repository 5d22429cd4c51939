#include "machine/fresh_machine.h"

#include <cstring>
#include <string>

namespace {

using orvella_test::FreshMachine;
using orvella_test::kPoison;

class FileTest : public FreshMachine {
 protected:
  HANDLE Open(const char16_t* name, DWORD access, DWORD disposition) {
    return CreateFileW(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  }
};

// Each disposition against a missing and an existing file: result, last error and what is left.
TEST_F(FileTest, CreateFileDispositions) {
  struct Case {
    DWORD disposition;
    bool exists;
    bool opens;
    DWORD error;
    const char* contentAfter;  // nullptr: the file is not there
  } cases[] = {
      {CREATE_NEW, false, true, ERROR_SUCCESS, ""},
      {CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
      {CREATE_ALWAYS, false, true, ERROR_SUCCESS, ""},
      {CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
      {OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
      {OPEN_EXISTING, true, true, ERROR_SUCCESS, "old"},
      {OPEN_ALWAYS, false, true, ERROR_SUCCESS, ""},
      {OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old"},
      {TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
      {TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "disposition " << c.disposition << (c.exists ? " existing" : " missing"));
    DeleteFileW(u"C:\\f.bin");
    if (c.exists) PutFile(u"C:\\f.bin", "old");
    SetLastError(kPoison);
    HANDLE file = Open(u"c:\\F.BIN", GENERIC_READ | GENERIC_WRITE, c.disposition);
    EXPECT_EQ(file != INVALID_HANDLE_VALUE, c.opens);
    EXPECT_EQ(GetLastError(), c.error);
    if (file != INVALID_HANDLE_VALUE) {
      EXPECT_TRUE(CloseHandle(file));
    }
    if (c.contentAfter) {
      EXPECT_EQ(HostFileText(u"C:\\f.bin"), c.contentAfter);
    } else {
      EXPECT_EQ(GetFileAttributesW(u"C:\\f.bin"), INVALID_FILE_ATTRIBUTES);
    }
  }
}

TEST_F(FileTest, CreateFileRefusals) {
  ASSERT_TRUE(CreateDirectoryW(u"C:\\locked", nullptr));
  PutFile(u"C:\\locked\\inside.txt", "keep");
  ASSERT_TRUE(platform::SetFolderWritable(u"C:\\locked", false));
  struct Case {
    const char16_t* name;
    DWORD access;
    DWORD disposition;
    DWORD error;
  } cases[] = {
      {u"C:\\missing\\f.txt", GENERIC_WRITE, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
      {u"C:\\missing\\f.txt", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
      {u"C:\\WINDOWS", GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},
      {u"C:\\WINDOWS", GENERIC_WRITE, CREATE_ALWAYS, ERROR_ACCESS_DENIED},
      {u"C:\\locked\\new.txt", GENERIC_WRITE, CREATE_ALWAYS, ERROR_ACCESS_DENIED},
      {u"C:\\locked\\inside.txt", GENERIC_WRITE, OPEN_EXISTING, ERROR_ACCESS_DENIED},
      {u"C:\\locked\\inside.txt", GENERIC_READ, TRUNCATE_EXISTING, ERROR_INVALID_PARAMETER},
      {u"C:\\f.txt", GENERIC_WRITE, 0, ERROR_INVALID_PARAMETER},
      {u"C:\\f.txt", GENERIC_WRITE, 6, ERROR_INVALID_PARAMETER},
      {u"D:\\f.txt", GENERIC_WRITE, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
      {u"C:\\bad|name", GENERIC_WRITE, CREATE_ALWAYS, ERROR_INVALID_NAME},
      {u"\\\\.\\NoSuchDevice", GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
      {nullptr, GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name ? platform::HostPath(c.name).string() : "NULL");
    SetLastError(kPoison);
    EXPECT_EQ(Open(c.name, c.access, c.disposition), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_EQ(HostFileText(u"C:\\locked\\inside.txt"), "keep");
  // Reading a refused folder's files is fine.
  HANDLE file = Open(u"C:\\locked\\inside.txt", GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
}

TEST_F(FileTest, ReadWriteSeekAndSize) {
  HANDLE file = Open(u"C:\\data.bin", GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD done = kPoison;
  ASSERT_TRUE(WriteFile(file, "0123456789", 10, &done, nullptr));
  EXPECT_EQ(done, 10u);
  DWORD high = kPoison;
  EXPECT_EQ(GetFileSize(file, &high), 10u);
  EXPECT_EQ(high, 0u);
  EXPECT_TRUE(FlushFileBuffers(file));

  struct Seek {
    LONG distance;
    DWORD method;
    DWORD position;
  } seeks[] = {{3, FILE_BEGIN, 3}, {2, FILE_CURRENT, 5}, {-4, FILE_END, 6}, {-6, FILE_CURRENT, 0}};
  for (const auto& s : seeks) {
    SetLastError(kPoison);
    EXPECT_EQ(SetFilePointer(file, s.distance, nullptr, s.method), s.position);
    EXPECT_EQ(GetLastError(), NO_ERROR);
  }
  SetLastError(kPoison);
  EXPECT_EQ(SetFilePointer(file, -1, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
  SetLastError(kPoison);
  EXPECT_EQ(SetFilePointer(file, 0, nullptr, 3), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  LONG seekHigh = 0;
  EXPECT_EQ(SetFilePointer(file, 8, &seekHigh, FILE_BEGIN), 8u);
  EXPECT_EQ(seekHigh, 0);
  char buffer[16];
  std::memset(buffer, 'x', sizeof buffer);
  done = kPoison;
  ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &done, nullptr));
  EXPECT_EQ(done, 2u);
  EXPECT_EQ(std::string(buffer, 2), "89");
  done = kPoison;
  ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &done, nullptr));  // at the end: success, nothing read
  EXPECT_EQ(done, 0u);

  // Writing past the end after a seek extends the file; the gap reads as zeros.
  EXPECT_EQ(SetFilePointer(file, 12, nullptr, FILE_BEGIN), 12u);
  ASSERT_TRUE(WriteFile(file, "Z", 1, &done, nullptr));
  EXPECT_EQ(GetFileSize(file, nullptr), 13u);
  EXPECT_EQ(HostFileText(u"C:\\data.bin"), std::string("0123456789\0\0Z", 13));

  // An OVERLAPPED names the offset, and its event tells the transfer is done.
  OVERLAPPED at{};
  at.Offset = 4;
  at.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(at.hEvent, nullptr);
  ASSERT_TRUE(ReadFile(file, buffer, 3, &done, &at));
  EXPECT_EQ(std::string(buffer, done), "456");
  EXPECT_EQ(at.InternalHigh, 3u);
  EXPECT_EQ(WaitForSingleObject(at.hEvent, 0), WAIT_OBJECT_0);
  CloseHandle(at.hEvent);
  EXPECT_TRUE(CloseHandle(file));
}

// Positions past 4 GiB need the high part; the file stays sparse on the host.
TEST_F(FileTest, LargePositionsUseTheHighPart) {
  HANDLE file = Open(u"C:\\large.bin", GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  LONG high = 1;
  SetLastError(kPoison);
  EXPECT_EQ(SetFilePointer(file, 0x10, &high, FILE_BEGIN), 0x10u);
  EXPECT_EQ(high, 1);
  EXPECT_EQ(GetLastError(), NO_ERROR);
  DWORD done = 0;
  ASSERT_TRUE(WriteFile(file, "x", 1, &done, nullptr));
  DWORD sizeHigh = kPoison;
  EXPECT_EQ(GetFileSize(file, &sizeHigh), 0x11u);
  EXPECT_EQ(sizeHigh, 1u);
  // Without a high part a position must stay below 2 GiB.
  SetLastError(kPoison);
  EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(CloseHandle(file));
}

TEST_F(FileTest, HandlesRefuseWhatTheirAccessDoesNotAllow) {
  PutFile(u"C:\\data.bin", "abc");
  HANDLE reader = Open(u"C:\\data.bin", GENERIC_READ, OPEN_EXISTING);
  HANDLE writer = Open(u"C:\\data.bin", GENERIC_WRITE, OPEN_EXISTING);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  char buffer[4];
  DWORD done = kPoison;
  SetLastError(kPoison);
  EXPECT_FALSE(WriteFile(reader, "x", 1, &done, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(done, 0u);
  done = kPoison;
  SetLastError(kPoison);
  EXPECT_FALSE(ReadFile(writer, buffer, 1, &done, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(done, 0u);
  SetLastError(kPoison);
  EXPECT_FALSE(FlushFileBuffers(reader));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  SetLastError(kPoison);
  EXPECT_FALSE(ReadFile(reader, buffer, 1, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(CloseHandle(reader));
  EXPECT_TRUE(CloseHandle(writer));
  EXPECT_EQ(HostFileText(u"C:\\data.bin"), "abc");

  // A closed handle, or one that is no file, is refused everywhere.
  for (HANDLE bad : {reader, INVALID_HANDLE_VALUE, HANDLE(nullptr)}) {
    SetLastError(kPoison);
    EXPECT_FALSE(ReadFile(bad, buffer, 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(kPoison);
    EXPECT_EQ(GetFileSize(bad, nullptr), INVALID_FILE_SIZE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(kPoison);
    EXPECT_FALSE(CloseHandle(bad));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  }
}

TEST_F(FileTest, AnsiNamesUseTheMachineCodePage) {
  HANDLE file = CreateFileA("C:\\caf\xE9.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  EXPECT_TRUE(std::filesystem::exists(folder_ / "drive_c/café.txt"));
  EXPECT_EQ(GetFileAttributesW(u"C:\\CAFÉ.TXT"), DWORD(FILE_ATTRIBUTE_ARCHIVE));
}

TEST_F(FileTest, DirectoriesCopiesAndDeletes) {
  SetLastError(kPoison);
  EXPECT_TRUE(CreateDirectoryA("C:\\pkg", nullptr));
  SetLastError(kPoison);
  EXPECT_FALSE(CreateDirectoryA("c:\\PKG", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  SetLastError(kPoison);
  EXPECT_FALSE(CreateDirectoryA("C:\\no\\such", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(GetFileAttributesA("C:\\pkg"), DWORD(FILE_ATTRIBUTE_DIRECTORY));

  PutFile(u"C:\\pkg\\DovaMon.dll", "module");
  EXPECT_TRUE(CopyFileA("C:\\pkg\\DovaMon.dll", "C:\\WINDOWS\\system32\\DovaMon.dll", FALSE));
  EXPECT_EQ(HostFileText(u"C:\\WINDOWS\\system32\\DovaMon.dll"), "module");
  PutFile(u"C:\\pkg\\DovaMon.dll", "newer");
  EXPECT_TRUE(CopyFileA("C:\\pkg\\dovamon.DLL", "C:\\windows\\SYSTEM32\\dovamon.dll", FALSE));
  EXPECT_EQ(HostFileText(u"C:\\WINDOWS\\system32\\DovaMon.dll"), "newer");
  EXPECT_FALSE(std::filesystem::exists(folder_ / "drive_c/WINDOWS/system32/dovamon.dll"));

  struct CopyCase {
    const char* from;
    const char* to;
    BOOL failIfExists;
    DWORD error;
  } refused[] = {
      {"C:\\pkg\\DovaMon.dll", "C:\\WINDOWS\\system32\\DovaMon.dll", TRUE, ERROR_FILE_EXISTS},
      {"C:\\pkg\\missing.dll", "C:\\x.dll", FALSE, ERROR_FILE_NOT_FOUND},
      {"C:\\gone\\missing.dll", "C:\\x.dll", FALSE, ERROR_PATH_NOT_FOUND},
      {"C:\\pkg\\DovaMon.dll", "C:\\gone\\x.dll", FALSE, ERROR_PATH_NOT_FOUND},
      {"C:\\pkg", "C:\\x.dll", FALSE, ERROR_ACCESS_DENIED},
      {"C:\\pkg\\DovaMon.dll", "C:\\WINDOWS", FALSE, ERROR_ACCESS_DENIED},
      {"C:\\pkg\\DovaMon.dll", "c:\\pkg\\DOVAMON.dll", FALSE, ERROR_SHARING_VIOLATION},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(std::string(c.from) + " -> " + c.to);
    SetLastError(kPoison);
    EXPECT_FALSE(CopyFileA(c.from, c.to, c.failIfExists));
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_EQ(HostFileText(u"C:\\pkg\\DovaMon.dll"), "newer");

  ASSERT_TRUE(platform::SetFolderWritable(u"C:\\WINDOWS\\system32", false));
  SetLastError(kPoison);
  EXPECT_FALSE(CopyFileA("C:\\pkg\\DovaMon.dll", "C:\\WINDOWS\\system32\\Other.dll", FALSE));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  SetLastError(kPoison);
  EXPECT_FALSE(DeleteFileA("C:\\WINDOWS\\system32\\DovaMon.dll"));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  SetLastError(kPoison);
  EXPECT_FALSE(CreateDirectoryA("C:\\WINDOWS\\system32\\new", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(GetFileAttributesA("C:\\WINDOWS\\system32\\DovaMon.dll"),
            DWORD(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(platform::SetFolderWritable(u"C:\\WINDOWS\\system32", true));

  EXPECT_TRUE(DeleteFileA("C:\\WINDOWS\\SYSTEM32\\DOVAMON.DLL"));
  struct DeleteCase {
    const char* name;
    DWORD error;
  } undeletable[] = {
      {"C:\\WINDOWS\\system32\\DovaMon.dll", ERROR_FILE_NOT_FOUND},
      {"C:\\gone\\x.dll", ERROR_PATH_NOT_FOUND},
      {"C:\\pkg", ERROR_ACCESS_DENIED},
  };
  for (const auto& c : undeletable) {
    SCOPED_TRACE(c.name);
    SetLastError(kPoison);
    EXPECT_FALSE(DeleteFileA(c.name));
    EXPECT_EQ(GetLastError(), c.error);
    SetLastError(kPoison);
    if (c.error != ERROR_ACCESS_DENIED) {
      EXPECT_EQ(GetFileAttributesA(c.name), INVALID_FILE_ATTRIBUTES);
      EXPECT_EQ(GetLastError(), c.error);
    }
  }
}

TEST_F(FileTest, CurrentDirectoryTwoPassProtocol) {
  ASSERT_TRUE(CreateDirectoryW(u"C:\\Package", nullptr));
  SetLastError(kPoison);
  EXPECT_TRUE(SetCurrentDirectoryA("c:\\package\\"));
  const std::string expected = "C:\\package";  // kept as given, without the trailing backslash
  const DWORD n = static_cast<DWORD>(expected.size());
  EXPECT_EQ(GetCurrentDirectoryA(0, nullptr), n + 1);
  struct Probe {
    DWORD size;
    DWORD result;
    bool filled;
  } probes[] = {{n - 1, n + 1, false}, {n, n + 1, false}, {n + 1, n, true}, {n + 2, n, true}};
  for (const auto& p : probes) {
    SCOPED_TRACE(p.size);
    char buffer[64];
    std::memset(buffer, 0x5A, sizeof buffer);
    EXPECT_EQ(GetCurrentDirectoryA(p.size, buffer), p.result);
    if (p.filled) {
      EXPECT_EQ(std::string(buffer), expected);
    } else {
      EXPECT_EQ(buffer[0], 0x5A);
    }
    char16_t wide[64];
    std::fill(std::begin(wide), std::end(wide), u'Z');
    EXPECT_EQ(GetCurrentDirectoryW(p.size, wide), p.result);
    if (p.filled) {
      EXPECT_EQ(std::u16string(wide), u"C:\\package");
    }
  }

  // Relative names now start there.
  HANDLE file = CreateFileA("inside.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  EXPECT_TRUE(std::filesystem::exists(folder_ / "drive_c/Package/inside.txt"));

  struct Refusal {
    const char* name;
    DWORD error;
  } refusals[] = {
      {"C:\\Package\\inside.txt", ERROR_DIRECTORY},
      {"C:\\nowhere", ERROR_FILE_NOT_FOUND},
      {"C:\\nowhere\\deeper", ERROR_PATH_NOT_FOUND},
      {"E:\\", ERROR_PATH_NOT_FOUND},
  };
  for (const auto& r : refusals) {
    SCOPED_TRACE(r.name);
    SetLastError(kPoison);
    EXPECT_FALSE(SetCurrentDirectoryA(r.name));
    EXPECT_EQ(GetLastError(), r.error);
  }
  ASSERT_TRUE(SetCurrentDirectoryA(".."));
  char buffer[8];
  EXPECT_EQ(GetCurrentDirectoryA(sizeof buffer, buffer), 3u);
  EXPECT_STREQ(buffer, "C:\\");
}

}  // namespace
