// Main of the renderer tests: the web engine needs its URL scheme and flags before the
// application exists, and every test shares its one profile (Chromium's start-up is the
// cost), so all tests run in this one process.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <QApplication>
#include <QFile>

#include "flashhost/FlashPlayerControl.h"
#include "flashhost/ruffle/RuffleRenderer.h"

// Chromium inside libQt6WebEngineCore deletes some of its objects through a base type of
// another size when a render process goes away; the sanitizer's sized-delete check stops
// the whole test there. That check is off in this program only; the rest of AddressSanitizer
// stays (the suite's ASAN_OPTIONS add to these).
extern "C" const char* __asan_default_options() { return "new_delete_type_mismatch=0"; }

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  // As in the other widget tests: GL drivers stay loaded until the leak checker has run.
  for (const char* driver : {"libGLX_mesa.so.0", VEDALIA_DRI_DIR "/swrast_dri.so"})
    dlopen(driver, RTLD_NOW | RTLD_NODELETE);
  vedalia::PrepareMovieRenderer();
  QApplication app(argc, argv);
  QFile runtime(vedalia::TFlashPlayerControl::PlayerCodeResource());
  if (!runtime.open(QIODevice::ReadOnly) ||
      !vedalia::TFlashPlayerControl::InstallPlayerCode(runtime)) {
    std::fprintf(stderr, "the compiled player runtime does not install\n");
    return 1;
  }
  vedalia::TFlashPlayerControl::SetRendererFactory(vedalia::CreateMovieRenderer);
  return RUN_ALL_TESTS();
}
