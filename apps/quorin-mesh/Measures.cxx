#include "Measures.hxx"

#include "CliNotifier.hxx"
#include "Commands.hxx"
#include "MeshInput.hxx"

#include <algoMesh_CheckSelfIntersections.hxx>
#include <algoMesh_DeviationCheckCADMesh.hxx>

namespace cli
{

std::optional<int> LoadReferencePart(const std::string&      path,
                                     const MeshInputOptions& options,
                                     const Handle(CliNotifier) & notifier,
                                     MeshInput& part)
{
  const ActAPI_ProgressEntry progress(notifier);
  std::string                error;
  if (!LoadShapeInput(path, progress, part, error))
  {
    return Fail(error, notifier->IsCancelRequested() ? Exit_Interrupted : Exit_Failure);
  }
  part.Deflection = options.Deflection;
  const ExitOnInterrupt watch(notifier, KernelDeadline(path),
                              "meshing '" + path + "' did not finish within " +
                                  std::to_string(static_cast<int>(KernelDeadline(path))) +
                                  " s; its geometry is likely damaged");
  if (!MeshShape(part.Shape, part.Deflection, options.DeflectionRatio, progress))
  {
    return notifier->IsCancelRequested() ? Fail("interrupted", Exit_Interrupted)
                                         : Fail("meshing '" + part.Path + "' failed");
  }
  notifier->ResetProgress();
  return std::nullopt;
}

std::optional<int> MeasureDeviation(const MeshInput& part,
                                    const MeshInput& input,
                                    const bool       isSigned,
                                    const Handle(CliNotifier) & notifier,
                                    std::vector<double>& deviations)
{
  quorin::algoMesh_DeviationCheckCADMesh check(part.Shape, ActAPI_ProgressEntry(notifier));
  const auto type = isSigned ? quorin::algoMesh_DeviationCheckCADMesh::DistType_Signed
                             : quorin::algoMesh_DeviationCheckCADMesh::DistType_Unsigned;
  if (!check.Perform(input.Mesh, type))
  {
    const std::string reason = notifier->LastError();
    return Fail("cannot measure '" + input.Path + "' against '" + part.Path + "'" +
                (reason.empty() ? std::string() : ": " + reason));
  }
  // A cancelled run still succeeds, with the triangles not reached left unmeasured.
  if (notifier->IsCancelRequested())
  {
    return Fail("interrupted", Exit_Interrupted);
  }
  notifier->ResetProgress();
  deviations = check.Deviations();
  return std::nullopt;
}

std::optional<int> GroupSelfIntersections(const MeshInput& input,
                                          const Handle(CliNotifier) & notifier,
                                          std::list<std::set<int>>& groups,
                                          std::vector<double>&      groupOf)
{
  // Perform answers false both when nothing intersects and when the mesh is unusable;
  // only the latter sends an error.
  quorin::algoMesh_CheckSelfIntersections check{ActAPI_ProgressEntry(notifier)};
  check.SaveSelfIntersections(true);
  if (!check.Perform(input.Mesh))
  {
    if (notifier->IsCancelRequested())
    {
      return Fail("interrupted", Exit_Interrupted);
    }
    if (!notifier->LastError().empty())
    {
      return Fail("cannot check '" + input.Path + "': " + notifier->LastError());
    }
  }
  notifier->ResetProgress();
  groups = check.Groups();
  groupOf.assign(static_cast<size_t>(input.Mesh->NbTriangles()), 0.0);
  int number = 0;
  for (const std::set<int>& group : groups)
  {
    ++number;
    for (const int triangle : group)
    {
      groupOf[static_cast<size_t>(triangle) - 1] = number;
    }
  }
  return std::nullopt;
}

} // namespace cli
