// Triangle of a mesh data model mesh: three nodes, oriented by their order.
#ifndef MorvDS_MeshTriangle_HeaderFile
#define MorvDS_MeshTriangle_HeaderFile

#include <MorvDS_MeshFace.hxx>

//! Triangle of a mesh data model mesh: three nodes, oriented by their order.
class TKMorv_EXPORT MorvDS_MeshTriangle : public MorvDS_MeshFace
{
  DEFINE_STANDARD_RTTIEXT(MorvDS_MeshTriangle, MorvDS_MeshFace)
public:
  //! View of element slot `slot` of `data` (made by the mesh and its iterators).
  MorvDS_MeshTriangle(const std::shared_ptr<MorvDS_MeshData>& data, const int slot)
      : MorvDS_MeshFace(data, slot)
  {
  }
};

DEFINE_STANDARD_HANDLE(MorvDS_MeshTriangle, MorvDS_MeshFace)

#endif
