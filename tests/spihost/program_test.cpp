// The real host program, run as a process: its exit codes over the test plug-in, and a
// table over each of our plug-ins present in the build, under each host habit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/common/plugin_library.h"
#include "tests/common/temp_folder.h"
#include "tests/spihost/fake_files.h"
#include "tests/spihost/run_program.h"

#ifdef SPIHOST_WITH_OSLIN
#include "tools/gga_writer/gga_writer.h"
#include "tools/gga_writer/test_pictures.h"
#endif
#ifdef SPIHOST_WITH_GORSEL
#include "tools/ggd_picture_writer/ggd_picture_writer.h"
#include "tools/ggd_picture_writer/sample_pictures.h"
#endif
#ifdef SPIHOST_WITH_DURNAC
#include "tools/mgx_writer/mgx_writer.h"
#endif
#ifdef SPIHOST_WITH_FELBRIN
#include "tools/ggd_archive_writer/ggd_archive_writer.h"
#endif

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#include "stb_image.h"

namespace {

using spihost_testing::ProgramRun;
using testing_support::TempFolder;

std::string spihost() { return spihost_testing::programPath(testing_support::executableFolder(), "spihost"); }

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::string label(const std::vector<std::string>& args) {
  std::string text;
  for (size_t i = 0; i < args.size(); ++i) text += (i ? " " : "") + args[i];
  return text;
}

TEST(SpihostProgram, QuotingForAWindowsCommandLine) {
  struct Case {
    const char* arg;
    const char* quoted;
  };
  const Case cases[] = {
      {"plain", "plain"},
      {"", "\"\""},
      {"two words", "\"two words\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"C:\\out\\", "C:\\out\\"},                    // no blank: as it is
      {"C:\\my out\\", "\"C:\\my out\\\\\""},          // backslashes before the closing quote doubled
      {"a\\\\\"b c", "\"a\\\\\\\\\\\"b c\""},          // two backslashes and a quote
      {"a\\b c", "\"a\\b c\""},                        // a backslash elsewhere stays single
  };
  for (const Case& test : cases) EXPECT_EQ(spihost_testing::quoteArgument(test.arg), test.quoted) << test.arg;
}

TEST(SpihostProgram, ExitCodesOfTheProgram) {
  TempFolder folder;
  using namespace fake_files;
  folder.write("p.fake", pictureFile(bitmapHeader(1, 1, 24), std::string(4, '\x7F')));
  folder.write("bad.fake", pictureFile(bitmapHeader(1, 1, 24), std::string(4, '\0'), Codes{3, 3, 0}));
  std::string fake = testing_support::pluginPath("SpihostFake");
  struct Case {
    std::vector<std::string> args;
    int code;
    const char* out;  // a part of it
    const char* err;  // a part of it
  };
  const Case cases[] = {
      {{"--help"}, 0, "usage:", ""},
      {{}, 1, "", "no command given"},
      {{"decode", fake, folder.path("p.fake"), folder.path("o.png")}, 0, "wrote ", ""},
      {{"info", folder.path("none.spi")}, 2, "", "cannot load plug-in library"},
      {{"picinfo", fake, folder.path("bad.fake")}, 3, "", "GetPictureInfo failed: 3 (damaged data)"},
      {{"decode", fake, folder.path("p.fake"), folder.path("no/such/o.png")}, 4, "", "cannot create"},
      {{"probe", fake, spihost()}, 6, "handle: 0 (not accepted)", ""},
  };
  for (const Case& test : cases) {
    ProgramRun run = spihost_testing::runProgram(spihost(), test.args, folder);
    EXPECT_EQ(run.exitCode, test.code) << label(test.args) << "\n" << run.err;
    EXPECT_TRUE(contains(run.out, test.out)) << label(test.args) << "\n" << run.out;
    EXPECT_TRUE(contains(run.err, test.err)) << label(test.args) << "\n" << run.err;
  }
  EXPECT_TRUE(folder.exists("o.png"));
}

#ifndef _WIN32
// Ctrl-C in the middle of a plug-in's call: whether the plug-in stops when asked or goes on,
// the host writes nothing more, removes what was half written and its private folder, and
// exits with 130. (The plug-in raises SIGINT itself; Windows has no such call.)
TEST(SpihostProgram, CtrlCLeavesNoPartOfAFile) {
  using namespace fake_files;
  using namespace fake_format;
  const Members members = {{"A.TXT", "first member"}, {"B.TXT", "second member"}};
  struct Case {
    const char* what;
    uint32_t quirks;
    std::vector<std::string> args;  // after the verb, the plug-in and the input; "@" is the output
  };
  const Case cases[] = {
      {"the plug-in writes into the folder", kQuirkInterrupt, {"--all", "--to-dir", "@"}},
      {"the host writes the members", kQuirkInterrupt, {"--all", "--to-memory", "@"}},
      {"a plug-in that goes on", kQuirkInterrupt | kQuirkIgnoreStop, {"--all", "--to-dir", "@"}},
      {"one member to a file", kQuirkInterrupt, {"--name", "B.TXT", "--to-memory", "@/b.txt"}},
      {"a picture", kQuirkInterrupt, {}},
      {"a picture from a plug-in that goes on", kQuirkInterrupt | kQuirkIgnoreStop, {}},
  };
  std::string fake = testing_support::pluginPath("SpihostFake");
  for (const Case& test : cases) {
    TempFolder folder;
    bool picture = test.args.empty();
    folder.write("in.fake", picture ? pictureFile(bitmapHeader(2, 2, 24), std::string(16, 'p'), Codes{0, 0, test.quirks})
                                    : archiveFile(members, Codes{0, 0, test.quirks}));
    std::string out = folder.path("out");
    std::vector<std::string> args = {picture ? "decode" : "extract", fake, folder.path("in.fake")};
    for (const std::string& arg : test.args) args.push_back(arg[0] == '@' ? out + arg.substr(1) : arg);
    if (picture) {
      args.push_back(folder.path("out.png"));
    } else if (test.args.back() != "@") {
      std::filesystem::create_directory(out);
    }
    ProgramRun run = spihost_testing::runProgram(spihost(), args, folder);
    EXPECT_EQ(run.exitCode, 130) << test.what << "\n" << run.out << run.err;
    EXPECT_TRUE(contains(run.err, "stopped")) << test.what << "\n" << run.err;
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.path())) {
      left.push_back(entry.path().lexically_relative(folder.path()).generic_string());
    }
    std::sort(left.begin(), left.end());
    std::vector<std::string> expected = {"in.fake", "program.stderr", "program.stdout"};
    if (!picture) expected.push_back("out");  // the folder, created, and empty
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected) << test.what;
  }
}
#endif

