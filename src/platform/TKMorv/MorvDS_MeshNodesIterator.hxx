// Walk over the nodes of a mesh data model mesh.
#ifndef MorvDS_MeshNodesIterator_HeaderFile
#define MorvDS_MeshNodesIterator_HeaderFile

#include <MorvDS_Mesh.hxx>

//! Walks the nodes of a mesh in creation order, removed nodes left out:
//! `for (MorvDS_MeshNodesIterator it(mesh); it.More(); it.Next()) it.Value() ...`.
//! Nodes created during the walk are visited too. A null mesh gives an empty walk.
class TKMorv_EXPORT MorvDS_MeshNodesIterator : public Standard_Transient
{
  DEFINE_STANDARD_RTTIEXT(MorvDS_MeshNodesIterator, Standard_Transient)
public:
  explicit MorvDS_MeshNodesIterator(const Handle(MorvDS_Mesh) & mesh);

  //! True while there is a current node.
  bool More() const;

  //! Moves to the next node.
  void Next();

  //! The current node (null past the end).
  Handle(MorvDS_MeshNode) Value() const;

private:
  void skipRemoved();

private:
  std::shared_ptr<MorvDS_MeshData> m_data;
  int                              m_slot;
};

#endif
