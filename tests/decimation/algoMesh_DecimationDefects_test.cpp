// Defects a decimation report counts: boundary and non-manifold edges by node number, and
// crossing triangle pairs, each pair once; progress and cancellation of the count.
#include <algoMesh_DecimationDefects.hxx>

#include <CancelProbe.hxx>
#include <MeshBuilders.hxx>

#include <gtest/gtest.h>

using namespace quorin;

TEST(algoMesh_DecimationDefects, CountsEachKindOnTheSmallestMeshShowingIt)
{
  const algoMesh_DecimationDefects closed = algoMesh_DecimationDefects::Count(testmesh::Cube());
  EXPECT_EQ(closed.NbBoundaryEdges, 0);
  EXPECT_EQ(closed.NbNonManifoldEdges, 0);
  EXPECT_EQ(closed.NbCrossingPairs, 0u);

  // Open box: the four edges around the missing top.
  EXPECT_EQ(algoMesh_DecimationDefects::Count(testmesh::OpenBox()).NbBoundaryEdges, 4);

  // Fin: one edge of three triangles, six edges of one.
  const algoMesh_DecimationDefects fin =
      algoMesh_DecimationDefects::Count(testmesh::NonManifoldFin());
  EXPECT_EQ(fin.NbNonManifoldEdges, 1);
  EXPECT_EQ(fin.NbBoundaryEdges, 6);

  // A triangle piercing another crosses it once; triangles sharing an edge do not cross.
  const Handle(Poly_Triangulation) pierced = testmesh::Combine(
      testmesh::Triangle(gp_Pnt(0, 0, 0), gp_Pnt(2, 0, 0), gp_Pnt(0, 2, 0)),
      testmesh::Triangle(gp_Pnt(0.5, 0.5, -1), gp_Pnt(0.6, 0.5, 1), gp_Pnt(0.5, 0.6, 1)));
  EXPECT_EQ(algoMesh_DecimationDefects::Count(pierced).NbCrossingPairs, 1u);
  EXPECT_EQ(algoMesh_DecimationDefects::Count(testmesh::TwoEquilaterals()).NbCrossingPairs, 0u);
  EXPECT_EQ(algoMesh_DecimationDefects::Count(Handle(Poly_Triangulation)()).NbBoundaryEdges, 0);
}

TEST(algoMesh_DecimationDefects, FindsEveryCrossingPairAndStopsOnRequest)
{
  // Two spheres crossing along a band: every pair the brute force finds, once, and the same
  // pairs when they are asked for.
  const Handle(Poly_Triangulation) small = testmesh::Combine(
      testmesh::Sphere(1.0, 24, 12), testmesh::Sphere(1.0, 24, 12), gp_Vec(0.5, 0.0, 0.0));
  const std::vector<int> brute   = testmesh::BruteSelfIntersections(small);
  const size_t           nbBrute = brute.size() / 2;
  ASSERT_GT(nbBrute, 0u);
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  algoMesh_DecimationDefects counts;
  std::vector<int>           pairs = {7};
  ASSERT_TRUE(
      algoMesh_DecimationDefects::Count(small, ActAPI_ProgressEntry(notifier), counts, &pairs));
  EXPECT_EQ(nbBrute, counts.NbCrossingPairs);
  EXPECT_EQ(brute, pairs);
  EXPECT_EQ(0, counts.NbBoundaryEdges);
  ASSERT_FALSE(notifier->Fractions().empty());
  EXPECT_DOUBLE_EQ(1.0, notifier->Fractions().back());

  const Handle(Poly_Triangulation) big = testmesh::Combine(
      testmesh::Sphere(1.0, 200, 100), testmesh::Sphere(1.0, 200, 100), gp_Vec(0.5, 0.0, 0.0));
  const testmesh::CancelledRun run =
      testmesh::RunCancelled([&](const ActAPI_ProgressEntry& progress)
                             { return algoMesh_DecimationDefects::Count(big, progress, counts); });
  testmesh::ExpectStoppedPromptly(run);
  EXPECT_FALSE(run.answer);
  EXPECT_EQ(std::vector<std::string>{"Operation cancelled."}, run.texts);
  EXPECT_EQ(0u, counts.NbCrossingPairs);
}
