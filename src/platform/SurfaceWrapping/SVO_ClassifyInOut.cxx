// Flood fill of the surface-free leaves of an octree from the root's boundary.
#include <SVO_ClassifyInOut.hxx>

#include <SurfWrap_DummyProgressNotifier.hxx>

#include <deque>

SVO_ClassifyInOut::SVO_ClassifyInOut(const Handle(SVO_Tree) & tree,
                                     const Handle(SurfWrap_ProgressNotifier) & notifier)
    : m_tree(tree),
      m_notifier(notifier.IsNull()
                     ? Handle(SurfWrap_ProgressNotifier)(SurfWrap_DummyProgressNotifier::Instance())
                     : notifier),
      m_nbInside(0), m_nbOutside(0), m_nbOnSurface(0)
{
}

bool SVO_ClassifyInOut::Perform()
{
  m_nbInside = m_nbOutside = m_nbOnSurface = 0;
  if (m_tree.IsNull())
  {
    return false;
  }
  m_tree->SetClassified(false);
  std::vector<SVO_Tree::Node>& nodes = m_tree->ChangeNodes();

  // 1. Reset the surface-free leaves; seed the flood with those on the root's boundary.
  std::deque<int> queue;
  for (int n = 0; n < static_cast<int>(nodes.size()); ++n)
  {
    SVO_Tree::Node& node = nodes[n];
    if (node.firstChild >= 0 || node.cls == SVO_OnSurface)
    {
      continue;
    }
    node.cls           = SVO_Unclassified;
    const int32_t last = (1 << node.level) - 1;
    if (node.i == 0 || node.j == 0 || node.k == 0 || node.i == last || node.j == last ||
        node.k == last)
    {
      node.cls = SVO_Outside;
      queue.push_back(n);
    }
  }

  // 2. Flood the outside through the faces of surface-free leaves.
  std::vector<int> neighbours;
  size_t           nbVisited = 0;
  while (!queue.empty())
  {
    const int leaf = queue.front();
    queue.pop_front();
    if ((++nbVisited & 0xFFFF) == 0 && m_notifier->IsInterrupted())
    {
      return false;
    }
    for (int side = 0; side < 6; ++side)
    {
      neighbours.clear();
      faceNeighbours(leaf, side, neighbours);
      for (const int other : neighbours)
      {
        if (nodes[other].cls == SVO_Unclassified)
        {
          nodes[other].cls = SVO_Outside;
          queue.push_back(other);
        }
      }
    }
  }

  // 3. What the flood did not reach is enclosed by the surface.
  for (SVO_Tree::Node& node : nodes)
  {
    if (node.firstChild >= 0)
    {
      continue;
    }
    if (node.cls == SVO_Unclassified)
    {
      node.cls = SVO_Inside;
    }
    m_nbInside += node.cls == SVO_Inside;
    m_nbOutside += node.cls == SVO_Outside;
    m_nbOnSurface += node.cls == SVO_OnSurface;
  }
  m_tree->SetClassified(true);
  return true;
}

void SVO_ClassifyInOut::faceNeighbours(const int         leaf,
                                       const int         side,
                                       std::vector<int>& neighbours) const
{
  const std::vector<SVO_Tree::Node>& nodes   = m_tree->Nodes();
  const SVO_Tree::Node&              node    = nodes[leaf];
  const int                          axis    = side / 2;
  const int                          step    = (side & 1) ? 1 : -1;
  int32_t                            cell[3] = {node.i, node.j, node.k};
  cell[axis] += step;
  if (cell[axis] < 0 || cell[axis] >= (1 << node.level))
  {
    return;
  }

  // Descend to the node of the cell's level that holds the cell, or to a coarser leaf.
  int current = 0;
  for (int level = 0; level < node.level && nodes[current].firstChild >= 0; ++level)
  {
    const int shift  = node.level - level - 1;
    const int octant = ((cell[0] >> shift) & 1) | (((cell[1] >> shift) & 1) << 1) |
                       (((cell[2] >> shift) & 1) << 2);
    current = nodes[current].firstChild + octant;
  }
  if (nodes[current].firstChild < 0)
  {
    neighbours.push_back(current);
    return;
  }

  // A finer neighbour: the leaves of its subtree on the face turned towards `leaf`.
  const int        facing = step > 0 ? 0 : 1; // octant bit along the axis on that face
  std::vector<int> stack{current};
  while (!stack.empty())
  {
    const int n = stack.back();
    stack.pop_back();
    if (nodes[n].firstChild < 0)
    {
      neighbours.push_back(n);
      continue;
    }
    for (int octant = 0; octant < 8; ++octant)
    {
      if (((octant >> axis) & 1) == facing)
      {
        stack.push_back(nodes[n].firstChild + octant);
      }
    }
  }
}
