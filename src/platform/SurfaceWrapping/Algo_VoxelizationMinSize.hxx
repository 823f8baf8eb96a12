// Voxelization of a triangle surface into a sparse octree whose finest voxels are no
// smaller than a given size.
#ifndef Algo_VoxelizationMinSize_HeaderFile
#define Algo_VoxelizationMinSize_HeaderFile

#include <SVO_Tree.hxx>
#include <SurfWrap_ProgressNotifier.hxx>

#include <Poly_Triangulation.hxx>

//! Builds an SVO_Tree over a mesh: the root is a cube around the mesh with a margin of at
//! least one finest voxel, and a node is split into octants while it meets a triangle and
//! its octants would be no smaller than the minimal voxel size. The leaves met by the
//! surface are therefore all of the finest level, of edge between the minimal size and
//! twice it, and are classified SVO_OnSurface; the other leaves stay unclassified until
//! SVO_ClassifyInOut runs. The depth is limited to 16 levels (voxels then stay larger than
//! asked). Cost: O(n · d) exact triangle-box tests for n triangles and depth d, plus one
//! node per split; subtrees are built in parallel.
class SurfWrap_EXPORT Algo_VoxelizationMinSize
{
public:
  //! @param[in] mesh      surface to voxelize, 1-based; its triangles need not be connected
  //!                      nor closed; triangles referring to missing nodes or to
  //!                      coordinates that are not finite are left out
  //! @param[in] notifier  receives messages, answers cancellation; null counts as silent
  Algo_VoxelizationMinSize(const Handle(Poly_Triangulation) & mesh,
                           const Handle(SurfWrap_ProgressNotifier) & notifier);

  //! Threads the build may use; values below 1 count as 1. Default 1.
  void SetNbThreads(const int nbThreads) { m_nbThreads = nbThreads < 1 ? 1 : nbThreads; }

  //! Smallest edge length of a voxel, in model units; must be positive and finite.
  void SetMinVoxelSize(const double size) { m_minSize = size; }

  //! Builds the tree.
  //! @return false, with a failure message in the notifier, when the mesh has no usable
  //!         triangle or the minimal size is not positive and finite; false without a
  //!         message when the notifier asked to stop
  bool Perform();

  //! The tree of the last successful Perform; null before.
  const Handle(SVO_Tree) & Tree() const { return m_tree; }

private:
  Handle(Poly_Triangulation) m_mesh;
  Handle(SurfWrap_ProgressNotifier) m_notifier;
  Handle(SVO_Tree) m_tree;
  double m_minSize;
  int    m_nbThreads;
};

#endif
