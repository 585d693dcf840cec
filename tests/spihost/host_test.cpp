// The host run in-process over the test plug-in: each verb's output and exit code, the
// plug-in's codes in words, the host habits, and the plug-in faults the host catches.
// Natively every test also checks that the host freed every block it was handed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/common/live_blocks.h"
#include "tests/common/plugin_library.h"
#include "tests/common/temp_folder.h"
#include "tests/spihost/fake_files.h"
#include "tools/spihost/host.h"
#include "tools/spihost/verbs.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#include "stb_image.h"

namespace {

using namespace fake_files;
using testing_support::liveLocalBlocks;
using testing_support::TempFolder;

struct Outcome {
  int code;
  std::string out;
  std::string err;
};

std::string bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

// A 24-bit picture of 3 x 2 pixels: rows of 9 bytes padded to 12, bottom row first.
const std::string kInfo24 = bitmapHeader(3, 2, 24);
const std::string kBits24 = bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0});
const std::vector<uint8_t> kPixels24 = {12, 11, 10, 15, 14, 13, 18, 17, 16, 3, 2, 1, 6, 5, 4, 9, 8, 7};

// An empty member shares its position with the next one, so it comes last.
const Members kMembers = {{"A.BMP", std::string(100, 'a')}, {"b.txt", "hello"}, {"empty", ""}};

class SpihostHost : public ::testing::Test {
 protected:
  void SetUp() override { liveBefore_ = liveLocalBlocks(); }
  void TearDown() override { EXPECT_EQ(liveLocalBlocks(), liveBefore_) << "blocks left alive"; }

  static std::string fake() { return testing_support::pluginPath("SpihostFake"); }
  static std::string infoOnly() { return testing_support::pluginPath("SpihostInfoOnly"); }

  Outcome run(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    int code = spihost::runHost(args, out, err);
    return {code, out.str(), err.str()};
  }

  std::string file(const std::string& name, const std::string& content) {
    folder_.write(name, content);
    return folder_.path(name);
  }

  std::vector<uint8_t> readPng(const std::string& name) {
    std::string png = folder_.read(name);
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(png.data()), static_cast<int>(png.size()),
                                            &width, &height, &channels, 0);
    if (pixels == nullptr) return {};
    std::vector<uint8_t> out(pixels, pixels + width * height * channels);
    stbi_image_free(pixels);
    return out;
  }

  TempFolder folder_;

 private:
  long liveBefore_ = 0;
};

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(SpihostHost, InfoPrintsTheTableAndTheExports) {
  const std::string table =
      "kind: 00IN (image plug-in)\n0: 00IN\n1: Spihost test plug-in 1.0 by the Vantrel team\n"
      "2: *.fakepic;*.fakearc\n3: Host test data\nexports: GetPluginInfo IsSupported GetPictureInfo GetPicture "
      "GetPreview GetArchiveInfo GetFileInfo GetFile ConfigurationDlg\n";
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string out;
    std::string err;  // a part of it
  };
  const Case cases[] = {
      {{"info", fake()}, 0, table, ""},
      {{"info", fake(), "--free-library-first"}, 0, table, ""},
      {{"info", fake(), "--null-out"}, 0, "GetPluginInfo with a null buffer: 0 for every index\n", ""},
      {{"info", infoOnly()},
       5,
       "kind: 00IN (image plug-in)\n0: 00IN\n1: Spihost test plug-in 1.0 by the Vantrel team\n2: *.fakepic;*.fakearc\n"
       "3: Host test data\nexports: GetPluginInfo\n",
       "a plug-in of kind 00IN lacks IsSupported GetPictureInfo GetPicture"},
  };
  for (const Case& test : cases) {
    Outcome result = run(test.args);
    EXPECT_EQ(result.code, test.code) << test.args.back();
    EXPECT_EQ(result.out, test.out) << test.args.back();
    EXPECT_TRUE(contains(result.err, test.err)) << result.err;
  }
}

