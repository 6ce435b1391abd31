#pragma once
// Turns Wavefront OBJ models into mesh sets, so that models from common tools can be shown.

#include <QString>
#include <string_view>

#include "model3d/uMesh.h"

namespace vedalia {

// Reads OBJ text into `set` as one object: polygons are split into triangle fans, face normals
// come from each triangle's corners (counter-clockwise is the front), vertex normals from the
// file's "vn" lines where the corners name them and from the adjacent faces elsewhere.
// Texture coordinates ("vt") are kept; the set is textured when any face names them.
// False, with the line and reason in `error`, on malformed numbers or indices.
bool ImportObj(std::string_view text, TGLMultyMesh& set, QString* error = nullptr);
bool ImportObjFile(const QString& fileName, TGLMultyMesh& set, QString* error = nullptr);

}  // namespace vedalia
