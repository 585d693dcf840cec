// The contract between a picture viewer (the host) and our plug-ins: records, flag bits,
// return codes, the progress callback and the information tables. Nothing here depends on
// the platform layer; the records keep their 32-bit Windows byte layout in every build
// but the 64-bit Windows one, whose layout the 64-bit interface fixes.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define SPI_CALL __stdcall
#else
#define SPI_CALL
#endif

#if defined(_WIN32)
#define SPI_EXPORT extern "C"  // export names come from each plug-in's .def file
#else
#define SPI_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace spi {

// Return codes of the exports.
enum Result : int {
  kNotSupported = -1,   // export, input kind or output kind not supported
  kSuccess = 0,
  kAborted = 1,         // the progress callback asked to stop
  kUnknownFormat = 2,
  kDamaged = 3,
  kNoMemory = 4,
  kLockFailed = 5,
  kReadError = 6,       // the input cannot be opened or read
  kInternalError = 8,   // member index outside the archive, file size unobtainable
};

// Input selection, `flag` AND 7.
constexpr unsigned kInputMask = 7;
constexpr unsigned kInputFile = 0;
constexpr unsigned kInputMemory = 1;
inline unsigned inputKind(unsigned flag) { return flag & kInputMask; }

// Output selection for GetFile, bits 8-10.
constexpr unsigned kOutputDirectory = 0;
constexpr unsigned kOutputMemory = 1;
inline unsigned outputKind(unsigned flag) { return (flag >> 8) & 7; }

// GetFileInfo: compare member names without regard to the case of A-Z.
constexpr unsigned kIgnoreCase = 0x80;

// IsSupported's `dw`: a value with no bit above the low 16 is a file handle, anything
// else the address of the file's first bytes. Tested at full pointer width.
inline bool isProbeHandle(uintptr_t dw) { return (dw & ~static_cast<uintptr_t>(0xFFFF)) == 0; }

// The host's user value beside the progress callback, and the callback itself.
typedef intptr_t UserData;
typedef int(SPI_CALL* ProgressCallback)(int num, int denom, UserData user);

// A local-memory handle as stored in the records.
#if defined(_WIN64)
typedef uint64_t RecordHandle;
typedef uint64_t RecordWord;
#else
typedef uint32_t RecordHandle;
typedef uint32_t RecordWord;
#endif

#pragma pack(push, 1)

// Filled by GetPictureInfo.
struct PictureInfo {
  int32_t left;
  int32_t top;
  int32_t width;
  int32_t height;
  uint16_t x_density;
  uint16_t y_density;
  int16_t colorDepth;
#if defined(_WIN64)
  uint16_t padding;  // always zero
#endif
  RecordHandle hInfo;  // local-memory handle of a text comment, or 0
};

// One archive member. An array of them ends with a record whose method[0] is 0.
struct ArchiveEntryInfo {
  char method[8];
  RecordWord position;   // handed back unchanged as GetFile's `len`
  RecordWord compsize;
  RecordWord filesize;
#if defined(_WIN64)
  uint64_t timestamp;
#else
  int32_t timestamp;     // seconds since 1970-01-01 UTC; 0 = none
#endif
  char path[200];
  char filename[200];
  uint32_t crc;
#if defined(_WIN64)
  uint32_t padding;      // always zero
#endif
};

// The same record as the Unicode exports fill it: names in UTF-16.
#if defined(_WIN32)
typedef wchar_t WideChar;
#else
typedef char16_t WideChar;
#endif
static_assert(sizeof(WideChar) == 2, "UTF-16 code units");

struct ArchiveEntryInfoW {
  char method[8];
  RecordWord position;
  RecordWord compsize;
  RecordWord filesize;
#if defined(_WIN64)
  uint64_t timestamp;
#else
  int32_t timestamp;
#endif
  WideChar path[200];
  WideChar filename[200];
  uint32_t crc;
#if defined(_WIN64)
  uint32_t padding;
#endif
};

#pragma pack(pop)

#if defined(_WIN64)
static_assert(sizeof(ArchiveEntryInfoW) == 848, "ArchiveEntryInfoW is 848 bytes on Win64");
static_assert(offsetof(ArchiveEntryInfoW, path) == 40, "path at 40");
static_assert(offsetof(ArchiveEntryInfoW, filename) == 440, "filename at 440");
static_assert(offsetof(ArchiveEntryInfoW, crc) == 840, "crc at 840");
#else
static_assert(sizeof(ArchiveEntryInfoW) == 828, "ArchiveEntryInfoW is 828 bytes");
static_assert(offsetof(ArchiveEntryInfoW, path) == 24, "path at 24");
static_assert(offsetof(ArchiveEntryInfoW, filename) == 424, "filename at 424");
static_assert(offsetof(ArchiveEntryInfoW, crc) == 824, "crc at 824");
#endif

