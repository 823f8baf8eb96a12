// Pairwise hierarchy walk with an explicit stack.
#include <BVHTools_Iterator2.hxx>

namespace BVHTools
{

Iterator2::Iterator2(const opencascade::handle<BVH_Tree<double, 3>>& first,
                     const opencascade::handle<BVH_Tree<double, 3>>& second)
    : m_first(first), m_second(second)
{
  m_hasCurrent = !first.IsNull() && !second.IsNull() && first->Length() > 0 && second->Length() > 0;
}

void Iterator2::Prune(const int i, const int j)
{
  if (i >= 0 && i < 2 && j >= 0 && j < 2)
  {
    m_pruned[i][j] = true;
  }
}

void Iterator2::Next()
{
  if (!m_hasCurrent)
  {
    return;
  }
  const bool firstLeaf  = m_first->IsOuter(m_current[0]);
  const bool secondLeaf = m_second->IsOuter(m_current[1]);
  if (!(firstLeaf && secondLeaf))
  {
    // Pushed in reverse so that slot pairs are visited in increasing order.
    for (int i = NbFirstChildren() - 1; i >= 0; --i)
    {
      for (int j = NbSecondChildren() - 1; j >= 0; --j)
      {
        if (!m_pruned[i][j])
        {
          m_stack.emplace_back(FirstChild(i), SecondChild(j));
        }
      }
    }
  }
  m_pruned[0][0] = m_pruned[0][1] = m_pruned[1][0] = m_pruned[1][1] = false;
  if (m_stack.empty())
  {
    m_hasCurrent = false;
    return;
  }
  m_current[0] = m_stack.back().first;
  m_current[1] = m_stack.back().second;
  m_stack.pop_back();
}

} // namespace BVHTools
