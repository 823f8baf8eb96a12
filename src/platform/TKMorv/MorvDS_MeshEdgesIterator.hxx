// Walk over the edges of a mesh data model mesh.
#ifndef MorvDS_MeshEdgesIterator_HeaderFile
#define MorvDS_MeshEdgesIterator_HeaderFile

#include <MorvDS_MeshElementsIterator.hxx>

//! Walks the edges of a mesh in creation order (element type MorvAbs_Edge).
class TKMorv_EXPORT MorvDS_MeshEdgesIterator : public MorvDS_MeshElementsIterator
{
  DEFINE_STANDARD_RTTIEXT(MorvDS_MeshEdgesIterator, MorvDS_MeshElementsIterator)
public:
  explicit MorvDS_MeshEdgesIterator(const Handle(MorvDS_Mesh) & mesh)
      : MorvDS_MeshElementsIterator(mesh, MorvAbs_Edge)
  {
  }
};

#endif
