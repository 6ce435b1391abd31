#pragma once
#include <dlfcn.h>

namespace vedalia::test {

// The GL libraries unload the vendor and DRI drivers when the display closes, before the
// leak checker runs; their allocations then show up as leaks with no module to suppress
// them by. Keeping the drivers loaded keeps them attributable.
inline void KeepGlDriversLoaded() {
  for (const char* driver : {"libGLX_mesa.so.0", VEDALIA_DRI_DIR "/swrast_dri.so"})
    dlopen(driver, RTLD_NOW | RTLD_NODELETE);
}

}  // namespace vedalia::test
