#pragma once
// Splits the movie's record strings into fields on ";".

#include <QChar>
#include <QString>
#include <QStringList>

namespace vedalia {

class TDBParser {
 public:
  // Appends the pieces of the text to the list and returns the list's size (SplitString).
  using SplitFunction = int (*)(QStringList& list, const QString& text, QChar separator);

  explicit TDBParser(SplitFunction split) : split_(split) {}

  // Replaces the list's content with the fields of `text`; returns their number. Every ";"
  // ends a field, empty ones included; an empty last field is dropped.
  int Parse(QStringList& list, const QString& text) const;

 private:
  SplitFunction split_;
};

}  // namespace vedalia
