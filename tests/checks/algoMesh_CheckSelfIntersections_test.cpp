// Self-intersection check: answers, clusters and their order, extraction, bad input.
#include <algoMesh_CheckSelfIntersections.hxx>

#include <ActAPI_RecordingNotifier.hxx>

#include <MeshBuilders.hxx>

#include <gtest/gtest.h>

#include <random>

using quorin::algoMesh_CheckSelfIntersections;

namespace
{

Handle(algoMesh_CheckSelfIntersections) recordingCheck(const int nbThreads = 2)
{
  Handle(algoMesh_CheckSelfIntersections) check = new algoMesh_CheckSelfIntersections();
  check->SaveSelfIntersections(true);
  check->ChangeParallelOptions().SetParallelMode(nbThreads > 1);
  check->ChangeParallelOptions().SetNbThreads(nbThreads);
  return check;
}

// A small triangle far from everything else, at height y.
std::array<gp_Pnt, 3> farTriangle(const double y)
{
  return {gp_Pnt(100, y, 0), gp_Pnt(101, y, 0), gp_Pnt(100, y + 0.5, 0)};
}

// Triangles 1 and 2 cross near x = 0, triangles 7 and 9 near x = 10; the others are far
// apart. With `bridge`, triangle 2 is long enough to reach through 7 and 9 as well.
Handle(Poly_Triangulation) twoCrossings(const bool bridge)
{
  std::vector<std::array<gp_Pnt, 3>> tris(9);
  tris[0] = {gp_Pnt(-1, -1, 0), gp_Pnt(1, -1, 0), gp_Pnt(0, 1, 0)};
  tris[1] = bridge
                ? std::array<gp_Pnt, 3>{gp_Pnt(0, 0, -1), gp_Pnt(0, 0, 1), gp_Pnt(10.5, 0, 0)}
                : std::array<gp_Pnt, 3>{gp_Pnt(0, -0.5, -1), gp_Pnt(0, -0.5, 1), gp_Pnt(0, 0.5, 0)};
  tris[6] = {gp_Pnt(10, -0.5, -1), gp_Pnt(10, -0.5, 1), gp_Pnt(10, 0.5, 0)};
  tris[8] = {gp_Pnt(9, -1, 0), gp_Pnt(11, -1, 0), gp_Pnt(10, 1, 0)};
  for (const int i : {2, 3, 4, 5, 7})
    tris[i] = farTriangle(10.0 * i);
  std::vector<gp_Pnt>             nodes;
  std::vector<std::array<int, 3>> triangles;
  for (const auto& t : tris)
  {
    nodes.insert(nodes.end(), t.begin(), t.end());
    const int n = static_cast<int>(nodes.size());
    triangles.push_back({n - 2, n - 1, n});
  }
  return testmesh::Make(nodes, triangles);
}

// The clustering as a list of groups merged pair by pair, for comparison.
std::list<std::set<int>> mergeIntoList(const std::vector<int>& pairs)
{
  std::list<std::set<int>> groups;
  for (size_t k = 0; k < pairs.size(); k += 2)
  {
    const int                          a = pairs[k], b = pairs[k + 1];
    std::list<std::set<int>>::iterator target = groups.end();
    for (auto it = groups.begin(); it != groups.end();)
    {
      if (it->count(a) || it->count(b))
      {
        if (target == groups.end())
        {
          target = it;
          target->insert({a, b});
        }
        else
        {
          target->insert(it->begin(), it->end());
          it = groups.erase(it);
          continue;
        }
      }
      ++it;
    }
    if (target == groups.end())
      groups.push_back({a, b});
  }
  return groups;
}

// Random thin strips wandering through a box: many crossings and several clusters.
Handle(Poly_Triangulation) randomStrips(const unsigned seed)
{
  std::mt19937                           random(seed);
  std::uniform_real_distribution<double> coord(0.0, 4.0), step(-0.3, 0.3);
  std::vector<gp_Pnt>                    nodes;
  std::vector<std::array<int, 3>>        triangles;
  for (int strip = 0; strip < 12; ++strip)
  {
    gp_Pnt p(coord(random), coord(random), coord(random));
    nodes.push_back(p);
    nodes.push_back(p.Translated(gp_Vec(step(random), step(random), step(random))));
    for (int k = 0; k < 15; ++k)
    {
      p.Translate(gp_Vec(step(random), step(random), step(random)));
      nodes.push_back(p);
      const int n = static_cast<int>(nodes.size());
      triangles.push_back({n - 2, n - 1, n});
    }
  }
  return testmesh::Make(nodes, triangles);
}

} // namespace

TEST(algoMesh_CheckSelfIntersections, ClosedMeshesDoNotIntersectThemselves)
{
  for (const Handle(Poly_Triangulation) & mesh :
       {testmesh::Cube(), testmesh::Tetra(), testmesh::Sphere(1.0, 48, 24)})
  {
    Handle(algoMesh_CheckSelfIntersections) check = recordingCheck();
    EXPECT_FALSE(check->Perform(mesh));
    EXPECT_TRUE(check->SelfIntersections().IsNull());
    EXPECT_EQ(check->NbGroups(), 0);
    EXPECT_FALSE(check->TriangleSet().IsNull());
  }
}

