// The MGX archive: a flat, uncompressed container. All integers are unsigned 32-bit
// little-endian; offsets count from byte 0 of the archive file.
//
//   offset  width        field
//   0       8            magic           "SM2MPX10", no terminator
//   8       u32          entryCount      number of members, never 0
//   12      u32          dataStart       32 + 20 x entryCount, the first byte after the directory
//   16      12           (free)          not interpreted; any content is accepted
//   28      u32          directoryStart  always 32, the header's length
//   32      20 x count   directory       one MgxEntry per member, in member order
//   dataStart ...        member data     each member's bytes, stored unchanged
//
//   MgxEntry, 20 bytes:
//   0       12           name    ANSI name, NUL-padded; a 12-character name has no NUL
//   12      u32          offset  absolute file offset of the member's first byte
//   16      u32          size    member length in bytes (stored size = extracted size)
//
// Members need not follow directory order, start after the directory, touch each other or
// even lie inside the file: each entry is taken as it is, and extraction checks the bytes.
// Every offset and size a directory can hold is honoured, so an archive may reach past
// 4 GiB (its last member starting below 4 GiB); positions are carried in 64 bits.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mgx {

constexpr char kMagic[8] = {'S', 'M', '2', 'M', 'P', 'X', '1', '0'};
constexpr uint32_t kHeaderSize = 32;
constexpr uint32_t kEntrySize = 20;
constexpr uint32_t kNameLength = 12;
constexpr uint32_t kDirectoryStart = kHeaderSize;  // the directory always follows the header
// dataStart = 32 + 20 x entryCount must itself fit in 32 bits.
constexpr uint32_t kMaxEntryCount = (0xFFFFFFFFu - kHeaderSize) / kEntrySize;  // 214748363

#pragma pack(push, 1)
struct MgxHeader {
  char magic[8];
  uint32_t entryCount;
  uint32_t dataStart;
  uint8_t unused[12];
  uint32_t directoryStart;
};

struct MgxEntry {
  char name[kNameLength];
  uint32_t offset;
  uint32_t size;
};
#pragma pack(pop)

static_assert(sizeof(MgxHeader) == kHeaderSize, "MgxHeader is 32 bytes");
static_assert(offsetof(MgxHeader, entryCount) == 8, "entryCount at 8");
static_assert(offsetof(MgxHeader, dataStart) == 12, "dataStart at 12");
static_assert(offsetof(MgxHeader, directoryStart) == 28, "directoryStart at 28");
static_assert(sizeof(MgxEntry) == kEntrySize, "MgxEntry is 20 bytes");
static_assert(offsetof(MgxEntry, offset) == 12, "offset at 12");
static_assert(offsetof(MgxEntry, size) == 16, "size at 16");

// The records are read straight from the file, so their integers come out right only on a
// little-endian machine; every target of this tool set is one.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "MGX records are read in place and need a little-endian machine"
#endif

// Bytes from the start of the file to the end of a directory of `count` entries, exactly.
inline uint64_t directoryEnd(uint32_t count) {
  return kHeaderSize + static_cast<uint64_t>(count) * kEntrySize;
}

// The format test on the 32 header bytes: magic, a non-zero count, the data start that the
// count implies (compared without 32-bit wrap-around) and the directory at 32. Bytes 16-27
// are free.
bool headerAccepted(const MgxHeader& header);

}  // namespace mgx
