// Assembly benchmarks: merging the corners of a triangle soup, beside VTK's cleaning
// filter on the same soup, and welding the face meshes of a finely meshed shape.
#include <BenchCommon.hxx>

#include <algoMesh_NodesMerger.hxx>

#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepPrimAPI_MakeTorus.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <Bnd_Box.hxx>
#include <BRepBndLib.hxx>
#include <STEPControl_Reader.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>

#include <vtkCellArray.h>
#include <vtkCleanPolyData.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace bench
{
namespace
{

// Reads the three corners of every facet of a binary STL file as they stand, three points
// per facet with no merging. Answers false when the file is not a complete binary STL.
bool readSoup(const std::string& path, std::vector<gp_Pnt>& corners)
{
  std::ifstream file(path, std::ios::binary);
  char          header[84];
  if (!file.read(header, sizeof(header)))
  {
    std::fprintf(stderr, "cannot read a binary STL header from '%s'\n", path.c_str());
    return false;
  }
  uint32_t nbFacets = 0;
  std::memcpy(&nbFacets, header + 80, 4);
  if (FileSize(path) != 84 + 50LL * nbFacets)
  {
    std::fprintf(stderr, "'%s' is not a binary STL of %u facets\n", path.c_str(), nbFacets);
    return false;
  }
  std::vector<char> records(50ULL * nbFacets);
  file.read(records.data(), static_cast<std::streamsize>(records.size()));
  corners.clear();
  corners.reserve(3ULL * nbFacets);
  for (uint32_t f = 0; f < nbFacets; ++f)
  {
    float xyz[9];
    std::memcpy(xyz, records.data() + 50ULL * f + 12, sizeof(xyz));
    for (int c = 0; c < 3; ++c)
    {
      corners.emplace_back(xyz[3 * c], xyz[3 * c + 1], xyz[3 * c + 2]);
    }
  }
  return true;
}

int mergeNodes(const Args& args)
{
  std::vector<gp_Pnt> corners;
  if (!readSoup(args.input, corners))
  {
    return 1;
  }
  int          nbNodes = 0;
  const double seconds = BestOf3(
      [&]
      {
        quorin::algoMesh_NodesMerger merger(1.0e-7);
        merger.Reserve(corners.size());
        int index = 0;
        for (const gp_Pnt& corner : corners)
        {
          merger.Perform(corner, index);
        }
        nbNodes = merger.NbNodes();
      });
  Report("merge-nodes", args.input, static_cast<long long>(corners.size() / 3), seconds,
         "points=" + std::to_string(corners.size()) + " nodes=" + std::to_string(nbNodes));
  return 0;
}

int mergeNodesVtk(const Args& args)
{
  std::vector<gp_Pnt> corners;
  if (!readSoup(args.input, corners))
  {
    return 1;
  }
  const vtkIdType      nbPoints = static_cast<vtkIdType>(corners.size());
  vtkNew<vtkPoints>    points;
  vtkNew<vtkCellArray> triangles;
  vtkNew<vtkPolyData>  soup;
  points->SetDataTypeToDouble();
  points->SetNumberOfPoints(nbPoints);
  for (vtkIdType i = 0; i < nbPoints; ++i)
  {
    points->SetPoint(i, corners[i].X(), corners[i].Y(), corners[i].Z());
  }
  triangles->AllocateExact(nbPoints / 3, nbPoints);
  for (vtkIdType t = 0; t + 2 < nbPoints; t += 3)
  {
    const vtkIdType ids[3] = {t, t + 1, t + 2};
    triangles->InsertNextCell(3, ids);
  }
  soup->SetPoints(points);
  soup->SetPolys(triangles);

  vtkIdType    nbNodes = 0;
  const double seconds = BestOf3(
      [&]
      {
        vtkNew<vtkCleanPolyData> clean;
        clean->SetInputData(soup);
        clean->ToleranceIsAbsoluteOn();
        clean->SetAbsoluteTolerance(1.0e-7);
        clean->Update();
        nbNodes = clean->GetOutput()->GetNumberOfPoints();
      });
  Report("merge-nodes-vtk", args.input, static_cast<long long>(nbPoints / 3), seconds,
         "points=" + std::to_string(nbPoints) + " nodes=" + std::to_string(nbNodes));
  return 0;
}

} // namespace

void AddAssemblyTasks(std::vector<Task>& tasks)
{
  tasks.push_back({"merge-nodes", "BINARY.stl  merge the raw facet corners at 1e-7", mergeNodes});
  tasks.push_back({"merge-nodes-vtk", "BINARY.stl  the same with vtkCleanPolyData", mergeNodesVtk});
}

} // namespace bench
