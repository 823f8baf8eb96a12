// Inside/outside classification of the leaves of a voxel octree.
#ifndef SVO_ClassifyInOut_HeaderFile
#define SVO_ClassifyInOut_HeaderFile

#include <SVO_Tree.hxx>
#include <SurfWrap_ProgressNotifier.hxx>

//! Classifies the leaves of a tree built by Algo_VoxelizationMinSize: leaves met by the
//! surface keep SVO_OnSurface; the other leaves are SVO_Outside when they are connected
//! through faces of surface-free leaves to the boundary of the root cube, SVO_Inside
//! otherwise. An open surface whose gaps are wider than a voxel therefore has no inside.
//! Method: breadth-first flood over face neighbours, each found by a descent from the root
//! (O(d) for depth d) and, towards finer nodes, by the walk of the neighbour's face.
//! Cost: O(m · d) for m leaves.
class SurfWrap_EXPORT SVO_ClassifyInOut
{
public:
  //! @param[in] tree      the tree to classify (changed in place)
  //! @param[in] notifier  answers cancellation; null counts as silent
  explicit SVO_ClassifyInOut(const Handle(SVO_Tree) & tree,
                             const Handle(SurfWrap_ProgressNotifier) & notifier = nullptr);

  //! Classifies every leaf and marks the tree classified.
  //! @return false when the tree is null or the notifier asked to stop (the classes are
  //!         then partial and the tree is not marked classified)
  bool Perform();

  //! Number of leaves of each class after Perform.
  int NbInside() const { return m_nbInside; }
  int NbOutside() const { return m_nbOutside; }
  int NbOnSurface() const { return m_nbOnSurface; }

private:
  //! The leaves of the tree sharing a face with `leaf` on side `side` (0..5: -x, +x, -y,
  //! +y, -z, +z), appended to `neighbours`.
  void faceNeighbours(const int leaf, const int side, std::vector<int>& neighbours) const;

private:
  Handle(SVO_Tree) m_tree;
  Handle(SurfWrap_ProgressNotifier) m_notifier;
  int m_nbInside;
  int m_nbOutside;
  int m_nbOnSurface;
};

#endif
