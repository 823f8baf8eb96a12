#include <MeshBuilders.hxx>

#include <algoMesh_ConvexHull.hxx>

#include <ActAPI_RecordingNotifier.hxx>

#include <Standard_OutOfRange.hxx>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <tuple>

using namespace quorin;

namespace
{
bool Hull(const std::vector<gp_Pnt>& points, Handle(Poly_Triangulation) & hull)
{
  return algoMesh_ConvexHull().Perform(points, hull);
}

// Checks what every hull must satisfy: closed 2-manifold of genus 0, outward orientation,
// nodes taken from the input, no input point outside any face plane beyond the tolerance.
void ExpectValidHull(const std::vector<gp_Pnt>& points, const Handle(Poly_Triangulation) & hull)
{
  ASSERT_FALSE(hull.IsNull());
  const testmesh::EdgeCounts edges = testmesh::CountEdges(hull);
  EXPECT_EQ(0, edges.boundary);
  EXPECT_EQ(0, edges.nonManifold);
  EXPECT_EQ(hull->NbNodes() - edges.manifold + hull->NbTriangles(), 2); // Euler, sphere
  EXPECT_GT(testmesh::SignedVolume(hull), 0.0);

  std::set<std::tuple<double, double, double>> input;
  double                                       scale = 0.0;
  for (const gp_Pnt& p : points)
  {
    input.emplace(p.X(), p.Y(), p.Z());
    scale = std::max({scale, std::abs(p.X()), std::abs(p.Y()), std::abs(p.Z())});
  }
  for (int i = 1; i <= hull->NbNodes(); ++i)
  {
    const gp_Pnt p = hull->Node(i);
    EXPECT_EQ(1u, input.count({p.X(), p.Y(), p.Z()})) << "node " << i << " is not an input point";
  }
  const double tolerance = 1e-8 * scale; // the builder's 1e-9, plus rounding of the planes
  for (int t = 1; t <= hull->NbTriangles(); ++t)
  {
    int a, b, c;
    hull->Triangle(t).Get(a, b, c);
    const gp_XYZ pa = hull->Node(a).XYZ(), pb = hull->Node(b).XYZ(), pc = hull->Node(c).XYZ();
    const gp_XYZ n = (pb - pa).Crossed(pc - pa);
    ASSERT_GT(n.Modulus(), 0.0) << "triangle " << t << " is degenerate";
    const gp_XYZ unit  = n / n.Modulus();
    double       worst = -1e300;
    for (const gp_Pnt& p : points)
    {
      worst = std::max(worst, unit.Dot(p.XYZ() - pa));
    }
    EXPECT_LE(worst, tolerance) << "a point lies outside triangle " << t;
  }
}

std::vector<gp_Pnt> CubeCorners()
{
  std::vector<gp_Pnt> points;
  for (int i = 0; i < 8; ++i)
  {
    points.emplace_back(i & 1, (i >> 1) & 1, (i >> 2) & 1);
  }
  return points;
}

std::vector<gp_Pnt> RandomCloud(const int n, const unsigned seed, const char kind)
{
  std::mt19937                           rng(seed);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::normal_distribution<double>       normal;
  std::vector<gp_Pnt>                    points;
  while (static_cast<int>(points.size()) < n)
  {
    gp_XYZ p(uniform(rng), uniform(rng), uniform(rng));
    if (kind == 'b' && p.SquareModulus() > 1.0)
    {
      continue; // ball
    }
    if (kind == 's')
    {
      p = gp_XYZ(normal(rng), normal(rng), normal(rng)); // sphere surface
      p /= p.Modulus();
    }
    if (kind == 'g')
    {
      p = gp_XYZ(100 * normal(rng), normal(rng), 0.01 * normal(rng)); // flat, elongated
    }
    points.emplace_back(p);
  }
  return points;
}

// Hull vertices by brute force: a point is a vertex when it is a corner of some triangle of
// input points that has every other point strictly on one side (general position assumed).
std::set<std::tuple<double, double, double>> BruteForceVertices(const std::vector<gp_Pnt>& pts)
{
  std::set<std::tuple<double, double, double>> vertices;
  const size_t                                 n = pts.size();
  for (size_t i = 0; i < n; ++i)
    for (size_t j = i + 1; j < n; ++j)
      for (size_t k = j + 1; k < n; ++k)
      {
        const gp_XYZ nrm   = (pts[j].XYZ() - pts[i].XYZ()).Crossed(pts[k].XYZ() - pts[i].XYZ());
        int          above = 0, below = 0;
        for (size_t m = 0; m < n; ++m)
        {
          if (m == i || m == j || m == k)
          {
            continue; // rounding would put the corners themselves off the plane
          }
          const double s = nrm.Dot(pts[m].XYZ() - pts[i].XYZ());
          above += s > 0;
          below += s < 0;
        }
        if (above == 0 || below == 0)
        {
          for (size_t v : {i, j, k})
          {
            vertices.emplace(pts[v].X(), pts[v].Y(), pts[v].Z());
          }
        }
      }
  return vertices;
}
} // namespace

