// Mesa's driver module is unloaded when the last context goes, after which the leak checker
// cannot name the driver's own never-freed allocations (and so cannot suppress them). Keeping
// the module loaded for the life of the process lets the suppression list match them.

#include <dlfcn.h>

#include <initializer_list>

namespace {

struct KeepDriverLoaded {
  KeepDriverLoaded() {
    for (const char* path : {"/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", "swrast_dri.so"}) {
      if (dlopen(path, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) break;
    }
  }
} keepDriverLoaded;

}  // namespace
