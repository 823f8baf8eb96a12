// Exchange benchmarks of the data model formats: NASTRAN bulk data, MSH and VTK XML (VTP,
// VTU), read and written for the input mesh, in MB/s of the file. Beside each: a plain read
// of the same bytes (the I/O floor) and, for VTK XML, VTK's bare XML reader or writer on the
// same file or data set, so that the cost of the mapping to and from the data model shows.
// Read tasks take an STL input and first write it, untimed, in their format.
#include <BenchCommon.hxx>

#include <algoMesh_Convert.hxx>
#include <algoMesh_MSH.hxx>
#include <algoMesh_NAS.hxx>
#include <algoMesh_VTK_XML.hxx>

#include <MorvDS_MeshElementsIterator.hxx>
#include <MorvDS_MeshNodesIterator.hxx>

#include <vtkCellArray.h>
#include <vtkDoubleArray.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>
#include <vtkUnstructuredGrid.h>
#include <vtkXMLPolyDataReader.h>
#include <vtkXMLPolyDataWriter.h>
#include <vtkXMLUnstructuredGridReader.h>
#include <vtkXMLUnstructuredGridWriter.h>

#include <cstdio>
#include <vector>

namespace bench
{

namespace
{

//! The input mesh in the data model, or null.
Handle(MorvDS_Mesh) readModel(const Args& args)
{
  const Handle(Poly_Triangulation) mesh = ReadMesh(args.input);
  Handle(MorvDS_Mesh) model;
  if (mesh.IsNull() || !quorin::algoMesh_Convert::ToMorv(mesh, TopLoc_Location(), model))
  {
    return Handle(MorvDS_Mesh)();
  }
  return model;
}

//! A node field of one component (the x coordinate), as a solver result would be.
NCollection_Vector<Handle(quorin::algoMesh_Field)> nodeField(const Handle(MorvDS_Mesh) & model)
{
  Handle(quorin::algoMesh_Field) field =
      new quorin::algoMesh_Field("x", quorin::algoMesh_Field::Association_Node, 1, Standard_GUID());
  field->Reserve(model->NbNodes());
  for (MorvDS_MeshNodesIterator it(model); it.More(); it.Next())
  {
    field->SetValue(it.Value()->GetID(), it.Value()->X());
  }
  NCollection_Vector<Handle(quorin::algoMesh_Field)> fields;
  fields.Append(field);
  return fields;
}

//! Writes the data model mesh as ASCII MSH 2 with one node data section.
bool writeMsh(const Handle(MorvDS_Mesh) & model, const std::string& path)
{
  FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr)
  {
    return false;
  }
  std::fprintf(file, "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n%d\n", model->NbNodes());
  for (MorvDS_MeshNodesIterator it(model); it.More(); it.Next())
  {
    const Handle(MorvDS_MeshNode) n = it.Value();
    std::fprintf(file, "%d %.17g %.17g %.17g\n", n->GetID(), n->X(), n->Y(), n->Z());
  }
  std::fprintf(file, "$EndNodes\n$Elements\n%d\n", model->NbElements());
  for (MorvDS_MeshElementsIterator it(model, MorvAbs_Face); it.More(); it.Next())
  {
    const Handle(MorvDS_MeshElement) e = it.Value();
    std::fprintf(file, "%d 2 2 1 1 %d %d %d\n", e->GetID(), e->NodeID(0), e->NodeID(1),
                 e->NodeID(2));
  }
  std::fprintf(file, "$EndElements\n$NodeData\n1\n\"x\"\n1\n0\n3\n0\n1\n%d\n", model->NbNodes());
  for (MorvDS_MeshNodesIterator it(model); it.More(); it.Next())
  {
    std::fprintf(file, "%d %.17g\n", it.Value()->GetID(), it.Value()->X());
  }
  std::fprintf(file, "$EndNodeData\n");
  return std::fclose(file) == 0;
}

//! Writes the input once (untimed) in the format of the extension and answers its path.
std::string prepared(const Args& args, const std::string& extension)
{
  const std::string path = OutputPath(args, extension.c_str());
  if (FileSize(path) > 0)
  {
    return path;
  }
  if (extension == ".nas")
  {
    const Handle(Poly_Triangulation) mesh = ReadMesh(args.input);
    return !mesh.IsNull() &&
                   quorin::algoMesh_NAS::Write(mesh, path.c_str(), {}) == quorin::ExportStatus_Ok
               ? path
               : std::string();
  }
  const Handle(MorvDS_Mesh) model = readModel(args);
  if (model.IsNull())
  {
    return std::string();
  }
  bool isWritten = false;
  if (extension == ".msh")
  {
    isWritten = writeMsh(model, path);
  }
  else if (extension == ".vtp")
  {
    isWritten =
        quorin::algoMesh_VTK_XML::WriteVTP(model, nodeField(model), TopLoc_Location(), path.c_str(),
                                           {}, true) == quorin::ExportStatus_Ok;
  }
  else
  {
    isWritten =
        quorin::algoMesh_VTK_XML::WriteVTU(model, nodeField(model), TopLoc_Location(), path.c_str(),
                                           {}, true) == quorin::ExportStatus_Ok;
  }
  return isWritten ? path : std::string();
}

//! VTK's bare XML reader on the same file.
template <class Reader> void reportVtkRead(const std::string& task, const std::string& path)
{
  vtkIdType    cells   = 0;
  const double seconds = BestOf3(
      [&]()
      {
        vtkSmartPointer<Reader> reader = vtkSmartPointer<Reader>::New();
        reader->SetFileName(path.c_str());
        reader->Update();
        cells = reader->GetOutput()->GetNumberOfCells();
      });
  Report(task, path, cells, seconds, MegabytesPerSecond(FileSize(path), seconds));
}

int runRead(const Args& args, const std::string& task, const std::string& extension)
{
  const std::string path = prepared(args, extension);
  if (path.empty())
  {
    std::fprintf(stderr, "cannot prepare the input of %s\n", task.c_str());
    return 1;
  }
  Handle(MorvDS_Mesh) model;
  NCollection_Vector<Handle(quorin::algoMesh_Field)>      fields;
  NCollection_Vector<Handle(quorin::algoMesh_FieldFrame)> frames;
  bool                                                    isRead  = false;
  const double                                            seconds = BestOf3(
      [&]()
      {
        fields.Clear();
        frames.Clear();
        if (task == "nas-read")
        {
          isRead = quorin::algoMesh_NAS::Read(path.c_str(), model, {});
        }
        else if (task == "msh-read")
        {
          isRead = quorin::algoMesh_MSH::Read(path.c_str(), model, frames, Standard_GUID(),
                                                                                         Handle(ActAPI_IProgressNotifier)());
        }
        else if (task == "vtp-read")
        {
          isRead =
              quorin::algoMesh_VTK_XML::ReadVTP(path.c_str(), model, fields, Standard_GUID(), {});
        }
        else
        {
          isRead =
              quorin::algoMesh_VTK_XML::ReadVTU(path.c_str(), model, fields, Standard_GUID(), {});
        }
      });
  Report(task, path, isRead ? model->NbElements() : 0, seconds,
         MegabytesPerSecond(FileSize(path), seconds) +
             " nodes=" + std::to_string(isRead ? model->NbNodes() : 0));
  if (task == "vtp-read")
  {
    reportVtkRead<vtkXMLPolyDataReader>("vtp-read-vtk", path);
  }
  else if (task == "vtu-read")
  {
    reportVtkRead<vtkXMLUnstructuredGridReader>("vtu-read-vtk", path);
  }
  ReportRawRead(path);
  return isRead ? 0 : 1;
}

//! The data set VTK's bare writer gets: the same points, triangles and node array.
template <class DataSet> vtkSmartPointer<DataSet> bareDataSet(const Handle(MorvDS_Mesh) & model)
{
  vtkSmartPointer<DataSet> dataSet = vtkSmartPointer<DataSet>::New();
  vtkNew<vtkPoints>        points;
  points->SetDataTypeToDouble();
  vtkNew<vtkDoubleArray> x;
  x->SetName("x");
  for (MorvDS_MeshNodesIterator it(model); it.More(); it.Next())
  {
    points->InsertNextPoint(it.Value()->X(), it.Value()->Y(), it.Value()->Z());
    x->InsertNextValue(it.Value()->X());
  }
  dataSet->SetPoints(points);
  dataSet->AllocateEstimate(model->NbElements(), 3);
  for (MorvDS_MeshElementsIterator it(model, MorvAbs_Face); it.More(); it.Next())
  {
    const vtkIdType ids[3] = {it.Value()->NodeID(0) - 1, it.Value()->NodeID(1) - 1,
                              it.Value()->NodeID(2) - 1};
    dataSet->InsertNextCell(VTK_TRIANGLE, 3, ids);
  }
  dataSet->GetPointData()->AddArray(x);
  return dataSet;
}

template <class Writer, class DataSet>
void reportVtkWrite(const std::string& task, const Handle(MorvDS_Mesh) & model)
{
  const vtkSmartPointer<DataSet> dataSet = bareDataSet<DataSet>(model);
  const std::string              path    = "/tmp/quorin-bench-out-" + task;
  const double                   seconds = BestOf3(
      [&]()
      {
        vtkSmartPointer<Writer> writer = vtkSmartPointer<Writer>::New();
        writer->SetFileName(path.c_str());
        writer->SetInputData(dataSet);
        writer->Write();
      });
  Report(task, path, dataSet->GetNumberOfCells(), seconds,
         MegabytesPerSecond(FileSize(path), seconds));
  std::remove(path.c_str());
}

int runWrite(const Args& args, const std::string& task)
{
  const std::string path = "/tmp/quorin-bench-out-" + task;
  if (task == "nas-write")
  {
    const Handle(Poly_Triangulation) mesh = ReadMesh(args.input);
    if (mesh.IsNull())
    {
      return 1;
    }
    const double seconds = BestOf3([&]() { quorin::algoMesh_NAS::Write(mesh, path.c_str(), {}); });
    Report(task, args.input, mesh->NbTriangles(), seconds,
           MegabytesPerSecond(FileSize(path), seconds));
    std::remove(path.c_str());
    return 0;
  }
  const Handle(MorvDS_Mesh) model = readModel(args);
  if (model.IsNull())
  {
    return 1;
  }
  const NCollection_Vector<Handle(quorin::algoMesh_Field)> fields  = nodeField(model);
  const bool                                               isPoly  = task == "vtp-write";
  const double                                             seconds = BestOf3(
      [&]()
      {
        if (isPoly)
        {
          quorin::algoMesh_VTK_XML::WriteVTP(model, fields, TopLoc_Location(), path.c_str(), {},
                                                                                         true);
        }
        else
        {
          quorin::algoMesh_VTK_XML::WriteVTU(model, fields, TopLoc_Location(), path.c_str(), {},
                                                                                         true);
        }
      });
  Report(task, args.input, model->NbElements(), seconds,
         MegabytesPerSecond(FileSize(path), seconds));
  std::remove(path.c_str());
  if (isPoly)
  {
    reportVtkWrite<vtkXMLPolyDataWriter, vtkPolyData>("vtp-write-vtk", model);
  }
  else
  {
    reportVtkWrite<vtkXMLUnstructuredGridWriter, vtkUnstructuredGrid>("vtu-write-vtk", model);
  }
  return 0;
}

} // namespace

