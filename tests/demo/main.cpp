// Test main for the demo course: the movie renderer is set up before the application, as
// the program does it, and installed for every player the tests create.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <QApplication>

#include "flashhost/FlashPlayerControl.h"
#include "flashhost/ruffle/RuffleRenderer.h"
#include "shell/uStartup.h"

// Chromium inside the web engine library deletes some objects through a pointer to a smaller
// base (sized delete); the sanitizer's check would end every run inside that library.
extern "C" __attribute__((used)) const char* __asan_default_options() {
  return "new_delete_type_mismatch=0";
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  // Keep the GL drivers loaded so that the leak checker can attribute their allocations.
  for (const char* driver : {"libGLX_mesa.so.0", VEDALIA_DRI_DIR "/swrast_dri.so"})
    dlopen(driver, RTLD_NOW | RTLD_NODELETE);
  vedalia::PrepareMovieRenderer();
  QApplication app(argc, argv);
  if (!vedalia::InstallPlayerCodeFromResource()) {
    fprintf(stderr, "the player runtime resource is missing or damaged\n");
    return 1;
  }
  vedalia::TFlashPlayerControl::SetRendererFactory(vedalia::CreateMovieRenderer);
  return RUN_ALL_TESTS();
}
