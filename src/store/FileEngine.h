#pragma once
// The embedded engine on the encrypted database file: the default SqlBackend.

#include <QString>
#include <QStringList>

#include "store/SealedFile.h"
#include "store/SqlBackend.h"

namespace vedalia {

// Makes a new database file with the given statements. Never replaces an existing file.
void CreateFileDatabase(const QString& path, const QString& password, const QStringList& statements,
                        sealed::KdfCost cost);

}  // namespace vedalia