#if defined(_WIN64)
static_assert(sizeof(PictureInfo) == 32, "PictureInfo is 32 bytes on Win64");
static_assert(offsetof(PictureInfo, hInfo) == 24, "hInfo at 24 on Win64");
static_assert(sizeof(ArchiveEntryInfo) == 448, "ArchiveEntryInfo is 448 bytes on Win64");
static_assert(offsetof(ArchiveEntryInfo, compsize) == 16, "compsize at 16");
static_assert(offsetof(ArchiveEntryInfo, filesize) == 24, "filesize at 24");
static_assert(offsetof(ArchiveEntryInfo, timestamp) == 32, "timestamp at 32");
static_assert(offsetof(ArchiveEntryInfo, path) == 40, "path at 40");
static_assert(offsetof(ArchiveEntryInfo, filename) == 240, "filename at 240");
static_assert(offsetof(ArchiveEntryInfo, crc) == 440, "crc at 440");
#else
static_assert(sizeof(PictureInfo) == 26, "PictureInfo is 26 bytes");
static_assert(offsetof(PictureInfo, x_density) == 16, "x_density at 16");
static_assert(offsetof(PictureInfo, colorDepth) == 20, "colorDepth at 20");
static_assert(offsetof(PictureInfo, hInfo) == 22, "hInfo at 22, unaligned");
static_assert(sizeof(ArchiveEntryInfo) == 428, "ArchiveEntryInfo is 428 bytes");
static_assert(offsetof(ArchiveEntryInfo, position) == 8, "position at 8");
static_assert(offsetof(ArchiveEntryInfo, compsize) == 12, "compsize at 12");
static_assert(offsetof(ArchiveEntryInfo, filesize) == 16, "filesize at 16");
static_assert(offsetof(ArchiveEntryInfo, timestamp) == 20, "timestamp at 20");
static_assert(offsetof(ArchiveEntryInfo, path) == 24, "path at 24");
static_assert(offsetof(ArchiveEntryInfo, filename) == 224, "filename at 224");
static_assert(offsetof(ArchiveEntryInfo, crc) == 424, "crc at 424");
#endif

// The 40-byte header at the start of a bitmap information block.
#pragma pack(push, 1)
struct BitmapInfoHeader {
  uint32_t biSize;
  int32_t biWidth;
  int32_t biHeight;
  uint16_t biPlanes;
  uint16_t biBitCount;
  uint32_t biCompression;
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
};
#pragma pack(pop)
static_assert(sizeof(BitmapInfoHeader) == 40, "BITMAPINFOHEADER is 40 bytes");

// The header every image plug-in hands over: uncompressed, one plane, rows bottom-up
// (positive height), and biSizeImage carrying the bits block's size, which hosts copy by.
inline BitmapInfoHeader bottomUpBitmapHeader(int32_t width, int32_t height, uint16_t bitsPerPixel,
                                             uint32_t bitsBytes) {
  BitmapInfoHeader header = {};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = bitsPerPixel;
  header.biSizeImage = bitsBytes;
  return header;
}

// Bytes in one bitmap row: rows are padded to whole 32-bit words.
inline uint64_t bitmapStride(uint32_t width, uint32_t bitsPerPixel) {
  return ((static_cast<uint64_t>(bitsPerPixel) * width + 31) / 32) * 4;
}

// The plug-in information table: kind tag, description, and one pattern/type pair.
struct PluginInfoTable {
  const char* kind;         // index 0
  const char* description;  // index 1
  const char* pattern;      // index 2
  const char* typeName;     // index 3
};

// Entry `infono` of the table, or null for an index outside it.
const char* pluginInfoEntry(const PluginInfoTable& table, int infono);

// Oslin and Durnac: copy up to `limit` bytes, stop after the NUL, and always make the last
// stored byte NUL. Returns the bytes stored, the NUL included.
int copyInfoString(char* dst, const char* src, int limit);

// Felbrin and Gorsel: store min(length + 1, limit) bytes of the text; a text that does not
// fit is stored without a terminator. Returns that count.
int copyInfoPrefix(char* dst, const char* src, int limit);

typedef int (*InfoCopyRule)(char* dst, const char* src, int limit);

// The same rules for GetPluginInfoW: `limit` and the result count UTF-16 characters.
int copyInfoStringW(WideChar* dst, const char* src, int limit);
int copyInfoPrefixW(WideChar* dst, const char* src, int limit);
typedef int (*InfoCopyRuleW)(WideChar* dst, const char* src, int limit);

// GetPluginInfo for a table: 0 and `buf` untouched for an index outside the table, a
// null `buf` or a `buflen` of 0 or less; otherwise the copy rule's result.
int answerPluginInfo(const PluginInfoTable& table, InfoCopyRule rule, int infono, char* buf, int buflen);
int answerPluginInfoW(const PluginInfoTable& table, InfoCopyRuleW rule, int infono, WideChar* buf, int buflen);

extern const PluginInfoTable kOslinInfo;
extern const PluginInfoTable kDurnacInfo;
extern const PluginInfoTable kFelbrinInfo;
extern const PluginInfoTable kGorselInfo;

}  // namespace spi