// ---- Our plug-ins, as a viewer drives them ------------------------------------------------

// The plug-ins' codes where a habit makes them differ from a plain run.
struct Expectation {
  std::vector<std::string> switches;
  int code;
};

// An image plug-in and a picture it reads; the pixels are blue, green, red (and a fourth
// byte at 32 bits), top row first, rows unpadded.
struct ImageCase {
  const char* plugin;
  std::string picture;
  std::string shifted;  // the picture 64 bytes into a file, for plug-ins that honour --offset
  uint32_t width, height, depth;
  std::vector<uint8_t> pixels;
  int stopCode;  // with --stop-callback
};

// What the PNG holds: RGB, or RGBA when the fourth bytes are not all 0 or all 255.
std::vector<uint8_t> expectedPng(const ImageCase& test, int& channels) {
  size_t bytes = test.depth / 8;
  bool alpha = false;
  for (size_t i = 3; bytes == 4 && i < test.pixels.size(); i += 4) {
    alpha = alpha || test.pixels[i] != test.pixels[3] || (test.pixels[3] != 0 && test.pixels[3] != 0xFF);
  }
  channels = alpha ? 4 : 3;
  std::vector<uint8_t> out;
  for (size_t i = 0; i < test.pixels.size(); i += bytes) {
    out.insert(out.end(), {test.pixels[i + 2], test.pixels[i + 1], test.pixels[i]});
    if (alpha) out.push_back(test.pixels[i + 3]);
  }
  return out;
}

// The bits of the bitmap: rows bottom-up, padded with zeros to whole 32-bit words.
std::string expectedBits(const ImageCase& test) {
  size_t row = test.width * (test.depth / 8);
  size_t stride = (row + 3) / 4 * 4;
  std::string bits;
  for (uint32_t y = test.height; y-- > 0;) {
    bits.append(reinterpret_cast<const char*>(test.pixels.data()) + y * row, row);
    bits.append(stride - row, '\0');
  }
  return bits;
}

uint32_t le32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(s[at + i]);
  return v;
}

std::vector<uint8_t> readPng(const std::string& png, int& channels) {
  int width = 0, height = 0;
  stbi_uc* pixels = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(png.data()), static_cast<int>(png.size()),
                                          &width, &height, &channels, 0);
  if (pixels == nullptr) return {};
  std::vector<uint8_t> out(pixels, pixels + width * height * channels);
  stbi_image_free(pixels);
  return out;
}

