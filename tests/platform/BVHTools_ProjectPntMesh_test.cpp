// Point-to-mesh distances against brute force, signs, and concurrent queries.
#include <BVHTools_ProjectPntMesh.hxx>
#include <BVHTools_TaskFence.hxx>

#include <MeshBuilders.hxx>

#include <gtest/gtest.h>

#include <tbb/parallel_for.h>

#include <cmath>
#include <random>

namespace
{

// Distance to a triangle by another route: the foot of the perpendicular when it falls
// inside, otherwise the nearest of the three edges.
double segmentDistance(const gp_Pnt& p, const gp_Pnt& a, const gp_Pnt& b)
{
  const gp_Vec ab(a, b);
  double       t = ab.SquareMagnitude() > 0 ? gp_Vec(a, p).Dot(ab) / ab.SquareMagnitude() : 0;
  t              = std::min(1.0, std::max(0.0, t));
  return p.Distance(a.Translated(t * ab));
}

double bruteDistance(const Handle(Poly_Triangulation) & mesh, const gp_Pnt& p)
{
  double best = 1e300;
  for (int t = 1; t <= mesh->NbTriangles(); ++t)
  {
    int n[3];
    mesh->Triangle(t).Get(n[0], n[1], n[2]);
    const gp_Pnt a = mesh->Node(n[0]), b = mesh->Node(n[1]), c = mesh->Node(n[2]);
    const gp_Vec normal = gp_Vec(a, b).Crossed(gp_Vec(a, c));
    double       d =
        std::min({segmentDistance(p, a, b), segmentDistance(p, b, c), segmentDistance(p, c, a)});
    if (normal.Magnitude() > 0)
    {
      const gp_Vec n   = normal.Normalized();
      const double h   = gp_Vec(a, p).Dot(n);
      const gp_Pnt f   = p.Translated(-h * n);
      const bool   in0 = gp_Vec(a, b).Crossed(gp_Vec(a, f)).Dot(n) >= 0;
      const bool   in1 = gp_Vec(b, c).Crossed(gp_Vec(b, f)).Dot(n) >= 0;
      const bool   in2 = gp_Vec(c, a).Crossed(gp_Vec(c, f)).Dot(n) >= 0;
      if (in0 && in1 && in2)
        d = std::min(d, std::fabs(h));
    }
    best = std::min(best, d);
  }
  return best;
}

} // namespace

TEST(BVHTools_ProjectPntMesh, DistancesMatchBruteForceAndSignsTellInsideFromOutside)
{
  const Handle(Poly_Triangulation) sphere = testmesh::Sphere(1.0, 24, 12);
  Handle(BVHTools::TriangleSet) set       = new BVHTools::TriangleSet(sphere);
  set->SetNbThreads(2);
  set->InitBuilder();
  const BVHTools::ProjectPntMesh projector(set);

  std::mt19937                           random(5);
  std::uniform_real_distribution<double> coord(-2.0, 2.0);
  for (int k = 0; k < 500; ++k)
  {
    const gp_Pnt p(coord(random), coord(random), coord(random));
    int          triangle = -1;
    const double d        = projector.Distance(p, triangle);
    EXPECT_NEAR(d, bruteDistance(sphere, p), 1e-12);
    ASSERT_GE(triangle, 1);
    ASSERT_LE(triangle, sphere->NbTriangles());
    const double s = projector.SignedDistance(p, triangle);
    EXPECT_NEAR(std::fabs(s), d, 1e-12);
    // The mesh is inscribed in the unit sphere: beyond 1 surely outside, below 0.9 inside.
    const double r = p.Distance(gp_Pnt(0, 0, 0));
    if (r > 1.0)
    {
      EXPECT_GT(s, 0.0) << "point " << k;
    }
    if (r < 0.9)
    {
      EXPECT_LT(s, 0.0) << "point " << k;
    }
  }
}

TEST(BVHTools_ProjectPntMesh, SignIsRightNearSharpEdgesAndCornersOfACube)
{
  Handle(BVHTools::TriangleSet) set = new BVHTools::TriangleSet(testmesh::Cube());
  const BVHTools::ProjectPntMesh projector(set);
  int                            triangle = -1;
  EXPECT_NEAR(projector.SignedDistance(gp_Pnt(1.1, 1.1, 0.5), triangle), std::sqrt(0.02), 1e-12);
  EXPECT_NEAR(projector.SignedDistance(gp_Pnt(1.5, 1.5, 1.5), triangle), std::sqrt(0.75), 1e-12);
  EXPECT_NEAR(projector.SignedDistance(gp_Pnt(0.95, 0.9, 0.5), triangle), -0.05, 1e-12);
  EXPECT_NEAR(projector.SignedDistance(gp_Pnt(0.5, 0.5, 1.0), triangle), 0.0, 1e-15);
}

