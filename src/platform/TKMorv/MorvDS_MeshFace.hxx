// Surface element of a mesh data model mesh: the common class of triangles and quadrangles.
#ifndef MorvDS_MeshFace_HeaderFile
#define MorvDS_MeshFace_HeaderFile

#include <MorvDS_MeshElement.hxx>

//! Surface element of a mesh data model mesh: the common class of triangles and quadrangles.
class TKMorv_EXPORT MorvDS_MeshFace : public MorvDS_MeshElement
{
  DEFINE_STANDARD_RTTIEXT(MorvDS_MeshFace, MorvDS_MeshElement)
public:
  //! View of element slot `slot` of `data` (made by the mesh and its iterators).
  MorvDS_MeshFace(const std::shared_ptr<MorvDS_MeshData>& data, const int slot)
      : MorvDS_MeshElement(data, slot)
  {
  }
};

DEFINE_STANDARD_HANDLE(MorvDS_MeshFace, MorvDS_MeshElement)

#endif
