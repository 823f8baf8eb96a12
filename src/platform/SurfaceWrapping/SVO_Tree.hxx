// Sparse voxel octree: a cube cut recursively into eight octants wherever it meets a
// surface, down to a finest level; octants that the surface does not meet stay whole.
#ifndef SVO_Tree_HeaderFile
#define SVO_Tree_HeaderFile

#include <SurfWrap_Export.hxx>

#include <Standard_Transient.hxx>
#include <gp_XYZ.hxx>

#include <cstdint>
#include <vector>

//! Where a node lies relative to the closed surface it was built from.
enum SVO_Class : uint8_t
{
  SVO_Unclassified, //!< not classified yet
  SVO_Inside,       //!< inside the solid the surface bounds; no surface in it
  SVO_Outside,      //!< outside, reachable from the tree's boundary without crossing the surface
  SVO_OnSurface //!< the surface meets the node (every inner node, and leaves of the finest level)
};

//! The octree. Nodes are numbered from 0 (the root); the eight children of a split node
//! are consecutive, in the order of their octant bits (x + 2y + 4z, bit set = upper half).
//! A node at level l with integer coordinates (i, j, k) spans
//! [origin + (i, j, k) · s, origin + (i + 1, j + 1, k + 1) · s] with s = RootSize() / 2^l.
class SurfWrap_EXPORT SVO_Tree : public Standard_Transient
{
  DEFINE_STANDARD_RTTIEXT(SVO_Tree, Standard_Transient)
public:
  //! One node, 20 bytes.
  struct Node
  {
    int32_t firstChild; //!< index of the first of eight children; -1 for a leaf
    int32_t i, j, k;    //!< integer coordinates at the node's level
    uint8_t level;      //!< 0 for the root
    uint8_t cls;        //!< an SVO_Class
  };

  //! A tree of a single unclassified leaf: the cube of edge `rootSize` (model units, > 0)
  //! whose minimum corner is `origin`.
  SVO_Tree(const gp_XYZ& origin, const double rootSize);

  //! Number of nodes, inner nodes included.
  int NbNodes() const { return static_cast<int>(m_nodes.size()); }

  //! Whether a node has no children.
  bool IsLeaf(const int node) const { return m_nodes[node].firstChild < 0; }

  //! Child `octant` (0..7) of an inner node.
  int Child(const int node, const int octant) const { return m_nodes[node].firstChild + octant; }

  //! Level of a node (0 for the root).
  int Level(const int node) const { return m_nodes[node].level; }

  //! Edge length of a node's cube, in model units.
  double Size(const int node) const;

  //! Minimum and maximum corners of a node's cube.
  void Box(const int node, gp_XYZ& min, gp_XYZ& max) const;

  //! Volume of a node's cube.
  double Volume(const int node) const
  {
    const double s = Size(node);
    return s * s * s;
  }

  //! Classification of a node.
  SVO_Class Class(const int node) const { return static_cast<SVO_Class>(m_nodes[node].cls); }

  //! Changes the classification of a node.
  void SetClass(const int node, const SVO_Class cls) { m_nodes[node].cls = cls; }

  //! Whether SVO_ClassifyInOut has run on the tree.
  bool IsClassified() const { return m_isClassified; }
  void SetClassified(const bool isClassified) { m_isClassified = isClassified; }

  //! Minimum corner of the root cube.
  const gp_XYZ& Origin() const { return m_origin; }

  //! Edge length of the root cube.
  double RootSize() const { return m_rootSize; }

  //! Deepest level of the tree.
  int Depth() const;

  //! The node array, for the builders.
  const std::vector<Node>& Nodes() const { return m_nodes; }
  std::vector<Node>&       ChangeNodes() { return m_nodes; }

private:
  std::vector<Node> m_nodes;
  gp_XYZ            m_origin;
  double            m_rootSize;
  bool              m_isClassified;
};

#endif
