// The FCG splitter over arbitrary container bytes, in a scratch folder of its own. Whatever the
// bytes, the split must end, and every file it leaves must be exactly what the table names:
// the 48 header bytes of its record and the dataSize bytes from its payload offset.
//
// The splitter writes into the working directory, so the scratch folder is made the working
// directory for each split only, and the one it was before is back before the checks: the
// fuzzer's own relative paths (corpus folders, the artifact prefix) keep meaning what they
// meant wherever it was started. A relative artifact prefix is made absolute at start-up, as a
// crash inside the split happens while the scratch folder is the working directory.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "converter/fcg_splitter.h"
#include "converter/output_namer.h"

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

// More images than this per input only repeat the same checks, and each one costs a file.
constexpr uint32_t kMaxImagesPerInput = 64;

class QuietLog : public vantrel::MessageLog {
 public:
  void append(const char* text) override {
    if (text == nullptr) std::abort();
    ++lines;
  }
  void appendName(const WCHAR* name) override {
    if (name == nullptr) std::abort();
  }
  int lines = 0;
};

class StillClock : public vantrel::Clock {
 public:
  void localTime(SYSTEMTIME* now) override { *now = SYSTEMTIME{2002, 4, 1, 1, 5, 6, 7, 0}; }
  DWORD tickCount() override { return 0; }
};

// A scratch folder for the whole run (absolute), removed at the end.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::error_code error;
    fs::path base = fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm") : fs::temp_directory_path();
    folder_ = fs::absolute(base / ("vantrel-fcg-fuzz-" + std::to_string(getpid())));
    fs::create_directories(folder_);
  }
  ~ScratchFolder() {
    std::error_code error;
    fs::remove_all(folder_, error);
  }
  const fs::path& path() const { return folder_; }

 private:
  fs::path folder_;
};

// Makes a folder the working directory for the life of the object.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const fs::path& folder) : previous_(fs::current_path()) { fs::current_path(folder); }
  ~WorkingDirectory() { fs::current_path(previous_); }

 private:
  fs::path previous_;
};

uint32_t readU32(const std::string& bytes, uint64_t offset) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[offset + i]);
  return value;
}

std::string readWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The file that image i must have produced, from the input bytes alone.
std::string expectedImage(const std::string& bytes, uint32_t i) {
  uint64_t entry = 32 + static_cast<uint64_t>(i) * 8;
  uint64_t header = static_cast<uint64_t>(readU32(bytes, entry)) + 4;
  uint64_t payload = readU32(bytes, entry + 4);
  uint32_t dataSize = readU32(bytes, header + 20);
  return bytes.substr(header, 48) + bytes.substr(payload, dataSize);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static std::vector<std::string> storage;
  static std::vector<char*> arguments;
  const std::string prefixFlag = "-artifact_prefix=";
  bool hasPrefix = false;
  for (int i = 0; i < *argc; ++i) {
    std::string argument = (*argv)[i];
    if (argument.compare(0, prefixFlag.size(), prefixFlag) == 0) {
      hasPrefix = true;
      std::string prefix = argument.substr(prefixFlag.size());
      // A trailing separator is part of the prefix: keep it through making the path absolute.
      bool folderOnly = !prefix.empty() && (prefix.back() == '/' || prefix.back() == '\\');
      if (!fs::path(prefix).is_absolute()) {
        std::string absolute = fs::absolute(prefix).string();
        if (folderOnly && absolute.back() != '/' && absolute.back() != '\\') absolute += prefix.back();
        argument = prefixFlag + absolute;
      }
    }
    storage.push_back(argument);
  }
  if (!hasPrefix) storage.push_back(prefixFlag + (fs::current_path() / "").string());
  for (std::string& argument : storage) arguments.push_back(&argument[0]);
  arguments.push_back(nullptr);
  *argc = static_cast<int>(storage.size());
  *argv = arguments.data();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ScratchFolder scratch;
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (size >= 32) {
    uint32_t count = readU32(bytes, 8);
    // Counts that the table could hold are kept small; larger ones still test the table check.
    if (count > kMaxImagesPerInput && count <= (size - 32) / 8) {
      bytes[8] = static_cast<char>(kMaxImagesPerInput);
      bytes[9] = bytes[10] = bytes[11] = 0;
    }
  }
  const fs::path input = scratch.path() / "in.fcg";
  {
    std::ofstream out(input, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  QuietLog log;
  StillClock clock;
  {
    WorkingDirectory inside(scratch.path());
    vantrel::splitFcgFile(input.string().c_str(), log, clock);
  }

  // Images are written in table order from fcg_000001 on, and each one is exact.
  uint32_t written = 0;
  for (;;) {
    char name[32];
    std::snprintf(name, sizeof name, "fcg_%06u.gg0", written + 1);
    const fs::path image = scratch.path() / name;
    std::error_code error;
    if (!fs::exists(image, error)) break;
    if (readWhole(image) != expectedImage(bytes, written)) std::abort();
    fs::remove(image, error);
    ++written;
  }
  for (const auto& entry : fs::directory_iterator(scratch.path())) {
    if (entry.path().filename() != "in.fcg") std::abort();  // nothing else may be left behind
  }
  // One line per image, the timing line, and at most one line saying why the split stopped.
  if (size > 0 && (log.lines < static_cast<int>(written) + 1 || log.lines > static_cast<int>(written) + 2)) std::abort();
  return 0;
}
