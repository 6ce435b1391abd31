#pragma once
// Replacing a file whole: whoever reads it sees the old content or the new, never a part.

#include <QByteArrayView>
#include <QString>

namespace vedalia {

// Writes `bytes` into a temporary file beside `path` and renames it over `path` once every
// byte is written. False on any failure, with the file that was there (or none) left as it
// was; `error`, when given, then says why.
bool ReplaceFileContents(const QString& path, QByteArrayView bytes, QString* error = nullptr);

}  // namespace vedalia
