// Walk over the elements of one dimension class of a mesh data model mesh.
#ifndef MorvDS_MeshElementsIterator_HeaderFile
#define MorvDS_MeshElementsIterator_HeaderFile

#include <MorvDS_Mesh.hxx>

//! Walks the elements of one type of a mesh in creation order, removed ones left out:
//! MorvAbs_Edge (2), MorvAbs_Face (3), MorvAbs_Volume (4), MorvAbs_0DElement, or
//! MorvAbs_All for every element; MorvAbs_Node gives an empty walk, as does a null mesh.
//! Each value is a view of its concrete class (MorvDS_MeshTriangle, ...).
class TKMorv_EXPORT MorvDS_MeshElementsIterator : public Standard_Transient
{
  DEFINE_STANDARD_RTTIEXT(MorvDS_MeshElementsIterator, Standard_Transient)
public:
  MorvDS_MeshElementsIterator(const Handle(MorvDS_Mesh) & mesh, const MorvAbs_ElementType type);

  //! True while there is a current element.
  bool More() const;

  //! Moves to the next element.
  void Next();

  //! The current element (null past the end).
  Handle(MorvDS_MeshElement) Value() const;

private:
  int  currentSlot() const;
  void skipRemoved();

private:
  std::shared_ptr<MorvDS_MeshData> m_data;
  int                              m_dim; //!< slot list walked, -1 for all slots, -2 none
  int                              m_pos;
};

#endif
