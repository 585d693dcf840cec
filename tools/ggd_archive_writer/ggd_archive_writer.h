// Writes GGD archives: a u16 directory length D, D / 16 slots of a 12-byte name and an i32
// start offset (the last slot marks the end of the data), then the members back to back.
// Used for test fixtures and benchmarks, and by the ggdpack command.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ggd_archive_writer {

constexpr size_t kSlotBytes = 16;
constexpr size_t kNameBytes = 12;
constexpr size_t kMaxDirectoryBytes = 0x7FF0;                      // D stays below 0x8000
constexpr size_t kMaxMembers = kMaxDirectoryBytes / kSlotBytes - 1;  // one slot is the end marker
constexpr uint64_t kMaxArchiveBytes = 0x7FFFFFFF;                  // starts are signed 32-bit
// Readers check the slots within the first 2048 bytes of an archive and want their starts at
// least 8 bytes apart; 127 slots lie there whole.
constexpr size_t kHeadBytes = 2048;
constexpr size_t kCheckedSlots = (kHeadBytes - 2) / kSlotBytes;
constexpr uint64_t kMinCheckedMemberBytes = 8;

// A member known by its name and size, its bytes to come later (for streaming).
struct MemberPlan {
  std::string name;
  uint64_t size = 0;
};

struct Member {
  std::string name;
  std::string bytes;
};

// Why these members cannot make an archive that readers accept, or "" when they can: a name
// of 1 to 12 bytes in 0x21..0xFE, at most kMaxMembers members, at most kMaxArchiveBytes in
// all, and members of at least 8 bytes wherever readers check the spacing of starts.
std::string checkMembers(const std::vector<MemberPlan>& members);

// The bytes before the first member: D and the directory. False with *error set when
// checkMembers refuses the list.
bool encodeHead(const std::vector<MemberPlan>& members, std::string* head, std::string* error);

// A whole archive in memory.
bool buildArchive(const std::vector<Member>& members, std::string* archive, std::string* error);

// Packs files into an archive file, each member named after its file's last path component,
// copying the files' bytes in pieces. On failure the archive file is removed.
bool packFiles(const std::string& archivePath, const std::vector<std::string>& files, std::string* error);

}  // namespace ggd_archive_writer