void checkImagePlugin(const ImageCase& test) {
  TempFolder folder;
  folder.write("picture", test.picture);
  folder.write("shifted", test.shifted);
  folder.write("other", "this is no picture of any kind, and long enough to be read as one");
  const std::string plugin = testing_support::pluginPath(test.plugin);
  const std::string picture = folder.path("picture");
  auto run = [&folder](const std::vector<std::string>& args) { return spihost_testing::runProgram(spihost(), args, folder); };

  ProgramRun info = run({"info", plugin});
  EXPECT_EQ(info.exitCode, 0) << info.err;
  EXPECT_TRUE(contains(info.out, "kind: 00IN (image plug-in)")) << info.out;
  EXPECT_EQ(run({"info", plugin, "--null-out"}).exitCode, 0);
  EXPECT_EQ(run({"probe", plugin, picture}).out, "handle: 1 (accepted)\nmemory: 1 (accepted)\n");
  EXPECT_EQ(run({"probe", plugin, folder.path("other")}).exitCode, 6);
  EXPECT_EQ(run({"picinfo", plugin, folder.path("other")}).exitCode, 3);

  const std::string size = "width: " + std::to_string(test.width) + "\nheight: " + std::to_string(test.height) +
                           "\ndepth: " + std::to_string(test.depth) + " bits per pixel\n";
  std::vector<std::vector<std::string>> infoHabits = {
      {}, {"--memory"}, {"--no-lock"}, {"--length-from-size"}, {"--free-library-first"}};
  if (!test.shifted.empty()) infoHabits.push_back({"--offset", "64", "@shifted"});
  for (std::vector<std::string> habit : infoHabits) {
    std::string input = picture;
    if (!habit.empty() && habit.back() == "@shifted") {
      habit.pop_back();
      input = folder.path("shifted");
    }
    ProgramRun result = run(std::vector<std::string>{"picinfo", plugin, input} + habit);
    EXPECT_EQ(result.exitCode, 0) << test.plugin << " " << label(habit) << "\n" << result.err;
    EXPECT_EQ(result.out.substr(0, size.size()), size) << test.plugin << " " << label(habit);
  }
  ProgramRun refused = run({"picinfo", plugin, picture, "--null-out"});
  EXPECT_EQ(refused.exitCode, 0) << refused.err;
  EXPECT_TRUE(contains(refused.out, "GetPictureInfo with a null record: refused with")) << refused.out;

  int channels = 0;
  const std::vector<uint8_t> png = expectedPng(test, channels);
  std::vector<Expectation> decodeHabits = {
      {{}, 0}, {{"--no-lock"}, 0}, {{"--length-from-size"}, 0}, {{"--free-library-first"}, 0},
      {{"--null-callback"}, 0}, {{"--memory"}, 0}, {{"--stop-callback"}, test.stopCode}, {{"--null-out"}, 0},
      {{"--no-lock", "--length-from-size", "--free-library-first", "--memory"}, 0},
  };
  if (!test.shifted.empty()) decodeHabits.push_back({{"--offset", "64", "@shifted"}, 0});
  int round = 0;
  for (Expectation habit : decodeHabits) {
    std::string input = picture;
    if (!habit.switches.empty() && habit.switches.back() == "@shifted") {
      habit.switches.pop_back();
      input = folder.path("shifted");
    }
    std::string output = "o" + std::to_string(round++) + ".png";
    ProgramRun result = run(std::vector<std::string>{"decode", plugin, input, folder.path(output)} + habit.switches);
    std::string what = std::string(test.plugin) + " decode " + label(habit.switches);
    EXPECT_EQ(result.exitCode, habit.code) << what << "\n" << result.err;
    bool wrote = habit.code == 0 && (habit.switches.empty() || habit.switches[0] != "--null-out");
    EXPECT_EQ(folder.exists(output), wrote) << what;
    if (wrote) {
      int read = 0;
      EXPECT_EQ(readPng(folder.read(output), read), png) << what;
      EXPECT_EQ(read, channels) << what;
    }
  }

  ProgramRun bmp = run({"decode", plugin, picture, folder.path("o.bmp")});
  EXPECT_EQ(bmp.exitCode, 0) << bmp.err;
  std::string file = folder.read("o.bmp");
  ASSERT_GT(file.size(), 54u);
  EXPECT_EQ(file.substr(0, 2), "BM");
  EXPECT_EQ(le32(file, 2), file.size());
  EXPECT_EQ(le32(file, 18), test.width);
  EXPECT_EQ(le32(file, 22), test.height);
  EXPECT_EQ(le32(file, 28) & 0xFFFF, test.depth);
  EXPECT_EQ(file.substr(le32(file, 10)), expectedBits(test));
}