TEST(algoMesh_CheckSelfIntersections, TwoCrossingTrianglesFormOneGroup)
{
  const Handle(Poly_Triangulation) mesh =
      testmesh::Combine(testmesh::Triangle(gp_Pnt(-1, -1, 0), gp_Pnt(1, -1, 0), gp_Pnt(0, 1, 0)),
                        testmesh::Triangle(gp_Pnt(0, 0, -1), gp_Pnt(0.1, 0, 1), gp_Pnt(0, 0.2, 1)));
  Handle(algoMesh_CheckSelfIntersections) check = recordingCheck();
  ASSERT_TRUE(check->Perform(mesh));
  EXPECT_EQ(check->Groups(), (std::list<std::set<int>>{{1, 2}}));
  EXPECT_EQ(check->IntersectingTriangles().Extent(), 2);
  ASSERT_FALSE(check->SelfIntersections().IsNull());
  EXPECT_EQ(check->SelfIntersections()->NbNodes(), 6);
  EXPECT_EQ(check->SelfIntersections()->NbTriangles(), 2);

  // Without recording nothing is found or kept.
  Handle(algoMesh_CheckSelfIntersections) silent = new algoMesh_CheckSelfIntersections();
  EXPECT_FALSE(silent->Perform(mesh));
  EXPECT_TRUE(silent->SelfIntersections().IsNull());
  EXPECT_EQ(silent->NbGroups(), 0);
  EXPECT_TRUE(silent->SelfIntersections(-1).IsNull());
}

TEST(algoMesh_CheckSelfIntersections, GroupsKeepTheOrderOfTheirFirstPairAndMergeOverBridges)
{
  Handle(algoMesh_CheckSelfIntersections) check = recordingCheck();
  ASSERT_TRUE(check->Perform(twoCrossings(false)));
  EXPECT_EQ(check->Groups(), (std::list<std::set<int>>{{1, 2}, {7, 9}}));
  // Per group and all together; an index equal to the group count selects nothing, a
  // larger one everything.
  EXPECT_EQ(check->SelfIntersections(0)->NbTriangles(), 2);
  EXPECT_EQ(check->SelfIntersections(0)->Node(1).Distance(gp_Pnt(-1, -1, 0)), 0.0);
  EXPECT_EQ(check->SelfIntersections(1)->Node(1).Distance(gp_Pnt(10, -0.5, -1)), 0.0);
  EXPECT_EQ(check->SelfIntersections(-1)->NbTriangles(), 4);
  EXPECT_EQ(check->SelfIntersections(2)->NbTriangles(), 0);
  EXPECT_EQ(check->SelfIntersections(2)->NbNodes(), 0);
  EXPECT_EQ(check->SelfIntersections(3)->NbTriangles(), 4);

  ASSERT_TRUE(check->Perform(twoCrossings(true)));
  EXPECT_EQ(check->Groups(), (std::list<std::set<int>>{{1, 2, 7, 9}}));
  EXPECT_EQ(check->IntersectingTriangles().Extent(), 4);
}

TEST(algoMesh_CheckSelfIntersections, ExtractedNodesAreNumberedByFirstUseAndStoredOnce)
{
  // Triangle 1 on nodes (5, 3, 9) crosses triangle 2; triangles 3 and 4 share the edge
  // (10, 11) and are folded flat onto each other.
  std::vector<gp_Pnt> nodes(13, gp_Pnt(50, 50, 50));
  nodes[4]  = gp_Pnt(-1, -1, 0);
  nodes[2]  = gp_Pnt(1, -1, 0);
  nodes[8]  = gp_Pnt(0, 1, 0);
  nodes[0]  = gp_Pnt(0, 0, -1);
  nodes[1]  = gp_Pnt(0.1, 0, 1);
  nodes[3]  = gp_Pnt(0, 0.2, 1);
  nodes[9]  = gp_Pnt(20, 0, 0);
  nodes[10] = gp_Pnt(21, 0, 0);
  nodes[11] = gp_Pnt(20.5, 1, 0);
  nodes[12] = gp_Pnt(20.5, 0.5, 0);
  const Handle(Poly_Triangulation) mesh =
      testmesh::Make(nodes, {{5, 3, 9}, {1, 2, 4}, {10, 11, 12}, {11, 10, 13}});
  Handle(algoMesh_CheckSelfIntersections) check = recordingCheck();
  ASSERT_TRUE(check->Perform(mesh));
  ASSERT_EQ(check->NbGroups(), 2);

  const Handle(Poly_Triangulation) first = check->SelfIntersections(0);
  ASSERT_EQ(first->NbNodes(), 6);
  EXPECT_EQ(first->Node(1).Distance(nodes[4]), 0.0);
  EXPECT_EQ(first->Node(2).Distance(nodes[2]), 0.0);
  EXPECT_EQ(first->Node(3).Distance(nodes[8]), 0.0);
  int a, b, c;
  first->Triangle(1).Get(a, b, c);
  EXPECT_EQ((std::array<int, 3>{a, b, c}), (std::array<int, 3>{1, 2, 3}));

  // The folded pair shares two nodes, stored once.
  EXPECT_EQ(check->SelfIntersections(1)->NbNodes(), 4);
  EXPECT_EQ(check->SelfIntersections(-1)->NbNodes(), 10);
  EXPECT_EQ(check->SelfIntersections()->NbTriangles(), 4);
}

