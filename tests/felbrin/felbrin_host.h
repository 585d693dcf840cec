// What the Felbrin tests share: the plug-in's exports (both families) loaded as a host loads
// them, the example archive, a progress recorder, wide paths and files, and the platform's
// counts of live blocks (native only; on Windows the counts read 0, so the leak checks hold
// trivially).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32.h"
#include "plugin_api/plugin_api.h"
#include "tests/common/live_blocks.h"
#include "tests/common/plugin_library.h"
#include "tools/ggd_archive_writer/ggd_archive_writer.h"

namespace felbrin_test {

typedef spi::WideChar WideChar;

constexpr unsigned kMemoryIn = 1;
constexpr unsigned kMemoryOut = 0x100;

// One load of the plug-in; unloading it at the end releases its cache.
struct Felbrin {
  testing_support::PluginLibrary library{"Felbrin"};
  spi::GetPluginInfoFn GetPluginInfo = library.get<spi::GetPluginInfoFn>("GetPluginInfo");
  spi::IsSupportedFn IsSupported = library.get<spi::IsSupportedFn>("IsSupported");
  spi::GetArchiveInfoFn GetArchiveInfo = library.get<spi::GetArchiveInfoFn>("GetArchiveInfo");
  spi::GetFileInfoFn GetFileInfo = library.get<spi::GetFileInfoFn>("GetFileInfo");
  spi::GetFileFn GetFile = library.get<spi::GetFileFn>("GetFile");
  spi::ConfigurationDlgFn ConfigurationDlg = library.get<spi::ConfigurationDlgFn>("ConfigurationDlg");
  spi::GetPluginInfoWFn GetPluginInfoW = library.get<spi::GetPluginInfoWFn>("GetPluginInfoW");
  spi::IsSupportedWFn IsSupportedW = library.get<spi::IsSupportedWFn>("IsSupportedW");
  spi::GetArchiveInfoWFn GetArchiveInfoW = library.get<spi::GetArchiveInfoWFn>("GetArchiveInfoW");
  spi::GetFileInfoWFn GetFileInfoW = library.get<spi::GetFileInfoWFn>("GetFileInfoW");
  spi::GetFileWFn GetFileW = library.get<spi::GetFileWFn>("GetFileW");

  bool complete() const {
    return GetPluginInfo && IsSupported && GetArchiveInfo && GetFileInfo && GetFile && ConfigurationDlg &&
           GetPluginInfoW && IsSupportedW && GetArchiveInfoW && GetFileInfoW && GetFileW;
  }
  // A memory listing empties the cache; this one lists nothing.
  void dropCache() {
    void* list = nullptr;
    GetArchiveInfo("", 0, kMemoryIn, &list);
  }
};

using testing_support::failAllocationsAfter;
using testing_support::liveGlobalBlocks;
using testing_support::liveLocalBlocks;

inline std::string pattern(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + seed) & 0xFF);
  return bytes;
}

inline std::string archiveOf(const std::vector<ggd_archive_writer::Member>& members) {
  std::string archive, error;
  EXPECT_TRUE(ggd_archive_writer::buildArchive(members, &archive, &error)) << error;
  return archive;
}

// D = 48: A.BMP at 50 (100 bytes), B at 150 (8 bytes), end marker 158.
inline std::string exampleArchive() { return archiveOf({{"A.BMP", pattern(100, 1)}, {"B", pattern(8, 2)}}); }

// Records (done, total) and asks to stop at report number `stopAt` (0 = the first).
struct ProgressLog {
  std::vector<std::pair<int, int>> reports;
  long stopAt = -1;

  static int SPI_CALL record(int done, int total, spi::UserData user) {
    ProgressLog* log = reinterpret_cast<ProgressLog*>(user);
    log->reports.emplace_back(done, total);
    return static_cast<long>(log->reports.size()) - 1 == log->stopAt ? 1 : 0;
  }
  intptr_t user() { return reinterpret_cast<intptr_t>(this); }
};

inline std::string folderPath(const std::string& folder) {
#ifdef _WIN32
  return folder + "\\";
#else
  return folder + "/";
#endif
}

// Wide texts and paths in the records' character type (wchar_t on Windows, char16_t here).
typedef std::basic_string<WideChar> WideString;

inline WideString W(const char16_t* text) {
  WideString wide;
  for (; *text != 0; ++text) wide.push_back(static_cast<WideChar>(*text));
  return wide;
}

inline WideString W(const std::string& ascii) { return WideString(ascii.begin(), ascii.end()); }

inline WideString widePath(const std::filesystem::path& path) {
#ifdef _WIN32
  return path.wstring();
#else
  const std::u16string units = path.u16string();
  return WideString(units.begin(), units.end());
#endif
}

inline std::filesystem::path pathOf(const WideString& wide) {
#ifdef _WIN32
  return std::filesystem::path(wide);
#else
  return std::filesystem::path(std::u16string(wide.begin(), wide.end()));
#endif
}

inline WideString wideFolderPath(const std::filesystem::path& folder) {
#ifdef _WIN32
  return widePath(folder) + W(u"\\");
#else
  return widePath(folder) + W(u"/");
#endif
}

// The text in the system code page, when the code page spells every character of it (the
// conversion back gives the same text).
inline bool ansiOf(const WideString& wide, std::string* ansi) {
  const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return false;
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &out[0], bytes, nullptr, nullptr);
  out.resize(static_cast<size_t>(bytes) - 1);
  std::vector<WideChar> back(wide.size() + 8, 0);
  const int units = MultiByteToWideChar(CP_ACP, 0, out.c_str(), -1, back.data(), static_cast<int>(back.size()));
  if (units <= 0 || WideString(back.data()) != wide) return false;
  *ansi = out;
  return true;
}

// Files under wide names, through the platform's wide calls.
inline bool writeFileW(const WideString& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

// The file's bytes under an ANSI or a wide path, or "<missing>" when it cannot be opened.
inline std::string readFileAt(HANDLE file) {
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string bytes;
  char piece[4096];
  DWORD got = 0;
  while (ReadFile(file, piece, sizeof piece, &got, nullptr) && got > 0) bytes.append(piece, got);
  CloseHandle(file);
  return bytes;
}
inline std::string readFile(const std::string& path) {
  return readFileAt(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}
inline std::string readFile(const WideString& path) {
  return readFileAt(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Sets the file's last-write time to the whole second it was written in, a time that every
// build's file calls set and give back exactly (some keep whole seconds only).
inline void pinWriteTime(const std::filesystem::path& path) {
  std::filesystem::last_write_time(
      path, std::chrono::floor<std::chrono::seconds>(std::filesystem::last_write_time(path)));
}

// Rewrites a pinned file with bytes of the same size and gives it back its last-write time: a
// change the cache cannot see, so a listing that still shows the old bytes came from it.
inline void rewriteUnseen(const std::filesystem::path& path, const std::string& bytes) {
  const auto written = std::filesystem::last_write_time(path);
  EXPECT_EQ(std::filesystem::file_size(path), bytes.size());
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  std::filesystem::last_write_time(path, written);
}

}  // namespace felbrin_test
