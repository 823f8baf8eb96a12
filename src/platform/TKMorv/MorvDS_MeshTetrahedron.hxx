// Tetrahedron of a mesh data model mesh: four nodes.
#ifndef MorvDS_MeshTetrahedron_HeaderFile
#define MorvDS_MeshTetrahedron_HeaderFile

#include <MorvDS_MeshVolume.hxx>

//! Tetrahedron of a mesh data model mesh: four nodes.
class TKMorv_EXPORT MorvDS_MeshTetrahedron : public MorvDS_MeshVolume
{
  DEFINE_STANDARD_RTTIEXT(MorvDS_MeshTetrahedron, MorvDS_MeshVolume)
public:
  //! View of element slot `slot` of `data` (made by the mesh and its iterators).
  MorvDS_MeshTetrahedron(const std::shared_ptr<MorvDS_MeshData>& data, const int slot)
      : MorvDS_MeshVolume(data, slot)
  {
  }
};

DEFINE_STANDARD_HANDLE(MorvDS_MeshTetrahedron, MorvDS_MeshVolume)

#endif
