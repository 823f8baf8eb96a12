#include <algoMesh_CellGrid.hxx>

#include <gp_XY.hxx>
#include <gp_XYZ.hxx>

#include <NCollection_CellFilter.hxx>
#include <NCollection_IncAllocator.hxx>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

using quorin::algoMesh_CellGrid;

namespace
{
// The kernel's cell filter with an inspector that records every candidate within the
// tolerance in the order the filter reports them: the reference for the grid's answers.
struct RecordingInspector : public NCollection_CellFilter_InspectorXYZ
{
  typedef int Target;

  const std::vector<gp_XYZ>* points = nullptr;
  gp_XYZ                     query;
  double                     sqTolerance = 0.0;
  std::vector<int>           found;

  NCollection_CellFilter_Action Inspect(const int target)
  {
    if (sqTolerance >= ((*points)[target] - query).SquareModulus())
    {
      found.push_back(target);
    }
    return CellFilter_Keep;
  }
  static bool IsEqual(int a, int b) { return a == b; }
};

// Adds every point to both structures, then checks first and last candidates of queries.
// The grid's table is sized for `reserved` points (all of them by default) and grows from
// there, so that any table size answers as the kernel's filter.
void expectSameAsCellFilter(const std::vector<gp_XYZ>& stored,
                            const std::vector<gp_XYZ>& queries,
                            const double               tol,
                            const size_t               reserved = size_t(-1))
{
  NCollection_CellFilter<RecordingInspector> filter(tol, new NCollection_IncAllocator(24600));
  algoMesh_CellGrid                          grid(tol);
  grid.Reserve(std::min(reserved, stored.size()));
  for (size_t i = 0; i < stored.size(); ++i)
  {
    filter.Add(static_cast<int>(i), stored[i]);
    grid.Add(stored[i], static_cast<int>(i));
  }
  for (const gp_XYZ& q : queries)
  {
    RecordingInspector inspector;
    inspector.points      = &stored;
    inspector.query       = q;
    inspector.sqTolerance = tol * tol;
    const gp_XYZ shift(tol, tol, tol);
    filter.Inspect(q - shift, q + shift, inspector);
    grid.Prefetch(q, tol); // a hint only
    const int first = inspector.found.empty() ? -1 : inspector.found.front();
    const int last  = inspector.found.empty() ? -1 : inspector.found.back();
    ASSERT_EQ(first, grid.FindFirst(q, tol)) << q.X() << " " << q.Y() << " " << q.Z();
    ASSERT_EQ(last, grid.FindLast(q, tol)) << q.X() << " " << q.Y() << " " << q.Z();
  }
}

std::vector<gp_XYZ>
cloud(std::mt19937& random, const gp_XYZ& centre, const double spread, const int count)
{
  std::uniform_real_distribution<double> offset(-spread, spread);
  std::vector<gp_XYZ>                    points;
  for (int i = 0; i < count; ++i)
  {
    points.push_back(centre + gp_XYZ(offset(random), offset(random), offset(random)));
  }
  return points;
}
} // namespace

TEST(algoMesh_CellGrid, FirstAndLastCandidatesMatchKernelCellFilter)
{
  // Dense clouds (several candidates per query) around the origin, where cell 0 is twice
  // as wide, and far from it.
  std::mt19937 random(11);
  const double tol = 1.0e-7;
  for (const gp_XYZ& centre :
       {gp_XYZ(0, 0, 0), gp_XYZ(3.0e-6, -2.0e-6, 1.0e-6), gp_XYZ(-12.5, 40.25, 7.0)})
  {
    const std::vector<gp_XYZ> stored  = cloud(random, centre, 4.0 * tol, 300);
    const std::vector<gp_XYZ> queries = cloud(random, centre, 5.0 * tol, 2000);
    expectSameAsCellFilter(stored, queries, tol);
  }
}

