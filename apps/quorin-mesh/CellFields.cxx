#include "CellFields.hxx"

#include "CliNotifier.hxx"
#include "Commands.hxx"
#include "MeshOutput.hxx"

#include <algoMesh_Field.hxx>
#include <algoMesh_VTK_XML.hxx>

#include <MorvDS_Mesh.hxx>
#include <Standard_GUID.hxx>

#include <filesystem>

namespace cli
{

std::optional<int> CheckFieldOutput(const std::string& option, const std::string& path)
{
  const std::string extension = LowerExtension(path);
  if (extension != ".vtp" && extension != ".vtu")
  {
    return Fail(option + " writes VTK XML (.vtp or .vtu), got '" + path + "'", Exit_Usage);
  }
  std::string error;
  if (!CheckDirectory(path, error))
  {
    return Fail(error);
  }
  return std::nullopt;
}

bool SaveCellFields(const Handle(Poly_Triangulation) & mesh,
                    const std::vector<CellField>& fields,
                    const std::string&            path,
                    const ActAPI_ProgressEntry&   progress,
                    std::string&                  error)
{
  const int nbTriangles = mesh->NbTriangles();
  for (const CellField& field : fields)
  {
    if (static_cast<int>(field.Values.size()) != nbTriangles)
    {
      error = "field '" + field.Name + "' has " + std::to_string(field.Values.size()) +
              " values for " + std::to_string(nbTriangles) + " triangles";
      return false;
    }
  }

  // 1. The mesh as a data model mesh; element ids are assigned in triangle order, and the
  //    field tuples are keyed by them.
  Handle(MorvDS_Mesh) model = new MorvDS_Mesh(mesh->NbNodes(), 0, nbTriangles, 0);
  for (int i = 1; i <= mesh->NbNodes(); ++i)
  {
    const gp_Pnt p = mesh->Node(i);
    model->AddNode(p.X(), p.Y(), p.Z());
  }
  NCollection_Vector<Handle(quorin::algoMesh_Field)> arrays;
  for (const CellField& field : fields)
  {
    Handle(quorin::algoMesh_Field) array = new quorin::algoMesh_Field(
        field.Name.c_str(), quorin::algoMesh_Field::Association_Element, 1, Standard_GUID());
    array->Reserve(nbTriangles);
    arrays.Append(array);
  }
  for (int t = 1; t <= nbTriangles; ++t)
  {
    int a, b, c;
    mesh->Triangle(t).Get(a, b, c);
    if (a == b || b == c || a == c)
    {
      continue;
    }
    const int id = model->AddFace(a, b, c);
    for (size_t f = 0; f < fields.size(); ++f)
    {
      arrays.ChangeValue(static_cast<int>(f))->SetValue(id, fields[f].Values[t - 1]);
    }
  }

  // 2. Write beside the final name, then rename, so that a failed or interrupted run
  //    leaves no half-written file under that name.
  const std::string               partial = path + ".part";
  const bool                      isPoly  = LowerExtension(path) == ".vtp";
  const quorin::core_ExportStatus status =
      isPoly ? quorin::algoMesh_VTK_XML::WriteVTP(model, arrays, TopLoc_Location(), partial.c_str(),
                                                  progress, true)
             : quorin::algoMesh_VTK_XML::WriteVTU(model, arrays, TopLoc_Location(), partial.c_str(),
                                                  progress, true);
  std::error_code ignored;
  if (status != quorin::ExportStatus_Ok)
  {
    std::filesystem::remove(partial, ignored);
    const std::string reason = CliNotifier::LastErrorOf(progress);
    error                    = progress.IsCancelling()
                                   ? "interrupted"
                                   : "cannot write '" + path + "'" + (reason.empty() ? "" : ": " + reason);
    return false;
  }
  std::error_code renameError;
  std::filesystem::rename(partial, path, renameError);
  if (renameError)
  {
    std::filesystem::remove(partial, ignored);
    error = "cannot write '" + path + "': renaming the finished file failed";
    return false;
  }
  return true;
}

} // namespace cli
