// Each scene is a function from a pixel position to a clean colour and the strength of the
// sensor noise there; the camera step adds that noise and rounds to 8 bits, clipping at 0
// and 255 as a sensor does. Smooth regions of phone and camera pictures come out denoised
// (weak noise: the gradient's quantisation steps and a few stray values), textured ones keep
// their grain (literals). Layout is in fractions of the picture, textures in pixels, so a
// larger picture shows the same scene with finer detail, as a camera of more pixels does.
#include "tools/gga_writer/photographs.h"

#include <algorithm>
#include <cmath>

namespace gga_writer {
namespace {

struct Colour {
  float r, g, b;
};

Colour mix(const Colour& a, const Colour& b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
Colour scale(const Colour& c, float k) { return {c.r * k, c.g * k, c.b * k}; }
Colour add(const Colour& c, float v) { return {c.r + v, c.g + v, c.b + v}; }

float clamp01(float t) { return std::min(1.0f, std::max(0.0f, t)); }
float smooth(float edge0, float edge1, float x) {
  float t = clamp01((x - edge0) / (edge1 - edge0));
  return t * t * (3 - 2 * t);
}

uint32_t hash(uint32_t x, uint32_t y, uint32_t seed) {
  uint32_t h = x * 0x8DA6B343u ^ y * 0xD8163841u ^ seed * 0xCB1AB31Fu;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  h *= 0x297A2D39u;
  h ^= h >> 15;
  return h;
}

float unit(uint32_t x, uint32_t y, uint32_t seed) { return static_cast<float>(hash(x, y, seed) >> 8) / 16777216.0f; }

// Smoothly interpolated lattice noise in [0, 1).
float valueNoise(float x, float y, uint32_t seed) {
  float fx = std::floor(x), fy = std::floor(y);
  uint32_t ix = static_cast<uint32_t>(static_cast<int32_t>(fx)), iy = static_cast<uint32_t>(static_cast<int32_t>(fy));
  float tx = x - fx, ty = y - fy;
  tx = tx * tx * (3 - 2 * tx);
  ty = ty * ty * (3 - 2 * ty);
  float a = unit(ix, iy, seed), b = unit(ix + 1, iy, seed);
  float c = unit(ix, iy + 1, seed), d = unit(ix + 1, iy + 1, seed);
  return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

// Octaves of value noise, in [0, 1).
float fractal(float x, float y, int octaves, uint32_t seed) {
  float sum = 0, amplitude = 0.5f, weight = 0;
  for (int i = 0; i < octaves; ++i) {
    sum += valueNoise(x, y, seed + static_cast<uint32_t>(i) * 101u) * amplitude;
    weight += amplitude;
    x *= 2.03f;
    y *= 2.03f;
    amplitude *= 0.5f;
  }
  return sum / weight;
}

// What a scene says about one pixel.
struct Sample {
  Colour colour;
  float noise;  // standard deviation of the sensor noise, in 8-bit steps
};

struct Frame {
  uint32_t width, height, seed;
  float u(uint32_t x) const { return (static_cast<float>(x) + 0.5f) / static_cast<float>(width); }
  float v(uint32_t y) const { return (static_cast<float>(y) + 0.5f) / static_cast<float>(height); }
};

Colour skyAt(float v, float horizon) {
  const Colour top{55, 105, 190}, low{190, 214, 236};
  return mix(top, low, smooth(0.0f, 1.0f, v / horizon));
}

Sample landscape(const Frame& f, uint32_t x, uint32_t y) {
  const float u = f.u(x), v = f.v(y), px = static_cast<float>(x), py = static_cast<float>(y);
  const uint32_t s = f.seed;
  const float farHill = 0.42f - 0.10f * fractal(u * 3, 0.5f, 4, s + 1);
  const float nearHill = 0.55f - 0.07f * fractal(u * 5, 1.5f, 4, s + 2);
  const float lakeTop = 0.64f, lakeBottom = 0.78f + 0.03f * fractal(u * 8, 2.5f, 3, s + 3);
  const bool inLake = v > lakeTop && v < lakeBottom && u > 0.15f + 0.05f * fractal(v * 9, 0.5f, 2, s + 4) &&
                      u < 0.85f - 0.05f * fractal(v * 9, 3.5f, 2, s + 5);
  if (v < farHill) {
    Colour sky = skyAt(v, farHill);
    float cloud = smooth(0.55f, 0.75f, fractal(u * 4, v * 9, 5, s + 6)) * smooth(0.0f, 0.25f, farHill - v);
    sky = mix(sky, Colour{262, 262, 262}, cloud);
    float sunDistance = std::hypot((u - 0.72f) * 1.0f, (v - 0.14f) * static_cast<float>(f.height) / f.width);
    sky = add(sky, 300.0f * std::exp(-sunDistance * sunDistance * 900.0f) + 30.0f * std::exp(-sunDistance * 12.0f));
    return {sky, 0.35f + 0.4f * cloud};
  }
  if (inLake) {
    // The sky mirrored, broken by ripples that run along the rows.
    float mirrored = farHill * (1 - (v - lakeTop) / (lakeBottom - lakeTop));
    Colour water = skyAt(mirrored, farHill);
    float ripple = std::sin(py * 0.9f + 6.0f * fractal(px / 40, py / 6, 3, s + 7));
    water = scale(water, 0.78f + 0.06f * ripple);
    return {water, 0.6f};
  }
  if (v < nearHill) {
    float haze = smooth(farHill, nearHill, v);
    Colour hill = mix(Colour{150, 160, 170}, Colour{70, 110, 80}, haze);
    hill = add(hill, 18.0f * (fractal(px / 6, py / 6, 3, s + 8) - 0.5f));
    return {hill, 0.9f};
  }
  // Grass and bushes: strong texture, darker in the foreground; a few trunks.
  float depth = smooth(nearHill, 1.0f, v);
  Colour grass = mix(Colour{80, 130, 70}, Colour{40, 85, 35}, depth);
  float blades = fractal(px / 2.5f, py / (1.5f + 3 * depth), 4, s + 9);
  grass = add(grass, 70.0f * (blades - 0.5f));
  float trunks = fractal(u * 14, 0.0f, 1, s + 10);
  if (trunks > 0.8f && v > nearHill + 0.02f) grass = Colour{45, 35, 28};
  return {grass, 1.6f};
}

Sample portrait(const Frame& f, uint32_t x, uint32_t y) {
  const float u = f.u(x), v = f.v(y), px = static_cast<float>(x), py = static_cast<float>(y);
  const uint32_t s = f.seed;
  const float aspect = static_cast<float>(f.height) / f.width;
  // Background: defocused, warm left and cool right, with soft discs of light.
  Colour back = mix(Colour{120, 90, 60}, Colour{60, 80, 110}, smooth(0.0f, 1.0f, u + 0.2f * v));
  for (uint32_t i = 0; i < 7; ++i) {
    float cx = unit(i, 0, s + 20), cy = unit(i, 1, s + 20) * 0.6f, r = 0.04f + 0.06f * unit(i, 2, s + 20);
    float d = std::hypot(u - cx, (v - cy) * aspect) / r;
    back = add(back, 40.0f * (1 - smooth(0.85f, 1.0f, d)));
  }
  Sample out{back, 0.4f};
  // Shirt: a weave of period 4 pixels under broad folds.
  if (v > 0.74f - 0.1f * std::exp(-std::pow((u - 0.5f) * 3, 2.0f)) + 0.3f * std::pow(std::fabs(u - 0.5f), 2.0f)) {
    float folds = 0.75f + 0.25f * std::sin(u * 25 + 3 * fractal(u * 4, v * 4, 2, s + 21));
    float weave = ((x + y) % 4 < 2 ? 6.0f : -6.0f) * ((x / 2 + y / 2) % 2 ? 1.0f : -1.0f);
    out = {add(scale(Colour{150, 40, 50}, folds), weave), 0.5f};
  }
  // Hair: dark strands that flow downwards, behind the face.
  float hx = (u - 0.5f) / 0.25f, hy = (v - 0.40f) * aspect / 0.30f;
  if (hx * hx + hy * hy < 1.0f && v < 0.75f) {
    float strand = std::sin(px * 0.45f + 25.0f * fractal(px / 60, py / 200, 3, s + 22));
    out = {add(Colour{52, 36, 26}, 22.0f * strand), 1.2f};
  }
  // Face: an ellipse lit from the upper left.
  float fx = (u - 0.5f) / 0.17f, fy = (v - 0.46f) * aspect / 0.24f;
  float r2 = fx * fx + fy * fy;
  if (r2 < 1.0f) {
    float nz = std::sqrt(1 - r2);
    float light = clamp01(0.35f + 0.75f * (-0.45f * fx - 0.35f * fy + 0.8f * nz));
    Colour skin = scale(Colour{230, 175, 150}, 0.45f + 0.6f * light);
    auto feature = [&](float cx, float cy, float rx, float ry) {
      float dx = (fx - cx) / rx, dy = (fy - cy) / ry;
      return dx * dx + dy * dy < 1.0f;
    };
    if (feature(-0.38f, -0.15f, 0.16f, 0.07f) || feature(0.38f, -0.15f, 0.16f, 0.07f)) skin = Colour{40, 30, 28};
    if (feature(0.0f, 0.45f, 0.3f, 0.06f)) skin = Colour{170, 70, 75};
    out = {skin, 0.7f};
  }
  return out;
}

Sample city(const Frame& f, uint32_t x, uint32_t y) {
  const float u = f.u(x), v = f.v(y), px = static_cast<float>(x), py = static_cast<float>(y);
  const uint32_t s = f.seed;
  // Buildings of random widths side by side.
  float left = 0;
  uint32_t index = 0;
  float width = 0;
  for (;; ++index) {
    width = 0.06f + 0.12f * unit(index, 0, s + 30);
    if (u < left + width || index > 64) break;
    left += width;
  }
  const float top = 0.12f + 0.35f * unit(index, 1, s + 30);
  const float street = 0.86f;
  if (v > street) {
    Colour asphalt = add(Colour{70, 72, 75}, 20.0f * (fractal(px / 2, py / 2, 3, s + 31) - 0.5f));
    bool marking = std::fabs(v - 0.93f) < 0.006f && std::fmod(u * 10, 1.0f) < 0.5f;
    return {marking ? Colour{235, 235, 225} : asphalt, marking ? 0.5f : 1.4f};
  }
  if (v < top) return {skyAt(v, 0.6f), 0.3f};
  const Colour wall = mix(Colour{150, 140, 125}, Colour{90, 95, 110}, unit(index, 2, s + 30));
  const float shade = 0.85f + 0.15f * smooth(0.0f, 1.0f, (u - left) / width) - 0.2f * smooth(top, street, v);
  // Windows on a grid in pixels, the same on every floor: the facade repeats.
  const uint32_t cellX = 20 + hash(index, 3, s) % 12, cellY = 28 + hash(index, 4, s) % 10;
  const uint32_t bx = static_cast<uint32_t>(left * f.width), by = static_cast<uint32_t>(top * f.height);
  const uint32_t cx = (x - bx) % cellX, cy = (y - by) % cellY;
  const bool window = cx > 4 && cx < cellX - 4 && cy > 6 && cy < cellY - 5;
  if (window) {
    const bool lit = unit((x - bx) / cellX, (y - by) / cellY, s + 32 + index) > 0.8f;
    Colour glass = lit ? Colour{210, 190, 140} : scale(skyAt(1 - v, 1.0f), 0.55f);
    return {glass, 0.5f};
  }
  const bool ledge = cy <= 1;
  return {scale(wall, ledge ? shade * 0.7f : shade), 0.5f};
}

Sample night(const Frame& f, uint32_t x, uint32_t y) {
  const float u = f.u(x), v = f.v(y), px = static_cast<float>(x), py = static_cast<float>(y);
  const uint32_t s = f.seed;
  const float aspect = static_cast<float>(f.height) / f.width;
  Colour sky = mix(Colour{8, 10, 22}, Colour{25, 22, 30}, v);
  if (hash(x, y, s + 40) % 1500 == 0) sky = Colour{240, 240, 255};  // stars
  const float roof = 0.45f + 0.25f * std::floor(fractal(u * 12, 0.5f, 1, s + 41) * 4) / 4;
  Sample out{sky, 1.0f};
  if (v > roof) {
    // Black buildings with a few lit windows.
    out = {Colour{-6, -6, -6}, 1.0f};
    uint32_t cx = x % 26, cy = y % 34;
    if (cx > 6 && cx < 20 && cy > 8 && cy < 26 && unit(x / 26, y / 34, s + 42) > 0.82f)
      out = {mix(Colour{255, 200, 110}, Colour{200, 150, 80}, fractal(px / 9, py / 9, 2, s + 43)), 1.5f};
  }
  // Street lamps: glows that clip at their centre.
  for (uint32_t i = 0; i < 5; ++i) {
    float lx = 0.1f + 0.2f * i, ly = 0.62f;
    float d = std::hypot(u - lx, (v - ly) * aspect);
    out.colour = add(out.colour, 0.0f);
    float glow = 400.0f * std::exp(-d * d * 2500.0f) + 25.0f * std::exp(-d * 18.0f);
    out.colour = {out.colour.r + glow, out.colour.g + glow * 0.85f, out.colour.b + glow * 0.55f};
  }
  return out;
}

// Shot noise and read noise: stronger in brighter parts, by the square root of the level.
uint8_t expose(float value, float noise, uint32_t x, uint32_t y, uint32_t seed) {
  float level = std::max(value, 0.0f);
  float sigma = noise * (0.6f + 0.4f * std::sqrt(level / 128.0f));
  // A triangular variate: the sum of two uniform ones, with the spread of a unit deviation.
  float n = (unit(x, y, seed) + unit(x, y, seed ^ 0x5bd1e995u) - 1.0f) * 2.45f;
  float out = std::round(value + sigma * n);
  return static_cast<uint8_t>(std::min(255.0f, std::max(0.0f, out)));
}

}  // namespace

const char* sceneName(Scene scene) {
  switch (scene) {
    case Scene::kLandscape: return "landscape";
    case Scene::kPortrait: return "portrait";
    case Scene::kCity: return "city";
    case Scene::kNight: return "night";
  }
  return "?";
}

std::vector<uint32_t> makePhotograph(Scene scene, uint32_t width, uint32_t height, uint32_t seed) {
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  const Frame frame{width, height, seed * 7919u};
  Sample (*const render)(const Frame&, uint32_t, uint32_t) = scene == Scene::kLandscape  ? landscape
                                                             : scene == Scene::kPortrait ? portrait
                                                             : scene == Scene::kCity     ? city
                                                                                         : night;
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      const Sample sample = render(frame, x, y);
      const uint32_t b = expose(sample.colour.b, sample.noise, x, y, frame.seed + 1);
      const uint32_t g = expose(sample.colour.g, sample.noise, x, y, frame.seed + 2);
      const uint32_t r = expose(sample.colour.r, sample.noise, x, y, frame.seed + 3);
      pixels[static_cast<size_t>(y) * width + x] = b | g << 8 | r << 16 | 0xFF000000u;
    }
  return pixels;
}

}  // namespace gga_writer
