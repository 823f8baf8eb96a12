#include <JtData_Model.hxx>
#include <JtElement_ShapeLOD_TriStripSet.hxx>

// One shape level element, the geometry decoders' whole input: the first byte chooses the
// file version (8, 9 or 10), the rest is the element as it follows a segment header.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size < 1)
    return 0;
  Handle(JtElement_ShapeLOD_TriStripSet) element = new JtElement_ShapeLOD_TriStripSet(nullptr);
  element->Decode(data + 1, size - 1, false, 8 + data[0] % 3, JtData_Model::DecodeLimit(size));
  return 0;
}
