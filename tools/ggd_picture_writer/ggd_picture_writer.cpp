// The GGD picture encoder. It works on three-byte units of the flat output: a hash-chained
// match finder proposes copies for each unit, and a shortest-path parse over blocks of units
// picks the operations that spend the fewest stream bytes. Long matches are taken at once,
// which keeps flat pictures fast to encode.
#include "tools/ggd_picture_writer/ggd_picture_writer.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace ggd_picture_writer {
namespace {

constexpr int kBytesPerPixel = 3;
constexpr uint32_t kMaxCount = 255;          // n of the repeat and copy operations
constexpr uint32_t kMaxNearDistance = 255;   // d of 01 and 03
constexpr uint32_t kMaxFarDistance = 65535;  // d of 02 and 04
constexpr uint32_t kMaxLiteralPixels = 251;
constexpr uint8_t kModeTagFull[4] = {static_cast<uint8_t>(~'F'), static_cast<uint8_t>(~'U'),
                                     static_cast<uint8_t>(~'L'), static_cast<uint8_t>(~'L')};

// Match finder settings.
constexpr int kHashBits = 17;
constexpr int kSingleHashBits = 16;
constexpr uint32_t kWindow = 65536;  // a power of two above kMaxFarDistance
static_assert(kWindow > kMaxFarDistance, "the chain ring covers every reachable distance");
constexpr int kChainDepth = 16;
// Parser settings: a match this long is taken without weighing alternatives, and the
// shortest path is settled every kBlockUnits units.
constexpr uint32_t kGreedyLength = 64;
constexpr uint32_t kBlockUnits = 4096;

// Stream bytes of each operation.
constexpr uint32_t kRepeatBytes = 2;
constexpr uint32_t kNearBytes = 3, kNearOneBytes = 2;
constexpr uint32_t kFarBytes = 4, kFarOneBytes = 3;

uint32_t strideOf(int width) { return (static_cast<uint32_t>(width) * kBytesPerPixel + 3) / 4 * 4; }

// The best copy of each cost class found at one position: the repeat (distance 1), copies
// with a one-byte distance, copies with a two-byte distance.
struct Matches {
  uint32_t repeatLength = 0;
  uint32_t nearLength = 0, nearDistance = 0;
  uint32_t farLength = 0, farDistance = 0;
  uint32_t longest() const { return std::max({repeatLength, nearLength, farLength}); }
};

class MatchFinder {
 public:
  MatchFinder(const std::vector<uint32_t>& units, uint32_t stride)
      : units_(units), head_(size_t{1} << kHashBits, -1), chain_(kWindow, -1), lastSeen_(size_t{1} << kSingleHashBits, -1) {
    // Copies from whole rows back: one row when a row holds whole units, else three rows,
    // which always lie a whole number of units back.
    for (uint32_t rows = 1; rows <= 3 && rowDistanceCount_ < 2; ++rows) {
      uint64_t bytes = uint64_t{rows} * stride;
      if (bytes % kBytesPerPixel == 0 && bytes / kBytesPerPixel <= kMaxFarDistance) {
        rowDistances_[rowDistanceCount_++] = static_cast<uint32_t>(bytes / kBytesPerPixel);
      }
    }
  }

  // Copies for unit i, of at most `limit` units; i > 0 (the stream opens with a literal).
  Matches find(uint32_t i, uint32_t limit) const {
    Matches m;
    m.repeatLength = length(i, 1, limit);
    consider(m, 0, length(i, 0, limit));  // black pixels
    for (int r = 0; r < rowDistanceCount_; ++r) {
      if (rowDistances_[r] <= i) consider(m, rowDistances_[r], length(i, rowDistances_[r], limit));
    }
    // The pair chains miss a pixel that recurs alone; the last unit of equal hash finds it.
    int32_t seen = lastSeen_[singleHash(units_[i])];
    if (seen >= 0 && i - static_cast<uint32_t>(seen) <= kMaxFarDistance && units_[seen] == units_[i]) {
      consider(m, i - static_cast<uint32_t>(seen), length(i, i - static_cast<uint32_t>(seen), limit));
    }
    if (i + 1 < units_.size()) {
      int32_t j = head_[pairHash(i)];
      for (int depth = 0; j >= 0 && depth < kChainDepth; ++depth) {
        uint32_t distance = i - static_cast<uint32_t>(j);
        if (distance > kMaxFarDistance) break;
        uint32_t best = std::max(m.nearLength, m.farLength);
        // Only a match longer than the best so far can help: test its last unit first.
        if (best < limit && units_[j + best] == units_[i + best]) consider(m, distance, length(i, distance, limit));
        if (std::max(m.nearLength, m.farLength) >= limit) break;
        j = chain_[static_cast<uint32_t>(j) & (kWindow - 1)];
      }
    }
    return m;
  }

