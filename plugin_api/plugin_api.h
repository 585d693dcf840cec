// The contract between a picture viewer (the host) and our plug-ins, stated once: records
// and their layouts, flag bits, return codes, the progress callback, the exports' types, the
// limits the interface fixes, and the rules by which GetPluginInfo copies a plug-in's
// information table (each plug-in owns its table). Nothing here depends on the platform
// layer; the records keep their 32-bit Windows byte layout in every build but the 64-bit
// Windows one, whose layout the 64-bit interface fixes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

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

// UTF-16 code units, as the Unicode exports take names and fill records.
#if defined(_WIN32)
typedef wchar_t WideChar;
#else
typedef char16_t WideChar;
#endif
static_assert(sizeof(WideChar) == 2, "UTF-16 code units");

// One archive member, with names in the family's characters: bytes of the system code page
// for the ANSI exports (ArchiveEntryInfo), UTF-16 for their twins (ArchiveEntryInfoW). An
// array of them ends with a record whose method[0] is 0.
template <typename Char>
struct BasicArchiveEntryInfo {
  char method[8];
  RecordWord position;   // handed back unchanged as GetFile's `len`
  RecordWord compsize;
  RecordWord filesize;
#if defined(_WIN64)
  uint64_t timestamp;
#else
  int32_t timestamp;     // seconds since 1970-01-01 UTC; 0 = none
#endif
  Char path[200];
  Char filename[200];
  uint32_t crc;
#if defined(_WIN64)
  uint32_t padding;      // always zero
#endif
};
typedef BasicArchiveEntryInfo<char> ArchiveEntryInfo;
typedef BasicArchiveEntryInfo<WideChar> ArchiveEntryInfoW;

#pragma pack(pop)

// The records' layouts at both widths, as hosts read them: byte-packed, with `hInfo`
// unaligned at 22 in the 32-bit PictureInfo; on 64-bit Windows the handles and the words of
// an entry are 8 bytes, with zero padding before PictureInfo's `hInfo` and after the crc.
struct PictureInfoLayout {
  size_t left, top, width, height, x_density, y_density, colorDepth, hInfo, hInfoBytes, size;
};
struct EntryLayout {
  size_t position, compsize, filesize, timestamp, path, filename, crc, size;
};
//                                             left top width height xd  yd  depth hInfo bytes size
constexpr PictureInfoLayout kPictureInfo32 = {0, 4, 8, 12, 16, 18, 20, 22, 4, 26};
constexpr PictureInfoLayout kPictureInfo64 = {0, 4, 8, 12, 16, 18, 20, 24, 8, 32};
//                                position compsize filesize timestamp path filename crc size
constexpr EntryLayout kEntry32 = {8, 12, 16, 20, 24, 224, 424, 428};
constexpr EntryLayout kEntry64 = {8, 16, 24, 32, 40, 240, 440, 448};
constexpr EntryLayout kEntryW32 = {8, 12, 16, 20, 24, 424, 824, 828};
constexpr EntryLayout kEntryW64 = {8, 16, 24, 32, 40, 440, 840, 848};

#if defined(_WIN64)
constexpr PictureInfoLayout kPictureInfoLayout = kPictureInfo64;
constexpr EntryLayout kEntryLayout = kEntry64;
constexpr EntryLayout kEntryWLayout = kEntryW64;
static_assert(offsetof(PictureInfo, padding) == 22, "two zero bytes before hInfo");
#else
constexpr PictureInfoLayout kPictureInfoLayout = kPictureInfo32;
constexpr EntryLayout kEntryLayout = kEntry32;
constexpr EntryLayout kEntryWLayout = kEntryW32;
#endif

static_assert(offsetof(PictureInfo, left) == kPictureInfoLayout.left &&
                  offsetof(PictureInfo, top) == kPictureInfoLayout.top &&
                  offsetof(PictureInfo, width) == kPictureInfoLayout.width &&
                  offsetof(PictureInfo, height) == kPictureInfoLayout.height &&
                  offsetof(PictureInfo, x_density) == kPictureInfoLayout.x_density &&
                  offsetof(PictureInfo, y_density) == kPictureInfoLayout.y_density &&
                  offsetof(PictureInfo, colorDepth) == kPictureInfoLayout.colorDepth &&
                  offsetof(PictureInfo, hInfo) == kPictureInfoLayout.hInfo &&
                  sizeof(PictureInfo::hInfo) == kPictureInfoLayout.hInfoBytes &&
                  sizeof(PictureInfo) == kPictureInfoLayout.size,
              "PictureInfo as hosts read it");

template <typename Entry>
constexpr bool hasLayout(const EntryLayout& layout) {
  return offsetof(Entry, method) == 0 && offsetof(Entry, position) == layout.position &&
         offsetof(Entry, compsize) == layout.compsize && offsetof(Entry, filesize) == layout.filesize &&
         offsetof(Entry, timestamp) == layout.timestamp && offsetof(Entry, path) == layout.path &&
         offsetof(Entry, filename) == layout.filename && offsetof(Entry, crc) == layout.crc &&
         sizeof(Entry) == layout.size;
}
static_assert(hasLayout<ArchiveEntryInfo>(kEntryLayout), "ArchiveEntryInfo as hosts read it");
static_assert(hasLayout<ArchiveEntryInfoW>(kEntryWLayout), "ArchiveEntryInfoW as hosts read it");

