#include "mgx_plugin/wide_records.h"

#include <cstring>

#include "plugin_api/member_names.h"

namespace durnac {

void widenRecord(const spi::ArchiveEntryInfo& ansi, spi::ArchiveEntryInfoW* wide) {
  std::memset(wide, 0, sizeof *wide);
  std::memcpy(wide->method, ansi.method, sizeof wide->method);
  wide->position = ansi.position;
  wide->compsize = ansi.compsize;
  wide->filesize = ansi.filesize;
  wide->timestamp = ansi.timestamp;
  spi::widenMemberName(ansi.path, wide->path, kRecordNameChars);
  spi::widenMemberName(ansi.filename, wide->filename, kRecordNameChars);
  wide->crc = ansi.crc;
}

}  // namespace durnac
