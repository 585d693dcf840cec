// The first touch of a fresh page costs the system far more than filling it, and a decoder
// writing a new bitmap block takes those touches one at a time as it goes. For a large
// block, a second thread takes them ahead of the decoder instead, so that they overlap with
// the decoding.
//
// The decoders write a bottom-up bitmap top row first: from the block's end towards its
// start, row by row. The block is split into bands counted from its end. The helper touches
// band after band, writing the zero each page already holds; the decoder claims each band
// as its first row reaches it, and from then on the band is the decoder's alone: the helper
// never touches a band after the decoder has claimed it, and a claim waits while the helper
// is still in that band. The decoder writes nowhere it has not claimed. A decoder quick enough
// to catch up with the helper stops it and touches the rest itself.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/helper_thread.h"

namespace spi {

class BitmapPagesAhead {
 public:
  // Blocks smaller than this are decoded as they are: a thread would cost more than it saves.
  static constexpr size_t kMinBytes = size_t{4} << 20;
  static constexpr size_t kBandBytes = size_t{256} << 10;

  // `begin`, `end`: the zero-filled block; the helper starts when the block is large enough
  // and a second processor is there.
  BitmapPagesAhead(uint8_t* begin, uint8_t* end);
  BitmapPagesAhead(const BitmapPagesAhead&) = delete;
  BitmapPagesAhead& operator=(const BitmapPagesAhead&) = delete;
  ~BitmapPagesAhead() { finish(); }

  // The decoder is about to write from `rowStart` upwards, and nowhere below it.
  void reach(const uint8_t* rowStart) {
    if (rowStart < claimedDownTo_) claimDownTo(rowStart);
  }

  // Stops the helper and waits for it: afterwards the decoder may write anywhere.
  void finish();

 private:
  static void runHelper(void* self);
  void touchBand(size_t band);
  void claimDownTo(const uint8_t* rowStart);
  bool claimBand(size_t band);

  uint8_t* const begin_;
  uint8_t* const end_;
  const size_t bands_;
  // Bands below `next_` are claimed by the decoder or taken by the helper; `touched_` is one
  // past the last band the helper has finished.
  std::atomic<size_t> next_{0};
  std::atomic<size_t> touched_{0};
  // The decoder writes freely at and above this address.
  const uint8_t* claimedDownTo_;
  platform::HelperThread helper_;
};

}  // namespace spi
