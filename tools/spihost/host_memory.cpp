#include "tools/spihost/host_memory.h"

#include "platform/win32.h"

namespace spihost {

HandedBlock& HandedBlock::operator=(HandedBlock&& other) noexcept {
  if (this != &other) {
    release();
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

uint64_t HandedBlock::size() const { return handle_ == nullptr ? 0 : static_cast<uint64_t>(LocalSize(handle_)); }

void HandedBlock::release() {
  if (handle_ != nullptr) LocalFree(handle_);
  handle_ = nullptr;
}

BlockView::BlockView(const HandedBlock& block, bool lock) : handle_(block.handle()), size_(block.size()) {
  if (handle_ == nullptr) {
    problem_ = "the plug-in handed over a null handle";
    return;
  }
  void* address = LocalLock(handle_);
  if (lock) {
    locked_ = address != nullptr;
    data_ = static_cast<const uint8_t*>(address);
    // Locking an empty moveable block gives no address, yet there is nothing to read.
    if (!locked_ && size_ != 0) problem_ = "LocalLock failed on a handed-over block";
    return;
  }
  // A host that skips the lock reads at the handle. That is the block's address only for a
  // fixed block; the lock taken here just finds out, and is dropped again at once.
  if (address != nullptr) LocalUnlock(handle_);
  if (address != handle_ && size_ != 0) {
    problem_ = "the plug-in handed over a moveable block; a host that does not lock reads garbage";
    return;
  }
  data_ = static_cast<const uint8_t*>(handle_);
}

BlockView::~BlockView() {
  if (locked_) LocalUnlock(handle_);
}

}  // namespace spihost