TEST_F(SpihostHost, MissingLibraryExportOrFile) {
  std::string picture = file("p.fake", pictureFile(kInfo24, kBits24));
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string err;
  };
  const Case cases[] = {
      {{"info", folder_.path("nothing.spi")}, 2, "cannot load plug-in library"},
      {{"probe", infoOnly(), picture}, 2, "has no export IsSupported"},
      {{"picinfo", infoOnly(), picture}, 2, "has no export GetPictureInfo"},
      {{"decode", infoOnly(), picture, folder_.path("o.png")}, 2, "has no export GetPicture"},
      {{"list", infoOnly(), picture}, 2, "has no export GetArchiveInfo"},
      {{"extract", infoOnly(), picture, "--all", "--to-dir", folder_.path()}, 2, "has no export GetFile"},
      {{"decode", fake(), picture}, 1, "decode takes PLUGIN FILE OUT.png|OUT.bmp"},
      {{"probe", fake(), folder_.path("missing")}, 4, "cannot open"},
      {{"picinfo", fake(), folder_.path("missing"), "--memory"}, 4, "cannot open"},
      {{"picinfo", fake(), picture, "--memory", "--offset", "1000"}, 4, "lies past the end"},
      {{"decode", fake(), picture, folder_.path("no-such-folder/o.png")}, 4, "cannot create"},
  };
  for (const Case& test : cases) {
    Outcome result = run(test.args);
    EXPECT_EQ(result.code, test.code) << test.args[0] << " " << result.err;
    EXPECT_TRUE(contains(result.err, test.err)) << result.err;
  }
}

TEST_F(SpihostHost, ProbeAsksByHandleAndByAddress) {
  struct Case {
    std::string content;
    int code;
    std::string out;
  };
  const Case cases[] = {
      {pictureFile(kInfo24, kBits24), 0, "handle: 1 (accepted)\nmemory: 1 (accepted)\n"},
      {archiveFile(kMembers), 0, "handle: 1 (accepted)\nmemory: 1 (accepted)\n"},
      {"FAKEPI", 6, "handle: 0 (not accepted)\nmemory: 0 (not accepted)\n"},
      {"", 6, "handle: 0 (not accepted)\nmemory: 0 (not accepted)\n"},
  };
  for (const Case& test : cases) {
    std::string path = file("probe.bin", test.content);
    for (const char* habit : {"", "--free-library-first"}) {
      std::vector<std::string> args = {"probe", fake(), path};
      if (*habit) args.push_back(habit);
      Outcome result = run(args);
      EXPECT_EQ(result.code, test.code) << test.content;
      EXPECT_EQ(result.out, test.out) << test.content;
    }
  }
}

TEST_F(SpihostHost, PictureInfoFromFileOffsetAndMemory) {
  std::string plain = file("p.fake", pictureFile(kInfo24, kBits24));
  std::string shifted = file("s.fake", "12345" + pictureFile(kInfo24, kBits24));
  const std::string expected =
      "width: 3\nheight: 2\ndepth: 24 bits per pixel\nposition: 0, 0\ndensity: 1 x 1\ncomment: none\n";
  const std::vector<std::vector<std::string>> cases = {
      {"picinfo", fake(), plain},
      {"picinfo", fake(), plain, "--memory"},
      {"picinfo", fake(), shifted, "--offset", "5"},
      {"picinfo", fake(), shifted, "--offset", "0x5", "--memory"},
      {"picinfo", fake(), plain, "--free-library-first", "--no-lock", "--length-from-size"},
  };
  for (const auto& args : cases) {
    Outcome result = run(args);
    EXPECT_EQ(result.code, 0) << args.back() << result.err;
    EXPECT_EQ(result.out, expected) << args.back();
  }
  Outcome refused = run({"picinfo", fake(), plain, "--null-out"});
  EXPECT_EQ(refused.code, 0);
  EXPECT_EQ(refused.out, "GetPictureInfo with a null record: refused with -1 (not supported)\n");
}

