// Per-point lists of edges: room management.
#include <algoMesh_EdgeTable.hxx>

#include <algorithm>

void algoMesh_EdgeTable::Reset(const int32_t               numPoints,
                               const std::vector<int32_t>& listSizes,
                               const int64_t               numEdges)
{
  myKeys.clear();
  myKeys.reserve(static_cast<size_t>(numEdges));
  myLists.assign(static_cast<size_t>(numPoints), List());
  myForgotten.assign(static_cast<size_t>(numPoints), 0);
  int64_t start = 0;
  for (int32_t p = 0; p < numPoints; ++p)
  {
    // The head holds the first entries; the pool only what goes beyond it.
    const int32_t size  = p < static_cast<int32_t>(listSizes.size()) ? listSizes[p] : 0;
    const int32_t room  = std::max(0, size - THE_HEAD);
    myLists[p].Start    = start;
    myLists[p].Capacity = room;
    start += room;
  }
  myPool.assign(static_cast<size_t>(start), Entry{0, 0});
}

void algoMesh_EdgeTable::ForgetPoint(const int32_t p)
{
  myForgotten[p]   = 1;
  myLists[p].Count = 0;
}

void algoMesh_EdgeTable::ForgetEdge(const int32_t a, const int32_t b)
{
  List&         list  = myLists[a < b ? a : b];
  const int32_t other = a < b ? b : a;
  for (int32_t i = 0; i < list.Count; ++i)
  {
    if (entry(list, i).Other == other)
    {
      // The order within a list does not matter: the last entry fills the gap.
      entry(list, i) = entry(list, list.Count - 1);
      --list.Count;
      return;
    }
  }
}

void algoMesh_EdgeTable::makeRoom(const int32_t p)
{
  List&   list = myLists[p];
  int32_t kept = 0;
  for (int32_t i = 0; i < list.Count; ++i)
  {
    if (!myForgotten[entry(list, i).Other])
    {
      entry(list, kept++) = entry(list, i);
    }
  }
  list.Count = kept;
  if (kept < THE_HEAD || kept - THE_HEAD < list.Capacity)
  {
    return;
  }
  // Moved pool parts leave their old room unused; doubling keeps that waste below the live
  // size.
  const int32_t used     = kept - THE_HEAD;
  const int32_t capacity = std::max(4, 2 * list.Capacity);
  const int64_t start    = static_cast<int64_t>(myPool.size());
  myPool.resize(myPool.size() + static_cast<size_t>(capacity));
  std::copy(myPool.begin() + list.Start, myPool.begin() + list.Start + used,
            myPool.begin() + start);
  list.Start    = start;
  list.Capacity = capacity;
}

void algoMesh_EdgeTable::Release()
{
  myKeys      = LargeArray<std::pair<int32_t, int32_t>>();
  myLists     = LargeArray<List>();
  myPool      = LargeArray<Entry>();
  myForgotten = std::vector<unsigned char>();
}
