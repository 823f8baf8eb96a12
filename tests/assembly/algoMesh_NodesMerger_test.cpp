#include <algoMesh_NodesMerger.hxx>

#include <NCollection_CellFilter.hxx>
#include <NCollection_IncAllocator.hxx>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <algorithm>
#include <random>

using quorin::algoMesh_NodesMerger;

namespace
{
const double TOL = 1.0e-7;

// Brute-force reference: the first stored node in the order the cell grid visits them
// (z, y, x cell ascending; most recent first inside a cell) within the tolerance.
std::vector<int> referenceMerge(const std::vector<gp_Pnt>& points, const double tol)
{
  auto                cellOf = [tol](const double v) { return static_cast<long>(v / tol); };
  std::vector<gp_Pnt> nodes;
  std::vector<int>    indices;
  for (const gp_Pnt& p : points)
  {
    int  best = 0;
    long bestKey[4]{};
    for (int k = static_cast<int>(nodes.size()); k >= 1; --k)
    {
      const gp_Pnt& n = nodes[k - 1];
      if (tol * tol < p.SquareDistance(n))
      {
        continue;
      }
      // Visiting order key: z cell, y cell, x cell, then newer first (k descending).
      const long key[4] = {cellOf(n.Z()), cellOf(n.Y()), cellOf(n.X()), -k};
      if (best == 0 || std::lexicographical_compare(key, key + 4, bestKey, bestKey + 4))
      {
        best = k;
        std::copy(key, key + 4, bestKey);
      }
    }
    if (best == 0)
    {
      nodes.push_back(p);
      best = static_cast<int>(nodes.size());
    }
    indices.push_back(best);
  }
  return indices;
}

// The kernel's cell filter as the merger's reference: each point takes the first stored
// node the filter reports within the tolerance, or becomes a new node.
struct FirstCandidate : public NCollection_CellFilter_InspectorXYZ
{
  typedef int Target;

  const std::vector<gp_XYZ>* nodes = nullptr;
  gp_XYZ                     query;
  double                     sqTolerance = 0.0;
  int                        found       = 0;

  NCollection_CellFilter_Action Inspect(const int target)
  {
    if (found == 0 && sqTolerance >= ((*nodes)[target - 1] - query).SquareModulus())
    {
      found = target;
    }
    return CellFilter_Keep;
  }
  static bool IsEqual(int a, int b) { return a == b; }
};

std::vector<int> cellFilterMerge(const std::vector<gp_Pnt>& points, const double tol)
{
  NCollection_CellFilter<FirstCandidate> filter(tol, new NCollection_IncAllocator(24600));
  std::vector<gp_XYZ>                    nodes;
  std::vector<int>                       indices;
  const gp_XYZ                           shift(tol, tol, tol);
  for (const gp_Pnt& p : points)
  {
    FirstCandidate inspector;
    inspector.nodes       = &nodes;
    inspector.query       = p.XYZ();
    inspector.sqTolerance = tol * tol;
    filter.Inspect(p.XYZ() - shift, p.XYZ() + shift, inspector);
    if (inspector.found == 0)
    {
      nodes.push_back(p.XYZ());
      inspector.found = static_cast<int>(nodes.size());
      filter.Add(inspector.found, p.XYZ());
    }
    indices.push_back(inspector.found);
  }
  return indices;
}
} // namespace

TEST(algoMesh_NodesMerger, RepeatedPointsBesideCellBoundariesMatchKernelCellFilter)
{
  // Points a tolerance or half of one apart, a few units in the last place off the cell
  // boundaries and around zero, where rounding decides the inspected range; each one comes
  // again later, so that the shortcut for a point equal to a stored node is taken, and
  // must answer what the full look-up would.
  std::mt19937                    random(3);
  std::uniform_int_distribution<> half(-4, 4), ulps(-3, 3);
  for (const double tol : {1.0e-7, 0.1, 1.0 / 3.0})
  {
    auto coordinate = [&]()
    {
      double value = half(random) * 0.5 * tol;
      for (int step = ulps(random); step != 0; step += step > 0 ? -1 : 1)
      {
        value = std::nextafter(value, step > 0 ? 1.0e300 : -1.0e300);
      }
      return value;
    };
    std::vector<gp_Pnt> points;
    for (int k = 0; k < 3000; ++k)
    {
      points.emplace_back(coordinate(), coordinate(), coordinate());
    }
    std::vector<gp_Pnt> again = points;
    std::shuffle(again.begin(), again.end(), random);
    points.insert(points.end(), again.begin(), again.end());

    algoMesh_NodesMerger merger(tol);
    merger.Perform(points);
    EXPECT_EQ(cellFilterMerge(points, tol), merger.Indices()) << "tol " << tol;
  }
}

TEST(algoMesh_NodesMerger, FirstPointIsNewAndRepeatedPointMerges)
{
  algoMesh_NodesMerger merger;
  int                  index = 0;
  EXPECT_TRUE(merger.Perform(gp_Pnt(1, 2, 3), index));
  EXPECT_EQ(1, index);
  EXPECT_FALSE(merger.Perform(gp_Pnt(1, 2, 3), index));
  EXPECT_EQ(1, index);
  EXPECT_EQ(1, merger.NbNodes());
  EXPECT_EQ((std::vector<int>{1, 1}), merger.Indices());
}

TEST(algoMesh_NodesMerger, DistanceEqualToToleranceMergesAndBeyondDoesNot)
{
  // Tolerance 0.5 and coordinates exactly representable, so the distance is exactly 0.5.
  algoMesh_NodesMerger merger(0.5);
  int                  index = 0;
  merger.Perform(gp_Pnt(0, 0, 0), index);
  EXPECT_FALSE(merger.Perform(gp_Pnt(0.5, 0, 0), index)); // at the tolerance: merged
  EXPECT_EQ(1, index);
  EXPECT_TRUE(merger.Perform(gp_Pnt(0, 0, std::nextafter(0.5, 1.0)), index)); // beyond
  EXPECT_EQ(2, index);
}