TEST_F(SpihostHost, EveryReturnCodeIsNamed) {
  struct Case {
    int32_t code;
    const char* words;
  };
  const Case cases[] = {
      {-1, "-1 (not supported)"},
      {1, "1 (stopped: the progress callback asked to stop)"},
      {2, "2 (unknown format)"},
      {3, "3 (damaged data)"},
      {4, "4 (out of memory)"},
      {5, "5 (memory lock failed)"},
      {6, "6 (cannot open or read the input)"},
      {8, "8 (internal error)"},
      {7, "7 (not a code plug-ins return)"},
  };
  for (const Case& test : cases) {
    Codes codes;
    codes.info = codes.data = test.code;
    std::string picture = file("p.fake", pictureFile(kInfo24, kBits24, codes));
    std::string archive = file("a.fake", archiveFile(kMembers, Codes{0, test.code, 0}));
    std::string list = file("l.fake", archiveFile(kMembers, codes));
    struct Call {
      std::vector<std::string> args;
      const char* exportName;
    };
    const Call calls[] = {
        {{"picinfo", fake(), picture}, "GetPictureInfo"},
        {{"decode", fake(), picture, folder_.path("o.png")}, "GetPicture"},
        {{"list", fake(), list}, "GetArchiveInfo"},
        {{"extract", fake(), list, "--name", "b.txt", "--to-dir", folder_.path()}, "GetFileInfo"},
        {{"extract", fake(), archive, "--name", "b.txt", "--to-memory", folder_.path("m")}, "GetFile"},
    };
    for (const Call& call : calls) {
      Outcome result = run(call.args);
      EXPECT_EQ(result.code, 3) << call.exportName << " " << test.code;
      // The code in words, then what it means for this call, on a line of its own.
      std::string named = std::string("spihost: ") + call.exportName + " failed: " + test.words + "\n";
      EXPECT_EQ(result.err.substr(0, named.size()), named);
      std::string meaning = result.err.substr(std::min(named.size(), result.err.size()));
      EXPECT_TRUE(meaning.compare(0, 9, "spihost: ") == 0 && meaning.find('\n') == meaning.size() - 1)
          << result.err;
    }
  }
  // A code some plug-ins also give for a file they do not know is checked with IsSupported.
  std::string junk = file("x.bin", "not a fake file");
  Outcome unknown = run({"picinfo", fake(), junk});
  EXPECT_EQ(unknown.err, "spihost: GetPictureInfo failed: 2 (unknown format)\nspihost: " + junk +
                             " is not a file this plug-in takes (it reads: Host test data)\n");
  // A missing file is the host's to say, before any plug-in is asked.
  Outcome missing = run({"list", fake(), folder_.path("missing.fake")});
  EXPECT_EQ(missing.code, 4);
  EXPECT_EQ(missing.err, "spihost: cannot open " + folder_.path("missing.fake") + ": no such file\n");
}

TEST(SpihostCodes, ExplainedInTheWordsOfTheCall) {
  using spihost::Call;
  struct Case {
    Call call;
    int code;
    const char* words;  // a part of the explanation
  };
  const Case cases[] = {
      {Call::kPictureInfo, -1, "does not take its input in this form"},
      {Call::kArchiveInfo, -1, "does not take its input in this form"},
      {Call::kFileToFolder, -1, "extracts to memory only"},
      {Call::kFileToMemory, -1, "has no member named A.GG0"},
      {Call::kPicture, 1, "asked it to"},
      {Call::kPicture, 2, "not a picture"},
      {Call::kArchiveInfo, 2, "not an archive"},
      {Call::kFileInfo, 2, "no member named A.GG0"},
      {Call::kPicture, 3, "picture is damaged"},
      {Call::kFileToMemory, 3, "archive is damaged"},
      {Call::kPicture, 4, "out of memory"},
      {Call::kFileToMemory, 5, "lock"},
      {Call::kArchiveInfo, 6, "cannot open or read"},
      {Call::kFileToFolder, 8, "no member named A.GG0: the position lies outside"},
      {Call::kPictureInfo, 8, "size"},
      {Call::kPicture, 7, "does not define"},
  };
  for (const Case& test : cases) {
    std::string words = spihost::explainCode(test.call, test.code, "named A.GG0");
    EXPECT_NE(words.find(test.words), std::string::npos) << test.code << ": " << words;
  }
}