TEST(algoMesh_ConvexHull, CubeCornersAndCentreGiveTheCube)
{
  std::vector<gp_Pnt> points = CubeCorners();
  points.emplace_back(0.5, 0.5, 0.5); // dropped: inside
  Handle(Poly_Triangulation) hull;
  ASSERT_TRUE(Hull(points, hull));
  EXPECT_EQ(8, hull->NbNodes());
  EXPECT_EQ(12, hull->NbTriangles());
  EXPECT_NEAR(1.0, testmesh::SignedVolume(hull), 1e-12);
  ExpectValidHull(points, hull);
}

TEST(algoMesh_ConvexHull, TetrahedronKeepsItsCornersInFirstAppearanceOrder)
{
  const std::vector<gp_Pnt> points = {gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0), gp_Pnt(0, 1, 0),
                                      gp_Pnt(0, 0, 1)};
  Handle(Poly_Triangulation) hull;
  ASSERT_TRUE(Hull(points, hull));
  ASSERT_EQ(4, hull->NbNodes());
  ASSERT_EQ(4, hull->NbTriangles());
  // The base is flipped to face away from the apex, so the first face runs 1-0-2 and the
  // output starts at its second vertex: nodes are points 0, 2, 1, 3.
  const int order[4] = {0, 2, 1, 3};
  for (int k = 0; k < 4; ++k)
  {
    EXPECT_TRUE(hull->Node(k + 1).IsEqual(points[order[k]], 0.0)) << "node " << k + 1;
  }
  const int triangles[4][3] = {{1, 2, 3}, {2, 4, 3}, {3, 4, 1}, {1, 4, 2}};
  for (int t = 0; t < 4; ++t)
  {
    int a, b, c;
    hull->Triangle(t + 1).Get(a, b, c);
    EXPECT_EQ(triangles[t][0], a);
    EXPECT_EQ(triangles[t][1], b);
    EXPECT_EQ(triangles[t][2], c);
  }
  EXPECT_NEAR(1.0 / 6.0, testmesh::SignedVolume(hull), 1e-15);
  ExpectValidHull(points, hull);
}

TEST(algoMesh_ConvexHull, DuplicatedCornersAppearOnce)
{
  std::vector<gp_Pnt>       points = CubeCorners();
  const std::vector<gp_Pnt> again  = CubeCorners();
  points.insert(points.end(), again.begin(), again.end());
  points.insert(points.end(), again.rbegin(), again.rend());
  Handle(Poly_Triangulation) hull;
  ASSERT_TRUE(Hull(points, hull));
  EXPECT_EQ(8, hull->NbNodes());
  EXPECT_EQ(12, hull->NbTriangles());
}

TEST(algoMesh_ConvexHull, FlatOrTooFewPointsAreRefusedAndLeaveTheOutputAlone)
{
  const Handle(Poly_Triangulation) previous = testmesh::Tetra();
  Handle(Poly_Triangulation) hull           = previous;
  std::vector<gp_Pnt> plane;
  for (int i = 0; i < 100; ++i)
  {
    plane.emplace_back(i % 10, i / 10, 0.5 * (i % 10) - 0.25 * (i / 10)); // tilted plane
  }
  EXPECT_FALSE(Hull(plane, hull));

  std::vector<gp_Pnt> three;
  for (int i = 0; i < 30; ++i)
  {
    three.emplace_back(i % 3 == 0 ? 1 : 0, i % 3 == 1 ? 1 : 0, i % 3 == 2 ? 1 : 0);
  }
  EXPECT_FALSE(Hull(three, hull));

  std::vector<gp_Pnt> line;
  for (int i = 0; i < 20; ++i)
  {
    line.emplace_back(i, 2.0 * i, -i);
  }
  EXPECT_FALSE(Hull(line, hull));
  EXPECT_FALSE(Hull(std::vector<gp_Pnt>(10, gp_Pnt(1, 2, 3)), hull));
  const std::vector<gp_Pnt> corners = CubeCorners();
  EXPECT_FALSE(Hull(std::vector<gp_Pnt>(corners.begin(), corners.begin() + 3), hull));
  EXPECT_FALSE(algoMesh_ConvexHull().Perform(std::vector<double>{0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0},
                                             hull)); // 11 values: three points and a remainder
  EXPECT_FALSE(Hull({}, hull));

  // A solid, but all within 3.2e-4 of the first point: too small for the dimension test.
  std::vector<gp_Pnt> tiny = CubeCorners();
  for (gp_Pnt& p : tiny)
  {
    p.SetXYZ(p.XYZ() * 1e-4);
  }
  EXPECT_FALSE(Hull(tiny, hull));
  EXPECT_EQ(previous, hull);
}