  void insert(uint32_t i) {
    if (i + 1 < units_.size()) {
      uint32_t h = pairHash(i);
      chain_[i & (kWindow - 1)] = head_[h];
      head_[h] = static_cast<int32_t>(i);
    }
    lastSeen_[singleHash(units_[i])] = static_cast<int32_t>(i);
  }

 private:
  // Units equal from i on to those `distance` back (distance 0: black units), up to limit.
  uint32_t length(uint32_t i, uint32_t distance, uint32_t limit) const {
    const uint32_t* a = units_.data() + i;
    uint32_t k = 0;
    if (distance == 0) {
      while (k < limit && a[k] == 0) ++k;
    } else {
      const uint32_t* b = a - distance;
      while (k < limit && a[k] == b[k]) ++k;
    }
    return k;
  }

  static void consider(Matches& m, uint32_t distance, uint32_t length) {
    if (distance <= kMaxNearDistance) {
      if (length > m.nearLength) m.nearLength = length, m.nearDistance = distance;
    } else if (length > m.farLength) {
      m.farLength = length, m.farDistance = distance;
    }
  }

  uint32_t pairHash(uint32_t i) const {
    return (units_[i] * 0x9E3779B1u ^ units_[i + 1] * 0x85EBCA77u) >> (32 - kHashBits);
  }
  static uint32_t singleHash(uint32_t unit) { return (unit * 0x9E3779B1u) >> (32 - kSingleHashBits); }

  const std::vector<uint32_t>& units_;
  std::vector<int32_t> head_;
  std::vector<int32_t> chain_;
  std::vector<int32_t> lastSeen_;
  uint32_t rowDistances_[2] = {};
  int rowDistanceCount_ = 0;
};

// One step of a parse: a literal unit, or a copy of `count` units from `distance` back
// (distance 1 being the repeat).
struct Step {
  bool literal;
  uint32_t count;
  uint32_t distance;
};

// Writes the operations and keeps the literal units waiting until a copy or the end.
class StreamWriter {
 public:
  StreamWriter(const std::vector<uint32_t>& units, std::vector<uint8_t>& out, EncodeStats& stats)
      : units_(units), out_(out), stats_(stats) {}

  void literal(uint32_t at) {
    if (waiting_ == 0) waitingFrom_ = at;
    ++waiting_;
  }

  void copy(uint32_t count, uint32_t distance) {
    flushLiterals();
    OpKind kind;
    if (distance == 1) {
      kind = kOpRepeat;
      out_.insert(out_.end(), {0x00, static_cast<uint8_t>(count)});
    } else if (distance <= kMaxNearDistance) {
      kind = count == 1 ? kOpCopyOneNear : kOpCopyNear;
      if (count == 1) out_.insert(out_.end(), {0x03, static_cast<uint8_t>(distance)});
      else out_.insert(out_.end(), {0x01, static_cast<uint8_t>(count), static_cast<uint8_t>(distance)});
    } else {
      kind = count == 1 ? kOpCopyOneFar : kOpCopyFar;
      const uint8_t low = static_cast<uint8_t>(distance), high = static_cast<uint8_t>(distance >> 8);
      if (count == 1) out_.insert(out_.end(), {0x04, low, high});
      else out_.insert(out_.end(), {0x02, static_cast<uint8_t>(count), low, high});
    }
    ++stats_.operations[kind];
    stats_.pixels[kind] += count;
    if (distance == 0) ++stats_.blackCopies;
  }

  // Literal runs of at most 251 units, each unit's three bytes in order.
  void flushLiterals() {
    while (waiting_ > 0) {
      uint32_t run = std::min(waiting_, kMaxLiteralPixels);
      out_.push_back(static_cast<uint8_t>(run + 4));
      for (uint32_t k = 0; k < run; ++k) pushUnit(units_[waitingFrom_ + k]);
      ++stats_.operations[kOpLiteral];
      stats_.pixels[kOpLiteral] += run;
      waitingFrom_ += run;
      waiting_ -= run;
    }
  }

  // The final one or two bytes of an output whose size is no multiple of 3, as a 1-pixel
  // literal of its own: inside a longer run it would not fit and the run would be dropped.
  void partialUnit(const uint8_t* bytes, uint32_t count) {
    flushLiterals();
    uint8_t unit[kBytesPerPixel] = {};
    std::memcpy(unit, bytes, count);
    out_.push_back(5);
    out_.insert(out_.end(), unit, unit + kBytesPerPixel);
    ++stats_.operations[kOpLiteral];
    ++stats_.pixels[kOpLiteral];
  }

 private:
  void pushUnit(uint32_t unit) {
    out_.insert(out_.end(), {static_cast<uint8_t>(unit), static_cast<uint8_t>(unit >> 8), static_cast<uint8_t>(unit >> 16)});
  }

