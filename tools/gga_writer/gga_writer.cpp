// A greedy GGA encoder: at each position it takes the code that covers the most pixels,
// and among equally long ones the shortest code. Candidates are the previous pixel (runs),
// the three neighbours in the row above (codes 9-11 and row copies), the latest earlier
// occurrence of the same pixel, and earlier positions that start with the same two pixels
// (a hash chain over the last 65535 positions). A pixel nothing matches joins a literal,
// and so does a lone pixel whose copy would cost as much as carrying it literally.
#include "tools/gga_writer/gga_writer.h"

#include <algorithm>
#include <cstring>

namespace gga_writer {
namespace {

constexpr uint32_t kPairHashBits = 16;
constexpr uint32_t kPixelHashBits = 16;
constexpr uint32_t kRingSize = 1u << 16;  // more than kMaxDistance positions back
constexpr uint32_t kNone = 0xFFFFFFFF;

static_assert(kRingSize > kMaxDistance, "the chain ring outlives the longest distance");

enum Code : uint8_t {
  kRepeatShort = 0, kRepeatLong = 1, kCopyOneNear = 2, kCopyOneFar = 3,
  kCopyNearShort = 4, kCopyNearLong = 5, kCopyFarShort = 6, kCopyFarLong = 7,
  kCopyAbove = 9, kCopyAboveLeft = 10, kCopyAboveRight = 11, kLiteralBias = 11,
};

struct Match {
  uint32_t distance = 0;
  uint32_t length = 0;  // 0: no match
};

class Encoder {
 public:
  Encoder(const uint8_t* pixels, uint32_t width, uint32_t height, const WriterOptions& options,
          CodeCounts* counts)
      : width_(width), total_(width * height), depth_(options.searchDepth), counts_(counts),
        pixels_(total_), pairHead_(1u << kPairHashBits, kNone), pixelHead_(1u << kPixelHashBits, kNone),
        chain_(kRingSize, kNone) {
    std::memcpy(pixels_.data(), pixels, static_cast<size_t>(total_) * 4);
  }

  std::vector<uint8_t> run() {
    uint32_t p = 0;
    uint32_t literalStart = 0;
    while (p < total_) {
      Match best = bestMatch(p);
      if (best.length == 0 || (best.length == 1 && p > literalStart && !paysInsideLiterals(best))) {
        remember(p++);
        continue;
      }
      flushLiterals(literalStart, p);
      emitCopy(best);
      for (uint32_t end = p + best.length; p < end; ++p) remember(p);
      literalStart = p;
    }
    flushLiterals(literalStart, p);
    return std::move(out_);
  }

 private:
  // Bytes a code for this match takes.
  uint32_t cost(const Match& m) const {
    if (m.length == 1) {
      if (isNeighbourAbove(m.distance)) return 1;
      return m.distance <= 0xFF ? 2 : 3;
    }
    uint32_t countBytes = m.length <= 0xFF ? 1 : 2;
    if (m.distance == 1) return 1 + countBytes;
    return 1 + (m.distance <= 0xFF ? 1 : 2) + countBytes;
  }

  // A lone pixel copied in the middle of literals also costs the code byte that restarts
  // the literals after it: only codes of one or two bytes beat the 4 literal bytes then.
  bool paysInsideLiterals(const Match& m) const { return cost(m) + 1 < 4; }

  bool isNeighbourAbove(uint32_t d) const {
    return d == width_ || d == width_ + 1 || (width_ >= 2 && d == width_ - 1);
  }

  uint32_t matchLength(uint32_t p, uint32_t d, uint32_t limit) const {
    uint32_t n = 0;
    const uint32_t* at = pixels_.data() + p;
    const uint32_t* from = at - d;
    while (n < limit && at[n] == from[n]) ++n;
    return n;
  }

  // Keeps the longer match, or the cheaper of two equally long ones.
  void consider(uint32_t p, uint32_t d, uint32_t limit, Match& best) const {
    if (d == 0 || d > p) return;
    // Only codes 9-11 reach further than kMaxDistance, one pixel at a time.
    if (d > kMaxDistance) {
      if (!isNeighbourAbove(d)) return;
      limit = std::min(limit, 1u);
    }
    Match m{d, matchLength(p, d, limit)};
    if (m.length == 0) return;
    if (m.length > best.length || (m.length == best.length && cost(m) < cost(best))) best = m;
  }

  Match bestMatch(uint32_t p) const {
    Match best;
    const uint32_t limit = std::min(kMaxCount, total_ - p);
    consider(p, 1, limit, best);
    consider(p, width_, limit, best);
    consider(p, width_ + 1, limit, best);
    if (width_ >= 2) consider(p, width_ - 1, limit, best);
    uint32_t same = pixelHead_[pixelHash(p)];
    if (same != kNone) consider(p, p - same, limit, best);
    if (p + 1 < total_) {
      uint32_t tries = depth_;
      for (uint32_t q = pairHead_[pairHash(p)]; q != kNone && tries-- > 0 && best.length < limit;
           q = chain_[q % kRingSize]) {
        if (p - q > kMaxDistance) break;
        consider(p, p - q, limit, best);
      }
    }
    return best;
  }