TEST(algoMesh_ConvexHull, NonFiniteCoordinateIsRefusedWithAMessage)
{
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier;
  std::vector<gp_Pnt> points                = CubeCorners();
  points[5].SetY(std::nan(""));
  Handle(Poly_Triangulation) hull;
  EXPECT_FALSE(algoMesh_ConvexHull(ActAPI_ProgressEntry(notifier)).Perform(points, hull));
  EXPECT_TRUE(hull.IsNull());
  ASSERT_EQ(1u, notifier->Texts().size());
  EXPECT_EQ("Cannot build a convex hull: point 5 has a non-finite coordinate.",
            notifier->Texts()[0]);

  points[5].SetY(HUGE_VAL);
  EXPECT_FALSE(algoMesh_ConvexHull(ActAPI_ProgressEntry(notifier)).Perform(points, hull));
}

TEST(algoMesh_ConvexHull, PointFormsAgreeAndTheArrayMustStartAtOne)
{
  const std::vector<gp_Pnt>  points = RandomCloud(500, 7, 'b');
  NCollection_Array1<gp_Pnt> array(1, static_cast<int>(points.size()));
  std::vector<double>        coords;
  for (size_t i = 0; i < points.size(); ++i)
  {
    array(static_cast<int>(i) + 1) = points[i];
    coords.insert(coords.end(), {points[i].X(), points[i].Y(), points[i].Z()});
  }
  coords.push_back(42.0); // a remainder is ignored
  Handle(Poly_Triangulation) fromPoints, fromArray, fromCoords;
  algoMesh_ConvexHull algo;
  ASSERT_TRUE(algo.Perform(points, fromPoints));
  ASSERT_TRUE(algo.Perform(array, fromArray));
  ASSERT_TRUE(algo.Perform(coords, fromCoords));
  for (const Handle(Poly_Triangulation) & other : {fromArray, fromCoords})
  {
    ASSERT_EQ(fromPoints->NbNodes(), other->NbNodes());
    ASSERT_EQ(fromPoints->NbTriangles(), other->NbTriangles());
    for (int i = 1; i <= other->NbNodes(); ++i)
    {
      EXPECT_TRUE(fromPoints->Node(i).IsEqual(other->Node(i), 0.0));
    }
  }

  NCollection_Array1<gp_Pnt> zeroBased(0, 9);
  Handle(Poly_Triangulation) hull;
  EXPECT_THROW(algo.Perform(zeroBased, hull), Standard_OutOfRange);
  EXPECT_FALSE(algo.Perform(NCollection_Array1<gp_Pnt>(1, 3), hull));
}

TEST(algoMesh_ConvexHull, RandomCloudsGiveValidHullsWithTheBruteForceVertices)
{
  for (const char kind : {'c', 'b', 's', 'g'})
  {
    for (unsigned seed = 1; seed <= 5; ++seed)
    {
      SCOPED_TRACE(std::string("cloud ") + kind + " seed " + std::to_string(seed));
      const std::vector<gp_Pnt> points = RandomCloud(60, seed, kind);
      Handle(Poly_Triangulation) hull;
      ASSERT_TRUE(Hull(points, hull));
      ExpectValidHull(points, hull);
      std::set<std::tuple<double, double, double>> nodes;
      for (int i = 1; i <= hull->NbNodes(); ++i)
      {
        nodes.emplace(hull->Node(i).X(), hull->Node(i).Y(), hull->Node(i).Z());
      }
      EXPECT_EQ(BruteForceVertices(points), nodes);
    }
  }
}

TEST(algoMesh_ConvexHull, LargeCloudsStayValid)
{
  for (const char kind : {'b', 's'})
  {
    const std::vector<gp_Pnt> points = RandomCloud(5000, 11, kind);
    Handle(Poly_Triangulation) hull;
    ASSERT_TRUE(Hull(points, hull));
    ExpectValidHull(points, hull);
    if (kind == 's')
    {
      EXPECT_EQ(5000, hull->NbNodes()); // every point of a sphere is a corner
      EXPECT_NEAR(4.0 / 3.0 * M_PI, testmesh::SignedVolume(hull), 5e-2);
    }
  }
}

