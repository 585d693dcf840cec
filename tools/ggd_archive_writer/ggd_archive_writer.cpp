#include "tools/ggd_archive_writer/ggd_archive_writer.h"

#include <filesystem>
#include <fstream>
#include <system_error>

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
  std::vector<MemberPlan> plans;
  for (const std::string& file : files) {
    std::error_code failure;
    const uint64_t size = std::filesystem::file_size(file, failure);
    if (failure) {
      *error = "cannot read " + file;
      return false;
    }
    plans.push_back({std::filesystem::path(file).filename().string(), size});
  }
  std::string head;
  if (!encodeHead(plans, &head, error)) return false;

  std::ofstream out(archivePath, std::ios::binary | std::ios::trunc);
  out.write(head.data(), static_cast<std::streamsize>(head.size()));
  std::vector<char> piece(1 << 20);
  for (size_t j = 0; j < files.size() && out; ++j) {
    std::ifstream in(files[j], std::ios::binary);
    uint64_t copied = 0;
    while (in && out) {
      in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
      out.write(piece.data(), in.gcount());
      copied += static_cast<uint64_t>(in.gcount());
    }
    // A file that changed size since it was measured would shift every later start.
    if (copied != plans[j].size) {
      *error = files[j] + " changed while it was packed";
      out.close();
      std::error_code ignored;
      std::filesystem::remove(archivePath, ignored);
      return false;
    }
  }
  out.close();
  if (!out) {
    *error = "cannot write " + archivePath;
    std::error_code ignored;
    std::filesystem::remove(archivePath, ignored);
    return false;
  }
  return true;
}

}  // namespace ggd_archive_writer
