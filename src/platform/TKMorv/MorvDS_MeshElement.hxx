// An element of a mesh data model mesh: its number, type and nodes in order.
#ifndef MorvDS_MeshElement_HeaderFile
#define MorvDS_MeshElement_HeaderFile

#include <TKMorv_Export.hxx>

#include <MorvAbs_ElementType.hxx>
#include <MorvDS_MeshNode.hxx>

#include <Standard_Transient.hxx>

#include <memory>

//! View of one element of a MorvDS_Mesh. Its concrete class tells its kind
//! (MorvDS_MeshTriangle, MorvDS_MeshHexahedron, ...; test with IsKind). It keeps the
//! mesh's storage alive; a removed element keeps answering its last values.
class TKMorv_EXPORT MorvDS_MeshElement : public Standard_Transient
{
  DEFINE_STANDARD_RTTIEXT(MorvDS_MeshElement, Standard_Transient)
public:
  //! The element's number.
  int GetID() const;

  //! Dimension class: MorvAbs_0DElement, MorvAbs_Edge, MorvAbs_Face or MorvAbs_Volume.
  MorvAbs_ElementType GetType() const;

  //! Number of nodes.
  int NbNodes() const;

  //! Number of node `index`, 0 <= index < NbNodes(); 0 for an index out of range.
  int NodeID(const int index) const;

  //! Node `index`, 0 <= index < NbNodes(); null for an index out of range.
  Handle(MorvDS_MeshNode) Node(const int index) const;

  //! True when the element was removed from its mesh.
  bool IsRemoved() const;

  //! Storage and slot of the view (for the mesh).
  const std::shared_ptr<MorvDS_MeshData>& Data() const { return m_data; }
  int                                     Slot() const { return m_slot; }

protected:
  MorvDS_MeshElement(const std::shared_ptr<MorvDS_MeshData>& data, const int slot)
      : m_data(data), m_slot(slot)
  {
  }

private:
  std::shared_ptr<MorvDS_MeshData> m_data;
  int                              m_slot;
};

DEFINE_STANDARD_HANDLE(MorvDS_MeshElement, Standard_Transient)

#endif
