// Gorsel's exports: GGD pictures from a file (at an offset) or from memory, handed to the
// host as a 24-bit bottom-up bitmap in two local-memory blocks. Plain routines over the
// platform's file and memory calls; the format itself lives in ggd_picture.cpp.
//
// Every export but ConfigurationDlg has a Unicode twin (GetPluginInfoW, IsSupportedW,
// GetPictureInfoW, GetPictureW, GetPreviewW). A twin differs from its ANSI export in one
// thing only: a file name is a UTF-16 path, opened with the wide file call, so names that
// the system code page cannot spell still open. Memory input is bytes in both families.
// The routines below are written once over the character type; OpenPictureFile is the
// only place where the families part.
//
// Nothing outlives a call and no call shares anything with another: the progress callback and
// the host's user value travel with the call, so hosts may call every export from any number
// of threads at once.
//
// Sizes, offsets, addresses and the host's user value are pointer-sized (`len`, `lData`,
// IsSupported's `dw`), so the 64-bit build (Gorsel.sph) takes them at full width.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <type_traits>

#include "ggd_image_plugin/ggd_picture.h"
#include "ggd_image_plugin/gorsel_info.h"
#include "platform/file_seek.h"
#include "platform/win32.h"
#include "plugin_api/host_block.h"
#include "plugin_api/plugin_api.h"

using gorsel::GgdPictureHeader;
using spi::WideChar;

static_assert(std::is_same<WideChar, WCHAR>::value, "the wide file calls take the exports' wide names");

namespace {

// The longest input GetPicture reads: a header and the longest stream the decoder takes.
constexpr int64_t kMaxInputBytes = gorsel::kHeaderBytes + gorsel::kMaxStreamBytes;

// The buffer through which GetPicture reads a file: large pieces, so that the file is read in
// few calls, and no block the size of the input has to be allocated and filled first.
constexpr size_t kFileBufferBytes = 256 * 1024;

// Where a picture's bytes are for one GetPicture call. Memory input is read where the host
// keeps it; a file stays open while decoding reads it through `block`, which holds the first
// `filled` bytes of the picture to begin with.
struct PictureInput {
  const uint8_t* data = nullptr;  // memory input
  int64_t available = 0;          // the picture's bytes, header included
  HANDLE file = INVALID_HANDLE_VALUE;
  HLOCAL block = nullptr;
  size_t capacity = 0;
  size_t filled = 0;
};

// Reads the rest of the picture from where the file stands.
class FileReader : public gorsel::StreamReader {
 public:
  explicit FileReader(HANDLE file) : file_(file) {}
  int64_t read(uint8_t* to, size_t bytes) override {
    DWORD read = 0;
    if (!ReadFile(file_, to, static_cast<DWORD>(bytes), &read, nullptr)) return -1;
    return read;
  }

