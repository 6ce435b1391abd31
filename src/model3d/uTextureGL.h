#pragma once
// A bitmap read into plain RGB bytes and handed to OpenGL once, as a texture object.

#include <QString>
#include <cstdint>
#include <vector>

namespace vedalia {

class TTextureGL {
 public:
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  // Red, green, blue per pixel; the image's top row first, rows packed without padding.
  std::vector<std::uint8_t> Pixels;

  // Reads a bitmap (BMP) file. False, with a reason in `error`, when the file is missing,
  // is not a bitmap or cannot be decoded; the object is then left empty.
  bool LoadFromFile(const QString& fileName, QString* error = nullptr);

  // Binds the image's texture object and enables texturing with linear filtering and
  // modulation by the lit colour. The first call in a context uploads the image; later calls
  // only bind. Needs a current context.
  void Apply();
  // Frees the texture object; needs the context it was made in to be current.
  void Release();
  // Forgets the texture object without freeing it, once its context is gone.
  void Forget();

 private:
  unsigned int FTextureId = 0;
  bool FUploaded = false;  // the object holds the pixels loaded last
  // What is uploaded: Pixels, or a copy resampled to sizes the context accepts.
  bool FUploadChecked = false;
  std::int32_t FUploadWidth = 0;
  std::int32_t FUploadHeight = 0;
  std::vector<std::uint8_t> FUploadPixels;
  void PrepareUpload();
};

}  // namespace vedalia
