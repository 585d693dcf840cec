// IsProcessorFeaturePresent over the compiler's processor query.
#include "platform/win32.h"

extern "C" {

BOOL IsProcessorFeaturePresent(DWORD feature) {
#if defined(__i386__) || defined(__x86_64__)
  if (feature == PF_XMMI64_INSTRUCTIONS_AVAILABLE) return __builtin_cpu_supports("sse2") ? TRUE : FALSE;
#endif
  (void)feature;
  return FALSE;
}

}  // extern "C"
