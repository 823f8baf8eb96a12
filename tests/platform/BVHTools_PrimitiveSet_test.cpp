// Progress of the hierarchy build: steps through the whole build, from every building
// thread, and nothing once the tree stands.
#include <BVHTools_BoxSet.hxx>
#include <BVHTools_TriangleSet.hxx>

#include <MeshBuilders.hxx>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

namespace
{

//! The fractions a build reports, in the order they arrive.
struct Recorder
{
  std::mutex          mutex;
  std::vector<double> fractions;

  std::function<void(double)> Callback()
  {
    return [this](const double fraction)
    {
      std::lock_guard<std::mutex> lock(mutex);
      fractions.push_back(fraction);
    };
  }
};

} // namespace

// One thread: the fractions rise step by step through the build to its end, about one step
// per 4096 boxes or swaps, and queries on the finished tree report nothing.
TEST(BVHTools_PrimitiveSet, BuildReportsRisingFractionsThenStaysQuiet)
{
  const Handle(Poly_Triangulation) mesh = testmesh::Sphere(1.0, 400, 200); // 159,600 triangles
  Handle(BVHTools::TriangleSet) set     = new BVHTools::TriangleSet(mesh);
  set->InitBuilder();
  Recorder recorder;
  set->SetBuildProgress(recorder.Callback());
  ASSERT_FALSE(set->BVH().IsNull());

  const std::vector<double> built = recorder.fractions;
  ASSERT_GE(built.size(), 100u);
  EXPECT_TRUE(std::is_sorted(built.begin(), built.end()));
  EXPECT_GT(built.front(), 0.0);
  EXPECT_LT(built.front(), 0.02);
  EXPECT_GT(built.back(), 0.8);
  EXPECT_LE(built.back(), 0.9);
  // No jump bigger than a few steps: the progress moves all through the build.
  for (size_t i = 1; i < built.size(); ++i)
  {
    EXPECT_LT(built[i] - built[i - 1], 0.05) << i;
  }

  for (int i = 0; i < set->Size(); i += 4096)
  {
    set->Box(i);
  }
  EXPECT_EQ(recorder.fractions.size(), built.size());
}

// Two threads and the box set: every report is a fraction of the build, and together they
// cover it.
TEST(BVHTools_PrimitiveSet, ParallelBoxSetBuildReportsFromItsThreads)
{
  std::vector<BVHTools::BoxData> boxes;
  for (int i = 0; i < 200000; ++i)
  {
    const double x = (i % 457) * 0.1, y = (i / 457 % 311) * 0.1, z = i / (457 * 311) * 0.1;
    boxes.push_back({x, y, z, x + 0.05, y + 0.05, z + 0.05, i});
  }
  Handle(BVHTools::BoxSet) set = new BVHTools::BoxSet(boxes);
  set->SetNbThreads(2);
  set->InitBuilder();
  Recorder recorder;
  set->SetBuildProgress(recorder.Callback());
  ASSERT_FALSE(set->BVH().IsNull());
  ASSERT_GE(recorder.fractions.size(), 100u);
  for (const double fraction : recorder.fractions)
  {
    EXPECT_TRUE(fraction > 0.0 && fraction <= 0.9) << fraction;
  }
  EXPECT_GT(*std::max_element(recorder.fractions.begin(), recorder.fractions.end()), 0.8);
}

// A stop requested half way, on one thread and on two: the build gives up at its next step,
// leaves an empty tree, and the next BVH() builds the same tree as a build never stopped.
TEST(BVHTools_PrimitiveSet, StoppedBuildLeavesAnEmptyTreeAndBuildsAgain)
{
  const Handle(Poly_Triangulation) mesh   = testmesh::Sphere(1.0, 400, 200);
  Handle(BVHTools::TriangleSet) reference = new BVHTools::TriangleSet(mesh);
  reference->InitBuilder();
  const int nbNodes = reference->BVH()->Length();
  for (const int nbThreads : {1, 2})
  {
    SCOPED_TRACE(nbThreads);
    Handle(BVHTools::TriangleSet) set = new BVHTools::TriangleSet(mesh);
    set->SetNbThreads(nbThreads);
    set->InitBuilder();
    std::atomic<int> nbPolls{0};
    std::atomic<int> nbPollsAfterStop{0};
    set->SetBuildStop(
        [&]()
        {
          const bool isStop = ++nbPolls > 60;
          nbPollsAfterStop += isStop ? 1 : 0;
          return isStop;
        });
    EXPECT_EQ(0, set->BVH()->Length());
    EXPECT_TRUE(set->IsBuildStopped());
    EXPECT_LE(nbPollsAfterStop.load(), nbThreads); // no step after the stop but one per thread

    set->SetBuildStop({});
    EXPECT_EQ(nbNodes, set->BVH()->Length());
    EXPECT_FALSE(set->IsBuildStopped());
    for (int i = 0; i < set->Size(); i += 997)
    {
      const int* nodes = set->Nodes(i);
      EXPECT_TRUE(nodes[0] != nodes[1] && nodes[1] != nodes[2]);
    }
  }
}
