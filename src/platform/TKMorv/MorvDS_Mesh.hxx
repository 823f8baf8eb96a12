// Finite-element mesh: numbered nodes and typed elements (edges, faces, volumes).
#ifndef MorvDS_Mesh_HeaderFile
#define MorvDS_Mesh_HeaderFile

#include <TKMorv_Export.hxx>

#include <MorvDS_MeshElement.hxx>
#include <MorvDS_MeshNode.hxx>

#include <Standard_Transient.hxx>

#include <memory>

struct MorvDS_MeshData;

//! A finite-element mesh: nodes numbered by positive integers, and elements numbered
//! by positive integers of their own: one-node elements, edges (2 nodes), triangles (3),
//! quadrangles (4), tetrahedra (4), pyramids (5), prisms (6) and hexahedra (8), each over
//! distinct nodes of the mesh.
//!
//! Numbering. Automatic creation gives a node the number one above the highest node
//! number ever used (so 1, 2, 3, ... in creation order while no explicit number is
//! given), and the same for elements. Explicit creation takes any positive number not in
//! use; removing an element (or node) frees its number for explicit creation.
//!
//! Storage is flat (coordinates, connectivity and numbers in arrays, items in creation
//! order); nodes and elements are handed out as light views (MorvDS_MeshNode,
//! MorvDS_MeshElement) that remain readable after the mesh is released. Creation and
//! look-up by number cost O(1); iteration walks the items in creation order.
//! A mesh is used by one thread at a time.
class TKMorv_EXPORT MorvDS_Mesh : public Standard_Transient
{
  DEFINE_STANDARD_RTTIEXT(MorvDS_Mesh, Standard_Transient)
public:
  //! Empty mesh.
  //! @param[in] nbNodes, nbEdges, nbFaces, nbVolumes expected counts, sizing hints only
  //!            (non-positive values are treated as 0).
  MorvDS_Mesh(const int nbNodes   = 10,
              const int nbEdges   = 10,
              const int nbFaces   = 10,
              const int nbVolumes = 10);

  //! @name Automatic numbering
  //! Each answers the new item's number, or 0 when nothing was created: a node number
  //! that names no node, an element given the same node twice, or numbers exhausted.
  //! @{
  int AddNode(const double x, const double y, const double z);
  int AddEdge(const int n1, const int n2);
  //! Triangle n1, n2, n3 (orientation by the order).
  int AddFace(const int n1, const int n2, const int n3);
  //! Quadrangle n1 .. n4 in cyclic order.
  int AddFace(const int n1, const int n2, const int n3, const int n4);
  //! Tetrahedron.
  int AddVolume(const int n1, const int n2, const int n3, const int n4);
  //! Pyramid: base n1 .. n4, apex n5.
  int AddVolume(const int n1, const int n2, const int n3, const int n4, const int n5);
  //! Prism: triangles n1 n2 n3 and n4 n5 n6.
  int AddVolume(const int n1, const int n2, const int n3, const int n4, const int n5, const int n6);
  //! Hexahedron: quadrangles n1 .. n4 and n5 .. n8.
  int AddVolume(const int n1,
                const int n2,
                const int n3,
                const int n4,
                const int n5,
                const int n6,
                const int n7,
                const int n8);
  //! One-node element over node `n`; answers success only (its number is automatic).
  bool Add0DElement(const int n);
  //! @}

  //! @name Explicit numbering
  //! Each creates the item with the given number (the last argument) and answers true,
  //! or creates nothing and answers false when the number is not positive or already
  //! used by an item of the same family (nodes, elements), a node number names no node,
  //! or an element is given the same node twice.
  //! @{
  bool AddNodeWithID(const double x, const double y, const double z, const int id);
  bool AddEdgeWithID(const int n1, const int n2, const int id);
  bool AddFaceWithID(const int n1, const int n2, const int n3, const int id);
  bool AddFaceWithID(const int n1, const int n2, const int n3, const int n4, const int id);
  bool AddVolumeWithID(const int n1, const int n2, const int n3, const int n4, const int id);
  bool AddVolumeWithID(
      const int n1, const int n2, const int n3, const int n4, const int n5, const int id);
  bool AddVolumeWithID(const int n1,
                       const int n2,
                       const int n3,
                       const int n4,
                       const int n5,
                       const int n6,
                       const int id);
  bool AddVolumeWithID(const int n1,
                       const int n2,
                       const int n3,
                       const int n4,
                       const int n5,
                       const int n6,
                       const int n7,
                       const int n8,
                       const int id);
  //! @}

  //! The node with this number, or null.
  Handle(MorvDS_MeshNode) FindNode(const int id) const;

  //! The element with this number (of its concrete class), or null.
  Handle(MorvDS_MeshElement) FindElement(const int id) const;

  //! Removes an element; its number becomes free.
  //! @param[in] element          an element of this mesh; null, removed or foreign
  //!                             elements are ignored.
  //! @param[in] removeFreeNodes  also remove those of its nodes that no other element
  //!                             uses any more.
  //! @return true when the element was removed.
  bool RemoveElement(const Handle(MorvDS_MeshElement) & element, const bool removeFreeNodes);

  //! Rebuilds the node-to-element connections from scratch (one pass over the
  //! connectivity). Call once after bulk creation; they serve node removal and stay
  //! valid until the next element is created.
  void RebuildAllInverseConnections();

  //! True when the mesh has no node.
  bool IsEmpty() const;

  //! Number of nodes.
  int NbNodes() const;

  //! Number of elements of every kind.
  int NbElements() const;

  //! Shared storage; for the views and iterators of this component.
  const std::shared_ptr<MorvDS_MeshData>& Data() const { return m_data; }

private:
  MorvDS_Mesh(const MorvDS_Mesh&)            = delete;
  MorvDS_Mesh& operator=(const MorvDS_Mesh&) = delete;

private:
  std::shared_ptr<MorvDS_MeshData> m_data;
};

DEFINE_STANDARD_HANDLE(MorvDS_Mesh, Standard_Transient)

#endif
