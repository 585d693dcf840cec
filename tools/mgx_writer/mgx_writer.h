// Writes MGX archives: a 32-byte header, a directory of 20-byte entries, then the members'
// bytes stored unchanged, back to back in the order given.
//
//   0   "SM2MPX10"        12  dataStart = 32 + 20 x count    28  directoryStart = 32
//   8   entryCount        16  12 free bytes, written as 0      32  directory, then data
//   entry: name[12] (NUL-padded, no NUL at 12 characters), offset u32, size u32
//
// The writer refuses what a reader could not give back intact: no members, names that are
// empty, longer than 12 bytes or hold a NUL or a path separator, members that would start
// at or beyond 2 GiB (the readers seek with a signed 32-bit position), archives of 4 GiB
// or more (offsets are 32-bit).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mgx_writer {

constexpr uint32_t kHeaderSize = 32;
constexpr uint32_t kEntrySize = 20;
constexpr uint32_t kNameLength = 12;
constexpr uint32_t kMaxMemberOffset = 0x7FFFFFFF;
constexpr uint64_t kMaxArchiveSize = 0xFFFFFFFF;

// A member as the directory describes it.
struct MemberPlan {
  std::string name;
  uint64_t size = 0;
};

// A member with its bytes in memory.
struct Member {
  std::string name;
  std::vector<uint8_t> bytes;
};

// Header and directory for `members` stored back to back right after the directory. On
// failure answers false with the reason in `error`.
bool planArchive(const std::vector<MemberPlan>& members, std::vector<uint8_t>& headAndDirectory,
                 std::string& error);

// A whole archive in memory. Equal names are allowed here (hosts then find only the first
// by name); packFiles refuses them.
bool buildArchive(const std::vector<Member>& members, std::vector<uint8_t>& archive, std::string& error);

// Packs the files named by `inputs` into a new archive at `archivePath`, each stored under
// the last component of its path. Names that differ only in the case of A-Z are refused,
// since hosts search names without regard to case. A failed pack leaves no archive behind.
bool packFiles(const std::string& archivePath, const std::vector<std::string>& inputs, std::string& error);

}  // namespace mgx_writer
