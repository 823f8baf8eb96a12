// Finds the triangles of a mesh that intersect other triangles of the same mesh, groups
// them into connected clusters and extracts them as small meshes, so that a host can show
// where a mesh crosses itself.
//
//   Handle(quorin::algoMesh_CheckSelfIntersections) check =
//     new quorin::algoMesh_CheckSelfIntersections(progress, nullptr);
//   check->SaveSelfIntersections(true);
//   if (check->Perform(mesh))
//     show(check->SelfIntersections()); // all offending triangles in one mesh
#ifndef algoMesh_CheckSelfIntersections_HeaderFile
#define algoMesh_CheckSelfIntersections_HeaderFile

#include <algoMesh.hxx>

#include <algoBase_Algorithm.hxx>

#include <BVHTools_TriangleSet.hxx>

#include <Poly_Triangulation.hxx>
#include <TColStd_PackedMapOfInteger.hxx>

#include <list>
#include <set>

namespace quorin
{

//! Which pairs intersect: two triangles whose closed point sets share a point, decided
//! exactly. Triangles that meet only at a common node or along a common edge (two common
//! nodes) do not count. Any other contact counts: a triangle passing through another, a
//! corner touching another triangle, two coplanar neighbours folded over their common edge,
//! two triangles on the same three nodes, and distinct nodes at one position touching (so
//! an unwelded triangle soup reports its neighbours: merge coincident nodes first).
//! Degenerate triangles (collinear corners) have no interior and are never reported.
class algoMesh_EXPORT algoMesh_CheckSelfIntersections : public algoBase_Algorithm
{
  DEFINE_STANDARD_RTTIEXT(algoMesh_CheckSelfIntersections, algoBase_Algorithm)
public:
  //! @param[in] progress  receives the messages; may be empty
  //! @param[in] plotter   imaging sink; may be empty
  algoMesh_CheckSelfIntersections(ActAPI_ProgressEntry progress = ActAPI_ProgressEntry(),
                                  ActAPI_PlotterEntry  plotter  = ActAPI_PlotterEntry());

  //! Asks Perform to cluster and keep the intersecting triangles; without it Perform finds
  //! nothing. Off after construction; persists across runs.
  void SaveSelfIntersections(const bool on) { m_isRecording = on; }

  //! Tests every pair of triangles of `mesh` found close by a bounding-volume hierarchy,
  //! with as many threads as NbThreadsFor() allows, and groups the intersecting triangles
  //! into clusters (connected components of the intersecting pairs), in the order of their
  //! first pair when pairs are sorted by their lower, then their higher triangle index.
  //! Replaces the input, the result, the groups and the triangle set of an earlier run.
  //! @param[in] mesh  triangulation to check, 1-based; its locations are not applied
  //! @return true when intersecting pairs were found and recorded; false when none were
  //!         found, when SaveSelfIntersections(true) was not called (the pairs are then
  //!         not searched), and, with an error message, when the mesh is null or has a
  //!         triangle referring to a node outside the mesh or to a coordinate that is not
  //!         finite (or beyond 1e100 in magnitude). Degenerate triangles are left out with
  //!         a warning.
  bool Perform(const Handle(Poly_Triangulation) & mesh);

  //! All clustered triangles of the last run as one mesh (SelfIntersections(-1)); null when
  //! nothing was recorded.
  const Handle(Poly_Triangulation) & SelfIntersections() const { return m_result; }

  //! A new mesh of the triangles of group `index` (0-based, in group order), or of all
  //! groups for a negative index or an index above the number of groups; an index equal to
  //! the number of groups gives a mesh without nodes and triangles. Nodes are numbered by
  //! first use, walking the groups in order and each group's triangles by increasing index;
  //! a node used by several triangles is stored once. Triangle orientation is the input's.
  //! @return null when nothing was recorded. Raises Standard_OutOfRange when a triangle or
  //!         node index no longer lies within the input mesh.
  Handle(Poly_Triangulation) SelfIntersections(const int index) const;

  //! The clusters: disjoint sets of 1-based triangle indices, in the order told at Perform.
  const std::list<std::set<int>>& Groups() const { return m_groups; }

  //! Number of clusters of the last run.
  int NbGroups() const { return static_cast<int>(m_groups.size()); }

  //! The union of all clusters.
  const TColStd_PackedMapOfInteger& IntersectingTriangles() const { return m_intersecting; }

  //! The mesh of the last run.
  const Handle(Poly_Triangulation) & Input() const { return m_input; }

  //! The triangle set and hierarchy of the last run; null before the first run and after a
  //! run on a null mesh.
  const Handle(BVHTools::TriangleSet) & TriangleSet() const { return m_triangleSet; }

protected:
  //! Checks indices and coordinates, sends the error message; false when unusable.
  bool checkInput(const BVHTools::TriangleSet& set) const;

  //! Merges the intersecting pairs (a1, b1, a2, b2, ...) into m_groups.
  void groupPairs(const std::vector<int>& pairs);

private:
  bool                       m_isRecording;
  std::list<std::set<int>>   m_groups;
  TColStd_PackedMapOfInteger m_intersecting;
  Handle(Poly_Triangulation) m_input;
  Handle(Poly_Triangulation) m_result;
  Handle(BVHTools::TriangleSet) m_triangleSet;
};

} // namespace quorin

#endif
