// Octree voxelization of a triangle surface.
//
// Top-down subdivision: each node to split receives the list of triangles that meet it and
// hands every octant the triangles that meet the octant, by an exact separating-axis
// triangle-box test (skipped when the triangle's box lies within the octant's). The first
// levels are split on the calling thread until there are enough independent subtrees,
// which are then built in parallel into arrays of their own and appended to the tree.
// Cost: O(n · d) triangle-box tests for n small triangles and depth d.
#include <Algo_VoxelizationMinSize.hxx>

#include <SurfWrap_DummyProgressNotifier.hxx>
#include <SurfWrap_TriangleSoup.hxx>

#include <BVHTools_PrimitiveSet.hxx>

#include <tbb/parallel_for.h>
#include <BVHTools_TaskFence.hxx>
#include <tbb/task_arena.h>

#include <atomic>
#include <memory>
#include <cmath>

using SurfWrap_Geometry::Vec;

namespace
{

constexpr int THE_MAX_DEPTH = 16;

// Builds subtrees of one tree; shared read-only by the tasks.
struct OctreeBuilder
{
  const SurfWrap_TriangleSoup& soup;
  Vec                          origin;
  double                       rootSize;
  int                          maxDepth;
  SurfWrap_ProgressNotifier&   notifier;
  std::atomic<bool>&           isStopped;

  // Appends the eight children of nodes[node] to `nodes` and returns, per octant, the
  // triangles meeting it.
  void split(std::vector<SVO_Tree::Node>& nodes,
             const int                    node,
             const std::vector<int>&      triangles,
             std::vector<int> (&octantTriangles)[8]) const
  {
    const SVO_Tree::Node parent = nodes[node];
    nodes[node].firstChild      = static_cast<int>(nodes.size());
    nodes[node].cls             = SVO_OnSurface;
    const double size           = std::ldexp(rootSize, -(parent.level + 1));
    // Octants computed from their own corners do not tile exactly in floating point: a
    // hair of overlap keeps a triangle lying on a shared face from slipping between them.
    const double eps = 1e-9 * size;
    const Vec    half{0.5 * size + eps, 0.5 * size + eps, 0.5 * size + eps};
    Vec          centers[8], lo[8], hi[8];
    for (int octant = 0; octant < 8; ++octant)
    {
      SVO_Tree::Node child{-1,
                           2 * parent.i + (octant & 1),
                           2 * parent.j + ((octant >> 1) & 1),
                           2 * parent.k + ((octant >> 2) & 1),
                           static_cast<uint8_t>(parent.level + 1),
                           SVO_Unclassified};
      nodes.push_back(child);
      centers[octant] = {origin.x + (child.i + 0.5) * size, origin.y + (child.j + 0.5) * size,
                         origin.z + (child.k + 0.5) * size};
      lo[octant]      = centers[octant] - half;
      hi[octant]      = centers[octant] + half;
      octantTriangles[octant].clear();
    }
    // The octants a triangle's box reaches, from its position against the parent's middle
    // planes; most small triangles reach one.
    const Vec middle = hi[0];
    for (const int t : triangles)
    {
      const Vec* box = &soup.Boxes[2 * static_cast<size_t>(t)];
      const int  x0 = box[0].x <= middle.x ? 0 : 1, x1 = box[1].x >= lo[1].x ? 1 : 0;
      const int  y0 = box[0].y <= middle.y ? 0 : 1, y1 = box[1].y >= lo[2].y ? 1 : 0;
      const int  z0 = box[0].z <= middle.z ? 0 : 1, z1 = box[1].z >= lo[4].z ? 1 : 0;
      const Vec* c = &soup.Corners[3 * static_cast<size_t>(t)];
      for (int z = z0; z <= z1; ++z)
      {
        for (int y = y0; y <= y1; ++y)
        {
          for (int x = x0; x <= x1; ++x)
          {
            const int  o        = x | (y << 1) | (z << 2);
            const bool isWithin = box[0].x >= lo[o].x && box[1].x <= hi[o].x &&
                                  box[0].y >= lo[o].y && box[1].y <= hi[o].y &&
                                  box[0].z >= lo[o].z && box[1].z <= hi[o].z;
            if (isWithin ||
                SurfWrap_Geometry::TriangleBoxOverlap(centers[o], half, c[0], c[1], c[2]))
            {
              octantTriangles[o].push_back(t);
            }
          }
        }
      }
    }
  }

  // Splits nodes[node], met by `triangles`, down to the finest level.
  void
  build(std::vector<SVO_Tree::Node>& nodes, const int node, const std::vector<int>& triangles) const
  {
    if (nodes[node].level >= maxDepth)
    {
      nodes[node].cls = SVO_OnSurface;
      return;
    }
    if (isStopped.load(std::memory_order_relaxed))
    {
      return;
    }
    if (nodes[node].level + 3 == maxDepth && notifier.IsInterrupted())
    {
      isStopped = true;
      return;
    }
    std::vector<int> octantTriangles[8];
    split(nodes, node, triangles, octantTriangles);
    const int first = nodes[node].firstChild;
    for (int octant = 0; octant < 8; ++octant)
    {
      if (!octantTriangles[octant].empty())
      {
        build(nodes, first + octant, octantTriangles[octant]);
      }
    }
  }
};

} // namespace

