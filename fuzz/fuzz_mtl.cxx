#include <FuzzFile.hxx>

#include <Exchange_OBJMaterials.hxx>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  quorin::Exchange_OBJMaterials materials;
  materials.ReadMaterials(FuzzFile(data, size, ".mtl"));
  return 0;
}
