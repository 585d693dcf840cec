// Builds the input files of the host's test plug-in (fake_plugin/fake_format.h) and the
// bitmaps inside them, as byte strings.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/spihost/fake_plugin/fake_format.h"

namespace fake_files {

inline std::string le(uint32_t value, int bytes = 4) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
  return out;
}

// A 40-byte BITMAPINFOHEADER.
inline std::string bitmapHeader(int32_t width, int32_t height, uint16_t bitCount, uint32_t colorsUsed = 0) {
  return le(40) + le(static_cast<uint32_t>(width)) + le(static_cast<uint32_t>(height)) + le(1, 2) + le(bitCount, 2) +
         le(0) /* compression */ + le(0) + le(0) + le(0) + le(colorsUsed) + le(0);
}

struct Codes {
  int32_t info = 0;     // GetPictureInfo, GetArchiveInfo, GetFileInfo
  int32_t data = 0;     // GetPicture, GetFile
  uint32_t quirks = 0;  // fake_format::Quirk bits
};

inline std::string pictureFile(const std::string& info, const std::string& bits, Codes codes = {}) {
  return std::string(fake_format::kPictureMagic, fake_format::kMagicSize) + le(static_cast<uint32_t>(codes.info)) +
         le(static_cast<uint32_t>(codes.data)) + le(codes.quirks) + le(static_cast<uint32_t>(info.size())) +
         le(static_cast<uint32_t>(bits.size())) + info + bits;
}

typedef std::vector<std::pair<std::string, std::string>> Members;  // name, bytes

inline std::string archiveFile(const Members& members, Codes codes = {}) {
  std::string out = std::string(fake_format::kArchiveMagic, fake_format::kMagicSize) +
                    le(static_cast<uint32_t>(codes.info)) + le(static_cast<uint32_t>(codes.data)) + le(codes.quirks) +
                    le(static_cast<uint32_t>(members.size()));
  for (const auto& member : members) {
    std::string name = member.first;
    name.resize(fake_format::kNameSize, '\0');
    out += name + le(static_cast<uint32_t>(member.second.size()));
  }
  for (const auto& member : members) out += member.second;
  return out;
}

// Where member `index` lies in an archive built by archiveFile.
inline uint32_t memberPosition(const Members& members, size_t index) {
  uint32_t position = fake_format::kArchiveHeaderSize +
                      static_cast<uint32_t>(members.size()) * fake_format::kMemberRecordSize;
  for (size_t i = 0; i < index; ++i) position += static_cast<uint32_t>(members[i].second.size());
  return position;
}

}  // namespace fake_files