// An archive plug-in and an archive of three members.
struct ArchiveCase {
  const char* plugin;
  std::string archive;
  std::string shifted;  // the archive 64 bytes into a file, for plug-ins that honour --offset
  bool memoryInput;     // GetArchiveInfo takes memory input
  bool folderOutput;    // GetFile writes into a folder
  int stopCode;         // with --stop-callback
};

struct MemberBytes {
  const char* name;
  std::string bytes;
};

std::vector<MemberBytes> sampleMembers() {
  std::string big(70000, '\0');  // more than one piece when written to a file
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 256);
  return {{"A.BMP", std::string(100, 'a')}, {"b.txt", "hello world!"}, {"big.dat", big}};
}

void checkArchivePlugin(const ArchiveCase& test) {
  TempFolder folder;
  folder.write("archive", test.archive);
  folder.write("shifted", test.shifted);
  folder.write("other", std::string(3000, 'x'));
  const std::string plugin = testing_support::pluginPath(test.plugin);
  const std::string archive = folder.path("archive");
  const std::vector<MemberBytes> members = sampleMembers();
  auto run = [&folder](const std::vector<std::string>& args) { return spihost_testing::runProgram(spihost(), args, folder); };

  ProgramRun info = run({"info", plugin});
  EXPECT_EQ(info.exitCode, 0) << info.err;
  EXPECT_TRUE(contains(info.out, "kind: 00AM (archive plug-in)")) << info.out;
  EXPECT_EQ(run({"probe", plugin, archive}).out, "handle: 1 (accepted)\nmemory: 1 (accepted)\n");
  EXPECT_EQ(run({"probe", plugin, folder.path("other")}).exitCode, 6);

  std::vector<Expectation> listHabits = {
      {{}, 0}, {{"--no-lock"}, 0}, {{"--length-from-size"}, 0}, {{"--free-library-first"}, 0},
      {{"--memory"}, test.memoryInput ? 0 : 3},
  };
  if (!test.shifted.empty()) listHabits.push_back({{"--offset", "64", "@shifted"}, 0});
  for (Expectation habit : listHabits) {
    std::string input = archive;
    if (!habit.switches.empty() && habit.switches.back() == "@shifted") {
      habit.switches.pop_back();
      input = folder.path("shifted");
    }
    ProgramRun result = run(std::vector<std::string>{"list", plugin, input} + habit.switches);
    std::string what = std::string(test.plugin) + " list " + label(habit.switches);
    EXPECT_EQ(result.exitCode, habit.code) << what << "\n" << result.err;
    if (habit.code != 0) continue;
    for (const MemberBytes& member : members) {
      EXPECT_TRUE(contains(result.out, " " + std::to_string(member.bytes.size()) + "  ")) << what;
      EXPECT_TRUE(contains(result.out, std::string(" ") + member.name + "\n")) << what;
    }
    EXPECT_TRUE(contains(result.out, "\n3 members\n")) << what;
  }
  ProgramRun refused = run({"list", plugin, archive, "--null-out"});
  EXPECT_EQ(refused.exitCode, 0) << refused.err;

  const std::vector<Expectation> extractHabits = {
      {{}, 0}, {{"--no-lock"}, 0}, {{"--length-from-size"}, 0}, {{"--free-library-first"}, 0},
      {{"--null-callback"}, 0}, {{"--stop-callback"}, test.stopCode}, {{"--null-out"}, 0},
      {{"--no-lock", "--length-from-size", "--free-library-first"}, 0},
  };
  int round = 0;
  for (const Expectation& habit : extractHabits) {
    for (const char* destination : {"--to-memory", "--to-dir"}) {
      bool nullOut = !habit.switches.empty() && habit.switches[0] == "--null-out";
      // A plug-in that extracts to memory only answers -1 for a folder; the host then takes
      // the members through memory and writes them itself.
      int code = habit.code;
      std::string out = "out" + std::to_string(round++);
      folder.makeFolder(out);
      ProgramRun result = run(std::vector<std::string>{"extract", plugin, archive, "--all", destination,
                                                        folder.path(out)} + habit.switches);
      std::string what = std::string(test.plugin) + " extract " + destination + " " + label(habit.switches);
      EXPECT_EQ(result.exitCode, code) << what << "\n" << result.err;
      if (code != 0 || nullOut) continue;
      bool toFolder = std::string(destination) == "--to-dir";
      EXPECT_EQ(contains(result.err, "extracts to memory only"), toFolder && !test.folderOutput) << what;
      for (const MemberBytes& member : members) {
        EXPECT_EQ(folder.read(out + "/" + member.name), member.bytes) << what << " " << member.name;
      }
    }
  }

  struct Lookup {
    std::vector<std::string> selection;
    int code;
  };
  const Lookup lookups[] = {
      {{"--name", "b.txt"}, 0},
      {{"--name", "B.TXT", "--ignore-case"}, 0},
      {{"--name", "B.TXT"}, 3},
      {{"--position", "99999"}, 3},
      {{"--name", "b.txt", "--null-out"}, 0},
  };
  for (const Lookup& lookup : lookups) {
    ProgramRun result =
        run(std::vector<std::string>{"extract", plugin, archive, "--to-memory", folder.path("m.bin")} + lookup.selection);
    std::string what = std::string(test.plugin) + " extract " + label(lookup.selection);
    EXPECT_EQ(result.exitCode, lookup.code) << what << "\n" << result.err;
    if (lookup.code == 0 && lookup.selection.back() != "--null-out") {
      EXPECT_EQ(folder.read("m.bin"), "hello world!") << what;
    }
  }
}

