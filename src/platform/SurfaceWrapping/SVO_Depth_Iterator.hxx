// Depth-first walk over the nodes of a voxel octree.
#ifndef SVO_Depth_Iterator_HeaderFile
#define SVO_Depth_Iterator_HeaderFile

#include <SVO_Tree.hxx>

//! Visits every node of a tree once, parents before children, children in octant order:
//!
//!   for (SVO_Depth_Iterator it(tree); it.More(); it.Next())
//!     if (tree->IsLeaf(it.Current())) ...
//!
//! A null tree gives an empty walk. The tree must not change during the walk.
class SurfWrap_EXPORT SVO_Depth_Iterator
{
public:
  explicit SVO_Depth_Iterator(const Handle(SVO_Tree) & tree);

  bool More() const { return !m_stack.empty(); }

  //! Index of the current node in the tree.
  int Current() const { return m_stack.back(); }

  void Next();

private:
  Handle(SVO_Tree) m_tree;
  std::vector<int> m_stack;
};

#endif
