// Triangles of a mesh, or of all face meshes of a shape, under a bounding-volume hierarchy.
#ifndef BVHTools_TriangleSet_HeaderFile
#define BVHTools_TriangleSet_HeaderFile

#include <BVHTools_PrimitiveSet.hxx>

#include <Poly_Triangulation.hxx>
#include <TopoDS_Shape.hxx>

#include <vector>

namespace BVHTools
{

//! A set of triangles identified by int indices, with corners read through node numbers
//! from one copy of the node coordinates in doubles.
//!
//! Triangles that cannot be placed are left out and counted by NbRejected(): those
//! referring to a node index outside their mesh, and those with a corner coordinate that is
//! not finite or exceeds 1e100 in magnitude (the exact predicates need products of three
//! coordinates to stay finite). Degenerate triangles (collinear corners) are kept and
//! flagged.
class BVHTools_EXPORT TriangleSet : public PrimitiveSet
{
  DEFINE_STANDARD_RTTIEXT(TriangleSet, PrimitiveSet)
public:
  //! Triangles of one mesh, identified by the mesh's own 1-based triangle numbers. A null
  //! mesh gives an empty set.
  explicit TriangleSet(const Handle(Poly_Triangulation) & mesh);

  //! Triangles of the face triangulations of a shape, faces in exploration order, each
  //! face's location applied and the corner order of reversed faces reversed (so corner
  //! order gives the outward side of a well-oriented solid). Triangles are numbered from 1
  //! across all faces in that order; faces without a triangulation contribute nothing. A
  //! null shape gives an empty set.
  explicit TriangleSet(const TopoDS_Shape& shape);

  //! Number of triangles in the set.
  int Size() const override { return static_cast<int>(m_ids.size()); }

  //! Bounding box of the triangle at a position of the set.
  BVH_Box<double, 3> Box(const int position) const override;

  //! Centre of the triangle's box along an axis (0, 1, 2), used to split nodes.
  double Center(const int position, const int axis) const override;

  //! Exchanges two triangles; called by the builder.
  void Swap(const int position1, const int position2) override;

  //! Index of the triangle at a position (mesh or running triangle number).
  int Id(const int position) const { return m_ids[position]; }

  //! The corners of the triangle at a position: nine doubles, x y z of each corner in the
  //! mesh's (or oriented face's) corner order, copied to `corners`.
  void Corners(const int position, double corners[9]) const
  {
    const int* nodes = &m_nodes[3 * size_t(position)];
    for (int k = 0; k < 3; ++k)
    {
      const double* p = Point(nodes[k]);
      corners[3 * k] = p[0], corners[3 * k + 1] = p[1], corners[3 * k + 2] = p[2];
    }
  }

  //! Coordinates x y z of a node, by the number Nodes() gives.
  const double* Point(const int node) const { return &m_points[3 * size_t(node - 1)]; }

  //! The node indices of the triangle's corners, in corner order: the mesh's own node
  //! numbers, or for a shape the face's node numbers shifted past the nodes of the faces
  //! before it (faces share no nodes).
  const int* Nodes(const int position) const { return &m_nodes[3 * position]; }

  //! True when the triangle at a position has collinear or coinciding corners (exact).
  bool IsDegenerate(const int position) const { return m_degenerate[position] != 0; }

  //! Number of degenerate triangles in the set.
  int NbDegenerate() const { return m_nbDegenerate; }

  //! Number of triangles left out (see the class comment).
  int NbRejected() const { return m_nbRejected; }

protected:
  //! Builds the hierarchy, then stores the node numbers in leaf order. Per triangle the
  //! set keeps 17 bytes (nodes, ID and flag), plus 24 bytes per node: a corner copy per
  //! triangle would take 72 bytes more, several times the mesh itself.
  void Update() override;

private:
  //! Reserves the arrays for that many triangles and nodes.
  void reserve(const size_t nbTriangles, const size_t nbNodes);

  void addMesh(const Handle(Poly_Triangulation) & mesh,
               const gp_Trsf* placement,
               const bool     reversed,
               int&           nextId,
               const int      nodeShift);

  //! Node numbers of the triangle at a position, wherever they are stored.
  const int* storedNodes(const int position) const;

private:
  //! While the hierarchy is built: per position, the insertion index of its nodes and
  //! flags (which stay in insertion order until the build ends). Empty afterwards, when
  //! they are in set order.
  std::vector<int>    m_sources;
  std::vector<int>    m_ids;
  std::vector<double> m_points; //!< x y z per node, placed
  std::vector<int>    m_nodes;
  std::vector<char>   m_degenerate;
  int                 m_nbDegenerate = 0;
  int                 m_nbRejected   = 0;
};

} // namespace BVHTools

#endif
