// Quality benchmarks: the checker's nine triangle metrics against VTK's mesh quality
// filter on the same mesh.
//
//   quality      algoMesh_Checker::Perform() (all metric types) on a mesh file
//   quality-vtk  vtkMeshQuality with the eight triangle measures that have a VTK
//                counterpart (the area ratio has none), on the same mesh
//   quality-4, quality-vtk-4  aspect ratio, condition, scaled Jacobian and minimum angle
//                on both sides
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
#include <vector>
#include <string>

namespace
{
using namespace quorin; // metric enumerators

//! Mean of a field's values, as a check that both sides compute the same measure.
double meanOf(const Handle(quorin::algoMesh_Field) & field)
{
  double sum = 0.0;
  for (int k = 0; field && k < field->NbTuples(); ++k)
  {
    sum += field->TupleAt(k)[0];
  }
  return field && field->NbTuples() > 0 ? sum / field->NbTuples() : 0.0;
}

int runChecker(const bench::Args&                             args,
               const char*                                    name,
               const std::vector<algoMesh_QualityMetricType>& types)
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
        ok      = (types.empty() ? checker->Perform() : checker->Perform(types)) && ok;
      },
      [&]() { checker.Nullify(); });
  long long nbValues = 0;
  for (quorin::algoMesh_QualityInfo::FieldMap::Iterator it(checker->QualityInfo()->Fields());
       it.More(); it.Next())
  {
    nbValues += it.Value()->NbTuples();
  }
  char figures[128];
  std::snprintf(figures, sizeof(figures), " mean-aspect-ratio=%.6g mean-min-angle=%.6g",
                meanOf(checker->QualityInfo()->Field(QualityMetric_AspectRatio)),
                meanOf(checker->QualityInfo()->Field(QualityMetric_MinAngle)));
  bench::Report(name, args.input, mesh->NbTriangles(), seconds,
                "metrics=" + std::to_string(types.empty() ? 9 : types.size()) +
                    " values=" + std::to_string(nbValues) + figures + (ok ? "" : " failed=1"));
  return ok ? 0 : 1;
}

//! The four triangle measures VTK's filter is usually asked for.
const std::vector<algoMesh_QualityMetricType> THE_VTK_FOUR = {
    QualityMetric_AspectRatio, QualityMetric_Condition, QualityMetric_ScaledJacobian,
    QualityMetric_MinAngle};

int runQuality(const bench::Args& args)
{
  return runChecker(args, "quality", {});
}

int runQuality4(const bench::Args& args)
{
  return runChecker(args, "quality-4", THE_VTK_FOUR);
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

int runVtkMeasures(const bench::Args& args, const char* name, const std::vector<int>& measures)
{
  const Handle(Poly_Triangulation) mesh = bench::ReadMesh(args.input);
  if (mesh.IsNull())
  {
    return 1;
  }
  const vtkSmartPointer<vtkPolyData> poly     = toPolyData(mesh);
  long long                          nbValues = 0;
  double                             means[2] = {0.0, 0.0};
  const double                       seconds  = bench::BestOf3(
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
          const int slot = measure == VTK_QUALITY_ASPECT_RATIO ? 0
                                                  : measure == VTK_QUALITY_MIN_ANGLE  ? 1
                                                                                      : -1;
          if (slot >= 0 && quality != nullptr && quality->GetNumberOfTuples() > 0)
          {
            double sum = 0.0;
            for (vtkIdType i = 0; i < quality->GetNumberOfTuples(); ++i)
            {
              sum += quality->GetTuple1(i);
            }
            means[slot] = sum / quality->GetNumberOfTuples();
          }
        }
      });
  char figures[128];
  std::snprintf(figures, sizeof(figures), " mean-aspect-ratio=%.6g mean-min-angle=%.6g", means[0],
                means[1]);
  bench::Report(name, args.input, mesh->NbTriangles(), seconds,
                "metrics=" + std::to_string(measures.size()) +
                    " values=" + std::to_string(nbValues) + figures);
  return 0;
}

int runQualityVtk(const bench::Args& args)
{
  // The triangle measures of the checker, in its order; the area ratio has no counterpart.
  return runVtkMeasures(args, "quality-vtk",
                        {VTK_QUALITY_AREA, VTK_QUALITY_ASPECT_RATIO, VTK_QUALITY_ASPECT_FROBENIUS,
                         VTK_QUALITY_CONDITION, VTK_QUALITY_EDGE_RATIO, VTK_QUALITY_MAX_ANGLE,
                         VTK_QUALITY_MIN_ANGLE, VTK_QUALITY_SCALED_JACOBIAN});
}

int runQualityVtk4(const bench::Args& args)
{
  return runVtkMeasures(args, "quality-vtk-4",
                        {VTK_QUALITY_ASPECT_RATIO, VTK_QUALITY_CONDITION,
                         VTK_QUALITY_SCALED_JACOBIAN, VTK_QUALITY_MIN_ANGLE});
}
} // namespace

namespace bench
{
void AddQualityTasks(std::vector<Task>& tasks)
{
  tasks.push_back({"quality", "MESH.stl  all nine metrics with algoMesh_Checker", runQuality});
  tasks.push_back(
      {"quality-vtk", "MESH.stl  the eight VTK counterparts with vtkMeshQuality", runQualityVtk});
  tasks.push_back({"quality-4",
                   "MESH.stl  aspect ratio, condition, scaled Jacobian and minimum angle with "
                   "algoMesh_Checker::Perform(list)",
                   runQuality4});
  tasks.push_back({"quality-vtk-4", "MESH.stl  the same four with vtkMeshQuality", runQualityVtk4});
}
} // namespace bench
