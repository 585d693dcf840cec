#include "tools/spihost/command_line.h"

#include <cctype>

namespace spihost {

namespace {

// One bit per switch; each verb lists the switches that make sense for it.
enum OptionBit : unsigned {
  kOffset = 1u << 0,
  kMemory = 1u << 1,
  kName = 1u << 2,
  kIgnoreCase = 1u << 3,
  kPosition = 1u << 4,
  kAll = 1u << 5,
  kToDir = 1u << 6,
  kToMemory = 1u << 7,
  kNoLock = 1u << 8,
  kLengthFromSize = 1u << 9,
  kFreeLibraryFirst = 1u << 10,
  kNullCallback = 1u << 11,
  kStopCallback = 1u << 12,
  kNullOut = 1u << 13,
  kPlugins = 1u << 14,
  kOutputFolder = 1u << 15,
  kFormat = 1u << 16,
  kOverwrite = 1u << 17,
  kDecode = 1u << 18,
  kAnsi = 1u << 19,
};

constexpr unsigned kBlockHabits = kNoLock | kLengthFromSize | kFreeLibraryFirst | kNullOut;
constexpr unsigned kCallbackHabits = kNullCallback | kStopCallback;
constexpr unsigned kEveryVerb = kPlugins | kAnsi;

struct VerbRule {
  const char* name;
  Verb verb;
  const char* operands;  // as the usage names them, the plug-in first
  size_t operandCount;   // with the plug-in named
  unsigned options;
};

const VerbRule kVerbs[] = {
    {"info", Verb::kInfo, "PLUGIN", 1, kFreeLibraryFirst | kNullOut | kEveryVerb},
    {"probe", Verb::kProbe, "PLUGIN FILE", 2, kFreeLibraryFirst | kEveryVerb},
    {"picinfo", Verb::kPictureInfo, "PLUGIN FILE", 2, kOffset | kMemory | kBlockHabits | kEveryVerb},
    {"decode", Verb::kDecode, "PLUGIN FILE OUT.png|OUT.bmp", 3,
     kOffset | kMemory | kBlockHabits | kCallbackHabits | kOutputFolder | kFormat | kEveryVerb},
    {"list", Verb::kList, "PLUGIN ARCHIVE", 2, kOffset | kMemory | kBlockHabits | kEveryVerb},
    {"extract", Verb::kExtract, "PLUGIN ARCHIVE", 2,
     kOffset | kName | kIgnoreCase | kPosition | kAll | kToDir | kToMemory | kBlockHabits | kCallbackHabits |
         kOverwrite | kDecode | kFormat | kEveryVerb},
    {"which", Verb::kWhich, "FILE...", 0, kEveryVerb},
};

struct OptionRule {
  const char* name;
  OptionBit bit;
  bool takesValue;
};

const OptionRule kOptions[] = {
    {"--offset", kOffset, true},
    {"--memory", kMemory, false},
    {"--name", kName, true},
    {"--ignore-case", kIgnoreCase, false},
    {"--position", kPosition, true},
    {"--all", kAll, false},
    {"--to-dir", kToDir, true},
    {"--to-memory", kToMemory, true},
    {"--no-lock", kNoLock, false},
    {"--length-from-size", kLengthFromSize, false},
    {"--free-library-first", kFreeLibraryFirst, false},
    {"--null-callback", kNullCallback, false},
    {"--stop-callback", kStopCallback, false},
    {"--null-out", kNullOut, false},
    {"--plugins", kPlugins, true},
    {"--output-dir", kOutputFolder, true},
    {"-o", kOutputFolder, true},
    {"--format", kFormat, true},
    {"--overwrite", kOverwrite, false},
    {"--decode", kDecode, false},
    {"--ansi", kAnsi, false},
};

const VerbRule* findVerb(const std::string& name) {
  for (const VerbRule& rule : kVerbs) {
    if (name == rule.name) return &rule;
  }
  return nullptr;
}

const OptionRule* findOption(const std::string& name) {
  for (const OptionRule& rule : kOptions) {
    if (name == rule.name) return &rule;
  }
  return nullptr;
}

bool isHelp(const std::string& arg) { return arg == "--help" || arg == "-h" || arg == "help"; }

bool isSwitch(const std::string& arg) { return arg == "-o" || (arg.size() >= 2 && arg.compare(0, 2, "--") == 0); }

bool endsWithIgnoringCase(const std::string& text, const std::string& ending) {
  if (text.size() < ending.size()) return false;
  for (size_t i = 0; i < ending.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[text.size() - ending.size() + i]);
    if (std::tolower(c) != ending[i]) return false;
  }
  return true;
}

// A plug-in library by its name: what the first operand of a batch is when it is one.
bool looksLikePlugin(const std::string& name) {
  for (const char* ending : {".spi", ".sph", ".so", ".dll"}) {
    if (endsWithIgnoringCase(name, ending)) return true;
  }
  return false;
}

bool imageFormatOf(const std::string& name, ImageFormat& format) {
  if (endsWithIgnoringCase(name, ".png")) {
    format = ImageFormat::kPng;
  } else if (endsWithIgnoringCase(name, ".bmp")) {
    format = ImageFormat::kBmp;
  } else {
    return false;
  }
  return true;
}

ParseResult failure(const std::string& error) {
  ParseResult result;
  result.error = error;
  return result;
}

// Stores one switch in the command; false with `error` set for a bad value.
bool applyOption(const OptionRule& rule, const std::string& value, Command& command, std::string& error) {
  uint64_t number = 0;
  switch (rule.bit) {
    case kOffset:
      if (!parseNumber(value, kMaxOffset, number)) {
        error = "--offset needs a number from 0 to " + std::to_string(kMaxOffset) + ", not '" + value + "'";
        return false;
      }
      command.offset = number;
      return true;
    case kPosition:
      if (!parseNumber(value, kMaxPosition, number)) {
        error = "--position needs a number from 0 to " + std::to_string(kMaxPosition) + ", not '" + value + "'";
        return false;
      }
      command.selection = Selection::kPosition;
      command.position = static_cast<uint32_t>(number);
      return true;
    case kName:
      command.selection = Selection::kName;
      command.memberName = value;
      return true;
    case kAll: command.selection = Selection::kAll; return true;
    case kToDir:
    case kToMemory:
    case kPlugins:
    case kOutputFolder:
      if (value.empty()) {
        error = std::string(rule.name) + " needs a path";
        return false;
      }
      if (rule.bit == kPlugins) {
        command.pluginFolder = value;
      } else if (rule.bit == kOutputFolder) {
        command.outputFolder = value;
      } else {
        command.destination = rule.bit == kToDir ? Destination::kFolder : Destination::kMemory;
        command.output = value;
      }
      return true;
    case kFormat:
      if (!imageFormatOf("." + value, command.imageFormat)) {
        error = "--format takes png or bmp, not '" + value + "'";
        return false;
      }
      command.formatGiven = true;
      return true;
    case kMemory: command.memoryInput = true; return true;
    case kIgnoreCase: command.ignoreCase = true; return true;
    case kNoLock: command.habits.noLock = true; return true;
    case kLengthFromSize: command.habits.lengthFromSize = true; return true;
    case kFreeLibraryFirst: command.habits.freeLibraryFirst = true; return true;
    case kNullCallback: command.habits.nullCallback = true; return true;
    case kStopCallback: command.habits.stopCallback = true; return true;
    case kNullOut: command.habits.nullOut = true; return true;
    case kOverwrite: command.overwrite = true; return true;
    case kDecode: command.decodeMembers = true; return true;
    case kAnsi: command.ansiExports = true; return true;
  }
  return true;
}

int countOf(unsigned seen, unsigned bits) {
  int n = 0;
  for (unsigned bit = 1; bit != 0; bit <<= 1) n += (seen & bits & bit) ? 1 : 0;
  return n;
}

std::string checkDecodeOutput(unsigned seen, bool namedOutput, Command& command) {
  if (!namedOutput) return "";
  ImageFormat named;
  if (!imageFormatOf(command.output, named)) {
    return "the output of decode must end in .png or .bmp: '" + command.output + "'";
  }
  if ((seen & kFormat) && named != command.imageFormat) {
    return "--format disagrees with the output's name '" + command.output + "'";
  }
  command.imageFormat = named;
  return "";
}

// Rules that tie switches together.
std::string checkCombination(const VerbRule& verb, unsigned seen, Command& command) {
  if (countOf(seen, kNullCallback | kStopCallback) > 1) return "--null-callback and --stop-callback exclude each other";
  if (verb.verb == Verb::kExtract) {
    if (countOf(seen, kName | kPosition | kAll) != 1) return "extract needs exactly one of --name, --position, --all";
    if (countOf(seen, kToDir | kToMemory) != 1) return "extract needs exactly one of --to-dir, --to-memory";
    if ((seen & kIgnoreCase) && !(seen & kName)) return "--ignore-case goes with --name";
    if ((seen & kDecode) && !(seen & kToDir)) return "--decode goes with --to-dir";
    if ((seen & kFormat) && !(seen & kDecode)) return "--format goes with --decode";
  }
  if (verb.verb == Verb::kDecode) return checkDecodeOutput(seen, !(seen & kOutputFolder), command);
  return "";
}

std::string operandError(const VerbRule& verb, size_t given) {
  std::string operands = verb.operands;
  size_t files = operands.find(' ');  // what follows PLUGIN
  std::string forms = std::string(verb.name) + " takes [PLUGIN]" +
                      (files == std::string::npos ? std::string() : operands.substr(files));
  return forms + " (" + std::to_string(given) + " given)";
}

// Which operand is the plug-in and which are files. A command names the plug-in first when
// it has today's full count of operands (or, for a batch, when the first one is a plug-in
// library); one operand fewer, or --plugins, lets the host choose from the plug-in folder.
std::string assignOperands(const VerbRule& verb, unsigned seen, std::vector<std::string> operands, Command& command) {
  bool folderGiven = (seen & kPlugins) != 0;
  bool batch = verb.verb == Verb::kWhich || (verb.verb == Verb::kDecode && (seen & kOutputFolder));
  if (batch) {
    if (!folderGiven && verb.verb == Verb::kDecode && operands.size() >= 2 && looksLikePlugin(operands[0])) {
      command.plugin = operands[0];
      operands.erase(operands.begin());
    }
    if (operands.empty()) return std::string(verb.name) + " needs at least one FILE";
    command.inputs = operands;
    return "";
  }
  size_t full = verb.operandCount;
  if (!folderGiven && operands.size() == full) {
    command.plugin = operands[0];
    operands.erase(operands.begin());
  } else if (operands.size() + 1 != full) {
    if (folderGiven && operands.size() == full) return "--plugins stands in for the PLUGIN operand; give only the files";
    return operandError(verb, operands.size());
  }
  if (verb.verb == Verb::kDecode && command.plugin.empty()) {
    // "decode FILE OUT" whose output is no picture name is most likely a plug-in left out.
    ImageFormat format;
    if (!imageFormatOf(operands[1], format)) {
      return "decode takes PLUGIN FILE OUT.png|OUT.bmp, FILE OUT.png|OUT.bmp or FILE... -o DIR; the output must "
             "end in .png or .bmp: '" + operands[1] + "'";
    }
  }
  if (!operands.empty()) {
    command.input = operands[0];
    command.inputs = {operands[0]};
  }
  if (operands.size() > 1) command.output = operands[1];
  return "";
}

ParseResult parseVerb(const VerbRule& verb, const std::vector<std::string>& args) {
  ParseResult result;
  Command& command = result.command;
  command.verb = verb.verb;
  std::vector<std::string> operands;
  unsigned seen = 0;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (isHelp(arg) && arg != "help") {
      command = Command();
      result.ok = true;
      return result;
    }
    if (!isSwitch(arg)) {
      operands.push_back(arg);
      continue;
    }
    size_t equals = arg.find('=');
    std::string name = arg.substr(0, equals);
    const OptionRule* rule = findOption(name);
    if (rule == nullptr) return failure("unknown switch " + name);
    if (!(verb.options & rule->bit)) return failure(name + " does not apply to " + verb.name);
    if (seen & rule->bit) return failure(name + " is given twice");
    seen |= rule->bit;
    std::string value;
    if (rule->takesValue) {
      if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        return failure(name + " needs a value");
      }
    } else if (equals != std::string::npos) {
      return failure(name + " takes no value");
    }
    std::string error;
    if (!applyOption(*rule, value, command, error)) return failure(error);
  }
  std::string error = assignOperands(verb, seen, operands, command);
  if (error.empty()) error = checkCombination(verb, seen, command);
  if (!error.empty()) return failure(error);
  result.ok = true;
  return result;
}

}  // namespace

