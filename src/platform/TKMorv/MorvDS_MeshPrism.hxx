// Prism (pentahedron) of a mesh data model mesh: two triangles of three nodes each.
#ifndef MorvDS_MeshPrism_HeaderFile
#define MorvDS_MeshPrism_HeaderFile

#include <MorvDS_MeshVolume.hxx>

//! Prism (pentahedron) of a mesh data model mesh: two triangles of three nodes each.
class TKMorv_EXPORT MorvDS_MeshPrism : public MorvDS_MeshVolume
{
  DEFINE_STANDARD_RTTIEXT(MorvDS_MeshPrism, MorvDS_MeshVolume)
public:
  //! View of element slot `slot` of `data` (made by the mesh and its iterators).
  MorvDS_MeshPrism(const std::shared_ptr<MorvDS_MeshData>& data, const int slot)
      : MorvDS_MeshVolume(data, slot)
  {
  }
};

DEFINE_STANDARD_HANDLE(MorvDS_MeshPrism, MorvDS_MeshVolume)

#endif
