// Measures that several commands take of a mesh, with the tool's messages and exit codes:
// the deviation from a CAD part and the self-intersecting groups (deviation, selfx, and
// check when it colours its report by them).
#ifndef quorinMesh_Measures_HeaderFile
#define quorinMesh_Measures_HeaderFile

#include "CliNotifier.hxx"
#include "MeshInput.hxx"

#include <list>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace cli
{

//! Reads a CAD part (.step, .stp, .brep, or such content) and meshes it for measuring
//! against; prints the reason of a failure and answers the exit code.
std::optional<int> LoadReferencePart(const std::string&      path,
                                     const MeshInputOptions& options,
                                     const Handle(CliNotifier) & notifier,
                                     MeshInput& part);

//! The distance of every triangle's centroid from the meshed part (signed: negative
//! behind its surface), one value per triangle, NaN where a centroid is not finite.
//! Prints the reason of a failure and answers the exit code.
std::optional<int> MeasureDeviation(const MeshInput& part,
                                    const MeshInput& input,
                                    const bool       isSigned,
                                    const Handle(CliNotifier) & notifier,
                                    std::vector<double>& deviations);

//! The groups of mutually intersecting triangles, and per triangle its group number from
//! 1 (0 for triangles that intersect nothing). Prints the reason of a failure and answers
//! the exit code.
std::optional<int> GroupSelfIntersections(const MeshInput& input,
                                          const Handle(CliNotifier) & notifier,
                                          std::list<std::set<int>>& groups,
                                          std::vector<double>&      groupOf);

} // namespace cli

#endif
