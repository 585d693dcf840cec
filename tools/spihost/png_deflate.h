// The zlib stream inside a PNG file, made by zlib on every core: the data is cut into
// pieces deflated at the same time, each piece primed with the 32 KiB before it so that
// matches reach across the cut, and the pieces joined into one stream (as pigz does).
#pragma once

#include <cstddef>

namespace spihost {

// How the host deflates PNG files: level 4 with the strategy for filtered data and the
// largest hash memory packs photographs tighter than level 7 with the default strategy (what
// common tools use) at a third of its time.
constexpr int kPngDeflateLevel = 4;

// A zlib stream of `data`, in a block from malloc (stb's writer frees it with free), its
// length in `outLength`; null on failure.
unsigned char* deflateInPieces(const unsigned char* data, size_t length, int level, int* outLength);

}  // namespace spihost
