// What the Felbrin tests share: the plug-in's exports loaded as a host loads them, the
// example archive, a progress recorder, and the platform's counts of live blocks (native
// only; on Windows the counts read -1 and the leak checks are skipped).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32.h"
#include "plugin_api/plugin_api.h"
#include "tests/common/plugin_library.h"
#include "tools/ggd_archive_writer/ggd_archive_writer.h"
#ifndef _WIN32
#include "platform/testing.h"
#endif

namespace felbrin_test {

typedef int(SPI_CALL* GetPluginInfoFn)(int infono, char* buf, int buflen);
typedef int(SPI_CALL* IsSupportedFn)(const char* filename, uintptr_t dw);
typedef int(SPI_CALL* GetArchiveInfoFn)(const char* buf, intptr_t len, unsigned flag, void** lphInf);
typedef int(SPI_CALL* GetFileInfoFn)(const char* buf, intptr_t len, const char* filename, unsigned flag,
                                     spi::ArchiveEntryInfo* lpInfo);
typedef int(SPI_CALL* GetFileFn)(const char* src, intptr_t len, char* dest, unsigned flag,
                                 spi::ProgressCallback callback, intptr_t lData);
typedef int(SPI_CALL* ConfigurationDlgFn)(void* parent, int fnc);

constexpr unsigned kMemoryIn = 1;
constexpr unsigned kMemoryOut = 0x100;

// One load of the plug-in; unloading it at the end releases its cache.
struct Felbrin {
  testing_support::PluginLibrary library{"Felbrin"};
  GetPluginInfoFn GetPluginInfo = library.get<GetPluginInfoFn>("GetPluginInfo");
  IsSupportedFn IsSupported = library.get<IsSupportedFn>("IsSupported");
  GetArchiveInfoFn GetArchiveInfo = library.get<GetArchiveInfoFn>("GetArchiveInfo");
  GetFileInfoFn GetFileInfo = library.get<GetFileInfoFn>("GetFileInfo");
  GetFileFn GetFile = library.get<GetFileFn>("GetFile");
  ConfigurationDlgFn ConfigurationDlg = library.get<ConfigurationDlgFn>("ConfigurationDlg");

  bool complete() const {
    return GetPluginInfo && IsSupported && GetArchiveInfo && GetFileInfo && GetFile && ConfigurationDlg;
  }
  // A memory listing empties the cache; this one lists nothing.
  void dropCache() {
    void* list = nullptr;
    GetArchiveInfo("", 0, kMemoryIn, &list);
  }
};

inline long liveLocalBlocks() {
#ifdef _WIN32
  return -1;
#else
  return platformLiveLocalBlocks();
#endif
}

inline long liveGlobalBlocks() {
#ifdef _WIN32
  return -1;
#else
  return platformLiveGlobalBlocks();
#endif
}

inline void failAllocationsAfter(long count) {
#ifndef _WIN32
  platformFailAllocationsAfter(count);
#endif
}

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

}  // namespace felbrin_test
