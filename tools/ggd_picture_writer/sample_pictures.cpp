#include "tools/ggd_picture_writer/sample_pictures.h"

#include <algorithm>
#include <cmath>

namespace ggd_picture_writer {
namespace {

// xorshift32: the same pictures on every platform for a seed.
struct Random {
  uint32_t state;
  explicit Random(uint32_t seed) : state(seed ? seed : 0x9E3779B9u) {}
  uint32_t next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
};

uint8_t clampByte(int value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

void put(std::vector<uint8_t>& px, int width, int x, int y, int blue, int green, int red) {
  uint8_t* p = px.data() + (static_cast<size_t>(y) * width + x) * 3;
  p[0] = clampByte(blue);
  p[1] = clampByte(green);
  p[2] = clampByte(red);
}

void noise(std::vector<uint8_t>& px, Random& random) {
  for (uint8_t& b : px) b = static_cast<uint8_t>(random.next() >> 24);
}

void gradient(std::vector<uint8_t>& px, int width, int height) {
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      put(px, width, x, y, (x + y) * 255 / (width + height), y * 255 / height, x * 255 / width);
    }
  }
}

void flat(std::vector<uint8_t>& px, int width, int height, Random& random) {
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) put(px, width, x, y, 200, 180, 40);
  // A dozen rectangles and discs in a few colours.
  for (int shape = 0; shape < 12; ++shape) {
    const int cx = static_cast<int>(random.next() % static_cast<uint32_t>(width));
    const int cy = static_cast<int>(random.next() % static_cast<uint32_t>(height));
    const int rx = 1 + static_cast<int>(random.next() % static_cast<uint32_t>(width / 4 + 1));
    const int ry = 1 + static_cast<int>(random.next() % static_cast<uint32_t>(height / 4 + 1));
    const uint32_t colour = random.next();
    const bool disc = shape % 2 == 1;
    for (int y = std::max(0, cy - ry); y < std::min(height, cy + ry); ++y) {
      for (int x = std::max(0, cx - rx); x < std::min(width, cx + rx); ++x) {
        const double dx = double(x - cx) / rx, dy = double(y - cy) / ry;
        if (disc && dx * dx + dy * dy > 1.0) continue;
        put(px, width, x, y, colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
      }
    }
  }
}

void photo(std::vector<uint8_t>& px, int width, int height, Random& random) {
  const int horizon = height / 3;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (y < horizon) {
        // Sky: colour changes by row only, so rows are runs of one pixel.
        put(px, width, x, y, 230 - y * 60 / (horizon + 1), 160 - y * 40 / (horizon + 1), 90);
        continue;
      }
      const double u = double(x) / width, v = double(y) / height;
      // Grain on each channel of its own, as a camera's sensor gives.
      const uint32_t grain = random.next();
      const int hill = static_cast<int>(40 * std::sin(u * 9.0 + v * 3.0) + 30 * std::cos(v * 11.0 - u * 2.0));
      put(px, width, x, y, 60 + hill / 2 + static_cast<int>(grain % 11) - 5,
          110 + hill + static_cast<int>((grain >> 8) % 11) - 5, 70 + hill / 3 + static_cast<int>((grain >> 16) % 11) - 5);
    }
  }
}

// Seven bands from top to bottom, each made for one kind of operation: noise (literal runs),
// one colour (repeats), black (a copy from distance 0 opens it), a 40-pixel motif along the
// row (near copies), one noise row over and over (far copies from the row above), noise whose
// every third pixel recurs 2 pixels back (single near copies), and noise followed by pixels
// taken from 300 back between black ones (single far copies, from 300 pixels wide on).
void mixed(std::vector<uint8_t>& px, int width, int height, Random& random) {
  const int band = std::max(1, height / 7);
  std::vector<uint8_t> motif(3 * 40), fixedRow(3 * static_cast<size_t>(width));
  for (uint8_t& b : motif) b = static_cast<uint8_t>(random.next() >> 24);
  for (uint8_t& b : fixedRow) b = static_cast<uint8_t>(random.next() >> 24);
  for (int y = 0; y < height; ++y) {
    const int kind = std::min(6, y / band);
    for (int x = 0; x < width; ++x) {
      const uint32_t r = random.next();
      const uint8_t* same = nullptr;  // a pixel to repeat, if any
      switch (kind) {
        case 0: break;
        case 1: put(px, width, x, y, 10, 200, 30); continue;
        case 2: put(px, width, x, y, 0, 0, 0); continue;
        case 3: same = motif.data() + 3 * (x % 40); break;
        case 4: same = fixedRow.data() + 3 * static_cast<size_t>(x); break;
        case 5:
          if (x % 3 == 2) same = px.data() + (static_cast<size_t>(y) * width + x - 2) * 3;
          break;
        default:
          if (x >= 300 && x < 600 && x % 2 == 1) {
            put(px, width, x, y, 0, 0, 0);
            continue;
          }
          if (x >= 300 && x < 600) same = px.data() + (static_cast<size_t>(y) * width + x - 300) * 3;
          break;
      }
      if (same != nullptr) put(px, width, x, y, same[0], same[1], same[2]);
      else put(px, width, x, y, r & 0xFF, (r >> 8) & 0xFF, (r >> 16) & 0xFF);
    }
  }
}