TEST(algoMesh_ConvexHull, SphereMeshNodesAreAllCorners)
{
  const Handle(Poly_Triangulation) sphere = testmesh::Sphere(2.0, 24, 12);
  std::vector<gp_Pnt> points;
  for (int i = 1; i <= sphere->NbNodes(); ++i)
  {
    points.push_back(sphere->Node(i));
  }
  Handle(Poly_Triangulation) hull;
  ASSERT_TRUE(Hull(points, hull));
  EXPECT_EQ(sphere->NbNodes(), hull->NbNodes());
  EXPECT_EQ(2 * sphere->NbNodes() - 4, hull->NbTriangles());
  EXPECT_NEAR(testmesh::SignedVolume(sphere), testmesh::SignedVolume(hull), 1e-9);
  ExpectValidHull(points, hull);
}

TEST(algoMesh_ConvexHull, CloudFlatForTheToleranceStillGivesAnAnswer)
{
  // 1.5e-7 off the plane passes the absolute dimension test, but is below 1e-9 of the
  // extent in units of the base triangle's normal: the build lifts an extra point off the
  // plane and merges it back into point 0 at the end.
  std::vector<gp_Pnt> points;
  for (int i = 0; i < 30; ++i)
  {
    points.emplace_back(1.0 + 0.01 * (i % 6) / 5.0, 1.0 + 0.01 * (i / 6) / 4.0, 0.0);
  }
  points.emplace_back(1.005, 1.005, 1.5e-7);
  Handle(Poly_Triangulation) hull;
  ASSERT_TRUE(Hull(points, hull));
  EXPECT_GE(hull->NbNodes(), 3);
  for (int i = 1; i <= hull->NbNodes(); ++i)
  {
    EXPECT_TRUE(std::any_of(points.begin(), points.end(),
                            [&](const gp_Pnt& p) { return p.IsEqual(hull->Node(i), 0.0); }));
  }
}

TEST(algoMesh_ConvexHull, LatticeGivesTheCubeWhateverTheOrder)
{
  // Points on the cube's faces and edges lie on the final planes, within the tolerance. In
  // lattice order only the eight corners become vertices. In other orders a face or edge
  // point can be the farthest from an intermediate face and become a vertex before the
  // corners beyond it; the visibility test has no tolerance, so it stays as a flat vertex.
  // The hull is still the cube.
  std::vector<gp_Pnt> points;
  for (int i = 0; i < 1000; ++i)
  {
    points.emplace_back(i % 10, (i / 10) % 10, i / 100);
  }
  for (const unsigned seed : {0u, 1u, 2u, 3u})
  {
    if (seed != 0)
    {
      std::shuffle(points.begin(), points.end(), std::mt19937(seed));
    }
    Handle(Poly_Triangulation) hull;
    ASSERT_TRUE(Hull(points, hull));
    if (seed == 0)
    {
      EXPECT_EQ(8, hull->NbNodes());
      EXPECT_EQ(12, hull->NbTriangles());
    }
    EXPECT_NEAR(729.0, testmesh::SignedVolume(hull), 1e-9);
    int corners = 0;
    for (int i = 1; i <= hull->NbNodes(); ++i)
    {
      const gp_Pnt p = hull->Node(i);
      const int    onSides =
          (p.X() == 0 || p.X() == 9) + (p.Y() == 0 || p.Y() == 9) + (p.Z() == 0 || p.Z() == 9);
      EXPECT_GE(onSides, 1) << "an inner lattice point became a vertex";
      corners += onSides == 3;
    }
    EXPECT_EQ(8, corners);
    ExpectValidHull(points, hull);
  }
}

TEST(algoMesh_ConvexHull, TorusNodesGiveAValidHull)
{
  // Rings of cocircular points, many of them coplanar with their neighbours on the outside.
  std::vector<gp_Pnt> points;
  for (int i = 0; i < 60; ++i)
  {
    for (int j = 0; j < 30; ++j)
    {
      const double u = 2 * M_PI * i / 60, v = 2 * M_PI * j / 30;
      points.emplace_back((3 + std::cos(v)) * std::cos(u), (3 + std::cos(v)) * std::sin(u),
                          std::sin(v));
    }
  }
  Handle(Poly_Triangulation) hull;
  ASSERT_TRUE(Hull(points, hull));
  ExpectValidHull(points, hull);
}
