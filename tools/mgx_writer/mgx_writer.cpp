#include "tools/mgx_writer/mgx_writer.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <system_error>

namespace mgx_writer {

namespace {

constexpr char kMagic[8] = {'S', 'M', '2', 'M', 'P', 'X', '1', '0'};
constexpr uint32_t kMaxEntryCount = (0xFFFFFFFFu - kHeaderSize) / kEntrySize;
// Members are copied from their files in pieces of this size.
constexpr size_t kCopyPiece = 1 << 20;

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

namespace {

bool planFiles(const std::vector<std::string>& inputs, std::vector<MemberPlan>& plans, std::string& error) {
  std::set<std::string> taken;
  for (const std::string& input : inputs) {
    std::error_code failure;
    uint64_t size = std::filesystem::file_size(input, failure);
    if (failure || !std::filesystem::is_regular_file(input, failure)) {
      error = "cannot read \"" + input + "\"";
      return false;
    }
    std::string name = std::filesystem::path(input).filename().string();
    if (!nameAcceptable(name, error)) return false;
    if (!taken.insert(foldCase(name)).second) {
      error = "two members would be named \"" + name + "\"";
      return false;
    }
    plans.push_back({name, size});
  }
  return true;
}

// Copies exactly `size` bytes of the file; a file that changed since it was measured fails.
bool copyMember(const std::string& input, uint64_t size, std::ofstream& out, std::string& error) {
  std::ifstream in(input, std::ios::binary);
  std::vector<char> piece(kCopyPiece);
  uint64_t left = size;
  while (in && left > 0) {
    size_t want = left < kCopyPiece ? static_cast<size_t>(left) : kCopyPiece;
    in.read(piece.data(), static_cast<std::streamsize>(want));
    size_t got = static_cast<size_t>(in.gcount());
    out.write(piece.data(), static_cast<std::streamsize>(got));
    left -= got;
  }
  if (left != 0 || in.peek() != std::ifstream::traits_type::eof()) {
    error = "\"" + input + "\" changed while it was packed";
    return false;
  }
  return true;
}

bool writeArchive(const std::string& archivePath, const std::vector<std::string>& inputs,
                  const std::vector<MemberPlan>& plans, const std::vector<uint8_t>& head, std::string& error) {
  std::ofstream out(archivePath, std::ios::binary | std::ios::trunc);
  if (!out) {
    error = "cannot create \"" + archivePath + "\"";
    return false;
  }
  out.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
  for (size_t i = 0; i < inputs.size(); ++i) {
    if (!copyMember(inputs[i], plans[i].size, out, error)) return false;
  }
  out.flush();
  if (!out) {
    error = "cannot write \"" + archivePath + "\"";
    return false;
  }
  return true;
}

}  // namespace

bool packFiles(const std::string& archivePath, const std::vector<std::string>& inputs, std::string& error) {
  std::vector<MemberPlan> plans;
  std::vector<uint8_t> head;
  if (!planFiles(inputs, plans, error) || !planArchive(plans, head, error)) return false;
  if (writeArchive(archivePath, inputs, plans, head, error)) return true;
  std::error_code ignored;
  std::filesystem::remove(archivePath, ignored);
  return false;
}

}  // namespace mgx_writer
