#include "mgx_plugin/archive_registry.h"

#include "support/streams.h"

int32_t identifyArchive(const char* name, support::Stream* input) {
  if (input != nullptr) return ArchiveRegistry::identify(*input);
  if (name == nullptr) return 0;
  support::Stream* file = support::FileStreamFactory().create();
  if (file == nullptr) return 0;
  // A failed opening leaves the stream closed; the probe then reads nothing and refuses.
  file->openRead(reinterpret_cast<uintptr_t>(name), 0);
  int32_t number = ArchiveRegistry::identify(*file);
  delete file;
  return number;
}
