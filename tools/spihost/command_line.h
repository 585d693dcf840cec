// The host's command line: a verb, its plug-in and files, and switches. Parsing is a pure
// function of the argument list, so it is tested on its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace spihost {

// `len` is a 32-bit integer in the interface.
constexpr uint64_t kMaxOffset = 0x7FFFFFFF;
// A member's `position` is a 32-bit record field.
constexpr uint64_t kMaxPosition = 0xFFFFFFFF;

enum class Verb { kHelp, kVersion, kInfo, kProbe, kPictureInfo, kDecode, kList, kExtract, kWhich };
enum class Selection { kNone, kName, kPosition, kAll };
enum class Destination { kNone, kFolder, kMemory };
enum class ImageFormat { kPng, kBmp };

// Habits of real hosts that the plug-ins must survive.
struct HostHabits {
  bool noLock = false;            // take a handed-over handle as the address, without LocalLock
  bool lengthFromSize = false;    // take data lengths from LocalSize, not from headers and records
  bool freeLibraryFirst = false;  // unload the library before reading what it handed over
  bool nullCallback = false;      // pass no progress callback
  bool stopCallback = false;      // pass a callback that always asks to stop
  bool nullOut = false;           // pass null out-pointers and records; expect a refusal
};

struct Command {
  Verb verb = Verb::kHelp;
  // The plug-in library named on the command line, or empty: then the plug-in is chosen for
  // each file from the plug-in folder (`pluginFolder`, or the folder beside the program
  // when that is empty too).
  std::string plugin;
  std::string pluginFolder;
  std::vector<std::string> inputs;  // every file the verb works on
  std::string input;                // the one being worked on
  std::string output;  // decode: the image file; extract: the folder or the memory output
  std::string outputFolder;  // decode FILE... -o DIR
  ImageFormat imageFormat = ImageFormat::kPng;
  bool formatGiven = false;
  bool overwrite = false;       // extract: replace files that exist in the output folder
  bool decodeMembers = false;   // extract: members that are pictures go out as PNG or BMP
  bool ansiExports = false;     // call the ANSI exports even where Unicode ones exist
  // Set by the host, never by the command line: the input's bytes are these (a member of
  // an archive being decoded), handed over in memory; `input` then only names them.
  const std::vector<uint8_t>* inputBytes = nullptr;
  uint64_t offset = 0;
  bool memoryInput = false;
  Selection selection = Selection::kNone;
  std::string memberName;
  uint32_t position = 0;
  bool ignoreCase = false;
  Destination destination = Destination::kNone;
  HostHabits habits;
};

struct ParseResult {
  bool ok = false;
  Command command;
  std::string error;  // what is wrong, in one sentence, when !ok
};

// `args` excludes the program name.
ParseResult parseCommandLine(const std::vector<std::string>& args);

std::string usageText();

// Decimal or 0x-prefixed hexadecimal, no sign, at most `limit`.
bool parseNumber(const std::string& text, uint64_t limit, uint64_t& value);

}  // namespace spihost
