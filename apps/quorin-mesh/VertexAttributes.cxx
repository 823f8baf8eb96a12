#include "VertexAttributes.hxx"

#include "CliNotifier.hxx"
#include "Commands.hxx"

#include <algoMesh_Field.hxx>
#include <algoMesh_VTK_XML.hxx>

#include <MorvDS_Mesh.hxx>
#include <Standard_GUID.hxx>

#include <filesystem>

namespace cli
{

bool WriteVtkWithAttributes(const Handle(Poly_Triangulation) & mesh,
                            const VertexAttributes&     attributes,
                            const std::string&          path,
                            const ActAPI_ProgressEntry& progress,
                            std::string&                error)
{
  Handle(MorvDS_Mesh) model = new MorvDS_Mesh(mesh->NbNodes(), 0, mesh->NbTriangles(), 0);
  for (int i = 1; i <= mesh->NbNodes(); ++i)
  {
    const gp_Pnt p = mesh->Node(i);
    model->AddNode(p.X(), p.Y(), p.Z());
  }
  for (int t = 1; t <= mesh->NbTriangles(); ++t)
  {
    int a, b, c;
    mesh->Triangle(t).Get(a, b, c);
    if (a != b && b != c && a != c)
    {
      model->AddFace(a, b, c);
    }
  }
  NCollection_Vector<Handle(quorin::algoMesh_Field)> fields;
  const auto add = [&](const char* name, const std::vector<float>& values, const int width)
  {
    if (values.empty())
    {
      return;
    }
    Handle(quorin::algoMesh_Field) field = new quorin::algoMesh_Field(
        name, quorin::algoMesh_Field::Association_Node, width, Standard_GUID());
    field->Reserve(mesh->NbNodes());
    std::vector<double> tuple(static_cast<size_t>(width));
    for (int i = 1; i <= mesh->NbNodes(); ++i)
    {
      for (int c = 0; c < width; ++c)
      {
        tuple[size_t(c)] = values[size_t(width) * size_t(i - 1) + size_t(c)];
      }
      field->SetValues(i, tuple);
    }
    fields.Append(field);
  };
  add("Normals", attributes.Normals, 3);
  add("Colors", attributes.Colours, 3);
  add("TextureCoordinates", attributes.TexCoords, 2);

  const std::string               partial = path + ".part";
  const bool                      isPoly  = LowerExtension(path) == ".vtp";
  const quorin::core_ExportStatus status =
      isPoly ? quorin::algoMesh_VTK_XML::WriteVTP(model, fields, TopLoc_Location(), partial.c_str(),
                                                  progress, true)
             : quorin::algoMesh_VTK_XML::WriteVTU(model, fields, TopLoc_Location(), partial.c_str(),
                                                  progress, true);
  std::error_code renameError;
  if (status == quorin::ExportStatus_Ok)
  {
    std::filesystem::rename(partial, path, renameError);
  }
  if (status != quorin::ExportStatus_Ok || renameError)
  {
    std::filesystem::remove(partial, renameError);
    const std::string reason = CliNotifier::LastErrorOf(progress);
    error = "cannot write '" + path + "'" + (reason.empty() ? "" : ": " + reason);
    return false;
  }
  return true;
}

} // namespace cli