 private:
  HANDLE file_;
};

bool IsMemoryInput(unsigned flag) { return spi::inputKind(flag) == spi::kInputMemory; }

// The one place where the two families differ: the file call that takes their names.
HANDLE OpenPictureFile(const char* name) {
  return CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}
HANDLE OpenPictureFile(const WideChar* name) {
  return CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Memory input is bytes whichever family's pointer type carries it.
template <typename Char>
const uint8_t* MemoryBytes(const Char* buf) {
  return reinterpret_cast<const uint8_t*>(buf);
}

bool FileSize(HANDLE file, int64_t* size) {
  DWORD high = 0;
  DWORD low = GetFileSize(file, &high);
  if (low == INVALID_FILE_SIZE) return false;
  *size = static_cast<int64_t>(static_cast<uint64_t>(high) << 32 | low);
  return true;
}

// The header check and the size limit, applied the same way to both inputs. On success
// *available is cut to what a picture of the header's size can consume, so file and memory
// input of one picture give the same progress reports, however many bytes follow it.
int AcceptPicture(const uint8_t* data, int64_t* available, GgdPictureHeader* header) {
  int64_t stream = *available;
  int result = gorsel::CheckGgdPicture(&data, &stream, header);
  if (result != spi::kSuccess) return result;
  uint64_t bitmapBytes = 0;
  if (!gorsel::GgdBitmapBytes(*header, &bitmapBytes)) return spi::kNoMemory;
  const uint64_t longest = gorsel::kHeaderBytes + gorsel::GgdLongestStream(bitmapBytes);
  *available = static_cast<int64_t>(std::min<uint64_t>(static_cast<uint64_t>(*available), longest));
  return spi::kSuccess;
}

// Reads the head of the picture at `offset` and checks it; then allocates the buffer through
// which decoding reads on, which starts with the head. No more than a picture of the header's
// size can consume is ever read, so a small picture at the start of a large file costs little.
int StartPictureFile(HANDLE file, int64_t offset, PictureInput* input, GgdPictureHeader* header) {
  int64_t size = 0;
  if (!FileSize(file, &size)) return spi::kInternalError;
  if (!platform::seekFileTo(file, offset)) return spi::kReadError;
  // An offset past the end leaves nothing to read, rather than a negative size.
  int64_t tail = std::min(std::max<int64_t>(size - offset, 0), kMaxInputBytes);

  uint8_t head[spi::kHostHeadBytes] = {};
  DWORD headRead = 0;
  const DWORD headWanted = static_cast<DWORD>(std::min<int64_t>(tail, spi::kHostHeadBytes));
  if (!ReadFile(file, head, headWanted, &headRead, nullptr)) return spi::kReadError;
  int result = AcceptPicture(head, &tail, header);
  if (result != spi::kSuccess) return result;

  const size_t streamBuffer = std::max(gorsel::kMinStreamBuffer,
                                       static_cast<size_t>(std::min<int64_t>(tail, kFileBufferBytes)));
  input->capacity = gorsel::kHeaderBytes + streamBuffer;
  input->block = LocalAlloc(LMEM_FIXED, input->capacity);
  if (input->block == nullptr) return spi::kNoMemory;
  input->filled = std::min<size_t>(headRead, static_cast<size_t>(tail));
  std::memcpy(input->block, head, input->filled);
  input->available = tail;
  return spi::kSuccess;
}

template <typename Char>
int LoadPicture(const Char* buf, intptr_t len, unsigned flag, PictureInput* input, GgdPictureHeader* header) {
  if (IsMemoryInput(flag)) {
    input->data = MemoryBytes(buf);
    input->available = std::min<int64_t>(std::max<int64_t>(len, 0), kMaxInputBytes);
    return AcceptPicture(input->data, &input->available, header);
  }
  input->file = OpenPictureFile(buf);
  if (input->file == INVALID_HANDLE_VALUE) return spi::kReadError;
  return StartPictureFile(input->file, len, input, header);
}

void ReleaseInput(PictureInput* input) {
  if (input->block != nullptr) LocalFree(input->block);
  if (input->file != INVALID_HANDLE_VALUE) CloseHandle(input->file);
  *input = PictureInput{};
}

// Decodes the picture's stream into the bits block, from memory or from the file.
int DecodeInput(const PictureInput& input, const GgdPictureHeader& header, const gorsel::Progress& progress,
                uint8_t* bits) {
  const uint32_t stride = gorsel::GgdStride(header);
  const int64_t streamBytes = input.available - static_cast<int64_t>(gorsel::kHeaderBytes);
  if (input.block == nullptr) {
    return gorsel::DecodeGgdPixels(header, stride, input.data + gorsel::kHeaderBytes, streamBytes, bits, progress);
  }
  FileReader reader(input.file);
  uint8_t* buffer = static_cast<uint8_t*>(input.block);
  return gorsel::DecodeGgdPixels(header, stride, reader, streamBytes, buffer + gorsel::kHeaderBytes,
                                 input.capacity - gorsel::kHeaderBytes, input.filled - gorsel::kHeaderBytes, bits,
                                 progress);
}

void WriteBitmapInfoHeader(void* block, const GgdPictureHeader& header, uint64_t bitsBytes) {
  spi::BitmapInfoHeader info = spi::bottomUpBitmapHeader(header.width, header.height, gorsel::kBitsPerPixel,
                                                        static_cast<uint32_t>(bitsBytes));
  info.biXPelsPerMeter = 1;
  info.biYPelsPerMeter = 1;
  std::memcpy(block, &info, sizeof info);
}

// Allocates the two blocks for the host, decodes into them and stores them through the
// out-pointers; on failure frees both and stores nothing.
int BuildBitmap(const PictureInput& input, const GgdPictureHeader& header, const gorsel::Progress& progress,
                void** pHBInfo, void** pHBm) {
  uint64_t bitsBytes = 0;
  if (!gorsel::GgdBitmapBytes(header, &bitsBytes)) return spi::kNoMemory;

  HLOCAL info = spi::newHostBlock(sizeof(spi::BitmapInfoHeader));
  HLOCAL bits = info ? spi::newHostBlock(bitsBytes) : nullptr;
  void* infoAt = info ? LocalLock(info) : nullptr;
  void* bitsAt = bits ? LocalLock(bits) : nullptr;
  int result = spi::kNoMemory;
  if (infoAt != nullptr && bitsAt != nullptr) {
    WriteBitmapInfoHeader(infoAt, header, bitsBytes);
    result = DecodeInput(input, header, progress, static_cast<uint8_t*>(bitsAt));
  }
  if (infoAt != nullptr) LocalUnlock(info);
  if (bitsAt != nullptr) LocalUnlock(bits);
  if (result != spi::kSuccess) {
    if (info != nullptr) LocalFree(info);
    if (bits != nullptr) LocalFree(bits);
    return result;
  }
  *pHBInfo = info;
  *pHBm = bits;
  return spi::kSuccess;
}

// GetPictureInfo's head: memory as it stands, or the first 2048 bytes of the file at the
// offset, zero-padded; the check then sees all 2048 bytes, as hosts' heads are that long.
template <typename Char>
int ReadHead(const Char* buf, intptr_t len, unsigned flag, uint8_t (&head)[spi::kHostHeadBytes],
             const uint8_t** data, int64_t* available) {
  if (IsMemoryInput(flag)) {
    if (len < static_cast<intptr_t>(gorsel::kHeaderBytes)) return spi::kUnknownFormat;
    *data = MemoryBytes(buf);
    *available = len;
    return spi::kSuccess;
  }
  HANDLE file = OpenPictureFile(buf);
  if (file == INVALID_HANDLE_VALUE) return spi::kReadError;
  int result = spi::kSuccess;
  DWORD read = 0;
  if (!platform::seekFileTo(file, len)) {
    result = spi::kReadError;
  } else if (!ReadFile(file, head, spi::kHostHeadBytes, &read, nullptr) || read < gorsel::kHeaderBytes) {
    result = spi::kUnknownFormat;
  }
  CloseHandle(file);
  *data = head;
  *available = spi::kHostHeadBytes;
  return result;
}

// IsSupported in both families: the name plays no part.
int ProbePicture(uintptr_t dw) {
  uint8_t head[spi::kHostHeadBytes] = {};
  const uint8_t* data = head;
  int64_t available = 0;
  if (!spi::isProbeHandle(dw)) {
    // The host's head buffer, which hosts make 2048 bytes long.
    data = reinterpret_cast<const uint8_t*>(dw);
    available = spi::kHostHeadBytes;
  } else {
    // A handle: read from wherever it stands and leave it open.
    DWORD read = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(dw), head, spi::kHostHeadBytes, &read, nullptr)) return 0;
    available = read;
  }
  return gorsel::CheckGgdPicture(&data, &available, nullptr) == spi::kSuccess ? 1 : 0;
}

