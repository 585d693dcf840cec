// A fresh folder for one test, removed with everything in it at the end; and a file's whole
// content read in one call.
#pragma once

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

namespace testing_support {

// Every byte of the file, or nothing when it cannot be opened.
inline std::string readWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class TempFolder {
 public:
  TempFolder() {
    static std::atomic<int> serial{0};
    std::filesystem::path base = std::filesystem::temp_directory_path();
    for (;;) {
      root_ = base / ("vantrel-test-" + std::to_string(processId()) + "-" + std::to_string(serial++));
      std::error_code error;
      if (std::filesystem::create_directory(root_, error)) break;
    }
  }
  ~TempFolder() {
    std::error_code error;
    std::filesystem::remove_all(root_, error);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The path of a name inside the folder, in the form the system's calls take.
  std::string path(const std::string& name = "") const {
    std::string folder = root_.string();
    return name.empty() ? folder : folder + separator() + name;
  }

  void write(const std::string& name, const std::string& bytes) const {
    std::ofstream out(root_ / name, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  std::string read(const std::string& name) const { return readWholeFile(root_ / name); }

  bool exists(const std::string& name) const { return std::filesystem::exists(root_ / name); }

  void makeFolder(const std::string& name) const { std::filesystem::create_directory(root_ / name); }

  const std::filesystem::path& root() const { return root_; }

 private:
  static const char* separator() {
#ifdef _WIN32
    return "\\";
#else
    return "/";
#endif
  }
  static unsigned long processId();
  std::filesystem::path root_;
};

}  // namespace testing_support

#ifdef _WIN32
#include <windows.h>
inline unsigned long testing_support::TempFolder::processId() { return GetCurrentProcessId(); }
#else
#include <unistd.h>
inline unsigned long testing_support::TempFolder::processId() { return static_cast<unsigned long>(getpid()); }
#endif
