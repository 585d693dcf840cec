// Generated pictures for the writer's command line, the round-trip tests and the
// benchmarks: 4-byte pixels (blue, green, red, fourth byte), top row first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gga_writer {

enum class TestPattern {
  kNoise,         // random bytes: literals
  kGradient,      // smooth ramps: runs where neighbours agree
  kFlat,          // flat-coloured shapes on a background: runs and row copies
  kRepeatedRows,  // one random row repeated with a few changes per row: long copies
  kPhoto,         // ramps with grain: almost all literals
  kMixed,         // bands built so that a wide picture (320 or more) uses every code
};

// "noise", "gradient", "flat", "rows", "photo", "mixed".
bool parseTestPattern(const std::string& name, TestPattern& pattern);

std::vector<uint8_t> makeTestPicture(TestPattern pattern, uint32_t width, uint32_t height, uint32_t seed = 1);

}  // namespace gga_writer
