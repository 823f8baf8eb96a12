// Entry point of shrink wrapping: a closed, manifold envelope of a dirty mesh.
#ifndef SurfWrap_API_HeaderFile
#define SurfWrap_API_HeaderFile

#include <SurfWrap_WrappingSettings.hxx>

#include <Poly_Triangulation.hxx>

//! Wraps a dirty mesh (a triangle soup, a mesh with holes, overlaps or self-intersections):
//!
//!   Handle(SurfWrap_WrappingSettings) settings = new SurfWrap_WrappingSettings(notifier);
//!   settings->Size = 0.5;
//!   settings->AppendRefinementAlgorithm("Algo_Smoothing", Algo_Smoothing::SmoothingComponent_All,
//!   5); SurfWrap_API api(notifier); api.SetDirtyMesh(mesh); if (api.PerformWrapping(settings))
//!   use(api.GetResultTriangulation());
//!
//! The result is closed, every edge is shared by exactly two triangles turning the same way
//! (outward), and no two triangles cross (exact test). Its vertices lie on the input where
//! the input is within two voxels; over holes wider than that they form a smooth patch.
//! Gaps and holes up to about one voxel close; cavities are filled; separate parts closer
//! than about a voxel merge. Progress goes to the notifier in five equal steps
//! (voxelization, extraction, shrinking, refinement, triangulation).
class SurfWrap_EXPORT SurfWrap_API
{
public:
  //! @param[in] notifier  receives progress and messages, answers cancellation; null
  //!                      counts as silent
  explicit SurfWrap_API(const Handle(SurfWrap_ProgressNotifier) & notifier);

  //! The mesh to wrap; its locations are not applied.
  void SetDirtyMesh(const Handle(Poly_Triangulation) & mesh) { m_mesh = mesh; }

  //! Runs the wrapping with `settings`.
  //! @return false, with a failure message, when there is no mesh or no settings, an
  //!         algorithm name is unknown, the size is not positive and finite, or the mesh
  //!         has no usable triangle; false with "The wrapping was interrupted." when the
  //!         notifier asked to stop. The result is then null.
  bool PerformWrapping(const Handle(SurfWrap_WrappingSettings) & settings);

  //! The envelope of the last successful wrapping; null otherwise.
  const Handle(Poly_Triangulation) & GetResultTriangulation() const { return m_result; }

private:
  //! Checks the mesh and the settings, with a failure message on the first problem.
  bool checkInput(const SurfWrap_WrappingSettings& settings) const;

  //! Records the interruption; always false.
  bool interrupted() const;

private:
  Handle(SurfWrap_ProgressNotifier) m_notifier;
  Handle(Poly_Triangulation) m_mesh;
  Handle(Poly_Triangulation) m_result;
};

#endif
