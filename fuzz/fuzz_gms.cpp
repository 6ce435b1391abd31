// The model reader: any text either loads into a consistent mesh set or is refused.
#include <string_view>

#include "FuzzServices.h"
#include "FuzzSupport.h"
#include "model3d/uMesh.h"

using namespace vedalia;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::QuietQt();
  fuzz::InstallQuietServices();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TGLMultyMesh set;
  QString error;
  const bool loaded =
      set.LoadFromText(std::string_view(reinterpret_cast<const char*>(data), size), &error);
  if (!loaded) {
    FUZZ_CHECK(!error.isEmpty());
    FUZZ_CHECK(set.Meshes.empty());
    return 0;
  }
  // Drawing trusts what loading accepted: every index must lead into its array.
  for (const auto& mesh : set.Meshes) {
    FUZZ_CHECK(mesh->FaceNormals.size() == mesh->Faces.size());
    for (const TTriangle& f : mesh->Faces)
      for (std::int32_t v : f) FUZZ_CHECK(v >= 0 && std::size_t(v) < mesh->Vertices.size());
  }
  if (set.Textured) {
    for (const TTriangle& f : set.TexFaces)
      for (std::int32_t t : f) FUZZ_CHECK(t >= 0 && std::size_t(t) < set.TexVertices.size());
  }
  return 0;
}
