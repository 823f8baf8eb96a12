#include <algoMesh_Heal.hxx>

#include <MeshBuilders.hxx>

#include <ActAPI_RecordingNotifier.hxx>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <utility>

namespace Heal = quorin::algoMesh_Heal;

namespace
{
// Every directed edge is used once: neighbouring triangles agree on their orientation.
void expectConsistentOrientation(const Handle(Poly_Triangulation) & mesh)
{
  std::set<std::pair<int, int>> directed;
  for (int t = 1; t <= mesh->NbTriangles(); ++t)
  {
    int n[3];
    mesh->Triangle(t).Get(n[0], n[1], n[2]);
    for (int k = 0; k < 3; ++k)
      EXPECT_TRUE(directed.insert({n[k], n[(k + 1) % 3]}).second) << "triangle " << t;
  }
}
} // namespace

TEST(algoMesh_Heal, ClosedMeshWithoutHoleSizeIsOnlyReorientedAndCleaned)
{
  // The cube with its third triangle turned over and a duplicate of node 1 used by one
  // triangle: orientation and welding are repaired, nothing is added.
  Handle(Poly_Triangulation) cube = testmesh::Cube();
  int a, b, c;
  cube->Triangle(3).Get(a, b, c);
  cube->SetTriangle(3, Poly_Triangle(a, c, b));
  const Handle(Poly_Triangulation) input = cube;

  Handle(Poly_Triangulation) healed;
  ASSERT_TRUE(Heal::DoVTK(input, 0.0, healed, ActAPI_ProgressEntry()));
  EXPECT_EQ(8, healed->NbNodes());
  EXPECT_EQ(12, healed->NbTriangles());
  EXPECT_EQ(0, testmesh::CountEdges(healed).boundary);
  expectConsistentOrientation(healed);
  EXPECT_NEAR(1.0, std::abs(testmesh::SignedVolume(healed)), 1e-12);

  int a2, b2, c2; // the input is untouched
  input->Triangle(3).Get(a2, b2, c2);
  EXPECT_EQ(b, c2);
}

TEST(algoMesh_Heal, HoleSizeDecidesWhetherTheOpeningCloses)
{
  const Handle(Poly_Triangulation) box = testmesh::OpenBox(); // unit square opening
  Handle(Poly_Triangulation) small, large;
  ASSERT_TRUE(Heal::DoVTK(box, 0.1, small, ActAPI_ProgressEntry()));
  EXPECT_EQ(4, testmesh::CountEdges(small).boundary);
  EXPECT_EQ(10, small->NbTriangles());

  ASSERT_TRUE(Heal::DoVTK(box, 10.0, large, ActAPI_ProgressEntry()));
  EXPECT_EQ(0, testmesh::CountEdges(large).boundary);
  EXPECT_EQ(0, testmesh::CountEdges(large).nonManifold);
  EXPECT_GT(large->NbTriangles(), 10);
  expectConsistentOrientation(large);
  EXPECT_NEAR(1.0, std::abs(testmesh::SignedVolume(large)), 1e-9);
}

TEST(algoMesh_Heal, UnusableInputAnswersFalseSilently)
{
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  Handle(Poly_Triangulation) result;
  EXPECT_FALSE(Heal::DoVTK(Handle(Poly_Triangulation)(), 1.0, result, notifier));
  EXPECT_FALSE(Heal::DoVTK(new Poly_Triangulation(), 1.0, result, notifier));
  EXPECT_FALSE(Heal::DoVTK(testmesh::Make({gp_Pnt(0, 0, 0)}, {{1, 1, 5}}), 1.0, result, notifier));
  EXPECT_FALSE(
      Heal::DoVTK(testmesh::OpenBox(), std::numeric_limits<double>::quiet_NaN(), result, notifier));
  Handle(Poly_Triangulation) poisoned = testmesh::OpenBox();
  poisoned->SetNode(1, gp_Pnt(std::numeric_limits<double>::infinity(), 0, 0));
  EXPECT_FALSE(Heal::DoVTK(poisoned, 1.0, result, notifier));
  EXPECT_TRUE(result.IsNull());
  EXPECT_TRUE(notifier->Messages().empty());
}

TEST(algoMesh_Heal, EachFilterReportsInsideItsOwnShare)
{
  // The hole filler's share is 10 - 40 %: its own progress shows there, rather than the
  // progress jumping ahead to a later step before it runs.
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  Handle(Poly_Triangulation) healed;
  ASSERT_TRUE(Heal::DoVTK(testmesh::Sphere(1.0, 100, 50), 0.0, healed, notifier));
  const std::vector<double> fractions = notifier->Fractions();
  EXPECT_TRUE(std::any_of(fractions.begin(), fractions.end(),
                          [](const double f) { return f > 0.1 && f < 0.4; }));
  EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
  EXPECT_EQ(1.0, fractions.back());
}
