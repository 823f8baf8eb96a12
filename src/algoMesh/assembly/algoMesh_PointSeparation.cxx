// Separation test of a node set: are all nodes more than a distance apart (Chebyshev)?
//
// Each node gets the cell of a uniform grid over the nodes' bounding box, cells at least
// the distance wide and at most 2^16 along an axis, so that two nodes within the distance
// lie in the same cell or in adjacent ones. The packed cell coordinates (z, y, x, 16 bits
// each) are sorted with the node numbers by a least-significant-digit radix sort (four
// passes of 12 bits, passes whose digit is the same for all nodes skipped). In that order
// the cells adjacent to a cell and further on form five runs of consecutive keys: the rest
// of its own row (x + 1), the row y + 1 and the three rows at z + 1; one cursor per run
// moves forward through the sorted keys as the sweep does, and only nodes in those runs
// are compared. Cost: O(n) for the sort and the sweep, plus the comparisons of nodes that
// share a neighbourhood, which are bounded: when they exceed a few per node the test gives
// up and answers false.
#include <algoMesh_PointSeparation.hxx>

#include <algoMesh_MemoryAdvice.hxx>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

using namespace quorin;

namespace
{
// Bits of one cell coordinate in the packed key, and the largest coordinate used: cells are
// numbered from 1 so that a neighbour's coordinate (one less or one more) never borrows
// from or carries into the next field.
constexpr int      THE_AXIS_BITS = 16;
constexpr uint64_t THE_MAX_CELL  = (uint64_t(1) << THE_AXIS_BITS) - 2;

// The radix sort's digits: 4 x 12 bits cover the 48 bits of a key.
constexpr int THE_DIGIT_BITS = 12;
constexpr int THE_NB_DIGITS  = 4;
constexpr int THE_NB_BUCKETS = 1 << THE_DIGIT_BITS;

// Cells are this much wider than the distance, so that rounding in the cell computation
// cannot put a close pair two cells apart.
constexpr double THE_CELL_MARGIN = 1.01;

// Node comparisons allowed per node (plus a constant) before the test gives up.
constexpr int64_t THE_COMPARISONS_PER_NODE = 4;
constexpr int64_t THE_SPARE_COMPARISONS    = 4096;

struct Item
{
  uint64_t key;
  uint32_t node; //!< 0-based
};

typedef std::vector<Item, algoMesh_LargeAllocator<Item>> ItemArray;

uint64_t packedKey(const uint64_t x, const uint64_t y, const uint64_t z)
{
  return (z << (2 * THE_AXIS_BITS)) | (y << THE_AXIS_BITS) | x;
}

// Sorts items by key; `spare` is scratch of the same size.
void sortByKey(ItemArray& items, ItemArray& spare)
{
  const size_t          n = items.size();
  std::vector<uint32_t> counts(THE_NB_DIGITS * THE_NB_BUCKETS, 0);
  for (const Item& item : items)
  {
    for (int d = 0; d < THE_NB_DIGITS; ++d)
    {
      ++counts[d * THE_NB_BUCKETS + ((item.key >> (d * THE_DIGIT_BITS)) & (THE_NB_BUCKETS - 1))];
    }
  }
  for (int d = 0; d < THE_NB_DIGITS; ++d)
  {
    uint32_t* count = &counts[d * THE_NB_BUCKETS];
    const int shift = d * THE_DIGIT_BITS;
    if (count[(items[0].key >> shift) & (THE_NB_BUCKETS - 1)] == n)
    {
      continue; // every key has this digit: the pass would move nothing
    }
    uint32_t start = 0;
    for (int b = 0; b < THE_NB_BUCKETS; ++b)
    {
      const uint32_t size = count[b];
      count[b]            = start;
      start += size;
    }
    for (const Item& item : items)
    {
      spare[count[(item.key >> shift) & (THE_NB_BUCKETS - 1)]++] = item;
    }
    items.swap(spare);
  }
}
} // namespace

