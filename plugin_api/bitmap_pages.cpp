#include "plugin_api/bitmap_pages.h"

#include <algorithm>

namespace spi {

namespace {

// Smaller than any page of the targets' systems, so no page is missed.
constexpr size_t kTouchStep = 4096;

bool worthHelping(const uint8_t* begin, const uint8_t* end) {
  return static_cast<size_t>(end - begin) >= BitmapPagesAhead::kMinBytes && platform::processorCount() >= 2;
}

}  // namespace

BitmapPagesAhead::BitmapPagesAhead(uint8_t* begin, uint8_t* end)
    : begin_(begin),
      end_(end),
      bands_((static_cast<size_t>(end - begin) + kBandBytes - 1) / kBandBytes),
      taken_(pack(Taken{0, bands_})),
      claimedDownTo_(end) {
  // Without a helper everything is the decoder's from the start.
  if (!worthHelping(begin, end) || bands_ > kMaxBands || !helper_.start(&BitmapPagesAhead::runHelper, this)) {
    claimedDownTo_ = begin;
  }
}

void BitmapPagesAhead::runHelper(void* self) {
  BitmapPagesAhead& pages = *static_cast<BitmapPagesAhead*>(self);
  uint32_t word = pages.taken_.load(std::memory_order_acquire);
  for (;;) {
    const Taken taken = unpack(word);
    if (taken.nearTo >= taken.farFrom) return;
    const bool fromFar = pages.caughtUp_.load(std::memory_order_acquire);
    const size_t band = fromFar ? taken.farFrom - 1 : taken.nearTo;
    const Taken next = fromFar ? Taken{taken.nearTo, band} : Taken{band + 1, taken.farFrom};
    if (!pages.taken_.compare_exchange_weak(word, pack(next), std::memory_order_acq_rel)) continue;
    pages.touchBand(band);
    // Bands from the far end become the decoder's only once it has stopped the helper.
    if (!fromFar) pages.touched_.store(band + 1, std::memory_order_release);
    word = pages.taken_.load(std::memory_order_acquire);
  }
}

// Writes the zero of the band's first byte and of every page start inside the band: only
// bytes of the band itself, whose pages may be shared with the neighbouring bands.
void BitmapPagesAhead::touchBand(size_t band) {
  volatile uint8_t* const top = end_ - band * kBandBytes;
  volatile uint8_t* const bottom = bandBottom(band);
  *bottom = 0;
  const uintptr_t firstPage = (reinterpret_cast<uintptr_t>(bottom) / kTouchStep + 1) * kTouchStep;
  for (volatile uint8_t* at = bottom + (firstPage - reinterpret_cast<uintptr_t>(bottom)); at < top; at += kTouchStep)
    *at = 0;
}

// Band by band: the helper takes bands in order, so once a band is the decoder's the helper
// is in none of the bands before it, and a row that spans several bands is claimed safely.
void BitmapPagesAhead::claimDownTo(const uint8_t* rowStart) {
  const size_t lowest = static_cast<size_t>(end_ - std::max<const uint8_t*>(rowStart, begin_) - 1) / kBandBytes;
  for (size_t band = static_cast<size_t>(end_ - claimedDownTo_) / kBandBytes; band <= lowest; ++band) {
    if (!claimBand(band)) return;
  }
}

// Makes `band` the decoder's; false when it meets the bands the helper took from the far
// end, after which the helper is stopped and every band is the decoder's.
bool BitmapPagesAhead::claimBand(size_t band) {
  uint32_t word = taken_.load(std::memory_order_acquire);
  Taken taken = unpack(word);
  // The helper is in this band or behind it, once under way: it turns to the far end.
  if (taken.nearTo <= band + 1 && touched_.load(std::memory_order_acquire) != 0) {
    caughtUp_.store(true, std::memory_order_release);
  }
  for (;;) {
    if (taken.nearTo > band) {
      // The helper took the band ahead of the decoder: wait until it has left it.
      while (touched_.load(std::memory_order_acquire) <= band) platform::yieldProcessor();
      break;
    }
    if (taken.farFrom <= band) {
      finish();
      return false;
    }
    if (taken_.compare_exchange_weak(word, pack(Taken{band + 1, taken.farFrom}), std::memory_order_acq_rel)) break;
    taken = unpack(word);
  }
  claimedDownTo_ = bandBottom(band);
  return true;
}

void BitmapPagesAhead::finish() {
  // The helper takes no band after its current one.
  taken_.store(pack(Taken{bands_, bands_}), std::memory_order_release);
  helper_.join();
  claimedDownTo_ = begin_;
}

}  // namespace spi
