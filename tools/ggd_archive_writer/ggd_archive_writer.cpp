#include "tools/ggd_archive_writer/ggd_archive_writer.h"

#include "tools/cli/files.h"

namespace ggd_archive_writer {
namespace {

std::string checkName(const std::string& name) {
  if (name.empty() || name.size() > kNameBytes) return "member name \"" + name + "\" must have 1 to 12 bytes";
  for (unsigned char c : name) {
    if (c < 0x21 || c > 0xFE) return "member name \"" + name + "\" holds a blank, control byte or 0xFF";
  }
  return "";
}

void putU16(std::string& out, uint32_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void putI32(std::string& out, uint64_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

}  // namespace

std::string checkMembers(const std::vector<MemberPlan>& members) {
  if (members.empty()) return "an archive needs at least one member";
  if (members.size() > kMaxMembers) return "an archive holds at most 2046 members";
  const uint64_t directoryBytes = (members.size() + 1) * kSlotBytes;
  uint64_t end = 2 + directoryBytes;
  for (size_t j = 0; j < members.size(); ++j) {
    std::string problem = checkName(members[j].name);
    if (!problem.empty()) return problem;
    // Slot j + 1 is checked against slot j when both lie in the head and j + 1 is a member.
    if (j + 1 < members.size() && j + 1 < kCheckedSlots && members[j].size < kMinCheckedMemberBytes) {
      return "member \"" + members[j].name + "\" is shorter than 8 bytes, which readers refuse among the first members";
    }
    if (members[j].size > kMaxArchiveBytes - end) return "the archive would exceed 2 GiB";
    end += members[j].size;
  }
  return "";
}

bool encodeHead(const std::vector<MemberPlan>& members, std::string* head, std::string* error) {
  std::string problem = checkMembers(members);
  if (!problem.empty()) {
    *error = problem;
    return false;
  }
  const size_t directoryBytes = (members.size() + 1) * kSlotBytes;
  head->clear();
  putU16(*head, static_cast<uint32_t>(directoryBytes));
  uint64_t start = 2 + directoryBytes;
  for (const MemberPlan& member : members) {
    std::string name = member.name;
    name.resize(kNameBytes, '\0');
    head->append(name);
    putI32(*head, start);
    start += member.size;
  }
  head->append(kNameBytes, '\0');  // the end marker's name is not used
  putI32(*head, start);
  return true;
}

bool buildArchive(const std::vector<Member>& members, std::string* archive, std::string* error) {
  std::vector<MemberPlan> plans;
  for (const Member& member : members) plans.push_back({member.name, member.bytes.size()});
  if (!encodeHead(plans, archive, error)) return false;
  for (const Member& member : members) archive->append(member.bytes);
  return true;
}

bool packFiles(const std::string& archivePath, const std::vector<std::string>& files, std::string* error) {
  std::vector<cli::MemberFile> read;
  if (!cli::readMemberFiles(files, read, *error)) return false;
  std::vector<Member> members;
  for (const cli::MemberFile& file : read) members.push_back({file.name, std::string(file.bytes.begin(), file.bytes.end())});
  std::string archive;
  if (!buildArchive(members, &archive, error)) return false;
  // Written under a temporary name and renamed: a failed pack leaves no archive behind.
  return cli::writeFileSafely(archivePath, reinterpret_cast<const uint8_t*>(archive.data()), archive.size(), true,
                              *error);
}

}  // namespace ggd_archive_writer