bool parseNumber(const std::string& text, uint64_t limit, uint64_t& value) {
  bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  uint64_t base = hex ? 16 : 10;
  size_t start = hex ? 2 : 0;
  if (text.size() == start) return false;
  uint64_t number = 0;
  for (size_t i = start; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    uint64_t digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (hex && std::isxdigit(c)) {
      digit = static_cast<uint64_t>(std::tolower(c) - 'a' + 10);
    } else {
      return false;
    }
    if (digit > limit || number > (limit - digit) / base) return false;  // number * base + digit > limit
    number = number * base + digit;
  }
  value = number;
  return true;
}

ParseResult parseCommandLine(const std::vector<std::string>& args) {
  if (args.empty()) return failure("no command given");
  ParseResult result;
  if (isHelp(args[0])) {
    result.ok = true;
    return result;
  }
  if (args[0] == "--version") {
    result.ok = true;
    result.command.verb = Verb::kVersion;
    return result;
  }
  const VerbRule* verb = findVerb(args[0]);
  if (verb == nullptr) return failure("unknown command '" + args[0] + "'");
  return parseVerb(*verb, args);
}

std::string usageText() {
  return "spihost: opens GGA, GGD and MGX files through picture-viewer plug-ins (.spi, .sph):\n"
         "names the plug-in that takes a file, converts pictures to PNG or BMP, lists and extracts\n"
         "archives. PLUGIN names one plug-in library; without it, each file goes to the first\n"
         "plug-in of the plug-in folder (--plugins DIR, by default the folder of spihost) that\n"
         "takes it.\n"
         "\n"
         "usage:\n"
         "  spihost which FILE...                      the plug-in and format of each file\n"
         "  spihost decode [PLUGIN] FILE OUT.png|OUT.bmp\n"
         "  spihost decode [PLUGIN] FILE... -o DIR [--format png|bmp]\n"
         "                                             pictures to PNG (or BMP); DIR is created\n"
         "  spihost list [PLUGIN] ARCHIVE              one line per member\n"
         "  spihost extract [PLUGIN] ARCHIVE (--name NAME [--ignore-case] | --position P | --all)\n"
         "                  (--to-dir DIR [--decode [--format png|bmp]] [--overwrite] | --to-memory OUT)\n"
         "                                             members into DIR (created; existing files kept\n"
         "                                             unless --overwrite), or one member to the file OUT\n"
         "                                             (with --all, OUT is a folder); --decode writes\n"
         "                                             members that are pictures as PNG (or BMP)\n"
         "  spihost info [PLUGIN]                      information table, kind and exports (without\n"
         "                                             PLUGIN: every plug-in of the folder)\n"
         "  spihost probe [PLUGIN] FILE                IsSupported with a file handle and with the head\n"
         "  spihost picinfo [PLUGIN] FILE              GetPictureInfo\n"
         "  spihost --version | --help\n"
         "\n"
         "plug-ins:\n"
         "  --plugins DIR          choose from the plug-ins in DIR (.spi in 32-bit spihost, .sph in\n"
         "                         64-bit), in the order of their names\n"
         "  --ansi                 call the ANSI exports even where the plug-in has Unicode (W) ones\n"
         "\n"
         "input (picinfo, decode, list, extract):\n"
         "  --offset N             the data begins N bytes into the file (0x.. for hexadecimal)\n"
         "  --memory               hand the file over in memory instead of by name (not for extract)\n"
         "\n"
         "host habits, where they apply:\n"
         "  --no-lock              use handed-over handles as addresses, without LocalLock\n"
         "  --length-from-size     take data lengths from LocalSize, not from headers and records\n"
         "  --free-library-first   unload the plug-in before reading what it handed over\n"
         "  --null-callback        pass no progress callback\n"
         "  --stop-callback        pass a progress callback that always asks to stop\n"
         "  --null-out             pass null out-pointers and records; the plug-in must refuse them\n"
         "\n"
         "exit codes: 0 done, 1 bad command line, 2 plug-in library or export missing, 3 the plug-in\n"
         "returned an error code, 4 a file cannot be read or written, 5 the plug-in broke the\n"
         "interface's rules, 6 no plug-in takes the file (or the one named does not); a batch\n"
         "goes on after a failure and exits with the code of the first file that failed\n";
}

}  // namespace spihost
