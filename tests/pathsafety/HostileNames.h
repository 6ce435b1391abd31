#pragma once
// Names a movie, a damaged database or a hostile course could hand the shell where it
// expects one plain file or folder name.
#include <QString>
#include <QStringList>
#include <random>

namespace vedalia::test {

// `outside` is an absolute folder the names aim at.
inline QStringList FixedHostileNames(const QString& outside) {
  QStringList names = {
      QStringLiteral(".."),
      QStringLiteral("."),
      QStringLiteral("../.."),
      QStringLiteral("../../outside"),
      QStringLiteral("../../../outside/victim.txt"),
      QStringLiteral("..\\..\\outside"),
      QStringLiteral("..\\..\\..\\outside\\victim.txt"),
      QStringLiteral("/"),
      QStringLiteral("\\"),
      QStringLiteral("//"),
      QStringLiteral("a/../../.."),
      QStringLiteral("a\\..\\..\\.."),
      QStringLiteral("./../x"),
      QStringLiteral("x/"),
      QStringLiteral("8А/../../../outside"),
      QStringLiteral("link-out"),
      QStringLiteral("link-out/planted"),
      QStringLiteral("..."),
      QStringLiteral("...."),
      QStringLiteral(" "),
      QStringLiteral("   "),
      QStringLiteral(". ."),
      QStringLiteral(" .. "),
      QString(),
      QStringLiteral("~"),
      QStringLiteral("$HOME"),
      QStringLiteral("*"),
      QStringLiteral("a\nb"),
      QStringLiteral("Иванов Пётр"),
      QString(QChar(0)),
      QStringLiteral("a") + QChar(0) + QStringLiteral("/../../outside"),
      QString(300, QLatin1Char('n')),
      QString(5000, QChar(0x0416)),
      QString(4100, QLatin1Char('/')),
      outside,
      outside + QStringLiteral("/victim.txt"),
      outside + QStringLiteral("/new"),
      QStringLiteral("file://") + outside,
  };
  return names;
}

// Short random names over an alphabet of separators, dots, blanks, NUL and letters; the
// same for the same seed.
inline QStringList RandomHostileNames(int count, unsigned seed) {
  static const char16_t alphabet[] = u"./\\ ..//a\u042F\0~:";
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> length(0, 12);
  std::uniform_int_distribution<int> pick(0, int(std::size(alphabet)) - 2);
  QStringList names;
  for (int i = 0; i < count; ++i) {
    QString name;
    for (int n = length(random); n > 0; --n) name += QChar(alphabet[pick(random)]);
    names << name;
  }
  return names;
}

}  // namespace vedalia::test
