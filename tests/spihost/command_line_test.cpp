// The host's command line: what each argument list becomes, and what is refused.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tools/spihost/command_line.h"

namespace {

using spihost::Command;
using spihost::Destination;
using spihost::ImageFormat;
using spihost::parseCommandLine;
using spihost::Selection;
using spihost::Verb;

std::vector<std::string> split(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// A command in a few words, for comparing parses.
std::string summary(const Command& c) {
  std::ostringstream out;
  out << static_cast<int>(c.verb) << " plugin=" << c.plugin << " in=" << c.input << " out=" << c.output
      << " fmt=" << static_cast<int>(c.imageFormat) << " off=" << c.offset << " mem=" << c.memoryInput
      << " sel=" << static_cast<int>(c.selection) << " name=" << c.memberName << " pos=" << c.position
      << " icase=" << c.ignoreCase << " dest=" << static_cast<int>(c.destination) << " habits="
      << c.habits.noLock << c.habits.lengthFromSize << c.habits.freeLibraryFirst << c.habits.nullCallback
      << c.habits.stopCallback << c.habits.nullOut;
  return out.str();
}

Command make(Verb verb, const std::string& plugin, const std::string& input = "", const std::string& output = "") {
  Command c;
  c.verb = verb;
  c.plugin = plugin;
  c.input = input;
  c.output = output;
  return c;
}

TEST(SpihostCommandLine, AcceptedCommands) {
  struct Case {
    const char* line;
    Command expected;
  };
  std::vector<Case> cases;
  cases.push_back({"--help", Command()});
  cases.push_back({"help", Command()});
  cases.push_back({"decode --help", Command()});  // help anywhere wins
  cases.push_back({"info p.spi", make(Verb::kInfo, "p.spi")});
  cases.push_back({"probe p.spi a.gg0", make(Verb::kProbe, "p.spi", "a.gg0")});
  {
    Command c = make(Verb::kPictureInfo, "p", "f");
    c.offset = 0x100;
    c.memoryInput = true;
    cases.push_back({"picinfo p f --offset 0x100 --memory", c});
    cases.push_back({"picinfo --memory --offset=256 p f", c});  // switches before operands, "=" form
  }
  {
    Command c = make(Verb::kDecode, "p", "f", "out.PNG");
    c.habits.noLock = c.habits.lengthFromSize = c.habits.freeLibraryFirst = c.habits.nullCallback = true;
    cases.push_back({"decode p f out.PNG --no-lock --length-from-size --free-library-first --null-callback", c});
  }
  {
    Command c = make(Verb::kDecode, "p", "f", "x.bmp");
    c.imageFormat = ImageFormat::kBmp;
    c.habits.stopCallback = c.habits.nullOut = true;
    cases.push_back({"decode p f x.bmp --stop-callback --null-out", c});
  }
  cases.push_back({"list p a", make(Verb::kList, "p", "a")});
  {
    Command c = make(Verb::kExtract, "p", "a", "dir");
    c.selection = Selection::kName;
    c.memberName = "A.BMP";
    c.ignoreCase = true;
    c.destination = Destination::kFolder;
    cases.push_back({"extract p a --name A.BMP --ignore-case --to-dir dir", c});
  }
  {
    Command c = make(Verb::kExtract, "p", "a", "m.bin");
    c.selection = Selection::kPosition;
    c.position = 0xFFFFFFFF;
    c.destination = Destination::kMemory;
    cases.push_back({"extract p a --position 4294967295 --to-memory m.bin", c});
  }
  {
    Command c = make(Verb::kExtract, "p", "a", "out");
    c.selection = Selection::kAll;
    c.destination = Destination::kMemory;
    c.offset = 7;
    cases.push_back({"extract p a --all --to-memory out --offset 7", c});
  }
  for (const Case& test : cases) {
    spihost::ParseResult result = parseCommandLine(split(test.line));
    ASSERT_TRUE(result.ok) << test.line << ": " << result.error;
    EXPECT_EQ(summary(result.command), summary(test.expected)) << test.line;
  }
}

// Without PLUGIN (one operand fewer than the form that names it, or --plugins) the host
// chooses the plug-in for each file; a batch names its files and an output folder.
TEST(SpihostCommandLine, PluginFolderAndBatches) {
  struct Case {
    const char* line;
    const char* plugin;
    const char* folder;
    std::vector<std::string> inputs;
    const char* output;
    const char* outputFolder;
    ImageFormat format;
  };
  const ImageFormat png = ImageFormat::kPng, bmp = ImageFormat::kBmp;
  const Case cases[] = {
      {"decode a.gg0 a.png", "", "", {"a.gg0"}, "a.png", "", png},
      {"decode Oslin.spi a.gg0 a.BMP", "Oslin.spi", "", {"a.gg0"}, "a.BMP", "", bmp},
      {"decode --plugins dir a.gg0 a.png", "", "dir", {"a.gg0"}, "a.png", "", png},
      {"decode a.gg0 b.ggd -o out", "", "", {"a.gg0", "b.ggd"}, "", "out", png},
      {"decode a.gg0 --output-dir=out --format bmp", "", "", {"a.gg0"}, "", "out", bmp},
      {"decode Oslin.SPI a.gg0 b.gg0 -o out", "Oslin.SPI", "", {"a.gg0", "b.gg0"}, "", "out", png},
      {"decode x.sph a.gg0 -o out", "x.sph", "", {"a.gg0"}, "", "out", png},
      {"decode a.gg0 -o out", "", "", {"a.gg0"}, "", "out", png},  // one file: no plug-in to name
      {"decode --plugins p Oslin.spi -o out", "", "p", {"Oslin.spi"}, "", "out", png},
      {"which a b c", "", "", {"a", "b", "c"}, "", "", png},
      {"which --plugins p a", "", "p", {"a"}, "", "", png},
      {"list a.mgx", "", "", {"a.mgx"}, "", "", png},
      {"list Durnac.spi a.mgx", "Durnac.spi", "", {"a.mgx"}, "", "", png},
      {"picinfo --plugins p a", "", "p", {"a"}, "", "", png},
      {"probe a", "", "", {"a"}, "", "", png},
      {"info", "", "", {}, "", "", png},
      {"info --plugins p", "", "p", {}, "", "", png},
      {"extract a.mgx --all --to-dir d --decode --format bmp --overwrite", "", "", {"a.mgx"}, "d", "", bmp},
  };
  for (const Case& test : cases) {
    spihost::ParseResult result = parseCommandLine(split(test.line));
    ASSERT_TRUE(result.ok) << test.line << ": " << result.error;
    const Command& c = result.command;
    EXPECT_EQ(c.plugin, test.plugin) << test.line;
    EXPECT_EQ(c.pluginFolder, test.folder) << test.line;
    EXPECT_EQ(c.inputs, test.inputs) << test.line;
    EXPECT_EQ(c.output, test.output) << test.line;
    EXPECT_EQ(c.outputFolder, test.outputFolder) << test.line;
    EXPECT_EQ(c.imageFormat, test.format) << test.line;
  }
  Command flags = parseCommandLine(split("extract a --all --to-dir d --decode --overwrite --ansi")).command;
  EXPECT_TRUE(flags.decodeMembers && flags.overwrite && flags.ansiExports);
  EXPECT_EQ(parseCommandLine(split("--version")).command.verb, Verb::kVersion);
}

TEST(SpihostCommandLine, RefusedCommandsSayWhy) {
  struct Case {
    const char* line;
    const char* reason;  // a part of the message
  };
  const Case cases[] = {
      {"", "no command"},
      {"show p", "unknown command 'show'"},
      {"info a b", "info takes [PLUGIN] (2 given)"},  // "info" alone describes the plug-in folder
      {"probe", "probe takes [PLUGIN] FILE (0 given)"},  // "probe FILE" asks the plug-in folder
      {"decode p f", "decode takes PLUGIN FILE OUT.png|OUT.bmp"},
      {"list p a extra", "(3 given)"},
      {"decode p f out.jpg", "must end in .png or .bmp"},
      {"decode p f out", "must end in .png or .bmp"},
      {"list p a --frobnicate", "unknown switch --frobnicate"},
      {"probe p f --memory", "--memory does not apply to probe"},
      {"info p --no-lock", "--no-lock does not apply to info"},
      {"list p a --stop-callback", "--stop-callback does not apply to list"},
      {"extract p a --all --to-dir d --memory", "--memory does not apply to extract"},
      {"list p a --offset", "--offset needs a value"},
      {"list p a --offset -1", "--offset needs a number"},
      {"list p a --offset 2147483648", "--offset needs a number"},
      {"list p a --offset 0x", "--offset needs a number"},
      {"list p a --offset 12z", "--offset needs a number"},
      {"list p a --memory=1", "--memory takes no value"},
      {"list p a --memory --memory", "--memory is given twice"},
      {"decode p f o.png --null-callback --stop-callback", "exclude each other"},
      {"extract p a --to-dir d", "exactly one of --name, --position, --all"},
      {"extract p a --all --name x --to-dir d", "exactly one of --name, --position, --all"},
      {"extract p a --all", "exactly one of --to-dir, --to-memory"},
      {"extract p a --all --to-dir d --to-memory m", "exactly one of --to-dir, --to-memory"},
      {"extract p a --all --ignore-case --to-dir d", "--ignore-case goes with --name"},
      {"extract p a --position 4294967296 --to-dir d", "--position needs a number"},
      {"extract p a --all --to-dir=", "--to-dir needs a path"},
      {"which", "which needs at least one FILE"},
      {"decode -o d", "decode needs at least one FILE"},
      {"decode f x.jpg", "the output must end in .png or .bmp"},
      {"decode --plugins d p f o.png", "--plugins stands in for the PLUGIN operand"},
      {"decode f o.png --format bmp", "--format disagrees"},
      {"decode f -o d --format gif", "--format takes png or bmp"},
      {"extract a --all --to-memory m --decode", "--decode goes with --to-dir"},
      {"extract a --all --to-dir d --format bmp", "--format goes with --decode"},
      {"list --plugins= a", "--plugins needs a path"},
      {"which f --offset 3", "--offset does not apply to which"},
  };
  for (const Case& test : cases) {
    spihost::ParseResult result = parseCommandLine(split(test.line));
    EXPECT_FALSE(result.ok) << test.line;
    EXPECT_NE(result.error.find(test.reason), std::string::npos) << test.line << " -> " << result.error;
  }
}

TEST(SpihostCommandLine, Numbers) {
  struct Case {
    const char* text;
    uint64_t limit;
    bool ok;
    uint64_t value;
  };
  const Case cases[] = {
      {"0", 10, true, 0},           {"10", 10, true, 10},     {"11", 10, false, 0},
      {"0x0A", 10, true, 10},       {"0XfF", 255, true, 255}, {"0x100", 255, false, 0},
      {"18446744073709551615", UINT64_MAX, true, UINT64_MAX},
      {"18446744073709551616", UINT64_MAX, false, 0},  // one past 64 bits
      {"0xFFFFFFFFFFFFFFFFF", UINT64_MAX, false, 0},
      {"", 10, false, 0},           {"+1", 10, false, 0},     {"1 ", 10, false, 0},
      {"ab", 1000, false, 0},       {"5", 3, false, 0},
  };
  for (const Case& test : cases) {
    uint64_t value = 0;
    EXPECT_EQ(spihost::parseNumber(test.text, test.limit, value), test.ok) << test.text;
    if (test.ok) {
      EXPECT_EQ(value, test.value) << test.text;
    }
  }
}

TEST(SpihostCommandLine, UsageNamesEveryVerbAndSwitch) {
  std::string usage = spihost::usageText();
  for (const char* word : {"info", "probe", "picinfo", "decode", "list", "extract", "--offset", "--memory", "--name",
                           "--ignore-case", "--position", "--all", "--to-dir", "--to-memory", "--no-lock",
                           "--length-from-size", "--free-library-first", "--null-callback", "--stop-callback",
                           "--null-out"}) {
    EXPECT_NE(usage.find(word), std::string::npos) << word;
  }
}

}  // namespace
