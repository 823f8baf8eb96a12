// The compact hierarchy's invariants: every triangle in exactly one leaf, float boxes that
// contain their subtree's corners exactly, unused child slots that no search enters, and the
// build on runs of equal codes.
#include <BVHTools_NearestTree.hxx>

#include <MeshBuilders.hxx>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <utility>

namespace
{

// Walks the tree and checks its invariants against the set it was built from.
void expectWellFormed(const Handle(BVHTools::TriangleSet) & set, const int nbThreads = 1)
{
  const BVHTools::NearestTree tree(set, nbThreads);
  ASSERT_EQ(tree.NbTriangles(), set->Size());

  // Identifiers are the set's, each once, with the set's corners.
  std::vector<int> setPosition(static_cast<size_t>(set->Size() + 1), -1);
  for (int i = 0; i < set->Size(); ++i)
  {
    setPosition[set->Id(i)] = i;
  }
  for (int k = 0; k < tree.NbTriangles(); ++k)
  {
    const int source = setPosition.at(tree.Id(k));
    ASSERT_GE(source, 0);
    double corners[9];
    set->Corners(source, corners);
    EXPECT_TRUE(std::equal(corners, corners + 9, tree.Corners(k))) << "position " << k;
  }

  std::vector<int> seen(static_cast<size_t>(tree.NbTriangles()), 0);
  int              deepest = 0;
  // Marks the leaf's triangles and checks that the box holds each corner.
  const auto checkLeaf =
      [&](const int first, const int count, const float* lower, const float* upper)
  {
    EXPECT_GE(count, 1);
    EXPECT_LE(count, BVHTools::NearestTree::LeafSize());
    for (int k = first; k < first + count; ++k)
    {
      ++seen.at(k);
      for (int c = 0; c < 9; ++c)
      {
        EXPECT_LE(lower[c % 3], tree.Corners(k)[c]);
        EXPECT_GE(upper[c % 3], tree.Corners(k)[c]);
      }
    }
  };
  // Answers the positions under an inner node, checking that each child box holds them.
  std::function<std::pair<int, int>(int, int)> walk = [&](const int index, const int depth)
  {
    deepest                                  = std::max(deepest, depth);
    const BVHTools::NearestTree::Node& node  = tree.Nodes().at(index);
    int                                first = tree.NbTriangles(), last = -1;
    int                                nbUsed = 0;
    for (int side = 0; side < BVHTools::NearestTree::Width(); ++side)
    {
      if (node.count[side] < 0)
      {
        // An unused slot has an empty box, which no distance can reach.
        EXPECT_GT(node.lower[0][side], node.upper[0][side]);
        continue;
      }
      ++nbUsed;
      const float lower[3] = {node.lower[0][side], node.lower[1][side], node.lower[2][side]};
      const float upper[3] = {node.upper[0][side], node.upper[1][side], node.upper[2][side]};
      std::pair<int, int> range{node.child[side], node.child[side] + node.count[side]};
      if (node.count[side] == 0)
      {
        EXPECT_GT(node.child[side], index) << "children follow their parent";
        range = walk(node.child[side], depth + 1);
      }
      else
      {
        checkLeaf(node.child[side], node.count[side], lower, upper);
      }
      for (int k = range.first; k < range.second; ++k)
      {
        for (int c = 0; c < 9; ++c)
        {
          EXPECT_LE(lower[c % 3], tree.Corners(k)[c]);
          EXPECT_GE(upper[c % 3], tree.Corners(k)[c]);
        }
      }
      first = std::min(first, range.first);
      last  = std::max(last, range.second);
    }
    EXPECT_GE(nbUsed, 2) << "an inner node splits its run";
    return std::make_pair(first, last);
  };
  if (tree.Nodes().empty())
  {
    const float lower[3] = {-1e30f, -1e30f, -1e30f}, upper[3] = {1e30f, 1e30f, 1e30f};
    checkLeaf(0, tree.NbTriangles(), lower, upper);
  }
  else
  {
    const std::pair<int, int> all = walk(0, 1);
    EXPECT_EQ(all, std::make_pair(0, tree.NbTriangles())) << "subtrees are position runs";
  }
  EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), tree.NbTriangles()) << "once per leaf";
  EXPECT_LE(deepest, BVHTools::NearestTree::MaxDepth());
}

} // namespace

