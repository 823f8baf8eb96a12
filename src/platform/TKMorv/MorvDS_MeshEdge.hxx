// Two-node (line) element of a mesh data model mesh.
#ifndef MorvDS_MeshEdge_HeaderFile
#define MorvDS_MeshEdge_HeaderFile

#include <MorvDS_MeshElement.hxx>

//! Two-node (line) element of a mesh data model mesh.
class TKMorv_EXPORT MorvDS_MeshEdge : public MorvDS_MeshElement
{
  DEFINE_STANDARD_RTTIEXT(MorvDS_MeshEdge, MorvDS_MeshElement)
public:
  //! View of element slot `slot` of `data` (made by the mesh and its iterators).
  MorvDS_MeshEdge(const std::shared_ptr<MorvDS_MeshData>& data, const int slot)
      : MorvDS_MeshElement(data, slot)
  {
  }
};

DEFINE_STANDARD_HANDLE(MorvDS_MeshEdge, MorvDS_MeshElement)

#endif
