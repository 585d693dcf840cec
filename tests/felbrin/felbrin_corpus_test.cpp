// Every input kept in the fuzz corpus (the seeds and every crash ever found) fails cleanly
// through the exports: a listing code, no block left behind, from memory and from a file.
#include <filesystem>
#include <string>

#include "tests/common/temp_folder.h"
#include "tests/felbrin/felbrin_host.h"

namespace {

using namespace felbrin_test;

TEST(FelbrinCorpus, EveryKeptInputListsOrFailsCleanly) {
  Felbrin felbrin;
  testing_support::TempFolder folder;
  const std::string path = folder.path("input.ggd");
  int inputs = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(FELBRIN_CORPUS_DIR)) {
    if (!entry.is_regular_file()) continue;
    SCOPED_TRACE(entry.path().string());
    const std::string bytes = testing_support::readWholeFile(entry.path());
    folder.write("input.ggd", bytes);
    const long before = liveLocalBlocks();
    for (unsigned flag : {kMemoryIn, 0u}) {
      void* list = nullptr;
      const char* source = flag == kMemoryIn ? bytes.data() : path.c_str();
      const int result = felbrin.GetArchiveInfo(source, static_cast<intptr_t>(bytes.size()), flag, &list);
      EXPECT_TRUE(result == 0 || result == spi::kUnknownFormat || result == spi::kDamaged) << result;
      EXPECT_EQ(list != nullptr, result == 0);
      if (list != nullptr) LocalFree(list);
      felbrin.dropCache();
    }
    std::string head = bytes;
    head.resize(2048, '\0');
    const int supported = felbrin.IsSupported("input.ggd", reinterpret_cast<uintptr_t>(head.data()));
    EXPECT_TRUE(supported == 0 || supported == 1);
    EXPECT_EQ(liveLocalBlocks(), before);
    ++inputs;
  }
  EXPECT_GT(inputs, 0);
}

}  // namespace
