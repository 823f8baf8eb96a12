// Consistent orientation of polygons by a breadth-first walk over shared edges.
//
// vtkPolyDataNormals with consistency on takes the polygons in order; each one not yet
// reached starts a walk that keeps its orientation and reverses every newly reached
// neighbour that runs along the shared edge in the same direction. It reports no progress
// and cannot be stopped during that walk (about a second on a million triangles). When
// every part of the mesh can be oriented and each edge joins at most two polygons, the
// walk's result is the unique orientation that agrees with the first polygon of each
// part, whatever the order it visits in: this pass computes that orientation, and leaves
// the data untouched where the filter's order would matter.
//
// The edges are paired by a counting sort of their uses under their smaller point (as in
// algoMesh_BoundaryEdges); the walk then crosses each pair once. Cost O(n) time in the
// number of polygon corners plus a sort of each point's few partners, about 20 bytes per
// corner; every pass goes by blocks, reporting progress and polling for cancellation.
#include <algoMesh_PolygonOrientation.hxx>

#include <vtkCellArray.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

using namespace quorin;

namespace
{

// Items (polygons, points or reached polygons) between two progress reports and polls.
constexpr int THE_BLOCK = 65536;

// Shares of the progress: checking and counting the edge uses, listing them, pairing
// them, the walk, reversing the polygons.
constexpr double THE_CHECK_SHARE = 0.2;
constexpr double THE_LIST_SHARE  = 0.2;
constexpr double THE_PAIR_SHARE  = 0.25;
constexpr double THE_WALK_SHARE  = 0.25;

enum class Outcome
{
  Done,
  Ambiguous,
  Cancelled
};

//! Calls `visit(first, last)` on blocks of the items [0, nbItems) until it answers false,
//! advancing `progress` after each block.
template <typename Visit>
Outcome visitBlocks(const int nbItems, algoMesh_ProgressScope progress, const Visit& visit)
{
  progress.SetTotal(nbItems);
  for (int first = 0; first < nbItems; first += THE_BLOCK)
  {
    if (progress.IsCancelled())
    {
      return Outcome::Cancelled;
    }
    const int last = nbItems - first < THE_BLOCK ? nbItems : first + THE_BLOCK;
    if (!visit(first, last))
    {
      return Outcome::Ambiguous;
    }
    progress.Advance(last - first);
  }
  return progress.IsCancelled() ? Outcome::Cancelled : Outcome::Done;
}

//! The polygons of one cell array, with their edges paired.
template <typename Value> class Orienter
{
public:
  Orienter(const Value* offsets, const Value* points, const int nbPolygons, const int nbPoints)
      : m_offsets(offsets), m_points(points), m_nbPolygons(nbPolygons), m_nbPoints(nbPoints)
  {
  }

  //! Answers in `isReversed` the polygons to reverse.
  Outcome Perform(algoMesh_ProgressScope& progress, std::vector<char>& isReversed)
  {
    // 1. Check the polygons and count the edge uses under each smaller point.
    std::vector<int> starts;
    Outcome          outcome = checkAndCount(progress.Next(THE_CHECK_SHARE), starts);
    // 2. List the uses and 3. pair them, checking that the pairs decide the walk.
    if (outcome == Outcome::Done)
    {
      outcome = pairEdges(progress.Next(THE_LIST_SHARE), progress.Next(THE_PAIR_SHARE), starts);
    }
    // 4. Walk each part from its first polygon.
    if (outcome == Outcome::Done)
    {
      outcome = walk(progress.Next(THE_WALK_SHARE), isReversed);
    }
    return outcome;
  }

private:
  int first(const int polygon) const { return static_cast<int>(m_offsets[polygon]); }
  int end(const int polygon) const { return static_cast<int>(m_offsets[polygon + 1]); }
  int point(const int corner) const { return static_cast<int>(m_points[corner]); }
  //! The corner after `corner` in its polygon: the end of the edge that starts there.
  int next(const int corner) const
  {
    const int polygon = m_polygonOf[corner];
    return corner + 1 < end(polygon) ? corner + 1 : first(polygon);
  }

  //! A polygon of at least three points, each of them known and named once.
  bool isWellFormed(const int polygon, std::vector<int64_t>& sorted) const
  {
    const int size = end(polygon) - first(polygon);
    if (size < 3)
    {
      return false;
    }
    sorted.assign(m_points + first(polygon), m_points + end(polygon));
    std::sort(sorted.begin(), sorted.end());
    return sorted.front() >= 0 && sorted.back() < m_nbPoints &&
           std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end();
  }

  Outcome checkAndCount(const algoMesh_ProgressScope& progress, std::vector<int>& starts)
  {
    m_polygonOf.resize(static_cast<size_t>(end(m_nbPolygons - 1)));
    starts.assign(static_cast<size_t>(m_nbPoints) + 1, 0);
    std::vector<int64_t> sorted;
    return visitBlocks(m_nbPolygons, progress,
                       [&](const int from, const int to)
                       {
                         for (int polygon = from; polygon < to; ++polygon)
                         {
                           if (!isWellFormed(polygon, sorted))
                           {
                             return false;
                           }
                           for (int corner = first(polygon); corner < end(polygon); ++corner)
                           {
                             m_polygonOf[corner] = polygon;
                           }
                         }
                         // Counted once the corners know their polygons, for next().
                         for (int corner = first(from); corner < end(to - 1); ++corner)
                         {
                           ++starts[std::min(point(corner), point(next(corner))) + 1];
                         }
                         return true;
                       });
  }

  Outcome pairEdges(const algoMesh_ProgressScope& listing,
                    algoMesh_ProgressScope        pairing,
                    std::vector<int>&             starts)
  {
    // Point a's uses go to [starts[a], starts[a + 1]): each is the corner where the edge
    // starts, with the other point as partner.
    for (int a = 0; a < m_nbPoints; ++a)
    {
      starts[a + 1] += starts[a];
    }
    const int            nbCorners = static_cast<int>(m_polygonOf.size());
    std::vector<int64_t> uses(static_cast<size_t>(nbCorners));
    {
      std::vector<int> cursors(starts.begin(), starts.end() - 1);
      const Outcome    listed = visitBlocks(nbCorners, listing,
                                            [&](const int from, const int to)
                                            {
                                           for (int corner = from; corner < to; ++corner)
                                           {
                                             const int a = point(corner);
                                             const int b = point(next(corner));
                                             // Partner in the high half, corner in the low: sorting
                                             // orders by partner, then by corner.
                                             uses[cursors[std::min(a, b)]++] =
                                                 (int64_t(std::max(a, b)) << 32) | uint32_t(corner);
                                           }
                                           return true;
                                         });
      if (listed != Outcome::Done)
      {
        return listed;
      }
    }

    // An edge of one use is on the border; of two, it joins its two polygons; of more, the
    // walk's choice among them would depend on its order.
    m_mate.assign(static_cast<size_t>(nbCorners), -1);
    const Outcome paired =
        visitBlocks(m_nbPoints, pairing.Next(0.8),
                    [&](const int from, const int to)
                    {
                      for (int a = from; a < to; ++a)
                      {
                        const auto begin = uses.begin() + starts[a];
                        const auto last  = uses.begin() + starts[a + 1];
                        std::sort(begin, last);
                        for (auto run = begin; run != last;)
                        {
                          const auto next = std::find_if(run, last,
                                                         [run](const int64_t use)
                                                         { return (use >> 32) != (*run >> 32); });
                          if (next - run > 2)
                          {
                            return false;
                          }
                          if (next - run == 2)
                          {
                            m_mate[uint32_t(*run)]   = int(uint32_t(run[1]));
                            m_mate[uint32_t(run[1])] = int(uint32_t(*run));
                          }
                          run = next;
                        }
                      }
                      return true;
                    });
    if (paired != Outcome::Done)
    {
      return paired;
    }
    return checkPointPairs(pairing.Next(1.0), starts, uses);
  }

  //! The filter's walk takes for a neighbour across edge (p, q) every other polygon that
  //! holds both points, also where they are not consecutive (a polygon of four or more
  //! points): such a neighbour has no paired edge here, so its orientation would be the
  //! walk's choice.
  Outcome checkPointPairs(const algoMesh_ProgressScope& progress,
                          const std::vector<int>&       starts,
                          const std::vector<int64_t>&   uses) const
  {
    std::vector<std::pair<int, int>> positions; // (point, position in the polygon)
    return visitBlocks(m_nbPolygons, progress,
                       [&](const int from, const int to)
                       {
                         for (int polygon = from; polygon < to; ++polygon)
                         {
                           const int size = end(polygon) - first(polygon);
                           if (size < 4)
                           {
                             continue;
                           }
                           positions.clear();
                           for (int k = 0; k < size; ++k)
                           {
                             positions.emplace_back(point(first(polygon) + k), k);
                           }
                           std::sort(positions.begin(), positions.end());
                           for (const auto& [p, k] : positions)
                           {
                             for (int use = starts[p]; use < starts[p + 1]; ++use)
                             {
                               const int  q     = int(uses[use] >> 32);
                               const auto found = std::lower_bound(
                                   positions.begin(), positions.end(), std::make_pair(q, INT_MIN));
                               if (found != positions.end() && found->first == q)
                               {
                                 const int gap = (found->second - k + size) % size;
                                 if (gap != 1 && gap != size - 1)
                                 {
                                   return false;
                                 }
                               }
                             }
                           }
                         }
                         return true;
                       });
  }

  Outcome walk(algoMesh_ProgressScope progress, std::vector<char>& isReversed) const
  {
    // -1 not reached yet, else whether the polygon is reversed.
    std::vector<signed char> state(static_cast<size_t>(m_nbPolygons), -1);
    std::vector<int>         wave;
    wave.reserve(static_cast<size_t>(m_nbPolygons));
    progress.SetTotal(m_nbPolygons);
    int nbDone = 0;
    for (int seed = 0; seed < m_nbPolygons; ++seed)
    {
      if (state[seed] >= 0)
      {
        continue;
      }
      state[seed] = 0;
      wave.push_back(seed);
      // The wave only grows: polygons before `head` are done.
      for (size_t head = wave.size() - 1; head < wave.size(); ++head)
      {
        if (++nbDone % THE_BLOCK == 0)
        {
          progress.Advance(THE_BLOCK);
          if (progress.IsCancelled())
          {
            return Outcome::Cancelled;
          }
        }
        const int polygon = wave[head];
        for (int corner = first(polygon); corner < end(polygon); ++corner)
        {
          const int mate = m_mate[corner];
          if (mate < 0)
          {
            continue;
          }
          // Running along the edge in the same direction, the neighbour disagrees.
          const int  neighbour = m_polygonOf[mate];
          const auto agreeing =
              static_cast<signed char>(state[polygon] ^ (point(mate) == point(corner) ? 1 : 0));
          if (state[neighbour] < 0)
          {
            state[neighbour] = agreeing;
            wave.push_back(neighbour);
          }
          else if (state[neighbour] != agreeing)
          {
            return Outcome::Ambiguous; // a part that cannot be oriented
          }
        }
      }
    }
    isReversed.assign(state.begin(), state.end());
    progress.Complete();
    return progress.IsCancelled() ? Outcome::Cancelled : Outcome::Done;
  }

private:
  const Value*     m_offsets;
  const Value*     m_points;
  int              m_nbPolygons;
  int              m_nbPoints;
  std::vector<int> m_polygonOf; //!< polygon of each corner
  std::vector<int> m_mate;      //!< corner of the other use of the edge from each corner, or -1
};

//! Runs the orienter on the arrays of a cell array (32- or 64-bit storage).
struct FindReversed
{
  template <typename CellState>
  Outcome operator()(CellState&              state,
                     const int               nbPoints,
                     algoMesh_ProgressScope& progress,
                     std::vector<char>&      isReversed) const
  {
    Orienter<typename CellState::ValueType> orienter(
        state.GetOffsets()->GetPointer(0), state.GetConnectivity()->GetPointer(0),
        static_cast<int>(state.GetNumberOfCells()), nbPoints);
    return orienter.Perform(progress, isReversed);
  }
};

} // namespace

