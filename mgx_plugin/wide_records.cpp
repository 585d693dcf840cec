#include "mgx_plugin/wide_records.h"

#include <cstring>

#include "platform/win32.h"

size_t widenName(const char* ansi, spi::WideChar* wide) {
  const size_t room = kRecordNameChars - 1;
  size_t length = 0;
  while (length < room && ansi[length] != '\0') ++length;
  int converted = 0;
  if (length > 0) {
    // No code page spells a character in less than one byte, nor turns one byte into two
    // UTF-16 units, so `room` characters hold the name. A conversion that fails anyway
    // (bytes the code page does not accept) falls back to the bytes themselves.
    converted = MultiByteToWideChar(CP_ACP, 0, ansi, static_cast<int>(length),
                                    reinterpret_cast<WCHAR*>(wide), static_cast<int>(room));
    if (converted <= 0) {
      for (size_t i = 0; i < length; ++i) wide[i] = static_cast<unsigned char>(ansi[i]);
      converted = static_cast<int>(length);
    }
  }
  wide[converted] = 0;
  return static_cast<size_t>(converted);
}

void widenRecord(const spi::ArchiveEntryInfo& ansi, spi::ArchiveEntryInfoW* wide) {
  std::memset(wide, 0, sizeof *wide);
  std::memcpy(wide->method, ansi.method, sizeof wide->method);
  wide->position = ansi.position;
  wide->compsize = ansi.compsize;
  wide->filesize = ansi.filesize;
  wide->timestamp = ansi.timestamp;
  widenName(ansi.path, wide->path);
  widenName(ansi.filename, wide->filename);
  wide->crc = ansi.crc;
}
