// Without libFuzzer, a fuzz target builds as this program: it feeds every file in the
// folders (or files) named on its command line to the target once, so the regression
// files are replayed in every build, the Windows one included.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int replayFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  int replayed = 0;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path path(argv[i]);
    if (std::filesystem::is_directory(path)) {
      for (const auto& entry : std::filesystem::recursive_directory_iterator(path)) {
        if (entry.is_regular_file()) replayed += replayFile(entry.path());
      }
    } else if (std::filesystem::exists(path)) {
      replayed += replayFile(path);
    }
  }
  std::printf("replayed %d inputs without a crash\n", replayed);
  return 0;
}
