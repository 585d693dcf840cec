#include "tools/mgx_writer/mgx_writer.h"

#include <cstring>
#include <set>

#include "tools/cli/files.h"

namespace mgx_writer {

namespace {

constexpr char kMagic[8] = {'S', 'M', '2', 'M', 'P', 'X', '1', '0'};
constexpr uint32_t kMaxEntryCount = (0xFFFFFFFFu - kHeaderSize) / kEntrySize;

void putU32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

bool nameAcceptable(const std::string& name, std::string& error) {
  if (name.empty() || name.size() > kNameLength) {
    error = "member name \"" + name + "\" must be 1 to 12 bytes long";
    return false;
  }
  if (name.find_first_of(std::string("\0/\\", 3)) != std::string::npos) {
    error = "member name \"" + name + "\" holds a NUL or a path separator";
    return false;
  }
  return true;
}

std::string foldCase(std::string name) {
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return name;
}

}  // namespace

bool planArchive(const std::vector<MemberPlan>& members, std::vector<uint8_t>& headAndDirectory,
                 std::string& error) {
  if (members.empty()) {
    error = "an archive holds at least one member";
    return false;
  }
  if (members.size() > kMaxEntryCount) {
    error = "too many members";
    return false;
  }
  uint32_t count = static_cast<uint32_t>(members.size());
  uint64_t dataStart = kHeaderSize + static_cast<uint64_t>(count) * kEntrySize;
  std::vector<uint8_t> out(static_cast<size_t>(dataStart), 0);
  std::memcpy(out.data(), kMagic, sizeof kMagic);
  putU32(out, 8, count);
  putU32(out, 12, static_cast<uint32_t>(dataStart));
  putU32(out, 28, kHeaderSize);
  uint64_t offset = dataStart;
  for (uint32_t i = 0; i < count; ++i) {
    const MemberPlan& member = members[i];
    if (!nameAcceptable(member.name, error)) return false;
    if (offset > kMaxMemberOffset) {
      error = "member \"" + member.name + "\" would start beyond 2 GiB";
      return false;
    }
    if (member.size > kMaxArchiveSize - offset) {
      error = "the archive would reach 4 GiB";
      return false;
    }
    size_t at = kHeaderSize + static_cast<size_t>(i) * kEntrySize;
    std::memcpy(&out[at], member.name.data(), member.name.size());
    putU32(out, at + kNameLength, static_cast<uint32_t>(offset));
    putU32(out, at + kNameLength + 4, static_cast<uint32_t>(member.size));
    offset += member.size;
  }
  headAndDirectory.swap(out);
  return true;
}

bool buildArchive(const std::vector<Member>& members, std::vector<uint8_t>& archive, std::string& error) {
  std::vector<MemberPlan> plans;
  plans.reserve(members.size());
  for (const Member& member : members) plans.push_back({member.name, member.bytes.size()});
  std::vector<uint8_t> out;
  if (!planArchive(plans, out, error)) return false;
  for (const Member& member : members) out.insert(out.end(), member.bytes.begin(), member.bytes.end());
  archive.swap(out);
  return true;
}

bool packFiles(const std::string& archivePath, const std::vector<std::string>& inputs, std::string& error) {
  std::vector<cli::MemberFile> files;
  if (!cli::readMemberFiles(inputs, files, error)) return false;
  std::set<std::string> taken;
  std::vector<Member> members;
  for (cli::MemberFile& file : files) {
    if (!nameAcceptable(file.name, error)) return false;
    if (!taken.insert(foldCase(file.name)).second) {
      error = "two members would be named \"" + file.name + "\"";
      return false;
    }
    members.push_back({file.name, std::move(file.bytes)});
  }
  std::vector<uint8_t> archive;
  if (!buildArchive(members, archive, error)) return false;
  // Written under a temporary name and renamed: a failed pack leaves no archive behind.
  return cli::writeFileSafely(archivePath, archive.data(), archive.size(), true, error);
}

}  // namespace mgx_writer
