#include <FuzzFile.hxx>

#include <algoMesh_MSH.hxx>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  Handle(MorvDS_Mesh) mesh;
  NCollection_Vector<Handle(quorin::algoMesh_FieldFrame)> frames;
  quorin::algoMesh_MSH::Read(FuzzFile(data, size, ".msh").c_str(), mesh, frames, Standard_GUID(),
                             Handle(ActAPI_IProgressNotifier)());
  return 0;
}
