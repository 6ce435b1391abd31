#include "model3d/uTextureGL.h"

#include <GL/gl.h>

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <cstring>

#include "model3d/uBmpCheck.h"

namespace vedalia {
namespace {

// The largest bitmap file read: a 32-bit 8192 x 8192 image, with room for its headers.
constexpr qint64 kMaxBitmapFile = (qint64(256) << 20) + 4096;

bool IsPowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

int FloorPowerOfTwo(int n) {
  int p = 1;
  while (p * 2 <= n) p *= 2;
  return p;
}

// Non-power-of-two sizes came with OpenGL 2.0 (or the ARB extension).
bool ContextTakesAnySize() {
  const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  if (version && version[0] >= '2' && version[0] <= '9') return true;
  const char* ext = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
  return ext && std::strstr(ext, "GL_ARB_texture_non_power_of_two");
}

}  // namespace

bool TTextureGL::LoadFromFile(const QString& fileName, QString* error) {
  Width = Height = 0;
  Pixels.clear();
  FUploaded = false;
  FUploadChecked = false;
  FUploadPixels.clear();
  if (!QFileInfo(fileName).isFile()) {
    if (error) *error = QStringLiteral("bitmap %1 not found").arg(fileName);
    return false;
  }
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) {
    if (error)
      *error = QStringLiteral("cannot open bitmap %1: %2").arg(fileName, file.errorString());
    return false;
  }
  if (file.size() > kMaxBitmapFile) {
    if (error) *error = QStringLiteral("bitmap %1 is too large").arg(fileName);
    return false;
  }
  QByteArray bytes = file.readAll();
  // The decoder would fill what is missing or inconsistent; such a file is refused instead.
  QString reason;
  if (file.error() != QFileDevice::NoError || !CheckBitmap(bytes, &reason)) {
    if (error)
      *error = QStringLiteral("cannot read bitmap %1: %2")
                   .arg(fileName, reason.isEmpty() ? file.errorString() : reason);
    return false;
  }
  QBuffer buffer(&bytes);
  QImageReader reader(&buffer, "bmp");
  reader.setAutoDetectImageFormat(false);
  reader.setDecideFormatFromContent(false);
  QImage image = reader.read();
  if (image.isNull()) {
    if (error)
      *error = QStringLiteral("cannot read bitmap %1: %2").arg(fileName, reader.errorString());
    return false;
  }
  image.convertTo(QImage::Format_RGB888);
  Width = image.width();
  Height = image.height();
  const std::size_t rowBytes = std::size_t(Width) * 3;
  Pixels.resize(rowBytes * Height);
  for (int y = 0; y < Height; ++y)
    std::memcpy(Pixels.data() + rowBytes * y, image.constScanLine(y), rowBytes);
  return true;
}

void TTextureGL::PrepareUpload() {
  FUploadChecked = true;
  FUploadWidth = Width;
  FUploadHeight = Height;
  FUploadPixels.clear();
  GLint maxSize = 64;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  int w = Width, h = Height;
  if (!ContextTakesAnySize()) {
    if (!IsPowerOfTwo(w)) w = FloorPowerOfTwo(w);
    if (!IsPowerOfTwo(h)) h = FloorPowerOfTwo(h);
  }
  while (w > maxSize) w /= 2;
  while (h > maxSize) h /= 2;
  if (w == Width && h == Height) return;
  // The context cannot take the image as it is: upload a resampled copy instead of nothing.
  const QImage source(Pixels.data(), Width, Height, Width * 3, QImage::Format_RGB888);
  const QImage scaled = source.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                            .convertToFormat(QImage::Format_RGB888);
  FUploadWidth = w;
  FUploadHeight = h;
  FUploadPixels.resize(std::size_t(w) * 3 * h);
  for (int y = 0; y < h; ++y)
    std::memcpy(FUploadPixels.data() + std::size_t(w) * 3 * y, scaled.constScanLine(y),
                std::size_t(w) * 3);
}

void TTextureGL::Apply() {
  if (Pixels.empty()) return;
  if (!FTextureId) glGenTextures(1, &FTextureId);
  glBindTexture(GL_TEXTURE_2D, FTextureId);
  if (!FUploaded) {
    if (!FUploadChecked) PrepareUpload();
    const std::uint8_t* data = FUploadPixels.empty() ? Pixels.data() : FUploadPixels.data();
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    // Rows are packed at 3 bytes a pixel, not padded to 4.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, FUploadWidth, FUploadHeight, 0, GL_RGB,
                 GL_UNSIGNED_BYTE, data);
    // The context holds its own copy now.
    std::vector<std::uint8_t>().swap(FUploadPixels);
    FUploaded = true;
  }
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glEnable(GL_TEXTURE_2D);
}

void TTextureGL::Release() {
  if (FTextureId) glDeleteTextures(1, &FTextureId);
  Forget();
}

void TTextureGL::Forget() {
  FTextureId = 0;
  FUploaded = false;
  // Another context may take other sizes.
  FUploadChecked = false;
  FUploadPixels.clear();
}

}  // namespace vedalia
