// The host's own file work: reading an input into memory for memory input and the probe
// head, writing results, and checking files a plug-in wrote. Paths are ANSI strings, as
// the exports take them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace spihost {

// The largest input the host reads into memory: a 32-bit process cannot hold much more
// next to the plug-in's own copy and the decoded picture.
constexpr uint64_t kMaxMemoryInput = 512ull * 1024 * 1024;

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// The file's bytes from `offset` to its end.
bool readFileFrom(const std::string& path, uint64_t offset, std::vector<uint8_t>& bytes, std::string& error);

// Up to `count` bytes from the start of the file, the rest of `bytes` zero: `bytes` is
// always `count` long on success.
bool readFileHead(const std::string& path, size_t count, std::vector<uint8_t>& bytes, std::string& error);

bool writeWholeFile(const std::string& path, const uint8_t* data, uint64_t length, std::string& error);

bool fileSizeOf(const std::string& path, uint64_t& size);

bool isFolder(const std::string& path);

// "dir" -> "dir/" (or "dir\" on Windows); a path that already ends in a separator stays.
std::string withTrailingSeparator(const std::string& folder);

}  // namespace spihost
