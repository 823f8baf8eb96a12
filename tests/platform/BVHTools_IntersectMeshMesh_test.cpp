// Triangle sets and the intersecting-pairs search, checked against all pairs.
#include <BVHTools_IntersectMeshMesh.hxx>

#include <MeshBuilders.hxx>

#include <BRep_Builder.hxx>
#include <TopoDS_Compound.hxx>

#include <gtest/gtest.h>

#include <atomic>
#include <random>

namespace
{

// Small triangles scattered in a unit box, some of them sharing nodes with the previous
// one, so that random crossings, neighbours and near misses all occur.
Handle(Poly_Triangulation) randomMesh(const int nbTriangles, const unsigned seed)
{
  std::mt19937                           random(seed);
  std::uniform_real_distribution<double> coord(0.0, 1.0), step(-0.15, 0.15);
  std::vector<gp_Pnt>                    nodes;
  std::vector<std::array<int, 3>>        triangles;
  for (int t = 0; t < nbTriangles; ++t)
  {
    const bool         shareWithPrevious = t > 0 && t % 3 != 0;
    const gp_Pnt       centre(coord(random), coord(random), coord(random));
    std::array<int, 3> tri;
    int                first = 0;
    if (shareWithPrevious)
    {
      tri[0] = triangles.back()[1];
      tri[1] = triangles.back()[2];
      first  = 2;
    }
    const gp_Pnt anchor = first == 2 ? nodes[tri[0] - 1] : centre;
    for (int k = first; k < 3; ++k)
    {
      nodes.emplace_back(anchor.X() + step(random), anchor.Y() + step(random),
                         anchor.Z() + step(random));
      tri[k] = static_cast<int>(nodes.size());
    }
    triangles.push_back(tri);
  }
  return testmesh::Make(nodes, triangles);
}

std::vector<int> selfPairs(const Handle(Poly_Triangulation) & mesh, const int nbThreads)
{
  Handle(BVHTools::TriangleSet) set = new BVHTools::TriangleSet(mesh);
  set->SetNbThreads(nbThreads);
  set->InitBuilder();
  BVHTools::IntersectMeshMesh search(nbThreads, set, set, true);
  EXPECT_TRUE(search.Perform());
  return search.Result();
}

} // namespace

TEST(BVHTools_IntersectMeshMesh, SelfPairsMatchAllPairsOnRandomMeshes)
{
  for (unsigned seed = 1; seed <= 6; ++seed)
  {
    const Handle(Poly_Triangulation) mesh = randomMesh(300, seed);
    const std::vector<int> expected       = testmesh::BruteSelfIntersections(mesh);
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(selfPairs(mesh, 1), expected) << "seed " << seed;
    EXPECT_EQ(selfPairs(mesh, 3), expected) << "seed " << seed;
  }
}

TEST(BVHTools_IntersectMeshMesh, MonitorSeesEveryPieceAndCanStopTheSearch)
{
  const Handle(Poly_Triangulation) mesh = randomMesh(3000, 7);
  Handle(BVHTools::TriangleSet) set     = new BVHTools::TriangleSet(mesh);
  set->SetNbThreads(2);
  set->InitBuilder();

  // A monitor that lets the search run sees each piece once and changes nothing.
  std::atomic<size_t>         nbCalls{0}, total{0};
  BVHTools::IntersectMeshMesh watched(2, set, set, true);
  watched.SetMonitor(
      [&](const size_t done, const size_t all)
      {
        EXPECT_LE(done, all);
        total = all;
        ++nbCalls;
        return true;
      });
  ASSERT_TRUE(watched.Perform());
  EXPECT_EQ(total.load(), nbCalls.load());
  EXPECT_EQ(selfPairs(mesh, 2), watched.Result());

  // One that stops at its tenth call: no further piece starts and nothing is reported.
  BVHTools::IntersectMeshMesh stopped(2, set, set, true);
  std::atomic<int>            nbAsked{0};
  stopped.SetMonitor([&](const size_t, const size_t) { return ++nbAsked < 10; });
  EXPECT_FALSE(stopped.Perform());
  EXPECT_TRUE(stopped.Result().empty());
  EXPECT_LT(static_cast<size_t>(nbAsked.load()), total.load());
}

