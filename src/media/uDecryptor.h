#pragma once
// The content loader. Content files are stored either plain or scrambled (XOR with a repeating
// key, no header); a load returns the bytes as stored when they pass the check for their type,
// else unscrambled when those pass, else nothing. Copies written by SaveContent are always plain.
//
//   TDecryptor d;
//   if (auto bytes = d.LoadContent(path, {}, QStringLiteral("jpg"))) show(*bytes);

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace vedalia {

// The path of an existing file: `path` itself, or else the entry of its folder whose name
// equals the file name ignoring letter case (course discs may differ in case from the names
// the movies ask for; with several such entries the first in sorted order wins). Empty when
// neither exists. Only the last component is matched loosely.
QString ResolveContentFile(const QString& path);

// What libjpeg reads from a JPEG header up to the first scan; nothing when it refuses the data
// (empty data included), with libjpeg's reason in `error`. Never exits the process, whatever
// the bytes.
struct JpegHeaderInfo {
  int width = 0;
  int height = 0;
  int components = 0;
  bool progressive = false;
};
std::optional<JpegHeaderInfo> ReadJpegHeader(QByteArrayView content, QString* error = nullptr);

class TDecryptor {
 public:
  // The key used when a caller gives none.
  static constexpr char kDefaultKey = char(0xB6);

  // Reads the file whole. FileType is an extension without the dot, compared exactly:
  // "swf" (must be a Flash movie with frames), "jpg" (must have a JPEG header libjpeg
  // accepts; empty content passes), "avi" (never loads), anything else (taken as stored).
  // Key: the scrambling key; empty selects the one-byte default key 0xB6.
  std::optional<QByteArray> LoadContent(const QString& Path, const QByteArray& Key,
                                        const QString& FileType);
  // Loads SourcePath like LoadContent and writes the plain bytes to TargetPath, replacing the
  // file only once the new one is complete; below the course's base folder no link is
  // followed on the way (ReplaceFileConfined). False when nothing loads or writing fails.
  bool SaveContent(const QString& SourcePath, const QString& TargetPath, const QByteArray& Key,
                   const QString& FileType);

  // The state of the last operation.
  QByteArray Key;
  QString FileType;
  QByteArray Content;

  // Scrambling and unscrambling in one: byte i (from 0) ^= key[(i + 1) % key.size()], so a
  // multi-byte key starts at its second byte. An empty key changes nothing.
  static void Unscramble(char* data, qsizetype size, QByteArrayView key);
  static QByteArray Unscrambled(QByteArray data, QByteArrayView key);
  // Whether `content` passes the check that `fileType` selects (see LoadContent).
  static bool IsValidContent(QByteArrayView content, const QString& fileType);
  // A Flash movie header (native inspection) with a frame count above 0.
  static bool IsFlashMovie(QByteArrayView content);
  // libjpeg reads the header up to the first scan without an error; empty content passes.
  static bool IsJpegImage(QByteArrayView content);
};

}  // namespace vedalia
