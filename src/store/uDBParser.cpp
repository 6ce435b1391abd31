#include "store/uDBParser.h"

namespace vedalia {

int TDBParser::Parse(QStringList& list, const QString& text) const {
  list.clear();
  split_(list, text, QLatin1Char(';'));
  return int(list.size());
}

}  // namespace vedalia