TEST(BVHTools_ProjectPntMesh, SearchFromAHintAnswersAsWithout)
{
  // Hints from the previous point (the intended use), from a far triangle and out of range:
  // the hint may only speed the search up, never change the answer, including at the cube's
  // edges and corners where several triangles tie.
  for (const Handle(Poly_Triangulation) & mesh : {testmesh::Sphere(1.0, 24, 12), testmesh::Cube()})
  {
    Handle(BVHTools::TriangleSet) set = new BVHTools::TriangleSet(mesh);
    const BVHTools::ProjectPntMesh         projector(set);
    std::mt19937                           random(11);
    std::uniform_real_distribution<double> coord(-1.5, 1.5);
    int                                    previous = -1;
    for (int k = 0; k < 400; ++k)
    {
      const gp_Pnt p        = k % 4 == 3 ? gp_Pnt(1.0 + 0.1 * (k % 3), 1.0, coord(random))
                                         : gp_Pnt(coord(random), coord(random), coord(random));
      const bool   isSigned = k % 2 == 0;
      int          triangle = -1;
      const double expected =
          isSigned ? projector.SignedDistance(p, triangle) : projector.Distance(p, triangle);
      for (const int hint : {previous, 0, set->Size() - 1, set->Size() + 5})
      {
        int          position = hint;
        const double value    = projector.DistanceNear(p, isSigned, position);
        // Among triangles tied within rounding the distance kept may differ in its last bits.
        EXPECT_NEAR(value, expected, 1e-12) << "point " << k << " hint " << hint;
        ASSERT_GE(position, 0);
        EXPECT_EQ(projector.Id(position), triangle) << "point " << k << " hint " << hint;
      }
      // The next point starts from this one's answer.
      int position = previous;
      projector.DistanceNear(p, isSigned, position);
      previous = position;
    }
  }
}

TEST(BVHTools_ProjectPntMesh, ConcurrentQueriesAgreeWithSerialOnes)
{
  const Handle(Poly_Triangulation) sphere = testmesh::Sphere(1.0, 60, 30);
  Handle(BVHTools::TriangleSet) set       = new BVHTools::TriangleSet(sphere);
  set->BVH();
  std::vector<gp_Pnt> points;
  for (int k = 0; k < 2000; ++k)
    points.emplace_back(std::cos(k) * 1.5, std::sin(0.7 * k), 0.001 * k - 1.0);
  std::vector<double> serial(points.size()), parallel(points.size());
  for (size_t k = 0; k < points.size(); ++k)
  {
    int triangle = -1;
    serial[k]    = BVHTools::ProjectPntMesh(set).SignedDistance(points[k], triangle);
  }
  const BVHTools::TaskFence fence;
  tbb::parallel_for(size_t(0), points.size(),
                    [&](const size_t k)
                    {
                      fence.Enter();
                      int triangle = -1;
                      parallel[k] =
                          BVHTools::ProjectPntMesh(set).SignedDistance(points[k], triangle);
                      fence.Leave();
                    });
  fence.Join();
  EXPECT_EQ(serial, parallel);
}

TEST(BVHTools_ProjectPntMesh, NothingToProjectOnAnswersMinusOne)
{
  int triangle = 7;
  EXPECT_EQ(BVHTools::ProjectPntMesh(nullptr).Distance(gp_Pnt(), triangle), -1.0);
  EXPECT_EQ(triangle, -1);
  Handle(BVHTools::TriangleSet) empty = new BVHTools::TriangleSet(new Poly_Triangulation());
  triangle                            = 7;
  EXPECT_EQ(BVHTools::ProjectPntMesh(empty).SignedDistance(gp_Pnt(), triangle), -1.0);
  EXPECT_EQ(triangle, -1);
  Handle(BVHTools::TriangleSet) set = new BVHTools::TriangleSet(testmesh::Cube());
  EXPECT_EQ(BVHTools::ProjectPntMesh(set).Distance(gp_Pnt(NAN, 0, 0), triangle), -1.0);
}