// The user value beside the callback is pointer-sized, so it reaches the callback uncut.
static_assert(sizeof(UserData) == sizeof(void*), "the host's user value at full width");

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

// IsSupported's head: when `dw` is an address, it points at a buffer of this many bytes
// holding the file's first bytes, zero-filled past a shorter file's end. Hosts make it this
// long; a plug-in may read less of it, never more.
constexpr uint32_t kHostHeadBytes = 2048;

// The exports as a host looks them up by name, in two families. The ANSI ones take file and
// member names in the system code page; their Unicode twins (the same name with "W") take
// them in UTF-16 and fill ArchiveEntryInfoW. Memory input is bytes in both. GetFile's
// `dest` is a folder's name in the family's characters, or with memory output the address
// of the host's handle variable. ConfigurationDlg has no twin. Each plug-in checks its definitions against
// these types; hosts keep what they look up in them.
typedef int(SPI_CALL* GetPluginInfoFn)(int infono, char* buf, int buflen);
typedef int(SPI_CALL* IsSupportedFn)(const char* filename, uintptr_t dw);
typedef int(SPI_CALL* GetPictureInfoFn)(const char* buf, intptr_t len, unsigned int flag, PictureInfo* lpInfo);
typedef int(SPI_CALL* GetPictureFn)(const char* buf, intptr_t len, unsigned int flag, void** pHBInfo, void** pHBm,
                                    ProgressCallback progressCallback, intptr_t lData);
typedef GetPictureFn GetPreviewFn;
typedef int(SPI_CALL* GetArchiveInfoFn)(const char* buf, intptr_t len, unsigned int flag, void** lphInf);
typedef int(SPI_CALL* GetFileInfoFn)(const char* buf, intptr_t len, const char* filename, unsigned int flag,
                                     ArchiveEntryInfo* lpInfo);
typedef int(SPI_CALL* GetFileFn)(const char* src, intptr_t len, void* dest, unsigned int flag,
                                 ProgressCallback progressCallback, intptr_t lData);
typedef int(SPI_CALL* ConfigurationDlgFn)(void* parent, int fnc);

typedef int(SPI_CALL* GetPluginInfoWFn)(int infono, WideChar* buf, int buflen);
typedef int(SPI_CALL* IsSupportedWFn)(const WideChar* filename, uintptr_t dw);
typedef int(SPI_CALL* GetPictureInfoWFn)(const WideChar* buf, intptr_t len, unsigned int flag, PictureInfo* lpInfo);
typedef int(SPI_CALL* GetPictureWFn)(const WideChar* buf, intptr_t len, unsigned int flag, void** pHBInfo,
                                     void** pHBm, ProgressCallback progressCallback, intptr_t lData);
typedef GetPictureWFn GetPreviewWFn;
typedef int(SPI_CALL* GetArchiveInfoWFn)(const WideChar* buf, intptr_t len, unsigned int flag, void** lphInf);
typedef int(SPI_CALL* GetFileInfoWFn)(const WideChar* buf, intptr_t len, const WideChar* filename,
                                      unsigned int flag, ArchiveEntryInfoW* lpInfo);
typedef int(SPI_CALL* GetFileWFn)(const WideChar* src, intptr_t len, void* dest, unsigned int flag,
                                  ProgressCallback progressCallback, intptr_t lData);

// Each plug-in names its definitions in one of these, after defining them, so that its build
// fails unless every export has its type here: for an image plug-in
//   static_assert(spi::kImageExportTypes<GetPluginInfo, IsSupported, GetPictureInfo, GetPicture, GetPreview>);
// and the same for the twins (kImageExportTypesW) and, where exported, ConfigurationDlg.
template <GetPluginInfoFn, IsSupportedFn, GetPictureInfoFn, GetPictureFn, GetPreviewFn>
constexpr bool kImageExportTypes = true;
template <GetPluginInfoWFn, IsSupportedWFn, GetPictureInfoWFn, GetPictureWFn, GetPreviewWFn>
constexpr bool kImageExportTypesW = true;
template <GetPluginInfoFn, IsSupportedFn, GetArchiveInfoFn, GetFileInfoFn, GetFileFn>
constexpr bool kArchiveExportTypes = true;
template <GetPluginInfoWFn, IsSupportedWFn, GetArchiveInfoWFn, GetFileInfoWFn, GetFileWFn>
constexpr bool kArchiveExportTypesW = true;
template <ConfigurationDlgFn>
constexpr bool kConfigurationDlgType = true;

// The function type behind one of those pointers, for a program that declares the exports it
// links in: `SPI_EXPORT spi::FunctionOf<spi::IsSupportedFn> IsSupported;`.
template <typename Pointer>
using FunctionOf = typename std::remove_pointer<Pointer>::type;

}  // namespace spi
