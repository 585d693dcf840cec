// Drives a MemoryStream with a script of operations taken from the input and checks every
// answer against a plain model of the block, position and clamps. The block is a heap copy
// of exactly the input's size, so a transfer that strays outside it is caught by the
// sanitizers; a wrong answer traps.
//
// Script: one byte per operation (its low three bits), followed by the operation's
// arguments as little-endian 32-bit values where it takes any.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/support/fuzz_helpers.h"
#include "support/streams.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

struct Model {
  uint8_t* storage = nullptr;  // the stream's block: a heap copy of exactly the input's size
  std::vector<uint8_t> block;  // what that block must hold
  std::vector<uint8_t> spare;  // as large as the block: the tails of it are the transfer buffers
  uint32_t capacity = 0;       // the part of it that the stream covers
  uint32_t pos = 0;
  bool inside() const { return pos < capacity; }
  uint32_t left() const { return capacity - pos; }
  // What a transfer of n bytes moves.
  uint32_t transferable(uint32_t n) const { return inside() ? std::min(n, left()) : 0; }
  // The buffer for a transfer of `bytes`: the last `bytes` bytes of the spare block, so that
  // one byte more runs off its end, where the sanitizers catch it. One block for every step
  // keeps a step's cost to the bytes it moves.
  uint8_t* transferBuffer(uint32_t bytes) { return spare.data() + (spare.size() - bytes); }
};

void readStep(support::MemoryStream& stream, Model& model, uint32_t n) {
  const uint32_t expected = model.transferable(n);
  uint8_t* out = model.transferBuffer(expected);
  int32_t got = stream.read(out, n);
  if (!model.inside()) return check(got == -1);
  check(got == static_cast<int32_t>(expected));
  check(std::equal(out, out + expected, model.block.begin() + model.pos));
  model.pos += expected;
}

void writeStep(support::MemoryStream& stream, Model& model, uint32_t n, uint8_t value) {
  const uint32_t expected = model.transferable(n);
  uint8_t* in = model.transferBuffer(expected);
  std::fill_n(in, expected, value);
  int32_t put = stream.write(in, n);
  if (!model.inside()) return check(put == -1);
  check(put == static_cast<int32_t>(expected));
  std::fill_n(model.block.begin() + model.pos, expected, value);
  model.pos += expected;
}

// Copies from a second stream over `length` bytes of `value`.
void writeFromStep(support::MemoryStream& stream, Model& model, uint32_t n, uint8_t length, uint8_t value) {
  std::vector<uint8_t> source(length, value);
  support::MemoryStream from;
  from.openRead(reinterpret_cast<uintptr_t>(source.data()), length);
  int32_t got = stream.writeFrom(from, n);
  if (!model.inside()) return check(got == -1);
  uint32_t wanted = std::min(n, model.left());
  int32_t expected = length == 0 ? -1 : static_cast<int32_t>(std::min<uint32_t>(wanted, length));
  check(got == expected);
  if (got > 0) {
    std::fill_n(model.block.begin() + model.pos, got, value);
    model.pos += static_cast<uint32_t>(got);
  }
}

void run(fuzz_support::Script& script, support::MemoryStream& stream, Model& model) {
  while (!script.done()) {
    switch (script.byte() & 7) {
      case 0: {
        int32_t value = stream.getByte();
        check(value == (model.inside() ? model.block[model.pos++] : -1));
        break;
      }
      case 1: readStep(stream, model, script.word()); break;
      case 2: {
        int32_t position = static_cast<int32_t>(script.word());
        check(stream.seek(position) == 0);
        model.pos = static_cast<uint32_t>(position);
        break;
      }
      case 3: {
        uint8_t value = script.byte();
        int32_t result = stream.putByte(value | 0x100);
        check(result == (model.inside() ? 0 : -1));
        if (model.inside()) model.block[model.pos++] = value;
        break;
      }
      case 4: {
        uint32_t n = script.word();
        writeStep(stream, model, n, script.byte());
        break;
      }
      case 5: {
        uint32_t n = script.word();
        uint8_t length = script.byte();
        writeFromStep(stream, model, n, length, script.byte());
        break;
      }
      case 6:
        check(stream.tell() == static_cast<int32_t>(model.pos));
        check(stream.size() == static_cast<int32_t>(model.capacity));
        check(stream.atEnd() == (model.pos == model.capacity ? 1 : 0));
        break;
      case 7: {  // reopen over a part of the block
        uint32_t length = std::min<uint32_t>(script.word(), static_cast<uint32_t>(model.block.size()));
        check(stream.openRead(reinterpret_cast<uintptr_t>(model.storage), length) == 0);
        model.capacity = length;
        model.pos = 0;
        break;
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0x100000) return 0;
  // The stream works on its own heap copy; the model keeps the expected contents.
  Model model;
  model.block.assign(data, data + size);
  model.spare.resize(size);
  model.storage = new uint8_t[size == 0 ? 1 : size];
  if (size != 0) std::memcpy(model.storage, data, size);
  model.capacity = static_cast<uint32_t>(size);
  support::MemoryStream stream;
  stream.openRead(reinterpret_cast<uintptr_t>(model.storage), model.capacity);
  fuzz_support::Script script(data, size);
  run(script, stream, model);
  check(size == 0 || std::memcmp(model.storage, model.block.data(), size) == 0);
  delete[] model.storage;
  return 0;
}