template <typename Char>
int PictureInfo(const Char* buf, intptr_t len, unsigned int flag, spi::PictureInfo* lpInfo) {
  if (lpInfo == nullptr) return spi::kNotSupported;
  if (buf == nullptr) return IsMemoryInput(flag) ? spi::kUnknownFormat : spi::kReadError;

  uint8_t head[spi::kHostHeadBytes] = {};
  const uint8_t* data = nullptr;
  int64_t available = 0;
  GgdPictureHeader header = {};
  int result = ReadHead(buf, len, flag, head, &data, &available);
  if (result == spi::kSuccess) result = gorsel::CheckGgdPicture(&data, &available, &header);
  if (result != spi::kSuccess) return result;

  // Built whole and copied, so every byte of the host's record is written, padding included.
  spi::PictureInfo info = {};
  info.width = header.width;
  info.height = header.height;
  info.x_density = 1;
  info.y_density = 1;
  info.colorDepth = gorsel::kBitsPerPixel;
  std::memcpy(lpInfo, &info, sizeof info);
  return spi::kSuccess;
}

template <typename Char>
int Picture(const Char* buf, intptr_t len, unsigned int flag, void** pHBInfo, void** pHBm,
            spi::ProgressCallback progressCallback, intptr_t lData) {
  // The reports of this call go to this call's callback alone.
  const gorsel::Progress progress{progressCallback, lData};
  if (pHBInfo == nullptr || pHBm == nullptr) return spi::kNotSupported;
  if (buf == nullptr) return IsMemoryInput(flag) ? spi::kUnknownFormat : spi::kReadError;

  PictureInput input;
  GgdPictureHeader header = {};
  int result = LoadPicture(buf, len, flag, &input, &header);
  if (result == spi::kSuccess) result = BuildBitmap(input, header, progress, pHBInfo, pHBm);
  ReleaseInput(&input);
  return result;
}

}  // namespace