TEST_F(SpihostHost, DecodeUnderEachHabit) {
  std::string plain = file("p.fake", pictureFile(kInfo24, kBits24));
  std::string shifted = file("s.fake", std::string(300, 'x') + pictureFile(kInfo24, kBits24));
  const std::string bmp = bytes({'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0}) + kInfo24 + kBits24;
  const std::vector<std::vector<std::string>> habits = {
      {},
      {"--no-lock"},
      {"--length-from-size"},
      {"--free-library-first"},
      {"--null-callback"},
      {"--memory"},
      {"--no-lock", "--length-from-size", "--free-library-first", "--null-callback", "--memory"},
  };
  for (const auto& habit : habits) {
    std::string label = habit.empty() ? "(none)" : habit[0];
    Outcome png = run(std::vector<std::string>{"decode", fake(), plain, folder_.path("o.png")} + habit);
    EXPECT_EQ(png.code, 0) << label << png.err;
    EXPECT_EQ(readPng("o.png"), kPixels24) << label;
    Outcome shiftedBmp =
        run(std::vector<std::string>{"decode", fake(), shifted, folder_.path("o.bmp"), "--offset", "300"} + habit);
    EXPECT_EQ(shiftedBmp.code, 0) << label << shiftedBmp.err;
    EXPECT_EQ(folder_.read("o.bmp"), bmp) << label;
  }
  Outcome shown = run({"decode", fake(), plain, folder_.path("o.png")});
  EXPECT_EQ(shown.out, "wrote " + folder_.path("o.png") +
                           ": 3 x 2, 24 bits per pixel (information block 40 bytes, bits block 24 bytes)\n");
  EXPECT_EQ(shown.err, "");  // short work shows no progress
}

TEST_F(SpihostHost, StopAndNullOut) {
  std::string picture = file("p.fake", pictureFile(kInfo24, kBits24));
  std::string archive = file("a.fake", archiveFile(kMembers));
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string out;
    std::string err;  // a part of it
  };
  const std::string memberB = std::to_string(memberPosition(kMembers, 1));
  const Case cases[] = {
      {{"decode", fake(), picture, folder_.path("o.png"), "--stop-callback"},
       3, "", "GetPicture failed: 1 (stopped"},
      {{"decode", fake(), picture, folder_.path("o.png"), "--null-out"},
       0, "GetPicture with null handle pointers: refused with -1 (not supported)\n", ""},
      {{"list", fake(), archive, "--null-out"},
       0, "GetArchiveInfo with a null handle pointer: refused with -1 (not supported)\n", ""},
      {{"extract", fake(), archive, "--all", "--to-memory", folder_.path(), "--stop-callback"},
       3, "", "GetFile failed: 1 (stopped"},
      {{"extract", fake(), archive, "--name", "b.txt", "--to-memory", folder_.path("m"), "--null-out"},
       0,
       "GetFileInfo with a null record: refused with -1 (not supported)\n"
       "GetFile with a null destination: refused with -1 (not supported)\n",
       ""},
      {{"extract", fake(), archive, "--position", memberB, "--to-dir", folder_.path(), "--null-out"},
       0, "GetFile with a null destination: refused with -1 (not supported)\n", ""},
  };
  for (const Case& test : cases) {
    Outcome result = run(test.args);
    EXPECT_EQ(result.code, test.code) << test.args[0] << " " << test.args.back() << result.err;
    EXPECT_EQ(result.out, test.out) << test.args[0] << " " << test.args.back();
    EXPECT_TRUE(contains(result.err, test.err)) << result.err;
  }
  EXPECT_FALSE(folder_.exists("o.png"));
  EXPECT_FALSE(folder_.exists("m"));

  std::string heedless = file("h.fake", archiveFile(kMembers, Codes{0, 0, fake_format::kQuirkIgnoreStop}));
  Outcome went = run({"extract", fake(), heedless, "--name", "b.txt", "--to-memory", folder_.path("m"),
                      "--stop-callback"});
  EXPECT_EQ(went.code, 0);
  EXPECT_TRUE(contains(went.err, "went on although the callback asked it to stop")) << went.err;
  EXPECT_EQ(folder_.read("m"), "hello");
}

TEST_F(SpihostHost, PluginFaultsAreCaught) {
  using namespace fake_format;
  struct Case {
    const char* what;
    std::string content;
    std::vector<std::string> switches;
    int code;
    const char* err;  // a part of it
  };
  const std::string shortBits = kBits24.substr(0, 23);
  const Case cases[] = {
      {"failed GetPicture with handles", pictureFile(kInfo24, kBits24, Codes{0, 3, kQuirkHandlesOnFailure}), {}, 5,
       "GetPicture failed yet stored a handle"},
      {"progress over 0", pictureFile(kInfo24, kBits24, Codes{0, 0, kQuirkZeroDenominator}), {}, 5,
       "denominator of 0"},
      {"null out-pointers taken", pictureFile(kInfo24, kBits24, Codes{0, 0, kQuirkAcceptNullOut}), {"--null-out"}, 5,
       "GetPicture with null handle pointers answered 0"},
      {"bits block too short", pictureFile(kInfo24, shortBits), {}, 5, "23 bytes is shorter than the 24 bytes"},
      {"header of 7 bits per pixel", pictureFile(bitmapHeader(3, 2, 7), kBits24), {}, 5, "not supported"},
      {"no header", pictureFile("", kBits24), {}, 5, "cannot hold a bitmap header"},
      {"stop ignored", pictureFile(kInfo24, kBits24, Codes{0, 0, kQuirkIgnoreStop}), {"--stop-callback"}, 0,
       "went on although the callback asked it to stop"},
  };
  for (const Case& test : cases) {
    std::string picture = file("p.fake", test.content);
    Outcome result = run(std::vector<std::string>{"decode", fake(), picture, folder_.path("o.png")} + test.switches);
    EXPECT_EQ(result.code, test.code) << test.what;
    EXPECT_TRUE(contains(result.err, test.err)) << test.what << ": " << result.err;
  }
}

TEST_F(SpihostHost, ArchiveFaultsAreCaught) {
  using namespace fake_format;
  struct Case {
    const char* what;
    Codes codes;
    std::vector<std::string> args;  // after the plug-in and the archive
    const char* err;
  };
  const Case cases[] = {
      {"failed list with a handle", Codes{2, 0, kQuirkHandlesOnFailure}, {"list"},
       "GetArchiveInfo failed yet stored a handle"},
      {"failed GetFile with a handle", Codes{0, 3, kQuirkHandlesOnFailure}, {"--to-memory", "m"},
       "GetFile failed yet stored a handle"},
      {"progress over 0", Codes{0, 0, kQuirkZeroDenominator}, {"--to-memory", "m"}, "denominator of 0"},
      {"null list pointer taken", Codes{0, 0, kQuirkAcceptNullOut}, {"list", "--null-out"},
       "GetArchiveInfo with a null handle pointer answered 0"},
      {"null record taken", Codes{0, 0, kQuirkAcceptNullOut}, {"--to-memory", "m", "--null-out"},
       "GetFileInfo with a null record answered 0"},
  };
  for (const Case& test : cases) {
    std::string archive = file("a.fake", archiveFile(kMembers, test.codes));
    std::vector<std::string> args;
    if (test.args[0] == "list") {
      args = std::vector<std::string>{"list", fake(), archive} +
             std::vector<std::string>(test.args.begin() + 1, test.args.end());
    } else {
      args = std::vector<std::string>{"extract", fake(), archive, "--name", "b.txt"} + test.args;
      args[6] = folder_.path(args[6]);
    }
    Outcome result = run(args);
    EXPECT_EQ(result.code, 5) << test.what << ": " << result.err;
    EXPECT_TRUE(contains(result.err, test.err)) << test.what << ": " << result.err;
  }
}

TEST_F(SpihostHost, MoveableBlocksFailOnlyForHostsThatDoNotLock) {
  std::string picture = file("p.fake", pictureFile(kInfo24, kBits24, Codes{0, 0, fake_format::kQuirkMoveableBlocks}));
  EXPECT_EQ(run({"decode", fake(), picture, folder_.path("o.png")}).code, 0);
  Outcome noLock = run({"decode", fake(), picture, folder_.path("o.png"), "--no-lock"});
#ifdef _WIN32
  EXPECT_EQ(noLock.code, 5);
  EXPECT_TRUE(contains(noLock.err, "moveable block")) << noLock.err;
#else
  EXPECT_EQ(noLock.code, 0);  // natively every block is addressed by its handle
#endif
}

TEST_F(SpihostHost, LengthFromSizeReadsWholeBlocks) {
  // Bits block 8 bytes longer than the rows; a colour table of 2 entries with biClrUsed 0.
  std::string longBits = file("l.fake", pictureFile(kInfo24, kBits24 + "ABCDEFGH"));
  std::string shortTable = file("t.fake", pictureFile(bitmapHeader(2, 1, 8) + bytes({1, 2, 3, 0, 4, 5, 6, 0}),
                                                      bytes({1, 0, 0, 0})));
  struct Case {
    std::string input;
    const char* output;
    bool fromSize;
    int code;
    size_t outputSize;
  };
  const Case cases[] = {
      {longBits, "o.bmp", false, 0, 14 + 40 + 24},
      {longBits, "o.bmp", true, 0, 14 + 40 + 32},
      {shortTable, "o.png", false, 5, 0},  // 256 colours expected
      {shortTable, "o.png", true, 0, 0},
  };
  for (const Case& test : cases) {
    std::vector<std::string> args = {"decode", fake(), test.input, folder_.path(test.output)};
    if (test.fromSize) args.push_back("--length-from-size");
    Outcome result = run(args);
    EXPECT_EQ(result.code, test.code) << result.err;
    if (test.outputSize != 0) {
      EXPECT_EQ(folder_.read(test.output).size(), test.outputSize);
    }
  }
  EXPECT_EQ(readPng("o.png"), (std::vector<uint8_t>{6, 5, 4, 3, 2, 1}));
}

TEST_F(SpihostHost, ListUnderEachHabit) {
  std::string plain = file("a.fake", archiveFile(kMembers));
  std::string shifted = file("s.fake", "0123456789" + archiveFile(kMembers));
  Outcome reference = run({"list", fake(), plain});
  ASSERT_EQ(reference.code, 0) << reference.err;
  const std::string positionB = std::to_string(memberPosition(kMembers, 1));
  EXPECT_TRUE(contains(reference.out, "2001-09-09 01:46:40"));
  EXPECT_TRUE(contains(reference.out, " " + positionB + "          5          5  "));
  EXPECT_TRUE(contains(reference.out, "FAKE     - b.txt\n"));
  EXPECT_TRUE(contains(reference.out, "\n3 members\n"));
  const std::vector<std::vector<std::string>> cases = {
      {"list", fake(), plain, "--no-lock"},
      {"list", fake(), plain, "--length-from-size"},
      {"list", fake(), plain, "--free-library-first"},
      {"list", fake(), plain, "--memory"},
      {"list", fake(), shifted, "--offset", "10"},
      {"list", fake(), shifted, "--offset", "10", "--memory", "--no-lock", "--length-from-size",
       "--free-library-first"},
  };
  for (const auto& args : cases) {
    Outcome result = run(args);
    EXPECT_EQ(result.code, 0) << args.back() << result.err;
    EXPECT_EQ(result.out, reference.out) << args.back();
  }
  Outcome empty = run({"list", fake(), file("e.fake", archiveFile({}))});
  EXPECT_TRUE(contains(empty.out, "\n0 members\n")) << empty.out;
}

TEST_F(SpihostHost, ExtractByNamePositionAndAll) {
  std::string archive = file("a.fake", archiveFile(kMembers));
  const std::string positionB = std::to_string(memberPosition(kMembers, 1));
  folder_.makeFolder("out");
  std::string out = folder_.path("out");
  struct Case {
    std::vector<std::string> selection;
    int code;
    const char* err;  // a part of it
  };
  const Case cases[] = {
      {{"--name", "b.txt"}, 0, ""},
      {{"--name", "B.TXT", "--ignore-case"}, 0, ""},
      {{"--name", "B.TXT"}, 3, "GetFileInfo failed: 2 (unknown format)"},
      {{"--position", positionB}, 0, ""},
      {{"--position", "3"}, 3, "no listed member has position 3"},
  };
  for (const Case& test : cases) {
    Outcome toMemory = run(std::vector<std::string>{"extract", fake(), archive, "--to-memory", folder_.path("m.bin")} +
                       test.selection);
    EXPECT_EQ(toMemory.code, test.code) << test.selection[1] << toMemory.err;
    EXPECT_TRUE(contains(toMemory.err, test.err)) << toMemory.err;
    if (test.code == 0) {
      EXPECT_EQ(folder_.read("m.bin"), "hello");
      EXPECT_EQ(toMemory.out, "extracted b.txt: 5 bytes -> " + folder_.path("m.bin") + "\n");
    }
    // The folder is named without a separator at its end; the host adds one.
    Outcome toFolder = run(std::vector<std::string>{"extract", fake(), archive, "--to-dir", out} + test.selection);
    EXPECT_EQ(toFolder.code, test.code) << test.selection[1] << toFolder.err;
    if (test.code == 0) {
      EXPECT_EQ(folder_.read("out/b.txt"), "hello");
    }
  }
  Outcome unknown = run({"extract", fake(), archive, "--position", "3", "--to-memory", folder_.path("m.bin")});
  EXPECT_TRUE(contains(unknown.err, "GetFile failed: -1 (not supported)")) << unknown.err;
}

TEST_F(SpihostHost, ExtractAllUnderEachHabit) {
  const Members members = {{"A.BMP", std::string(100, 'a')}, {"b.txt", "hello"}, {"../up", "up"}, {"empty", ""}};
  std::string archive = file("a.fake", archiveFile(members));
  const std::vector<std::vector<std::string>> habits = {
      {}, {"--no-lock"}, {"--length-from-size"}, {"--free-library-first"}, {"--null-callback"},
      {"--no-lock", "--length-from-size", "--free-library-first"},
  };
  int round = 0;
  for (const auto& habit : habits) {
    for (const char* destination : {"--to-memory", "--to-dir"}) {
      std::string name = "out" + std::to_string(round++);
      folder_.makeFolder(name);
      Outcome result = run(std::vector<std::string>{"extract", fake(), archive, "--all", destination, folder_.path(name)} +
                       habit);
      bool toMemory = std::string(destination) == "--to-memory";
      if (!toMemory) {
        // The plug-in itself writes "../up" beside the folder, which the host's check finds.
        EXPECT_EQ(result.code, 0) << result.err;
      } else {
        EXPECT_EQ(result.code, 0) << result.err;
        // A member name that leaves the folder is written under a name of the host's.
        const std::string stand = "member_" + std::to_string(memberPosition(members, 2));
        EXPECT_EQ(folder_.read(name + "/" + stand), "up");
        EXPECT_TRUE(contains(result.err, "writing '../up' as " + stand)) << result.err;
      }
      EXPECT_EQ(folder_.read(name + "/A.BMP"), std::string(100, 'a')) << name;
      EXPECT_EQ(folder_.read(name + "/b.txt"), "hello") << name;
      EXPECT_TRUE(folder_.exists(name + "/empty")) << name;
      EXPECT_EQ(folder_.read(name + "/empty"), "") << name;
    }
  }
}

// As archivers do it: the output folder is made, files there are kept unless --overwrite,
// and a member that fails or is stopped leaves nothing under its name (nor any scrap).
TEST_F(SpihostHost, ExtractionKeepsFilesAndLeavesNoScraps) {
  std::string archive = file("a.fake", archiveFile(kMembers));
  std::string failing = file("f.fake", archiveFile(kMembers, Codes{0, 3, 0}));
  struct Case {
    const char* what;
    std::string archive;
    std::vector<std::string> switches;
    int code;
    std::string bBefore;  // out/b.txt before the run ("" = none)
    std::string bAfter;   // after it ("" = none)
    const char* err;      // a part of it
  };
  const Case cases[] = {
      {"into a new folder", archive, {}, 0, "", "hello", ""},
      {"an existing file is kept", archive, {}, 0, "mine", "mine", "kept the existing"},
      {"--overwrite replaces it", archive, {"--overwrite"}, 0, "mine", "hello", ""},
      {"members that fail", failing, {}, 3, "", "", "GetFile failed: 3 (damaged data)"},
      {"a stop", archive, {"--stop-callback"}, 3, "", "", "GetFile failed: 1"},
  };
  int round = 0;
  for (const Case& test : cases) {
    for (const char* destination : {"--to-dir", "--to-memory"}) {
      std::string out = "new" + std::to_string(round++) + "/deeper";
      if (!test.bBefore.empty()) {
        folder_.makeFolder(out.substr(0, out.find('/')));
        folder_.makeFolder(out);
        folder_.write(out + "/b.txt", test.bBefore);
      }
      Outcome result = run(std::vector<std::string>{"extract", fake(), test.archive, "--all", destination,
                                                    folder_.path(out)} + test.switches);
      std::string what = std::string(test.what) + " " + destination;
      EXPECT_EQ(result.code, test.code) << what << ": " << result.err;
      EXPECT_TRUE(contains(result.err, test.err)) << what << ": " << result.err;
      EXPECT_EQ(folder_.exists(out + "/b.txt"), !test.bAfter.empty()) << what;
      if (!test.bAfter.empty()) {
        EXPECT_EQ(folder_.read(out + "/b.txt"), test.bAfter) << what;
      }
      size_t expected = test.code == 0 ? 3 : (test.bBefore.empty() ? 0 : 1);
      size_t entries = 0;
      for (const auto& entry : std::filesystem::directory_iterator(folder_.root() / out)) {
        ++entries;
        EXPECT_EQ(entry.path().filename().string().find(".part"), std::string::npos) << what;
      }
      EXPECT_EQ(entries, expected) << what;
    }
  }
}

}  // namespace
