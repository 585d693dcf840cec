// Small builders of MGX bytes for the tests: a header with chosen fields, a directory
// entry, little-endian words, and whole archives through the writer.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tools/mgx_writer/mgx_writer.h"

namespace mgx_test {

typedef std::vector<uint8_t> Bytes;

inline void putU32(Bytes& out, size_t at, uint32_t value) {
  if (out.size() < at + 4) out.resize(at + 4, 0);
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// "SM2MPX10", count, dataStart, 12 free bytes of zero, directoryStart.
inline Bytes header(uint32_t count, uint32_t dataStart, uint32_t directoryStart = 32) {
  Bytes out = {'S', 'M', '2', 'M', 'P', 'X', '1', '0'};
  putU32(out, 8, count);
  putU32(out, 12, dataStart);
  putU32(out, 28, directoryStart);
  return out;
}

// One 20-byte directory entry; `name` is copied as given, up to 12 bytes, the rest NUL.
inline Bytes entry(const std::string& name, uint32_t offset, uint32_t size) {
  Bytes out(12, 0);
  std::memcpy(out.data(), name.data(), name.size() < 12 ? name.size() : 12);
  putU32(out, 12, offset);
  putU32(out, 16, size);
  return out;
}

inline Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

inline Bytes prefix(const Bytes& bytes, size_t length) { return Bytes(bytes.begin(), bytes.begin() + length); }

inline Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// A well-formed archive of the members, in order, through the writer.
inline Bytes archive(const std::vector<mgx_writer::Member>& members) {
  Bytes out;
  std::string error;
  mgx_writer::buildArchive(members, out, error);
  return out;
}

inline std::string text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

}  // namespace mgx_test
