#include "media/uDecryptor.h"

// libjpeg's header needs FILE and size_t declared first.
#include <jpeglib.h>
#include <cstddef>
#include <cstdio>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <vector>

#include "flashhost/SwfInfo.h"
#include "platform/SafePath.h"

namespace vedalia {

QString ResolveContentFile(const QString& path) {
  if (path.isEmpty()) return {};
  const QFileInfo info(path);
  if (info.isFile()) return path;
  const QString name = info.fileName();
  if (name.isEmpty()) return {};
  const QDir dir = info.dir();
  const QStringList entries =
      dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name | QDir::IgnoreCase);
  for (const QString& entry : entries) {
    if (entry.compare(name, Qt::CaseInsensitive) == 0) return dir.filePath(entry);
  }
  return {};
}

namespace {

inline std::uint64_t Load64(const unsigned char* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

inline void Store64(unsigned char* p, std::uint64_t v) { std::memcpy(p, &v, 8); }

// XOR of `size` bytes with a pattern of `patternWords` 64-bit words, repeated; the pattern is
// already aligned to the first byte. Four independent words per step keep the loop branch-free
// and let the compiler use vector registers.
void XorWithPattern(unsigned char* data, qsizetype size, const std::uint64_t* pattern,
                    qsizetype patternWords) {
  const qsizetype patternBytes = patternWords * 8;
  qsizetype off = 0;
  for (; off + patternBytes <= size; off += patternBytes) {
    unsigned char* p = data + off;
    for (qsizetype w = 0; w < patternWords; ++w) Store64(p + w * 8, Load64(p + w * 8) ^ pattern[w]);
  }
  const auto* tail = reinterpret_cast<const unsigned char*>(pattern);
  for (qsizetype i = 0; off + i < size; ++i) data[off + i] ^= tail[i];
}

struct JpegErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

// libjpeg's default would print and exit the process; we unwind to the caller instead.
[[noreturn]] void JpegErrorExit(j_common_ptr cinfo) {
  auto* errors = reinterpret_cast<JpegErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, errors->message);
  std::longjmp(errors->jump, 1);
}

void JpegSilent(j_common_ptr) {}

bool ReadWholeFile(const QString& path, QByteArray& out) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  out = file.readAll();
  return file.error() == QFileDevice::NoError && (file.isSequential() || file.atEnd());
}

}  // namespace

std::optional<JpegHeaderInfo> ReadJpegHeader(QByteArrayView content, QString* error) {
  if (error) *error = QStringLiteral("not a JPEG picture");
  if (content.isEmpty()) return std::nullopt;
  jpeg_decompress_struct cinfo;
  JpegErrorManager errors;
  cinfo.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = JpegErrorExit;
  errors.pub.output_message = JpegSilent;
  errors.message[0] = '\0';
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&cinfo);
    if (error && errors.message[0] != '\0') *error = QString::fromLocal8Bit(errors.message);
    return std::nullopt;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(content.data()),
               static_cast<unsigned long>(content.size()));
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
    jpeg_destroy_decompress(&cinfo);
    return std::nullopt;
  }
  JpegHeaderInfo info;
  info.width = int(cinfo.image_width);
  info.height = int(cinfo.image_height);
  info.components = cinfo.num_components;
  info.progressive = cinfo.progressive_mode != 0;
  jpeg_destroy_decompress(&cinfo);
  if (error) error->clear();
  return info;
}

void TDecryptor::Unscramble(char* data, qsizetype size, QByteArrayView key) {
  const qsizetype length = key.size();
  if (length == 0 || size <= 0) return;
  // Expand the key, rotated to start at its second byte, into a pattern whose length is a
  // multiple of both 8 and the key length, at least 256 bytes.
  qsizetype patternBytes = length * 8;
  while (patternBytes < 256) patternBytes += length * 8;
  std::vector<std::uint64_t> pattern(size_t(patternBytes / 8));
  auto* bytes = reinterpret_cast<unsigned char*>(pattern.data());
  for (qsizetype j = 0; j < patternBytes; ++j) bytes[j] = std::uint8_t(key[(j + 1) % length]);
  XorWithPattern(reinterpret_cast<unsigned char*>(data), size, pattern.data(),
                 qsizetype(pattern.size()));
}

QByteArray TDecryptor::Unscrambled(QByteArray data, QByteArrayView key) {
  Unscramble(data.data(), data.size(), key);
  return data;
}

bool TDecryptor::IsFlashMovie(QByteArrayView content) {
  const auto info = InspectSwf(content, nullptr, SwfCheck::Body);
  return info && info->frameCount > 0;
}

bool TDecryptor::IsJpegImage(QByteArrayView content) {
  return content.isEmpty() || ReadJpegHeader(content).has_value();  // empty: nothing to reject
}

bool TDecryptor::IsValidContent(QByteArrayView content, const QString& fileType) {
  if (fileType == QLatin1String("swf")) return IsFlashMovie(content);
  if (fileType == QLatin1String("jpg")) return IsJpegImage(content);
  if (fileType == QLatin1String("avi")) return false;
  return true;
}

std::optional<QByteArray> TDecryptor::LoadContent(const QString& Path, const QByteArray& Key,
                                                  const QString& FileType) {
  this->Key = Key.isEmpty() ? QByteArray(1, kDefaultKey) : Key;
  this->FileType = FileType;
  Content.clear();
  // A video never passes as content; don't read a large file only to refuse it.
  if (FileType == QLatin1String("avi")) return std::nullopt;
  const QString file = ResolveContentFile(Path);
  if (file.isEmpty() || !ReadWholeFile(file, Content)) {
    Content.clear();
    return std::nullopt;
  }
  if (IsValidContent(Content, FileType)) return Content;
  Unscramble(Content.data(), Content.size(), this->Key);
  if (IsValidContent(Content, FileType)) return Content;
  return std::nullopt;
}

bool TDecryptor::SaveContent(const QString& SourcePath, const QString& TargetPath,
                             const QByteArray& Key, const QString& FileType) {
  const auto content = LoadContent(SourcePath, Key, FileType);
  if (!content || TargetPath.isEmpty()) return false;
  return ReplaceFileConfined(TargetPath, *content);
}

}  // namespace vedalia
