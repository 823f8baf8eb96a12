// Laplacian smoothing of the wrapping surface with its attached vertices kept on the input.
#ifndef Algo_Smoothing_HeaderFile
#define Algo_Smoothing_HeaderFile

#include <SurfWrap_WorkMesh.hxx>
#include <SurfWrap_ProgressNotifier.hxx>

//! Refinement "Algo_Smoothing": each iteration moves every vertex halfway to the centroid
//! of its edge neighbours, keeping only the chosen component of that move relative to the
//! vertex normal (area-weighted normal of its quads); attached vertices are then projected
//! back onto the input. Smoothing the whole move of attached vertices thus slides them
//! along the input and evens out the staircase of the voxels, while the free vertices over
//! holes relax into a smooth membrane. Cost: O(V) per iteration plus one projection per
//! attached vertex, in parallel.
class SurfWrap_EXPORT Algo_Smoothing
{
public:
  //! Which part of the Laplacian move is applied.
  enum SmoothingComponent
  {
    SmoothingComponent_Normal     = 0, //!< along the normal only: flattens bumps
    SmoothingComponent_Tangential = 1, //!< in the tangent plane only: evens the vertex spacing
    SmoothingComponent_All        = 2  //!< the whole move
  };

  //! @param[in] notifier  answers cancellation; null counts as silent
  explicit Algo_Smoothing(const Handle(SurfWrap_ProgressNotifier) & notifier);

  //! Threads the parallel loops may use; values below 1 count as 1. Default 1.
  void SetNbThreads(const int nbThreads) { m_nbThreads = nbThreads < 1 ? 1 : nbThreads; }

  //! Smooths `mesh` in place (its adjacency must be built).
  //! @param[in] component     which part of the move to apply
  //! @param[in] nbIterations  number of iterations; 0 or less does nothing
  //! @return false when stopped
  bool Perform(SurfWrap_WorkMesh&        mesh,
               const SurfWrap_Projector& projector,
               const SmoothingComponent  component,
               const int                 nbIterations) const;

private:
  Handle(SurfWrap_ProgressNotifier) m_notifier;
  int m_nbThreads;
};

#endif
