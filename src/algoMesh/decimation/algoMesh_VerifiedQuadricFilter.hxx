// The quadric filter's result, taken only when it keeps what the topology-preserving
// decimation guarantees.
#ifndef algoMesh_VerifiedQuadricFilter_HeaderFile
#define algoMesh_VerifiedQuadricFilter_HeaderFile

#include <algoMesh.hxx>
#include <algoMesh_ProgressScope.hxx>

#include <Poly_Triangulation.hxx>

namespace quorin
{

//! Runs the library's quadric filter (as algoMesh_VTKQuadricDecimation does, in memory) on a
//! closed, oriented, manifold mesh and accepts its result only when it passes the checks
//! that stand for every guarantee of algoMesh_TopoDecimation: then the result is the
//! filter's, node for node, at the filter's error and the filter's time plus the checks.
//! Otherwise the caller runs the topology-preserving collapser.
class algoMesh_EXPORT algoMesh_VerifiedQuadricFilter
{
public:
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
                         TCollection_AsciiString* reason = nullptr);
};

} // namespace quorin

#endif
