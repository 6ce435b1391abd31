// Main of the tests that play real movies: the web engine needs its URL scheme and flags
// before the application exists, and the tests of one program share its one profile
// (Chromium's start-up is the cost).
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <cstdio>

#include "common/GlDrivers.h"
#include "flashhost/FlashPlayerControl.h"
#include "flashhost/ruffle/RuffleRenderer.h"

// Chromium inside libQt6WebEngineCore deletes some of its objects through a base type of
// another size when a render process goes away; the sanitizer's sized-delete check stops
// the whole test there. That check is off in these programs only; the rest of
// AddressSanitizer stays (the suite's ASAN_OPTIONS add to these).
extern "C" __attribute__((used)) const char* __asan_default_options() {
  return "new_delete_type_mismatch=0";
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  vedalia::test::KeepGlDriversLoaded();
#if defined(__SANITIZE_ADDRESS__)
  // The web view draws its frames with OpenGL on the main thread; with the sanitizer's
  // allocator under the software GL driver that fell so far behind an animated movie that
  // its page answered no call for tens of seconds. The sanitizer checks our code, not the
  // drawing path, so these programs draw without OpenGL there.
  qputenv("QT_QUICK_BACKEND", "software");
#endif
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
