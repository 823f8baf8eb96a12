// Binary min-heap of edge costs with removal by id, on flat arrays.
#ifndef algoMesh_EdgeCostQueue_HeaderFile
#define algoMesh_EdgeCostQueue_HeaderFile

#include <algoMesh.hxx>

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
    myItems.clear();
    myItems.reserve(static_cast<size_t>(numItems) + 1);
    myLocations.assign(static_cast<size_t>(numIds), -1);
  }

  //! Number of queued items.
  int64_t Size() const { return static_cast<int64_t>(myItems.size()); }

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
    myItems.push_back({cost, id});
    myLocations[id] = static_cast<int32_t>(myItems.size() - 1);
    rise(static_cast<int64_t>(myItems.size()) - 1);
  }

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

  //! Releases the storage.
  void Release()
  {
    myItems     = std::vector<Item>();
    myLocations = std::vector<int32_t>();
  }

private:
  struct Item
  {
    double  Cost;
    int32_t Id;
  };

  void place(const int64_t location, const Item& item)
  {
    myItems[location]    = item;
    myLocations[item.Id] = static_cast<int32_t>(location);
  }

  void rise(int64_t i)
  {
    const Item item = myItems[i];
    while (i > 0)
    {
      const int64_t parent = (i - 1) / 2;
      if (!(item.Cost < myItems[parent].Cost))
      {
        break;
      }
      place(i, myItems[parent]);
      i = parent;
    }
    place(i, item);
  }

  int32_t popAt(const int64_t location, double& cost)
  {
    const int64_t last = static_cast<int64_t>(myItems.size()) - 1;
    if (last < 0)
    {
      return -1;
    }
    const Item removed      = myItems[location];
    cost                    = removed.Cost;
    myLocations[removed.Id] = -1;
    if (location == last)
    {
      myItems.pop_back();
      return removed.Id;
    }
    // The last item fills the hole, sinks while dearer than its cheaper child, then rises.
    myItems[location]                 = myItems[last];
    myLocations[myItems[location].Id] = static_cast<int32_t>(location);
    myItems.pop_back();
    const int64_t maxId = last - 1;
    if (maxId <= 0)
    {
      return removed.Id;
    }
    const Item item = myItems[location];
    int64_t    i    = location;
    while (i <= (maxId - 1) / 2)
    {
      const int64_t left = 2 * i + 1;
      const int64_t child =
          (left == maxId || myItems[left].Cost < myItems[left + 1].Cost) ? left : left + 1;
      if (!(item.Cost > myItems[child].Cost))
      {
        break;
      }
      place(i, myItems[child]);
      i = child;
    }
    place(i, item);
    rise(location);
    return removed.Id;
  }

  std::vector<Item>    myItems;     //!< the heap, cheapest at 0
  std::vector<int32_t> myLocations; //!< heap location of each id, -1 when not queued
};

#endif
