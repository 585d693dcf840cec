// SpihostFake: a plug-in with every image and archive export over the trivial files of
// fake_format.h, for the host's tests. It hands over what the file holds and fails where
// the file tells it to, so the host's side of every exchange can be tested.
// SpihostInfoOnly is the same source with GetPluginInfo alone.
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "plugin_api/plugin_api.h"
#include "tests/spihost/fake_plugin/fake_format.h"

namespace {

using namespace fake_format;

const spi::PluginInfoTable kFakeInfo = {"00IN", "Spihost test plug-in 1.0 by the Vantrel team",
                                        "*.fakepic;*.fakearc", "Host test data"};

#ifndef SPIHOST_FAKE_INFO_ONLY

// What a failing call with kQuirkHandlesOnFailure leaves in the host's variables.
void* const kBogusHandle = reinterpret_cast<void*>(static_cast<uintptr_t>(0x5A5A0));

uint32_t le32(const uint8_t* p) {
  return p[0] | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// The input's bytes: the named file from offset `len` on, or the memory block.
int readInput(const char* buf, intptr_t len, unsigned flag, std::vector<uint8_t>& bytes) {
  if (buf == nullptr || len < 0) return spi::kNotSupported;
  if (spi::inputKind(flag) == spi::kInputMemory) {
    bytes.assign(buf, buf + len);
    return spi::kSuccess;
  }
  if (spi::inputKind(flag) != spi::kInputFile) return spi::kNotSupported;
  HANDLE file = CreateFileA(buf, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return spi::kReadError;
  DWORD size = GetFileSize(file, nullptr);
  bool ok = size != INVALID_FILE_SIZE && static_cast<uint64_t>(len) <= size &&
            SetFilePointer(file, static_cast<LONG>(len), nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
  if (ok) {
    bytes.resize(size - static_cast<DWORD>(len));
    DWORD got = 0;
    ok = bytes.empty() ||
         (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) && got == bytes.size());
  }
  CloseHandle(file);
  return ok ? spi::kSuccess : spi::kReadError;
}

struct Picture {
  int32_t infoCode = 0;
  int32_t pictureCode = 0;
  uint32_t quirks = 0;
  const uint8_t* info = nullptr;
  uint32_t infoLength = 0;
  const uint8_t* bits = nullptr;
  uint32_t bitsLength = 0;
};

bool parsePicture(const std::vector<uint8_t>& bytes, Picture& picture) {
  if (bytes.size() < kPictureHeaderSize || std::memcmp(bytes.data(), kPictureMagic, kMagicSize) != 0) return false;
  const uint8_t* p = bytes.data();
  picture.infoCode = static_cast<int32_t>(le32(p + 8));
  picture.pictureCode = static_cast<int32_t>(le32(p + 12));
  picture.quirks = le32(p + 16);
  picture.infoLength = le32(p + 20);
  picture.bitsLength = le32(p + 24);
  if (static_cast<uint64_t>(kPictureHeaderSize) + picture.infoLength + picture.bitsLength > bytes.size()) return false;
  picture.info = p + kPictureHeaderSize;
  picture.bits = picture.info + picture.infoLength;
  return true;
}

struct Member {
  std::string name;
  uint32_t position;
  uint32_t size;
};

struct Archive {
  int32_t listCode = 0;
  int32_t fileCode = 0;
  uint32_t quirks = 0;
  std::vector<Member> members;
  const uint8_t* start = nullptr;
};

bool parseArchive(const std::vector<uint8_t>& bytes, Archive& archive) {
  if (bytes.size() < kArchiveHeaderSize || std::memcmp(bytes.data(), kArchiveMagic, kMagicSize) != 0) return false;
  const uint8_t* p = bytes.data();
  archive.listCode = static_cast<int32_t>(le32(p + 8));
  archive.fileCode = static_cast<int32_t>(le32(p + 12));
  archive.quirks = le32(p + 16);
  uint32_t count = le32(p + 20);
  if (count > (bytes.size() - kArchiveHeaderSize) / kMemberRecordSize) return false;
  uint64_t position = kArchiveHeaderSize + static_cast<uint64_t>(count) * kMemberRecordSize;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* record = p + kArchiveHeaderSize + i * kMemberRecordSize;
    Member member;
    member.name.assign(reinterpret_cast<const char*>(record), strnlen(reinterpret_cast<const char*>(record), kNameSize));
    member.size = le32(record + kNameSize);
    member.position = static_cast<uint32_t>(position);
    position += member.size;
    if (position > bytes.size()) return false;
    archive.members.push_back(member);
  }
  archive.start = p;
  return true;
}

HLOCAL copyToBlock(const uint8_t* data, uint64_t size, uint32_t quirks) {
  HLOCAL block = LocalAlloc((quirks & kQuirkMoveableBlocks) ? LHND : LPTR, static_cast<size_t>(size));
  if (block == nullptr) return nullptr;
  if (size != 0) {
    void* address = LocalLock(block);
    std::memcpy(address, data, static_cast<size_t>(size));
    LocalUnlock(block);
  }
  return block;
}

// Ctrl-C in the middle of a call, when the quirk asks for it.
void interruptIfAsked(uint32_t quirks) {
#ifndef _WIN32
  if (quirks & kQuirkInterrupt) raise(SIGINT);
#else
  (void)quirks;
#endif
}

// True when the host's callback asked to stop and the quirks let the request count.
bool stopAsked(spi::ProgressCallback callback, spi::UserData user, int num, int denom, uint32_t quirks) {
  if (callback == nullptr) return false;
  bool zero = (quirks & kQuirkZeroDenominator) != 0;
  int answer = callback(zero ? 0 : num, zero ? 0 : denom, user);
  return answer != 0 && !(quirks & kQuirkIgnoreStop);
}

int fail(int code, uint32_t quirks, void** first, void** second = nullptr) {
  if (quirks & kQuirkHandlesOnFailure) {
    if (first != nullptr) *first = kBogusHandle;
    if (second != nullptr) *second = kBogusHandle;
  }
  return code;
}

int refuseNull(uint32_t quirks) { return (quirks & kQuirkAcceptNullOut) ? spi::kSuccess : spi::kNotSupported; }

void fillRecord(const Member& member, spi::ArchiveEntryInfo& record) {
  std::memset(&record, 0, sizeof record);
  std::memcpy(record.method, "FAKE", 5);
  record.position = member.position;
  record.compsize = member.size;
  record.filesize = member.size;
  record.timestamp = kTimestamp;
  std::memcpy(record.filename, member.name.c_str(), member.name.size() + 1);
}

bool sameName(const std::string& a, const char* b, bool ignoreCase) {
  if (!ignoreCase) return a == b;
  size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

int writeMemberFile(const std::string& path, const uint8_t* data, uint32_t size) {
  HANDLE out = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return spi::kNotSupported;
  DWORD written = 0;
  bool ok = size == 0 || (WriteFile(out, data, size, &written, nullptr) && written == size);
  CloseHandle(out);
  return ok ? spi::kSuccess : spi::kNotSupported;
}

#endif  // SPIHOST_FAKE_INFO_ONLY

}  // namespace

SPI_EXPORT int SPI_CALL GetPluginInfo(int infono, char* buf, int buflen) {
  return spi::answerPluginInfo(kFakeInfo, spi::copyInfoString, infono, buf, buflen);
}

#ifndef SPIHOST_FAKE_INFO_ONLY

SPI_EXPORT int SPI_CALL IsSupported(const char* filename, uintptr_t dw) {
  uint8_t head[kMagicSize] = {};
  if (spi::isProbeHandle(dw)) {
    DWORD got = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(dw), head, kMagicSize, &got, nullptr)) return 0;
  } else {
    std::memcpy(head, reinterpret_cast<const void*>(dw), kMagicSize);
  }
  return std::memcmp(head, kPictureMagic, kMagicSize) == 0 || std::memcmp(head, kArchiveMagic, kMagicSize) == 0;
}

