// Walk over the volumes of a mesh data model mesh.
#ifndef MorvDS_MeshVolumesIterator_HeaderFile
#define MorvDS_MeshVolumesIterator_HeaderFile

#include <MorvDS_MeshElementsIterator.hxx>

//! Walks the volumes of a mesh in creation order (element type MorvAbs_Volume).
class TKMorv_EXPORT MorvDS_MeshVolumesIterator : public MorvDS_MeshElementsIterator
{
  DEFINE_STANDARD_RTTIEXT(MorvDS_MeshVolumesIterator, MorvDS_MeshElementsIterator)
public:
  explicit MorvDS_MeshVolumesIterator(const Handle(MorvDS_Mesh) & mesh)
      : MorvDS_MeshElementsIterator(mesh, MorvAbs_Volume)
  {
  }
};

#endif