void AddExchange2Tasks(std::vector<Task>& tasks)
{
  tasks.push_back({"nas-read", "<mesh.stl>: large-field NASTRAN of the mesh read back, MB/s",
                   [](const Args& a) { return runRead(a, "nas-read", ".nas"); }});
  tasks.push_back({"nas-write", "<mesh.stl>: algoMesh_NAS::Write (joining included), MB/s",
                   [](const Args& a) { return runWrite(a, "nas-write"); }});
  tasks.push_back({"msh-read", "<mesh.stl>: MSH 2 of the mesh with a node field read, MB/s",
                   [](const Args& a) { return runRead(a, "msh-read", ".msh"); }});
  tasks.push_back({"vtp-read", "<mesh.stl>: VTP with a node field read, beside bare VTK, MB/s",
                   [](const Args& a) { return runRead(a, "vtp-read", ".vtp"); }});
  tasks.push_back({"vtp-write", "<mesh.stl>: VTP with a node field written, beside bare VTK",
                   [](const Args& a) { return runWrite(a, "vtp-write"); }});
  tasks.push_back({"vtu-read", "<mesh.stl>: VTU with a node field read, beside bare VTK, MB/s",
                   [](const Args& a) { return runRead(a, "vtu-read", ".vtu"); }});
  tasks.push_back({"vtu-write", "<mesh.stl>: VTU with a node field written, beside bare VTK",
                   [](const Args& a) { return runWrite(a, "vtu-write"); }});
}

} // namespace bench
