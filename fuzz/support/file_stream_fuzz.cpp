// Drives the file-backed streams with a script of reading operations taken from the input,
// over a file that holds the input itself: a FileStream opened by its ANSI name, a
// WideFileStream opened by its UTF-16 name and a HandleStream over a handle the harness
// lends. Every answer is checked against a plain model (the bytes and a 64-bit position), so
// the read-ahead buffer's edges, direct reads past it, positions beyond the end and beyond
// 32 bits, and reopening are all held to what the bytes say. A wrong answer traps.
//
// Script: one byte per operation (its low three bits), followed by the operation's
// arguments as little-endian 32-bit values or single bytes where it takes any. Only the
// input's first kScriptBytes are read as the script, so a long input is a large file and
// not a long run of operations.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "fuzz/support/fuzz_helpers.h"
#include "support/streams.h"

namespace {

constexpr size_t kScriptBytes = 512;

void check(bool condition) {
  if (!condition) __builtin_trap();
}

struct Model {
  const uint8_t* bytes;
  uint64_t size;
  uint64_t pos = 0;
  bool inside() const { return pos < size; }
};

void readStep(support::Stream& stream, Model& model, uint32_t n) {
  std::vector<uint8_t> out(n + 1);
  int32_t got = stream.read(out.data(), n);
  if (!model.inside()) return check(got == -1);
  uint64_t expected = std::min<uint64_t>(n, model.size - model.pos);
  check(got == static_cast<int32_t>(expected));
  check(std::memcmp(out.data(), model.bytes + model.pos, static_cast<size_t>(expected)) == 0);
  model.pos += expected;
}

void checkPosition(support::Stream& stream, const Model& model) {
  check(stream.tell64() == static_cast<int64_t>(model.pos));
  check(stream.tell() == (model.pos <= support::kMaxStreamTransfer ? static_cast<int32_t>(model.pos) : -1));
  check(stream.size64() == static_cast<int64_t>(model.size));
  check(stream.size() == static_cast<int32_t>(model.size));
  check(stream.atEnd() == (model.pos == model.size ? 1 : 0));
}

// `reopen` opens the stream again and answers where its model then stands.
template <typename Reopen>
void run(fuzz_support::Script script, support::Stream& stream, Model model, Reopen reopen) {
  // Reads reach a little past the end and across more than one read-ahead buffer.
  const uint32_t longestRead = static_cast<uint32_t>(model.size) + 2 * support::kStreamBufferSize + 1;
  while (!script.done()) {
    switch (script.byte() & 7) {
      case 0: {
        int32_t value = stream.getByte();
        check(value == (model.inside() ? model.bytes[model.pos++] : -1));
        break;
      }
      case 1: readStep(stream, model, script.word() % longestRead); break;
      case 2: {  // a 32-bit seek, at most a little past the end
        uint32_t position = script.word() % (static_cast<uint32_t>(model.size) * 2 + 64);
        check(stream.seek(static_cast<int32_t>(position)) == static_cast<int32_t>(position));
        model.pos = position;
        break;
      }
      case 3: {  // a 64-bit seek, up to 2^40
        uint64_t position = script.word() | static_cast<uint64_t>(script.byte()) << 32;
        check(stream.seek64(position) == static_cast<int64_t>(position));
        model.pos = position;
        break;
      }
      case 4: checkPosition(stream, model); break;
      case 5: {  // a read of nothing refills an empty buffer: 0 with bytes left, -1 at the end
        uint8_t none = 0;
        check(stream.read(&none, 0) == (model.inside() ? 0 : -1));
        break;
      }
      case 6: model.pos = reopen(script.word()); break;
      case 7: {  // a run of single bytes, to cross the read-ahead buffer's edges
        // Each byte asked for at the end is one more refill: the run stops at the first -1.
        for (uint32_t i = script.byte() * 97u; i > 0; --i) {
          int32_t value = stream.getByte();
          check(value == (model.inside() ? model.bytes[model.pos++] : -1));
          if (value == -1) break;
        }
        break;
      }
    }
  }
  checkPosition(stream, model);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0x100000) return 0;
  static const fuzz_support::InputFile file("file-stream-fuzz");
  check(file.write(data, size));
  const Model model{data, size};
  const uintptr_t ansiName = reinterpret_cast<uintptr_t>(file.path());
  const uintptr_t wideName = reinterpret_cast<uintptr_t>(file.widePath());

  // Named files: reopening starts from the first byte again.
  support::FileStream named;
  check(named.openRead(ansiName, 0) == 0);
  run(fuzz_support::Script(data, std::min(size, kScriptBytes)), named, model, [&](uint32_t) {
    check(named.openRead(ansiName, 0) == 0);
    return uint64_t{0};
  });
  support::WideFileStream wide;
  check(wide.openRead(wideName, 0) == 0);
  run(fuzz_support::Script(data, std::min(size, kScriptBytes)), wide, model, [&](uint32_t) {
    check(wide.openRead(wideName, 0) == 0);
    return uint64_t{0};
  });

  // A lent handle: the stream starts wherever the owner left the file pointer, and leaves
  // the handle open.
  HANDLE handle = CreateFileA(file.path(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  check(handle != INVALID_HANDLE_VALUE);
  {
    support::HandleStream lent;
    check(lent.openRead(reinterpret_cast<uintptr_t>(handle), 0) == 0);
    run(fuzz_support::Script(data, std::min(size, kScriptBytes)), lent, model, [&](uint32_t where) {
      LARGE_INTEGER at;
      at.QuadPart = where % (size + 16);
      check(SetFilePointerEx(handle, at, nullptr, FILE_BEGIN));
      check(lent.openRead(reinterpret_cast<uintptr_t>(handle), 0) == 0);
      return static_cast<uint64_t>(at.QuadPart);
    });
  }
  check(CloseHandle(handle));
  return 0;
}
