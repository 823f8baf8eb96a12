// Collector of a tetrahedral volume mesh produced by an external mesher, in the mesh data model.
#ifndef algoMesh_MgTetraOutput_HeaderFile
#define algoMesh_MgTetraOutput_HeaderFile

#include <algoMesh.hxx>

#include <MorvDS_Mesh.hxx>

#include <NCollection_DataMap.hxx>
#include <Standard_Type.hxx>

#include <utility>

namespace quorin
{

//! A MorvDS_Mesh that a volume mesher fills with numbered nodes, skin triangles and
//! tetrahedra, with a tag per element (for instance the domain or the face it belongs to).
class algoMesh_EXPORT algoMesh_MgTetraOutput : public Standard_Transient
{
  DEFINE_STANDARD_RTTIEXT(algoMesh_MgTetraOutput, Standard_Transient)
public:
  //! An empty mesh (sizing hints 10, 10, 10, 10) and no tags.
  algoMesh_MgTetraOutput();

  //! Adds a node with the given number.
  //! @return false when the number is not positive or already used.
  bool AddNodeWithID(const double x, const double y, const double z, const int id);

  //! Adds a triangle on three node numbers; a tag of at least 1 is bound to it.
  //! @return the new element number, 0 when the mesh refuses the element (unknown or
  //!         repeated node); a refused element is not tagged.
  int AddTriangle(const int n1, const int n2, const int n3, const int tag);

  //! Adds a tetrahedron on four node numbers; tagging and result as AddTriangle.
  int AddTetrahedron(const int n1, const int n2, const int n3, const int n4, const int tag);

  //! The collected mesh.
  const Handle(MorvDS_Mesh) & GetMesh() const { return m_mesh; }

  //! Element number to tag.
  const NCollection_DataMap<int, int>& GetTags() const { return m_tags; }

  //! Element number to a pair of numbers that a mesher may attach (for instance the two
  //! domains on either side of a skin element); none of the operations above fill it.
  const NCollection_DataMap<int, std::pair<int, int>>& GetPairs() const { return m_pairs; }
  NCollection_DataMap<int, std::pair<int, int>>&       ChangePairs() { return m_pairs; }

protected:
  //! Tags the element when it exists and the tag is at least 1; answers the element.
  int tagged(const int element, const int tag);

private:
  Handle(MorvDS_Mesh) m_mesh;
  NCollection_DataMap<int, int>                 m_tags;
  NCollection_DataMap<int, std::pair<int, int>> m_pairs;
};

} // namespace quorin

#endif
