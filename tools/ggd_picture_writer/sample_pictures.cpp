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

}  // namespace

bool parseSamplePattern(const std::string& name, SamplePattern& pattern) {
  static const struct {
    const char* name;
    SamplePattern pattern;
  } kNames[] = {{"noise", SamplePattern::kNoise},
                {"gradient", SamplePattern::kGradient},
                {"flat", SamplePattern::kFlat},
                {"photo", SamplePattern::kPhoto},
                {"mixed", SamplePattern::kMixed}};
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
  }
  return px;
}

}  // namespace ggd_picture_writer
