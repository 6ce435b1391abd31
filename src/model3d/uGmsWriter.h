#pragma once
// Writes mesh sets as GMS text, the form the viewer reads.

#include <QString>
#include <string>

#include "model3d/uMesh.h"

namespace vedalia {

// Every object of `set`, then its texture block when it is textured.
std::string GmsText(const TGLMultyMesh& set);
bool WriteGmsFile(const TGLMultyMesh& set, const QString& fileName, QString* error = nullptr);

}  // namespace vedalia
