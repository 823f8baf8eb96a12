// Dual hierarchy traversal with exact triangle tests, parallel over independent node pairs.
#include <BVHTools_IntersectMeshMesh.hxx>
#include <BVHTools_TaskFence.hxx>

#include <BVHTools_TriangleTests.hxx>

#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>
#include <tbb/task_group.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <utility>

namespace BVHTools
{
namespace
{

using NodePair = std::pair<int, int>;
using Tree     = BVH_Tree<double, 3>;

// Enough independent pieces of work to balance the threads of any usual machine; fixed,
// so that the pieces do not depend on the thread count.
constexpr size_t THE_NB_TASKS = 1024;

bool boxesTouch(const Tree& a, const int na, const Tree& b, const int nb)
{
  return !IsOut(a.MinPoint(na), a.MaxPoint(na), b.MinPoint(nb), b.MaxPoint(nb), 0.0);
}

double extent(const Tree& tree, const int node)
{
  const BVH_Vec3d size = tree.MaxPoint(node) - tree.MinPoint(node);
  return size.x() + size.y() + size.z();
}

// Walks the pairs of two trees (or of one tree with itself) and tests the triangles of
// touching leaves.
class PairFinder
{
public:
  PairFinder(const TriangleSet& first,
             const Tree&        firstTree,
             const TriangleSet& second,
             const Tree&        secondTree,
             const bool         isSelf)
      : m_setA(first), m_setB(second), m_treeA(firstTree), m_treeB(secondTree), m_isSelf(isSelf)
  {
  }

  // Children pairs of a node pair that may hold intersecting triangles; none for two
  // leaves. In self mode the pair (n, n) stands for the pairs within node n.
  void Expand(const NodePair& pair, std::vector<NodePair>& children) const
  {
    const int  a     = pair.first;
    const int  b     = pair.second;
    const bool leafA = m_treeA.IsOuter(a);
    const bool leafB = m_treeB.IsOuter(b);
    if (m_isSelf && a == b)
    {
      if (!leafA)
      {
        const int left  = m_treeA.Child<0>(a);
        const int right = m_treeA.Child<1>(a);
        children.emplace_back(left, left);
        children.emplace_back(right, right);
        pushIfTouching(left, right, children);
      }
      return;
    }
    if (leafA && leafB)
    {
      return;
    }
    if (leafB || (!leafA && extent(m_treeA, a) >= extent(m_treeB, b)))
    {
      pushIfTouching(m_treeA.Child<0>(a), b, children);
      pushIfTouching(m_treeA.Child<1>(a), b, children);
    }
    else
    {
      pushIfTouching(a, m_treeB.Child<0>(b), children);
      pushIfTouching(a, m_treeB.Child<1>(b), children);
    }
  }

  // Tests the triangles of a pair of leaves; positions of intersecting triangles go to
  // `found`.
  void TestLeaves(const NodePair& pair, std::vector<NodePair>& found) const
  {
    const int a = pair.first;
    const int b = pair.second;
    for (int i = m_treeA.BegPrimitive(a); i <= m_treeA.EndPrimitive(a); ++i)
    {
      const int firstJ = m_isSelf && a == b ? i + 1 : m_treeB.BegPrimitive(b);
      for (int j = firstJ; j <= m_treeB.EndPrimitive(b); ++j)
      {
        if (intersect(i, j))
        {
          found.emplace_back(i, j);
        }
      }
    }
  }

  // Depth-first processing of one piece of work.
  void Run(const NodePair& start, std::vector<NodePair>& found) const
  {
    std::vector<NodePair> stack{start};
    std::vector<NodePair> children;
    while (!stack.empty())
    {
      const NodePair pair = stack.back();
      stack.pop_back();
      if (m_treeA.IsOuter(pair.first) && m_treeB.IsOuter(pair.second))
      {
        TestLeaves(pair, found);
        continue;
      }
      children.clear();
      Expand(pair, children);
      stack.insert(stack.end(), children.begin(), children.end());
    }
  }

  bool IsLeafPair(const NodePair& pair) const
  {
    return m_treeA.IsOuter(pair.first) && m_treeB.IsOuter(pair.second);
  }

private:
  void pushIfTouching(const int a, const int b, std::vector<NodePair>& children) const
  {
    if (boxesTouch(m_treeA, a, m_treeB, b))
    {
      children.emplace_back(a, b);
    }
  }

