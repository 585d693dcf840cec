// Local-memory blocks that a plug-in hands over (bitmap information and bits, entry lists,
// extracted members). The host owns them from the plug-in's successful return and frees
// them with LocalFree, as a viewer does; they are process memory, not the library's, so
// they outlive the library that made them.
#pragma once

#include <cstdint>
#include <string>

namespace spihost {

class HandedBlock {
 public:
  HandedBlock() = default;
  explicit HandedBlock(void* handle) : handle_(handle) {}
  ~HandedBlock() { release(); }
  HandedBlock(HandedBlock&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  HandedBlock& operator=(HandedBlock&& other) noexcept;
  HandedBlock(const HandedBlock&) = delete;
  HandedBlock& operator=(const HandedBlock&) = delete;

  void* handle() const { return handle_; }
  bool empty() const { return handle_ == nullptr; }
  // The block's size as the allocator knows it (LocalSize).
  uint64_t size() const;
  void release();

 private:
  void* handle_ = nullptr;
};

// The bytes of one block for the length of one read. The interface asks hosts to lock a
// handle before use; some hosts take the handle itself as the address instead, which
// works only for fixed blocks. Either way reads stay inside the block's real size.
class BlockView {
 public:
  BlockView(const HandedBlock& block, bool lock);
  ~BlockView();
  BlockView(const BlockView&) = delete;
  BlockView& operator=(const BlockView&) = delete;

  // False when the bytes cannot be reached; problem() then says why.
  bool ok() const { return problem_.empty(); }
  const std::string& problem() const { return problem_; }
  const uint8_t* data() const { return data_; }
  uint64_t size() const { return size_; }

 private:
  void* handle_ = nullptr;
  bool locked_ = false;
  const uint8_t* data_ = nullptr;
  uint64_t size_ = 0;
  std::string problem_;
};

}  // namespace spihost