SPI_EXPORT int SPI_CALL GetPictureInfo(const char* buf, intptr_t len, unsigned flag, spi::PictureInfo* lpInfo) {
  std::vector<uint8_t> bytes;
  int code = readInput(buf, len, flag, bytes);
  if (code != spi::kSuccess) return code;
  Picture picture;
  if (!parsePicture(bytes, picture)) return spi::kUnknownFormat;
  if (lpInfo == nullptr) return refuseNull(picture.quirks);
  if (picture.infoCode != spi::kSuccess) return picture.infoCode;
  std::memset(lpInfo, 0, sizeof *lpInfo);
  if (picture.infoLength >= sizeof(spi::BitmapInfoHeader)) {
    spi::BitmapInfoHeader header;
    std::memcpy(&header, picture.info, sizeof header);
    lpInfo->width = header.biWidth;
    lpInfo->height = header.biHeight;
    lpInfo->colorDepth = static_cast<int16_t>(header.biBitCount);
  }
  lpInfo->x_density = 1;
  lpInfo->y_density = 1;
  return spi::kSuccess;
}

SPI_EXPORT int SPI_CALL GetPicture(const char* buf, intptr_t len, unsigned flag, void** pHBInfo, void** pHBm,
                                   spi::ProgressCallback cb, intptr_t lData) {
  std::vector<uint8_t> bytes;
  int code = readInput(buf, len, flag, bytes);
  if (code != spi::kSuccess) return code;
  Picture picture;
  if (!parsePicture(bytes, picture)) return spi::kUnknownFormat;
  if (pHBInfo == nullptr || pHBm == nullptr) return refuseNull(picture.quirks);
  if (stopAsked(cb, lData, 0, 2, picture.quirks)) return fail(spi::kAborted, picture.quirks, pHBInfo, pHBm);
  HLOCAL info = copyToBlock(picture.info, picture.infoLength, picture.quirks);
  HLOCAL bits = copyToBlock(picture.bits, picture.bitsLength, picture.quirks);
  code = info == nullptr || bits == nullptr ? spi::kNoMemory : picture.pictureCode;
  interruptIfAsked(picture.quirks);
  if (code == spi::kSuccess && (stopAsked(cb, lData, 1, 2, picture.quirks) || stopAsked(cb, lData, 2, 2, picture.quirks))) {
    code = spi::kAborted;
  }
  if (code != spi::kSuccess) {
    if (info != nullptr) LocalFree(info);
    if (bits != nullptr) LocalFree(bits);
    return fail(code, picture.quirks, pHBInfo, pHBm);
  }
  *pHBInfo = info;
  *pHBm = bits;
  return spi::kSuccess;
}

