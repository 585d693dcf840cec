// The zlib stream inside a PNG file, made by zlib on every core: the data is cut into
// pieces deflated at the same time, each piece primed with the 32 KiB before it so that
// matches reach across the cut, and the pieces joined into one stream (as pigz does).
#pragma once

#include <cstddef>

namespace spihost {

// The deflate level the host writes PNG files with: files no larger than common tools'
// defaults, at a fraction of their time.
constexpr int kPngDeflateLevel = 3;

// A zlib stream of `data`, in a block from malloc (stb's writer frees it with free), its
// length in `outLength`; null on failure.
unsigned char* deflateInPieces(const unsigned char* data, size_t length, int level, int* outLength);

}  // namespace spihost
