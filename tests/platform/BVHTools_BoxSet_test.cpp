// Box sets walked in pairs with pruning, against all pairs.
#include <BVHTools_BoxSet.hxx>
#include <BVHTools_Iterator2.hxx>

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace
{

std::vector<BVHTools::BoxData> randomBoxes(const int count, const unsigned seed)
{
  std::mt19937                           random(seed);
  std::uniform_real_distribution<double> coord(0.0, 10.0), size(0.0, 1.0);
  std::vector<BVHTools::BoxData>         boxes;
  for (int i = 0; i < count; ++i)
  {
    BVHTools::BoxData b;
    b.minX = coord(random), b.minY = coord(random), b.minZ = coord(random);
    b.maxX = b.minX + size(random), b.maxY = b.minY + size(random), b.maxZ = b.minZ + size(random);
    b.index = i;
    boxes.push_back(b);
  }
  return boxes;
}

BVH_Vec3d lo(const BVHTools::BoxData& b)
{
  return BVH_Vec3d(b.minX, b.minY, b.minZ);
}
BVH_Vec3d hi(const BVHTools::BoxData& b)
{
  return BVH_Vec3d(b.maxX, b.maxY, b.maxZ);
}

} // namespace

TEST(BVHTools_BoxSet, PrunedPairWalkFindsExactlyTheOverlappingBoxes)
{
  const std::vector<BVHTools::BoxData> first = randomBoxes(500, 1), second = randomBoxes(400, 2);
  std::set<std::pair<int, int>>        expected;
  for (const auto& a : first)
    for (const auto& b : second)
      if (!BVHTools::IsOut(lo(a), hi(a), lo(b), hi(b), 1e-7))
        expected.emplace(a.index, b.index);
  ASSERT_FALSE(expected.empty());

  Handle(BVHTools::BoxSet) setA = new BVHTools::BoxSet(first);
  Handle(BVHTools::BoxSet) setB = new BVHTools::BoxSet(second);
  setA->SetNbThreads(2);
  setA->InitBuilder();
  const auto& treeA = setA->BVH();
  const auto& treeB = setB->BVH();

  std::set<std::pair<int, int>> found;
  int                           nbVisits = 0;
  for (BVHTools::Iterator2 it(treeA, treeB); it.More(); it.Next())
  {
    ++nbVisits;
    if (treeA->IsOuter(it.First()) && treeB->IsOuter(it.Second()))
    {
      for (int i = treeA->BegPrimitive(it.First()); i <= treeA->EndPrimitive(it.First()); ++i)
        for (int j = treeB->BegPrimitive(it.Second()); j <= treeB->EndPrimitive(it.Second()); ++j)
        {
          const auto& a = setA->Element(i);
          const auto& b = setB->Element(j);
          if (!BVHTools::IsOut(lo(a), hi(a), lo(b), hi(b), 1e-7))
            found.emplace(a.index, b.index);
        }
      continue;
    }
    for (int i = 0; i < it.NbFirstChildren(); ++i)
      for (int j = 0; j < it.NbSecondChildren(); ++j)
      {
        const int a = it.FirstChild(i), b = it.SecondChild(j);
        if (BVHTools::IsOut(treeA->MinPoint(a), treeA->MaxPoint(a), treeB->MinPoint(b),
                            treeB->MaxPoint(b), 1e-7))
          it.Prune(i, j);
      }
  }
  EXPECT_EQ(found, expected);
  EXPECT_LT(nbVisits, 500 * 400 / 10); // the pruning keeps the walk far from all pairs
}

TEST(BVHTools_BoxSet, IsOutHonoursTheTolerance)
{
  const BVH_Vec3d a0(0, 0, 0), a1(1, 1, 1), b0(1.5, 0, 0), b1(2, 1, 1);
  EXPECT_TRUE(BVHTools::IsOut(a0, a1, b0, b1, 0.4));
  EXPECT_FALSE(BVHTools::IsOut(a0, a1, b0, b1, 0.5)); // apart by exactly the tolerance
  EXPECT_FALSE(BVHTools::IsOut(a0, a1, a0, a1, 0.0));
}

TEST(BVHTools_BoxSet, InvalidBoxesAreLeftOutAndEmptySetsWalkNothing)
{
  std::vector<BVHTools::BoxData> boxes = randomBoxes(3, 3);
  boxes[1].maxX                        = boxes[1].minX - 1.0;
  boxes[2].minY                        = NAN;
  Handle(BVHTools::BoxSet) set         = new BVHTools::BoxSet(boxes);
  EXPECT_EQ(set->Size(), 1);
  EXPECT_EQ(set->NbRejected(), 2);
  Handle(BVHTools::BoxSet) empty = new BVHTools::BoxSet({});
  EXPECT_FALSE(BVHTools::Iterator2(set->BVH(), empty->BVH()).More());
  EXPECT_FALSE(BVHTools::Iterator2(set->BVH(), nullptr).More());
}
