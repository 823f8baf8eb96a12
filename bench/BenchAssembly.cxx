// Assembly benchmarks: merging the corners of a triangle soup, beside VTK's cleaning
// filter on the same soup, and welding the face meshes of a finely meshed shape.
#include <BenchCommon.hxx>

#include <algoMesh_Conglomerate.hxx>
#include <algoMesh_NodesMerger.hxx>

#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepPrimAPI_MakeTorus.hxx>
#include <IFSelect_ReturnStatus.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <STEPControl_Reader.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>

#include <vtkCellArray.h>
#include <vtkCleanPolyData.h>
#include <vtkStaticCleanPolyData.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSMPTools.h>
#include <vtkSmartPointer.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
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
        // A closed mesh has about half as many nodes as triangles, so a facet soup has
        // about one node per six corners. The batch call is the one Weld and the PLY
        // reader make.
        merger.Reserve(corners.size(), corners.size() / 6);
        merger.Perform(corners);
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

  // Both of VTK's cleaners, the locator-based one and the sort-based static one (its faster
  // mode on large inputs), on the same soup with the same absolute tolerance. The static
  // one runs on VTK's thread pool, bounded by --threads when given.
  if (args.threads > 0)
  {
    vtkSMPTools::Initialize(args.threads);
  }
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
  vtkIdType    nbStaticNodes = 0;
  const double staticSeconds = BestOf3(
      [&]
      {
        vtkNew<vtkStaticCleanPolyData> clean;
        clean->SetInputData(soup);
        clean->ToleranceIsAbsoluteOn();
        clean->SetAbsoluteTolerance(1.0e-7);
        clean->Update();
        nbStaticNodes = clean->GetOutput()->GetNumberOfPoints();
      });
  Report("merge-nodes-vtk-static", args.input, static_cast<long long>(nbPoints / 3), staticSeconds,
         "points=" + std::to_string(nbPoints) + " nodes=" + std::to_string(nbStaticNodes));
  return 0;
}

// The shape to weld: a BREP or STEP file, or a generated torus when the input is "torus".
TopoDS_Shape readShape(const std::string& path)
{
  return path == "torus" ? BRepPrimAPI_MakeTorus(10.0, 3.0).Shape() : ReadShape(path);
}

// A shape of `nbFaces` faces cut from a mesh in triangle order, each face with its own copy
// of its nodes: nodes on the cuts are coincident across faces, as on the shared edges of a
// meshed B-rep (the kernel's mesher takes minutes for a million triangles).
TopoDS_Shape facesOf(const Handle(Poly_Triangulation) & mesh, const int nbFaces)
{
  TopoDS_Compound compound;
  BRep_Builder    builder;
  builder.MakeCompound(compound);
  const long long  nbTriangles = mesh->NbTriangles();
  std::vector<int> local(static_cast<size_t>(mesh->NbNodes()) + 1, 0);
  for (int f = 0; f < nbFaces; ++f)
  {
    const int                  first = 1 + static_cast<int>(nbTriangles * f / nbFaces);
    const int                  last  = static_cast<int>(nbTriangles * (f + 1) / nbFaces);
    std::vector<int>           nodes;
    std::vector<Poly_Triangle> triangles;
    for (int t = first; t <= last; ++t)
    {
      int n[3];
      mesh->Triangle(t).Get(n[0], n[1], n[2]);
      for (int& node : n)
      {
        if (local[node] == 0)
        {
          nodes.push_back(node);
          local[node] = static_cast<int>(nodes.size());
        }
        node = local[node];
      }
      triangles.emplace_back(n[0], n[1], n[2]);
    }
    for (const int node : nodes)
    {
      local[node] = 0;
    }
    if (triangles.empty())
    {
      continue;
    }
    Handle(Poly_Triangulation) part = new Poly_Triangulation(
        static_cast<int>(nodes.size()), static_cast<int>(triangles.size()), false);
    for (size_t i = 0; i < nodes.size(); ++i)
    {
      part->SetNode(static_cast<int>(i) + 1, mesh->Node(nodes[i]));
    }
    for (size_t i = 0; i < triangles.size(); ++i)
    {
      part->SetTriangle(static_cast<int>(i) + 1, triangles[i]);
    }
    TopoDS_Face face;
    builder.MakeFace(face, part);
    builder.Add(compound, face);
  }
  return compound;
}

int conglomerate(const Args& args)
{
  TopoDS_Shape shape;
  if (args.input.size() > 4 && args.input.substr(args.input.size() - 4) == ".stl")
  {
    const Handle(Poly_Triangulation) mesh = ReadMesh(args.input);
    if (mesh.IsNull())
    {
      return 1;
    }
    shape = facesOf(mesh, args.options.empty() ? 1000 : std::atoi(args.options[0].c_str()));
  }
  else
  {
    shape = readShape(args.input);
    if (shape.IsNull())
    {
      return 1;
    }
    const double deflection = args.options.empty() ? 0.01 : std::atof(args.options[0].c_str());
    BRepMesh_IncrementalMesh(shape, deflection, false, 0.5, true);
  }
  long long nbFaceNodes = 0, nbTriangles = 0, nbFaces = 0;
  for (TopExp_Explorer exp(shape, TopAbs_FACE); exp.More(); exp.Next(), ++nbFaces)
  {
    TopLoc_Location location;
    const Handle(Poly_Triangulation)& mesh =
        BRep_Tool::Triangulation(TopoDS::Face(exp.Current()), location);
    if (!mesh.IsNull())
    {
      nbFaceNodes += mesh->NbNodes();
      nbTriangles += mesh->NbTriangles();
    }
  }
  int          nbNodes = 0, nbWelded = 0;
  const double seconds = BestOf3(
      [&]
      {
        quorin::algoMesh_Conglomerate weld(shape);
        nbNodes  = weld.GetPlain().IsNull() ? 0 : weld.GetPlain()->NbNodes();
        nbWelded = weld.GetPlain().IsNull() ? 0 : weld.GetPlain()->NbTriangles();
      });
  Report("conglomerate", args.input, nbTriangles, seconds,
         "faces=" + std::to_string(nbFaces) + " face_nodes=" + std::to_string(nbFaceNodes) +
             " nodes=" + std::to_string(nbNodes) + " triangles=" + std::to_string(nbWelded));
  return 0;
}

} // namespace

void AddAssemblyTasks(std::vector<Task>& tasks)
{
  tasks.push_back(
      {"merge-nodes",
       "BINARY.stl  merge the raw facet corners at 1e-7 (the batch call Perform(points), "
       "one thread)",
       mergeNodes});
  tasks.push_back(
      {"merge-nodes-vtk",
       "BINARY.stl  the same with vtkCleanPolyData and vtkStaticCleanPolyData (on --threads)",
       mergeNodesVtk});
  tasks.push_back(
      {"conglomerate",
       "MESH.stl [FACES=1000] | SHAPE.brep|.step|torus [DEFLECTION=0.01]  weld face meshes",
       conglomerate});
}

} // namespace bench
