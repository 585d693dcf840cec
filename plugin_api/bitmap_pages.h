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
// is still in that band. The decoder writes nowhere it has not claimed.
//
// A decoder quick enough to catch up with the helper writes faster than pages are touched:
// then the two would only take turns band by band. Instead the decoder touches its own
// bands from there on, and the helper turns to the far end of the block, the bands the
// decoder reaches last, and works back towards it; where they meet, the decoder stops the
// helper and waits for it, and every band is the decoder's.
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
  // Which bands are taken, as one word so that both ends change together: bands below
  // `nearTo` are claimed by the decoder or touched ahead of it, bands from `farFrom` on are
  // the helper's from the far end; nearTo <= farFrom.
  struct Taken {
    size_t nearTo, farFrom;
  };
  static constexpr unsigned kFarShift = 16;
  static constexpr size_t kMaxBands = (size_t{1} << kFarShift) - 1;
  static uint32_t pack(Taken taken) { return static_cast<uint32_t>(taken.nearTo | taken.farFrom << kFarShift); }
  static Taken unpack(uint32_t word) { return Taken{word & kMaxBands, word >> kFarShift}; }

  // The lowest address of a band: the last band ends at the block's start.
  uint8_t* bandBottom(size_t band) const { return band + 1 == bands_ ? begin_ : end_ - (band + 1) * kBandBytes; }

  static void runHelper(void* self);
  void touchBand(size_t band);
  void claimDownTo(const uint8_t* rowStart);
  bool claimBand(size_t band);

  uint8_t* const begin_;
  uint8_t* const end_;
  const size_t bands_;
  std::atomic<uint32_t> taken_;
  // One past the last band the helper has finished touching ahead of the decoder.
  std::atomic<size_t> touched_{0};
  // Set once the decoder has caught up with the helper: the helper works from the far end.
  std::atomic<bool> caughtUp_{false};
  // The decoder writes freely at and above this address.
  const uint8_t* claimedDownTo_;
  platform::HelperThread helper_;
};

}  // namespace spi
