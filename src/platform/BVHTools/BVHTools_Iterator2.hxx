// Depth-first walk over pairs of nodes of two hierarchies, pruned by the caller.
#ifndef BVHTools_Iterator2_HeaderFile
#define BVHTools_Iterator2_HeaderFile

#include <BVHTools_Export.hxx>

#include <BVH_BinaryTree.hxx>

#include <vector>

namespace BVHTools
{

//! Visits pairs (a, b) of nodes, a of the first tree and b of the second, starting with the
//! pair of roots. Next() moves on to the children pairs of the current pair that were not
//! pruned: a leaf stands for itself (child slot 0), an inner node for its two children
//! (slots 0 and 1), so two leaves have no children pair. Children pairs are visited before
//! the remaining siblings of the current pair (depth first). Nothing is visited when a
//! tree is null or empty. The trees must outlive the iterator and stay unchanged.
//!
//!   for (BVHTools::Iterator2 it(treeA, treeB); it.More(); it.Next())
//!     for each child slot i of it.First(), j of it.Second(): if apart, it.Prune(i, j)
class BVHTools_EXPORT Iterator2
{
public:
  Iterator2(const opencascade::handle<BVH_Tree<double, 3>>& first,
            const opencascade::handle<BVH_Tree<double, 3>>& second);

  //! True while a pair is current.
  bool More() const { return m_hasCurrent; }

  //! Moves to the next pair.
  void Next();

  //! Node of the first tree in the current pair.
  int First() const { return m_current[0]; }

  //! Node of the second tree in the current pair.
  int Second() const { return m_current[1]; }

  //! Node in child slot `slot` (0 or 1) of the current first node: the node itself when it
  //! is a leaf (slot 0 only).
  int FirstChild(const int slot) const { return childOf(*m_first, m_current[0], slot); }

  //! The same for the second node.
  int SecondChild(const int slot) const { return childOf(*m_second, m_current[1], slot); }

  //! Number of child slots of the current first node: 1 for a leaf, 2 otherwise.
  int NbFirstChildren() const { return m_first->IsOuter(m_current[0]) ? 1 : 2; }

  //! The same for the second node.
  int NbSecondChildren() const { return m_second->IsOuter(m_current[1]) ? 1 : 2; }

  //! Keeps the children pair (first slot i, second slot j) of the current pair from being
  //! visited. Slots out of range are ignored.
  void Prune(const int i, const int j);

private:
  static int childOf(const BVH_Tree<double, 3>& tree, const int node, const int slot)
  {
    if (tree.IsOuter(node))
    {
      return node;
    }
    return slot == 0 ? tree.template Child<0>(node) : tree.template Child<1>(node);
  }

private:
  opencascade::handle<BVH_Tree<double, 3>> m_first;
  opencascade::handle<BVH_Tree<double, 3>> m_second;
  std::vector<std::pair<int, int>>         m_stack;
  int                                      m_current[2]   = {0, 0};
  bool                                     m_pruned[2][2] = {{false, false}, {false, false}};
  bool                                     m_hasCurrent   = false;
};

} // namespace BVHTools

#endif
