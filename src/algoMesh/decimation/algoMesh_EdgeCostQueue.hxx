// Binary min-heap of edge costs with removal by id, on flat arrays.
#ifndef algoMesh_EdgeCostQueue_HeaderFile
#define algoMesh_EdgeCostQueue_HeaderFile

#include <algoMesh.hxx>
#include <algoMesh_MemoryAdvice.hxx>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

//! Priority queue of (cost, id) pairs, cheapest first, where every id is queued at most once
//! and can be removed wherever it sits. It reproduces the order of vtkPriorityQueue exactly,
//! ties included: the decimation filter's output depends on which of several equal-cost edges
//! collapses first, and meshes with symmetric or flat regions have many such ties. The
//! difference is storage: one array of 16-byte items and one array of locations, no virtual
//! calls and no per-item bounds checks.
//!
//! The reproduced rules: a new item enters at the bottom and rises while strictly cheaper than
//! its parent; removing the item at location l moves the last item into l, sinks it (towards
//! the right child when both children cost the same) while strictly dearer than the cheaper
//! child, then lets the item now at l rise. Inserting an id that is queued already does
//! nothing.
//!
//! Cost: O(log n) per insertion and removal; 16 bytes per queued item plus 4 per id.
class algoMesh_EXPORT algoMesh_EdgeCostQueue
{
public:
  //! Empties the queue and reserves room for `numItems` items and ids below `numIds`.
  void Reset(const int64_t numItems, const int64_t numIds)
  {
    mySize = 0;
    myLines.clear();
    reserve(numItems);
    myLocations.assign(static_cast<size_t>(numIds), -1);
  }

  //! Number of queued items.
  int64_t Size() const { return mySize; }

  //! Queues `id` with `cost`; nothing happens when `id` is queued already.
  void Insert(const double cost, const int32_t id)
  {
    if (static_cast<size_t>(id) >= myLocations.size())
    {
      myLocations.resize(std::max(static_cast<size_t>(id) + 1, 2 * myLocations.size()), -1);
    }
    else if (myLocations[id] != -1)
    {
      return;
    }
    if (mySize >= capacity())
    {
      reserve(2 * mySize + 64);
    }
    rise(mySize++, {cost, id});
  }

  //! Id of the cheapest item, left queued, or -1 when the queue is empty.
  int32_t TopId() const { return mySize > 0 ? myLines[0].Slots[1].Id : -1; }

  //! Removes the cheapest item; answers its id and sets `cost`, or -1 when the queue is empty.
  int32_t Pop(double& cost) { return popAt(0, cost); }

  //! Removes `id` when it is queued.
  void DeleteId(const int32_t id)
  {
    if (static_cast<size_t>(id) < myLocations.size() && myLocations[id] != -1)
    {
      double cost = 0.0;
      popAt(myLocations[id], cost);
    }
  }

  //! Starts fetching the location of `id`. With PrefetchItem afterwards, a batch of removals
  //! that the caller knows in advance overlaps its cache misses instead of taking them one
  //! after the other.
  void PrefetchLocation(const int32_t id) const
  {
    if (static_cast<size_t>(id) < myLocations.size())
    {
      __builtin_prefetch(myLocations.data() + id, 1);
    }
  }

  //! Starts fetching the queued item of `id`, if any, with its parent and children: the
  //! lines its removal reads.
  void PrefetchItem(const int32_t id) const
  {
    if (static_cast<size_t>(id) < myLocations.size() && myLocations[id] >= 0)
    {
      const int64_t location = myLocations[id];
      const Item*   heap     = myLines.data()->Slots + 1;
      __builtin_prefetch(heap + location, 1);
      __builtin_prefetch(heap + (location - 1) / 2);
      if (2 * location + 1 < mySize)
      {
        __builtin_prefetch(heap + 2 * location + 1);
      }
    }
  }

  //! Releases the storage.
  void Release()
  {
    mySize      = 0;
    myLines     = LargeArray<Line>();
    myLocations = LargeArray<int32_t>();
  }

private:
  //! Working arrays are read at random: on huge pages they spare the address-translation
  //! misses (see algoMesh_MemoryAdvice).
  template <class T> using LargeArray = std::vector<T, quorin::algoMesh_LargeAllocator<T>>;
  struct Item
  {
    double  Cost;
    int32_t Id;
  };
  //! Storage comes in cache lines. Item i sits at slot i + 1, so the two children of a node
  //! share a line and its four grandchildren fill exactly one, which the sinking loop fetches
  //! ahead.
  struct alignas(64) Line
  {
    Item Slots[4];
  };

  Item*   items() { return myLines.data()->Slots + 1; }
  int64_t capacity() const { return 4 * static_cast<int64_t>(myLines.size()) - 1; }
  void    reserve(const int64_t numItems)
  {
    if (numItems > capacity())
    {
      myLines.resize(static_cast<size_t>(numItems + 4) / 4);
    }
  }

  void place(Item* heap, const int64_t location, const Item& item)
  {
    heap[location]       = item;
    myLocations[item.Id] = static_cast<int32_t>(location);
  }

  //! Moves `item` up from the hole at `i` while strictly cheaper than the parent.
  void rise(int64_t i, const Item item)
  {
    Item* heap = items();
    while (i > 0)
    {
      const int64_t parent = (i - 1) / 2;
      if (!(item.Cost < heap[parent].Cost))
      {
        break;
      }
      place(heap, i, heap[parent]);
      i = parent;
    }
    place(heap, i, item);
  }

  int32_t popAt(const int64_t location, double& cost)
  {
    if (mySize == 0)
    {
      return -1;
    }
    Item*         heap      = items();
    const int64_t last      = mySize - 1;
    const Item    removed   = heap[location];
    cost                    = removed.Cost;
    myLocations[removed.Id] = -1;
    mySize                  = last;
    if (location == last)
    {
      return removed.Id;
    }
    // The last item fills the hole, sinks while dearer than its cheaper child (the right one
    // on a tie), then rises.
    const Item    item  = heap[last];
    const int64_t maxId = last - 1;
    if (maxId <= 0)
    {
      place(heap, location, item);
      return removed.Id;
    }
    int64_t i = location;
    while (i <= (maxId - 1) / 2)
    {
      __builtin_prefetch(heap + 4 * i + 3);
      const int64_t left = 2 * i + 1;
      const int64_t child =
          (left == maxId || heap[left].Cost < heap[left + 1].Cost) ? left : left + 1;
      if (!(item.Cost > heap[child].Cost))
      {
        break;
      }
      place(heap, i, heap[child]);
      i = child;
    }
    place(heap, i, item);
    if (i == location)
    {
      rise(location, item);
    }
    return removed.Id;
  }

  int64_t             mySize = 0;
  LargeArray<Line>    myLines;     //!< the heap, cheapest at item 0
  LargeArray<int32_t> myLocations; //!< heap location of each id, -1 when not queued
};

#endif
