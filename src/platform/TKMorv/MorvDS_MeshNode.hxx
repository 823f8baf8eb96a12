// A node of a mesh data model mesh: its number and coordinates.
#ifndef MorvDS_MeshNode_HeaderFile
#define MorvDS_MeshNode_HeaderFile

#include <TKMorv_Export.hxx>

#include <Standard_Transient.hxx>
#include <gp_Pnt.hxx>

#include <memory>

struct MorvDS_MeshData;

//! View of one node of a MorvDS_Mesh. It keeps the mesh's storage alive, so it stays
//! readable after the mesh is released; a removed node keeps answering its last values.
class TKMorv_EXPORT MorvDS_MeshNode : public Standard_Transient
{
  DEFINE_STANDARD_RTTIEXT(MorvDS_MeshNode, Standard_Transient)
public:
  //! View of node slot `slot` of `data` (made by the mesh and its iterators).
  MorvDS_MeshNode(const std::shared_ptr<MorvDS_MeshData>& data, const int slot);

  //! The node's number.
  int GetID() const;

  double X() const;
  double Y() const;
  double Z() const;

  //! The coordinates as a point.
  gp_Pnt Pnt() const { return gp_Pnt(X(), Y(), Z()); }

private:
  std::shared_ptr<MorvDS_MeshData> m_data;
  int                              m_slot;
};

DEFINE_STANDARD_HANDLE(MorvDS_MeshNode, Standard_Transient)

#endif
