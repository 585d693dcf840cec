// The programs as a user meets them: spihost choosing plug-ins from a folder, batches,
// extraction with pictures decoded on the way, names of any script on the command line and
// on disk (run under Windows code pages 1252 and 932 by tests/spihost/wine-codepage.sh),
// the plug-in named by its exact path, and the writers' fronts.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/common/plugin_library.h"
#include "tests/common/temp_folder.h"
#include "tests/spihost/run_program.h"
#include "tools/cli/files.h"
#include "tools/ggd_archive_writer/ggd_archive_writer.h"
#include "tools/ggd_picture_writer/ggd_picture_writer.h"
#include "tools/ggd_picture_writer/sample_pictures.h"
#include "tools/gga_writer/gga_writer.h"
#include "tools/gga_writer/test_pictures.h"
#include "tools/mgx_writer/mgx_writer.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#include "stb_image.h"
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include "stb_image_write.h"

namespace {

using spihost_testing::ProgramRun;
using testing_support::TempFolder;

std::string program(const std::string& name) {
  return spihost_testing::programPath(testing_support::executableFolder(), name);
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string label(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& arg : args) text += " " + arg;
  return text;
}

// Files by UTF-8 names of any script, through the tools' own wide calls.
class Files {
 public:
  std::string path(const std::string& name) const { return cli::joinPath(scratch.path(), name); }
  void write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    std::string error;
    std::string full = path(name);
    size_t cut = full.find_last_of("/\\");
    ASSERT_TRUE(cli::makeFolders(full.substr(0, cut), error)) << error;
    ASSERT_TRUE(cli::writeFileSafely(full, bytes.data(), bytes.size(), true, error)) << error;
  }
  std::vector<uint8_t> read(const std::string& name) const {
    std::vector<uint8_t> bytes;
    std::string error;
    cli::readWholeFile(path(name), 1u << 30, bytes, error);
    return bytes;
  }
  bool exists(const std::string& name) const { return cli::pathKind(path(name)) == cli::PathKind::kFile; }
  ProgramRun run(const std::string& tool, const std::vector<std::string>& args, const std::string& where = "") const {
    return spihost_testing::runProgram(program(tool), args, scratch, where.empty() ? "" : path(where));
  }
  TempFolder scratch;
};

std::vector<uint8_t> ggaPicture(uint32_t width, uint32_t height, uint32_t seed, std::vector<uint8_t>* pixels = nullptr) {
  std::vector<uint8_t> bgra = gga_writer::makeTestPicture(gga_writer::TestPattern::kMixed, width, height, seed);
  for (size_t i = 3; i < bgra.size(); i += 4) bgra[i] = 0xFF;  // opaque: the PNG is RGB
  std::vector<uint8_t> file;
  gga_writer::encodeGga(bgra.data(), width, height, file);
  if (pixels != nullptr) *pixels = bgra;
  return file;
}

std::vector<uint8_t> ggdPicture(int width, int height) {
  std::vector<uint8_t> bgr =
      ggd_picture_writer::makeSamplePicture(ggd_picture_writer::SamplePattern::kMixed, width, height, 3);
  return ggd_picture_writer::encodeGgdPicture(width, height, bgr.data());
}

std::vector<uint8_t> mgxArchive(const std::vector<mgx_writer::Member>& members) {
  std::vector<uint8_t> bytes;
  std::string error;
  mgx_writer::buildArchive(members, bytes, error);
  return bytes;
}