// Smooth noise in 0..1: a hashed lattice every `cell` pixels, blended with smoothstep, and
// octaves of half the cell added at half the weight.
class SmoothNoise {
 public:
  explicit SmoothNoise(uint32_t seed) : seed_(seed * 0x9E3779B1u + 0x7F4A7C15u) {}

  double at(double x, double y, double cell, int octaves) const {
    double sum = 0, weight = 1, total = 0;
    for (int o = 0; o < octaves; ++o) {
      sum += weight * lattice(x / cell, y / cell, static_cast<uint32_t>(o));
      total += weight;
      weight *= 0.5;
      cell *= 0.5;
    }
    return sum / total;
  }

 private:
  double corner(int64_t x, int64_t y, uint32_t octave) const {
    uint32_t h = static_cast<uint32_t>(x) * 0x85EBCA77u ^ static_cast<uint32_t>(y) * 0xC2B2AE3Du ^
                 (seed_ + octave * 0x27D4EB2Fu);
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return (h & 0xFFFF) / 65535.0;
  }
  double lattice(double x, double y, uint32_t octave) const {
    const double fx = std::floor(x), fy = std::floor(y);
    const int64_t ix = static_cast<int64_t>(fx), iy = static_cast<int64_t>(fy);
    const double tx = smooth(x - fx), ty = smooth(y - fy);
    const double top = corner(ix, iy, octave) * (1 - tx) + corner(ix + 1, iy, octave) * tx;
    const double bottom = corner(ix, iy + 1, octave) * (1 - tx) + corner(ix + 1, iy + 1, octave) * tx;
    return top * (1 - ty) + bottom * ty;
  }
  static double smooth(double t) { return t * t * (3 - 2 * t); }
  uint32_t seed_;
};

// Light as the scene gives it, before the camera: blue, green, red in levels, unclipped.
struct Light {
  double blue, green, red;
};

Light mix(const Light& a, const Light& b, double t) {
  t = std::clamp(t, 0.0, 1.0);
  return {a.blue + (b.blue - a.blue) * t, a.green + (b.green - a.green) * t, a.red + (b.red - a.red) * t};
}

Light scale(const Light& a, double f) { return {a.blue * f, a.green * f, a.red * f}; }

// What the camera adds: grain that grows with the square root of the light (none in clipped
// shadows and highlights, where the processing flattens everything), rounded to levels.
class Camera {
 public:
  explicit Camera(uint32_t seed, double grain) : random_(seed), grain_(grain) {}

  void expose(std::vector<uint8_t>& px, int width, int x, int y, const Light& light) {
    const double level[3] = {light.blue, light.green, light.red};
    int out[3];
    for (int c = 0; c < 3; ++c) {
      const double v = level[c];
      double noisy = v;
      if (v > 6 && v < 250) noisy += gaussian() * grain_ * std::sqrt(v / 255.0);
      out[c] = static_cast<int>(std::lround(noisy));
    }
    put(px, width, x, y, out[0], out[1], out[2]);
  }

 private:
  // About normal: the sum of four uniform values, centred, of deviation 1.
  double gaussian() {
    double sum = 0;
    for (int i = 0; i < 4; ++i) sum += (random_.next() >> 8) / double(1 << 24);
    return (sum - 2.0) * 1.7320508;
  }
  Random random_;
  double grain_;
};

