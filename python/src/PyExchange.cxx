// Reading and writing of mesh and CAD files, and meshing of shapes, for Python: the format
// is chosen by the file's extension and each goes to the library's reader or writer. Data
// model files (NASTRAN, MSH, VTK XML) give their surface: their triangles and quadrangles,
// or the outer faces of their volumes.
#include "PyExchange.hxx"
#include "PyRun.hxx"

#include <algoMesh_Conglomerate.hxx>
#include <algoMesh_Convert.hxx>
#include <algoMesh_ExtGen.hxx>
#include <algoMesh_Extent.hxx>
#include <algoMesh_JT.hxx>
#include <algoMesh_MSH.hxx>
#include <algoMesh_ModelSurface.hxx>
#include <algoMesh_NAS.hxx>
#include <algoMesh_OBJ.hxx>
#include <algoMesh_PLY.hxx>
#include <algoMesh_STL.hxx>
#include <algoMesh_SurfOptions.hxx>
#include <algoMesh_VTK_XML.hxx>
#include <algoBase_ProgressIndicator.hxx>

#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <STEPControl_Reader.hxx>
#include <TDocStd_Document.hxx>
#include <TopExp_Explorer.hxx>

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace py = pybind11;

namespace quorinpy
{

namespace
{
std::string lowerExtension(const std::string& path)
{
  std::string extension = std::filesystem::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

// Missing inputs raise FileNotFoundError, like Python's own open().
void requireFile(const std::string& path)
{
  std::error_code status;
  if (!std::filesystem::is_regular_file(path, status))
  {
    const std::string reason =
        std::filesystem::exists(path, status) ? "not a regular file" : "no such file";
    PyErr_SetString(PyExc_FileNotFoundError, ("cannot open '" + path + "': " + reason).c_str());
    throw py::error_already_set();
  }
}

bool readModel(const std::string&          path,
               const std::string&          extension,
               const ActAPI_ProgressEntry& progress,
               Handle(Poly_Triangulation) & mesh)
{
  Handle(MorvDS_Mesh) model;
  bool isRead = false;
  if (extension == ".nas" || extension == ".bdf")
  {
    isRead = quorin::algoMesh_NAS::Read(path.c_str(), model, progress);
  }
  else if (extension == ".msh")
  {
    NCollection_Vector<Handle(quorin::algoMesh_FieldFrame)> frames;
    isRead =
        quorin::algoMesh_MSH::Read(path.c_str(), model, frames, Standard_GUID(), progress.Access());
  }
  else
  {
    NCollection_Vector<Handle(quorin::algoMesh_Field)> fields;
    isRead = extension == ".vtp" ? quorin::algoMesh_VTK_XML::ReadVTP(path.c_str(), model, fields,
                                                                     Standard_GUID(), progress)
                                 : quorin::algoMesh_VTK_XML::ReadVTU(path.c_str(), model, fields,
                                                                     Standard_GUID(), progress);
  }
  if (!isRead || model.IsNull())
  {
    return false;
  }
  mesh = quorin::algoMesh_ModelSurface::Perform(model);
  if (mesh.IsNull())
  {
    progress.SendLogMessage(ActAPI_LogMessage(LogPriority_Normal, LogSeverity_Error)
                            << "the file holds no surface or volume elements");
    return false;
  }
  return true;
}

bool readShape(const std::string&          path,
               const std::string&          extension,
               const ActAPI_ProgressEntry& progress,
               TopoDS_Shape&               shape)
{
  Handle(algoBase_ProgressIndicator) indicator = new algoBase_ProgressIndicator();
  indicator->ConnectNotifier(progress.Access());
  if (extension == ".brep")
  {
    progress.Init("Reading BREP", 100);
    BRep_Builder builder;
    return BRepTools::Read(shape, path.c_str(), builder, indicator->Start()) && !shape.IsNull();
  }
  STEPControl_Reader reader;
  if (reader.ReadFile(path.c_str()) != IFSelect_RetDone)
  {
    return false;
  }
  progress.Init("Reading STEP", 100);
  reader.TransferRoots(indicator->Start());
  shape = reader.OneShape();
  return !shape.IsNull() && !progress.IsCancelling();
}

// A JT assembly at one level of detail: every instance placed, the face meshes welded.
bool readJT(const std::string&          path,
            const int                   lod,
            const ActAPI_ProgressEntry& progress,
            Handle(Poly_Triangulation) & mesh)
{
  Handle(quorin::algoMesh_JT) reader = new quorin::algoMesh_JT();
  reader->SetLodIndex(lod);
  reader->SetDocument(new TDocStd_Document(""));
  Handle(algoBase_ProgressIndicator) indicator = new algoBase_ProgressIndicator();
  indicator->ConnectNotifier(progress.Access());
  progress.Init("Reading JT", 100);
  if (!reader->Perform(path.c_str(), indicator->Start()))
  {
    if (!reader->ErrorMessage().empty())
    {
      progress.SendLogMessage(ActAPI_LogMessage(LogPriority_Normal, LogSeverity_Error)
                              << reader->ErrorMessage().c_str());
    }
    return false;
  }
  mesh = quorin::algoMesh_Conglomerate(reader->SingleShape()).GetPlain();
  return !mesh.IsNull() && mesh->NbTriangles() > 0;
}

bool isCadExtension(const std::string& extension)
{
  return extension == ".step" || extension == ".stp" || extension == ".brep";
}

// Kernel meshing of a shape in place, then its face meshes welded into one.
bool meshWithKernel(const TopoDS_Shape&         shape,
                    double                      deflection,
                    const double                angle,
                    const ActAPI_ProgressEntry& progress,
                    Handle(Poly_Triangulation) & mesh)
{
  if (deflection <= 0.0)
  {
    deflection = 0.001 * quorin::algoMesh_Extent::Diagonal(shape);
    if (!(deflection > 0.0))
    {
      return false;
    }
  }
  if (!quorin::algoMesh_ExtGen::DoNative(shape, deflection, angle, progress) ||
      progress.IsCancelling())
  {
    return false;
  }
  mesh = quorin::algoMesh_Conglomerate(shape).GetPlain();
  return !mesh.IsNull() && mesh->NbTriangles() > 0;
}
} // namespace

PyMesh ReadMesh(const std::string& path, const int lod, const py::object& progress)
{
  requireFile(path);
  const std::string extension = lowerExtension(path);
  const bool        isMesh    = extension == ".stl" || extension == ".ply" || extension == ".obj";
  const bool        isModel   = extension == ".nas" || extension == ".bdf" || extension == ".msh" ||
                       extension == ".vtp" || extension == ".vtu";
  if (lod < 0)
  {
    throw py::value_error("lod must be 0 or more");
  }
  if (!isMesh && !isModel && extension != ".jt" && !isCadExtension(extension))
  {
    throw py::value_error("unknown file type '" + extension + "' of '" + path + "'; " +
                          ReadableExtensions());
  }
  Handle(Poly_Triangulation) mesh;
  RunLibraryCall(progress, "cannot read '" + path + "'",
                 [&](const ActAPI_ProgressEntry& entry)
                 {
                   if (extension == ".stl")
                   {
                     return quorin::algoMesh_STL::Read(path.c_str(), mesh, entry);
                   }
                   if (extension == ".ply")
                   {
                     if (!quorin::algoMesh_PLY::Read(path.c_str(), mesh, entry))
                     {
                       return false;
                     }
                     // A file without faces reads as one triangle on node 0.
                     int a, b, c;
                     mesh->Triangle(1).Get(a, b, c);
                     if (a < 1 || b < 1 || c < 1)
                     {
                       entry.SendLogMessage(ActAPI_LogMessage(LogPriority_Normal, LogSeverity_Error)
                                            << "the file holds no faces");
                       return false;
                     }
                     return true;
                   }
                   if (extension == ".obj")
                   {
                     quorin::algoMesh_OBJ reader(entry);
                     return reader.Read(path, mesh);
                   }
                   if (isModel)
                   {
                     return readModel(path, extension, entry, mesh);
                   }
                   if (extension == ".jt")
                   {
                     return readJT(path, lod, entry, mesh);
                   }
                   TopoDS_Shape shape;
                   return readShape(path, extension, entry, shape) &&
                          meshWithKernel(shape, 0.0, 0.5, entry, mesh);
                 });
  if (mesh.IsNull() || mesh->NbTriangles() == 0)
  {
    throw Error("cannot read '" + path + "': no triangles");
  }
  return PyMesh(mesh);
}

void WriteMesh(const PyMesh&      mesh,
               const std::string& path,
               const bool         binary,
               const py::object&  progress)
{
  const std::string extension = lowerExtension(path);
  const bool        isText    = extension == ".obj" || extension == ".nas" || extension == ".bdf";
  if (extension != ".stl" && extension != ".ply" && extension != ".vtp" && extension != ".vtu" &&
      !isText)
  {
    throw py::value_error("cannot write file type '" + extension + "' of '" + path +
                          "'; writable: .stl, .ply, .obj, .nas/.bdf, .vtp, .vtu");
  }
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  std::error_code             status;
  if (!folder.empty() && !std::filesystem::is_directory(folder, status))
  {
    PyErr_SetString(
        PyExc_FileNotFoundError,
        ("cannot write '" + path + "': no directory '" + folder.string() + "'").c_str());
    throw py::error_already_set();
  }
  const Handle(Poly_Triangulation)& triangulation = mesh.Triangulation();
  if (triangulation->NbTriangles() == 0)
  {
    throw Error("cannot write '" + path + "': the mesh has no triangles");
  }
  RunLibraryCall(
      progress, "cannot write '" + path + "'",
      [&](const ActAPI_ProgressEntry& entry)
      {
        if (extension == ".stl")
        {
          return quorin::algoMesh_STL::Write(triangulation, path.c_str(), entry, binary) ==
                 quorin::ExportStatus_Ok;
        }
        if (extension == ".ply")
        {
          NCollection_Vector<Handle(Poly_Triangulation)> meshes;
          NCollection_Vector<TopLoc_Location>            locations;
          meshes.Append(triangulation);
          locations.Append(TopLoc_Location());
          return quorin::algoMesh_PLY::Write(
                     meshes, locations, path.c_str(), entry, binary,
                     NCollection_Vector<NCollection_DataMap<int, Quantity_Color>>()) ==
                 quorin::ExportStatus_Ok;
        }
        if (extension == ".nas" || extension == ".bdf")
        {
          return quorin::algoMesh_NAS::Write(triangulation, path.c_str(), entry) ==
                 quorin::ExportStatus_Ok;
        }
        if (extension == ".obj")
        {
          quorin::algoMesh_OBJ writer(entry);
          writer.AddMesh(triangulation, gp_Trsf());
          return writer.Write(path);
        }
        Handle(MorvDS_Mesh) model;
        const NCollection_Vector<Handle(quorin::algoMesh_Field)> noFields;
        if (!quorin::algoMesh_Convert::ToMorv(triangulation, TopLoc_Location(), model))
        {
          return false;
        }
        return (extension == ".vtp"
                    ? quorin::algoMesh_VTK_XML::WriteVTP(model, noFields, TopLoc_Location(),
                                                         path.c_str(), entry, binary)
                    : quorin::algoMesh_VTK_XML::WriteVTU(model, noFields, TopLoc_Location(),
                                                         path.c_str(), entry, binary)) ==
               quorin::ExportStatus_Ok;
      });
}

PyShape ReadCad(const std::string& path, const py::object& progress)
{
  requireFile(path);
  const std::string extension = lowerExtension(path);
  if (!isCadExtension(extension))
  {
    throw py::value_error("'" + path + "' is not a CAD file (.step, .stp or .brep)");
  }
  TopoDS_Shape shape;
  RunLibraryCall(progress, "cannot read '" + path + "'",
                 [&](const ActAPI_ProgressEntry& entry)
                 { return readShape(path, extension, entry, shape); });
  if (!TopExp_Explorer(shape, TopAbs_FACE).More())
  {
    throw Error("'" + path + "' holds no faces");
  }
  return PyShape(shape);
}

PyMesh MeshShape(const PyShape&     shape,
                 const double       deflection,
                 const double       angle,
                 const double       size,
                 const std::string& mesher,
                 const py::object&  progress)
{
  if (mesher != "kernel" && mesher != "zelt")
  {
    throw py::value_error("mesher must be 'kernel' or 'zelt', not '" + mesher + "'");
  }
  if (!std::isfinite(deflection) || !std::isfinite(size) || !std::isfinite(angle))
  {
    throw py::value_error("deflection, angle and size must be finite numbers");
  }
  Handle(Poly_Triangulation) mesh;
  if (mesher == "zelt")
  {
    Handle(quorin::algoMesh_SurfOptions) options = quorin::algoMesh_SurfOptions::Default();
    options->Real1                               = size;
    options->Real5                               = angle;
    RunLibraryCall(
        progress, "the surface tessellator could not mesh the shape",
        [&](const ActAPI_ProgressEntry& entry)
        { return quorin::algoMesh_ExtGen::DoZeltMesh(shape.Shape(), options, mesh, entry); });
  }
  else
  {
    RunLibraryCall(
        progress, "meshing the shape failed",
        [&](const ActAPI_ProgressEntry& entry)
        { return meshWithKernel(shape.Shape(), deflection, angle * M_PI / 180.0, entry, mesh); });
  }
  return PyMesh(mesh);
}

std::string ReadableExtensions()
{
  return "readable: .stl, .ply, .obj, .nas/.bdf, .msh, .vtp, .vtu, .jt, .step/.stp, .brep";
}

} // namespace quorinpy