std::vector<uint8_t> ggdArchive(const std::vector<ggd_archive_writer::Member>& members) {
  std::string bytes, error;
  ggd_archive_writer::buildArchive(members, &bytes, &error);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// stb's writers hand their output over in pieces.
void appendBytes(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

// RGB pixels of a PNG file, top row first.
std::vector<uint8_t> pngPixels(const std::vector<uint8_t>& png, int& width, int& height) {
  int channels = 0;
  stbi_uc* pixels = stbi_load_from_memory(png.data(), static_cast<int>(png.size()), &width, &height, &channels, 3);
  if (pixels == nullptr) return {};
  std::vector<uint8_t> out(pixels, pixels + width * height * 3);
  stbi_image_free(pixels);
  return out;
}

std::vector<uint8_t> rgbOfBgra(const std::vector<uint8_t>& bgra) {
  std::vector<uint8_t> rgb;
  for (size_t i = 0; i + 3 < bgra.size(); i += 4) rgb.insert(rgb.end(), {bgra[i + 2], bgra[i + 1], bgra[i]});
  return rgb;
}

// A plug-in folder of our four plug-ins only, whatever else the build folder holds.
std::string ourPlugins(const Files& files) {
  std::string folder = files.path("plugins");
  std::string error;
  cli::makeFolders(folder, error);
  for (const char* name : {"Durnac", "Felbrin", "Gorsel", "Oslin"}) {
    std::string from = testing_support::pluginPath(name);
    std::filesystem::copy_file(from, cli::joinPath(folder, cli::fileNameOf(from)));
  }
  return folder;
}

struct Case {
  std::vector<std::string> args;  // "@name" stands for the path of a file of the scratch folder
  int code;
  std::string out;  // a part of it
  std::string err;  // a part of it
};

void runCases(const Files& files, const std::string& tool, const std::vector<Case>& cases) {
  for (const Case& test : cases) {
    std::vector<std::string> args;
    for (const std::string& arg : test.args) args.push_back(arg[0] == '@' ? files.path(arg.substr(1)) : arg);
    ProgramRun run = files.run(tool, args);
    EXPECT_EQ(run.exitCode, test.code) << tool << label(test.args) << "\n" << run.out << run.err;
    EXPECT_TRUE(contains(run.out, test.out)) << tool << label(test.args) << "\n" << run.out;
    EXPECT_TRUE(contains(run.err, test.err)) << tool << label(test.args) << "\n" << run.err;
  }
}

#if defined(SPIHOST_WITH_OSLIN) && defined(SPIHOST_WITH_GORSEL) && defined(SPIHOST_WITH_DURNAC) && \
    defined(SPIHOST_WITH_FELBRIN)

TEST(SpihostTools, PluginFolderChoosesForEachFile) {
  Files files;
  const std::string plugins = ourPlugins(files);
  files.write("a.gg0", ggaPicture(40, 30, 1));
  files.write("a.gg1", ggaPicture(20, 10, 2));
  files.write("b.ggd", ggdPicture(33, 17));
  files.write("c.mgx", mgxArchive({{"A.GG0", ggaPicture(8, 8, 3)}}));
  files.write("d.dat", ggdArchive({{"X.TXT", "text"}}));
  files.write("junk.bin", std::vector<uint8_t>(3000, 'j'));
  files.write("folder/inside.txt", {'x'});
  const std::vector<Case> cases = {
      {{"which", "--plugins", plugins, "@a.gg0", "@b.ggd", "@c.mgx", "@d.dat"}, 0, "c.mgx: MGX archive (Durnac", ""},
      {{"which", "--plugins", plugins, "@a.gg0"}, 0, "a.gg0: GGA file (Oslin", ""},
      {{"which", "--plugins", plugins, "@b.ggd"}, 0, "b.ggd: Purple Graphic Data (GGD) (Gorsel", ""},
      {{"which", "--plugins", plugins, "@d.dat"}, 0, "d.dat: Purple Archive File(GGD.) (Felbrin", ""},
      {{"which", "--plugins", plugins, "@junk.bin", "@a.gg0"}, 6, "junk.bin: no plug-in takes this file", ""},
      {{"which", "--plugins", plugins, "@missing"}, 4, "", "cannot open"},
      {{"which", "--plugins", plugins, "@folder"}, 4, "", "is a folder, not a file"},
      {{"which", "--plugins", "@nowhere", "@a.gg0"}, 2, "", "the plug-in folder"},
      {{"list", "--plugins", plugins, "@junk.bin"}, 6, "", "no plug-in in"},
      {{"decode", "--plugins", plugins, "@c.mgx", "@x.png"}, 6, "", "not a picture: extract its members"},
      {{"picinfo", "--plugins", plugins, "@a.gg0"}, 0, "width: 40", ""},
      {{"picinfo", "--plugins", plugins, "@a.gg0", "--offset", "1"}, 0, "width: 40", "ignores --offset"},
      {{"list", "--plugins", plugins, "@c.mgx", "--offset", "1"}, 0, "A.GG0", "ignores --offset"},
      {{"list", "--plugins", plugins, "@d.dat"}, 0, "X.TXT", ""},
      {{"info", "--plugins", plugins}, 0, "Oslin", ""},
      {{"probe", "--plugins", plugins, "@b.ggd"}, 0, "Gorsel", ""},
      // One batch, every picture to PNG; the archive is named and the batch goes on.
      {{"decode", "--plugins", plugins, "@a.gg0", "@c.mgx", "@a.gg1", "@b.ggd", "-o", "@out/png"}, 6, "wrote", ""},
      {{"decode", "--plugins", plugins, "@a.gg0", "@b.ggd", "-o", "@out/bmp", "--format", "bmp"}, 0, "wrote", ""},
  };
  runCases(files, "spihost", cases);
  EXPECT_TRUE(files.exists("out/png/a.png"));
  EXPECT_TRUE(files.exists("out/png/a.gg1.png"));  // the second "a" keeps its extension
  EXPECT_TRUE(files.exists("out/png/b.png"));
  EXPECT_FALSE(files.exists("out/png/c.png"));
  EXPECT_TRUE(files.exists("out/bmp/a.bmp"));
  EXPECT_TRUE(files.exists("out/bmp/b.bmp"));
}

// A switch that has no effect with the plug-in or the rest of the command is noted, once per
// plug-in in a batch; a switch that does its work is not.
TEST(SpihostTools, SwitchesWithoutEffectAreNoted) {
  Files files;
  const std::string plugins = ourPlugins(files);
  const std::string infoOnly = testing_support::pluginPath("SpihostInfoOnly");
  files.write("a.gg0", ggaPicture(40, 30, 1));
  files.write("a.gg1", ggaPicture(20, 10, 2));
  files.write("b.ggd", ggdPicture(33, 17));
  files.write("c.mgx", mgxArchive({{"A.GG0", ggaPicture(8, 8, 3)}}));
  files.write("d.dat", ggdArchive({{"X.TXT", "text"}}));
  struct NoteCase {
    std::vector<std::string> args;
    int code;
    std::string note;  // empty: no note at all
  };
  const std::vector<NoteCase> cases = {
      {{"decode", "--plugins", plugins, "@a.gg0", "@x1.png", "--stop-callback"}, 0,
       "never calls the progress callback: --stop-callback has no effect"},
      {{"decode", "--plugins", plugins, "@a.gg0", "@x2.png", "--null-callback"}, 0, "--null-callback has no effect"},
      {{"decode", "--plugins", plugins, "@b.ggd", "@x3.png", "--stop-callback"}, 3, ""},
      {{"decode", "--plugins", plugins, "@b.ggd", "@x4.png", "--offset", "0"}, 0, ""},
      {{"picinfo", "--plugins", plugins, "@a.gg0", "--no-lock"}, 0, "no comment block"},
      {{"picinfo", "--plugins", plugins, "@b.ggd", "--length-from-size"}, 0, "--length-from-size has no effect"},
      {{"picinfo", "--plugins", plugins, "@a.gg0", "--offset", "1", "--memory"}, 3, ""},
      {{"extract", "--plugins", plugins, "@c.mgx", "--all", "--to-dir", "@x5", "--stop-callback"}, 0,
       "--stop-callback cannot stop it"},
      {{"extract", "--plugins", plugins, "@c.mgx", "--name", "A.GG0", "--to-dir", "@x6", "--offset", "1"}, 0,
       "ignores --offset"},
      {{"extract", "--plugins", plugins, "@d.dat", "--name", "X.TXT", "--to-memory", "@x7.txt", "--overwrite"}, 0,
       "--overwrite changes nothing"},
      {{"extract", "--plugins", plugins, "@d.dat", "--all", "--to-dir", "@x8", "--overwrite", "--stop-callback"}, 3,
       ""},
      {{"info", infoOnly, "--ansi"}, 5, "ANSI exports only: --ansi changes nothing"},
      {{"list", "--plugins", plugins, "@d.dat", "--ansi"}, 0, ""},
  };
  for (const NoteCase& test : cases) {
    std::vector<std::string> args;
    for (const std::string& arg : test.args) args.push_back(arg[0] == '@' ? files.path(arg.substr(1)) : arg);
    ProgramRun run = files.run("spihost", args);
    EXPECT_EQ(run.exitCode, test.code) << label(test.args) << "\n" << run.out << run.err;
    if (test.note.empty()) {
      EXPECT_FALSE(contains(run.err, "spihost: note:")) << label(test.args) << "\n" << run.err;
    } else {
      EXPECT_TRUE(contains(run.err, "spihost: note: ") && contains(run.err, test.note)) << label(test.args) << "\n"
                                                                                         << run.err;
    }
  }
  ProgramRun batch = files.run("spihost", {"decode", "--plugins", plugins, files.path("a.gg0"), files.path("a.gg1"),
                                           "-o", files.path("batch"), "--null-callback"});
  EXPECT_EQ(batch.exitCode, 0) << batch.err;
  EXPECT_EQ(batch.err.find("has no effect"), batch.err.rfind("has no effect")) << batch.err;
}

// Every archive plug-in extracts into a folder; members that are pictures can come out as PNG
// in the same command.
TEST(SpihostTools, ExtractEveryArchiveWithPicturesDecoded) {
  Files files;
  const std::string plugins = ourPlugins(files);
  std::vector<uint8_t> pixels;
  std::vector<uint8_t> gga = ggaPicture(24, 16, 9, &pixels);
  std::vector<uint8_t> ggd = ggdPicture(13, 7);
  files.write("pack.mgx", mgxArchive({{"PIC.GG0", gga}, {"PHOTO.GGD", ggd}, {"NOTE.TXT", {'h', 'i'}}}));
  files.write("pack.dat", ggdArchive({{"PIC.GG0", std::string(gga.begin(), gga.end())},
                                      {"PHOTO.GGD", std::string(ggd.begin(), ggd.end())},
                                      {"NOTE.TXT", "hi"}}));
  for (const char* archive : {"pack.mgx", "pack.dat"}) {
    std::string raw = std::string("raw-") + archive, decoded = std::string("png-") + archive;
    runCases(files, "spihost",
             {{{"extract", "--plugins", plugins, "@" + std::string(archive), "--all", "--to-dir", "@" + raw}, 0,
               "extracted", ""},
              {{"extract", "--plugins", plugins, "@" + std::string(archive), "--all", "--to-dir", "@" + decoded,
                "--decode"},
               0, "wrote", ""}});
    EXPECT_EQ(files.read(raw + "/PIC.GG0"), gga) << archive;
    EXPECT_EQ(files.read(raw + "/NOTE.TXT"), (std::vector<uint8_t>{'h', 'i'})) << archive;
    int width = 0, height = 0;
    EXPECT_EQ(pngPixels(files.read(decoded + "/PIC.png"), width, height), rgbOfBgra(pixels)) << archive;
    EXPECT_TRUE(files.exists(decoded + "/PHOTO.png")) << archive;
    EXPECT_EQ(files.read(decoded + "/NOTE.TXT"), (std::vector<uint8_t>{'h', 'i'})) << archive;
  }
}

// Names in Japanese, Greek and Korean, with blanks, on the command line, in folders and in
// files the tools read and write. The ANSI family cannot spell Korean under code page 1252
// or 932, and says so.
TEST(SpihostTools, NamesOfAnyScript) {
  Files files;
  const std::string plugins = ourPlugins(files);
  std::vector<uint8_t> pixels;
  files.write("写真 一.gg0", ggaPicture(31, 9, 4, &pixels));
  files.write("Ελληνικά.ggd", ggdPicture(12, 5));
  files.write("データ/pic1.gg0", ggaPicture(6, 6, 5));
  files.write("データ/NOTE.TXT", {'h', 'i'});
  files.write("사진 상자.gg0", ggaPicture(4, 4, 6));
  std::vector<uint8_t> png;
  stbi_write_png_to_func(appendBytes, &png, 31, 9, 3, rgbOfBgra(pixels).data(), 31 * 3);
  files.write("画像 α.png", png);
  files.write("出力 フォルダ/keep", {});  // a named output goes into a folder that exists

  runCases(files, "mgxpack", {{{"@사진 상자.mgx", "@データ/pic1.gg0", "@データ/NOTE.TXT"}, 0, "packed 2 members", ""}});
  runCases(files, "ggdpack", {{{"@Ελληνικά 箱.dat", "@データ/pic1.gg0", "@データ/NOTE.TXT"}, 0, "", ""}});
  runCases(files, "gga_write", {{{"@画像 α.png", "@画像 α.gg0"}, 0, "31 x 9", ""}});
  runCases(files, "ggdpic", {{{"@画像 α.png", "@Ελληνικά 2.ggd"}, 0, "31 x 9", ""}});
  runCases(files, "fcg_writer", {{{"@写真 箱.fcg", "@写真 一.gg0", "@画像 α.gg0"}, 0, "container", ""}});
  const std::string oslin = testing_support::pluginPath("Oslin");
#ifdef _WIN32
  const int korean = 4;  // no Windows ANSI code page here spells Hangul
#else
  const int korean = 0;  // elsewhere the ANSI code page is UTF-8
#endif
  runCases(files, "spihost",
           {{{"which", "--plugins", plugins, "@写真 一.gg0", "@Ελληνικά.ggd", "@사진 상자.mgx", "@Ελληνικά 箱.dat"},
             0, "写真 一.gg0: GGA file", ""},
            {{"decode", "--plugins", plugins, "@写真 一.gg0", "@出力 フォルダ/写真.png"}, 0, "写真.png", ""},
            {{"decode", "--plugins", plugins, "@画像 α.gg0", "@Ελληνικά.ggd", "@Ελληνικά 2.ggd", "-o", "@결과"}, 0, "",
             ""},
            {{"list", "--plugins", plugins, "@사진 상자.mgx"}, 0, "NOTE.TXT", ""},
            {{"extract", "--plugins", plugins, "@사진 상자.mgx", "--all", "--to-dir", "@展開 先", "--decode"}, 0, "", ""},
            {{"extract", "--plugins", plugins, "@Ελληνικά 箱.dat", "--all", "--to-dir", "@Έξοδος"}, 0, "", ""},
            {{"extract", testing_support::pluginPath("Felbrin"), "@Ελληνικά 箱.dat", "--name", "NOTE.TXT", "--to-memory", "@메모.txt"},
             0, "", ""},
            {{"decode", oslin, "@사진 상자.gg0", "@korean.png"}, 0, "", ""},
            {{"decode", oslin, "@사진 상자.gg0", "@korean-ansi.png", "--ansi"}, korean, "", ""}});
  int width = 0, height = 0;
  EXPECT_EQ(pngPixels(files.read("出力 フォルダ/写真.png"), width, height), rgbOfBgra(pixels));
  EXPECT_EQ(pngPixels(files.read("결과/画像 α.png"), width, height), rgbOfBgra(pixels));
  EXPECT_TRUE(files.exists("결과/Ελληνικά.png"));
  EXPECT_TRUE(files.exists("展開 先/pic1.png"));
  EXPECT_EQ(files.read("Έξοδος/NOTE.TXT"), (std::vector<uint8_t>{'h', 'i'}));
  EXPECT_EQ(files.read("메모.txt"), (std::vector<uint8_t>{'h', 'i'}));
  EXPECT_TRUE(files.exists("korean.png"));
}

#endif

// The plug-in named is the file at that path, never a library of the same name beside the
// program; one of the other width is named as such.
TEST(SpihostTools, ThePluginOfTheExactPath) {
  Files files;
  std::string fake = testing_support::pluginPath("SpihostFake");
  std::string ending = fake.substr(fake.find_last_of('.'));
  std::string error;
  cli::makeFolders(files.path("work"), error);
  // "Oslin" in the working folder is really the test plug-in; the real Oslin lies beside spihost.
  std::filesystem::copy_file(fake, files.path("work") + "/Oslin" + ending);
  ProgramRun same = files.run("spihost", {"info", "Oslin" + ending}, "work");
  EXPECT_EQ(same.exitCode, 0) << same.err;
  EXPECT_TRUE(contains(same.out, "1: Spihost test plug-in")) << same.out;

  // A library header of the other width: PE machine 0x8664 or 0x14C, or ELF class 1.
  std::vector<uint8_t> other;
#ifdef _WIN32
  other.assign(0x48, 0);
  other[0] = 'M';
  other[1] = 'Z';
  other[0x3C] = 0x40;
  other[0x40] = 'P';
  other[0x41] = 'E';
  uint16_t machine = sizeof(void*) == 8 ? 0x014C : 0x8664;
  other[0x44] = static_cast<uint8_t>(machine);
  other[0x45] = static_cast<uint8_t>(machine >> 8);
#else
  other = {0x7F, 'E', 'L', 'F', 1, 1, 1, 0};
  other.resize(64, 0);
#endif
  files.write("other" + ending, other);
  std::string otherWidth = sizeof(void*) == 8 ? "32-bit" : "64-bit";
  runCases(files, "spihost", {{{"info", "@other" + ending}, 2, "", "is a " + otherWidth + " plug-in and this spihost is"}});
}

TEST(SpihostTools, WritersFronts) {
  Files files;
  std::vector<uint8_t> pixels(5 * 3 * 3, 0x40);
  std::vector<uint8_t> png;
  stbi_write_png_to_func(appendBytes, &png, 5, 3, 3, pixels.data(), 15);
  files.write("p.png", png);
  std::vector<uint8_t> bmp;
  stbi_write_bmp_to_func(appendBytes, &bmp, 5, 3, 3, pixels.data());
  files.write("p.bmp", bmp);
  files.write("not.png", {'n', 'o'});
  for (const char* tool : {"gga_write", "ggdpic", "mgxpack", "ggdpack", "fcg_writer"}) {
    runCases(files, tool,
             {{{"--help"}, 0, "usage:", ""}, {{"--version"}, 0, std::string(tool) + " 1.", ""}, {{}, 1, "", "--help"}});
  }
  runCases(files, "gga_write",
           {{{"@p.png", "@p.gg0"}, 0, "5 x 3", ""},
            {{"@p.bmp", "@b.gg0"}, 0, "5 x 3", ""},
            {{"@not.png", "@n.gg0"}, 4, "", "is no PNG, JPEG or BMP picture"},
            {{"@missing.png", "@n.gg0"}, 4, "", "cannot open"},
            {{"@p.png", "@no/such/folder/x.gg0"}, 4, "", "cannot create"},
            {{"raw", "@p.png", "5", "3", "@r.gg0"}, 4, "", ""},
            {{"test", "flat", "4", "4", "@t.gg0"}, 0, "4 x 4", ""},
            {{"test", "plaid", "4", "4", "@t.gg0"}, 1, "", "unknown pattern"}});
  runCases(files, "ggdpic",
           {{{"@p.png", "@p.ggd"}, 0, "5 x 3", ""},
            {{"@p.bmp", "@b.ggd"}, 0, "5 x 3", ""},
            {{"@not.png", "@n.ggd"}, 4, "", "is no PNG, JPEG or BMP picture"},
            {{"sample", "flat", "4", "4", "@s.ggd"}, 0, "4 x 4", ""}});
  runCases(files, "mgxpack", {{{"@a.mgx", "@missing"}, 4, "", "cannot open"}, {{"@a.mgx", "@p.png"}, 0, "packed 1", ""}});
  runCases(files, "ggdpack", {{{"@a.dat", "@missing"}, 4, "", "cannot open"}});
  runCases(files, "fcg_writer", {{{"@a.fcg", "@p.png"}, 4, "", "no readable GGA file"}});
  EXPECT_FALSE(files.exists("n.gg0"));
  EXPECT_FALSE(files.exists("a.dat"));
  // The PNG writer's output decodes to the PNG's pixels.
  EXPECT_TRUE(files.exists("p.gg0"));
}

}  // namespace
