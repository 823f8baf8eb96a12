// One-node element of a mesh data model mesh.
#ifndef MorvDS_Mesh0DElement_HeaderFile
#define MorvDS_Mesh0DElement_HeaderFile

#include <MorvDS_MeshElement.hxx>

//! One-node element of a mesh data model mesh.
class TKMorv_EXPORT MorvDS_Mesh0DElement : public MorvDS_MeshElement
{
  DEFINE_STANDARD_RTTIEXT(MorvDS_Mesh0DElement, MorvDS_MeshElement)
public:
  //! View of element slot `slot` of `data` (made by the mesh and its iterators).
  MorvDS_Mesh0DElement(const std::shared_ptr<MorvDS_MeshData>& data, const int slot)
      : MorvDS_MeshElement(data, slot)
  {
  }
};

DEFINE_STANDARD_HANDLE(MorvDS_Mesh0DElement, MorvDS_MeshElement)

#endif
