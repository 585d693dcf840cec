#include "tools/gga_writer/test_pictures.h"

#include <cstring>

namespace gga_writer {
namespace {

class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull) {}
  uint32_t next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return static_cast<uint32_t>((state_ * 0x2545F4914F6CDD1Dull) >> 32);
  }
  uint32_t below(uint32_t n) { return n == 0 ? 0 : next() % n; }

 private:
  uint64_t state_;
};

uint32_t bgra(uint32_t b, uint32_t g, uint32_t r, uint32_t a = 0xFF) {
  return (b & 0xFF) | (g & 0xFF) << 8 | (r & 0xFF) << 16 | (a & 0xFF) << 24;
}

uint32_t ramp(uint32_t i, uint32_t n) { return n <= 1 ? 0 : i * 255 / (n - 1); }

struct Shape {
  uint32_t x0, y0, x1, y1, colour;
  bool round;
  bool covers(uint32_t x, uint32_t y) const {
    if (x < x0 || x >= x1 || y < y0 || y >= y1) return false;
    if (!round) return true;
    int64_t cx = x0 + x1, cy = y0 + y1, rx = x1 - x0, ry = y1 - y0;  // doubled units
    int64_t dx = 2 * int64_t(x) + 1 - cx, dy = 2 * int64_t(y) + 1 - cy;
    return dx * dx * ry * ry + dy * dy * rx * rx <= rx * rx * ry * ry;
  }
};

void fillFlat(std::vector<uint32_t>& px, uint32_t w, uint32_t h, Random& rnd) {
  std::vector<Shape> shapes;
  for (int i = 0; i < 12; ++i) {
    uint32_t x0 = rnd.below(w), y0 = rnd.below(h);
    uint32_t x1 = x0 + 1 + rnd.below(w - x0), y1 = y0 + 1 + rnd.below(h - y0);
    shapes.push_back({x0, y0, x1, y1, rnd.next() | 0xFF000000u, (i & 1) != 0});
  }
  const uint32_t background = bgra(0xE0, 0xD0, 0xC0);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      uint32_t c = background;
      for (const Shape& s : shapes)
        if (s.covers(x, y)) c = s.colour;
      px[size_t(y) * w + x] = c;
    }
}

// One band of the mixed picture: which row of the band's cycle decides its content.
void fillMixedRow(std::vector<uint32_t>& px, uint32_t w, uint32_t y, Random& rnd) {
  uint32_t* row = px.data() + size_t(y) * w;
  const uint32_t* above = y > 0 ? row - w : nullptr;
  switch (y % 7) {
    case 0:  // noise: literals
      for (uint32_t x = 0; x < w; ++x) row[x] = rnd.next();
      break;
    case 1:  // noise with lone pixels from above, above left and above right: codes 9-11
      for (uint32_t x = 0; x < w; ++x) {
        row[x] = rnd.next();
        if (x % 6 == 0) row[x] = above[x];
        if (x % 6 == 2) row[x] = above[x - 1];
        if (x % 6 == 4 && x + 1 < w) row[x] = above[x + 1];
      }
      break;
    case 2:  // the first half of the row above, then noise: a short copy from far back
      for (uint32_t x = 0; x < w; ++x) row[x] = x < w / 2 ? above[x] : rnd.next();
      break;
    case 3: {  // two flat stretches: a short and a long run
      uint32_t first = rnd.next(), second = rnd.next();
      for (uint32_t x = 0; x < w; ++x) row[x] = x < 50 ? first : second;
      break;
    }
    case 4:  // the row above again: a long copy from far back
      std::memcpy(row, above, size_t(w) * 4);
      break;
    case 5: {  // a pattern of period 3 and one of period 5: near copies, long and short
      uint32_t three[3] = {rnd.next(), rnd.next(), rnd.next()};
      uint32_t five[5] = {rnd.next(), rnd.next(), rnd.next(), rnd.next(), rnd.next()};
      for (uint32_t x = 0; x < w; ++x) row[x] = x < 270 ? three[x % 3] : x < 310 ? five[x % 5] : rnd.next();
      break;
    }
    default: {  // 200 colours at random: lone pixels from near and far back
      uint32_t palette[200];
      for (uint32_t& c : palette) c = rnd.next();
      for (uint32_t x = 0; x < w; ++x) row[x] = palette[rnd.below(200)];
      break;
    }
  }
}

}  // namespace

bool parseTestPattern(const std::string& name, TestPattern& pattern) {
  static const struct { const char* name; TestPattern pattern; } kNames[] = {
      {"noise", TestPattern::kNoise}, {"gradient", TestPattern::kGradient}, {"flat", TestPattern::kFlat},
      {"rows", TestPattern::kRepeatedRows}, {"photo", TestPattern::kPhoto}, {"mixed", TestPattern::kMixed},
  };
  for (const auto& entry : kNames)
    if (name == entry.name) {
      pattern = entry.pattern;
      return true;
    }
  return false;
}

std::vector<uint8_t> makeTestPicture(TestPattern pattern, uint32_t w, uint32_t h, uint32_t seed) {
  std::vector<uint32_t> px(size_t(w) * h);
  Random rnd(seed);
  switch (pattern) {
    case TestPattern::kNoise:
      for (uint32_t& p : px) p = rnd.next();
      break;
    case TestPattern::kGradient:
      for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) px[size_t(y) * w + x] = bgra(ramp(x, w), ramp(y, h), 0x80);
      break;
    case TestPattern::kFlat:
      fillFlat(px, w, h, rnd);
      break;
    case TestPattern::kRepeatedRows:
      for (uint32_t x = 0; x < w && h > 0; ++x) px[x] = rnd.next();
      for (uint32_t y = 1; y < h; ++y) {
        std::memcpy(&px[size_t(y) * w], &px[size_t(y - 1) * w], size_t(w) * 4);
        for (int edits = 0; edits < 3; ++edits) px[size_t(y) * w + rnd.below(w)] = rnd.next();
      }
      break;
    case TestPattern::kPhoto:
      for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
          uint32_t grain = rnd.next();
          px[size_t(y) * w + x] =
              bgra(ramp(x, w) + (grain & 63), ramp(y, h) + (grain >> 8 & 63), ramp(x + y, w + h) + (grain >> 16 & 63));
        }
      break;
    case TestPattern::kMixed:
      for (uint32_t y = 0; y < h; ++y) fillMixedRow(px, w, y, rnd);
      break;
  }
  std::vector<uint8_t> bytes(px.size() * 4);
  if (!px.empty()) std::memcpy(bytes.data(), px.data(), bytes.size());
  return bytes;
}

}  // namespace gga_writer
