// The factories: each makes one kind of stream, or null when memory is short.
#include <new>

#include "support/streams.h"

namespace support {

Stream* FileStreamFactory::create() { return new (std::nothrow) FileStream(); }
Stream* WideFileStreamFactory::create() { return new (std::nothrow) WideFileStream(); }
Stream* HandleStreamFactory::create() { return new (std::nothrow) HandleStream(); }
Stream* MemoryStreamFactory::create() { return new (std::nothrow) MemoryStream(); }

}  // namespace support
