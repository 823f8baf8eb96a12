// Compact hierarchy: Morton-order sort, the split of each run at its highest differing code
// bit, and four-child nodes with float boxes.
#include <BVHTools_NearestTree.hxx>

#include <algorithm>
#include <array>
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

} // namespace

NearestTree::NearestTree(const Handle(TriangleSet) & set)
{
  if (set.IsNull() || set->Size() == 0)
  {
    return;
  }
  // 1. Order the triangles along the Morton curve of their box centres.
  std::vector<uint64_t>  codes;
  const std::vector<int> order = sortByCode(*set, codes);

  // 2. Copy corners and identifiers in that order.
  const int nbTriangles = set->Size();
  m_corners.resize(9 * size_t(nbTriangles));
  m_ids.resize(static_cast<size_t>(nbTriangles));
  for (int k = 0; k < nbTriangles; ++k)
  {
    set->Corners(order[k], &m_corners[9 * size_t(k)]);
    m_ids[k] = set->Id(order[k]);
  }

  // 3. The inner nodes, depth first; a set of up to LeafSize() triangles is one leaf
  //    without any.
  if (nbTriangles > LeafSize())
  {
    m_nodes.reserve(static_cast<size_t>(nbTriangles / 4));
    double box[6];
    emitNode(codes, 0, nbTriangles, box);
    m_nodes.shrink_to_fit();
  }
}

std::vector<int> NearestTree::sortByCode(const TriangleSet& set, std::vector<uint64_t>& codes) const
{
  const int nbTriangles = set.Size();
  // Box centres and their bounds.
  std::vector<double> centres(3 * size_t(nbTriangles));
  double              lower[3], upper[3];
  std::fill_n(lower, 3, std::numeric_limits<double>::infinity());
  std::fill_n(upper, 3, -std::numeric_limits<double>::infinity());
  for (int i = 0; i < nbTriangles; ++i)
  {
    double corners[9];
    set.Corners(i, corners);
    for (int axis = 0; axis < 3; ++axis)
    {
      const double a = corners[axis], b = corners[axis + 3], c = corners[axis + 6];
      const double centre           = 0.5 * (std::min({a, b, c}) + std::max({a, b, c}));
      centres[3 * size_t(i) + axis] = centre;
      lower[axis]                   = std::min(lower[axis], centre);
      upper[axis]                   = std::max(upper[axis], centre);
    }
  }
  // Codes of 21 bits per axis; a flat axis gets code 0.
  constexpr double THE_CELLS = double((1 << 21) - 1);
  double           scale[3];
  for (int axis = 0; axis < 3; ++axis)
  {
    const double extent = upper[axis] - lower[axis];
    scale[axis]         = extent > 0.0 ? THE_CELLS / extent : 0.0;
  }
  std::vector<uint64_t> keys(static_cast<size_t>(nbTriangles));
  std::vector<int>      order(static_cast<size_t>(nbTriangles));
  uint64_t              varying = 0;
  for (int i = 0; i < nbTriangles; ++i)
  {
    uint64_t code = 0;
    for (int axis = 0; axis < 3; ++axis)
    {
      const double cell = (centres[3 * size_t(i) + axis] - lower[axis]) * scale[axis];
      code |= spreadBits(static_cast<uint64_t>(std::min(THE_CELLS, std::max(0.0, cell))))
              << (2 - axis);
    }
    keys[i]  = code;
    order[i] = i;
    varying |= code ^ keys[0];
  }
  std::vector<double>().swap(centres);

  // Least-significant-digit radix sort of (code, position), 11 bits per pass, skipping the
  // digits in which no two codes differ. Stable, so equal codes keep set order.
  constexpr int         THE_BITS = 11;
  constexpr size_t      THE_SIZE = size_t(1) << THE_BITS;
  std::vector<uint64_t> keysTmp(keys.size());
  std::vector<int>      orderTmp(order.size());
  for (int shift = 0; shift < 64; shift += THE_BITS)
  {
    if (((varying >> shift) & (THE_SIZE - 1)) == 0)
    {
      continue;
    }
    std::array<size_t, THE_SIZE> start{};
    for (const uint64_t key : keys)
    {
      ++start[(key >> shift) & (THE_SIZE - 1)];
    }
    size_t sum = 0;
    for (size_t& slot : start)
    {
      const size_t count = slot;
      slot               = sum;
      sum += count;
    }
    for (size_t k = 0; k < keys.size(); ++k)
    {
      const size_t slot = start[(keys[k] >> shift) & (THE_SIZE - 1)]++;
      keysTmp[slot]     = keys[k];
      orderTmp[slot]    = order[k];
    }
    keys.swap(keysTmp);
    order.swap(orderTmp);
  }
  codes.swap(keys);
  return order;
}

int NearestTree::emitNode(const std::vector<uint64_t>& codes,
                          const int                    begin,
                          const int                    end,
                          double*                      box)
{
  const int index = static_cast<int>(m_nodes.size());
  m_nodes.emplace_back();

  // 1. Split the run in two, and each half of more than a leaf in two again: up to four
  //    children, in code order.
  int       ranges[4][2];
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
      Node& node       = m_nodes[index];
      node.child[side] = -1;
      node.count[side] = -1;
      for (int axis = 0; axis < 3; ++axis)
      {
        node.lower[axis][side] = std::numeric_limits<float>::infinity();
        node.upper[axis][side] = -std::numeric_limits<float>::infinity();
      }
      continue;
    }
    const int first = ranges[side][0], last = ranges[side][1];
    double    childBox[6];
    int       child = first, count = last - first;
    if (count > LeafSize())
    {
      child = emitNode(codes, first, last, childBox);
      count = 0;
    }
    else
    {
      leafBox(m_corners.data(), first, last, childBox);
    }
    // The vector may have grown during the recursion: address the node afresh.
    Node& node       = m_nodes[index];
    node.child[side] = child;
    node.count[side] = count;
    for (int axis = 0; axis < 3; ++axis)
    {
      node.lower[axis][side] = roundDown(childBox[axis]);
      node.upper[axis][side] = roundUp(childBox[axis + 3]);
      box[axis]              = std::min(box[axis], childBox[axis]);
      box[axis + 3]          = std::max(box[axis + 3], childBox[axis + 3]);
    }
  }
  return index;
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
