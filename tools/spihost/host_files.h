// The host's own file work beyond what every tool shares (tools/cli/files.h): reading an
// input into memory for memory input, and the folder form the plug-ins take.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/cli/files.h"

namespace spihost {

// The largest input the host reads into memory: a 32-bit process cannot hold much more
// next to the plug-in's own copy and the decoded picture.
constexpr uint64_t kMaxMemoryInput = 512ull * 1024 * 1024;

using cli::kPathSeparator;

// The file's bytes from `offset` to its end.
bool readFileFrom(const std::string& path, uint64_t offset, std::vector<uint8_t>& bytes, std::string& error);

using cli::readFileHead;

// "dir" -> "dir/" (or "dir\" on Windows); a path that already ends in a separator stays.
std::string withTrailingSeparator(const std::string& folder);

}  // namespace spihost
