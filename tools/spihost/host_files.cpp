#include "tools/spihost/host_files.h"

namespace spihost {

bool readFileFrom(const std::string& path, uint64_t offset, std::vector<uint8_t>& bytes, std::string& error) {
  return cli::readFileFrom(path, offset, kMaxMemoryInput, bytes, error);
}

std::string withTrailingSeparator(const std::string& folder) {
  if (!folder.empty() && (folder.back() == '/' || folder.back() == kPathSeparator)) return folder;
  return folder + kPathSeparator;
}

}  // namespace spihost