// Takes the photograph: the scene's light at every pixel (x, y; u, v the same in 0..1),
// through the camera.
template <typename Scene>
void photograph(std::vector<uint8_t>& px, int width, int height, Camera& camera, const Scene& scene) {
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) camera.expose(px, width, x, y, scene(x, y, double(x) / width, double(y) / height));
  }
}

void landscape(std::vector<uint8_t>& px, int width, int height, uint32_t seed) {
  SmoothNoise noise(seed);
  Camera camera(seed, 1.2);
  const Light zenith{170, 95, 40}, haze{235, 215, 195}, cloud{262, 258, 255}, cloudShade{185, 180, 178};
  const Light hillFar{150, 135, 120}, grass{55, 140, 95}, soil{50, 80, 110}, leaves{18, 30, 22};
  photograph(px, width, height, camera, [&](int x, int y, double u, double v) {
    const double far = 0.38 + 0.08 * noise.at(x, 0, width / 3.0, 3);
    const double near = 0.5 + 0.1 * noise.at(x, 1000, width / 5.0, 4);
    // Crowns of trees rising from the field on the right.
    const double treeTop = 0.5 - 0.3 * noise.at(x, 2000, width / 40.0, 3) + 1.2 * std::abs(u - 0.75);
    Light light;
    if (v < far) {
      light = mix(zenith, haze, std::pow(v / far, 1.5));
      const double c = noise.at(x, y * 2.5, width / 4.0, 5);
      if (c > 0.5) light = mix(light, mix(cloud, cloudShade, (v / far) * 0.8 + 0.4 * (0.75 - c)), (c - 0.5) * 5);
    } else if (v < near) {
      light = scale(hillFar, 0.85 + 0.3 * noise.at(x, y, width / 16.0, 4));
      light = mix(light, haze, (near - v) / (near - far) * 0.5);
    } else {
      const double depth = (v - near) / (1 - near);
      const double tuft = noise.at(x, y * 3, 6 + 30 * depth, 3);
      light = scale(mix(grass, soil, noise.at(x, y, width / 6.0, 3) * 1.4 - 0.3), 0.6 + 0.8 * tuft);
    }
    if (v > treeTop && v < near + 0.04 + 0.02 * noise.at(x, 3000, 9, 2)) {
      light = scale(leaves, 0.5 + noise.at(x, y, 5, 2));
    }
    return light;
  });
}

void portrait(std::vector<uint8_t>& px, int width, int height, uint32_t seed) {
  SmoothNoise noise(seed);
  Camera camera(seed + 1, 1.0);
  const Light wallWarm{90, 140, 190}, wallDark{30, 45, 60}, skin{120, 160, 215}, skinShade{70, 95, 150};
  const Light hair{20, 30, 45}, clothA{120, 50, 40}, clothB{160, 90, 70}, lamp{270, 270, 270};
  const double cx = 0.5, cy = 0.42;
  photograph(px, width, height, camera, [&](int x, int y, double u, double v) {
    // Out-of-focus room: broad light, two lamps that clip to white.
    Light light = mix(wallWarm, wallDark, 0.3 + 0.8 * noise.at(x, y, width / 3.0, 2) - 0.3 * (1 - v));
    for (const double lx : {0.15, 0.82}) {
      const double d = std::hypot((u - lx) * width, (v - 0.2) * height) / (0.06 * width);
      if (d < 1.6) light = mix(light, lamp, 1.6 - d);
    }
    const double face = std::hypot((u - cx) / 0.17, (v - cy) / 0.23);
    const double body = (v > 0.62) ? std::abs(u - cx) / (0.22 + (v - 0.62) * 0.9) : 9;
    if (body < 1) {
      // A woven cloth: a small pattern that repeats, its threads uneven.
      const int wx = x % 8, wy = y % 8;
      const bool warp = (wx < 4) != (wy < 4);
      light = scale(warp ? clothA : clothB, 0.75 + 0.35 * (1 - body) + 0.1 * noise.at(x, y, 3, 1));
    } else if (face < 1) {
      const double shade = std::clamp((u - cx) * 3.0 + 0.4, 0.0, 1.0);
      light = mix(skin, skinShade, shade + 0.1 * noise.at(x, y, 20, 2));
    } else if (face < 1.35 && v < cy + 0.05) {
      // Hair: fine strands along one direction.
      const double strand = noise.at(x * 0.15 + y * 0.9, y * 0.15 - x * 0.5, 2.5, 2);
      light = scale(hair, 0.6 + 1.2 * strand);
    }
    return light;
  });
}

