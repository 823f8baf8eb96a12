// Decimation options that ask only for a share of triangles to remove, as the decimation
// tests state most of their cases.
#ifndef ReductionOptions_HeaderFile
#define ReductionOptions_HeaderFile

#include <algoMesh_DecimationOptions.hxx>

namespace testmesh
{

//! Options with the reduction set to `percent` (0-100) and everything else at its default.
inline quorin::algoMesh_DecimationOptions WithReduction(const double percent)
{
  quorin::algoMesh_DecimationOptions options;
  options.Reduction    = percent;
  options.HasReduction = true;
  return options;
}

} // namespace testmesh

#endif