TEST(BVHTools_IntersectMeshMesh, ClosedMeshesHaveNoSelfPairsOnceWelded)
{
  EXPECT_TRUE(selfPairs(testmesh::Tetra(), 2).empty());
  EXPECT_TRUE(selfPairs(testmesh::Cube(), 2).empty());
  EXPECT_TRUE(selfPairs(testmesh::Sphere(1.0, 40, 20), 2).empty());
  // Unwelded, every pair of neighbours touches at distinct nodes.
  EXPECT_EQ(selfPairs(testmesh::Unwelded(testmesh::Cube()), 2).size(),
            testmesh::BruteSelfIntersections(testmesh::Unwelded(testmesh::Cube())).size());
  EXPECT_FALSE(selfPairs(testmesh::Unwelded(testmesh::Cube()), 2).empty());
}

TEST(BVHTools_IntersectMeshMesh, TwoSetsReportContactsAsFirstSecondPairs)
{
  Handle(BVHTools::TriangleSet) a = new BVHTools::TriangleSet(testmesh::Cube());
  Handle(BVHTools::TriangleSet) b = new BVHTools::TriangleSet(testmesh::Combine(
      testmesh::Triangle(gp_Pnt(5, 5, 5), gp_Pnt(6, 5, 5), gp_Pnt(5, 6, 5)),
      testmesh::Triangle(gp_Pnt(0.5, 0.5, -1), gp_Pnt(0.5, 0.5, 0.5), gp_Pnt(0.6, 0.4, 0.5))));
  BVHTools::IntersectMeshMesh search(2, a, b, false);
  ASSERT_TRUE(search.Perform());
  // Triangle 2 of the second set pierces the cube's bottom (triangles 1 and 2 share the
  // pierced diagonal region) and ends inside it.
  const std::vector<int>& result = search.Result();
  ASSERT_FALSE(result.empty());
  for (size_t k = 0; k < result.size(); k += 2)
  {
    EXPECT_LE(result[k], 2);
    EXPECT_EQ(result[k + 1], 2);
  }
  // Self mode needs one set.
  EXPECT_FALSE(BVHTools::IntersectMeshMesh(1, a, b, true).Perform());
  EXPECT_FALSE(BVHTools::IntersectMeshMesh(1, a, nullptr, false).Perform());
}

TEST(BVHTools_TriangleSet, BadTrianglesAreLeftOutAndCounted)
{
  Handle(Poly_Triangulation) mesh = testmesh::Make(
      {gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0), gp_Pnt(0, 1, 0), gp_Pnt(NAN, 0, 0), gp_Pnt(2, 0, 0)},
      {{1, 2, 3}, {1, 2, 9}, {1, 4, 2}, {1, 2, 5}, {0, 1, 2}});
  Handle(BVHTools::TriangleSet) set = new BVHTools::TriangleSet(mesh);
  EXPECT_EQ(set->Size(), 2);
  EXPECT_EQ(set->NbRejected(), 3);
  EXPECT_EQ(set->NbDegenerate(), 1); // (1, 2, 5) is collinear
  EXPECT_GT(set->BVH()->Length(), 0);
  Handle(BVHTools::TriangleSet) none = new BVHTools::TriangleSet(Handle(Poly_Triangulation)());
  EXPECT_EQ(none->Size(), 0);
}

TEST(BVHTools_TriangleSet, ShapeFacesAreNumberedInOrderWithLocationsApplied)
{
  TopoDS_Compound compound;
  BRep_Builder    builder;
  builder.MakeCompound(compound);
  builder.Add(compound, testmesh::FaceOf(testmesh::Cube()));
  gp_Trsf shift;
  shift.SetTranslation(gp_Vec(10, 0, 0));
  builder.Add(compound, testmesh::FaceOf(testmesh::Tetra()).Moved(TopLoc_Location(shift)));
  Handle(BVHTools::TriangleSet) set = new BVHTools::TriangleSet(compound);
  ASSERT_EQ(set->Size(), 16);
  set->BVH();
  for (int i = 0; i < set->Size(); ++i)
  {
    double c[9];
    set->Corners(i, c);
    if (set->Id(i) > 12)
      EXPECT_GE(c[0], 8.9); // tetra corners are at x = 9 or 11
    else
      EXPECT_LE(c[0], 1.0);
  }
}
