#include <gtest/gtest.h>

#include <dlfcn.h>
#include <QApplication>
#include <cstring>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the tests needs no display.
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  // The GL libraries unload the vendor and DRI drivers when the display closes,
  // before the leak checker runs; their allocations then show up as leaks with
  // no module to suppress them by. Keeping the drivers loaded keeps them
  // attributable.
  for (const char* driver : {"libGLX_mesa.so.0", VEDALIA_DRI_DIR "/swrast_dri.so"})
    dlopen(driver, RTLD_NOW | RTLD_NODELETE);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