#ifdef SPIHOST_WITH_OSLIN
TEST(SpihostPlugins, Oslin) {
  ImageCase test;
  test.plugin = "Oslin";
  test.width = 37;  // odd sizes: rows of every length
  test.height = 23;
  test.depth = 32;
  test.pixels = gga_writer::makeTestPicture(gga_writer::TestPattern::kMixed, test.width, test.height, 7);
  std::vector<uint8_t> file;
  ASSERT_TRUE(gga_writer::encodeGga(test.pixels.data(), test.width, test.height, file));
  test.picture.assign(file.begin(), file.end());
  test.stopCode = 0;  // Oslin reports no progress
  checkImagePlugin(test);
}
#endif

#ifdef SPIHOST_WITH_GORSEL
TEST(SpihostPlugins, Gorsel) {
  ImageCase test;
  test.plugin = "Gorsel";
  test.width = 37;  // rows of 111 bytes, padded to 112
  test.height = 23;
  test.depth = 24;
  test.pixels = ggd_picture_writer::makeSamplePicture(ggd_picture_writer::SamplePattern::kMixed, 37, 23, 7);
  std::vector<uint8_t> file = ggd_picture_writer::encodeGgdPicture(37, 23, test.pixels.data());
  ASSERT_FALSE(file.empty());
  test.picture.assign(file.begin(), file.end());
  test.shifted = std::string(64, '#') + test.picture;
  test.stopCode = 3;  // Gorsel heeds the callback and answers 1
  checkImagePlugin(test);
}
#endif

#ifdef SPIHOST_WITH_DURNAC
TEST(SpihostPlugins, Durnac) {
  std::vector<mgx_writer::Member> members;
  for (const MemberBytes& member : sampleMembers()) {
    members.push_back({member.name, std::vector<uint8_t>(member.bytes.begin(), member.bytes.end())});
  }
  std::vector<uint8_t> bytes;
  std::string error;
  ASSERT_TRUE(mgx_writer::buildArchive(members, bytes, error)) << error;
  ArchiveCase test;
  test.plugin = "Durnac";
  test.archive.assign(bytes.begin(), bytes.end());
  test.memoryInput = false;   // file input only
  test.folderOutput = false;  // memory output only
  test.stopCode = 0;          // reports progress but never stops
  checkArchivePlugin(test);
}
#endif

#ifdef SPIHOST_WITH_FELBRIN
TEST(SpihostPlugins, Felbrin) {
  std::vector<ggd_archive_writer::Member> members;
  for (const MemberBytes& member : sampleMembers()) members.push_back({member.name, member.bytes});
  ArchiveCase test;
  test.plugin = "Felbrin";
  std::string error;
  ASSERT_TRUE(ggd_archive_writer::buildArchive(members, &test.archive, &error)) << error;
  test.shifted = std::string(64, '#') + test.archive;
  test.memoryInput = true;
  test.folderOutput = true;
  test.stopCode = 3;  // heeds the callback and answers 1
  checkArchivePlugin(test);
}
#endif

}  // namespace
