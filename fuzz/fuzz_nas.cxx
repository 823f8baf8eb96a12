#include <FuzzFile.hxx>

#include <algoMesh_NAS.hxx>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  Handle(MorvDS_Mesh) mesh;
  quorin::algoMesh_NAS::Read(FuzzFile(data, size, ".bdf").c_str(), mesh, ActAPI_ProgressEntry());
  return 0;
}
