// Quadrangle of a mesh data model mesh: four nodes in cyclic order.
#ifndef MorvDS_MeshQuadrangle_HeaderFile
#define MorvDS_MeshQuadrangle_HeaderFile

#include <MorvDS_MeshFace.hxx>

//! Quadrangle of a mesh data model mesh: four nodes in cyclic order.
class TKMorv_EXPORT MorvDS_MeshQuadrangle : public MorvDS_MeshFace
{
  DEFINE_STANDARD_RTTIEXT(MorvDS_MeshQuadrangle, MorvDS_MeshFace)
public:
  //! View of element slot `slot` of `data` (made by the mesh and its iterators).
  MorvDS_MeshQuadrangle(const std::shared_ptr<MorvDS_MeshData>& data, const int slot)
      : MorvDS_MeshFace(data, slot)
  {
  }
};

DEFINE_STANDARD_HANDLE(MorvDS_MeshQuadrangle, MorvDS_MeshFace)

#endif
