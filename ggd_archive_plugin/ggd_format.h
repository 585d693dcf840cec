// GGD archives: a flat container of members stored as they are, with no compression, no
// checksum and no time stamp. Little-endian, byte-packed, counted from the archive's first
// byte (a file offset the host gives, or the first byte of a memory block):
//
//   +0        u16       D          directory length: 16..0x7FF0, a multiple of 16
//   +2        D bytes   directory  D / 16 slots of 16 bytes (GgdDirectorySlot):
//                          +0   char[12]  name   ends at the first byte <= 0x20, or after
//                                                12 bytes; the rest of the field is 0
//                          +12  i32       start  offset of the member's first byte
//                       slots 0 .. D/16 - 2 are the members; the last slot is the end
//                       marker, whose start is the offset just past the last member
//   +2 + D    ...       member data, back to back in directory order
//
// A member runs from its start up to the next slot's start, so its size is never stored.
// The first member begins right after the directory, at D + 2.
#pragma once

#include <cstddef>
#include <cstdint>

namespace felbrin {

constexpr int64_t kDirectoryOffset = 2;       // the u16 D comes first
constexpr int64_t kSlotBytes = 16;
constexpr int64_t kNameBytes = 12;
constexpr int64_t kSlotStartOffset = 12;
constexpr int kMinDirectoryBytes = 16;
constexpr int kMaxDirectoryBytes = 0x7FF0;    // the largest multiple of 16 below 0x8000
constexpr int kMaxMembers = kMaxDirectoryBytes / 16 - 1;
constexpr int64_t kMinHeadBytes = 26;         // D and the first slot, plus 8 bytes
constexpr int64_t kSmallestFirstStart = 34;   // 2 + two slots: start(j) >= 34 + 16 j
constexpr uint32_t kMinMemberSpacing = 8;     // scanned neighbours start at least 8 apart

// A name byte is one above the blank and below 0xFF (bytes above 0x7F belong to double-byte
// names of the system code page).
constexpr uint8_t kFirstNameByte = 0x21;
constexpr uint8_t kLastNameByte = 0xFE;

#pragma pack(push, 1)
struct GgdDirectorySlot {
  uint8_t name[12];
  uint8_t start[4];  // i32, little-endian
};
#pragma pack(pop)
static_assert(sizeof(GgdDirectorySlot) == kSlotBytes, "a directory slot is 16 bytes");
static_assert(offsetof(GgdDirectorySlot, start) == kSlotStartOffset, "start at 12");

// One member as the directory gives it. `size` is the next slot's start minus `start`.
struct MemberRecord {
  char name[kNameBytes + 1];  // up to 12 name bytes and a terminating 0
  int32_t start;
  int32_t size;
};

// Results of the two routines below, named as the exports report them.
constexpr int kGgdOk = 0;
constexpr int kGgdNotArchive = 2;
constexpr int kGgdDamaged = 3;
constexpr int kGgdNoMemory = 4;

// Looks at the head of a possible archive: `available` bytes are readable at `archive`.
// Answers kGgdOk or kGgdNotArchive and, when accepted, stores D through `directoryBytes`
// (which may be null). Allocates nothing and never reads past `available`.
int CheckGgdArchive(const uint8_t* archive, int64_t available, int* directoryBytes);

// Turns the directory (`byteCount` bytes at `directory`, the archive's byte 2 onwards) into
// member records. On kGgdOk *records is a fixed, zero-filled local block of *count records
// that the caller frees with LocalFree; on kGgdDamaged or kGgdNoMemory nothing is returned.
int ReadMemberRecords(const uint8_t* directory, int64_t byteCount, int directoryBytes,
                      MemberRecord** records, int* count);

}  // namespace felbrin
