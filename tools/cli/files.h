// The tools' own file work, by UTF-8 names of any script: wide calls on Windows (a narrow
// name there goes through the ANSI code page and loses characters), the system's calls
// elsewhere.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

enum class PathKind { kMissing, kFile, kFolder };

PathKind pathKind(const std::string& path);

// The whole file, refused above `limit` bytes. `error` says what went wrong with the
// name in it ("cannot open X: no such file").
bool readWholeFile(const std::string& path, uint64_t limit, std::vector<uint8_t>& bytes, std::string& error);

// The file's bytes from `offset` to its end, refused above `limit` bytes.
bool readFileFrom(const std::string& path, uint64_t offset, uint64_t limit, std::vector<uint8_t>& bytes,
                  std::string& error);

// Up to `count` bytes from the start of the file; `bytes` is exactly `count` long, zero past
// the end of a shorter file.
bool readFileHead(const std::string& path, size_t count, std::vector<uint8_t>& bytes, std::string& error);

// Writes the file under a temporary name beside `path` and renames it into place, so that a
// failed or interrupted write never leaves a partial file under `path`. Without `replace`
// an existing file is left alone and the call fails.
bool writeFileSafely(const std::string& path, const uint8_t* data, uint64_t length, bool replace,
                     std::string& error);

// Creates the folder and every missing folder above it.
bool makeFolders(const std::string& path, std::string& error);

// The names of the plain files in the folder, in byte order of their UTF-8 names.
std::vector<std::string> filesIn(const std::string& folder);

bool removeFile(const std::string& path);
bool removeEmptyFolder(const std::string& path);
// Moves a file onto `to`; without `replace` an existing `to` makes it fail.
bool moveFile(const std::string& from, const std::string& to, bool replace);

bool fileSize(const std::string& path, uint64_t& size);

// The folder of the running program, ending in a separator.
std::string programFolder();

// The path made absolute against the working folder.
std::string absolutePath(const std::string& path);

// The last component of a path (after the last '/' or, on Windows, '\\').
std::string fileNameOf(const std::string& path);

// "dir" + "name" with one separator between them.
std::string joinPath(const std::string& folder, const std::string& name);

// A file to pack into an archive: its name as archives store names (the ANSI code page's
// bytes of the last component of its path) and its bytes.
struct MemberFile {
  std::string name;
  std::vector<uint8_t> bytes;
};

// Reads each file whole; false with `error` naming the first that cannot be read or whose
// name the ANSI code page cannot spell.
bool readMemberFiles(const std::vector<std::string>& paths, std::vector<MemberFile>& members, std::string& error);

}  // namespace cli
