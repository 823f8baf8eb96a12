// The quadric filter's result, taken only when it keeps what the topology-preserving
// decimation guarantees.
#ifndef algoMesh_VerifiedQuadricFilter_HeaderFile
#define algoMesh_VerifiedQuadricFilter_HeaderFile

#include <algoMesh.hxx>
#include <algoMesh_ProgressScope.hxx>
#include <algoMesh_vtkQuadricDecimation.hxx>

#include <Poly_Triangulation.hxx>

#include <array>
#include <cstdint>
#include <vector>

namespace quorin
{

//! Runs the library's quadric filter (as algoMesh_VTKQuadricDecimation does, in memory) on a
//! closed, oriented, manifold mesh and accepts its result only when it passes the checks
//! that stand for every guarantee of algoMesh_TopoDecimation: then the result is the
//! filter's, node for node, at the filter's error and the filter's time plus the checks.
//! Otherwise the caller runs the topology-preserving collapser, either from the start or
//! from the latest state of the filter's run that passes the same checks (FindPrefix).
//! The same search serves a run of the collapser itself made without its contact test
//! (FindState), whose result turned out to have crossing triangles.
class algoMesh_EXPORT algoMesh_VerifiedQuadricFilter
{
public:
  //! A state the filter's run passed through, for the collapser to go on from when the
  //! filter's own result is refused: the run's collapses are logged, and FindPrefix replays
  //! the first of them.
  struct Prefix
  {
    std::vector<algoMesh_vtkQuadricDecimation::Collapse> Log; //!< the filter's collapses
    //! The state found: its nodes and its triangles over them (empty when none passed).
    std::vector<std::array<double, 3>> Nodes;
    std::vector<std::array<int, 3>>    Triangles;
    //! The filter's input, nodes merged, and for each of its nodes the state's node it merged
    //! into: the collapser sums its quadrics from these, as the filter did.
    std::vector<std::array<double, 3>> InputNodes;
    std::vector<std::array<int, 3>>    InputTriangles;
    std::vector<int>                   NodeOf;
    size_t                             NbCollapses = 0; //!< collapses replayed
  };

  //! One collapse of a logged run of the topology-preserving collapser: its node numbers are
  //! those of the mesh the run started from, the survivor's new place is kept exactly.
  struct CollapserStep
  {
    int32_t Survivor;
    int32_t Removed;
    double  Position[3];
  };

  //! Cosine of the largest turn of a triangle normal allowed, here against the input
  //! triangle a result triangle descends from, in the collapser against the triangle before
  //! each collapse (about 80 degrees).
  static constexpr double MaxTurnCosine = 0.17;

  enum Verdict
  {
    Verdict_Accepted,      //!< the filter's result keeps every guarantee: it is the output
    Verdict_NotApplicable, //!< the input is not a closed, oriented, manifold mesh
    Verdict_Refused,       //!< the filter's result breaks a guarantee (see Reason)
    Verdict_Cancelled      //!< the run was cancelled
  };

  //! Decimates `input` by `reduction` percent with the quadric filter and checks the result.
  //! `output` is set only when accepted. `reason`, when given, receives one English line on
  //! what was refused or why the input does not apply (empty when accepted).
  static Verdict Perform(const Handle(Poly_Triangulation) & input,
                         const double reduction,
                         Handle(Poly_Triangulation) & output,
                         algoMesh_ProgressScope   progress,
                         TCollection_AsciiString* reason = nullptr,
                         Prefix*                  prefix = nullptr);

  //! After a refused Perform that was given `prefix`: replays the filter's collapses up to a
  //! few points towards the end of its run (the triangles left about 1.1, 1.25, 1.5 and 2
  //! times the target), latest first, and keeps in `prefix` the first state that passes
  //! every check of Perform; its Triangles stay empty when none does. False when cancelled.
  static bool FindPrefix(const Handle(Poly_Triangulation) & input,
                         const double           reduction,
                         Prefix&                prefix,
                         algoMesh_ProgressScope progress);

  //! The same search over a run of the topology-preserving collapser: `prefix.InputNodes` and
  //! `prefix.InputTriangles` hold the closed mesh that run started from, numbered as `log`
  //! numbers it, and `log` holds the run's collapses in order (prefix.Log is not used). No
  //! state after `nbLatest` collapses is tried, and the state at `nbLatest` (when before the
  //! end of the log) is tried first: the caller knows that every later one fails. False when
  //! cancelled.
  static bool FindState(const std::vector<CollapserStep>& log,
                        const double                      reduction,
                        Prefix&                           prefix,
                        algoMesh_ProgressScope            progress,
                        const size_t                      nbLatest = SIZE_MAX);
};

} // namespace quorin

#endif