algoMesh_PolygonOrientation::Status
algoMesh_PolygonOrientation::Orient(vtkPolyData* data, const algoMesh_ProgressScope& progress)
{
  // 1. Only polygons, numbered within int.
  vtkCellArray* polygons = data != nullptr ? data->GetPolys() : nullptr;
  if (polygons == nullptr || data->GetNumberOfVerts() > 0 || data->GetNumberOfLines() > 0 ||
      data->GetNumberOfStrips() > 0 || polygons->GetNumberOfCells() == 0 ||
      polygons->GetNumberOfConnectivityIds() >= INT_MAX || data->GetNumberOfPoints() >= INT_MAX)
  {
    return Status_Ambiguous;
  }

  // 2. Find the polygons to reverse.
  algoMesh_ProgressScope scope = progress;
  std::vector<char>      isReversed;
  const Outcome          outcome = polygons->Visit(
               FindReversed(), static_cast<int>(data->GetNumberOfPoints()), scope, isReversed);
  if (outcome != Outcome::Done)
  {
    return outcome == Outcome::Cancelled ? Status_Cancelled : Status_Ambiguous;
  }

  // 3. Reverse them as the filter does. The array may be shared with the data it was
  //    copied from, which must not change.
  if (std::find(isReversed.begin(), isReversed.end(), 1) != isReversed.end())
  {
    if (polygons->GetReferenceCount() > 1)
    {
      vtkSmartPointer<vtkCellArray> own = vtkSmartPointer<vtkCellArray>::New();
      own->DeepCopy(polygons);
      data->SetPolys(own);
      polygons = own;
    }
    for (vtkIdType polygon = 0; polygon < static_cast<vtkIdType>(isReversed.size()); ++polygon)
    {
      if (isReversed[polygon] != 0)
      {
        polygons->ReverseCellAtId(polygon);
      }
    }
    data->Modified();
  }
  scope.Complete();
  return Status_Oriented;
}
