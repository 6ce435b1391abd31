// gms-from-obj: converts a Wavefront OBJ model into the GMS text the 3D viewer reads.

#include <iostream>

#include "CourseCommand.h"
#include "model3d/uGmsWriter.h"
#include "model3d/uObjImport.h"

namespace vedalia::course {
namespace {

int Run(const std::vector<std::string>& args) {
  if (args.size() != 2) {
    std::cerr << "usage: vedalia-course gms-from-obj IN.obj OUT.gms\n";
    return 2;
  }
  TGLMultyMesh set;
  QString error;
  if (!ImportObjFile(QString::fromStdString(args[0]), set, &error)) {
    std::cerr << "gms-from-obj: " << args[0] << ": " << error.toStdString() << "\n";
    return 1;
  }
  if (!WriteGmsFile(set, QString::fromStdString(args[1]), &error)) {
    std::cerr << "gms-from-obj: " << error.toStdString() << "\n";
    return 1;
  }
  const TGLMesh& mesh = *set.Meshes.front();
  std::cout << args[1] << ": " << mesh.NumVerts << " vertices, " << mesh.NumFaces << " triangles"
            << (set.Textured ? ", texture coordinates" : "") << "\n";
  return 0;
}

const CourseCommandRegistrar registrar({"gms-from-obj",
                                        "gms-from-obj IN.obj OUT.gms   convert a Wavefront OBJ "
                                        "model (triangles or polygons) to GMS",
                                        Run});

}  // namespace
}  // namespace vedalia::course