  uint32_t pixelHash(uint32_t p) const { return (pixels_[p] * 0x9E3779B1u) >> (32 - kPixelHashBits); }

  uint32_t pairHash(uint32_t p) const {
    return ((pixels_[p] * 0x9E3779B1u) ^ (pixels_[p + 1] * 0x85EBCA77u)) >> (32 - kPairHashBits);
  }

  void remember(uint32_t p) {
    pixelHead_[pixelHash(p)] = p;
    if (p + 1 < total_) {
      uint32_t& head = pairHead_[pairHash(p)];
      chain_[p % kRingSize] = head;
      head = p;
    }
  }

  void put(uint8_t byte) { out_.push_back(byte); }
  void put16(uint32_t value) {
    put(static_cast<uint8_t>(value));
    put(static_cast<uint8_t>(value >> 8));
  }
  void putCode(uint8_t code) {
    put(code);
    if (counts_) ++counts_->perCode[code];
  }

  void flushLiterals(uint32_t from, uint32_t to) {
    while (from < to) {
      uint32_t n = std::min(kMaxLiteralPixels, to - from);
      putCode(static_cast<uint8_t>(kLiteralBias + n));
      const uint8_t* bytes = reinterpret_cast<const uint8_t*>(pixels_.data() + from);
      out_.insert(out_.end(), bytes, bytes + static_cast<size_t>(n) * 4);
      from += n;
    }
  }

  void emitCopy(const Match& m) {
    const bool shortCount = m.length <= 0xFF;
    const bool nearDistance = m.distance <= 0xFF;
    if (m.length == 1 && isNeighbourAbove(m.distance)) {
      putCode(m.distance == width_ ? kCopyAbove : m.distance == width_ + 1 ? kCopyAboveLeft : kCopyAboveRight);
    } else if (m.length == 1) {
      putCode(nearDistance ? kCopyOneNear : kCopyOneFar);
      nearDistance ? put(static_cast<uint8_t>(m.distance)) : put16(m.distance);
    } else if (m.distance == 1) {
      putCode(shortCount ? kRepeatShort : kRepeatLong);
      shortCount ? put(static_cast<uint8_t>(m.length)) : put16(m.length);
    } else {
      putCode(nearDistance ? (shortCount ? kCopyNearShort : kCopyNearLong)
                           : (shortCount ? kCopyFarShort : kCopyFarLong));
      nearDistance ? put(static_cast<uint8_t>(m.distance)) : put16(m.distance);
      shortCount ? put(static_cast<uint8_t>(m.length)) : put16(m.length);
    }
  }

  const uint32_t width_;
  const uint32_t total_;
  const uint32_t depth_;
  CodeCounts* counts_;
  std::vector<uint32_t> pixels_;
  std::vector<uint32_t> pairHead_;
  std::vector<uint32_t> pixelHead_;
  std::vector<uint32_t> chain_;  // previous position with the same pair hash, by position
  std::vector<uint8_t> out_;
};

void putLe(std::vector<uint8_t>& out, size_t at, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

uint64_t CodeCounts::literals() const {
  uint64_t sum = 0;
  for (int code = kLiteralBias + 1; code < 256; ++code) sum += perCode[code];
  return sum;
}

std::vector<uint8_t> encodeCodes(const uint8_t* pixels, uint32_t width, uint32_t height,
                                 const WriterOptions& options, CodeCounts* counts) {
  if (pixels == nullptr || width == 0 || height == 0 || width > kMaxDimension || height > kMaxDimension) return {};
  return Encoder(pixels, width, height, options, counts).run();
}

bool encodeGga(const uint8_t* pixels, uint32_t width, uint32_t height, std::vector<uint8_t>& file,
               const WriterOptions& options, CodeCounts* counts) {
  file.clear();
  if (options.auxSize > kMaxAuxSize) return false;
  std::vector<uint8_t> codes = encodeCodes(pixels, width, height, options, counts);
  if (codes.empty() || codes.size() > UINT32_MAX - options.auxSize) return false;
  file.assign(kHeaderSize + options.auxSize, 0);
  std::memcpy(file.data(), "GGA00000", 8);
  putLe(file, 8, width, 2);
  putLe(file, 10, height, 2);
  file[14] = 32;
  putLe(file, 16, kHeaderSize + options.auxSize, 4);  // codeOffset
  putLe(file, 20, static_cast<uint32_t>(options.auxSize + codes.size()), 4);  // dataSize
  putLe(file, 24, kHeaderSize, 4);  // auxOffset
  putLe(file, 28, options.auxSize, 4);
  file.insert(file.end(), codes.begin(), codes.end());
  return true;
}

}  // namespace gga_writer
