#pragma once
// An ordered list of string pairs, looked up by the first equal key.

#include <QString>
#include <QStringList>

namespace vedalia {

class TAssocStringArray {
 public:
  // Appends the pair; an equal key already present is kept and still wins lookups.
  void Add(const QString& Key, const QString& Value);
  // Value of the first pair whose key equals Key exactly (case-sensitive); empty when none.
  QString Get(const QString& Key) const;
  int Count() const { return int(keys.size()); }
  const QString& KeyAt(int index) const { return keys.at(index); }
  const QString& ValueAt(int index) const { return values.at(index); }

 private:
  QStringList keys;  // parallel to values, in insertion order
  QStringList values;
};

}  // namespace vedalia
