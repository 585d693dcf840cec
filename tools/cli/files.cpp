#include "tools/cli/files.h"

#include <algorithm>
#include <atomic>

#include "tools/cli/stop.h"
#include "tools/cli/text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#endif

namespace cli {

namespace {

// Reads and writes go in pieces that fit a DWORD comfortably.
constexpr uint32_t kIoPiece = 1u << 20;

bool isSeparator(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/';
#else
  return c == '/';
#endif
}

// A name beside `path` that no other write of this process uses at the same time.
std::string temporaryNameFor(const std::string& path) {
  static std::atomic<unsigned> serial{0};
#ifdef _WIN32
  unsigned long process = GetCurrentProcessId();
#else
  unsigned long process = static_cast<unsigned long>(getpid());
#endif
  return path + ".part-" + std::to_string(process) + "-" + std::to_string(serial++);
}

#ifdef _WIN32

std::string reasonOf(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return "no such file";
    case ERROR_ACCESS_DENIED: return "access denied";
    case ERROR_SHARING_VIOLATION: return "the file is in use";
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return "the file exists";
    case ERROR_DISK_FULL: return "the disk is full";
    default: return "Windows error " + std::to_string(code);
  }
}

class File {
 public:
  File(const std::string& path, bool write)
      : handle_(CreateFileW(wideFromUtf8(path).c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                            write ? 0 : FILE_SHARE_READ, nullptr, write ? CREATE_NEW : OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)),
        error_(handle_ == INVALID_HANDLE_VALUE ? GetLastError() : 0) {}
  ~File() { close(); }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
  std::string reason() const { return reasonOf(error_); }
  void close() {
    if (ok()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }
  bool size(uint64_t& bytes) const {
    LARGE_INTEGER value;
    if (!GetFileSizeEx(handle_, &value)) return false;
    bytes = static_cast<uint64_t>(value.QuadPart);
    return true;
  }
  bool skip(uint64_t offset) {
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(handle_, distance, nullptr, FILE_BEGIN) != 0;
  }
  bool read(uint8_t* data, uint64_t length, uint64_t& done) {
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
  bool write(const uint8_t* data, uint64_t length) {
    uint64_t done = 0;
    while (done < length) {
      DWORD piece = static_cast<DWORD>(std::min<uint64_t>(length - done, kIoPiece));
      DWORD written = 0;
      if (!WriteFile(handle_, data + done, piece, &written, nullptr) || written != piece) return false;
      done += written;
    }
    return true;
  }

 private:
  HANDLE handle_;
  DWORD error_;
};

#else

std::string reasonOf(int code) {
  switch (code) {
    case ENOENT:
    case ENOTDIR: return "no such file";
    case EACCES:
    case EPERM: return "access denied";
    case EEXIST: return "the file exists";
    case ENOSPC: return "the disk is full";
    case EISDIR: return "it is a folder";
    default: return std::strerror(code);
  }
}

class File {
 public:
  File(const std::string& path, bool write)
      : fd_(write ? ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644)
                  : ::open(path.c_str(), O_RDONLY | O_CLOEXEC)),
        error_(fd_ < 0 ? errno : 0) {}
  ~File() { close(); }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  bool ok() const { return fd_ >= 0; }
  std::string reason() const { return reasonOf(error_); }
  void close() {
    if (ok()) ::close(fd_);
    fd_ = -1;
  }
  bool size(uint64_t& bytes) const {
    struct stat info;
    if (fstat(fd_, &info) != 0) return false;
    bytes = static_cast<uint64_t>(info.st_size);
    return true;
  }
  bool skip(uint64_t offset) { return lseek(fd_, static_cast<off_t>(offset), SEEK_SET) >= 0; }
  bool read(uint8_t* data, uint64_t length, uint64_t& done) {
    done = 0;
    while (done < length) {
      ssize_t got = ::read(fd_, data + done, std::min<uint64_t>(length - done, kIoPiece));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return false;
      if (got == 0) break;
      done += static_cast<uint64_t>(got);
    }
    return true;
  }
  bool write(const uint8_t* data, uint64_t length) {
    uint64_t done = 0;
    while (done < length) {
      ssize_t put = ::write(fd_, data + done, std::min<uint64_t>(length - done, kIoPiece));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      done += static_cast<uint64_t>(put);
    }
    return true;
  }

 private:
  int fd_;
  int error_;
};

#endif

// A folder given as an input reads as "is a folder", not as a failed open.
bool openForReading(const std::string& path, File& file, std::string& error) {
  if (pathKind(path) == PathKind::kFolder) {
    error = "cannot read " + path + ": it is a folder";
    return false;
  }
  if (!file.ok()) {
    error = "cannot open " + path + ": " + file.reason();
    return false;
  }
  return true;
}

}  // namespace

#ifdef _WIN32

PathKind pathKind(const std::string& path) {
  DWORD attributes = GetFileAttributesW(wideFromUtf8(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::kFolder : PathKind::kFile;
}

bool makeFolders(const std::string& path, std::string& error) {
  if (pathKind(path) == PathKind::kFolder) return true;
  size_t cut = path.find_last_of("\\/");
  if (cut != std::string::npos && cut > 0 && path[cut - 1] != ':') {
    if (!makeFolders(path.substr(0, cut), error)) return false;
  }
  if (CreateDirectoryW(wideFromUtf8(path).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) {
    if (pathKind(path) == PathKind::kFolder) return true;
    error = "cannot create the folder " + path + ": a file has that name";
    return false;
  }
  error = "cannot create the folder " + path + ": " + reasonOf(GetLastError());
  return false;
}

std::vector<std::string> filesIn(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(wideFromUtf8(joinPath(folder, "*")).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(utf8FromWide(found.cFileName));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

bool removeFile(const std::string& path) { return DeleteFileW(wideFromUtf8(path).c_str()) != 0; }

bool removeEmptyFolder(const std::string& path) { return RemoveDirectoryW(wideFromUtf8(path).c_str()) != 0; }

bool moveFile(const std::string& from, const std::string& to, bool replace) {
  return MoveFileExW(wideFromUtf8(from).c_str(), wideFromUtf8(to).c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0) !=
         0;
}

std::string programFolder() {
  std::vector<wchar_t> name(32768);
  DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
  std::string path = utf8FromWide(WideString(name.data(), length));
  return path.substr(0, path.find_last_of("\\/") + 1);
}

std::string absolutePath(const std::string& path) {
  WideString wide = wideFromUtf8(path);
  DWORD length = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (length == 0) return path;
  std::vector<wchar_t> full(length + 1);
  length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  return length == 0 ? path : utf8FromWide(WideString(full.data(), length));
}

#else

PathKind pathKind(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return PathKind::kMissing;
  return S_ISDIR(info.st_mode) ? PathKind::kFolder : PathKind::kFile;
}

bool makeFolders(const std::string& path, std::string& error) {
  if (pathKind(path) == PathKind::kFolder) return true;
  size_t cut = path.find_last_of('/');
  if (cut != std::string::npos && cut > 0) {
    if (!makeFolders(path.substr(0, cut), error)) return false;
  }
  if (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) {
    if (pathKind(path) == PathKind::kFolder) return true;
    error = "cannot create the folder " + path + ": a file has that name";
    return false;
  }
  error = "cannot create the folder " + path + ": " + reasonOf(errno);
  return false;
}

std::vector<std::string> filesIn(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (pathKind(joinPath(folder, name)) == PathKind::kFile) names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

bool removeFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool removeEmptyFolder(const std::string& path) { return rmdir(path.c_str()) == 0; }

bool moveFile(const std::string& from, const std::string& to, bool replace) {
  if (replace) return rename(from.c_str(), to.c_str()) == 0;
  // A hard link fails when `to` exists, so nothing is ever replaced by a race.
  if (link(from.c_str(), to.c_str()) != 0) return false;
  unlink(from.c_str());
  return true;
}

std::string programFolder() {
  char name[PATH_MAX + 1] = {};
  ssize_t length = readlink("/proc/self/exe", name, PATH_MAX);
  std::string path = length > 0 ? std::string(name, static_cast<size_t>(length)) : std::string("./");
  return path.substr(0, path.find_last_of('/') + 1);
}

std::string absolutePath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char here[PATH_MAX + 1] = {};
  if (getcwd(here, PATH_MAX) == nullptr) return path;
  return joinPath(here, path);
}

#endif

bool readWholeFile(const std::string& path, uint64_t limit, std::vector<uint8_t>& bytes, std::string& error) {
  return readFileFrom(path, 0, limit, bytes, error);
}

bool readFileFrom(const std::string& path, uint64_t offset, uint64_t limit, std::vector<uint8_t>& bytes,
                  std::string& error) {
  File file(path, false);
  if (!openForReading(path, file, error)) return false;
  uint64_t size = 0;
  if (!file.size(size)) {
    error = "cannot read " + path;
    return false;
  }
  if (offset > size) {
    error = "offset " + std::to_string(offset) + " lies past the end of " + path + " (" + std::to_string(size) +
            " bytes)";
    return false;
  }
  uint64_t length = size - offset;
  if (length > limit) {
    error = path + " is too large (" + std::to_string(length) + " bytes; at most " + std::to_string(limit) + ")";
    return false;
  }
  if (!file.skip(offset)) {
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
  File file(path, false);
  if (!openForReading(path, file, error)) return false;
  bytes.assign(count, 0);
  uint64_t done = 0;
  if (!file.read(bytes.data(), count, done)) {
    error = "cannot read " + path;
    return false;
  }
  return true;
}

bool writeFileSafely(const std::string& path, const uint8_t* data, uint64_t length, bool replace,
                     std::string& error) {
  if (!replace && pathKind(path) != PathKind::kMissing) {
    error = path + " exists";
    return false;
  }
  std::string temporary = temporaryNameFor(path);
  File file(temporary, true);
  if (!file.ok()) {
    error = "cannot create " + path + ": " + file.reason();
    return false;
  }
  bool written = file.write(data, length);
  file.close();
  if (!written || stopRequested()) {
    removeFile(temporary);
    error = written ? "stopped before " + path + " was in place" : "cannot write " + path;
    return false;
  }
  if (!moveFile(temporary, path, replace)) {
    removeFile(temporary);
    error = pathKind(path) == PathKind::kFolder ? "cannot create " + path + ": a folder has that name"
                                                : "cannot create " + path;
    return false;
  }
  return true;
}

bool fileSize(const std::string& path, uint64_t& size) {
  File file(path, false);
  return file.ok() && file.size(size);
}

bool readMemberFiles(const std::vector<std::string>& paths, std::vector<MemberFile>& members, std::string& error) {
  // Member sizes are 32-bit in every archive format here.
  constexpr uint64_t kMaxMember = 0xFFFFFFFFu;
  for (const std::string& path : paths) {
    MemberFile member;
    if (!ansiFromUtf8(fileNameOf(path), member.name)) {
      error = "the name of " + path + " cannot be spelled in the system's ANSI code page, which archive member "
              "names use";
      return false;
    }
    if (!readWholeFile(path, kMaxMember, member.bytes, error)) return false;
    members.push_back(std::move(member));
  }
  return true;
}

std::string fileNameOf(const std::string& path) {
  size_t cut = path.size();
  while (cut > 0 && !isSeparator(path[cut - 1])) --cut;
  return path.substr(cut);
}

std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (isSeparator(folder.back())) return folder + name;
  return folder + kPathSeparator + name;
}

}  // namespace cli
