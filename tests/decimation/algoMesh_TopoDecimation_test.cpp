// Topology-preserving decimation: closed solids stay closed, manifold and apart, open
// boundaries stay in place, and the error stays within the unchecked quadric filter's.
#include <algoMesh_TopoDecimation.hxx>
#include <algoMesh_VTKQuadricDecimation.hxx>

#include <MeshBuilders.hxx>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <map>

using namespace quorin;

namespace
{

algoMesh_DecimationOptions withReduction(const double percent)
{
  algoMesh_DecimationOptions options;
  options.Reduction    = percent;
  options.HasReduction = true;
  return options;
}

double pointTriangleDistance(const gp_Pnt& p, const gp_Pnt& a, const gp_Pnt& b, const gp_Pnt& c)
{
  // Closest point by the region tests on the triangle's barycentric coordinates.
  const gp_Vec ab(a, b), ac(a, c), ap(a, p);
  const double d1 = ab.Dot(ap), d2 = ac.Dot(ap);
  if (d1 <= 0 && d2 <= 0)
    return p.Distance(a);
  const gp_Vec bp(b, p);
  const double d3 = ab.Dot(bp), d4 = ac.Dot(bp);
  if (d3 >= 0 && d4 <= d3)
    return p.Distance(b);
  const double vc = d1 * d4 - d3 * d2;
  if (vc <= 0 && d1 >= 0 && d3 <= 0)
    return p.Distance(a.Translated(ab * (d1 / (d1 - d3))));
  const gp_Vec cp(c, p);
  const double d5 = ab.Dot(cp), d6 = ac.Dot(cp);
  if (d6 >= 0 && d5 <= d6)
    return p.Distance(c);
  const double vb = d5 * d2 - d1 * d6;
  if (vb <= 0 && d2 >= 0 && d6 <= 0)
    return p.Distance(a.Translated(ac * (d2 / (d2 - d6))));
  const double va = d3 * d6 - d5 * d4;
  if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0)
    return p.Distance(b.Translated(gp_Vec(b, c) * ((d4 - d3) / ((d4 - d3) + (d5 - d6)))));
  const double denominator = 1.0 / (va + vb + vc);
  return p.Distance(a.Translated(ab * (vb * denominator) + ac * (vc * denominator)));
}

// Largest and mean distance from the nodes of the original to the decimated surface (brute
// force).
std::pair<double, double> errors(const Handle(Poly_Triangulation) & original,
                                 const Handle(Poly_Triangulation) & decimated)
{
  double worst = 0.0, sum = 0.0;
  for (int i = 1; i <= original->NbNodes(); ++i)
  {
    double nearest = 1e300;
    for (int t = 1; t <= decimated->NbTriangles(); ++t)
    {
      int a, b, c;
      decimated->Triangle(t).Get(a, b, c);
      nearest = std::min(nearest, pointTriangleDistance(original->Node(i), decimated->Node(a),
                                                        decimated->Node(b), decimated->Node(c)));
    }
    worst = std::max(worst, nearest);
    sum += nearest;
  }
  return {worst, sum / original->NbNodes()};
}

void expectClosedManifoldWithoutCrossings(const Handle(Poly_Triangulation) & mesh)
{
  ASSERT_FALSE(mesh.IsNull());
  EXPECT_TRUE(testmesh::IsClosedAndOriented(mesh));
  const testmesh::EdgeCounts edges = testmesh::CountEdges(mesh);
  EXPECT_EQ(edges.boundary, 0);
  EXPECT_EQ(edges.nonManifold, 0);
  EXPECT_TRUE(testmesh::BruteSelfIntersections(mesh).empty());
}

} // namespace

TEST(algoMesh_TopoDecimation, NearbySolidsStayClosedAndApart)
{
  // A ball inside a spherical shell 0.01 thicker: far less than the edges a 95 % reduction
  // leaves, so collapses that place vertices on the quadric optimum (outside a convex
  // surface) push the inner surface through the outer one. The unchecked filter does; we
  // must not.
  const Handle(Poly_Triangulation) nested =
      testmesh::Combine(testmesh::Sphere(1.0, 96, 64), testmesh::Sphere(1.01, 96, 64));
  Handle(Poly_Triangulation) result, unchecked;
  ASSERT_TRUE(algoMesh_TopoDecimation(withReduction(95)).Perform(nested, result));
  ASSERT_TRUE(algoMesh_VTKQuadricDecimation(withReduction(95)).Perform(nested, unchecked));
  EXPECT_FALSE(testmesh::BruteSelfIntersections(unchecked).empty()); // the fault guarded
  expectClosedManifoldWithoutCrossings(result);
  EXPECT_LE(result->NbTriangles(), nested->NbTriangles() / 10); // most of the reduction

  // Still two solids, side by side: two pieces next to each other, none inside the other's
  // surface.
  const Handle(Poly_Triangulation) pair = testmesh::Combine(
      testmesh::Sphere(1.0, 32, 24), testmesh::Sphere(1.0, 32, 24), gp_Vec(2.05, 0, 0));
  ASSERT_TRUE(algoMesh_TopoDecimation(withReduction(90)).Perform(pair, result));
  expectClosedManifoldWithoutCrossings(result);
  std::vector<int> part(result->NbNodes() + 1);
  for (int i = 0; i <= result->NbNodes(); ++i)
  {
    part[i] = i;
  }
  const auto root = [&part](int i)
  {
    while (part[i] != i)
    {
      i = part[i] = part[part[i]];
    }
    return i;
  };
  for (int t = 1; t <= result->NbTriangles(); ++t)
  {
    int a, b, c;
    result->Triangle(t).Get(a, b, c);
    part[root(b)] = root(a);
    part[root(c)] = root(a);
  }
  std::map<int, std::pair<double, double>> ranges;
  for (int i = 1; i <= result->NbNodes(); ++i)
  {
    auto inserted                 = ranges.emplace(root(i), std::make_pair(1e300, -1e300));
    inserted.first->second.first  = std::min(inserted.first->second.first, result->Node(i).X());
    inserted.first->second.second = std::max(inserted.first->second.second, result->Node(i).X());
  }
  ASSERT_EQ(ranges.size(), 2u);
  const auto left = ranges.begin()->second, right = std::next(ranges.begin())->second;
  EXPECT_TRUE(left.second < right.first || right.second < left.first);
}

