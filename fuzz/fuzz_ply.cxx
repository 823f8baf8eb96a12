#include <FuzzFile.hxx>

#include <algoMesh_PLY.hxx>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  Handle(Poly_Triangulation) mesh;
  quorin::algoMesh_PLY::Read(FuzzFile(data, size, ".ply").c_str(), mesh, ActAPI_ProgressEntry());
  return 0;
}
