#include "platform/FileReplace.h"

#include <QSaveFile>

namespace vedalia {

bool ReplaceFileContents(const QString& path, QByteArrayView bytes, QString* error) {
  QSaveFile file(path);
  // Unbuffered: a buffered write that comes up short when the disk fills is only flushed in
  // commit(), which then takes the cut text for complete and puts it in place. A file that
  // is not committed is discarded with its temporary file.
  const bool done = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
                    file.write(bytes.data(), bytes.size()) == bytes.size() && file.commit();
  if (!done && error) *error = file.errorString();
  return done;
}

}  // namespace vedalia
