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
      claimedDownTo_(end) {
  // Without a helper everything is the decoder's from the start.
  if (!worthHelping(begin, end) || !helper_.start(&BitmapPagesAhead::runHelper, this)) claimedDownTo_ = begin;
}

void BitmapPagesAhead::runHelper(void* self) {
  BitmapPagesAhead& pages = *static_cast<BitmapPagesAhead*>(self);
  size_t band = pages.next_.load(std::memory_order_acquire);
  while (band < pages.bands_) {
    if (!pages.next_.compare_exchange_weak(band, band + 1, std::memory_order_acq_rel)) continue;
    pages.touchBand(band);
    pages.touched_.store(band + 1, std::memory_order_release);
    band = pages.next_.load(std::memory_order_acquire);
  }
}

// Writes the zero of the band's first byte and of every page start inside the band: only
// bytes of the band itself, whose pages may be shared with the neighbouring bands.
void BitmapPagesAhead::touchBand(size_t band) {
  volatile uint8_t* const top = end_ - band * kBandBytes;
  volatile uint8_t* const bottom = band + 1 == bands_ ? begin_ : end_ - (band + 1) * kBandBytes;
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

// Makes `band` the decoder's; false when that took stopping the helper, after which every
// band is.
bool BitmapPagesAhead::claimBand(size_t band) {
  size_t next = next_.load(std::memory_order_acquire);
  // A decoder that catches up with the helper once it is under way writes faster than pages
  // are touched: the two would only take turns band by band, so the decoder goes on alone.
  if (next <= band + 1 && touched_.load(std::memory_order_acquire) != 0) {
    finish();
    return false;
  }
  while (next <= band && !next_.compare_exchange_weak(next, band + 1, std::memory_order_acq_rel)) {
  }
  // The helper took the band itself: wait until it has left it.
  if (next > band) {
    while (touched_.load(std::memory_order_acquire) <= band) platform::yieldProcessor();
  }
  claimedDownTo_ = band + 1 == bands_ ? begin_ : end_ - (band + 1) * kBandBytes;
  return true;
}

void BitmapPagesAhead::finish() {
  next_.store(bands_, std::memory_order_release);  // the helper takes no band after its current one
  helper_.join();
  claimedDownTo_ = begin_;
}

}  // namespace spi
