#include "plugin_api/host_block.h"

namespace spi {

HLOCAL newHostBlock(uint64_t bytes) {
  if (bytes > kMaxHostBlockBytes) return nullptr;
  return LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, static_cast<size_t>(bytes));
}

}  // namespace spi