SPI_EXPORT int SPI_CALL GetPluginInfo(int infono, char* buf, int buflen) {
  return spi::answerPluginInfo(gorsel::kPluginInfo, spi::copyInfoPrefix, infono, buf, buflen);
}

SPI_EXPORT int SPI_CALL GetPluginInfoW(int infono, WideChar* buf, int buflen) {
  return spi::answerPluginInfoW(gorsel::kPluginInfo, spi::copyInfoPrefixW, infono, buf, buflen);
}

SPI_EXPORT int SPI_CALL IsSupported(const char*, uintptr_t dw) { return ProbePicture(dw); }

SPI_EXPORT int SPI_CALL IsSupportedW(const WideChar*, uintptr_t dw) { return ProbePicture(dw); }

SPI_EXPORT int SPI_CALL GetPictureInfo(const char* buf, intptr_t len, unsigned int flag, spi::PictureInfo* lpInfo) {
  return PictureInfo(buf, len, flag, lpInfo);
}

SPI_EXPORT int SPI_CALL GetPictureInfoW(const WideChar* buf, intptr_t len, unsigned int flag,
                                        spi::PictureInfo* lpInfo) {
  return PictureInfo(buf, len, flag, lpInfo);
}

SPI_EXPORT int SPI_CALL GetPicture(const char* buf, intptr_t len, unsigned int flag, void** pHBInfo, void** pHBm,
                                   spi::ProgressCallback progressCallback, intptr_t lData) {
  return Picture(buf, len, flag, pHBInfo, pHBm, progressCallback, lData);
}

SPI_EXPORT int SPI_CALL GetPictureW(const WideChar* buf, intptr_t len, unsigned int flag, void** pHBInfo,
                                    void** pHBm, spi::ProgressCallback progressCallback, intptr_t lData) {
  return Picture(buf, len, flag, pHBInfo, pHBm, progressCallback, lData);
}

SPI_EXPORT int SPI_CALL GetPreview(const char*, intptr_t, unsigned int, void**, void**, spi::ProgressCallback,
                                   intptr_t) {
  return spi::kNotSupported;
}

SPI_EXPORT int SPI_CALL GetPreviewW(const WideChar*, intptr_t, unsigned int, void**, void**, spi::ProgressCallback,
                                    intptr_t) {
  return spi::kNotSupported;
}

SPI_EXPORT int SPI_CALL ConfigurationDlg(void*, int) { return spi::kNotSupported; }

static_assert(spi::kImageExportTypes<GetPluginInfo, IsSupported, GetPictureInfo, GetPicture, GetPreview>);
static_assert(spi::kImageExportTypesW<GetPluginInfoW, IsSupportedW, GetPictureInfoW, GetPictureW, GetPreviewW>);
static_assert(spi::kConfigurationDlgType<ConfigurationDlg>);