SPI_EXPORT int SPI_CALL GetPreview(const char*, intptr_t, unsigned, void**, void**, spi::ProgressCallback, intptr_t) {
  return spi::kNotSupported;
}

SPI_EXPORT int SPI_CALL GetArchiveInfo(const char* buf, intptr_t len, unsigned flag, void** lphInf) {
  if (lphInf != nullptr) *lphInf = nullptr;
  std::vector<uint8_t> bytes;
  int code = readInput(buf, len, flag, bytes);
  if (code != spi::kSuccess) return code;
  Archive archive;
  if (!parseArchive(bytes, archive)) return spi::kUnknownFormat;
  if (lphInf == nullptr) return refuseNull(archive.quirks);
  if (archive.listCode != spi::kSuccess) return fail(archive.listCode, archive.quirks, lphInf);
  std::vector<spi::ArchiveEntryInfo> records(archive.members.size() + 1);
  std::memset(records.data(), 0, records.size() * sizeof records[0]);
  for (size_t i = 0; i < archive.members.size(); ++i) fillRecord(archive.members[i], records[i]);
  HLOCAL list = copyToBlock(reinterpret_cast<const uint8_t*>(records.data()), records.size() * sizeof records[0],
                            archive.quirks);
  if (list == nullptr) return spi::kNoMemory;
  *lphInf = list;
  return spi::kSuccess;
}

SPI_EXPORT int SPI_CALL GetFileInfo(const char* buf, intptr_t len, const char* filename, unsigned flag,
                                    spi::ArchiveEntryInfo* lpInfo) {
  std::vector<uint8_t> bytes;
  int code = readInput(buf, len, flag, bytes);
  if (code != spi::kSuccess) return code;
  Archive archive;
  if (!parseArchive(bytes, archive)) return spi::kUnknownFormat;
  if (filename == nullptr) return spi::kNotSupported;
  if (lpInfo == nullptr) return refuseNull(archive.quirks);
  if (archive.listCode != spi::kSuccess) return archive.listCode;
  for (const Member& member : archive.members) {
    if (sameName(member.name, filename, (flag & spi::kIgnoreCase) != 0)) {
      fillRecord(member, *lpInfo);
      return spi::kSuccess;
    }
  }
  return spi::kUnknownFormat;
}

SPI_EXPORT int SPI_CALL GetFile(const char* src, intptr_t len, char* dest, unsigned flag, spi::ProgressCallback cb,
                                intptr_t lData) {
  if (spi::inputKind(flag) != spi::kInputFile) return spi::kNotSupported;
  std::vector<uint8_t> bytes;
  int code = readInput(src, 0, flag, bytes);
  if (code != spi::kSuccess) return code;
  Archive archive;
  if (!parseArchive(bytes, archive)) return spi::kUnknownFormat;
  bool toMemory = spi::outputKind(flag) == spi::kOutputMemory;
  void** handleOut = toMemory ? reinterpret_cast<void**>(dest) : nullptr;
  if (dest == nullptr) return refuseNull(archive.quirks);
  const Member* member = nullptr;
  for (const Member& candidate : archive.members) {
    if (member == nullptr && static_cast<intptr_t>(candidate.position) == len) member = &candidate;
  }
  if (member == nullptr) return spi::kNotSupported;
  int total = member->size == 0 ? 1 : static_cast<int>(member->size);
  if (stopAsked(cb, lData, 0, total, archive.quirks)) return fail(spi::kAborted, archive.quirks, handleOut);
  if (archive.fileCode != spi::kSuccess) return fail(archive.fileCode, archive.quirks, handleOut);
  const uint8_t* data = archive.start + member->position;
  if (!toMemory) {
    code = writeMemberFile(std::string(dest) + member->name, data, member->size);
    interruptIfAsked(archive.quirks);
    if (code == spi::kSuccess && stopAsked(cb, lData, total, total, archive.quirks)) code = spi::kAborted;
    return code;
  }
  HLOCAL block = copyToBlock(data, member->size, archive.quirks);
  if (block == nullptr) return spi::kNoMemory;
  interruptIfAsked(archive.quirks);
  if (stopAsked(cb, lData, total, total, archive.quirks)) {
    LocalFree(block);
    return fail(spi::kAborted, archive.quirks, handleOut);
  }
  *handleOut = block;
  return spi::kSuccess;
}

SPI_EXPORT int SPI_CALL ConfigurationDlg(void*, int) { return spi::kNotSupported; }

#endif  // SPIHOST_FAKE_INFO_ONLY
