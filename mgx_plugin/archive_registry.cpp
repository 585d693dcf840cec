#include "mgx_plugin/archive_registry.h"

namespace durnac {

int32_t identifyArchive(const support::FileName& name, support::Stream* input) {
  if (input != nullptr) return ArchiveRegistry::identify(*input);
  if (name.isNull()) return 0;
  support::Stream* file = name.createStream();
  if (file == nullptr) return 0;
  // A failed opening leaves the stream closed; the probe then reads nothing and refuses.
  file->openRead(name.address(), 0);
  int32_t number = ArchiveRegistry::identify(*file);
  delete file;
  return number;
}

}  // namespace durnac
