// Generated pictures for the writer's command line, the round-trip tests and the
// benchmarks: three-byte pixels (blue, green, red), top row first, no row padding.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ggd_picture_writer {

enum class SamplePattern {
  kNoise,     // random bytes: literal runs
  kGradient,  // smooth ramps: short repeats where neighbours agree
  kFlat,      // flat-coloured shapes on a background: repeats and copies from rows above
  kPhoto,     // a smooth sky over grainy ground: literals mostly, repeats in the sky
  kMixed,     // seven bands built so that a picture 320 wide or more uses every operation
};

// "noise", "gradient", "flat", "photo", "mixed".
bool parseSamplePattern(const std::string& name, SamplePattern& pattern);

std::vector<uint8_t> makeSamplePicture(SamplePattern pattern, int width, int height, uint32_t seed = 1);

}  // namespace ggd_picture_writer
