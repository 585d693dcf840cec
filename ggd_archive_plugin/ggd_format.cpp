// The head check and the directory reader of GGD archives (layout in ggd_format.h).
#include "ggd_archive_plugin/ggd_format.h"

#include <cstring>

#include "platform/win32.h"

namespace felbrin {
namespace {

uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

int32_t ReadI32(const uint8_t* p) {
  uint32_t v = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
               (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
  return static_cast<int32_t>(v);
}

// The one place where slots are taken from untrusted bytes: slot `index` of a directory of
// which `available` bytes are readable, or false when the slot is not wholly there.
bool ReadSlot(const uint8_t* directory, int64_t available, int64_t index, GgdDirectorySlot* slot) {
  if (index < 0 || available < kSlotBytes || index > available / kSlotBytes - 1) return false;
  std::memcpy(slot, directory + index * kSlotBytes, sizeof *slot);
  return true;
}

int32_t StartOf(const GgdDirectorySlot& slot) { return ReadI32(slot.start); }

bool IsNameByte(uint8_t b) { return b >= kFirstNameByte && b <= kLastNameByte; }

// A scanned slot's name holds name bytes and zero padding only (an unused name field of
// zeros is allowed too, which is why the caller skips slots whose first byte is 0).
bool NameFieldIsClean(const GgdDirectorySlot& slot) {
  for (int64_t i = 0; i < kNameBytes; ++i) {
    if (slot.name[i] != 0 && !IsNameByte(slot.name[i])) return false;
  }
  return true;
}

// How many head bytes the slot scan covers. With the whole directory at hand the scan stops
// before the end marker (D - 2 leaves less than a slot for it); otherwise it covers only the
// whole slots that are available.
int64_t ScanLength(int directoryBytes, int64_t available) {
  if (directoryBytes <= available) return directoryBytes - kDirectoryOffset;
  return (available - kDirectoryOffset) / kSlotBytes * kSlotBytes;
}

// Slot j, name and start, into record j; the size comes from the next slot's start.
void FillRecord(const GgdDirectorySlot& slot, int64_t nextStart, MemberRecord* record) {
  int64_t length = 0;
  while (length < kNameBytes && slot.name[length] > 0x20) ++length;
  std::memcpy(record->name, slot.name, static_cast<size_t>(length));
  record->name[length] = '\0';
  record->start = StartOf(slot);
  // Narrowed only after CheckRecord has bounded it by the end marker.
  record->size = static_cast<int32_t>(static_cast<uint32_t>(nextStart - record->start));
}

// A member must lie after the directory's start, end by the end marker, and not run
// backwards. Computed in 64 bits: start + size and end - D cannot wrap there.
bool CheckRecord(int64_t start, int64_t size, int64_t end, int64_t directoryBytes) {
  return start >= directoryBytes && start + size <= end && size >= 0 && size <= end - directoryBytes;
}

}  // namespace

int CheckGgdArchive(const uint8_t* archive, int64_t available, int* directoryBytes) {
  if (archive == nullptr || available < kMinHeadBytes) return kGgdNotArchive;
  const int d = ReadU16(archive);
  // D of 0x8000 or more would be negative as a signed 16-bit value; no archive has one.
  if (d < kMinDirectoryBytes || d > kMaxDirectoryBytes || d % kSlotBytes != 0) return kGgdNotArchive;

  const uint8_t* directory = archive + kDirectoryOffset;
  const int64_t directoryAvailable = available - kDirectoryOffset;
  GgdDirectorySlot slot;
  if (!ReadSlot(directory, directoryAvailable, 0, &slot)) return kGgdNotArchive;
  if (!IsNameByte(slot.name[0])) return kGgdNotArchive;
  if (StartOf(slot) != d + kDirectoryOffset) return kGgdNotArchive;

  int64_t scan = ScanLength(d, available);
  for (int64_t j = 0; scan >= kSlotBytes; ++j, scan -= kSlotBytes) {
    if (!ReadSlot(directory, directoryAvailable, j, &slot)) return kGgdNotArchive;
    if (slot.name[0] != 0 && !NameFieldIsClean(slot)) return kGgdNotArchive;
    const int32_t start = StartOf(slot);
    if (start < kSmallestFirstStart + kSlotBytes * j) return kGgdNotArchive;
    if (scan >= 2 * kSlotBytes) {
      GgdDirectorySlot next;
      if (!ReadSlot(directory, directoryAvailable, j + 1, &next)) return kGgdNotArchive;
      // Unsigned on purpose: a start that goes down passes here and is refused later, when
      // the directory is read, as a negative size.
      if (static_cast<uint32_t>(StartOf(next)) - static_cast<uint32_t>(start) < kMinMemberSpacing) {
        return kGgdNotArchive;
      }
    }
  }
  if (directoryBytes != nullptr) *directoryBytes = d;
  return kGgdOk;
}

int ReadMemberRecords(const uint8_t* directory, int64_t byteCount, int directoryBytes,
                      MemberRecord** records, int* count) {
  if (records == nullptr || count == nullptr) return kGgdDamaged;
  *records = nullptr;
  *count = 0;
  if (directory == nullptr || byteCount < directoryBytes || directoryBytes > kMaxDirectoryBytes) {
    return kGgdDamaged;
  }
  // The members are the slots of the D-byte directory but its last; slots past D, if the
  // caller handed more bytes, are member data and never read as slots.
  const int64_t members = static_cast<int64_t>(directoryBytes) / kSlotBytes - 1;
  if (members < 1) return kGgdDamaged;

  const uint64_t blockBytes = static_cast<uint64_t>(members) * sizeof(MemberRecord);
  MemberRecord* block = static_cast<MemberRecord*>(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT,
                                                              static_cast<size_t>(blockBytes)));
  if (block == nullptr) return kGgdNoMemory;

  // Every slot read here lies inside the D bytes, which byteCount >= D makes readable.
  GgdDirectorySlot slot;
  GgdDirectorySlot next;
  bool consistent = ReadSlot(directory, directoryBytes, members, &next);
  const int64_t end = consistent ? StartOf(next) : 0;
  for (int64_t j = 0; consistent && j < members; ++j) {
    consistent = ReadSlot(directory, directoryBytes, j, &slot) &&
                 ReadSlot(directory, directoryBytes, j + 1, &next);
    if (!consistent) break;
    const int64_t start = StartOf(slot);
    const int64_t size = static_cast<int64_t>(StartOf(next)) - start;
    consistent = CheckRecord(start, size, end, directoryBytes);
    if (consistent) FillRecord(slot, StartOf(next), &block[j]);
  }
  if (!consistent) {
    LocalFree(block);
    return kGgdDamaged;
  }
  *records = block;
  *count = static_cast<int>(members);
  return kGgdOk;
}

}  // namespace felbrin