  bool intersect(const int i, const int j) const
  {
    if (m_setA.IsDegenerate(i) || m_setB.IsDegenerate(j))
    {
      return false;
    }
    double p[9], q[9];
    m_setA.Corners(i, p);
    m_setB.Corners(j, q);
    // Triangle boxes first: most candidate pairs of touching leaves are apart.
    for (int axis = 0; axis < 3; ++axis)
    {
      const double pMin = std::min({p[axis], p[axis + 3], p[axis + 6]});
      const double pMax = std::max({p[axis], p[axis + 3], p[axis + 6]});
      const double qMin = std::min({q[axis], q[axis + 3], q[axis + 6]});
      const double qMax = std::max({q[axis], q[axis + 3], q[axis + 6]});
      if (pMin > qMax || qMin > pMax)
      {
        return false;
      }
    }
    const TriangleCorners t1{{p, p + 3, p + 6}};
    const TriangleCorners t2{{q, q + 3, q + 6}};
    return m_isSelf ? NeighboursIntersect(t1, m_setA.Nodes(i), t2, m_setB.Nodes(j))
                    : TrianglesIntersect(t1, t2);
  }

private:
  const TriangleSet& m_setA;
  const TriangleSet& m_setB;
  const Tree&        m_treeA;
  const Tree&        m_treeB;
  bool               m_isSelf;
};

} // namespace

IntersectMeshMesh::IntersectMeshMesh(const int nbThreads,
                                     const Handle(TriangleSet) & first,
                                     const Handle(TriangleSet) & second,
                                     const bool isSelf)
    : m_nbThreads(nbThreads < 1 ? 1 : nbThreads), m_first(first), m_second(second), m_isSelf(isSelf)
{
}

bool IntersectMeshMesh::Perform()
{
  m_result.clear();
  if (m_first.IsNull() || m_second.IsNull() || (m_isSelf && m_first != m_second))
  {
    return false;
  }
  // 1. Build the hierarchies (before any thread reads them).
  const Tree& treeA = *m_first->BVH();
  const Tree& treeB = *m_second->BVH();
  if (treeA.Length() == 0 || treeB.Length() == 0)
  {
    return true;
  }
  const PairFinder finder(*m_first, treeA, *m_second, treeB, m_isSelf);

  // 2. Expand the traversal breadth-first into independent pieces of work.
  std::vector<NodePair> tasks;
  {
    std::deque<NodePair>  queue;
    std::vector<NodePair> children;
    if (m_isSelf || boxesTouch(treeA, 0, treeB, 0))
    {
      queue.emplace_back(0, 0);
    }
    while (!queue.empty() && queue.size() + tasks.size() < THE_NB_TASKS)
    {
      const NodePair pair = queue.front();
      queue.pop_front();
      if (finder.IsLeafPair(pair))
      {
        tasks.push_back(pair);
        continue;
      }
      children.clear();
      finder.Expand(pair, children);
      queue.insert(queue.end(), children.begin(), children.end());
    }
    tasks.insert(tasks.end(), queue.begin(), queue.end());
  }

  // 3. Process the pieces in parallel, each into its own list. A monitor that asks to stop
  //    cancels the task group, so that no further piece starts.
  std::vector<std::vector<NodePair>> found(tasks.size());
  std::atomic<size_t>                nbDone{0};
  std::atomic<bool>                  isStopped{false};
  tbb::task_group_context            context;
  tbb::task_arena                    arena(ArenaSize(m_nbThreads));
  const TaskFence                    fence;
  arena.execute(
      [&]
      {
        tbb::parallel_for(
            size_t(0), tasks.size(),
            [&](const size_t t)
            {
              fence.Enter();
              if (m_monitor && !m_monitor(nbDone.load(std::memory_order_relaxed), tasks.size()))
              {
                isStopped.store(true);
                context.cancel_group_execution();
              }
              else
              {
                finder.Run(tasks[t], found[t]);
                nbDone.fetch_add(1, std::memory_order_relaxed);
              }
              fence.Leave();
            },
            context);
      });
  fence.Join();
  if (isStopped.load())
  {
    return false;
  }

  // 4. Translate positions into triangle indices and sort the pairs.
  std::vector<NodePair> pairs;
  for (const std::vector<NodePair>& list : found)
  {
    for (const NodePair& pair : list)
    {
      int a = m_first->Id(pair.first);
      int b = m_second->Id(pair.second);
      if (m_isSelf && a > b)
      {
        std::swap(a, b);
      }
      pairs.emplace_back(a, b);
    }
  }
  std::sort(pairs.begin(), pairs.end());
  m_result.reserve(2 * pairs.size());
  for (const NodePair& pair : pairs)
  {
    m_result.push_back(pair.first);
    m_result.push_back(pair.second);
  }
  return true;
}

} // namespace BVHTools
