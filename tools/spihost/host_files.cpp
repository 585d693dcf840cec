#include "tools/spihost/host_files.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/win32.h"

namespace spihost {

namespace {

// Reads and writes go in pieces that fit a DWORD comfortably.
constexpr DWORD kIoPiece = 1u << 20;

class OpenFile {
 public:
  OpenFile(const std::string& path, bool write)
      : handle_(CreateFileA(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ, write ? 0 : FILE_SHARE_READ,
                            nullptr, write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~OpenFile() {
    if (ok()) CloseHandle(handle_);
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE handle() const { return handle_; }

  bool size(uint64_t& bytes) const {
    DWORD high = 0;
    DWORD low = GetFileSize(handle_, &high);
    if (low == INVALID_FILE_SIZE && high == 0) return false;
    bytes = (static_cast<uint64_t>(high) << 32) | low;
    return true;
  }

  // Reads until `length` bytes are in or the file ends; returns the count read.
  bool read(uint8_t* data, uint64_t length, uint64_t& done) const {
    done = 0;
    while (done < length) {
      DWORD piece = static_cast<DWORD>(std::min<uint64_t>(length - done, kIoPiece));
      DWORD got = 0;
      if (!ReadFile(handle_, data + done, piece, &got, nullptr)) return false;
      if (got == 0) break;
      done += got;
    }
    return true;
  }

 private:
  HANDLE handle_;
};

}  // namespace

bool readFileFrom(const std::string& path, uint64_t offset, std::vector<uint8_t>& bytes, std::string& error) {
  OpenFile file(path, false);
  uint64_t size = 0;
  if (!file.ok() || !file.size(size)) {
    error = "cannot open " + path;
    return false;
  }
  if (offset > size) {
    error = "offset " + std::to_string(offset) + " lies past the end of " + path + " (" + std::to_string(size) +
            " bytes)";
    return false;
  }
  uint64_t length = size - offset;
  if (length > kMaxMemoryInput) {
    error = path + " is too large to read into memory";
    return false;
  }
  if (offset > 0x7FFFFFFFu ||
      SetFilePointer(file.handle(), static_cast<LONG>(offset), nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
    error = "cannot seek in " + path;
    return false;
  }
  bytes.assign(static_cast<size_t>(length), 0);
  uint64_t done = 0;
  if (!file.read(bytes.data(), length, done) || done != length) {
    error = "cannot read " + path;
    return false;
  }
  return true;
}

bool readFileHead(const std::string& path, size_t count, std::vector<uint8_t>& bytes, std::string& error) {
  OpenFile file(path, false);
  if (!file.ok()) {
    error = "cannot open " + path;
    return false;
  }
  bytes.assign(count, 0);
  uint64_t done = 0;
  if (!file.read(bytes.data(), count, done)) {
    error = "cannot read " + path;
    return false;
  }
  return true;
}

bool writeWholeFile(const std::string& path, const uint8_t* data, uint64_t length, std::string& error) {
  OpenFile file(path, true);
  if (!file.ok()) {
    error = "cannot create " + path;
    return false;
  }
  uint64_t done = 0;
  while (done < length) {
    DWORD piece = static_cast<DWORD>(std::min<uint64_t>(length - done, kIoPiece));
    DWORD written = 0;
    if (!WriteFile(file.handle(), data + done, piece, &written, nullptr) || written != piece) {
      error = "cannot write " + path;
      return false;
    }
    done += written;
  }
  return true;
}

bool fileSizeOf(const std::string& path, uint64_t& size) {
  OpenFile file(path, false);
  return file.ok() && file.size(size);
}

bool isFolder(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(std::filesystem::path(path), error);
}

std::string withTrailingSeparator(const std::string& folder) {
  if (!folder.empty() && (folder.back() == '/' || folder.back() == kPathSeparator)) return folder;
  return folder + kPathSeparator;
}

}  // namespace spihost
