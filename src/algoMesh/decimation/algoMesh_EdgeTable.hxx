// Indexed set of mesh edges keyed by their two point ids, stored per point.
#ifndef algoMesh_EdgeTable_HeaderFile
#define algoMesh_EdgeTable_HeaderFile

#include <algoMesh.hxx>
#include <algoMesh_MemoryAdvice.hxx>

#include <cstdint>
#include <utility>
#include <vector>

//! Edges of a mesh under decimation, numbered in order of insertion from 0. An edge is an
//! unordered pair of point ids; `Key` answers the two ids in the order they were added (the
//! decimation keeps the first end of an edge), `Find` the id of a pair in either order. The pairs
//! are kept in a list per smaller point, so a lookup reads a few neighbouring entries instead of
//! probing a hash table: on meshes numbered in order of appearance the lists of the points of one
//! neighbourhood sit close together in memory, and a collapse only ever looks up edges of one
//! neighbourhood.
//!
//! A point that a collapse removes is forgotten: its own list is dropped, and entries that
//! lead to it are dropped one by one (`ForgetEdge`) or purged from other lists when those
//! lists next need room. Ids and keys of dropped edges stay valid (`Key` still answers them);
//! an edge to a forgotten point may still be found until it is purged, which does not
//! matter to decimation, as it never looks up an edge of a removed point.
//!
//! Cost: `Find` and `Add` are linear in the number of live edges whose smaller end is the
//! point (a handful on a mesh); memory 8 bytes per edge, 64 bytes per point (with room for
//! six edges) and 8 bytes per pool entry.
class algoMesh_EXPORT algoMesh_EdgeTable
{
public:
  //! Empties the table for points 0 .. numPoints - 1, with room for `listSizes[p]` list
  //! entries of point p, its head included (an upper bound of the edges it will start, when
  //! known; lists grow anyway).
  void Reset(int32_t numPoints, const std::vector<int32_t>& listSizes, int64_t numEdges);

  //! Number of edges added since Reset.
  int32_t Size() const { return static_cast<int32_t>(myKeys.size()); }

  //! Point ids of edge `id`, in the order it was added.
  const std::pair<int32_t, int32_t>& Key(const int32_t id) const { return myKeys[id]; }

  //! Starts fetching the key of edge `id`.
  void PrefetchKey(const int32_t id) const { __builtin_prefetch(myKeys.data() + id); }

  //! Starts fetching the list that holds the edge between `a` and `b`.
  void PrefetchList(const int32_t a, const int32_t b) const
  {
    __builtin_prefetch(myLists.data() + (a < b ? a : b));
  }

  //! Id of the edge between `a` and `b` (in any order), or -1 when absent.
  int32_t Find(const int32_t a, const int32_t b) const
  {
    const int32_t first  = a < b ? a : b;
    const int32_t second = a < b ? b : a;
    const List&   list   = myLists[first];
    const int32_t nbHead = list.Count < THE_HEAD ? list.Count : THE_HEAD;
    for (int32_t i = 0; i < nbHead; ++i)
    {
      if (list.Head[i].Other == second)
      {
        return list.Head[i].Id;
      }
    }
    const Entry* rest = myPool.data() + list.Start;
    for (int32_t i = 0; i < list.Count - THE_HEAD; ++i)
    {
      if (rest[i].Other == second)
      {
        return rest[i].Id;
      }
    }
    return -1;
  }

  //! Id of the edge between `a` and `b`, added with the next id and key (a, b) when absent.
  int32_t Add(const int32_t a, const int32_t b)
  {
    const int32_t found = Find(a, b);
    return found >= 0 ? found : append(a, b);
  }

  //! Adds the edge (a, b), known to be absent; answers its id.
  int32_t AddNew(const int32_t a, const int32_t b) { return append(a, b); }

  //! Point `p` is gone: the edges it starts are no longer found, those leading to it are
  //! purged in time.
  void ForgetPoint(int32_t p);

  //! The edge between `a` and `b` is no longer found (its id and key stay valid). Lists stay
  //! short when a collapse drops the edges of the removed point this way as it meets them.
  void ForgetEdge(int32_t a, int32_t b);

  //! Releases the storage.
  void Release();

private:
  //! Working arrays are read at random: on huge pages they spare the address-translation
  //! misses (see algoMesh_MemoryAdvice).
  template <class T> using LargeArray = std::vector<T, quorin::algoMesh_LargeAllocator<T>>;
  struct Entry
  {
    int32_t Other; //!< the larger point id
    int32_t Id;
  };
  //! The first entries of a list live in its header, one cache line with the rest of it, so
  //! that a lookup usually reads one line; further entries go to the shared pool.
  static constexpr int32_t THE_HEAD = 6;
  struct alignas(64) List
  {
    int64_t Start    = 0; //!< entries beyond the head, in the pool
    int32_t Count    = 0; //!< head and pool entries
    int32_t Capacity = 0; //!< pool room
    Entry   Head[THE_HEAD];
  };

  Entry& entry(List& list, const int32_t i)
  {
    return i < THE_HEAD ? list.Head[i] : myPool[list.Start + (i - THE_HEAD)];
  }

  int32_t append(const int32_t a, const int32_t b)
  {
    const int32_t first  = a < b ? a : b;
    const int32_t second = a < b ? b : a;
    List&         list   = myLists[first];
    if (list.Count >= THE_HEAD && list.Count - THE_HEAD == list.Capacity)
    {
      makeRoom(first);
    }
    const int32_t id          = static_cast<int32_t>(myKeys.size());
    entry(list, list.Count++) = {second, id};
    myKeys.emplace_back(a, b);
    return id;
  }

  //! Purges entries of forgotten points from the full list of `p`, else moves it to the end
  //! of the pool with twice the room.
  void makeRoom(int32_t p);

  LargeArray<std::pair<int32_t, int32_t>> myKeys;      //!< key of each edge id
  LargeArray<List>                        myLists;     //!< per smaller point
  LargeArray<Entry>                       myPool;      //!< storage of all lists
  std::vector<unsigned char>              myForgotten; //!< per point
};

#endif
