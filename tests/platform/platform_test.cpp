// The behaviour of the Win32 calls that our code relies on, checked in both builds: on
// Windows against the real system, natively against the platform layer.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/file_seek.h"
#include "platform/win32.h"
#include "tests/common/sparse_file.h"
#include "tests/common/temp_folder.h"

namespace {

using testing_support::TempFolder;

HANDLE openForRead(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE createForWrite(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(PlatformFiles, WriteReadSeekSizeAndDelete) {
  TempFolder folder;
  std::string path = folder.path("data.bin");
  HANDLE out = createForWrite(path);
  ASSERT_NE(out, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(out, "0123456789", 10, &written, nullptr));
  EXPECT_EQ(written, 10u);
  CloseHandle(out);

  HANDLE in = openForRead(path);
  ASSERT_NE(in, INVALID_HANDLE_VALUE);
  DWORD high = 1;
  EXPECT_EQ(GetFileSize(in, &high), 10u);
  EXPECT_EQ(high, 0u);
  EXPECT_EQ(SetFilePointer(in, 4, nullptr, FILE_BEGIN), 4u);
  char buffer[16] = {};
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(in, buffer, 16, &read, nullptr));
  EXPECT_EQ(read, 6u);  // a short read at the end of the file is not a failure
  EXPECT_EQ(std::string(buffer, read), "456789");
  ASSERT_TRUE(ReadFile(in, buffer, 16, &read, nullptr));
  EXPECT_EQ(read, 0u);
  EXPECT_EQ(SetFilePointer(in, 0, nullptr, FILE_CURRENT), 10u);
  EXPECT_EQ(SetFilePointer(in, 100, nullptr, FILE_BEGIN), 100u);  // past the end is allowed
  EXPECT_EQ(SetFilePointer(in, -1, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  CloseHandle(in);

  EXPECT_TRUE(DeleteFileA(path.c_str()));
  EXPECT_EQ(openForRead(path), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(DeleteFileA(path.c_str()));
}

TEST(PlatformFiles, CreateAlwaysEmptiesAndDirectoriesDoNotOpen) {
  TempFolder folder;
  std::string path = folder.path("a.txt");
  folder.write("a.txt", "old contents");
  HANDLE out = createForWrite(path);
  ASSERT_NE(out, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileSize(out, nullptr), 0u);
  CloseHandle(out);
  folder.makeFolder("sub");
  EXPECT_EQ(openForRead(folder.path("sub")), INVALID_HANDLE_VALUE);
}

TEST(PlatformFiles, FailedCallsOnBadHandles) {
  char buffer[4];
  DWORD read = 99;
  EXPECT_FALSE(ReadFile(INVALID_HANDLE_VALUE, buffer, 4, &read, nullptr));
  EXPECT_EQ(read, 0u);
  EXPECT_EQ(GetFileSize(INVALID_HANDLE_VALUE, nullptr), INVALID_FILE_SIZE);
}

// Reads up to 2 bytes from where the handle stands.
std::string readTwo(HANDLE file) {
  char buffer[2] = {};
  DWORD read = 0;
  return ReadFile(file, buffer, 2, &read, nullptr) ? std::string(buffer, read) : "(failed)";
}

int64_t positionOf(HANDLE file) {
  LARGE_INTEGER none;
  none.QuadPart = 0;
  LARGE_INTEGER now;
  return SetFilePointerEx(file, none, &now, FILE_CURRENT) ? now.QuadPart : -2;
}

// Past 4 GiB the low 32 bits alone name another place: "CD" lies at 4 GiB + 2, where a
// position cut to 32 bits reads the zeros at 2. A refused move leaves the handle where it was.
TEST(PlatformFiles, SeekFileToReachesEvery64BitPositionAndRefusesNegativeOnes) {
  TempFolder folder;
  const std::string path = folder.path("sparse.bin");
  const int64_t past4GiB = (int64_t{1} << 32) + 2;
  ASSERT_TRUE(testing_support::writeSparseFile(path, {{0, "AB"}, {static_cast<uint64_t>(past4GiB), "CD"}}));
  HANDLE in = openForRead(path);
  ASSERT_NE(in, INVALID_HANDLE_VALUE);
  const std::string hole(2, '\0');
  struct Case {
    int64_t position;
    bool reached;
    std::string bytes;
  } cases[] = {
      {past4GiB, true, "CD"},
      {0, true, "AB"},
      {past4GiB + 2, true, ""},      // the end
      {int64_t{1} << 40, true, ""},  // far past the end: allowed, nothing to read
      {1, true, std::string("B\0", 2)},
      {-1, false, hole},  // the handle stays after "B", in the hole
      {INT64_MIN, false, hole},
  };
  for (const Case& c : cases) {
    const int64_t before = positionOf(in);
    ASSERT_EQ(platform::seekFileTo(in, c.position), c.reached) << c.position;
    EXPECT_EQ(positionOf(in), c.reached ? c.position : before) << c.position;
    EXPECT_EQ(readTwo(in), c.bytes) << c.position;
  }
  EXPECT_FALSE(platform::seekFileTo(INVALID_HANDLE_VALUE, 0));
  CloseHandle(in);
}

bool anyMatch(const std::string& pattern, std::string* name = nullptr) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  if (name) *name = found.cFileName;
  FindClose(search);
  return true;
}

TEST(PlatformFind, WindowsWildcardRules) {
  TempFolder folder;
  folder.write("fcg_000001.gg0", "");
  folder.write("fcg_000002", "");
  folder.makeFolder("fcg_000003");
  folder.write("Other.TXT", "");

  struct Case {
    const char* pattern;
    bool matches;
  } cases[] = {
      {"fcg_000001.*", true},   // any extension
      {"fcg_000002.*", true},   // "stem.*" also matches the bare stem
      {"fcg_000003.*", true},   // directories count
      {"fcg_000004.*", false},
      {"other.txt", true},      // letters compare without regard to case
      {"fcg_00000?.gg0", true},
      {"*.gg1", false},
      {"*", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(anyMatch(folder.path(c.pattern)), c.matches) << c.pattern;
  }
  std::string name;
  ASSERT_TRUE(anyMatch(folder.path("fcg_000002.*"), &name));
  EXPECT_EQ(name, "fcg_000002");
}

TEST(PlatformMemory, LocalBlocksAreSizedZeroedAndLockToTheirAddress) {
  HLOCAL fixed = LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, 100);
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(LocalSize(fixed), 100u);
  unsigned char* bytes = static_cast<unsigned char*>(LocalLock(fixed));
  EXPECT_EQ(static_cast<void*>(bytes), fixed);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(bytes[i], 0) << i;
  LocalUnlock(fixed);
  EXPECT_EQ(LocalFree(fixed), nullptr);

  HLOCAL moveable = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, 10);
  ASSERT_NE(moveable, nullptr);
  EXPECT_NE(LocalLock(moveable), nullptr);
  LocalUnlock(moveable);
  EXPECT_EQ(LocalSize(moveable), 10u);
  EXPECT_EQ(LocalFree(moveable), nullptr);

  HGLOBAL global = GlobalAlloc(GMEM_MOVEABLE, 33);
  ASSERT_NE(global, nullptr);
  EXPECT_EQ(GlobalSize(global), 33u);
  EXPECT_NE(GlobalLock(global), nullptr);
  GlobalUnlock(global);
  EXPECT_EQ(GlobalFree(global), nullptr);
}

TEST(PlatformTime, LocalTimeIsPlausibleAndTicksAdvance) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  EXPECT_GE(now.wYear, 2024);
  EXPECT_GE(now.wMonth, 1);
  EXPECT_LE(now.wMonth, 12);
  DWORD first = GetTickCount();
  DWORD second = GetTickCount();
  EXPECT_LE(second - first, 1000u);
}

}  // namespace

namespace {

#ifdef _WIN32
#define WIDE(text) L##text
#else
#define WIDE(text) u##text
#endif

std::basic_string<WCHAR> widen(const std::string& narrow) {
  int count = MultiByteToWideChar(CP_UTF8, 0, narrow.c_str(), -1, nullptr, 0);
  std::basic_string<WCHAR> wide(static_cast<size_t>(count), 0);
  MultiByteToWideChar(CP_UTF8, 0, narrow.c_str(), -1, &wide[0], count);
  wide.resize(static_cast<size_t>(count > 0 ? count - 1 : 0));
  return wide;
}

TEST(PlatformWide, FileNamesOutsideAnyOneByteCodePage) {
  TempFolder folder;
  // "画像-Ωmega.bin": Japanese, Greek and ASCII in one name.
  std::basic_string<WCHAR> name = widen(folder.path()) + WIDE("/\u753b\u50cf-\u03a9mega.bin");
  HANDLE out = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(out, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(out, "abc", 3, &written, nullptr);
  CloseHandle(out);
  HANDLE in = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(in, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileSize(in, nullptr), 3u);
  CloseHandle(in);
  EXPECT_TRUE(DeleteFileW(name.c_str()));
}

TEST(PlatformWide, Utf8RoundTripAndSizing) {
  const char* text = "a\xC3\xA9\xE7\x94\xBB\xF0\x9F\x98\x80";  // a, é, 画, and one astral character
  int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  EXPECT_EQ(units, 6);  // a, é, 画, a surrogate pair, NUL
  WCHAR wide[8] = {};
  ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, 8), 6);
  EXPECT_EQ(wide[2], 0x753B);
  char back[16] = {};
  ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, wide, -1, back, 16, nullptr, nullptr), 11);
  EXPECT_STREQ(back, text);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, 2), 0) << "too small a buffer fails";
}

TEST(PlatformWide, OverlongFormsNeverDecodeToAsciiOrNul) {
  // NUL, '/' and 'A' spelled in more bytes than they need: refused here, replaced on Windows;
  // never the short character itself, which would cut a name or add a separator to a path.
  const char* cases[] = {"a\xC0\x80z", "a\xC0\xAFz", "a\xE0\x80\xAFz", "a\xF0\x80\x80\xAFz", "a\xC1\x81z"};
  for (const char* text : cases) {
    WCHAR wide[16] = {};
    const int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, 16);
    if (units == 0) continue;
    ASSERT_GE(units, 3) << text;
    EXPECT_EQ(wide[0], 'a');
    EXPECT_EQ(wide[units - 2], 'z');
    for (int i = 1; i < units - 2; ++i) EXPECT_GE(wide[i], 0x80) << text;
  }
}

}  // namespace
