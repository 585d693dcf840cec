// Output names from a pattern: literal text with fields for the local date, the time and a
// running counter, plus a fixed extension. A name whose stem (the name without its extension)
// is already taken by any entry of the working directory is skipped.
//
// Pattern syntax: "%%" is one literal "%"; "%" [width] letter is a field, where width is a
// decimal number that starts with 1-9 and letter is one of
//   y year  m month  d day  H hour  M minute  S second  n counter (then incremented).
// Width 0 (none) writes the natural digits; width 1-10 exactly that many low-order digits;
// a wider field pads the 10-digit value with zeros in front. An unknown letter, a "%" at the
// end, a "0" right after "%" or a 33rd token make the pattern invalid: the default "cb_%6n"
// is used instead.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "converter/clock.h"

namespace vantrel {

constexpr int kNameBufferLength = 260;  // characters of a generated name, NUL not counted
constexpr int kExtensionLength = 32;    // characters kept of an extension, NUL not counted
constexpr int kMaxPatternTokens = 32;
constexpr int kNaturalDigits = 10;      // digits of the largest 32-bit value
// Wider fields are narrowed to the room left in the name anyway; parsing stops growing a
// width here so that a long run of digits cannot overflow it.
constexpr int32_t kMaxFieldWidth = kNameBufferLength;
constexpr char kDefaultPattern[] = "cb_%6n";

// 256 class codes indexed by the unsigned byte value, all 0 until set.
class CharClassTable {
 public:
  CharClassTable();
  virtual ~CharClassTable() = default;
  void set(unsigned char c, int32_t code);
  // Sets the codes of the bytes first .. end-1.
  void setRange(unsigned first, unsigned end, int32_t code);
  int32_t lookUp(unsigned char c) const { return codes_[c]; }

 private:
  int32_t codes_[256];
};

// The classes the pattern compiler needs: digits, the field mark and the field letters.
class PatternCharClasses : public CharClassTable {
 public:
  static constexpr int32_t kOrdinary = 0;
  static constexpr int32_t kDigit = 1;
  static constexpr int32_t kFieldMark = 2;
  static constexpr int32_t kFirstFieldLetter = 3;  // field code = class - kFirstFieldLetter
  PatternCharClasses();
};

enum FieldCode : int32_t {
  kYearField = 0,
  kMonthField = 1,
  kDayField = 2,
  kHourField = 3,
  kMinuteField = 4,
  kSecondField = 5,
  kCounterField = 6,
  kUnsetField = 7,
};

class PatternToken {
 public:
  static constexpr int32_t kLiteral = 0;
  static constexpr int32_t kField = 1;
  explicit PatternToken(int32_t kind) : kind(kind) {}
  virtual ~PatternToken() = default;
  const int32_t kind;
};

class LiteralToken : public PatternToken {
 public:
  explicit LiteralToken(std::string text) : PatternToken(kLiteral), text(std::move(text)) {}
  const std::string text;  // "%%" already reduced to "%"
};

class FieldToken : public PatternToken {
 public:
  FieldToken() : PatternToken(kField) {}
  int32_t width = 0;  // 0: natural width
  int32_t fieldCode = kUnsetField;
};

class PatternTokenList {
 public:
  PatternTokenList();
  ~PatternTokenList();
  PatternTokenList(const PatternTokenList&) = delete;
  PatternTokenList& operator=(const PatternTokenList&) = delete;

  // 0 on success; 1 when the pattern is invalid, which leaves the list empty.
  int compile(const char* pattern);
  void clear();
  int count() const { return count_; }
  const PatternToken* token(int index) const;

 private:
  bool add(PatternToken* token);  // takes ownership; false (token deleted) when full
  bool addLiteral(const std::string& run);

  std::unique_ptr<PatternCharClasses> classes_;
  PatternToken* tokens_[kMaxPatternTokens];
  int count_ = 0;
};

// Writes value in decimal and a NUL; returns the characters written, NUL not counted.
// width 0: natural digits; 1-10: exactly width low-order digits; above 10: width-10 zeros and
// then 10 digits. destination must hold max(width, 10) + 1 characters.
int formatNumber(char* destination, int width, uint32_t value);

// True when the working directory (or the pattern's folder) holds an entry that matches the
// wildcard pattern; the search is closed at once.
bool anyFileMatches(const char* pattern);

// The entries of one folder whose names begin with one text, read in one search when the
// listing is made. A namer asks it whether a stem is taken instead of searching the folder
// for every candidate: a search reads the whole folder on many systems (and under wine), so
// a search per candidate made naming in a folder of n entries cost n per name.
class FolderListing {
 public:
  // mask: the folder part of a path (or none), a name prefix and "*". A folder that cannot be
  // searched lists nothing, as a search of it finds nothing.
  explicit FolderListing(std::string mask);
  const std::string& mask() const { return mask_; }
  // True when an entry is named stem, or stem followed by "." and anything: what a search for
  // stem ".*" finds. Names compare as the file system compares them.
  bool takesStem(const char* stem, size_t length) const;
  // Counts name as an entry of the folder from now on.
  void add(const char* name, size_t length);

 private:
  using Text = std::basic_string<WCHAR>;
  struct IgnoreCaseLess {
    bool operator()(const Text& a, const Text& b) const;
  };
  std::string mask_;
  std::set<Text, IgnoreCaseLess> stems_;  // every entry's name, and its every part before a "."
};

class OutputNamer {
 public:
  explicit OutputNamer(Clock& clock = systemClock());
  virtual ~OutputNamer() = default;
  OutputNamer(const OutputNamer&) = delete;
  OutputNamer& operator=(const OutputNamer&) = delete;

  void setExtension(const char* text);
  // An invalid pattern (or none) silently selects the default pattern.
  void setPattern(const char* text);
  // The next free name, valid until the next call or the end of the namer. Null when every
  // name the pattern can give is taken: the candidates came round to the first one again.
  const char* nextName();

  uint32_t counter() const { return counter_; }
  void setCounter(uint32_t value) { counter_ = value; }

 private:
  char* buildCandidate(const SYSTEMTIME& now);
  FolderListing* listingFor(size_t stemLength, size_t nameAt);
  char* writeField(char* cursor, const FieldToken& field, const SYSTEMTIME& now);

  char extension_[kExtensionLength + 1];
  char name_[kNameBufferLength + 1];
  PatternTokenList pattern_;
  uint32_t counter_ = 1;
  Clock& clock_;
  size_t firstFieldAt_ = 0;                // where the candidate's first field begins
  std::unique_ptr<FolderListing> listing_;  // of the folder the last candidates were in
};

}  // namespace vantrel