TEST(algoMesh_CheckSelfIntersections, InterpenetratingSpheresGiveOneClusterPerContact)
{
  // Three unit spheres in a row: the first meets the second around x = 0.75, the second
  // meets the third around x = 2.25.
  const Handle(Poly_Triangulation) sphere = testmesh::Sphere(1.0, 48, 24);
  const Handle(Poly_Triangulation) mesh   = testmesh::Combine(
        testmesh::Combine(sphere, sphere, gp_Vec(1.5, 0, 0)), sphere, gp_Vec(3.0, 0, 0));
  Handle(algoMesh_CheckSelfIntersections) check = recordingCheck();
  ASSERT_TRUE(check->Perform(mesh));
  ASSERT_EQ(check->NbGroups(), 2);
  const int    perSphere   = sphere->NbTriangles();
  const double contactX[2] = {0.75, 2.25};
  int          g           = 0;
  for (const std::set<int>& group : check->Groups())
  {
    bool fromLeft = false, fromRight = false;
    for (const int t : group)
    {
      const int s = (t - 1) / perSphere;
      fromLeft    = fromLeft || s == g;
      fromRight   = fromRight || s == g + 1;
      int n[3];
      mesh->Triangle(t).Get(n[0], n[1], n[2]);
      // Every clustered triangle lies at the contact circle (radius sqrt(1 - 0.75^2)).
      EXPECT_NEAR(mesh->Node(n[0]).X(), contactX[g], 0.2) << "triangle " << t;
    }
    EXPECT_TRUE(fromLeft && fromRight);
    EXPECT_GT(group.size(), 40u); // a ring of triangles on each sphere
    ++g;
  }
}

TEST(algoMesh_CheckSelfIntersections, MatchesAllPairsMergedIntoAListOnRandomMeshes)
{
  for (unsigned seed = 1; seed <= 5; ++seed)
  {
    const Handle(Poly_Triangulation) mesh   = randomStrips(seed);
    const std::list<std::set<int>> expected = mergeIntoList(testmesh::BruteSelfIntersections(mesh));
    ASSERT_GT(expected.size(), 1u) << "seed " << seed;
    Handle(algoMesh_CheckSelfIntersections) one = recordingCheck(1), many = recordingCheck(4);
    ASSERT_TRUE(one->Perform(mesh));
    ASSERT_TRUE(many->Perform(mesh));
    EXPECT_EQ(one->Groups(), expected) << "seed " << seed;
    EXPECT_EQ(many->Groups(), expected) << "seed " << seed;
  }
}

TEST(algoMesh_CheckSelfIntersections, BadInputAnswersFalseWithAMessage)
{
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  Handle(algoMesh_CheckSelfIntersections) check =
      new algoMesh_CheckSelfIntersections(ActAPI_ProgressEntry(notifier));
  check->SaveSelfIntersections(true);

  EXPECT_FALSE(check->Perform(Handle(Poly_Triangulation)()));
  EXPECT_TRUE(check->TriangleSet().IsNull());
  // A node index beyond the mesh, and a coordinate that is not a number.
  EXPECT_FALSE(check->Perform(
      testmesh::Make({gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0), gp_Pnt(0, 1, 0)}, {{1, 2, 3}, {1, 2, 4}})));
  EXPECT_FALSE(check->Perform(
      testmesh::Make({gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0), gp_Pnt(0, NAN, 0)}, {{1, 2, 3}})));
  const std::vector<ActAPI_LogMessage> messages = notifier->Messages();
  ASSERT_EQ(messages.size(), 3u);
  for (const ActAPI_LogMessage& message : messages)
    EXPECT_EQ(message.Severity, LogSeverity_Error);

  // A degenerate triangle through a crossing is left out with a warning; the rest is
  // still checked. An empty mesh has nothing to report.
  notifier->Clear();
  const Handle(Poly_Triangulation) withSliver = testmesh::Combine(
      twoCrossings(false), testmesh::Triangle(gp_Pnt(0, 0, -2), gp_Pnt(0, 0, 2), gp_Pnt(0, 0, 3)));
  ASSERT_TRUE(check->Perform(withSliver));
  EXPECT_EQ(check->NbGroups(), 2);
  ASSERT_EQ(notifier->Messages().size(), 1u);
  EXPECT_EQ(notifier->Messages()[0].Severity, LogSeverity_Warning);
  EXPECT_FALSE(check->Perform(new Poly_Triangulation()));
}
