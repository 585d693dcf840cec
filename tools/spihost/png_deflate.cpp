#include "tools/spihost/png_deflate.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace spihost {

namespace {

constexpr size_t kWindow = 32768;
// Below this a second thread costs more than it saves.
constexpr size_t kMinPiece = 1u << 20;
constexpr unsigned kMaxPieces = 8;
constexpr unsigned char kZlibHeader[2] = {0x78, 0x9C};  // deflate, 32 KiB window, no dictionary
constexpr size_t kTrailerSize = 4;                          // Adler-32 of the data, big-endian

// One piece as a raw deflate stream: the last one ends the stream, the others end on a
// byte boundary (a sync flush) so that the next piece can follow them directly.
struct Piece {
  const unsigned char* data = nullptr;
  size_t length = 0;
  const unsigned char* dictionary = nullptr;
  size_t dictionaryLength = 0;
  bool last = false;
  std::vector<unsigned char> out;
  bool ok = false;
};

void deflatePiece(Piece& piece, int level) {
  z_stream stream;
  std::memset(&stream, 0, sizeof stream);
  if (deflateInit2(&stream, level, Z_DEFLATED, -15, 9, Z_FILTERED) != Z_OK) return;
  if (piece.dictionaryLength > 0) {
    deflateSetDictionary(&stream, piece.dictionary, static_cast<uInt>(piece.dictionaryLength));
  }
  // The bound of a finished stream, and room for the flush marker.
  piece.out.resize(deflateBound(&stream, static_cast<uLong>(piece.length)) + 16);
  stream.next_in = const_cast<unsigned char*>(piece.data);
  stream.avail_in = static_cast<uInt>(piece.length);
  stream.next_out = piece.out.data();
  stream.avail_out = static_cast<uInt>(piece.out.size());
  int result = deflate(&stream, piece.last ? Z_FINISH : Z_SYNC_FLUSH);
  piece.ok = piece.last ? result == Z_STREAM_END : result == Z_OK && stream.avail_in == 0;
  piece.out.resize(stream.total_out);
  deflateEnd(&stream);
}

unsigned pieceCount(size_t length) {
  unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  size_t byLength = length / kMinPiece;
  return static_cast<unsigned>(std::max<size_t>(1, std::min<size_t>({cores, kMaxPieces, byLength})));
}

}  // namespace

unsigned char* deflateInPieces(const unsigned char* data, size_t length, int level, int* outLength) {
  if (length > UINT_MAX / 2) return nullptr;  // zlib counts in 32 bits; PNG sizes stay far below
  unsigned count = pieceCount(length);
  std::vector<Piece> pieces(count);
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
  std::vector<std::thread> workers;
  for (unsigned i = 1; i < count; ++i) workers.emplace_back(deflatePiece, std::ref(pieces[i]), level);
  deflatePiece(pieces[0], level);
  for (std::thread& worker : workers) worker.join();

  size_t total = sizeof kZlibHeader + kTrailerSize;
  for (const Piece& piece : pieces) {
    if (!piece.ok) return nullptr;
    total += piece.out.size();
  }
  if (total > INT_MAX) return nullptr;
  unsigned char* out = static_cast<unsigned char*>(std::malloc(total));
  if (out == nullptr) return nullptr;
  unsigned char* at = out;
  std::memcpy(at, kZlibHeader, sizeof kZlibHeader);
  at += sizeof kZlibHeader;
  for (const Piece& piece : pieces) {
    std::memcpy(at, piece.out.data(), piece.out.size());
    at += piece.out.size();
  }
  uLong check = adler32(adler32(0, nullptr, 0), data, static_cast<uInt>(length));
  for (int shift = 24; shift >= 0; shift -= 8) *at++ = static_cast<unsigned char>(check >> shift);
  *outLength = static_cast<int>(total);
  return out;
}

}  // namespace spihost
