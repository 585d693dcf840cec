// Building blocks for the GGA tests: a header maker, a stream over bytes that may hand
// them out in small pieces, and a decode helper that returns the pixels top row first.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "gga_plugin/gga_decoder.h"
#include "support/image_decoder.h"
#include "support/stream.h"

namespace gga_test {

using Bytes = std::vector<uint8_t>;
using Pixels = std::vector<uint32_t>;

// Four pixels whose bytes are easy to tell apart: A is A1 A2 A3 A4 in the file.
#define PA 0xA1, 0xA2, 0xA3, 0xA4
#define PB 0xB1, 0xB2, 0xB3, 0xB4
#define PC 0xC1, 0xC2, 0xC3, 0xC4
#define PD 0xD1, 0xD2, 0xD3, 0xD4
constexpr uint32_t A = 0xA4A3A2A1, B = 0xB4B3B2B1, C = 0xC4C3C2C1, D = 0xD4D3D2D1;

inline void putLe(Bytes& out, size_t at, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// A 48-byte header that passes every rule, the aux region, then the codes. dataSize
// counts the aux region and the codes, and is 1 when there are none (0 is refused).
inline Bytes ggaFile(uint16_t width, uint16_t height, const Bytes& codes, uint32_t auxSize = 0) {
  Bytes file(48, 0);
  std::memcpy(file.data(), "GGA00000", 8);
  putLe(file, 8, width, 2);
  putLe(file, 10, height, 2);
  file[14] = 32;
  putLe(file, 16, 48 + auxSize, 4);
  putLe(file, 20, static_cast<uint32_t>(auxSize + codes.size() + (codes.empty() ? 1 : 0)), 4);
  putLe(file, 24, 48, 4);
  putLe(file, 28, auxSize, 4);
  file.resize(file.size() + auxSize, 0);
  file.insert(file.end(), codes.begin(), codes.end());
  return file;
}

inline Pixels repeat(uint32_t pixel, size_t count) { return Pixels(count, pixel); }

inline Pixels join(std::initializer_list<Pixels> parts) {
  Pixels all;
  for (const Pixels& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// A stream over a byte vector. `piece` caps what one read past the header hands out, as
// a stream that delivers short counts would (the header itself comes in one read, as from
// a file); the operations a decoder does not use fail.
class BytesStream : public support::Stream {
 public:
  explicit BytesStream(Bytes bytes, uint32_t piece = 0xFFFFFFFF) : bytes_(std::move(bytes)), piece_(piece) {}
  Bytes& bytes() { return bytes_; }

  int32_t openRead(uintptr_t, uint32_t) override { return -1; }
  int32_t openWrite(uintptr_t, uint32_t) override { return -1; }
  int32_t openOther(uintptr_t, uint32_t) override { return -1; }
  void close() override {}
  int32_t getByte() override { return pos_ < bytes_.size() ? bytes_[pos_++] : -1; }
  int32_t putByte(int32_t) override { return -1; }
  int32_t read(uint8_t* dst, uint32_t n) override {
    if (pos_ >= bytes_.size()) return -1;
    size_t take = std::min<size_t>(n, bytes_.size() - pos_);
    if (pos_ >= 48) take = std::min<size_t>(take, piece_);
    std::memcpy(dst, bytes_.data() + pos_, take);
    pos_ += take;
    return static_cast<int32_t>(take);
  }
  int32_t writeFrom(Stream&, uint32_t) override { return -1; }
  int32_t write(const uint8_t*, uint32_t) override { return -1; }
  int32_t seek(int32_t position) override {
    pos_ = static_cast<uint32_t>(position);
    return 0;
  }
  int32_t tell() override { return static_cast<int32_t>(pos_); }
  int32_t size() override { return static_cast<int32_t>(bytes_.size()); }
  int32_t atEnd() override { return pos_ == bytes_.size(); }

 private:
  Bytes bytes_;
  uint32_t piece_;
  uint32_t pos_ = 0;
};

inline uint32_t pixelAt(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

struct Decoded {
  int32_t code = -100;
  Pixels topDown;  // rows put back in picture order
  Bytes bits;      // as the decoder left them, bottom-up
};

// Probes, reads the size, decodes into a zero-filled buffer; `code` is -100 when the
// probe refused the file.
inline Decoded decodeFile(const Bytes& file, uint32_t piece = 0xFFFFFFFF) {
  Decoded out;
  BytesStream stream(file, piece);
  gga::GgaDecoder decoder;
  if (decoder.probe(stream) != 1) return out;
  decoder.attach(&stream);
  spi::PictureInfo info;
  if ((out.code = decoder.getInfo(&info)) != 0) return out;
  const size_t stride = static_cast<size_t>(info.width) * 4;
  out.bits.assign(stride * static_cast<size_t>(info.height), 0);
  support::ProgressNotifier notifier(nullptr, 0);
  out.code = decoder.decode(out.bits.data(), notifier);
  for (int32_t row = info.height - 1; row >= 0; --row)
    for (int32_t x = 0; x < info.width; ++x) out.topDown.push_back(pixelAt(&out.bits[row * stride + x * 4]));
  return out;
}

}  // namespace gga_test
