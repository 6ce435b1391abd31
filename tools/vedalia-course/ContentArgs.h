#pragma once
// Shared by the content sub-commands (inspect, scramble): the key option and the detection
// of what a content file holds as stored or unscrambled.

#include <QByteArray>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "flashhost/SwfInfo.h"
#include "media/uDecryptor.h"
#include "platform/Cp1251.h"

namespace vedalia::course {

// Parses "--key TEXT" (the text's Windows-1251 bytes) or "--key-hex HEX" out of `args`,
// removing them. Sets `error` on a malformed option. Empty key: the default one.
inline QByteArray TakeKeyOption(std::vector<std::string>& args, std::string& error) {
  QByteArray key;
  for (size_t i = 0; i < args.size();) {
    if (args[i] != "--key" && args[i] != "--key-hex") {
      ++i;
      continue;
    }
    if (i + 1 >= args.size()) {
      error = args[i] + " needs a value";
      return {};
    }
    if (args[i] == "--key") {
      key = QByteArray::fromStdString(Utf8ToCp1251(args[i + 1]));
    } else {
      const QByteArray hex = QByteArray::fromStdString(args[i + 1]);
      key = QByteArray::fromHex(hex);
      if (hex.size() % 2 != 0 || key.toHex() != hex.toLower()) {
        error = "--key-hex wants pairs of hexadecimal digits";
        return {};
      }
    }
    if (key.isEmpty()) {
      error = "the key must not be empty";
      return {};
    }
    args.erase(args.begin() + long(i), args.begin() + long(i) + 2);
  }
  return key;
}

inline QByteArray EffectiveKey(const QByteArray& key) {
  return key.isEmpty() ? QByteArray(1, TDecryptor::kDefaultKey) : key;
}

enum class ContentKind { Movie, Picture, Other };

struct Detection {
  ContentKind kind = ContentKind::Other;
  bool scrambled = false;
  QByteArray plain;  // the bytes in their plain form (as stored when not recognised)
};

// A movie header or a JPEG header, as stored first, then unscrambled.
inline Detection Detect(const QByteArray& stored, const QByteArray& key) {
  const QByteArray unscrambled = TDecryptor::Unscrambled(stored, EffectiveKey(key));
  for (bool scrambled : {false, true}) {
    const QByteArray& bytes = scrambled ? unscrambled : stored;
    if (InspectSwf(bytes)) return {ContentKind::Movie, scrambled, bytes};
    if (ReadJpegHeader(bytes)) return {ContentKind::Picture, scrambled, bytes};
  }
  return {ContentKind::Other, false, stored};
}

}  // namespace vedalia::course