bool algoMesh_PointSeparation::IsSeparated(const Handle(Poly_Triangulation) & mesh,
                                           const gp_Trsf* trsf,
                                           const double   distance)
{
  const int nbNodes = mesh.IsNull() ? 0 : mesh->NbNodes();
  if (nbNodes < 2)
  {
    return true;
  }
  if (!std::isfinite(distance) || distance <= 0.0)
  {
    return false;
  }
  auto nodeAt = [&](const int i)
  { return trsf != nullptr ? mesh->Node(i).Transformed(*trsf).XYZ() : mesh->Node(i).XYZ(); };

  // 1. Bounding box; a non-finite node has no cell.
  gp_XYZ lower = nodeAt(1), upper = lower;
  for (int i = 1; i <= nbNodes; ++i)
  {
    const gp_XYZ p = nodeAt(i);
    if (!std::isfinite(p.X()) || !std::isfinite(p.Y()) || !std::isfinite(p.Z()))
    {
      return false;
    }
    lower.SetCoord(std::min(lower.X(), p.X()), std::min(lower.Y(), p.Y()),
                   std::min(lower.Z(), p.Z()));
    upper.SetCoord(std::max(upper.X(), p.X()), std::max(upper.Y(), p.Y()),
                   std::max(upper.Z(), p.Z()));
  }

  // 2. Cell size: at least the distance, and large enough for the box to span at most
  //    THE_MAX_CELL - 1 cells along each axis.
  const gp_XYZ extent    = upper - lower;
  const double maxExtent = std::max({extent.X(), extent.Y(), extent.Z()});
  const double cellSize =
      std::max(THE_CELL_MARGIN * distance, maxExtent / static_cast<double>(THE_MAX_CELL - 2));
  if (!std::isfinite(cellSize) || !std::isfinite(maxExtent))
  {
    return false;
  }
  auto cellOf = [&](const double value, const double origin)
  {
    const double cell = std::floor((value - origin) / cellSize);
    return std::min(static_cast<uint64_t>(std::max(cell, 0.0)) + 1, THE_MAX_CELL);
  };

  // 3. Nodes sorted by cell.
  ItemArray items(static_cast<size_t>(nbNodes)), spare(static_cast<size_t>(nbNodes));
  for (int i = 1; i <= nbNodes; ++i)
  {
    const gp_XYZ p                    = nodeAt(i);
    items[static_cast<size_t>(i - 1)] = {
        packedKey(cellOf(p.X(), lower.X()), cellOf(p.Y(), lower.Y()), cellOf(p.Z(), lower.Z())),
        static_cast<uint32_t>(i - 1)};
  }
  sortByKey(items, spare);
  ItemArray().swap(spare);

  // 4. Sweep: each node against the later nodes of its own cell and of the adjacent cells
  //    further in the order. A run is the three cells x - 1 … x + 1 of one adjacent row.
  const uint64_t                rowStep    = uint64_t(1) << THE_AXIS_BITS;
  const uint64_t                planeStep  = uint64_t(1) << (2 * THE_AXIS_BITS);
  const std::array<uint64_t, 4> runOffsets = {rowStep, planeStep - rowStep, planeStep,
                                              planeStep + rowStep};
  std::array<size_t, 4>         cursors    = {0, 0, 0, 0};
  const size_t                  n          = items.size();
  int64_t budget = THE_COMPARISONS_PER_NODE * static_cast<int64_t>(n) + THE_SPARE_COMPARISONS;
  // True when the two nodes are within the distance; false otherwise or when out of budget
  // (the caller then stops and answers false in both cases).
  auto isClose = [&](const uint32_t a, const uint32_t b)
  {
    if (--budget < 0)
    {
      return true;
    }
    const gp_XYZ d = nodeAt(static_cast<int>(a) + 1) - nodeAt(static_cast<int>(b) + 1);
    return std::abs(d.X()) <= distance && std::abs(d.Y()) <= distance &&
           std::abs(d.Z()) <= distance;
  };
  for (size_t i = 0; i < n; ++i)
  {
    const uint64_t key = items[i].key;
    for (size_t j = i + 1; j < n && items[j].key <= key + 1; ++j)
    {
      if (isClose(items[i].node, items[j].node))
      {
        return false;
      }
    }
    for (size_t r = 0; r < runOffsets.size(); ++r)
    {
      const uint64_t first = key + runOffsets[r] - 1;
      size_t&        c     = cursors[r];
      while (c < n && items[c].key < first)
      {
        ++c;
      }
      for (size_t j = c; j < n && items[j].key <= first + 2; ++j)
      {
        if (isClose(items[i].node, items[j].node))
        {
          return false;
        }
      }
    }
  }
  return true;
}
