// The quickhull builder on its own: on clouds that are random, cospherical, on a lattice
// (many coplanar and collinear points) or full of duplicates, the hull is a closed,
// outward, convex triangulation of input points that holds every point, built without a
// dropped horizon; its nodes are numbered by first appearance; a cancelled build says so.
#include <algoMesh_HullBuilder.hxx>

#include <ActAPI_RecordingNotifier.hxx>

#include <MeshBuilders.hxx>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

using quorin::algoMesh_HullBuilder;

namespace
{

std::vector<double> uniformCloud(const int n, const unsigned seed)
{
  std::mt19937                           random(seed);
  std::uniform_real_distribution<double> coord(-1.0, 1.0);
  std::vector<double>                    coords(3 * n);
  for (double& c : coords)
    c = coord(random);
  return coords;
}

std::vector<double> gaussianCloud(const int n, const unsigned seed)
{
  std::mt19937                     random(seed);
  std::normal_distribution<double> coord(0.0, 10.0);
  std::vector<double>              coords(3 * n);
  for (double& c : coords)
    c = coord(random);
  return coords;
}

std::vector<double> sphereNodes()
{
  const Handle(Poly_Triangulation) sphere = testmesh::Sphere(2.0, 40, 20);
  std::vector<double> coords;
  for (int i = 1; i <= sphere->NbNodes(); ++i)
    for (int k = 1; k <= 3; ++k)
      coords.push_back(sphere->Node(i).Coord(k));
  return coords;
}

// Points of a 7 x 7 x 7 lattice, shuffled, each given twice.
std::vector<double> lattice(const unsigned seed)
{
  std::vector<std::array<double, 3>> points;
  for (int x = 0; x < 7; ++x)
    for (int y = 0; y < 7; ++y)
      for (int z = 0; z < 7; ++z)
        for (int copy = 0; copy < 2; ++copy)
          points.push_back({double(x), double(y), double(z)});
  std::shuffle(points.begin(), points.end(), std::mt19937(seed));
  std::vector<double> coords;
  for (const auto& p : points)
    coords.insert(coords.end(), p.begin(), p.end());
  return coords;
}

// The hull of `coords` checked against the cloud: a closed outward surface made of input
// points, every face with all points on its inner side (so it is convex and holds them).
Handle(Poly_Triangulation) expectValidHull(const std::vector<double>& coords)
{
  const size_t         nbPoints = coords.size() / 3;
  algoMesh_HullBuilder builder(coords.data(), nbPoints);
  EXPECT_TRUE(builder.Build());
  EXPECT_EQ(builder.NbFailedHorizons(), 0u);
  const Handle(Poly_Triangulation) hull = builder.Triangulation();
  EXPECT_TRUE(testmesh::IsClosedAndOriented(hull));
  EXPECT_EQ(hull->NbTriangles(), 2 * hull->NbNodes() - 4); // a sphere's Euler characteristic

  std::set<std::array<double, 3>> input;
  double                          scale = 0.0;
  for (size_t i = 0; i < nbPoints; ++i)
  {
    input.insert({coords[3 * i], coords[3 * i + 1], coords[3 * i + 2]});
    for (int k = 0; k < 3; ++k)
      scale = std::max(scale, std::abs(coords[3 * i + k]));
  }
  for (int i = 1; i <= hull->NbNodes(); ++i)
  {
    const gp_Pnt p = hull->Node(i);
    EXPECT_TRUE(input.count({p.X(), p.Y(), p.Z()})) << "node " << i << " is not an input point";
  }
  int nbOutside = 0;
  for (int t = 1; t <= hull->NbTriangles(); ++t)
  {
    int a, b, c;
    hull->Triangle(t).Get(a, b, c);
    const gp_XYZ pa = hull->Node(a).XYZ();
    gp_XYZ       n  = (hull->Node(b).XYZ() - pa).Crossed(hull->Node(c).XYZ() - pa);
    EXPECT_GT(n.Modulus(), 0.0);
    n.Normalize();
    for (size_t i = 0; i < nbPoints; ++i)
    {
      const gp_XYZ p(coords[3 * i], coords[3 * i + 1], coords[3 * i + 2]);
      nbOutside += n.Dot(p - pa) > 1e-9 * scale;
    }
  }
  EXPECT_EQ(nbOutside, 0);
  return hull;
}

} // namespace

TEST(algoMesh_HullBuilder, CloudsOfEveryKindGiveConvexClosedHullsOfTheirPoints)
{
  for (unsigned seed = 1; seed <= 3; ++seed)
  {
    SCOPED_TRACE(seed);
    expectValidHull(uniformCloud(2000, seed));
    expectValidHull(gaussianCloud(2000, seed));
  }
  // All cospherical: every distinct point is a vertex (the poles' rings are distinct).
  const std::vector<double> sphere = sphereNodes();
  EXPECT_EQ(expectValidHull(sphere)->NbNodes(), int(sphere.size() / 3));
  // The lattice's faces are planes full of points; only the cube's corners are needed, but
  // points on the faces may stay as vertices: what matters is that the hull is the cube.
  for (unsigned seed = 1; seed <= 3; ++seed)
  {
    const Handle(Poly_Triangulation) hull = expectValidHull(lattice(seed));
    EXPECT_NEAR(testmesh::SignedVolume(hull), 216.0, 1e-9);
  }
}

TEST(algoMesh_HullBuilder, NodesAreNumberedByFirstAppearance)
{
  const std::vector<double> cloud = gaussianCloud(500, 9);
  algoMesh_HullBuilder      builder(cloud.data(), cloud.size() / 3);
  ASSERT_TRUE(builder.Build());
  const Handle(Poly_Triangulation) hull = builder.Triangulation();
  int last                              = 0;
  for (int t = 1; t <= hull->NbTriangles(); ++t)
  {
    int n[3];
    hull->Triangle(t).Get(n[0], n[1], n[2]);
    for (const int node : n)
    {
      EXPECT_LE(node, last + 1) << "triangle " << t;
      last = std::max(last, node);
    }
  }
  EXPECT_EQ(last, hull->NbNodes());
}

TEST(algoMesh_HullBuilder, CancelledBuildAnswersFalse)
{
  const std::vector<double> cloud           = sphereNodes();
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  notifier->RequestCancel();
  quorin::algoMesh_ProgressScope progress(ActAPI_ProgressEntry(notifier), "hull", 100);
  algoMesh_HullBuilder           builder(cloud.data(), cloud.size() / 3);
  EXPECT_FALSE(builder.Build(&progress));

  // Without a request the same cloud builds, with its progress going forward.
  Handle(ActAPI_RecordingNotifier) quiet = new ActAPI_RecordingNotifier();
  quorin::algoMesh_ProgressScope scope(ActAPI_ProgressEntry(quiet), "hull", 100);
  algoMesh_HullBuilder           again(cloud.data(), cloud.size() / 3);
  EXPECT_TRUE(again.Build(&scope));
}
