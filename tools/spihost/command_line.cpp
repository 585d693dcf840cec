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
};

constexpr unsigned kBlockHabits = kNoLock | kLengthFromSize | kFreeLibraryFirst | kNullOut;
constexpr unsigned kCallbackHabits = kNullCallback | kStopCallback;

struct VerbRule {
  const char* name;
  Verb verb;
  const char* operands;  // as the usage names them
  size_t operandCount;
  unsigned options;
};

const VerbRule kVerbs[] = {
    {"info", Verb::kInfo, "PLUGIN", 1, kFreeLibraryFirst | kNullOut},
    {"probe", Verb::kProbe, "PLUGIN FILE", 2, kFreeLibraryFirst},
    {"picinfo", Verb::kPictureInfo, "PLUGIN FILE", 2, kOffset | kMemory | kBlockHabits},
    {"decode", Verb::kDecode, "PLUGIN FILE OUT.png|OUT.bmp", 3, kOffset | kMemory | kBlockHabits | kCallbackHabits},
    {"list", Verb::kList, "PLUGIN ARCHIVE", 2, kOffset | kMemory | kBlockHabits},
    {"extract", Verb::kExtract, "PLUGIN ARCHIVE", 2,
     kOffset | kName | kIgnoreCase | kPosition | kAll | kToDir | kToMemory | kBlockHabits | kCallbackHabits},
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

bool endsWithIgnoringCase(const std::string& text, const std::string& ending) {
  if (text.size() < ending.size()) return false;
  for (size_t i = 0; i < ending.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[text.size() - ending.size() + i]);
    if (std::tolower(c) != ending[i]) return false;
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
      if (value.empty()) {
        error = std::string(rule.name) + " needs a path";
        return false;
      }
      command.destination = rule.bit == kToDir ? Destination::kFolder : Destination::kMemory;
      command.output = value;
      return true;
    case kMemory: command.memoryInput = true; return true;
    case kIgnoreCase: command.ignoreCase = true; return true;
    case kNoLock: command.habits.noLock = true; return true;
    case kLengthFromSize: command.habits.lengthFromSize = true; return true;
    case kFreeLibraryFirst: command.habits.freeLibraryFirst = true; return true;
    case kNullCallback: command.habits.nullCallback = true; return true;
    case kStopCallback: command.habits.stopCallback = true; return true;
    case kNullOut: command.habits.nullOut = true; return true;
  }
  return true;
}

// Rules that tie switches together.
std::string checkCombination(const VerbRule& verb, unsigned seen, Command& command) {
  auto count = [seen](unsigned bits) {
    int n = 0;
    for (unsigned bit = 1; bit != 0; bit <<= 1) n += (seen & bits & bit) ? 1 : 0;
    return n;
  };
  if (count(kNullCallback | kStopCallback) > 1) return "--null-callback and --stop-callback exclude each other";
  if (verb.verb == Verb::kExtract) {
    if (count(kName | kPosition | kAll) != 1) return "extract needs exactly one of --name, --position, --all";
    if (count(kToDir | kToMemory) != 1) return "extract needs exactly one of --to-dir, --to-memory";
    if ((seen & kIgnoreCase) && !(seen & kName)) return "--ignore-case goes with --name";
  }
  if (verb.verb == Verb::kDecode) {
    if (endsWithIgnoringCase(command.output, ".png")) {
      command.imageFormat = ImageFormat::kPng;
    } else if (endsWithIgnoringCase(command.output, ".bmp")) {
      command.imageFormat = ImageFormat::kBmp;
    } else {
      return "the output of decode must end in .png or .bmp: '" + command.output + "'";
    }
  }
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
    if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
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
  if (operands.size() != verb.operandCount) {
    return failure(std::string(verb.name) + " takes " + verb.operands + " (" + std::to_string(operands.size()) +
                   " given)");
  }
  command.plugin = operands[0];
  if (operands.size() > 1) command.input = operands[1];
  if (operands.size() > 2) command.output = operands[2];
  std::string error = checkCombination(verb, seen, command);
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
  if (isHelp(args[0])) {
    ParseResult result;
    result.ok = true;
    return result;
  }
  const VerbRule* verb = findVerb(args[0]);
  if (verb == nullptr) return failure("unknown command '" + args[0] + "'");
  return parseVerb(*verb, args);
}

std::string usageText() {
  return "spihost: loads a picture-viewer plug-in (.spi) and drives its exports as a viewer does.\n"
         "\n"
         "usage:\n"
         "  spihost info PLUGIN                        information table and kind\n"
         "  spihost probe PLUGIN FILE                  IsSupported with a file handle and with the file's head\n"
         "  spihost picinfo PLUGIN FILE                GetPictureInfo\n"
         "  spihost decode PLUGIN FILE OUT.png|OUT.bmp GetPicture, written as PNG or BMP\n"
         "  spihost list PLUGIN ARCHIVE                GetArchiveInfo: one line per member\n"
         "  spihost extract PLUGIN ARCHIVE (--name NAME [--ignore-case] | --position P | --all)\n"
         "                  (--to-dir DIR | --to-memory OUT)\n"
         "                                             GetFileInfo / GetFile; with --all and --to-memory,\n"
         "                                             OUT is a folder that receives every member\n"
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
         "exit codes: 0 done, 1 bad command line, 2 library or export missing, 3 the plug-in returned\n"
         "an error code, 4 a file of the host's cannot be read or written, 5 the plug-in broke the\n"
         "contract, 6 the plug-in does not accept the file (probe)\n";
}

}  // namespace spihost
