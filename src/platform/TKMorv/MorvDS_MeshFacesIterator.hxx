// Walk over the faces (triangles and quadrangles) of a mesh data model mesh.
#ifndef MorvDS_MeshFacesIterator_HeaderFile
#define MorvDS_MeshFacesIterator_HeaderFile

#include <MorvDS_MeshElementsIterator.hxx>

//! Walks the faces (triangles and quadrangles) of a mesh in creation order (element type
//! MorvAbs_Face).
class TKMorv_EXPORT MorvDS_MeshFacesIterator : public MorvDS_MeshElementsIterator
{
  DEFINE_STANDARD_RTTIEXT(MorvDS_MeshFacesIterator, MorvDS_MeshElementsIterator)
public:
  explicit MorvDS_MeshFacesIterator(const Handle(MorvDS_Mesh) & mesh)
      : MorvDS_MeshElementsIterator(mesh, MorvAbs_Face)
  {
  }
};

#endif
