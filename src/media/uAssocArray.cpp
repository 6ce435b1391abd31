#include "media/uAssocArray.h"

namespace vedalia {

void TAssocStringArray::Add(const QString& Key, const QString& Value) {
  keys.append(Key);
  values.append(Value);
}

QString TAssocStringArray::Get(const QString& Key) const {
  const qsizetype i = keys.indexOf(Key);
  return i < 0 ? QString() : values.at(i);
}

}  // namespace vedalia
