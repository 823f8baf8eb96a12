// Pyramid of a mesh data model mesh: a quadrangular base of four nodes, then the apex.
#ifndef MorvDS_MeshPyramid_HeaderFile
#define MorvDS_MeshPyramid_HeaderFile

#include <MorvDS_MeshVolume.hxx>

//! Pyramid of a mesh data model mesh: a quadrangular base of four nodes, then the apex.
class TKMorv_EXPORT MorvDS_MeshPyramid : public MorvDS_MeshVolume
{
  DEFINE_STANDARD_RTTIEXT(MorvDS_MeshPyramid, MorvDS_MeshVolume)
public:
  //! View of element slot `slot` of `data` (made by the mesh and its iterators).
  MorvDS_MeshPyramid(const std::shared_ptr<MorvDS_MeshData>& data, const int slot)
      : MorvDS_MeshVolume(data, slot)
  {
  }
};

DEFINE_STANDARD_HANDLE(MorvDS_MeshPyramid, MorvDS_MeshVolume)

#endif