  const std::vector<uint32_t>& units_;
  std::vector<uint8_t>& out_;
  EncodeStats& stats_;
  uint32_t waitingFrom_ = 0;
  uint32_t waiting_ = 0;
};

// Shortest paths from the start of a block to each unit after it, measured in stream bytes
// and, between paths of equal bytes, in operations (fewer decode faster). Each unit keeps
// two paths: the best that ends in a literal and the best that ends in a copy, because a
// literal after a literal usually goes on in the same run while one after a copy costs an
// operation byte more.
class BlockParser {
 public:
  BlockParser() : nodes_(2 * (kBlockUnits + kMaxCount + 1)), reached_(kBlockUnits + kMaxCount) {}

  // Starts a block at unit `start`, reached by a literal run of `literalRun` units, or by a
  // copy (or nothing) when that is 0.
  void begin(uint32_t start, uint32_t literalRun) {
    start_ = start;
    // Only the nodes the last block reached need clearing: blocks can be a few units short.
    std::fill(nodes_.begin(), nodes_.begin() + 2 * (reached_ + 1), Node{});
    reached_ = 0;
    Node& first = node(start, literalRun > 0 ? kEndsInLiteral : kEndsInCopy);
    first.cost = 0;
    first.literalRun = literalRun;
  }

  uint32_t start() const { return start_; }
  uint32_t literalRunAt(uint32_t i) const { return best(i) == kEndsInLiteral ? node(i, kEndsInLiteral).literalRun : 0; }

  // Offers the ways onward from unit i: one literal unit and the copies found there.
  void relax(uint32_t i, const Matches& m, uint32_t limit) {
    const Node& afterLiteral = node(i, kEndsInLiteral);
    const Node& afterCopy = node(i, kEndsInCopy);
    const Step literal{true, 1, 0};
    if (afterLiteral.cost != kUnreached) {
      // Within a run a literal costs its 3 bytes; every 251st opens a new run.
      const bool opensRun = afterLiteral.literalRun % kMaxLiteralPixels == 0;
      offer(i + 1, kEndsInLiteral, afterLiteral.cost + price(kBytesPerPixel + (opensRun ? 1 : 0), opensRun ? 1 : 0),
            literal, kEndsInLiteral, afterLiteral.literalRun + 1);
    }
    if (afterCopy.cost != kUnreached) {
      offer(i + 1, kEndsInLiteral, afterCopy.cost + price(kBytesPerPixel + 1, 1), literal, kEndsInCopy, 1);
    }
    const State from = best(i);
    const uint64_t base = node(i, from).cost;
    const uint32_t reach = std::min(m.longest(), limit);
    for (uint32_t k = 1; k <= reach; ++k) {
      uint32_t bytes = 0, distance = 0;
      if (m.repeatLength >= k) {
        bytes = kRepeatBytes, distance = 1;
      } else if (m.nearLength >= k) {
        bytes = k == 1 ? kNearOneBytes : kNearBytes, distance = m.nearDistance;
      } else {
        bytes = k == 1 ? kFarOneBytes : kFarBytes, distance = m.farDistance;
      }
      offer(i + k, kEndsInCopy, base + price(bytes, 1), Step{false, k, distance}, from, 0);
    }
  }

  // The steps of the best path from the block's start to unit `end`, in order.
  void path(uint32_t end, std::vector<Step>& steps) const {
    steps.clear();
    State state = best(end);
    for (uint32_t at = end; at > start_;) {
      const Node& n = node(at, state);
      steps.push_back(n.step);
      at -= n.step.count;
      state = n.from;
    }
    std::reverse(steps.begin(), steps.end());
  }

 private:
  enum State : uint8_t { kEndsInLiteral, kEndsInCopy };
  static constexpr uint64_t kUnreached = std::numeric_limits<uint64_t>::max();

  struct Node {
    uint64_t cost = kUnreached;
    uint32_t literalRun = 0;
    Step step = {true, 1, 0};
    State from = kEndsInCopy;
  };

  // Bytes first; operations (fewer than 2^24 in a block) break ties.
  static uint64_t price(uint32_t bytes, uint32_t operations) { return uint64_t{bytes} << 24 | operations; }

  Node& node(uint32_t i, State state) { return nodes_[2 * (i - start_) + state]; }
  const Node& node(uint32_t i, State state) const { return nodes_[2 * (i - start_) + state]; }
  State best(uint32_t i) const {
    return node(i, kEndsInLiteral).cost <= node(i, kEndsInCopy).cost ? kEndsInLiteral : kEndsInCopy;
  }

  void offer(uint32_t to, State state, uint64_t cost, const Step& step, State from, uint32_t literalRun) {
    Node& n = node(to, state);
    reached_ = std::max(reached_, to - start_);
    if (cost < n.cost) {
      n.cost = cost;
      n.literalRun = literalRun;
      n.step = step;
      n.from = from;
    }
  }

