// Preorder walk with an explicit stack.
#include <SVO_Depth_Iterator.hxx>

SVO_Depth_Iterator::SVO_Depth_Iterator(const Handle(SVO_Tree) & tree) : m_tree(tree)
{
  if (!tree.IsNull() && tree->NbNodes() > 0)
  {
    m_stack.push_back(0);
  }
}

void SVO_Depth_Iterator::Next()
{
  if (m_stack.empty())
  {
    return;
  }
  const int node = m_stack.back();
  m_stack.pop_back();
  if (!m_tree->IsLeaf(node))
  {
    // Pushed in reverse so that octant 0 comes first.
    for (int octant = 7; octant >= 0; --octant)
    {
      m_stack.push_back(m_tree->Child(node, octant));
    }
  }
}
