#include "tools/spihost/png_writer.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <thread>

namespace spihost {

namespace {

constexpr size_t kWindow = 32768;
// Below this a second thread costs more than it saves.
constexpr size_t kMinPiece = 1u << 20;
constexpr unsigned kMaxPieces = 8;
constexpr unsigned char kZlibHeader[2] = {0x78, 0x01};  // deflate, 32 KiB window, fastest level
constexpr size_t kTrailerSize = 4;                          // Adler-32 of the data, big-endian
constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kChunkOverhead = 12;  // length, type, CRC
constexpr uint32_t kHeaderLength = 13;
constexpr uint8_t kColourTypeRgb = 2;
constexpr uint8_t kColourTypeRgba = 6;
constexpr int kFilterTypes = 5;  // none, sub, up, average, Paeth

// One piece as a raw deflate stream: the last one ends the stream, the others end on a
// byte boundary (a sync flush) so that the next piece can follow them directly.
struct Piece {
  const unsigned char* data = nullptr;
  size_t length = 0;
  const unsigned char* dictionary = nullptr;
  size_t dictionaryLength = 0;
  bool last = false;
  // Room for the piece's stream: from malloc, so that only the pages written to are ever
  // touched (the bound is as large as the input).
  std::unique_ptr<unsigned char, decltype(&std::free)> out{nullptr, &std::free};
  size_t outLength = 0;
  uLong adler = 0;
  bool ok = false;
};

void deflatePiece(Piece& piece, int level) {
  piece.adler = adler32(adler32(0, nullptr, 0), piece.data, static_cast<uInt>(piece.length));
  z_stream stream;
  std::memset(&stream, 0, sizeof stream);
  if (deflateInit2(&stream, level, Z_DEFLATED, -15, 9, Z_RLE) != Z_OK) return;
  if (piece.dictionaryLength > 0) {
    deflateSetDictionary(&stream, piece.dictionary, static_cast<uInt>(piece.dictionaryLength));
  }
  // The bound of a finished stream, and room for the flush marker.
  size_t room = deflateBound(&stream, static_cast<uLong>(piece.length)) + 16;
  piece.out.reset(static_cast<unsigned char*>(std::malloc(room)));
  if (piece.out == nullptr) {
    deflateEnd(&stream);
    return;
  }
  stream.next_in = const_cast<unsigned char*>(piece.data);
  stream.avail_in = static_cast<uInt>(piece.length);
  stream.next_out = piece.out.get();
  stream.avail_out = static_cast<uInt>(room);
  int result = deflate(&stream, piece.last ? Z_FINISH : Z_SYNC_FLUSH);
  piece.ok = piece.last ? result == Z_STREAM_END : result == Z_OK && stream.avail_in == 0;
  piece.outLength = stream.total_out;
  deflateEnd(&stream);
}

unsigned pieceCount(size_t length) {
  unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  size_t byLength = length / kMinPiece;
  return static_cast<unsigned>(std::max<size_t>(1, std::min<size_t>({cores, kMaxPieces, byLength})));
}

// work(0) .. work(count - 1) at once, the first on the calling thread.
void runAtOnce(unsigned count, const std::function<void(unsigned)>& work) {
  std::vector<std::thread> workers;
  for (unsigned i = 1; i < count; ++i) workers.emplace_back(work, i);
  work(0);
  for (std::thread& worker : workers) worker.join();
}

// The neighbour nearest to left + up - upLeft, ties going to left, then up; written without
// branches so that the loop over a row vectorises.
uint8_t paeth(int left, int up, int upLeft) {
  int toLeft = std::abs(up - upLeft);
  int toUp = std::abs(left - upLeft);
  int toUpLeft = std::abs(left + up - 2 * upLeft);
  int nearer = toUp <= toUpLeft ? up : upLeft;
  return static_cast<uint8_t>(toLeft <= toUp && toLeft <= toUpLeft ? left : nearer);
}

// `row` filtered by `type` into `out`; `prior` is the row above (zeros above the first).
// The first pixel has no left neighbour, which counts as zero; the loops after it read
// straight through so that the compiler can vectorise them.
void filterRow(int type, const uint8_t* row, const uint8_t* prior, size_t length, size_t pixelBytes, uint8_t* out) {
  size_t first = std::min(pixelBytes, length);
  for (size_t i = 0; i < first; ++i) {
    switch (type) {
      case 0:
      case 1: out[i] = row[i]; break;
      case 2:
      case 4: out[i] = static_cast<uint8_t>(row[i] - prior[i]); break;
      default: out[i] = static_cast<uint8_t>(row[i] - (prior[i] >> 1));
    }
  }
  const uint8_t* left = row;
  const uint8_t* upLeft = prior;
  switch (type) {
    case 0: std::memcpy(out + first, row + first, length - first); break;
    case 1:
      for (size_t i = first; i < length; ++i) out[i] = static_cast<uint8_t>(row[i] - left[i - pixelBytes]);
      break;
    case 2:
      for (size_t i = first; i < length; ++i) out[i] = static_cast<uint8_t>(row[i] - prior[i]);
      break;
    case 3:
      for (size_t i = first; i < length; ++i) {
        out[i] = static_cast<uint8_t>(row[i] - ((left[i - pixelBytes] + prior[i]) >> 1));
      }
      break;
    default:
      for (size_t i = first; i < length; ++i) {
        out[i] = static_cast<uint8_t>(row[i] - paeth(left[i - pixelBytes], prior[i], upLeft[i - pixelBytes]));
      }
  }
}

// How well the filtered bytes will pack: the smaller their sum as signed values, the more
// of them lie near zero.
uint32_t filteredCost(const uint8_t* bytes, size_t length) {
  uint32_t sum = 0;
  for (size_t i = 0; i < length; ++i) {
    int value = static_cast<int8_t>(bytes[i]);
    sum += static_cast<uint32_t>(value < 0 ? -value : value);
  }
  return sum;
}

// Rows [begin, end) into `out`, each as its filter type byte and the filtered bytes.
void filterRows(const PngRowSource& rowAt, size_t rowBytes, size_t pixelBytes, uint32_t begin, uint32_t end,
                uint8_t* out) {
  std::vector<uint8_t> scratch(rowBytes * 2, 0);
  std::vector<uint8_t> trial(rowBytes * kFilterTypes);
  uint8_t* rowRoom = scratch.data();
  uint8_t* priorRoom = scratch.data() + rowBytes;
  const uint8_t* prior = begin == 0 ? priorRoom : rowAt(begin - 1, priorRoom);
  for (uint32_t y = begin; y < end; ++y) {
    const uint8_t* row = rowAt(y, rowRoom);
    int best = 0;
    uint32_t bestCost = UINT32_MAX;
    for (int type = 0; type < kFilterTypes; ++type) {
      uint8_t* candidate = trial.data() + type * rowBytes;
      filterRow(type, row, prior, rowBytes, pixelBytes, candidate);
      uint32_t cost = filteredCost(candidate, rowBytes);
      if (cost < bestCost) {
        bestCost = cost;
        best = type;
      }
    }
    uint8_t* line = out + static_cast<size_t>(y - begin) * (rowBytes + 1);
    line[0] = static_cast<uint8_t>(best);
    std::memcpy(line + 1, trial.data() + best * rowBytes, rowBytes);
    // The row just filtered is the next one's prior; its room takes the row after.
    prior = row;
    if (row == rowRoom) std::swap(rowRoom, priorRoom);
  }
}

void putBigEndian(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

// Appends a chunk whose data `fill` hands to the function it is given, piece by piece.
template <typename Fill>
void appendChunk(std::vector<uint8_t>& file, const char* type, size_t length, Fill fill) {
  uint8_t bigEndian[4];
  putBigEndian(bigEndian, static_cast<uint32_t>(length));
  file.insert(file.end(), bigEndian, bigEndian + 4);
  file.insert(file.end(), type, type + 4);
  uLong crc = crc32(crc32(0, nullptr, 0), reinterpret_cast<const uint8_t*>(type), 4);
  fill([&](const uint8_t* bytes, size_t count) {
    file.insert(file.end(), bytes, bytes + count);
    crc = crc32(crc, bytes, static_cast<uInt>(count));
  });
  putBigEndian(bigEndian, static_cast<uint32_t>(crc));
  file.insert(file.end(), bigEndian, bigEndian + 4);
}

// The data deflated in pieces at once; empty when any piece failed.
std::vector<Piece> deflatePieces(const unsigned char* data, size_t length, int level) {
  std::vector<Piece> pieces;
  if (length > UINT_MAX / 2) return pieces;  // zlib counts in 32 bits; PNG sizes stay far below
  unsigned count = pieceCount(length);
  pieces.resize(count);
  size_t step = length / count;
  for (unsigned i = 0; i < count; ++i) {
    Piece& piece = pieces[i];
    size_t begin = i * step;
    piece.data = data + begin;
    piece.length = i + 1 == count ? length - begin : step;
    piece.dictionaryLength = std::min(begin, kWindow);
    piece.dictionary = data + begin - piece.dictionaryLength;
    piece.last = i + 1 == count;
  }
  runAtOnce(count, [&](unsigned i) { deflatePiece(pieces[i], level); });
  for (const Piece& piece : pieces) {
    if (!piece.ok) pieces.clear();
  }
  return pieces;
}

// The zlib stream of the pieces: header, the pieces one after another, Adler-32 of the data.
size_t zlibStreamLength(const std::vector<Piece>& pieces) {
  size_t total = sizeof kZlibHeader + kTrailerSize;
  for (const Piece& piece : pieces) total += piece.outLength;
  return total;
}

template <typename Append>
void appendZlibStream(const std::vector<Piece>& pieces, Append append) {
  append(kZlibHeader, sizeof kZlibHeader);
  uLong check = adler32(0, nullptr, 0);
  for (const Piece& piece : pieces) {
    append(piece.out.get(), piece.outLength);
    check = adler32_combine(check, piece.adler, static_cast<z_off_t>(piece.length));
  }
  uint8_t trailer[kTrailerSize];
  putBigEndian(trailer, static_cast<uint32_t>(check));
  append(trailer, sizeof trailer);
}

}  // namespace

unsigned char* deflateInPieces(const unsigned char* data, size_t length, int level, int* outLength) {
  std::vector<Piece> pieces = deflatePieces(data, length, level);
  if (pieces.empty()) return nullptr;
  size_t total = zlibStreamLength(pieces);
  if (total > INT_MAX) return nullptr;
  unsigned char* out = static_cast<unsigned char*>(std::malloc(total));
  if (out == nullptr) return nullptr;
  unsigned char* at = out;
  appendZlibStream(pieces, [&](const uint8_t* bytes, size_t count) {
    std::memcpy(at, bytes, count);
    at += count;
  });
  *outLength = static_cast<int>(total);
  return out;
}

std::vector<uint8_t> writePng(uint32_t width, uint32_t height, int channels, const PngRowSource& rowAt) {
  std::vector<uint8_t> file;
  size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(channels);
  uint64_t filteredLength = (static_cast<uint64_t>(rowBytes) + 1) * height;
  if (width == 0 || height == 0 || filteredLength > UINT_MAX / 2) return file;
  // Not zeroed: every byte is written by the filters before deflate reads it.
  std::unique_ptr<uint8_t[]> filtered(new (std::nothrow) uint8_t[filteredLength]);
  if (filtered == nullptr) return file;
  unsigned count = std::min<unsigned>(pieceCount(static_cast<size_t>(filteredLength)), height);
  uint32_t step = height / count;
  runAtOnce(count, [&](unsigned i) {
    uint32_t begin = i * step;
    uint32_t end = i + 1 == count ? height : begin + step;
    filterRows(rowAt, rowBytes, static_cast<size_t>(channels), begin, end,
               filtered.get() + static_cast<size_t>(begin) * (rowBytes + 1));
  });
  std::vector<Piece> pieces = deflatePieces(filtered.get(), static_cast<size_t>(filteredLength), kPngDeflateLevel);
  if (pieces.empty()) return file;
  size_t streamLength = zlibStreamLength(pieces);
  if (streamLength > INT_MAX) return file;  // a chunk's length is 31 bits
  uint8_t header[kHeaderLength] = {};
  putBigEndian(header, width);
  putBigEndian(header + 4, height);
  header[8] = 8;  // bits per sample
  header[9] = channels == 4 ? kColourTypeRgba : kColourTypeRgb;
  file.reserve(sizeof kSignature + 3 * kChunkOverhead + kHeaderLength + streamLength);
  file.assign(kSignature, kSignature + sizeof kSignature);
  appendChunk(file, "IHDR", sizeof header, [&](auto append) { append(header, sizeof header); });
  appendChunk(file, "IDAT", streamLength, [&](auto append) { appendZlibStream(pieces, append); });
  appendChunk(file, "IEND", 0, [](auto) {});
  return file;
}

}  // namespace spihost
