// Decimation by quadric edge collapse that keeps the mesh's topology and embedding.
#ifndef algoMesh_TopoDecimation_HeaderFile
#define algoMesh_TopoDecimation_HeaderFile

#include <algoMesh_Decimate.hxx>

#include <atomic>

namespace quorin
{

//! Removes the requested share of triangles by collapsing edges in the order of least
//! quadric error, refusing every collapse that would change what the mesh is:
//! - one that breaks the link condition (the two ends of the edge may share no neighbour
//!   but the corners opposite the edge), which would pinch the surface into a
//!   non-manifold edge or vertex, or that would reduce a closed component below a
//!   tetrahedron;
//! - one that turns a triangle's normal by more than about 80 degrees (a fold);
//! - one that makes a triangle cross or touch another triangle it is not adjacent to,
//!   whether of another component or of a far part of the same surface (by default found
//!   on the result rather than per collapse, see below);
//! - on an open mesh, one that moves a boundary: boundary vertices stay where they are,
//!   a boundary edge collapses only into one of its own ends, and an interior edge
//!   joining two boundary vertices is never collapsed.
//! Edges and vertices that are already non-manifold are left alone. A closed manifold
//! input therefore stays closed and manifold, and gains no self-intersection.
//!
//! The work stops at the requested triangle count or when no allowed collapse remains,
//! so the reduction reached may be below the one asked for. Only Reduction is used.
//!
//! By default, on a closed, oriented, manifold input whose crossing pairs are none or not
//! known, the contact test moves from each collapse to the result: the collapses run with
//! the link and turn tests only (so closed, manifold and the turn limit hold by
//! construction), and their result is searched for crossing pairs over all pairs of
//! triangles, those sharing a node included. With none it is the output: it has no
//! self-intersection at all. With some (two solids close together, a ball in a thin
//! shell), the collapses go on, testing contact each time, from the latest state of that
//! run without a crossing pair, and start from the input with the test only when there is
//! none. Those collapses take none costlier (in quadric error) than the costliest of the
//! run without the test: where contact refuses what the reduction needs, the collapses left
//! would cut across the shape, so the run stops short instead and keeps that run's error.
//! So the promise above holds on every path; on most inputs the contact test, the
//! largest part of a checked collapse's cost, is never run. An input with known crossing
//! pairs, an open or a non-manifold one gets the contact test on each collapse from the
//! start.
//!
//! Optionally (SetFilterFirst) the quadric filter runs first on such an input, and its
//! result is the output when it keeps all of the above (algoMesh_VerifiedQuadricFilter);
//! when it does not, the collapses go on from the latest state of the filter's run that
//! keeps it all, and start from the input only when there is none.
class algoMesh_EXPORT algoMesh_TopoDecimation : public algoMesh_Decimate
{
public:
  //! Copies Reduction; the other options are ignored.
  explicit algoMesh_TopoDecimation(const algoMesh_DecimationOptions& options);

  //! Default options with Reduction = the stored reduction, marked as given.
  algoMesh_DecimationOptions GetOptions() const override;

  //! Merges coincident nodes (1e-7), drops degenerate triangles and decimates. Reductions
  //! outside 0 .. 100 percent are clamped. False only for an input without a usable
  //! triangle.
  bool perform(const Handle(Poly_Triangulation) & input,
               Handle(Poly_Triangulation) & output) const override;

  //! The same, every step reporting its share of `progress` and stopping within a
  //! millisecond or so of work once the run is cancelled; false when cancelled.
  bool performWithProgress(const Handle(Poly_Triangulation) & input,
                           Handle(Poly_Triangulation) & output,
                           algoMesh_ProgressScope& progress) const override;

  //! Which way a run went.
  enum Path
  {
    Path_None,              //!< no run yet, or the last one failed or was cancelled
    Path_Deferred,          //!< the collapses without the contact test, their result clean
    Path_DeferredContinued, //!< that result crossed: continued from a state of that run
    Path_FilterAccepted,    //!< the checked quadric filter's result (SetFilterFirst)
    Path_FilterContinued,   //!< continued from a state of the filter's run (SetFilterFirst)
    Path_Collapses          //!< the collapses with the contact test, from the input
  };

  //! Whether the quadric filter's checked result is tried first (off by default).
  void SetFilterFirst(const bool on) { m_isFilterFirst = on; }

  //! Whether the contact test may wait for the result as described above (on by default);
  //! off, every collapse is tested for contact.
  void SetContactDeferred(const bool on) { m_isContactDeferred = on; }

  //! The way the latest Perform of this object went.
  Path LastPath() const { return m_lastPath; }

  //! Whether the latest Perform stopped short of the reduction because the collapses left
  //! would cost more error than the run without the contact test reached (see above).
  bool IsStoppedAtErrorLimit() const { return m_isStoppedAtErrorLimit; }

  //! The input's crossing pairs, when the caller has counted them (the decimate command
  //! reports them): an input with some goes straight to the collapses, as the filter's
  //! result would keep them and be refused.
  void SetInputCrossingPairs(const size_t nbPairs) { m_nbInputCrossings = int64_t(nbPairs); }

private:
  double                    m_reduction;
  bool                      m_isFilterFirst     = false;
  bool                      m_isContactDeferred = true;
  int64_t                   m_nbInputCrossings  = -1; //!< not known
  mutable std::atomic<Path> m_lastPath{Path_None};
  mutable std::atomic<bool> m_isStoppedAtErrorLimit{false};
};

} // namespace quorin

#endif
