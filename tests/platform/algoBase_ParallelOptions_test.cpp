#include <algoBase_Algorithm.hxx>

#include <gtest/gtest.h>

#include <thread>

namespace
{
class TestAlgorithm : public algoBase_Algorithm
{
public:
  TestAlgorithm() : algoBase_Algorithm(ActAPI_ProgressEntry(), ActAPI_PlotterEntry()) {}
};
} // namespace

TEST(algoBase_ParallelOptions, DefaultsToParallelOnHardwareThreads)
{
  const algoBase_ParallelOptions options;
  const int expected = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  EXPECT_TRUE(options.GetParallelMode());
  EXPECT_EQ(expected, options.GetNbThreads());
}

TEST(algoBase_ParallelOptions, ThreadCountBelowOneIsOne)
{
  algoBase_ParallelOptions options;
  options.SetNbThreads(0);
  EXPECT_EQ(1, options.GetNbThreads());
  options.SetNbThreads(-7);
  EXPECT_EQ(1, options.GetNbThreads());
  options.SetNbThreads(6);
  EXPECT_EQ(6, options.GetNbThreads());
}

TEST(algoBase_Algorithm, NbThreadsForFollowsParallelMode)
{
  Handle(TestAlgorithm) algorithm = new TestAlgorithm();
  algorithm->ChangeParallelOptions().SetNbThreads(5);
  EXPECT_EQ(5, algorithm->NbThreadsFor());
  algorithm->ChangeParallelOptions().SetParallelMode(false);
  EXPECT_EQ(1, algorithm->NbThreadsFor());
  EXPECT_EQ(5, algorithm->GetNbThreads()); // the count itself is kept
}

TEST(algoBase_Algorithm, RegistersItsTypeUnderItsName)
{
  Handle(TestAlgorithm) algorithm = new TestAlgorithm();
  EXPECT_STREQ("algoBase_Algorithm", STANDARD_TYPE(algoBase_Algorithm)->Name());
  EXPECT_EQ(STANDARD_TYPE(ActAPI_IAlgorithm), STANDARD_TYPE(algoBase_Algorithm)->Parent());
  EXPECT_TRUE(algorithm->IsKind(STANDARD_TYPE(ActAPI_IAlgorithm)));
  EXPECT_TRUE(algorithm->GetProgress().Access().IsNull());
}