TEST(algoMesh_TopoDecimation, ErrorWithinTheQuadricFilters)
{
  const Handle(Poly_Triangulation) torus = testmesh::Torus(3.0, 1.0, 48, 24);
  Handle(Poly_Triangulation) ours, filter;
  ASSERT_TRUE(algoMesh_TopoDecimation(withReduction(80)).Perform(torus, ours));
  ASSERT_TRUE(algoMesh_VTKQuadricDecimation(withReduction(80)).Perform(torus, filter));
  expectClosedManifoldWithoutCrossings(ours);
  EXPECT_NEAR(ours->NbTriangles(), filter->NbTriangles(), 0.02 * torus->NbTriangles());
  const std::pair<double, double> ourError    = errors(torus, ours),
                                  filterError = errors(torus, filter);
  // The same collapses where no check intervenes: the same mean error, and a largest one
  // that the refused collapses move by a few percent at most.
  EXPECT_LE(ourError.second, filterError.second * 1.001);
  EXPECT_LE(ourError.first, filterError.first * 1.05);
}

TEST(algoMesh_TopoDecimation, OpenBoundaryStaysInPlace)
{
  // A sphere without its top cap: the rim must keep its nodes where they were.
  const Handle(Poly_Triangulation) sphere = testmesh::Sphere(1.0, 24, 16);
  std::vector<Poly_Triangle> kept;
  for (int t = 1; t <= sphere->NbTriangles(); ++t)
  {
    int a, b, c;
    sphere->Triangle(t).Get(a, b, c);
    if (std::min({sphere->Node(a).Z(), sphere->Node(b).Z(), sphere->Node(c).Z()}) < 0.7)
    {
      kept.push_back(sphere->Triangle(t));
    }
  }
  Handle(Poly_Triangulation) open =
      new Poly_Triangulation(sphere->NbNodes(), int(kept.size()), false);
  for (int i = 1; i <= sphere->NbNodes(); ++i)
  {
    open->SetNode(i, sphere->Node(i));
  }
  for (size_t t = 0; t < kept.size(); ++t)
  {
    open->SetTriangle(int(t) + 1, kept[t]);
  }
  const testmesh::EdgeCounts before = testmesh::CountEdges(open);
  ASSERT_GT(before.boundary, 0);

  Handle(Poly_Triangulation) result;
  ASSERT_TRUE(algoMesh_TopoDecimation(withReduction(70)).Perform(open, result));
  const testmesh::EdgeCounts after = testmesh::CountEdges(result);
  EXPECT_EQ(after.nonManifold, 0);
  EXPECT_GT(after.boundary, 0);
  EXPECT_LE(after.boundary, before.boundary); // collapsed along itself at most
  EXPECT_TRUE(testmesh::BruteSelfIntersections(result).empty());
  for (int i = 1; i <= result->NbNodes(); ++i)
  {
    const gp_Pnt p = result->Node(i);
    if (p.Z() > 0.6)
    {
      // Above the cut only rim nodes can remain, at their original place on the sphere.
      EXPECT_NEAR(p.Distance(gp::Origin()), 1.0, 1e-9);
    }
  }
}

TEST(algoMesh_TopoDecimation, ZeroReductionKeepsEveryTriangleAndOptionsRoundTrip)
{
  const Handle(Poly_Triangulation) tetra = testmesh::Tetra();
  Handle(Poly_Triangulation) result;
  ASSERT_TRUE(algoMesh_TopoDecimation(withReduction(0)).Perform(tetra, result));
  EXPECT_EQ(result->NbTriangles(), 4);
  // A tetrahedron cannot lose a triangle and stay a closed solid.
  ASSERT_TRUE(algoMesh_TopoDecimation(withReduction(100)).Perform(tetra, result));
  EXPECT_EQ(result->NbTriangles(), 4);
  EXPECT_EQ(algoMesh_TopoDecimation(withReduction(40)).GetOptions().GetCmdLine(),
            TCollection_AsciiString(" -reduction 40"));
}
