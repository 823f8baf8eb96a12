// Exchange benchmarks: reading and writing STL, PLY and OBJ files of the input mesh, in
// MB/s of the file, beside VTK's PLY reader and a plain read of the same bytes into memory
// (the I/O floor). Read tasks take an STL input and first write it, untimed, in their
// format next to the temporary directory's other bench files.
#include <BenchCommon.hxx>

#include <algoMesh_OBJ.hxx>
#include <algoMesh_PLY.hxx>
#include <algoMesh_STL.hxx>

#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <OSD_Path.hxx>
#include <RWStl.hxx>

#include <vtkPLYReader.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <cstdio>
#include <vector>

namespace bench
{

namespace
{

const NCollection_Vector<NCollection_DataMap<int, Quantity_Color>> THE_NO_COLOURS;

//! Writes the input mesh in a format once (untimed) and answers the file's path.
std::string prepared(const Args& args, const char* extension)
{
  const std::string path = OutputPath(args, extension);
  if (FileSize(path) > 0)
  {
    return path;
  }
  const Handle(Poly_Triangulation) mesh = ReadMesh(args.input);
  if (mesh.IsNull())
  {
    return std::string();
  }
  NCollection_Vector<Handle(Poly_Triangulation)> meshes;
  NCollection_Vector<TopLoc_Location>            locations;
  meshes.Append(mesh);
  locations.Append(TopLoc_Location());
  const std::string ext = extension;
  if (ext == ".ply")
  {
    quorin::algoMesh_PLY::Write(meshes, locations, path.c_str(), {}, true, THE_NO_COLOURS);
  }
  else if (ext == ".obj")
  {
    quorin::algoMesh_OBJ writer;
    writer.AddMesh(mesh, gp_Trsf());
    writer.Write(path);
  }
  return path;
}

int runRead(const Args& args, const char* task, const char* extension)
{
  const std::string path = extension[0] == '\0' ? args.input : prepared(args, extension);
  if (path.empty() || FileSize(path) <= 0)
  {
    std::fprintf(stderr, "cannot prepare the input of %s\n", task);
    return 1;
  }
  const std::string name = task;
  Handle(Poly_Triangulation) mesh;
  const double seconds = BestOf3(
      [&]()
      {
        if (name == "stl-read")
        {
          quorin::algoMesh_STL::Read(path.c_str(), mesh, {});
        }
        else if (name == "ply-read")
        {
          quorin::algoMesh_PLY::Read(path.c_str(), mesh, {});
        }
        else
        {
          quorin::algoMesh_OBJ().Read(path, mesh);
        }
      });
  const int triangles = mesh.IsNull() ? 0 : mesh->NbTriangles();
  Report(task, path, triangles, seconds,
         MegabytesPerSecond(FileSize(path), seconds) +
             " nodes=" + std::to_string(mesh.IsNull() ? 0 : mesh->NbNodes()));
  ReportRawRead(path);
  return mesh.IsNull() ? 1 : 0;
}

// The kernel's reader alone on the same file: what algoMesh_STL::Read is measured against.
int stlReadKernel(const Args& args)
{
  Handle(Poly_Triangulation) mesh;
  const double seconds = BestOf3([&]() { mesh = RWStl::ReadFile(OSD_Path(args.input.c_str())); });
  Report("stl-read-kernel", args.input, mesh.IsNull() ? 0 : mesh->NbTriangles(), seconds,
         MegabytesPerSecond(FileSize(args.input), seconds) +
             " nodes=" + std::to_string(mesh.IsNull() ? 0 : mesh->NbNodes()));
  return mesh.IsNull() ? 1 : 0;
}

int runWrite(const Args& args, const char* task)
{
  const Handle(Poly_Triangulation) mesh = ReadMesh(args.input);
  if (mesh.IsNull())
  {
    return 1;
  }
  NCollection_Vector<Handle(Poly_Triangulation)> meshes;
  NCollection_Vector<TopLoc_Location>            locations;
  meshes.Append(mesh);
  locations.Append(TopLoc_Location());
  const std::string name = task;
  const std::string ext  = name.substr(0, 3);
  for (const bool binary : {true, false})
  {
    if (ext == "obj" && binary)
    {
      continue; // OBJ is text only
    }
    const std::string path    = "/tmp/quorin-bench-out-" + name + (binary ? "-b." : "-a.") + ext;
    const double      seconds = BestOf3(
        [&]()
        {
          if (ext == "stl")
          {
            quorin::algoMesh_STL::Write(meshes, locations, path.c_str(), {}, binary);
          }
          else if (ext == "ply")
          {
            quorin::algoMesh_PLY::Write(meshes, locations, path.c_str(), {}, binary,
                                             THE_NO_COLOURS);
          }
          else
          {
            quorin::algoMesh_OBJ writer;
            writer.AddMesh(mesh, gp_Trsf());
            writer.Write(path);
          }
        });
    Report(name + (binary ? "-binary" : "-ascii"), args.input, mesh->NbTriangles(), seconds,
           MegabytesPerSecond(FileSize(path), seconds));
    std::remove(path.c_str());
  }
  return 0;
}

int runVtkPly(const Args& args)
{
  const std::string path    = prepared(args, ".ply");
  vtkIdType         cells   = 0;
  const double      seconds = BestOf3(
      [&]()
      {
        vtkSmartPointer<vtkPLYReader> reader = vtkSmartPointer<vtkPLYReader>::New();
        reader->SetFileName(path.c_str());
        reader->Update();
        cells = reader->GetOutput()->GetNumberOfCells();
      });
  Report("ply-read-vtk", path, cells, seconds, MegabytesPerSecond(FileSize(path), seconds));
  return cells > 0 ? 0 : 1;
}

} // namespace

void AddExchangeTasks(std::vector<Task>& tasks)
{
  // The kernel's OBJ reader prints a line per file read; keep the results readable.
  Message::DefaultMessenger()->ChangePrinters().Clear();
  tasks.push_back({"stl-read", "<mesh.stl>: algoMesh_STL::Read, MB/s, raw byte read beside",
                   [](const Args& a) { return runRead(a, "stl-read", ""); }});
  tasks.push_back({"stl-read-kernel", "<mesh.stl>: RWStl::ReadFile alone (peer of stl-read), MB/s",
                   stlReadKernel});
  tasks.push_back({"stl-write", "<mesh.stl>: binary and ASCII STL with node merging, MB/s",
                   [](const Args& a) { return runWrite(a, "stl-write"); }});
  tasks.push_back({"ply-read", "<mesh.stl>: binary PLY of the mesh read back, MB/s",
                   [](const Args& a) { return runRead(a, "ply-read", ".ply"); }});
  tasks.push_back({"ply-read-vtk", "<mesh.stl>: vtkPLYReader on the same binary PLY, MB/s",
                   [](const Args& a) { return runVtkPly(a); }});
  tasks.push_back({"ply-write", "<mesh.stl>: binary and ASCII PLY, MB/s",
                   [](const Args& a) { return runWrite(a, "ply-write"); }});
  tasks.push_back({"obj-write", "<mesh.stl>: OBJ text, MB/s",
                   [](const Args& a) { return runWrite(a, "obj-write"); }});
  tasks.push_back({"obj-read", "<mesh.stl>: OBJ of the mesh read back (kernel reader), MB/s",
                   [](const Args& a) { return runRead(a, "obj-read", ".obj"); }});
}

} // namespace bench
