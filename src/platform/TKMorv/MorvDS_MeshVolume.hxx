// Volume element of a mesh data model mesh: the common class of tetrahedra, pyramids, prisms and
// hexahedra.
#ifndef MorvDS_MeshVolume_HeaderFile
#define MorvDS_MeshVolume_HeaderFile

#include <MorvDS_MeshElement.hxx>

//! Volume element of a mesh data model mesh: the common class of tetrahedra, pyramids, prisms and
//! hexahedra.
class TKMorv_EXPORT MorvDS_MeshVolume : public MorvDS_MeshElement
{
  DEFINE_STANDARD_RTTIEXT(MorvDS_MeshVolume, MorvDS_MeshElement)
public:
  //! View of element slot `slot` of `data` (made by the mesh and its iterators).
  MorvDS_MeshVolume(const std::shared_ptr<MorvDS_MeshData>& data, const int slot)
      : MorvDS_MeshElement(data, slot)
  {
  }
};

DEFINE_STANDARD_HANDLE(MorvDS_MeshVolume, MorvDS_MeshElement)

#endif
