// Shrink wrapping of dirty meshes: the envelope's invariants, closeness and cancellation.
#include <SurfWrap_API.hxx>

#include <BVHTools_IntersectMeshMesh.hxx>
#include <BVHTools_ProjectPntMesh.hxx>

#include <MeshBuilders.hxx>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace
{

class CountingNotifier : public SurfWrap_ProgressNotifier
{
public:
  explicit CountingNotifier(const int stopAfter = -1)
      : SurfWrap_ProgressNotifier(""), m_stopAfter(stopAfter)
  {
  }
  void ProcessEvents() override { ++NbEvents; }
  bool IsInterrupted() override { return m_stopAfter >= 0 && ++m_polls > m_stopAfter; }

  std::atomic<int> NbEvents{0};

private:
  int              m_stopAfter;
  std::atomic<int> m_polls{0};
};

Handle(Poly_Triangulation) wrap(const Handle(Poly_Triangulation) & mesh,
                                const double size,
                                const Handle(SurfWrap_ProgressNotifier) & notifier = nullptr,
                                const int nbThreads                                = 2)
{
  Handle(SurfWrap_WrappingSettings) settings = new SurfWrap_WrappingSettings(notifier);
  settings->Size                             = size;
  settings->SetNbThreads(nbThreads);
  settings->AppendRefinementAlgorithm("Algo_Smoothing", Algo_Smoothing::SmoothingComponent_All, 5);
  SurfWrap_API api(notifier);
  api.SetDirtyMesh(mesh);
  return api.PerformWrapping(settings) ? api.GetResultTriangulation() : nullptr;
}

// Largest distance from the nodes of `from` to the surface `to`.
double maxDistance(const Handle(Poly_Triangulation) & from, const Handle(Poly_Triangulation) & to)
{
  BVHTools::ProjectPntMesh projector(new BVHTools::TriangleSet(to));
  double                   worst = 0.0;
  for (int n = 1; n <= from->NbNodes(); ++n)
  {
    int triangle = 0;
    worst        = std::max(worst, projector.Distance(from->Node(n), triangle));
  }
  return worst;
}

void expectCleanEnvelope(const Handle(Poly_Triangulation) & result)
{
  ASSERT_FALSE(result.IsNull());
  EXPECT_TRUE(testmesh::IsClosedAndOriented(result));
  EXPECT_GT(testmesh::SignedVolume(result), 0.0); // turned outwards
  Handle(BVHTools::TriangleSet) set = new BVHTools::TriangleSet(result);
  BVHTools::IntersectMeshMesh crossing(2, set, set, true);
  ASSERT_TRUE(crossing.Perform());
  EXPECT_TRUE(crossing.Result().empty());
}

} // namespace

TEST(SurfWrap_API, SoupOfASphereGivesACleanEnvelopeWithinOneVoxel)
{
  const Handle(Poly_Triangulation) sphere = testmesh::Sphere(1.0, 64, 32);
  const double size                       = 0.08;
  const Handle(Poly_Triangulation) result = wrap(testmesh::Unwelded(sphere), size);
  expectCleanEnvelope(result);
  EXPECT_LT(maxDistance(result, sphere), size);
  EXPECT_LT(maxDistance(sphere, result), size);
  EXPECT_NEAR(testmesh::SignedVolume(result), testmesh::SignedVolume(sphere), 0.03 * 4.19);
}

TEST(SurfWrap_API, OverlappingSelfIntersectingPartsMergeIntoOneEnvelope)
{
  // Two interpenetrating tori and a sphere through them: many crossing triangles.
  Handle(Poly_Triangulation) dirty = testmesh::Combine(
      testmesh::Torus(1.0, 0.3, 48, 16), testmesh::Torus(1.0, 0.3, 48, 16), gp_Vec(0.5, 0.2, 0.1));
  dirty = testmesh::Combine(dirty, testmesh::Sphere(0.5, 24, 12), gp_Vec(0.3, 0.0, 0.0));
  const Handle(Poly_Triangulation) result = wrap(dirty, 0.05);
  expectCleanEnvelope(result);
  EXPECT_LT(maxDistance(result, dirty), 0.05 * std::sqrt(3.0) * 2.0);
}

TEST(SurfWrap_API, OneAndManyThreadsGiveTheSameEnvelope)
{
  const Handle(Poly_Triangulation) soup = testmesh::Unwelded(testmesh::Torus(1.0, 0.3, 48, 16));
  const Handle(Poly_Triangulation) one  = wrap(soup, 0.04, nullptr, 1);
  const Handle(Poly_Triangulation) many = wrap(soup, 0.04, nullptr, 4);
  ASSERT_FALSE(one.IsNull());
  ASSERT_FALSE(many.IsNull());
  ASSERT_EQ(one->NbNodes(), many->NbNodes());
  ASSERT_EQ(one->NbTriangles(), many->NbTriangles());
  for (int n = 1; n <= one->NbNodes(); ++n)
  {
    ASSERT_EQ(one->Node(n).Distance(many->Node(n)), 0.0) << "node " << n;
  }
}

