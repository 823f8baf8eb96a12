// The edge cost queue against vtkPriorityQueue, and the per-point edge table.
#include <algoMesh_EdgeCostQueue.hxx>
#include <algoMesh_EdgeTable.hxx>

#include <vtkPriorityQueue.h>
#include <vtkSmartPointer.h>

#include <gtest/gtest.h>

#include <random>

TEST(algoMesh_EdgeCostQueue, PopsInTheOrderOfVtkPriorityQueueTiesIncluded)
{
  // Random insertions, removals by id and pops over few distinct costs, so that most
  // comparisons are ties and any difference in how they are broken shows.
  for (int seed = 0; seed < 200; ++seed)
  {
    SCOPED_TRACE(seed);
    std::mt19937                      random(seed);
    vtkSmartPointer<vtkPriorityQueue> peer = vtkSmartPointer<vtkPriorityQueue>::New();
    algoMesh_EdgeCostQueue            queue;
    const int                         nbIds    = 20 + seed;
    const unsigned                    nbLevels = 1 + seed % 7;
    peer->Allocate(16, 16);
    queue.Reset(16, 4);
    for (int step = 0; step < 3000; ++step)
    {
      const unsigned action = random() % 10;
      if (action < 5)
      {
        const int    id   = static_cast<int>(random() % nbIds);
        const double cost = static_cast<double>(random() % nbLevels);
        peer->Insert(cost, id);
        queue.Insert(cost, id);
      }
      else if (action < 7)
      {
        const int id = static_cast<int>(random() % nbIds);
        peer->DeleteId(id);
        queue.DeleteId(id);
      }
      else
      {
        double          peerCost = 0.0, cost = 0.0;
        const vtkIdType expected = peer->Pop(0, peerCost);
        ASSERT_EQ(queue.Pop(cost), expected) << "step " << step;
        if (expected >= 0)
        {
          ASSERT_EQ(cost, peerCost);
        }
      }
      ASSERT_EQ(queue.Size(), peer->GetNumberOfItems());
    }
  }
}

TEST(algoMesh_EdgeTable, IdsFollowInsertionAcrossGrowthAndForgetting)
{
  algoMesh_EdgeTable table;
  table.Reset(12, {2}, 4); // point 0 expects two edges and gets nine
  for (int other = 1; other <= 9; ++other)
  {
    EXPECT_EQ(table.Add(other, 0), other - 1); // either order, next id
  }
  EXPECT_EQ(table.Add(0, 7), 6); // present: same id
  EXPECT_EQ(table.Add(10, 11), 9);
  EXPECT_EQ(table.Key(9), std::make_pair(10, 11));
  EXPECT_EQ(table.Find(11, 10), 9);
  EXPECT_EQ(table.Find(1, 2), -1);

  table.ForgetEdge(0, 5);
  EXPECT_EQ(table.Find(0, 5), -1);
  table.ForgetPoint(10);
  EXPECT_EQ(table.Find(10, 11), -1);
  EXPECT_EQ(table.Key(4), std::make_pair(5, 0)); // readable after dropping, in the order added
  EXPECT_EQ(table.Key(6), std::make_pair(7, 0)); // found again: the first order stays
  for (int other = 1; other <= 9; ++other)
  {
    EXPECT_EQ(table.Find(0, other), other == 5 ? -1 : other - 1);
  }
  EXPECT_EQ(table.AddNew(5, 0), 10);
  EXPECT_EQ(table.Find(0, 5), 10);
}
