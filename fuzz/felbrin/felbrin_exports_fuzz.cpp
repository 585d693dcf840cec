// Felbrin's exports as a host drives them, the export code compiled in: the input is written
// to a file and listed (both families, and from memory), searched by name, and every member
// extracted to memory and into a fresh temporary folder, through both families. Besides
// crashes, it fails when any file appears outside that folder, when a member handed over does
// not have its listed size, or when the listings of the two families disagree.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "platform/win32.h"
#include "plugin_api/plugin_api.h"
#include "tests/common/export_declarations.h"

using spi::WideChar;

namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(const char* why) {
  std::fprintf(stderr, "felbrin_exports_fuzz: %s\n", why);
  std::abort();
}

constexpr unsigned kMemoryIn = 1;
constexpr unsigned kMemoryOut = 0x100;
constexpr size_t kMembersTried = 12;  // enough to reach every kind of member; keeps runs fast

std::basic_string<WideChar> WideOf(const fs::path& path) {
#ifdef _WIN32
  return path.wstring();
#else
  const std::u16string units = path.u16string();
  return std::basic_string<WideChar>(units.begin(), units.end());
#endif
}

// The harness's own folder: the archive file, and deep inside, the output folder, so that a
// name climbing out of it still lands somewhere this check sees.
struct Place {
  fs::path root = fs::temp_directory_path() / ("felbrin-exports-fuzz-" + std::to_string(ProcessId()));
  fs::path archive = root / "in.ggd";
  fs::path out = root / "a" / "b" / "c" / "out";
  std::string archiveA = archive.string();
  std::basic_string<WideChar> archiveW = WideOf(archive);

  ~Place() {
    std::error_code error;
    fs::remove_all(root, error);
  }
  static unsigned long ProcessId();
};

#ifdef _WIN32
unsigned long Place::ProcessId() { return GetCurrentProcessId(); }
#else
}  // namespace
#include <unistd.h>
namespace {
unsigned long Place::ProcessId() { return static_cast<unsigned long>(getpid()); }
#endif

const Place& ThePlace() {
  static const Place place;
  return place;
}

// Every file under the root must be the archive or a direct child of the output folder.
void CheckNothingEscaped(const Place& place) {
  std::error_code error;
  for (fs::recursive_directory_iterator it(place.root, error), end; it != end; it.increment(error)) {
    if (error) Fail("the folder cannot be walked");
    if (it->is_directory()) continue;
    if (it->path() == place.archive) continue;
    if (it->path().parent_path() != place.out) Fail("a file appeared outside the output folder");
  }
}

// Empties the output folder (made on first use). Whatever lands anywhere else has already
// failed the run.
void FreshOutFolder(const Place& place) {
  std::error_code error;
  fs::create_directories(place.out, error);
  if (error) Fail("no output folder");
  for (fs::directory_iterator it(place.out, error), end; it != end; it.increment(error)) {
    if (error) Fail("the output folder cannot be read");
    fs::remove_all(it->path(), error);
  }
}

// The size of the file the ANSI family wrote under this name, whose bytes are in the system's
// code page. On Windows it is looked up by the ANSI file calls too: a std::filesystem::path made
// from the bytes would take each one for a character of its own.
uint64_t AnsiFileSizeOr(const fs::path& folder, const char* name, uint64_t otherwise) {
#ifdef _WIN32
  const std::string path = folder.string() + "\\" + name;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return otherwise;
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
#else
  std::error_code error;
  const uint64_t size = fs::file_size(folder / name, error);
  return error ? otherwise : size;
#endif
}

void ExtractEveryMember(const Place& place, const spi::ArchiveEntryInfo* entries, size_t count) {
  std::string dest = place.out.string() + (count % 2 == 0 ? "/" : "");  // with and without a separator
  std::basic_string<WideChar> wideDest = WideOf(place.out);
  for (size_t j = 0; j < count && j < kMembersTried; ++j) {
    const spi::ArchiveEntryInfo& e = entries[j];
    const intptr_t position = static_cast<intptr_t>(e.position);

    spi::ArchiveEntryInfo found;
    if (GetFileInfo(place.archiveA.c_str(), 0, e.filename, spi::kIgnoreCase, &found) == 0 &&
        std::strlen(found.filename) != std::strlen(e.filename)) {
      Fail("a name matched ignoring the case of a-z has another length");
    }

    HLOCAL member = nullptr;
    if (GetFile(place.archiveA.c_str(), position, reinterpret_cast<char*>(&member), kMemoryOut, nullptr, 0) == 0) {
      if (member == nullptr || LocalSize(member) != static_cast<size_t>(e.filesize)) Fail("member of another size");
      LocalFree(member);
    }

    FreshOutFolder(place);
    const int ansi = GetFile(place.archiveA.c_str(), position, &dest[0], 0, nullptr, 0);
    CheckNothingEscaped(place);
    if (ansi == 0 && AnsiFileSizeOr(place.out, e.filename, ~0ull) != static_cast<uint64_t>(e.filesize)) {
      Fail("member file of another size");
    }

    FreshOutFolder(place);
    const int wide = GetFileW(place.archiveW.c_str(), position, &wideDest[0], 0, nullptr, 0);
    CheckNothingEscaped(place);
    // An ASCII name is the same name in both families.
    bool ascii = true;
    for (const char* c = e.filename; *c != '\0'; ++c) ascii = ascii && static_cast<unsigned char>(*c) < 0x80;
    if (ascii && ansi != wide) Fail("the two families extract differently");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Place& place = ThePlace();
  std::error_code error;
  fs::create_directories(place.root, error);
  {
    std::ofstream file(place.archive, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!file) Fail("the input cannot be written");
  }

  // IsSupported by address: the interface hands over 2048 bytes of the file's head.
  std::vector<uint8_t> head(2048, 0);
  std::memcpy(head.data(), data, size < head.size() ? size : head.size());
  IsSupported("in.ggd", reinterpret_cast<uintptr_t>(head.data()));

  void* memoryList = nullptr;
  if (GetArchiveInfo(reinterpret_cast<const char*>(data), static_cast<intptr_t>(size), kMemoryIn, &memoryList) == 0) {
    LocalFree(memoryList);
  }

  void* list = nullptr;
  void* wideList = nullptr;
  const int ansi = GetArchiveInfo(place.archiveA.c_str(), 0, 0, &list);
  const int wide = GetArchiveInfoW(place.archiveW.c_str(), 0, 0, &wideList);
  if (ansi != wide) Fail("the two families list differently");
  if (ansi == 0) {
    const size_t count = LocalSize(list) / sizeof(spi::ArchiveEntryInfo) - 1;
    if (LocalSize(wideList) != (count + 1) * sizeof(spi::ArchiveEntryInfoW)) Fail("lists of other lengths");
    ExtractEveryMember(place, static_cast<const spi::ArchiveEntryInfo*>(list), count);
    // No member starts at 1 (the directory is there): -1.
    HLOCAL none = nullptr;
    if (GetFile(place.archiveA.c_str(), 1, reinterpret_cast<char*>(&none), kMemoryOut, nullptr, 0) != -1) {
      Fail("a member where none starts");
    }
  }
  LocalFree(list);
  LocalFree(wideList);
  return 0;
}