TEST(SurfWrap_API, HoleOfAboutTheSizeIsClosed)
{
  // A sphere missing one quad of two triangles, about 0.1 across.
  const Handle(Poly_Triangulation) sphere = testmesh::Sphere(1.0, 64, 32);
  std::vector<gp_Pnt> nodes;
  for (int n = 1; n <= sphere->NbNodes(); ++n)
  {
    nodes.push_back(sphere->Node(n));
  }
  std::vector<std::array<int, 3>> triangles;
  for (int t = 1; t <= sphere->NbTriangles(); ++t)
  {
    if (t != 1000 && t != 1001)
    {
      int a, b, c;
      sphere->Triangle(t).Get(a, b, c);
      triangles.push_back({a, b, c});
    }
  }
  const Handle(Poly_Triangulation) holed = testmesh::Make(nodes, triangles);
  ASSERT_GT(testmesh::CountEdges(holed).boundary, 0);
  const Handle(Poly_Triangulation) result = wrap(holed, 0.1);
  expectCleanEnvelope(result);
  // Not flooded: the envelope keeps the sphere's volume.
  EXPECT_NEAR(testmesh::SignedVolume(result), testmesh::SignedVolume(sphere), 0.05 * 4.19);
}

TEST(SurfWrap_API, ProgressReachesTheEndAndCancellationStops)
{
  Handle(CountingNotifier) notifier = new CountingNotifier();
  ASSERT_FALSE(wrap(testmesh::Cube(), 0.1, notifier).IsNull());
  EXPECT_DOUBLE_EQ(notifier->GetPosition(), 1.0);
  EXPECT_GT(notifier->NbEvents.load(), 0);

  for (const int stopAfter : {0, 3, 10})
  {
    Handle(CountingNotifier) stopping = new CountingNotifier(stopAfter);
    EXPECT_TRUE(wrap(testmesh::Sphere(1.0, 32, 16), 0.05, stopping).IsNull());
    const std::vector<SurfWrap_Message> messages = stopping->Messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_STREQ(messages.back().Text.ToCString(), "The wrapping was interrupted.");
  }
}

//! Records the position at each counted step, and whether any step came from another thread
//! than the wrapping's caller.
class PositionNotifier : public SurfWrap_ProgressNotifier
{
public:
  PositionNotifier() : SurfWrap_ProgressNotifier(""), m_owner(std::this_thread::get_id()) {}
  void ProcessEvents() override {}
  bool IsInterrupted() override { return false; }
  void Increment() override
  {
    SurfWrap_ProgressNotifier::Increment();
    Positions.push_back(GetPosition());
    IsOnOtherThread = IsOnOtherThread || std::this_thread::get_id() != m_owner;
  }

  std::vector<double> Positions;
  bool                IsOnOtherThread = false;

private:
  std::thread::id m_owner;
};

// The shrinking and each smoothing iteration move the progress in many small steps, all
// counted on the caller's thread, rather than once per phase.
TEST(SurfWrap_API, ShrinkingAndSmoothingMoveTheProgressInSmallSteps)
{
  Handle(PositionNotifier) notifier = new PositionNotifier();
  ASSERT_FALSE(wrap(testmesh::Sphere(1.0, 200, 100), 0.05, notifier).IsNull());
  const std::vector<double>& positions = notifier->Positions;
  EXPECT_FALSE(notifier->IsOnOtherThread);
  ASSERT_FALSE(positions.empty());
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
  EXPECT_DOUBLE_EQ(positions.back(), 1.0);
  // Steps 3 and 4 of 5 (0.4 .. 0.8): the projector, 20 shrinking batches, 5 iterations.
  const long inside = std::count_if(positions.begin(), positions.end(),
                                    [](const double p) { return p > 0.4 && p <= 0.8; });
  EXPECT_GE(inside, 25);
}

TEST(SurfWrap_API, BadSettingsAndInputFailWithAMessage)
{
  Handle(CountingNotifier) notifier = new CountingNotifier();
  EXPECT_TRUE(wrap(testmesh::Cube(), 0.0, notifier).IsNull());
  EXPECT_TRUE(wrap(testmesh::Cube(), std::nan(""), notifier).IsNull());
  EXPECT_TRUE(wrap(new Poly_Triangulation(), 0.1, notifier).IsNull());
  Handle(SurfWrap_WrappingSettings) settings = new SurfWrap_WrappingSettings(notifier);
  settings->Size                             = 0.1;
  settings->SetVoxelizationAlgorithm("Algo_Unknown");
  SurfWrap_API api(notifier);
  api.SetDirtyMesh(testmesh::Cube());
  EXPECT_FALSE(api.PerformWrapping(settings));
  const std::vector<SurfWrap_Message> messages = notifier->Messages();
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_STREQ(messages[0].Text.ToCString(), "The wrapping size must be positive and finite.");
  EXPECT_STREQ(messages[2].Text.ToCString(), "There is no mesh to wrap.");
  EXPECT_STREQ(messages[3].Text.ToCString(), "Unknown wrapping algorithm Algo_Unknown.");
}
