// Quality benchmarks: the checker's nine triangle metrics against VTK's mesh quality
// filter on the same mesh.
//
//   quality      algoMesh_Checker::Perform() (all metric types) on a mesh file
//   quality-vtk  vtkMeshQuality with the eight triangle measures that have a VTK
//                counterpart (the area ratio has none), on the same mesh
#include <BenchCommon.hxx>

#include <algoMesh_Checker.hxx>

#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkDataArray.h>
#include <vtkMeshQuality.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <cstdio>
#include <string>

namespace
{
int runQuality(const bench::Args& args)
{
  const Handle(Poly_Triangulation) mesh = bench::ReadMesh(args.input);
  if (mesh.IsNull())
  {
    return 1;
  }
  // The previous run's result is released before the next run, outside the timing.
  Handle(quorin::algoMesh_Checker) checker;
  bool         ok      = true;
  const double seconds = bench::BestOf3(
      [&]()
      {
        checker = new quorin::algoMesh_Checker(mesh);
        ok      = checker->Perform() && ok;
      },
      [&]() { checker.Nullify(); });

  long long nbValues = 0;
  for (quorin::algoMesh_QualityInfo::FieldMap::Iterator it(checker->QualityInfo()->Fields());
       it.More(); it.Next())
  {
    nbValues += it.Value()->NbTuples();
  }
  bench::Report("quality", args.input, mesh->NbTriangles(), seconds,
                "metrics=9 values=" + std::to_string(nbValues) + (ok ? "" : " failed=1"));
  return ok ? 0 : 1;
}

vtkSmartPointer<vtkPolyData> toPolyData(const Handle(Poly_Triangulation) & mesh)
{
  vtkNew<vtkPoints> points;
  points->SetDataTypeToDouble();
  points->SetNumberOfPoints(mesh->NbNodes());
  for (int i = 1; i <= mesh->NbNodes(); ++i)
  {
    const gp_Pnt p = mesh->Node(i);
    points->SetPoint(i - 1, p.X(), p.Y(), p.Z());
  }
  vtkNew<vtkCellArray> triangles;
  triangles->AllocateExact(mesh->NbTriangles(), 3 * mesh->NbTriangles());
  for (int i = 1; i <= mesh->NbTriangles(); ++i)
  {
    int a = 0, b = 0, c = 0;
    mesh->Triangle(i).Get(a, b, c);
    const vtkIdType ids[3] = {a - 1, b - 1, c - 1};
    triangles->InsertNextCell(3, ids);
  }
  vtkSmartPointer<vtkPolyData> poly = vtkSmartPointer<vtkPolyData>::New();
  poly->SetPoints(points);
  poly->SetPolys(triangles);
  return poly;
}

int runQualityVtk(const bench::Args& args)
{
  const Handle(Poly_Triangulation) mesh = bench::ReadMesh(args.input);
  if (mesh.IsNull())
  {
    return 1;
  }
  const vtkSmartPointer<vtkPolyData> poly = toPolyData(mesh);

  // The triangle measures of the checker, in its order; the area ratio has no counterpart.
  const int measures[] = {
      VTK_QUALITY_AREA,      VTK_QUALITY_ASPECT_RATIO,   VTK_QUALITY_ASPECT_FROBENIUS,
      VTK_QUALITY_CONDITION, VTK_QUALITY_EDGE_RATIO,     VTK_QUALITY_MAX_ANGLE,
      VTK_QUALITY_MIN_ANGLE, VTK_QUALITY_SCALED_JACOBIAN};
  long long    nbValues = 0;
  const double seconds  = bench::BestOf3(
      [&]()
      {
        nbValues = 0;
        for (const int measure : measures)
        {
          vtkNew<vtkMeshQuality> filter;
          filter->SetInputData(poly);
          filter->SetTriangleQualityMeasure(measure);
          filter->Update();
          vtkDataArray* quality = filter->GetOutput()->GetCellData()->GetArray("Quality");
          nbValues += quality != nullptr ? quality->GetNumberOfTuples() : 0;
        }
      });
  bench::Report("quality-vtk", args.input, mesh->NbTriangles(), seconds,
                "metrics=8 values=" + std::to_string(nbValues) + " area-ratio=none");
  return 0;
}
} // namespace

namespace bench
{
void AddQualityTasks(std::vector<Task>& tasks)
{
  tasks.push_back({"quality", "MESH.stl  all nine metrics with algoMesh_Checker", runQuality});
  tasks.push_back(
      {"quality-vtk", "MESH.stl  the eight VTK counterparts with vtkMeshQuality", runQualityVtk});
}
} // namespace bench
