// Node geometry of the sparse voxel octree.
#include <SVO_Tree.hxx>

#include <algorithm>
#include <cmath>

IMPLEMENT_STANDARD_RTTIEXT(SVO_Tree, Standard_Transient)

SVO_Tree::SVO_Tree(const gp_XYZ& origin, const double rootSize)
    : m_origin(origin), m_rootSize(rootSize), m_isClassified(false)
{
  m_nodes.push_back(Node{-1, 0, 0, 0, 0, SVO_Unclassified});
}

double SVO_Tree::Size(const int node) const
{
  return std::ldexp(m_rootSize, -static_cast<int>(m_nodes[node].level));
}

void SVO_Tree::Box(const int node, gp_XYZ& min, gp_XYZ& max) const
{
  const Node&  n = m_nodes[node];
  const double s = Size(node);
  min            = m_origin + gp_XYZ(n.i * s, n.j * s, n.k * s);
  max            = m_origin + gp_XYZ((n.i + 1) * s, (n.j + 1) * s, (n.k + 1) * s);
}

int SVO_Tree::Depth() const
{
  int depth = 0;
  for (const Node& n : m_nodes)
  {
    depth = std::max(depth, static_cast<int>(n.level));
  }
  return depth;
}
