#include "MeshOutput.hxx"

#include "CliNotifier.hxx"
#include "Commands.hxx"

#include <algoMesh_Convert.hxx>
#include <algoMesh_NAS.hxx>
#include <algoMesh_OBJ.hxx>
#include <algoMesh_VTK_XML.hxx>
#include <algoMesh_PLY.hxx>
#include <algoMesh_STL.hxx>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include <unistd.h>

namespace cli
{

const char* WritableExtensions()
{
  return ".stl, .ply (binary or ASCII), .obj, .nas/.bdf (text), .vtp, .vtu (VTK XML)";
}

std::optional<int>
CheckOutput(const std::string& path, const Encoding encoding, std::string& description)
{
  std::string error;
  if (!CheckFormat(path, encoding, description, error))
  {
    return Fail(error, Exit_Usage);
  }
  if (!CheckDirectory(path, error))
  {
    return Fail(error);
  }
  return std::nullopt;
}

std::string WrittenCounts(const Handle(Poly_Triangulation) & mesh,
                          const std::string&          path,
                          const ActAPI_ProgressEntry& progress)
{
  int               nbTriangles = mesh.IsNull() ? 0 : mesh->NbTriangles();
  int               nbNodes     = mesh.IsNull() ? 0 : mesh->NbNodes();
  const std::string extension   = LowerExtension(path);
  if (!mesh.IsNull() && (extension == ".nas" || extension == ".bdf"))
  {
    // The writer's nodes are the joined ones; its triangles those of three of them.
    NCollection_Vector<Handle(Poly_Triangulation)> meshes;
    NCollection_Vector<TopLoc_Location>            locations;
    meshes.Append(mesh);
    locations.Append(TopLoc_Location());
    const Handle(Poly_Triangulation) joined = quorin::algoMesh_STL::Join(
        meshes, locations, quorin::algoMesh_ProgressScope(progress, TCollection_AsciiString()));
    nbTriangles = 0;
    nbNodes     = joined.IsNull() ? 0 : joined->NbNodes();
    for (int t = 1; nbNodes > 0 && t <= joined->NbTriangles(); ++t)
    {
      int a, b, c;
      joined->Triangle(t).Get(a, b, c);
      nbTriangles += a != b && b != c && a != c ? 1 : 0;
    }
  }
  else if (!mesh.IsNull() && (extension == ".vtp" || extension == ".vtu"))
  {
    // The data model keeps only triangles of three different nodes.
    nbTriangles = 0;
    for (int t = 1; t <= mesh->NbTriangles(); ++t)
    {
      int a, b, c;
      mesh->Triangle(t).Get(a, b, c);
      nbTriangles += a != b && b != c && a != c ? 1 : 0;
    }
  }
  return ": " + std::to_string(nbTriangles) + " triangles, " + std::to_string(nbNodes) + " nodes";
}

bool CheckDirectory(const std::string& path, std::string& error)
{
  const std::filesystem::path directory = std::filesystem::path(path).parent_path();
  const std::string           folder    = directory.empty() ? "." : directory.string();
  std::error_code             status;
  if (!std::filesystem::is_directory(folder, status))
  {
    error = "cannot write '" + path + "': no directory '" + folder + "'";
    return false;
  }
  if (access(folder.c_str(), W_OK) != 0)
  {
    error = "cannot write '" + path + "': directory '" + folder + "' is not writable";
    return false;
  }
  return true;
}

bool CheckFormat(const std::string& path,
                 const Encoding     encoding,
                 std::string&       description,
                 std::string&       error)
{
  const std::string extension = LowerExtension(path);
  if (extension == ".obj")
  {
    if (encoding == Encoding::Binary)
    {
      error = "OBJ has no binary form; drop --binary for '" + path + "'";
      return false;
    }
    description = "OBJ";
    return true;
  }
  if (extension == ".nas" || extension == ".bdf" || extension == ".vtp" || extension == ".vtu")
  {
    const bool isNas = extension == ".nas" || extension == ".bdf";
    if (isNas && encoding == Encoding::Binary)
    {
      error = "NASTRAN bulk data has no binary form; drop --binary for '" + path + "'";
      return false;
    }
    description = isNas ? "NASTRAN bulk data"
                        : (extension == ".vtp" ? "VTK XML poly data" : "VTK XML unstructured grid");
    return true;
  }
  if (extension == ".msh")
  {
    error = "MSH files are read only; cannot write '" + path + "'";
    return false;
  }
  if (extension != ".stl" && extension != ".ply")
  {
    error = "cannot write file type '" + extension + "' of '" + path +
            "'; writable: " + WritableExtensions();
    return false;
  }
  description = std::string(encoding == Encoding::Ascii ? "ASCII " : "binary ") +
                (extension == ".stl" ? "STL" : "PLY");
  return true;
}

bool SaveMesh(const Handle(Poly_Triangulation) & mesh,
              const std::string&          path,
              const Encoding              encoding,
              const ActAPI_ProgressEntry& progress,
              std::string&                error)
{
  // 1. Check the format and the directory first: the writers' own failures say less.
  std::string description;
  if (!CheckFormat(path, encoding, description, error) || !CheckDirectory(path, error))
  {
    return false;
  }
  // 2. Write with the library's writer of the format.
  const std::string extension = LowerExtension(path);
  const bool        binary    = encoding != Encoding::Ascii;
  bool              written   = false;
  if (extension == ".stl")
  {
    written = quorin::algoMesh_STL::Write(mesh, path.c_str(), progress, binary) ==
              quorin::ExportStatus_Ok;
  }
  else if (extension == ".ply")
  {
    NCollection_Vector<Handle(Poly_Triangulation)> meshes;
    NCollection_Vector<TopLoc_Location>            locations;
    meshes.Append(mesh);
    locations.Append(TopLoc_Location());
    written = quorin::algoMesh_PLY::Write(
                  meshes, locations, path.c_str(), progress, binary,
                  NCollection_Vector<NCollection_DataMap<int, Quantity_Color>>()) ==
              quorin::ExportStatus_Ok;
  }
  else if (extension == ".nas" || extension == ".bdf")
  {
    written = quorin::algoMesh_NAS::Write(mesh, path.c_str(), progress) == quorin::ExportStatus_Ok;
  }
  else if (extension == ".vtp" || extension == ".vtu")
  {
    Handle(MorvDS_Mesh) model;
    const NCollection_Vector<Handle(quorin::algoMesh_Field)> noFields;
    written =
        quorin::algoMesh_Convert::ToMorv(mesh, TopLoc_Location(), model) &&
        (extension == ".vtp"
             ? quorin::algoMesh_VTK_XML::WriteVTP(model, noFields, TopLoc_Location(), path.c_str(),
                                                  progress, binary)
             : quorin::algoMesh_VTK_XML::WriteVTU(model, noFields, TopLoc_Location(), path.c_str(),
                                                  progress, binary)) == quorin::ExportStatus_Ok;
  }
  else
  {
    quorin::algoMesh_OBJ writer(progress);
    writer.AddMesh(mesh, gp_Trsf());
    written = writer.Write(path);
  }
  if (!written)
  {
    // A cancelled writer leaves no file behind; the user only needs to know it stopped.
    if (progress.IsCancelling())
    {
      error = "interrupted";
      return false;
    }
    const std::string reason = CliNotifier::LastErrorOf(progress);
    error = "cannot write '" + path + "'" + (reason.empty() ? std::string() : ": " + reason);
    return false;
  }
  progress.Complete();
  return true;
}

} // namespace cli
