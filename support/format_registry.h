// A registry numbers a plug-in's format classes from 1, in the order given, finds the first
// class whose probe accepts a stream (identify) and makes an instance by number (create).
// It knows no format: each plug-in names its own classes, for example
//   using DecoderRegistry = support::FormatRegistry<support::ImageDecoder, GgaDecoder>;
#pragma once

#include <cstdint>
#include <new>

#include "support/stream.h"

namespace support {

template <typename Base, typename... Classes>
class FormatRegistry {
 public:
  // A new instance of class `number`, owned by the caller; null for a number without a
  // class or when memory is short.
  static Base* create(int32_t number) {
    int32_t index = 1;
    Base* made = nullptr;
    ((made == nullptr && index++ == number ? (made = new (std::nothrow) Classes()) : nullptr), ...);
    return made;
  }

  // The number of the first class that accepts the stream, or 0 when none does (a class
  // that cannot be made counts as not accepting).
  static int32_t identify(Stream& input) {
    for (int32_t number = 1; number <= static_cast<int32_t>(sizeof...(Classes)); ++number) {
      Base* candidate = create(number);
      if (candidate == nullptr) continue;
      int32_t accepted = candidate->probe(input);
      delete candidate;
      if (accepted == 1) return number;
    }
    return 0;
  }
};

}  // namespace support
