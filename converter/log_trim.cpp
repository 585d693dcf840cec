#include "converter/log_trim.h"

namespace vantrel {

bool isShiftJisLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

size_t characterBoundaryAtOrAfter(const char* text, size_t length, size_t cut, LeadBytePredicate isLead) {
  if (cut >= length) return length;
  size_t position = 0;
  while (position < cut) {
    bool doubleByte = isLead(static_cast<unsigned char>(text[position])) && position + 1 < length;
    position += doubleByte ? 2 : 1;
  }
  return position;
}

size_t characterCount(const char* text, size_t length, LeadBytePredicate isLead) {
  size_t count = 0;
  for (size_t position = 0; position < length; ++count) {
    bool doubleByte = isLead(static_cast<unsigned char>(text[position])) && position + 1 < length;
    position += doubleByte ? 2 : 1;
  }
  return count;
}

size_t oldestCharactersToDrop(const char* text, size_t length, size_t incoming) {
  if (length + incoming <= kLogCapacity) return 0;
  size_t cut = characterBoundaryAtOrAfter(text, length, length + incoming - kLogCapacity, isShiftJisLeadByte);
  return characterCount(text, cut, isShiftJisLeadByte);
}

}  // namespace vantrel