Algo_VoxelizationMinSize::Algo_VoxelizationMinSize(const Handle(Poly_Triangulation) & mesh,
                                                   const Handle(SurfWrap_ProgressNotifier) &
                                                       notifier)
    : m_mesh(mesh),
      m_notifier(notifier.IsNull()
                     ? Handle(SurfWrap_ProgressNotifier)(SurfWrap_DummyProgressNotifier::Instance())
                     : notifier),
      m_minSize(0.0), m_nbThreads(1)
{
}

bool Algo_VoxelizationMinSize::Perform()
{
  m_tree.Nullify();

  // 1. Read the usable triangles and check the size. Reading, the first levels and the
  //    subtrees are each a third of the progress.
  tbb::task_arena                        arena(BVHTools::ArenaSize(m_nbThreads));
  std::unique_ptr<SurfWrap_TriangleSoup> read;
  arena.execute([&] { read.reset(new SurfWrap_TriangleSoup(m_mesh)); });
  const SurfWrap_TriangleSoup& soup = *read;
  if (soup.IsEmpty())
  {
    m_notifier->NewMessage("SurfWrap.Voxelization.EmptyMesh", SurfWrap_Fail);
    return false;
  }
  if (!(m_minSize > 0.0) || !std::isfinite(m_minSize))
  {
    m_notifier->NewMessage("SurfWrap.Voxelization.BadSize", SurfWrap_Fail);
    return false;
  }

  m_notifier->NewScope(3, "Voxelization");
  m_notifier->Increment();

  // 2. Root cube: 2^d finest voxels of the minimal size, d the least depth that leaves a
  //    margin of one voxel around the mesh on each side, so that the outside reaches around
  //    the surface. Beyond the depth limit the voxels grow instead.
  const double extent =
      std::max({soup.Max.x - soup.Min.x, soup.Max.y - soup.Min.y, soup.Max.z - soup.Min.z});
  int    depth = static_cast<int>(std::ceil(std::log2(extent / m_minSize + 2.0)));
  double voxel = m_minSize;
  if (depth > THE_MAX_DEPTH)
  {
    depth = THE_MAX_DEPTH;
    voxel = extent / (std::ldexp(1.0, THE_MAX_DEPTH) - 2.0);
  }
  const double rootSize = std::ldexp(voxel, depth);
  const Vec    center   = 0.5 * (soup.Min + soup.Max);
  const Vec    origin   = center - Vec{0.5 * rootSize, 0.5 * rootSize, 0.5 * rootSize};
  Handle(SVO_Tree) tree = new SVO_Tree(gp_XYZ(origin.x, origin.y, origin.z), rootSize);

  // 3. Split the first levels here until there are enough subtrees for the threads.
  std::atomic<bool>            isStopped(false);
  OctreeBuilder                builder{soup, origin, rootSize, depth, *m_notifier, isStopped};
  std::vector<SVO_Tree::Node>& nodes = tree->ChangeNodes();
  std::vector<int>             all(soup.NbTriangles());
  for (int t = 0; t < soup.NbTriangles(); ++t)
  {
    all[t] = t;
  }
  std::vector<std::pair<int, std::vector<int>>> frontier;
  frontier.emplace_back(0, std::move(all));
  const size_t wanted = 16 * static_cast<size_t>(m_nbThreads);
  while (!frontier.empty() && frontier.size() < wanted &&
         nodes[frontier.front().first].level < depth)
  {
    std::vector<std::pair<int, std::vector<int>>> next;
    for (auto& item : frontier)
    {
      std::vector<int> octantTriangles[8];
      builder.split(nodes, item.first, item.second, octantTriangles);
      for (int octant = 0; octant < 8; ++octant)
      {
        if (!octantTriangles[octant].empty())
        {
          next.emplace_back(nodes[item.first].firstChild + octant,
                            std::move(octantTriangles[octant]));
        }
      }
    }
    frontier.swap(next);
  }
  m_notifier->Increment();

  // 4. Build the remaining subtrees in parallel, each into an array whose node 0 is its
  //    root, then append them with their child indices shifted. Each subtree built is a
  //    step of the progress (the notifier takes steps from any thread).
  m_notifier->NewScope(static_cast<int>(frontier.size()), "Subtrees");
  std::vector<std::vector<SVO_Tree::Node>> subtrees(frontier.size());
  const BVHTools::TaskFence                fence;
  arena.execute(
      [&]
      {
        tbb::parallel_for(size_t(0), frontier.size(),
                          [&](const size_t s)
                          {
                            fence.Enter();
                            subtrees[s].push_back(nodes[frontier[s].first]);
                            builder.build(subtrees[s], 0, frontier[s].second);
                            m_notifier->Increment();
                            fence.Leave();
                          });
      });
  fence.Join();
  m_notifier->EndScope();
  m_notifier->EndScope();
  if (isStopped)
  {
    return false;
  }
  for (size_t s = 0; s < frontier.size(); ++s)
  {
    const std::vector<SVO_Tree::Node>& local = subtrees[s];
    const int                          shift = static_cast<int>(nodes.size()) - 1;
    SVO_Tree::Node                     root  = local[0];
    if (root.firstChild >= 0)
    {
      root.firstChild += shift;
    }
    nodes[frontier[s].first] = root;
    for (size_t n = 1; n < local.size(); ++n)
    {
      SVO_Tree::Node node = local[n];
      if (node.firstChild >= 0)
      {
        node.firstChild += shift;
      }
      nodes.push_back(node);
    }
  }
  m_tree = tree;
  return true;
}