TEST(BVHTools_NearestTree, EveryTriangleInOneLeafUnderBoxesThatHoldIt)
{
  // Coordinates that floats cannot hold exactly (the boxes must be rounded outwards), a
  // mesh of one leaf, and a flat mesh (one axis without extent).
  expectWellFormed(new BVHTools::TriangleSet(testmesh::Sphere(1.0 / 3.0, 40, 20)));
  expectWellFormed(new BVHTools::TriangleSet(testmesh::Tetra()));
  Handle(Poly_Triangulation) flat = new Poly_Triangulation(121, 200, false);
  for (int j = 0; j <= 10; ++j)
  {
    for (int i = 0; i <= 10; ++i)
    {
      flat->SetNode(1 + i + 11 * j, gp_Pnt(0.1 * i, 0.7 * j, 0.0));
    }
  }
  int t = 1;
  for (int j = 0; j < 10; ++j)
  {
    for (int i = 0; i < 10; ++i)
    {
      const int a = 1 + i + 11 * j;
      flat->SetTriangle(t++, Poly_Triangle(a, a + 1, a + 12));
      flat->SetTriangle(t++, Poly_Triangle(a, a + 12, a + 11));
    }
  }
  expectWellFormed(new BVHTools::TriangleSet(flat));
}

TEST(BVHTools_NearestTree, RunsOfEqualCodesSplitInHalves)
{
  // 1,000 copies of one triangle all get the same code: the build must still end in leaves
  // of at most four (halving the run), not recurse forever or make one huge leaf.
  Handle(Poly_Triangulation) copies = new Poly_Triangulation(3, 1000, false);
  copies->SetNode(1, gp_Pnt(0, 0, 0));
  copies->SetNode(2, gp_Pnt(1, 0, 0));
  copies->SetNode(3, gp_Pnt(0, 1, 0));
  for (int t = 1; t <= 1000; ++t)
  {
    copies->SetTriangle(t, Poly_Triangle(1, 2, 3));
  }
  expectWellFormed(new BVHTools::TriangleSet(copies));
  // And an empty set gives an empty tree.
  EXPECT_TRUE(BVHTools::NearestTree(new BVHTools::TriangleSet(new Poly_Triangulation())).IsEmpty());
  EXPECT_TRUE(BVHTools::NearestTree(nullptr).IsEmpty());
}

TEST(BVHTools_NearestTree, ParallelBuildGivesTheSameTree)
{
  // 80,000 triangles: several blocks for the parallel radix sort and passes, and subtrees
  // below the root built apart and renumbered.
  const Handle(BVHTools::TriangleSet) set =
      new BVHTools::TriangleSet(testmesh::Sphere(1.0 / 3.0, 400, 100));
  const BVHTools::NearestTree serial(set, 1), parallel(set, 4);
  ASSERT_EQ(parallel.Nodes().size(), serial.Nodes().size());
  EXPECT_EQ(std::memcmp(parallel.Nodes().data(), serial.Nodes().data(),
                        serial.Nodes().size() * sizeof(BVHTools::NearestTree::Node)),
            0);
  for (int k = 0; k < serial.NbTriangles(); ++k)
  {
    ASSERT_EQ(parallel.Id(k), serial.Id(k)) << "position " << k;
  }
  expectWellFormed(set, 4);
}

TEST(BVHTools_NearestTree, HandedOverSetIsReleasedAfterTheCopy)
{
  // A set handed over is let go by the tree (only the test's own reference is left), and
  // the tree is the one built from a shared set.
  const Handle(BVHTools::TriangleSet) set =
      new BVHTools::TriangleSet(testmesh::Sphere(1.0, 40, 20));
  const BVHTools::NearestTree shared(set, 2);
  EXPECT_EQ(1, set->GetRefCount());
  Handle(BVHTools::TriangleSet) handed = set;
  const BVHTools::NearestTree owned(std::move(handed), 2);
  EXPECT_TRUE(handed.IsNull());
  EXPECT_EQ(1, set->GetRefCount());
  ASSERT_EQ(shared.Nodes().size(), owned.Nodes().size());
  EXPECT_EQ(std::memcmp(shared.Nodes().data(), owned.Nodes().data(),
                        shared.Nodes().size() * sizeof(BVHTools::NearestTree::Node)),
            0);
  ASSERT_EQ(shared.NbTriangles(), owned.NbTriangles());
  for (int k = 0; k < shared.NbTriangles(); ++k)
  {
    EXPECT_EQ(shared.Id(k), owned.Id(k));
    EXPECT_TRUE(std::equal(shared.Corners(k), shared.Corners(k) + 9, owned.Corners(k)));
  }
}
