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
  // Photographs as a camera and its processing leave them, for the benchmarks: smooth light,
  // edges, texture and grain whose strength follows the brightness, highlights and shadows
  // clipped flat, everything rounded to whole levels.
  kLandscape,  // sky with clouds, hills, a textured field and dark trees
  kPortrait,   // a figure before a blurred background, hair, a woven cloth, bright lights
  kStreet,     // house fronts with rows of windows, plaster, bricks, shadow and a strip of sky
};

// The pictures that the benchmarks and timing programs decode: the three photographs and a
// flat-coloured picture.
struct NamedPattern {
  const char* name;
  SamplePattern pattern;
};
constexpr NamedPattern kBenchmarkPictures[] = {{"landscape", SamplePattern::kLandscape},
                                               {"portrait", SamplePattern::kPortrait},
                                               {"street", SamplePattern::kStreet},
                                               {"flat", SamplePattern::kFlat}};

// "noise", "gradient", "flat", "photo", "mixed", "landscape", "portrait", "street".
bool parseSamplePattern(const std::string& name, SamplePattern& pattern);

std::vector<uint8_t> makeSamplePicture(SamplePattern pattern, int width, int height, uint32_t seed = 1);

}  // namespace ggd_picture_writer
