// Distance from a point to the nearest triangle of a triangle set.
//
// Method: branch-and-bound descent of a compact hierarchy over the set (NearestTree),
// nearer child first, pruning nodes whose box lies farther than the best distance found so
// far, the first bound coming from a hint triangle when one is given; the distance to a
// triangle is that to its closest point, found by classifying the point against the
// triangle's vertex, edge and face regions (barycentric tests). Cost: O(log n) triangle
// distances for a point near a well-shaped mesh, O(n) in the worst case.
#ifndef BVHTools_ProjectPntMesh_HeaderFile
#define BVHTools_ProjectPntMesh_HeaderFile

#include <BVHTools_NearestTree.hxx>
#include <BVHTools_TriangleSet.hxx>

#include <gp_Pnt.hxx>

#include <memory>

namespace BVHTools
{

//! Point queries against one triangle set. Construction copies the set's triangles into a
//! compact hierarchy of its own (NearestTree; the set's own hierarchy is neither needed nor
//! built); after that the projector and its copies, which share that hierarchy, may run
//! queries from several threads at once.
class BVHTools_EXPORT ProjectPntMesh
{
public:
  //! @param[in] set        the triangles to project on; a null set answers every query
  //!                       with −1
  //! @param[in] nbThreads  threads for building the hierarchy (the answers do not depend
  //!                       on it)
  explicit ProjectPntMesh(const Handle(TriangleSet) & set, const int nbThreads = 1);

  //! The same, taking over the caller's reference: a set that nobody else holds is freed
  //! once the hierarchy has copied its triangles, before the hierarchy's nodes are built.
  explicit ProjectPntMesh(Handle(TriangleSet) && set, const int nbThreads = 1);

  //! Distance from `point` to the nearest triangle of the set, never negative, in model
  //! units. `triangle` receives the index of that triangle (its value on entry is not read).
  //! Of several triangles at the same distance, the one whose plane faces the point most
  //! squarely is taken (the same rule as SignedDistance), then the lowest index.
  //! @return the distance, or −1 with `triangle` = −1 when the set is null or empty or the
  //!         point is not finite
  double Distance(const gp_Pnt& point, int& triangle) const;

  //! The same distance, negative when the point lies behind the nearest triangle, that is
  //! on the side opposite to its normal (b − a) × (c − a) for corners a, b, c: inside a
  //! closed mesh whose triangles turn counter-clockwise seen from outside. When the nearest
  //! point is on an edge or corner shared by several triangles, the triangle whose plane
  //! faces the point most squarely decides the side, which is right for the convex and
  //! concave edges of a closed mesh. A point on the surface gives 0. A degenerate nearest
  //! triangle has no side: its distance is taken as positive.
  //! @return as Distance, with −1 and `triangle` = −1 on the same failures (check
  //!         `triangle` to tell a failure from a point at distance 1 behind the surface)
  double SignedDistance(const gp_Pnt& point, int& triangle) const;

  //! Distance or signed distance (as above) for a run of nearby points, such as the
  //! centroids of a mesh's triangles in order: the search starts from the triangle found for
  //! the previous point, whose distance bounds the search from the start and prunes most of
  //! the hierarchy. The answer is the one of Distance or SignedDistance.
  //! @param[in]     point     the point
  //! @param[in]     isSigned  signed distance when true
  //! @param[in,out] position  in: the position answered for the previous point, or -1;
  //!                          out: the projector's own position of the nearest triangle
  //!                          (Id() gives the triangle index), -1 on the failures of
  //!                          Distance
  double DistanceNear(const gp_Pnt& point, bool isSigned, int& position) const;

  //! The set's index (TriangleSet::Id) of the triangle at a position DistanceNear answered.
  int Id(const int position) const { return m_tree->Id(position); }

private:
  //! Nearest triangle position and its squared distance and closest point; false when
  //! there is nothing to search. `hint`, when a valid position, is tried first.
  bool
  findNearest(const double* p, int& position, double& dist2, double* closest, int hint = -1) const;

private:
  std::shared_ptr<const NearestTree> m_tree;
};

} // namespace BVHTools

#endif
