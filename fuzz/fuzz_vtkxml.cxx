// The first byte chooses the reader (even: poly data, odd: unstructured grid); the rest is
// the file.
#include <FuzzFile.hxx>

#include <algoMesh_VTK_XML.hxx>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size == 0)
  {
    return 0;
  }
  Handle(MorvDS_Mesh) mesh;
  NCollection_Vector<Handle(quorin::algoMesh_Field)> fields;
  const std::string                                  path = FuzzFile(data + 1, size - 1, ".vtk");
  if (data[0] % 2 == 0)
  {
    quorin::algoMesh_VTK_XML::ReadVTP(path.c_str(), mesh, fields, Standard_GUID(),
                                      ActAPI_ProgressEntry());
  }
  else
  {
    quorin::algoMesh_VTK_XML::ReadVTU(path.c_str(), mesh, fields, Standard_GUID(),
                                      ActAPI_ProgressEntry());
  }
  return 0;
}
