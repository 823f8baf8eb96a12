// Hexahedron of a mesh data model mesh: two quadrangles of four nodes each.
#ifndef MorvDS_MeshHexahedron_HeaderFile
#define MorvDS_MeshHexahedron_HeaderFile

#include <MorvDS_MeshVolume.hxx>

//! Hexahedron of a mesh data model mesh: two quadrangles of four nodes each.
class TKMorv_EXPORT MorvDS_MeshHexahedron : public MorvDS_MeshVolume
{
  DEFINE_STANDARD_RTTIEXT(MorvDS_MeshHexahedron, MorvDS_MeshVolume)
public:
  //! View of element slot `slot` of `data` (made by the mesh and its iterators).
  MorvDS_MeshHexahedron(const std::shared_ptr<MorvDS_MeshData>& data, const int slot)
      : MorvDS_MeshVolume(data, slot)
  {
  }
};

DEFINE_STANDARD_HANDLE(MorvDS_MeshHexahedron, MorvDS_MeshVolume)

#endif