void street(std::vector<uint8_t>& px, int width, int height, uint32_t seed) {
  SmoothNoise noise(seed);
  Camera camera(seed + 2, 1.0);
  const Light sky{230, 200, 170}, plaster{170, 190, 205}, brick{60, 80, 150}, mortar{160, 165, 170};
  const Light glass{70, 55, 40}, frame{230, 230, 232}, shadow{0.35, 0.4, 0.45}, road{95, 100, 105};
  const int roofline = height / 7;
  const int houseWidth = std::max(64, width / 5);
  photograph(px, width, height, camera, [&](int x, int y, double u, double v) {
    const int house = x / houseWidth;
    const int hx = x % houseWidth;
    const int roof = roofline + (house % 3) * height / 30;
    Light light;
    if (y < roof) {
      light = mix(sky, Light{250, 240, 230}, double(y) / roof);
    } else if (v > 0.85) {
      light = scale(road, 0.8 + 0.4 * noise.at(x, y, 4, 2));
    } else {
      const bool bricks = house % 2 == 1;
      if (bricks) {
        const int row = (y - roof) / 9;
        const bool joint = (y - roof) % 9 == 0 || (hx + (row % 2) * 11) % 22 == 0;
        light = joint ? mortar : scale(brick, 0.85 + 0.3 * noise.at(x / 22 + row * 7, row, 1, 1));
      } else {
        light = scale(plaster, 0.93 + 0.1 * noise.at(x, y, 12, 3));
      }
      // Windows on a grid, the same in every floor: frames and dark glass with reflections.
      const int cellX = houseWidth / 4, cellY = std::max(24, height / 9);
      const int wx = hx % cellX, wy = (y - roof) % cellY;
      if (wx > cellX / 4 && wx < cellX * 3 / 4 && wy > cellY / 5 && wy < cellY * 4 / 5 && hx > 4) {
        const bool edge = wx < cellX / 4 + 3 || wx > cellX * 3 / 4 - 3 || wy < cellY / 5 + 3 || wy > cellY * 4 / 5 - 3;
        light = edge ? frame : mix(glass, sky, 0.3 * (double(wy) / cellY) + 0.2 * noise.at(x, y, 30, 1));
      }
    }
    // A cast shadow across the lower left.
    if (y > roof && y - roof > (width - x) / 2) light = {light.blue * shadow.blue, light.green * shadow.green,
                                                        light.red * shadow.red};
    return light;
  });
}

}  // namespace

bool parseSamplePattern(const std::string& name, SamplePattern& pattern) {
  static const struct {
    const char* name;
    SamplePattern pattern;
  } kNames[] = {{"noise", SamplePattern::kNoise},
                {"gradient", SamplePattern::kGradient},
                {"flat", SamplePattern::kFlat},
                {"photo", SamplePattern::kPhoto},
                {"mixed", SamplePattern::kMixed},
                {"landscape", SamplePattern::kLandscape},
                {"portrait", SamplePattern::kPortrait},
                {"street", SamplePattern::kStreet}};
  for (const auto& entry : kNames) {
    if (name == entry.name) {
      pattern = entry.pattern;
      return true;
    }
  }
  return false;
}

std::vector<uint8_t> makeSamplePicture(SamplePattern pattern, int width, int height, uint32_t seed) {
  if (width < 1 || height < 1) return {};
  std::vector<uint8_t> px(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  Random random(seed);
  switch (pattern) {
    case SamplePattern::kNoise: noise(px, random); break;
    case SamplePattern::kGradient: gradient(px, width, height); break;
    case SamplePattern::kFlat: flat(px, width, height, random); break;
    case SamplePattern::kPhoto: photo(px, width, height, random); break;
    case SamplePattern::kMixed: mixed(px, width, height, random); break;
    case SamplePattern::kLandscape: landscape(px, width, height, seed); break;
    case SamplePattern::kPortrait: portrait(px, width, height, seed); break;
    case SamplePattern::kStreet: street(px, width, height, seed); break;
  }
  return px;
}

}  // namespace ggd_picture_writer
