// Felbrin's parser under libFuzzer: the head check over whatever is there, the directory
// reader over the input's own D (checked or not), and the memory listing that joins them, in
// both record types. Nothing may read outside the input, a list that comes back must be well
// formed, and the Unicode list must carry the ANSI list's fields.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ggd_archive_plugin/entry_list.h"
#include "ggd_archive_plugin/ggd_format.h"
#include "plugin_api/plugin_api.h"

namespace {

void CheckList(HLOCAL list, int64_t archiveSize) {
  const auto* entry = static_cast<const spi::ArchiveEntryInfo*>(LocalLock(list));
  const size_t records = LocalSize(list) / sizeof(spi::ArchiveEntryInfo);
  size_t j = 0;
  for (; j < records && entry[j].method[0] != '\0'; ++j) {
    // Every member lies inside the range its directory allows, its name is terminated.
    if (entry[j].compsize != entry[j].filesize) std::abort();
    if (std::memchr(entry[j].filename, '\0', sizeof entry[j].filename) == nullptr) std::abort();
    if (static_cast<uint64_t>(entry[j].position) + entry[j].filesize > 0x7FFFFFFFu) std::abort();
  }
  if (j + 1 != records || j == 0) std::abort();  // exactly one zero record, at the end
  LocalUnlock(list);
  (void)archiveSize;
}

// The Unicode list of the same input: as many records, the same fields, names non-empty
// where the ANSI names are, and zero padding.
void CheckWideList(HLOCAL list, HLOCAL wideList) {
  const auto* entry = static_cast<const spi::ArchiveEntryInfo*>(LocalLock(list));
  const auto* wide = static_cast<const spi::ArchiveEntryInfoW*>(LocalLock(wideList));
  const size_t records = LocalSize(list) / sizeof(spi::ArchiveEntryInfo);
  if (LocalSize(wideList) != records * sizeof(spi::ArchiveEntryInfoW)) std::abort();
  for (size_t j = 0; j < records; ++j) {
    if (std::memcmp(entry[j].method, wide[j].method, sizeof wide[j].method) != 0) std::abort();
    if (entry[j].position != wide[j].position || entry[j].filesize != wide[j].filesize) std::abort();
    if ((entry[j].filename[0] == '\0') != (wide[j].filename[0] == 0)) std::abort();
    if (wide[j].filename[sizeof wide[j].filename / sizeof wide[j].filename[0] - 1] != 0) std::abort();
#if defined(_WIN64)
    if (wide[j].padding != 0) std::abort();
#endif
  }
  LocalUnlock(wideList);
  LocalUnlock(list);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int d = 0;
  felbrin::CheckGgdArchive(data, static_cast<int64_t>(size), &d);

  if (size >= 2) {
    felbrin::MemberRecord* records = nullptr;
    int count = 0;
    const int raw = data[0] | (data[1] << 8);
    if (felbrin::ReadMemberRecords(data + 2, static_cast<int64_t>(size) - 2, raw, &records, &count) == 0) {
      LocalFree(records);
    }
  }

  HLOCAL list = nullptr;
  if (felbrin::BuildEntryList(reinterpret_cast<const char*>(data), static_cast<int64_t>(size),
                              felbrin::ListSource::kMemory, &list) == spi::kSuccess) {
    CheckList(list, static_cast<int64_t>(size));
    HLOCAL wideList = nullptr;
    // Memory input is bytes in the Unicode family too.
    if (felbrin::BuildEntryList(reinterpret_cast<const spi::WideChar*>(data), static_cast<int64_t>(size),
                                felbrin::ListSource::kMemory, &wideList) != spi::kSuccess) {
      std::abort();
    }
    CheckWideList(list, wideList);
    LocalFree(wideList);
    LocalFree(list);
  }
  return 0;
}
