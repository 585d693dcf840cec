// Procedural photographs for benchmarks and tests: scenes with the statistics of real
// camera pictures rather than of noise. Smooth skies and backgrounds (slow gradients whose
// quantisation leaves short runs), hard edges between objects, textures (foliage, stone,
// fabric, water), repeated structure (windows, tiles), clipped highlights and shadows, and
// sensor noise whose strength follows the brightness the way shot noise does. Encoded by
// the GGA writer, such a picture is a dense mix of short literals, runs and copies.
#pragma once

#include <cstdint>
#include <vector>

namespace gga_writer {

enum class Scene : uint32_t {
  kLandscape,  // sky, hills, a lake with a reflection, grass
  kPortrait,   // a blurred background, a face in soft light, hair, fabric
  kCity,       // buildings with rows of windows, flat walls, sky, a street
  kNight,      // mostly dark with clipped blacks, lamps with glows, lit windows
};
constexpr uint32_t kSceneCount = 4;

// width x height pixels of 4 bytes (blue, green, red, 0xFF), top row first. The same
// arguments always give the same picture.
std::vector<uint32_t> makePhotograph(Scene scene, uint32_t width, uint32_t height, uint32_t seed = 1);

const char* sceneName(Scene scene);

}  // namespace gga_writer
