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

TEST(algoMesh_EdgeTable, IdsFollowInsertionAndForgottenPointsDropOut)
{
  algoMesh_EdgeTable table;
  table.Reset(6, {1, 0, 0, 0, 0, 0}, 4); // point 0 starts with room for one edge
  EXPECT_EQ(table.Add(3, 0), 0);
  EXPECT_EQ(table.Add(0, 4), 1); // the list of point 0 grows
  EXPECT_EQ(table.Add(4, 0), 1); // either order finds the same edge
  EXPECT_EQ(table.Add(2, 5), 2);
  EXPECT_EQ(table.Key(0), std::make_pair(0, 3));
  EXPECT_EQ(table.Find(5, 2), 2);
  EXPECT_EQ(table.Find(1, 2), -1);

  table.ForgetPoint(3);
  EXPECT_EQ(table.Find(0, 4), 1);
  EXPECT_EQ(table.Key(0), std::make_pair(0, 3)); // keys of forgotten edges stay readable
  for (int other = 1; other < 6; ++other)
  {
    if (other != 3 && other != 4)
    {
      table.Add(0, other); // room is made, by purging the forgotten edge first
    }
  }
  EXPECT_EQ(table.Size(), 6);
  EXPECT_EQ(table.Find(0, 5), 5);
  EXPECT_EQ(table.Find(0, 4), 1);
}
