// The bitmap texture loader: any file either gives packed RGB pixels or is refused.
#include "FuzzServices.h"
#include "FuzzSupport.h"
#include "model3d/uTextureGL.h"

using namespace vedalia;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::QuietQt();
  fuzz::InstallQuietServices();
  fuzz::StartCoreApplication();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QString path = fuzz::WriteScratchFile(QStringLiteral("texture.bmp"), data, size);
  TTextureGL texture;
  QString error;
  if (texture.LoadFromFile(path, &error)) {
    FUZZ_CHECK(texture.Width > 0 && texture.Height > 0);
    FUZZ_CHECK(texture.Pixels.size() ==
               std::size_t(texture.Width) * std::size_t(texture.Height) * 3);
  } else {
    FUZZ_CHECK(texture.Pixels.empty());
    FUZZ_CHECK(!error.isEmpty());
  }
  return 0;
}
