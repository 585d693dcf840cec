// What the harnesses over files and streams share: a script of operations read from the
// input, and the input written to a file of the process's own, named in both families.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "platform/win32.h"

namespace fuzz_support {

// Bytes of the input taken one by one, or four at a time as a little-endian word; 0 once
// they run out.
class Script {
 public:
  Script(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool done() const { return at_ >= size_; }
  uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint32_t word() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(byte()) << (8 * i);
    return value;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// One file in a fresh folder, rewritten with each input and removed with its folder at the
// end; its name in the ANSI code page and in UTF-16.
class InputFile {
 public:
  explicit InputFile(const std::string& stem) {
    std::error_code ignored;
    folder_ = std::filesystem::temp_directory_path(ignored) /
              (stem + "-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(folder_, ignored);
    path_ = (folder_ / "input.bin").string();
    int length = MultiByteToWideChar(CP_ACP, 0, path_.c_str(), -1, nullptr, 0);
    widePath_.assign(length > 0 ? static_cast<size_t>(length) : 1, 0);
    if (length > 0) MultiByteToWideChar(CP_ACP, 0, path_.c_str(), -1, &widePath_[0], length);
  }
  ~InputFile() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool write(const uint8_t* data, size_t size) const {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(out);
  }
  const char* path() const { return path_.c_str(); }
  const WCHAR* widePath() const { return widePath_.data(); }

 private:
  std::filesystem::path folder_;
  std::string path_;
  std::vector<WCHAR> widePath_;
};

}  // namespace fuzz_support
