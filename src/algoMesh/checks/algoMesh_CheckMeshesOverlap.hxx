// How much the solids bounded by two closed meshes overlap.
//
//   Handle(quorin::algoMesh_CheckMeshesOverlap) check =
//     new quorin::algoMesh_CheckMeshesOverlap(0.01, progress, nullptr);
//   if (check->Perform(meshA, meshB))
//     show(check->OverlapRatio()); // 0 disjoint ... 1 the same solid
#ifndef algoMesh_CheckMeshesOverlap_HeaderFile
#define algoMesh_CheckMeshesOverlap_HeaderFile

#include <algoMesh.hxx>
#include <algoMesh_ProgressScope.hxx>

#include <algoBase_Algorithm.hxx>

#include <SVO_Tree.hxx>

#include <Poly_Triangulation.hxx>

namespace quorin
{

//! Voxelizes both meshes into octrees (finest voxels no smaller than VoxelSizeRatio() times
//! each mesh's box diagonal), keeps the voxels inside or on the surface, and sums the
//! volume the two voxel sets share, found by a pruned dual walk of two box hierarchies.
//! The ratio is that shared volume over the larger of the two voxel volumes. Voxels on the
//! surface count fully, so the ratio is exact only in the limit of small voxels: a cube in
//! a cube of twice its edge gives about 1/8 plus an error of the order of the voxel size
//! over the edge.
//!
//! The voxel tree of each side is built by the first Perform that succeeds for that side
//! and kept for the life of the object: later calls reuse it and do not read that side's
//! mesh again. One object compares one pair of meshes.
class algoMesh_EXPORT algoMesh_CheckMeshesOverlap : public algoBase_Algorithm
{
  DEFINE_STANDARD_RTTIEXT(algoMesh_CheckMeshesOverlap, algoBase_Algorithm)
public:
  //! @param[in] voxelSizeRatio  minimal voxel size as a fraction of each mesh's bounding-box
  //!                            diagonal; 0.01 by default (about 60 voxels along the edge of
  //!                            a cube); smaller is finer and slower (memory grows with the
  //!                            inverse square of the ratio)
  //! @param[in] progress        may be empty; receives the progress, and only the message of
  //!                            a cancelled run
  //! @param[in] plotter         may be empty
  algoMesh_CheckMeshesOverlap(const double         voxelSizeRatio = 0.01,
                              ActAPI_ProgressEntry progress       = ActAPI_ProgressEntry(),
                              ActAPI_PlotterEntry  plotter        = ActAPI_PlotterEntry());

  //! Changes the voxel size ratio for sides not voxelized yet.
  void   SetVoxelSizeRatio(const double ratio) { m_voxelSizeRatio = ratio; }
  double VoxelSizeRatio() const { return m_voxelSizeRatio; }

  //! Computes the overlap ratio of the solids bounded by `first` and `second`, with
  //! GetNbThreads() threads for voxelization and hierarchy builds (the parallel mode is not
  //! consulted). Locations are not applied.
  //! @return true when the ratio was computed; false, with OverlapRatio() −1 and no
  //!         message, when a mesh cannot be voxelized (null, without usable triangles, or a
  //!         ratio that is not positive), when a mesh encloses no voxel (an open surface, or
  //!         voxels too coarse for an interior), or when a hierarchy cannot be built;
  //!         false with "Operation cancelled." when the host stopped the run (a tree
  //!         voxelized before the request is kept for the next run)
  bool Perform(const Handle(Poly_Triangulation) & first, const Handle(Poly_Triangulation) & second);

  //! The result of the last Perform: from 0 to 1, or −1 when it failed.
  double OverlapRatio() const { return m_overlapRatio; }

  //! Voxel trees of the two sides; null until voxelized.
  const Handle(SVO_Tree) & FirstTree() const { return m_firstTree; }
  const Handle(SVO_Tree) & SecondTree() const { return m_secondTree; }

protected:
  //! Voxelizes `mesh` into `tree` when `tree` is null; `isNew` tells whether it did.
  bool voxelize(const Handle(Poly_Triangulation) & mesh,
                Handle(SVO_Tree) & tree,
                bool&                         isNew,
                const algoMesh_ProgressScope& progress) const;

  //! Shared volume of the inside and surface voxels of the two (classified) trees.
  bool compare(const bool isFirstNew, const bool isSecondNew, algoMesh_ProgressScope& progress);

private:
  double m_voxelSizeRatio;
  double m_overlapRatio;
  Handle(SVO_Tree) m_firstTree;
  Handle(SVO_Tree) m_secondTree;
};

} // namespace quorin

#endif
