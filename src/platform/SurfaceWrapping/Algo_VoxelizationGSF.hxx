// Solid voxelization of a dirty surface on a uniform grid: the cells that the outside
// cannot reach through gaps narrower than about one voxel.
#ifndef Algo_VoxelizationGSF_HeaderFile
#define Algo_VoxelizationGSF_HeaderFile

#include <SurfWrap_Geometry.hxx>
#include <SurfWrap_ProgressNotifier.hxx>

#include <Poly_Triangulation.hxx>

#include <cstdint>
#include <vector>

//! A uniform grid of cubic cells, x fastest: cell (x, y, z) spans
//! [Origin + (x, y, z) · Size, Origin + (x + 1, y + 1, z + 1) · Size].
struct SurfWrap_VoxelGrid
{
  SurfWrap_Geometry::Vec Origin{0.0, 0.0, 0.0};
  double                 Size = 0.0;
  int                    Nx = 0, Ny = 0, Nz = 0;
  std::vector<uint8_t>   Solid; //!< 1 for a solid cell

  size_t Index(const int x, const int y, const int z) const
  {
    return static_cast<size_t>(x) + static_cast<size_t>(Nx) * (y + static_cast<size_t>(Ny) * z);
  }
  size_t NbCells() const { return static_cast<size_t>(Nx) * Ny * Nz; }
};

//! Grid, surface and flood voxelization ("Algo_VoxelizationGSF"): the cells met by the
//! triangles are marked (exact triangle-box test), grown by one cell across faces so that
//! gaps of the surface up to about a voxel wide are bridged, the outside is flooded from
//! the grid's corner, and grown back by one cell (a morphological closing that keeps every
//! cell the surface meets). Everything the outside does not reach is solid, so cavities
//! and overlapping or self-intersecting parts merge into one solid. The solid is finally
//! made well-composed (no two solid cells meeting only along an edge or at a corner, nor
//! two outside cells, within any 2×2×2 block) by filling such blocks, so that the boundary
//! of its cells is a 2-manifold. The grid keeps a margin of three cells around the mesh and
//! holds at most 2^27 cells; a smaller voxel size is enlarged to fit, with a warning.
//! Cost: O(n · c) for n triangles meeting c cells each, plus O(N) for the N cells, in
//! parallel slabs of the grid except for the flood.
class SurfWrap_EXPORT Algo_VoxelizationGSF
{
public:
  //! @param[in] mesh      surface to voxelize; unusable triangles (missing nodes, coordinates
  //!                      that are not finite) are left out
  //! @param[in] notifier  receives messages, answers cancellation; null counts as silent
  Algo_VoxelizationGSF(const Handle(Poly_Triangulation) & mesh,
                       const Handle(SurfWrap_ProgressNotifier) & notifier);

  //! Threads the parallel loops may use; values below 1 count as 1. Default 1.
  void SetNbThreads(const int nbThreads) { m_nbThreads = nbThreads < 1 ? 1 : nbThreads; }

  //! Edge length of a cell, in model units; must be positive and finite.
  void SetVoxelSize(const double size) { m_size = size; }

  //! @return false, with a failure message in the notifier, when the mesh has no usable
  //!         triangle or the size is not positive and finite; false without a message when
  //!         the notifier asked to stop
  bool Perform();

  //! The solid grid of the last successful Perform.
  const SurfWrap_VoxelGrid& Grid() const { return m_grid; }
  SurfWrap_VoxelGrid&       ChangeGrid() { return m_grid; }

private:
  //! Counts a step of the grid work done and lets the host see it; false when asked to stop.
  bool isGoingOn() const;

  //! Marks the cells met by the triangles into `surface`; false when asked to stop.
  bool rasterize(const std::vector<SurfWrap_Geometry::Vec>& corners,
                 std::vector<uint8_t>&                      surface) const;

  //! Marks in `outside` the cells reached from cell 0 through cells free in `blocked` (and
  //! not yet outside), across faces.
  static void flood(const SurfWrap_VoxelGrid&   grid,
                    const std::vector<uint8_t>& blocked,
                    std::vector<uint8_t>&       outside);

  //! Fills the blocks that keep the solid from being well-composed and the cavities this
  //! leaves; false when stopped.
  bool makeWellComposed();

private:
  Handle(Poly_Triangulation) m_mesh;
  Handle(SurfWrap_ProgressNotifier) m_notifier;
  SurfWrap_VoxelGrid m_grid;
  double             m_size;
  int                m_nbThreads;
};

#endif
