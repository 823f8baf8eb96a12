// Compact hierarchy: Morton-order sort, the split of each run at its highest differing code
// bit, and four-child nodes with float boxes; the passes over all triangles and the subtrees
// below the root run in parallel.
#include <BVHTools_NearestTree.hxx>

#include <BVHTools_PrimitiveSet.hxx>
#include <BVHTools_TaskFence.hxx>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <algorithm>
#include <utility>
#include <array>
#include <atomic>
#include <cmath>
#include <limits>

namespace BVHTools
{
namespace
{

// The float nearest to `value` that is not above it (or not below it for roundUp): a box
// widened by at most one float step still contains the exact box, so a distance to it
// never exceeds the exact distance and pruning stays safe.
float roundDown(const double value)
{
  const float f = static_cast<float>(value);
  return static_cast<double>(f) > value ? std::nextafter(f, -std::numeric_limits<float>::infinity())
                                        : f;
}

float roundUp(const double value)
{
  const float f = static_cast<float>(value);
  return static_cast<double>(f) < value ? std::nextafter(f, std::numeric_limits<float>::infinity())
                                        : f;
}

// The 21 low bits of v spread to every third bit of a 63-bit word.
uint64_t spreadBits(uint64_t v)
{
  v &= 0x1fffff;
  v = (v | v << 32) & 0x001f00000000ffffULL;
  v = (v | v << 16) & 0x001f0000ff0000ffULL;
  v = (v | v << 8) & 0x100f00f00f00f00fULL;
  v = (v | v << 4) & 0x10c30c30c30c30c3ULL;
  v = (v | v << 2) & 0x1249249249249249ULL;
  return v;
}

// Box (min x y z, max x y z) of the triangles at positions [begin, end).
void leafBox(const double* corners, const int begin, const int end, double* box)
{
  for (int axis = 0; axis < 3; ++axis)
  {
    box[axis]     = std::numeric_limits<double>::infinity();
    box[axis + 3] = -std::numeric_limits<double>::infinity();
  }
  for (size_t k = 9 * size_t(begin); k < 9 * size_t(end); k += 3)
  {
    for (int axis = 0; axis < 3; ++axis)
    {
      box[axis]     = std::min(box[axis], corners[k + axis]);
      box[axis + 3] = std::max(box[axis + 3], corners[k + axis]);
    }
  }
}

// Runs work(first, last) over [0, count) in chunks of at least `grain` on the current arena;
// the fence orders the tasks' writes for ThreadSanitizer builds.
template <typename Work>
void parallelChunks(const TaskFence& fence, const int count, const int grain, const Work& work)
{
  fence.Leave(); // what the calling thread wrote so far is seen by the tasks
  tbb::parallel_for(tbb::blocked_range<int>(0, count, grain),
                    [&](const tbb::blocked_range<int>& range)
                    {
                      fence.Enter();
                      work(range.begin(), range.end());
                      fence.Leave();
                    });
  fence.Join(); // and what the tasks wrote is seen by the calling thread
}

// Triangles per task of the passes over all triangles.
constexpr int THE_GRAIN = 16384;

} // namespace

NearestTree::NearestTree(const Handle(TriangleSet) & set, const int nbThreads)
    : NearestTree(Handle(TriangleSet)(set), nbThreads)
{
}

NearestTree::NearestTree(Handle(TriangleSet) && set, const int nbThreads)
{
  Handle(TriangleSet) owned = std::move(set);
  if (owned.IsNull() || owned->Size() == 0)
  {
    return;
  }
  // Every task writes only its own elements and the split points do not depend on the
  // tasks, so the tree is the same for any thread count.
  tbb::task_arena arena(ArenaSize(nbThreads));
  const TaskFence fence;
  arena.execute([&] { build(owned, fence); });
  fence.Join();
}

void NearestTree::build(Handle(TriangleSet) & handle, const TaskFence& fence)
{
  const TriangleSet& set = *handle;

  // 1. Order the triangles along the Morton curve of their box centres.
  std::vector<uint64_t>  codes;
  const std::vector<int> order = sortByCode(set, fence, codes);

  // 2. Copy corners and identifiers in that order.
  const int nbTriangles = set.Size();
  m_corners.resize(9 * size_t(nbTriangles));
  m_ids.resize(static_cast<size_t>(nbTriangles));
  parallelChunks(fence, nbTriangles, THE_GRAIN,
                 [&](const int first, const int last)
                 {
                   for (int k = first; k < last; ++k)
                   {
                     set.Corners(order[k], &m_corners[9 * size_t(k)]);
                     m_ids[k] = set.Id(order[k]);
                   }
                 });
  handle.Nullify(); // the tree reads its own copy from here on

  // 3. The inner nodes, depth first; a set of up to LeafSize() triangles is one leaf
  //    without any.
  if (nbTriangles > LeafSize())
  {
    emitRoot(codes, fence);
  }
}

std::vector<int> NearestTree::sortByCode(const TriangleSet&     set,
                                         const TaskFence&       fence,
                                         std::vector<uint64_t>& codes) const
{
  const int nbTriangles = set.Size();
  // 1. Box centres and their bounds.
  std::vector<double> centres(3 * size_t(nbTriangles));
  parallelChunks(
      fence, nbTriangles, THE_GRAIN,
      [&](const int first, const int last)
      {
        for (int i = first; i < last; ++i)
        {
          double corners[9];
          set.Corners(i, corners);
          for (int axis = 0; axis < 3; ++axis)
          {
            const double a = corners[axis], b = corners[axis + 3], c = corners[axis + 6];
            centres[3 * size_t(i) + axis] = 0.5 * (std::min({a, b, c}) + std::max({a, b, c}));
          }
        }
      });
  double lower[3], upper[3];
  std::fill_n(lower, 3, std::numeric_limits<double>::infinity());
  std::fill_n(upper, 3, -std::numeric_limits<double>::infinity());
  for (size_t k = 0; k < centres.size(); k += 3)
  {
    for (int axis = 0; axis < 3; ++axis)
    {
      lower[axis] = std::min(lower[axis], centres[k + axis]);
      upper[axis] = std::max(upper[axis], centres[k + axis]);
    }
  }

  // 2. Codes of 21 bits per axis; a flat axis gets code 0. `varying` has the bits in which
  //    some code differs from the first.
  constexpr double THE_CELLS = double((1 << 21) - 1);
  double           scale[3];
  for (int axis = 0; axis < 3; ++axis)
  {
    const double extent = upper[axis] - lower[axis];
    scale[axis]         = extent > 0.0 ? THE_CELLS / extent : 0.0;
  }
  const auto codeOf = [&](const int i)
  {
    uint64_t code = 0;
    for (int axis = 0; axis < 3; ++axis)
    {
      const double cell = (centres[3 * size_t(i) + axis] - lower[axis]) * scale[axis];
      code |= spreadBits(static_cast<uint64_t>(std::min(THE_CELLS, std::max(0.0, cell))))
              << (2 - axis);
    }
    return code;
  };
  std::vector<uint64_t> keys(static_cast<size_t>(nbTriangles));
  std::vector<int>      order(static_cast<size_t>(nbTriangles));
  const uint64_t        firstCode = codeOf(0);
  std::atomic<uint64_t> varying{0};
  parallelChunks(fence, nbTriangles, THE_GRAIN,
                 [&](const int first, const int last)
                 {
                   uint64_t localVarying = 0;
                   for (int i = first; i < last; ++i)
                   {
                     keys[i]  = codeOf(i);
                     order[i] = i;
                     localVarying |= keys[i] ^ firstCode;
                   }
                   varying.fetch_or(localVarying, std::memory_order_relaxed);
                 });
  std::vector<double>().swap(centres);

  // 3. Least-significant-digit radix sort of (code, position), 11 bits per pass, skipping
  //    the digits in which no two codes differ. Each block of the input counts its digits
  //    and scatters its elements on its own; a block's slots for a digit follow those of the
  //    blocks before it, so the sort is stable and equal codes keep set order.
  constexpr int    THE_BITS = 11;
  constexpr size_t THE_SIZE = size_t(1) << THE_BITS;
  const int        nbBlocks =
      std::max(1, std::min(tbb::this_task_arena::max_concurrency(), nbTriangles / THE_GRAIN + 1));
  const size_t          blockSize = (keys.size() + nbBlocks - 1) / nbBlocks;
  std::vector<size_t>   start(nbBlocks * THE_SIZE);
  std::vector<uint64_t> keysTmp(keys.size());
  std::vector<int>      orderTmp(order.size());
  const auto            eachBlock = [&](const auto& work)
  {
    fence.Leave();
    tbb::parallel_for(
        tbb::blocked_range<int>(0, nbBlocks, 1),
        [&](const tbb::blocked_range<int>& blocks)
        {
          fence.Enter();
          for (int b = blocks.begin(); b < blocks.end(); ++b)
          {
            work(b, b * blockSize, std::min(keys.size(), (b + 1) * blockSize));
          }
          fence.Leave();
        },
        tbb::simple_partitioner());
    fence.Join();
  };
  for (int shift = 0; shift < 64; shift += THE_BITS)
  {
    if (((varying.load() >> shift) & (THE_SIZE - 1)) == 0)
    {
      continue;
    }
    std::fill(start.begin(), start.end(), size_t(0));
    eachBlock(
        [&](const int b, const size_t first, const size_t last)
        {
          size_t* counts = &start[b * THE_SIZE];
          for (size_t k = first; k < last; ++k)
          {
            ++counts[(keys[k] >> shift) & (THE_SIZE - 1)];
          }
        });
    size_t sum = 0;
    for (size_t digit = 0; digit < THE_SIZE; ++digit)
    {
      for (int b = 0; b < nbBlocks; ++b)
      {
        const size_t count          = start[b * THE_SIZE + digit];
        start[b * THE_SIZE + digit] = sum;
        sum += count;
      }
    }
    eachBlock(
        [&](const int b, const size_t first, const size_t last)
        {
          size_t* slots = &start[b * THE_SIZE];
          for (size_t k = first; k < last; ++k)
          {
            const size_t slot = slots[(keys[k] >> shift) & (THE_SIZE - 1)]++;
            keysTmp[slot]     = keys[k];
            orderTmp[slot]    = order[k];
          }
        });
    keys.swap(keysTmp);
    order.swap(orderTmp);
  }
  codes.swap(keys);
  return order;
}

void NearestTree::emitRoot(const std::vector<uint64_t>& codes, const TaskFence& fence)
{
  // The root's children are built in parallel, each subtree in a vector of its own with its
  // own numbering, then appended in child order and renumbered: the same layout as a
  // depth-first build from the root.
  const int         nbTriangles = NbTriangles();
  int               ranges[4][2];
  const int         nbChildren = childRanges(codes, 0, nbTriangles, ranges);
  std::vector<Node> subtrees[4];
  double            boxes[4][6];
  parallelChunks(fence, nbChildren, 1,
                 [&](const int first, const int last)
                 {
                   for (int side = first; side < last; ++side)
                   {
                     const int begin = ranges[side][0], end = ranges[side][1];
                     if (end - begin > LeafSize())
                     {
                       subtrees[side].reserve(static_cast<size_t>((end - begin) / 4));
                       emitNode(subtrees[side], codes, begin, end, boxes[side]);
                     }
                     else
                     {
                       leafBox(m_corners.data(), begin, end, boxes[side]);
                     }
                   }
                 });
  size_t total = 1;
  for (int side = 0; side < nbChildren; ++side)
  {
    total += subtrees[side].size();
  }
  m_nodes.reserve(total);
  m_nodes.emplace_back();
  Node root;
  for (int side = 0; side < Width(); ++side)
  {
    if (side >= nbChildren)
    {
      setEmpty(root, side);
      continue;
    }
    if (subtrees[side].empty())
    {
      setChild(root, side, ranges[side][0], ranges[side][1] - ranges[side][0], boxes[side]);
      continue;
    }
    const int base = static_cast<int>(m_nodes.size());
    setChild(root, side, base, 0, boxes[side]);
    for (Node node : subtrees[side])
    {
      for (int slot = 0; slot < Width(); ++slot)
      {
        node.child[slot] += node.count[slot] == 0 ? base : 0;
      }
      m_nodes.push_back(node);
    }
    std::vector<Node>().swap(subtrees[side]);
  }
  m_nodes[0] = root;
}

int NearestTree::emitNode(std::vector<Node>&           nodes,
                          const std::vector<uint64_t>& codes,
                          const int                    begin,
                          const int                    end,
                          double*                      box) const
{
  const int index = static_cast<int>(nodes.size());
  nodes.emplace_back();

  // 1. Up to four children, in code order.
  int       ranges[4][2];
  const int nbChildren = childRanges(codes, begin, end, ranges);

  // 2. Each child: an inner node of its own or a leaf; its box rounded outwards into the
  //    node, and merged into the node's box.
  for (int axis = 0; axis < 3; ++axis)
  {
    box[axis]     = std::numeric_limits<double>::infinity();
    box[axis + 3] = -std::numeric_limits<double>::infinity();
  }
  for (int side = 0; side < Width(); ++side)
  {
    if (side >= nbChildren)
    {
      setEmpty(nodes[index], side);
      continue;
    }
    const int first = ranges[side][0], last = ranges[side][1];
    double    childBox[6];
    int       child = first, count = last - first;
    if (count > LeafSize())
    {
      child = emitNode(nodes, codes, first, last, childBox);
      count = 0;
    }
    else
    {
      leafBox(m_corners.data(), first, last, childBox);
    }
    // The vector may have grown during the recursion: address the node afresh.
    setChild(nodes[index], side, child, count, childBox);
    for (int axis = 0; axis < 3; ++axis)
    {
      box[axis]     = std::min(box[axis], childBox[axis]);
      box[axis + 3] = std::max(box[axis + 3], childBox[axis + 3]);
    }
  }
  return index;
}

int NearestTree::childRanges(const std::vector<uint64_t>& codes,
                             const int                    begin,
                             const int                    end,
                             int                          ranges[4][2])
{
  // The run split in two, and each half of more than a leaf in two again.
  int       nbChildren   = 0;
  const int middle       = splitOf(codes, begin, end);
  const int halves[2][2] = {{begin, middle}, {middle, end}};
  for (const auto& half : halves)
  {
    if (half[1] - half[0] > LeafSize())
    {
      const int quarter       = splitOf(codes, half[0], half[1]);
      ranges[nbChildren][0]   = half[0];
      ranges[nbChildren++][1] = quarter;
      ranges[nbChildren][0]   = quarter;
      ranges[nbChildren++][1] = half[1];
    }
    else
    {
      ranges[nbChildren][0]   = half[0];
      ranges[nbChildren++][1] = half[1];
    }
  }
  return nbChildren;
}

void NearestTree::setChild(
    Node& node, const int side, const int child, const int count, const double* box)
{
  node.child[side] = child;
  node.count[side] = count;
  for (int axis = 0; axis < 3; ++axis)
  {
    node.lower[axis][side] = roundDown(box[axis]);
    node.upper[axis][side] = roundUp(box[axis + 3]);
  }
}

void NearestTree::setEmpty(Node& node, const int side)
{
  node.child[side] = -1;
  node.count[side] = -1;
  for (int axis = 0; axis < 3; ++axis)
  {
    node.lower[axis][side] = std::numeric_limits<float>::infinity();
    node.upper[axis][side] = -std::numeric_limits<float>::infinity();
  }
}

int NearestTree::splitOf(const std::vector<uint64_t>& codes, const int begin, const int end)
{
  // The codes are sorted, so the run's first code with its highest differing bit set starts
  // the second part. Equal codes split in half.
  const uint64_t diff = codes[begin] ^ codes[end - 1];
  if (diff == 0)
  {
    return begin + (end - begin) / 2;
  }
  int bit = 63;
  while (((diff >> bit) & 1) == 0)
  {
    --bit;
  }
  return static_cast<int>(std::partition_point(codes.begin() + begin, codes.begin() + end,
                                               [bit](const uint64_t code)
                                               { return ((code >> bit) & 1) == 0; }) -
                          codes.begin());
}

} // namespace BVHTools