TEST(algoMesh_NodesMerger, MergingIsNotTransitive)
{
  // |ab| = |bc| = 0.8 tol: b joins a, c is compared with a only and stays apart.
  algoMesh_NodesMerger merger;
  merger.Perform({gp_Pnt(0, 0, 0), gp_Pnt(0.8 * TOL, 0, 0), gp_Pnt(1.6 * TOL, 0, 0)});
  EXPECT_EQ((std::vector<int>{1, 1, 2}), merger.Indices());
  EXPECT_EQ(2, merger.NbNodes());
}

TEST(algoMesh_NodesMerger, BatchStartsOverAndIncrementalContinues)
{
  algoMesh_NodesMerger merger;
  merger.Perform(std::vector<gp_Pnt>());
  EXPECT_TRUE(merger.Nodes().empty());
  EXPECT_TRUE(merger.Indices().empty());
  EXPECT_FALSE(merger.IsLastPointNew());

  const std::vector<gp_Pnt> points = {gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0), gp_Pnt(0, 0, 0)};
  merger.Perform(points);
  const std::vector<int> first = merger.Indices();
  merger.Perform(points);
  EXPECT_EQ(first, merger.Indices());
  EXPECT_EQ((std::vector<int>{1, 2, 1}), first);

  // Incremental calls number after the batch's nodes and append to its indices.
  int index = 0;
  EXPECT_TRUE(merger.Perform(gp_Pnt(2, 0, 0), index));
  EXPECT_EQ(3, index);
  EXPECT_FALSE(merger.Perform(gp_Pnt(1, 0, 0), index));
  EXPECT_EQ(2, index);
  EXPECT_EQ((std::vector<int>{1, 2, 1, 3, 2}), merger.Indices());

  merger.Clear();
  EXPECT_EQ(0, merger.NbNodes());
  EXPECT_TRUE(merger.Perform(gp_Pnt(2, 0, 0), index));
  EXPECT_EQ(1, index);
}

TEST(algoMesh_NodesMerger, FirstCandidateInCellOrderWinsNotTheNearest)
{
  // Two stored nodes 1.5 tol apart in x, both within tol of the query. They lie in
  // different z cells; the one in the lower z cell is visited first and wins although the
  // other is nearer.
  const double         tol = 1.0;
  algoMesh_NodesMerger merger(tol);
  int                  index = 0;
  merger.Perform(gp_Pnt(10.5, 0.5, 12.2), index); // node 1, z cell 12
  merger.Perform(gp_Pnt(10.5, 0.5, 10.8), index); // node 2, z cell 10
  // Query at z = 11.7: distance 0.5 to node 1, 0.9 to node 2.
  EXPECT_FALSE(merger.Perform(gp_Pnt(10.5, 0.5, 11.7), index));
  EXPECT_EQ(2, index);
}

TEST(algoMesh_NodesMerger, MatchesBruteForceOnRandomClusters)
{
  // Clustered points so that many queries see several candidates.
  std::mt19937                           random(7);
  std::uniform_real_distribution<double> centre(-1.0e-5, 1.0e-5);
  std::uniform_real_distribution<double> jitter(-1.2 * TOL, 1.2 * TOL);
  std::vector<gp_Pnt>                    points;
  for (int c = 0; c < 60; ++c)
  {
    const gp_Pnt base(centre(random), centre(random), centre(random));
    for (int k = 0; k < 20; ++k)
    {
      points.emplace_back(base.X() + jitter(random), base.Y() + jitter(random),
                          base.Z() + jitter(random));
    }
  }
  algoMesh_NodesMerger merger;
  merger.Perform(points);
  EXPECT_EQ(referenceMerge(points, TOL), merger.Indices());

  // Appending in chunks of any size continues exactly like point-by-point calls.
  algoMesh_NodesMerger chunked;
  for (size_t first = 0; first < points.size(); first += 37)
  {
    chunked.Append(points.data() + first, std::min<size_t>(37, points.size() - first));
  }
  EXPECT_EQ(merger.Indices(), chunked.Indices());
  EXPECT_EQ(merger.NbNodes(), chunked.NbNodes());

  // A copy continues exactly like the original.
  algoMesh_NodesMerger copy = merger;
  for (int k = 0; k < 200; ++k)
  {
    const gp_Pnt p = points[static_cast<size_t>(k) * 5 % points.size()].Translated(
        gp_Vec(jitter(random), jitter(random), jitter(random)));
    int a = 0, b = 0;
    EXPECT_EQ(merger.Perform(p, a), copy.Perform(p, b));
    EXPECT_EQ(a, b);
  }
}

TEST(algoMesh_NodesMerger, BadToleranceAndNonFinitePointsAreHarmless)
{
  algoMesh_NodesMerger zero(0.0);
  EXPECT_EQ(TOL, zero.Tolerance());
  algoMesh_NodesMerger nan(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(TOL, nan.Tolerance());

  // Non-finite points never merge; huge ones fold into the grid without harm.
  const double         inf = std::numeric_limits<double>::infinity();
  algoMesh_NodesMerger merger;
  merger.Perform({gp_Pnt(inf, 0, 0), gp_Pnt(inf, 0, 0),
                  gp_Pnt(std::numeric_limits<double>::quiet_NaN(), 0, 0), gp_Pnt(1e300, 0, 0),
                  gp_Pnt(1e300, 0, 0), gp_Pnt(-1e300, -1e300, 1e300)});
  EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 4, 5}), merger.Indices());
}