TEST(algoMesh_CellGrid, SpreadPointsMatchKernelCellFilterAtAnyTableSize)
{
  // One point per block, so that the table fills and grows from sizes that are not powers
  // of two, and enough blocks for the filter to be rebuilt with tiles chosen from their
  // spacing; the queries land near stored points (hits) or anywhere (mostly misses).
  std::mt19937              random(5);
  const double              tol    = 1.0e-7;
  const std::vector<gp_XYZ> stored = cloud(random, gp_XYZ(0.5, -0.25, 2.0), 1.0e-3, 6000);
  std::vector<gp_XYZ>       queries;
  std::uniform_real_distribution<double> nudge(-0.7 * tol, 0.7 * tol);
  for (const gp_XYZ& point : stored)
  {
    queries.push_back(point + gp_XYZ(nudge(random), nudge(random), nudge(random)));
  }
  const std::vector<gp_XYZ> anywhere = cloud(random, gp_XYZ(0.5, -0.25, 2.0), 1.0e-3, 500);
  queries.insert(queries.end(), anywhere.begin(), anywhere.end());
  for (const size_t reserved : {size_t(0), size_t(97), size_t(1001), stored.size()})
  {
    expectSameAsCellFilter(stored, queries, tol, reserved);
  }
}

TEST(algoMesh_CellGrid, WrappedCellCoordinatesMatchKernelCellFilter)
{
  // Coordinate / tolerance beyond the int range wraps; near the wrap the inspected range
  // can be empty. The grid must reproduce that, not "fix" it.
  std::mt19937 random(5);
  const double tol  = 1.0e-7;
  const double wrap = 2147483647.0 * tol; // coordinate where x / tol reaches INT_MAX
  for (const gp_XYZ& centre : {gp_XYZ(wrap, 0, 0), gp_XYZ(0, -wrap, 0), gp_XYZ(0, 0, 3 * wrap),
                               gp_XYZ(1000.0, -1000.0, 500.0)})
  {
    const std::vector<gp_XYZ> stored  = cloud(random, centre, 3.0 * tol, 200);
    const std::vector<gp_XYZ> queries = cloud(random, centre, 4.0 * tol, 1000);
    expectSameAsCellFilter(stored, queries, tol);
  }
}

TEST(algoMesh_CellGrid, PointsOnAndBesideCellBoundariesMatchKernelCellFilter)
{
  // Coordinates that are whole multiples of the cell size, and their neighbours a few
  // units in the last place away, sit where a cheaper cell computation could truncate to
  // the other side of a boundary. Cell sizes whose inverse is inexact are the risky ones.
  for (const double tol : {1.0e-7, 0.1, 0.3, 1.0 / 3.0})
  {
    std::vector<gp_XYZ> points;
    for (int k = -6; k <= 6; ++k)
    {
      double value = k * tol;
      for (int step = 0; step < 3; ++step)
      {
        value = std::nextafter(value, -1.0e300);
      }
      for (int step = 0; step < 7; ++step, value = std::nextafter(value, 1.0e300))
      {
        points.push_back(gp_XYZ(value, 0.5 * k * tol, value));
        points.push_back(gp_XYZ(-value, value, 2.0 * tol));
      }
    }
    expectSameAsCellFilter(points, points, tol);
  }
}

TEST(algoMesh_CellGrid, ClearForgetsPointsAndNonFinitePointsAreIgnored)
{
  algoMesh_CellGrid grid(1.0);
  grid.Add(gp_XYZ(0, 0, 0), 7);
  grid.Add(gp_XYZ(std::numeric_limits<double>::infinity(), 0, 0), 8);
  EXPECT_EQ(1, grid.NbPoints());
  EXPECT_EQ(7, grid.FindFirst(gp_XYZ(0.5, 0.5, 0.5), 1.0));
  EXPECT_EQ(-1, grid.FindFirst(gp_XYZ(std::nan(""), 0, 0), 1.0));
  grid.Clear();
  EXPECT_EQ(-1, grid.FindFirst(gp_XYZ(0, 0, 0), 1.0));
}

TEST(algoMesh_CellGrid, ManyBlocksSurviveTableGrowth)
{
  // Points one unit apart with tolerance 0.1: every point is its own node, thousands of
  // blocks force the table to grow several times.
  algoMesh_CellGrid grid(0.1);
  int               id = 0;
  for (int i = -10; i < 10; ++i)
    for (int j = -10; j < 10; ++j)
      for (int k = -10; k < 10; ++k)
        grid.Add(gp_XYZ(i, j, k), id++);
  id = 0;
  for (int i = -10; i < 10; ++i)
    for (int j = -10; j < 10; ++j)
      for (int k = -10; k < 10; ++k)
        ASSERT_EQ(id++, grid.FindFirst(gp_XYZ(i + 0.05, j, k - 0.05), 0.1));
}
