// Trimming the log's oldest text without cutting a double-byte character in half.
//
// The log holds code page 932 (Shift-JIS) text, where a lead byte 0x81-0x9F or 0xE0-0xFC is
// followed by a trail byte that may look like any ASCII character (even "\" or "["). Cutting
// between the two would leave a stray trail byte at the top of the log, which the control
// shows as a wrong character, so a cut that falls inside a character takes its trail byte too.
#pragma once

#include <cstddef>

namespace vantrel {

constexpr size_t kLogCapacity = 32767;  // bytes of code page 932 text the log holds at most

using LeadBytePredicate = bool (*)(unsigned char byte);

// Lead bytes of code page 932.
bool isShiftJisLeadByte(unsigned char byte);

// The first character boundary at or after cut in text[0, length): at least cut bytes and at
// most cut + 1. Characters are walked from the start, as only there is a boundary known.
size_t characterBoundaryAtOrAfter(const char* text, size_t length, size_t cut, LeadBytePredicate isLead);

// The number of characters in text[0, length), a double-byte character counting as one.
size_t characterCount(const char* text, size_t length, LeadBytePredicate isLead);

// The log is counted in the bytes of its code page 932 text, whatever the window shows it in.
// Given that text (text[0, length)), the number of its oldest characters that must go so
// that `incoming` more bytes fit kLogCapacity: 0 when they fit, all of them when even an empty
// log is too small.
size_t oldestCharactersToDrop(const char* text, size_t length, size_t incoming);

}  // namespace vantrel
