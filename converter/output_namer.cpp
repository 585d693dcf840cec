#include "converter/output_namer.h"

#include <algorithm>
#include <cstring>

namespace vantrel {

// ---------------------------------------------------------------- character classes

CharClassTable::CharClassTable() { std::memset(codes_, 0, sizeof codes_); }

void CharClassTable::set(unsigned char c, int32_t code) { codes_[c] = code; }

void CharClassTable::setRange(unsigned first, unsigned end, int32_t code) {
  for (unsigned c = first; c < end && c < 256; ++c) codes_[c] = code;
}

PatternCharClasses::PatternCharClasses() {
  setRange('0', '9' + 1, kDigit);
  set('%', kFieldMark);
  const char letters[] = "ymdHMSn";  // in field code order
  for (int i = 0; letters[i] != '\0'; ++i) {
    set(static_cast<unsigned char>(letters[i]), kFirstFieldLetter + i);
  }
}

// ---------------------------------------------------------------- token list

PatternTokenList::PatternTokenList() : classes_(new PatternCharClasses) {
  std::fill(tokens_, tokens_ + kMaxPatternTokens, nullptr);
}

PatternTokenList::~PatternTokenList() { clear(); }

void PatternTokenList::clear() {
  for (int i = 0; i < count_; ++i) {
    delete tokens_[i];
    tokens_[i] = nullptr;
  }
  count_ = 0;
}

const PatternToken* PatternTokenList::token(int index) const {
  return index >= 0 && index < count_ ? tokens_[index] : nullptr;
}

bool PatternTokenList::add(PatternToken* token) {
  if (count_ >= kMaxPatternTokens) {
    delete token;
    return false;
  }
  tokens_[count_++] = token;
  return true;
}

bool PatternTokenList::addLiteral(const std::string& run) {
  return run.empty() || add(new LiteralToken(run));
}

int PatternTokenList::compile(const char* pattern) {
  clear();
  if (pattern == nullptr) return 1;
  const auto* p = reinterpret_cast<const unsigned char*>(pattern);
  std::string run;  // the literal run, with "%%" already reduced
  bool valid = true;
  while (valid && *p != '\0') {
    if (classes_->lookUp(*p) != PatternCharClasses::kFieldMark) {
      run += static_cast<char>(*p++);
      continue;
    }
    if (p[1] == '%') {
      run += '%';
      p += 2;
      continue;
    }
    valid = addLiteral(run);
    run.clear();
    ++p;  // the field mark
    int32_t width = 0;
    // A width starts with 1-9: "%0..." leaves the "0" where the letter belongs.
    if (classes_->lookUp(*p) == PatternCharClasses::kDigit && *p != '0') {
      while (classes_->lookUp(*p) == PatternCharClasses::kDigit) {
        width = std::min(width * 10 + (*p - '0'), kMaxFieldWidth);
        ++p;
      }
    }
    int32_t letterClass = classes_->lookUp(*p);
    if (letterClass < PatternCharClasses::kFirstFieldLetter) {
      valid = false;  // no field letter, or the end of the text
      break;
    }
    ++p;
    if (valid) {
      auto* field = new FieldToken;
      field->width = width;
      field->fieldCode = letterClass - PatternCharClasses::kFirstFieldLetter;
      valid = add(field);
    }
  }
  if (valid) valid = addLiteral(run);
  if (!valid) {
    clear();
    return 1;
  }
  return 0;
}

// ---------------------------------------------------------------- numbers and the directory

int formatNumber(char* destination, int width, uint32_t value) {
  char digits[kNaturalDigits];
  int produced = 0;  // lowest digit first
  int wanted = width <= 0 ? 0 : std::min(width, kNaturalDigits);
  do {
    digits[produced++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (produced < kNaturalDigits && (wanted == 0 ? value != 0 : produced < wanted));
  // A fixed width runs the loop on through the value's leading zeros; a width above 10 puts
  // its extra zeros in front of all 10 digits.
  int written = 0;
  for (int i = kNaturalDigits; i < width; ++i) destination[written++] = '0';
  while (produced > 0) destination[written++] = digits[--produced];
  destination[written] = '\0';
  return written;
}

bool anyFileMatches(const char* pattern) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

bool FolderListing::IgnoreCaseLess::operator()(const Text& a, const Text& b) const {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
         CSTR_LESS_THAN;
}

FolderListing::FolderListing(std::string mask) : mask_(std::move(mask)) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(mask_.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    // A search matches the short names of entries too.
    add(found.cFileName, std::strlen(found.cFileName));
    if (found.cAlternateFileName[0] != '\0') add(found.cAlternateFileName, std::strlen(found.cAlternateFileName));
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

namespace {

// Text of the ANSI code page as the wide text the file system compares (what the "A" calls
// hand on); empty when it does not convert.
std::basic_string<WCHAR> widened(const char* text, size_t length) {
  std::basic_string<WCHAR> wide;
  if (length == 0) return wide;
  int units = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
  if (units <= 0) return wide;
  wide.resize(static_cast<size_t>(units));
  MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), &wide[0], units);
  return wide;
}

}  // namespace

bool FolderListing::takesStem(const char* stem, size_t length) const {
  return stems_.count(widened(stem, length)) != 0;
}

void FolderListing::add(const char* name, size_t length) {
  Text wide = widened(name, length);
  for (size_t dot = wide.find(u'.'); dot != Text::npos; dot = wide.find(u'.', dot + 1)) {
    stems_.insert(wide.substr(0, dot));
  }
  stems_.insert(std::move(wide));
}

// ---------------------------------------------------------------- the namer

namespace {

// Copies at most room characters of text to cursor and terminates them (the NUL lands at most
// on the buffer's last, reserved character). Returns the characters copied.
size_t copyCut(char* cursor, size_t room, const char* text) {
  size_t length = std::min(std::strlen(text), room);
  std::memcpy(cursor, text, length);
  cursor[length] = '\0';
  return length;
}

// Where the bare name begins in a path of length bytes: after its last separator. The path
// is read forwards, character by character, because the second byte of a double-byte
// character may be a backslash.
size_t bareNameAt(const char* path, size_t length) {
  size_t nameAt = 0;
  for (size_t i = 0; i < length; ++i) {
    if (IsDBCSLeadByte(static_cast<BYTE>(path[i]))) {
      ++i;
    } else if (path[i] == '\\' || path[i] == '/' || path[i] == ':') {
      nameAt = i + 1;
    }
  }
  return nameAt;
}

uint32_t dateTimeValue(int32_t fieldCode, const SYSTEMTIME& now) {
  switch (fieldCode) {
    case kYearField: return now.wYear;
    case kMonthField: return now.wMonth;
    case kDayField: return now.wDay;
    case kHourField: return now.wHour;
    case kMinuteField: return now.wMinute;
    case kSecondField: return now.wSecond;
    default: return 0;
  }
}

}  // namespace

OutputNamer::OutputNamer(Clock& clock) : clock_(clock) {
  extension_[0] = '\0';
  extension_[kExtensionLength] = '\0';
  name_[0] = '\0';
  name_[kNameBufferLength] = '\0';
  pattern_.compile(kDefaultPattern);
}

void OutputNamer::setExtension(const char* text) {
  copyCut(extension_, kExtensionLength, text ? text : "");
}

void OutputNamer::setPattern(const char* text) {
  if (pattern_.compile(text) != 0) pattern_.compile(kDefaultPattern);
}

char* OutputNamer::writeField(char* cursor, const FieldToken& field, const SYSTEMTIME& now) {
  uint32_t value;
  if (field.fieldCode == kCounterField) {
    value = counter_++;
  } else {
    value = dateTimeValue(field.fieldCode, now);
  }
  size_t room = static_cast<size_t>(name_ + kNameBufferLength - cursor);
  if (room == 0) return cursor;
  // A fixed width is narrowed to the room; a natural-width field that does not fit keeps its
  // low-order digits in the same way, so successive counter values still differ.
  int width = static_cast<int>(std::min(static_cast<size_t>(field.width), room));
  char digits[kMaxFieldWidth + 1];
  size_t length = static_cast<size_t>(formatNumber(digits, width, value));
  size_t skip = length > room ? length - room : 0;
  std::memcpy(cursor, digits + skip, length - skip);
  return cursor + (length - skip);
}

char* OutputNamer::buildCandidate(const SYSTEMTIME& now) {
  char* cursor = name_;
  firstFieldAt_ = kNameBufferLength;
  for (int i = 0; i < pattern_.count(); ++i) {
    const PatternToken* token = pattern_.token(i);
    if (token->kind == PatternToken::kLiteral) {
      size_t room = static_cast<size_t>(name_ + kNameBufferLength - cursor);
      cursor += copyCut(cursor, room, static_cast<const LiteralToken*>(token)->text.c_str());
    } else {
      firstFieldAt_ = std::min(firstFieldAt_, static_cast<size_t>(cursor - name_));
      cursor = writeField(cursor, *static_cast<const FieldToken*>(token), now);
    }
  }
  *cursor = '\0';
  return cursor;
}

// The listing that answers for a candidate stem (name_ up to stemLength, its bare name from
// nameAt), made anew when the candidate is in another folder or has another prefix. Null when
// only a search gives the same answer: a stem with wildcard characters, which the search reads
// as a pattern, or one too long for its ".*" to fit.
FolderListing* OutputNamer::listingFor(size_t stemLength, size_t nameAt) {
  static const char kWildcards[] = "*?<>\"";
  const char* stemEnd = name_ + stemLength;
  if (stemLength + 2 > kNameBufferLength ||
      std::find_first_of(static_cast<const char*>(name_ + nameAt), stemEnd, kWildcards, kWildcards + sizeof kWildcards - 1) != stemEnd) {
    return nullptr;
  }
  // The literal text in front of the first field is the same in every candidate.
  std::string mask(name_, std::max(nameAt, std::min(firstFieldAt_, stemLength)));
  mask += '*';
  if (!listing_ || listing_->mask() != mask) listing_ = std::make_unique<FolderListing>(std::move(mask));
  return listing_.get();
}

const char* OutputNamer::nextName() {
  SYSTEMTIME now;
  clock_.localTime(&now);
  const uint32_t start = counter_;
  std::string first;  // the first candidate of this call that was taken
  bool anyTaken = false;
  char* cursor;
  FolderListing* listing = nullptr;
  size_t nameAt = 0;
  for (;;) {
    cursor = buildCandidate(now);
    copyCut(cursor, static_cast<size_t>(name_ + kNameBufferLength - cursor), ".*");
    if (counter_ == start) break;  // no counter field: the name is what it is
    const size_t stemLength = static_cast<size_t>(cursor - name_);
    nameAt = bareNameAt(name_, stemLength);
    listing = listingFor(stemLength, nameAt);
    if (listing ? !listing->takesStem(name_ + nameAt, stemLength - nameAt) : !anyFileMatches(name_)) break;
    // The candidates depend on the counter alone (the time is read once), so meeting the
    // first one again means every name the pattern can give has been tried.
    if (!anyTaken) {
      first = name_;
      anyTaken = true;
    } else if (first == name_) {
      return nullptr;
    }
  }
  copyCut(cursor, static_cast<size_t>(name_ + kNameBufferLength - cursor), extension_);
  // The caller makes the file: from now on the name is taken.
  if (listing) listing->add(name_ + nameAt, std::strlen(name_ + nameAt));
  return name_;
}

}  // namespace vantrel