  std::vector<Node> nodes_;
  uint32_t start_ = 0;
  uint32_t reached_;
};

// The flat output as the decoder fills it, cut into whole units (the trailing 1 or 2 bytes
// of an output whose size is no multiple of 3 are left out).
std::vector<uint32_t> flatUnits(int width, int height, const uint8_t* bgr, std::vector<uint8_t>& flat) {
  const uint32_t stride = strideOf(width);
  const size_t rowBytes = static_cast<size_t>(width) * kBytesPerPixel;
  flat.assign(static_cast<size_t>(stride) * static_cast<size_t>(height), 0);
  for (int r = 0; r < height; ++r) std::memcpy(flat.data() + static_cast<size_t>(r) * stride, bgr + r * rowBytes, rowBytes);
  std::vector<uint32_t> units(flat.size() / kBytesPerPixel);
  for (size_t u = 0; u < units.size(); ++u) {
    const uint8_t* p = flat.data() + u * kBytesPerPixel;
    units[u] = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16;
  }
  return units;
}

void writeHeader(int width, int height, std::vector<uint8_t>& out) {
  out.insert(out.end(), kModeTagFull, kModeTagFull + 4);
  out.insert(out.end(), {static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(height),
                         static_cast<uint8_t>(height >> 8)});
}

void emitPath(const BlockParser& parser, uint32_t end, std::vector<Step>& steps, StreamWriter& writer) {
  parser.path(end, steps);
  uint32_t at = parser.start();
  for (const Step& step : steps) {
    if (step.literal) writer.literal(at);
    else writer.copy(step.count, step.distance);
    at += step.count;
  }
}

void encodeUnits(const std::vector<uint32_t>& units, uint32_t stride, StreamWriter& writer) {
  const uint32_t total = static_cast<uint32_t>(units.size());
  MatchFinder finder(units, stride);
  BlockParser parser;
  std::vector<Step> steps;
  parser.begin(0, 0);
  uint32_t i = 0;
  while (i < total) {
    const uint32_t limit = std::min(kMaxCount, total - i);
    const Matches m = i > 0 ? finder.find(i, limit) : Matches{};
    if (m.longest() >= std::min(kGreedyLength, limit) && m.longest() > 0) {
      // Settle the path so far and take the longest copy, in its cheapest class.
      emitPath(parser, i, steps, writer);
      const uint32_t count = m.longest();
      const uint32_t distance =
          m.repeatLength == count ? 1 : m.nearLength == count ? m.nearDistance : m.farDistance;
      writer.copy(count, distance);
      for (uint32_t k = 0; k < count; ++k) finder.insert(i + k);
      i += count;
      parser.begin(i, 0);
      continue;
    }
    if (i - parser.start() >= kBlockUnits) {
      const uint32_t run = parser.literalRunAt(i);
      emitPath(parser, i, steps, writer);
      parser.begin(i, run);
    }
    parser.relax(i, m, limit);
    finder.insert(i);
    ++i;
  }
  emitPath(parser, total, steps, writer);
  writer.flushLiterals();
}

}  // namespace

uint64_t bitmapBytes(int width, int height) {
  return static_cast<uint64_t>(strideOf(std::max(width, 0))) * static_cast<uint64_t>(std::max(height, 0));
}

std::vector<uint8_t> encodeGgdPicture(int width, int height, const uint8_t* bgr, EncodeStats* stats) {
  if (width < 1 || width > kMaxDimension || height < 1 || height > kMaxDimension) return {};
  if (bitmapBytes(width, height) > kMaxBitmapBytes || bgr == nullptr) return {};
  EncodeStats ignored;
  EncodeStats& counts = stats ? *stats : ignored;
  counts = EncodeStats{};

  std::vector<uint8_t> flat;
  const std::vector<uint32_t> units = flatUnits(width, height, bgr, flat);
  std::vector<uint8_t> out;
  out.reserve(flat.size() / 2 + 64);
  writeHeader(width, height, out);
  StreamWriter writer(units, out, counts);
  encodeUnits(units, strideOf(width), writer);

  // The last pixel byte lies at (height - 1) x stride + width x 3 - 1; when that is inside
  // the trailing partial unit, the unit has to be written.
  const size_t wholeBytes = units.size() * kBytesPerPixel;
  const size_t pixelEnd = static_cast<size_t>(height - 1) * strideOf(width) + static_cast<size_t>(width) * kBytesPerPixel;
  if (pixelEnd > wholeBytes) writer.partialUnit(flat.data() + wholeBytes, static_cast<uint32_t>(flat.size() - wholeBytes));
  return out;
}

}  // namespace ggd_picture_writer
