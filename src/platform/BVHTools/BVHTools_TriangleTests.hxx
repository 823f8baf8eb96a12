// Exact intersection tests between closed triangles and segments in space.
//
// Every decision is a sign of an exact orientation predicate (BVHTools_Predicates), so the
// answers are right to the last bit whatever the rounding: touching counts as
// intersecting, and nearly parallel or coplanar configurations are decided like any other.
// Two non-coplanar triangles meet when an edge of one meets the other (the ends of their
// common segment lie on edges); coplanar ones are tested in the coordinate plane onto which
// their plane projects one-to-one. Cost: a handful of predicate calls per pair, at most 24.
#ifndef BVHTools_TriangleTests_HeaderFile
#define BVHTools_TriangleTests_HeaderFile

#include <BVHTools_Export.hxx>

namespace BVHTools
{

//! A triangle as three corners of three doubles each.
struct TriangleCorners
{
  const double* p[3];
};

//! True when the three corners are collinear or coincide (exact).
BVHTools_EXPORT bool IsDegenerate(const TriangleCorners& t);

//! True when the closed segment [a, b] (a point when a = b) and the closed triangle t share
//! a point. t must not be degenerate.
BVHTools_EXPORT bool
SegmentTriangleIntersect(const double* a, const double* b, const TriangleCorners& t);

//! True when the closed triangles t1 and t2 share a point. Neither may be degenerate.
BVHTools_EXPORT bool TrianglesIntersect(const TriangleCorners& t1, const TriangleCorners& t2);

//! Like TrianglesIntersect for two triangles of one mesh, whose corners are also given as
//! node indices: corners on the same node are shared, and the triangles count as
//! intersecting only when they have a point in common besides their shared corners and the
//! edge between two shared corners. Two triangles meeting only at a shared node or along a
//! shared edge therefore do not intersect; two coplanar triangles folded onto each other
//! over a shared edge, a triangle crossing its neighbour's interior, and two triangles on
//! the same three nodes do. Distinct nodes at one position are not shared: their contact
//! counts. Neither triangle may be degenerate.
BVHTools_EXPORT bool NeighboursIntersect(const TriangleCorners& t1,
                                         const int*             nodes1,
                                         const TriangleCorners& t2,
                                         const int*             nodes2);

} // namespace BVHTools

#endif
