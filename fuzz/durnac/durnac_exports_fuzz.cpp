// Durnac through its exports, as a host drives them, the export code compiled in. The input
// is written to a file; then IsSupported reads its head through the file handle (a
// HandleStream) and from memory, GetArchiveInfo lists it by its ANSI name (a FileStream) and
// by its UTF-16 name (a WideFileStream) and refuses it in memory, GetFileInfo finds members
// by name, and GetFile extracts members to memory in both families. Beyond "no crash", it
// checks that both families agree, that every member handed over holds exactly the bytes its
// entry points at, and that a member the file cannot hold answers 6 with a null handle.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/support/fuzz_helpers.h"
#include "platform/win32.h"
#include "plugin_api/plugin_api.h"
#include "tests/common/export_declarations.h"

using spi::WideChar;

namespace {

// Members extracted per input: the first ones and the last, so that a large directory does
// not slow the fuzzer to a crawl.
constexpr uint32_t kMembersExtracted = 48;
constexpr size_t kHeaderSize = 32;
constexpr size_t kEntrySize = 20;

void check(bool holds) {
  if (!holds) std::abort();
}

uint32_t wordAt(const uint8_t* data, size_t at) {
  uint32_t value;
  std::memcpy(&value, data + at, 4);
  return value;
}

// IsSupported through the host's handle and through the head in memory: the same 32 bytes
// decide, so both answer alike, except for a file shorter than a header, whose head the
// host's zero-filled buffer completes. The handle stays open for the host to close. The
// answer is the file's.
int probeBothWays(const fuzz_support::InputFile& file, const uint8_t* data, size_t size) {
  HANDLE handle = CreateFileA(file.path(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  check(handle != INVALID_HANDLE_VALUE);
  int byHandle = spi::isProbeHandle(reinterpret_cast<uintptr_t>(handle))
                     ? IsSupported(file.path(), reinterpret_cast<uintptr_t>(handle))
                     : -1;
  check(CloseHandle(handle));
  std::vector<uint8_t> head(spi::kHostHeadBytes, 0);
  std::memcpy(head.data(), data, std::min<size_t>(size, spi::kHostHeadBytes));
  int inMemory = IsSupportedW(file.widePath(), reinterpret_cast<uintptr_t>(head.data()));
  check(inMemory == 0 || inMemory == 1);
  if (size < kHeaderSize) {
    check(byHandle != 1);
    return 0;
  }
  check(byHandle == -1 || byHandle == inMemory);
  return inMemory;
}

// Member `index` through GetFile or GetFileW: 0 with exactly the bytes the entry points at,
// or 6 with a null handle when the file cannot hold them. Both families answer alike.
void extractBothWays(const fuzz_support::InputFile& file, const uint8_t* data, size_t size, uint32_t index) {
  const size_t at = kHeaderSize + static_cast<size_t>(index) * kEntrySize;
  const uint64_t offset = wordAt(data, at + 12);
  const uint64_t length = wordAt(data, at + 16);
  const bool inside = length == 0 || offset + length <= size;
  for (bool wide : {false, true}) {
    void* member = reinterpret_cast<void*>(static_cast<uintptr_t>(0x5A5A5A5A));
    int result = wide ? GetFileW(file.widePath(), index, &member, 0x100, nullptr, 0)
                      : GetFile(file.path(), index, &member, 0x100, nullptr, 0);
    if (!inside) {
      check(result == spi::kReadError && member == nullptr);
      continue;
    }
    check(result == spi::kSuccess && member != nullptr && LocalSize(member) == length);
    check(length == 0 || std::memcmp(member, data + offset, static_cast<size_t>(length)) == 0);
    LocalFree(member);
  }
}

// The listing in both families agrees record by record; each listed name is found again
// by GetFileInfo at the first member of that name.
void listBothWays(const fuzz_support::InputFile& file, void* ansiList, void* wideList, uint32_t count) {
  check(LocalSize(ansiList) == (count + 1) * sizeof(spi::ArchiveEntryInfo));
  check(LocalSize(wideList) == (count + 1) * sizeof(spi::ArchiveEntryInfoW));
  const auto* ansi = static_cast<const spi::ArchiveEntryInfo*>(ansiList);
  const auto* wide = static_cast<const spi::ArchiveEntryInfoW*>(wideList);
  for (uint32_t i = 0; i < count; ++i) {
    check(ansi[i].position == i && wide[i].position == i && ansi[i].filesize == wide[i].filesize);
    check(std::memchr(ansi[i].filename, 0, 13) != nullptr);
    if (i >= kMembersExtracted) continue;
    spi::ArchiveEntryInfo found;
    check(GetFileInfo(file.path(), 0, ansi[i].filename, 0, &found) == spi::kSuccess);
    check(found.position <= i && std::strcmp(found.filename, ansi[i].filename) == 0);
    spi::ArchiveEntryInfoW foundWide;
    check(GetFileInfoW(file.widePath(), 0, wide[i].filename, spi::kIgnoreCase, &foundWide) == spi::kSuccess);
    check(foundWide.position <= i);
  }
  check(ansi[count].method[0] == 0 && wide[count].method[0] == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fuzz_support::InputFile file("durnac-exports-fuzz");
  check(file.write(data, size));
  const int accepted = probeBothWays(file, data, size);

  void* refused = reinterpret_cast<void*>(static_cast<uintptr_t>(0x5A5A5A5A));
  check(GetArchiveInfo(reinterpret_cast<const char*>(data), static_cast<intptr_t>(size), 1, &refused) ==
            spi::kNotSupported &&
        refused == nullptr);

  void* ansiList = nullptr;
  void* wideList = nullptr;
  const int listed = GetArchiveInfo(file.path(), 0, 0, &ansiList);
  check(GetArchiveInfoW(file.widePath(), 0, 0, &wideList) == listed);
  // A file no reader accepts answers 4; an accepted one lists, or answers 6 when its
  // directory is larger than the file.
  check(accepted == 1 ? (listed == spi::kSuccess || listed == spi::kReadError) : listed == spi::kNoMemory);
  if (listed != spi::kSuccess) {
    check(ansiList == nullptr && wideList == nullptr);
    void* member = nullptr;
    check(GetFile(file.path(), 0, &member, 0x100, nullptr, 0) == listed);
    return 0;
  }
  const uint32_t count = wordAt(data, 8);
  listBothWays(file, ansiList, wideList, count);
  LocalFree(ansiList);
  LocalFree(wideList);
  for (uint32_t index = 0; index < count && index < kMembersExtracted; ++index) extractBothWays(file, data, size, index);
  if (count > kMembersExtracted) extractBothWays(file, data, size, count - 1);
  void* past = reinterpret_cast<void*>(static_cast<uintptr_t>(0x5A5A5A5A));
  check(GetFile(file.path(), static_cast<intptr_t>(count), &past, 0x100, nullptr, 0) == spi::kInternalError);
  return 0;
}
