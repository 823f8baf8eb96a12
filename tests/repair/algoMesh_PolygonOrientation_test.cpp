// The library's orientation walk against vtkPolyDataNormals' own: where it orients, the
// filter run with consistency off gives the output of the filter run with consistency on,
// value for value; where the filter's result would depend on its order, and on
// cancellation, the data is left as it was.
#include <algoMesh_Convert.hxx>
#include <algoMesh_PolygonOrientation.hxx>

#include <CancelProbe.hxx>
#include <MeshBuilders.hxx>

#include <vtkCellArray.h>
#include <vtkDataArray.h>
#include <vtkFillHolesFilter.h>
#include <vtkIdTypeArray.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataNormals.h>
#include <vtkSmartPointer.h>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace quorin;
using Orientation = algoMesh_PolygonOrientation;

namespace
{

vtkSmartPointer<vtkPolyData> toVTK(const Handle(Poly_Triangulation) & mesh)
{
  vtkSmartPointer<vtkPolyData> data;
  EXPECT_TRUE(algoMesh_Convert::ToVTK(mesh, data));
  return data;
}

//! The polygons' point lists, cell after cell.
std::vector<vtkIdType> polygonPoints(vtkPolyData* data)
{
  vtkNew<vtkIdTypeArray> flat;
  data->GetPolys()->ExportLegacyFormat(flat);
  return std::vector<vtkIdType>(flat->GetPointer(0),
                                flat->GetPointer(0) + flat->GetNumberOfValues());
}

std::vector<double> values(vtkDataArray* array)
{
  std::vector<double> all;
  for (vtkIdType i = 0; array != nullptr && i < array->GetNumberOfValues(); ++i)
  {
    all.push_back(array->GetVariantValue(i).ToDouble());
  }
  return all;
}

vtkSmartPointer<vtkPolyData> normals(vtkPolyData* input, const bool isConsistent)
{
  vtkNew<vtkPolyDataNormals> filter;
  filter->SetConsistency(isConsistent);
  filter->SetInputData(input);
  filter->Update();
  vtkSmartPointer<vtkPolyData> output = vtkSmartPointer<vtkPolyData>::New();
  output->DeepCopy(filter->GetOutput());
  return output;
}

//! Orients a copy of `input` and expects the filter to give the same output from it with
//! consistency off as from `input` with consistency on.
void expectFilterOutput(vtkPolyData* input)
{
  vtkNew<vtkPolyData> oriented;
  oriented->DeepCopy(input);
  ASSERT_EQ(Orientation::Status_Oriented,
            Orientation::Orient(oriented, algoMesh_ProgressScope(ActAPI_ProgressEntry(), "")));
  const vtkSmartPointer<vtkPolyData> expected = normals(input, true);
  const vtkSmartPointer<vtkPolyData> actual   = normals(oriented, false);
  EXPECT_EQ(polygonPoints(expected), polygonPoints(actual));
  EXPECT_EQ(values(expected->GetPoints()->GetData()), values(actual->GetPoints()->GetData()));
  EXPECT_EQ(values(expected->GetPointData()->GetNormals()),
            values(actual->GetPointData()->GetNormals()));
}

//! Expects `data` to be left as it was.
void expectUntouched(vtkPolyData* data)
{
  const std::vector<vtkIdType> before = polygonPoints(data);
  EXPECT_EQ(Orientation::Status_Ambiguous,
            Orientation::Orient(data, algoMesh_ProgressScope(ActAPI_ProgressEntry(), "")));
  EXPECT_EQ(before, polygonPoints(data));
}

//! A strip of `n` quads (two triangles each) around a circle with a half twist.
vtkSmartPointer<vtkPolyData> moebius(const int n)
{
  vtkNew<vtkPoints> points;
  for (int i = 0; i < n; ++i)
  {
    const double angle = 2.0 * M_PI * i / n;
    for (const double side : {-0.2, 0.2})
    {
      const double r = 1.0 + side * std::cos(angle / 2.0);
      points->InsertNextPoint(r * std::cos(angle), r * std::sin(angle),
                              side * std::sin(angle / 2.0));
    }
  }
  vtkNew<vtkCellArray> polygons;
  for (int i = 0; i < n; ++i)
  {
    const vtkIdType a = 2 * i, b = 2 * i + 1;
    // The last quad joins the sides crosswise.
    const vtkIdType c = i + 1 < n ? 2 * i + 2 : 1, d = i + 1 < n ? 2 * i + 3 : 0;
    const vtkIdType first[3] = {a, c, b}, second[3] = {b, c, d};
    polygons->InsertNextCell(3, first);
    polygons->InsertNextCell(3, second);
  }
  vtkSmartPointer<vtkPolyData> data = vtkSmartPointer<vtkPolyData>::New();
  data->SetPoints(points);
  data->SetPolys(polygons);
  return data;
}

} // namespace

TEST(algoMesh_PolygonOrientation, GivesTheFiltersOrientationOnMixedUpParts)
{
  // One sphere with every seventh triangle turned over, and first turned itself: the part
  // follows its first triangle, so the whole sphere turns inward.
  vtkSmartPointer<vtkPolyData> sphere = toVTK(testmesh::Sphere(1.0, 40, 20));
  for (vtkIdType cell = 0; cell < sphere->GetNumberOfPolys(); cell += 7)
  {
    sphere->GetPolys()->ReverseCellAtId(cell);
  }
  expectFilterOutput(sphere);

  // Two parts, the second turned over wholly and partly, and an open box.
  vtkSmartPointer<vtkPolyData> parts    = toVTK(testmesh::Combine(
         testmesh::Combine(testmesh::Sphere(1.0, 24, 12), testmesh::Tetra(), gp_Vec(3.0, 0.0, 0.0)),
         testmesh::OpenBox(), gp_Vec(0.0, 3.0, 0.0)));
  const vtkIdType              nbSphere = 2 * 24 * 11;
  for (vtkIdType cell = nbSphere; cell < parts->GetNumberOfPolys(); ++cell)
  {
    if (cell % 3 != 1)
    {
      parts->GetPolys()->ReverseCellAtId(cell);
    }
  }
  expectFilterOutput(parts);
}

TEST(algoMesh_PolygonOrientation, GivesTheFiltersOrientationOnAFilledHole)
{
  // The hole filter closes an opening with one polygon of many points, turned against the
  // surface.
  const Handle(Poly_Triangulation) sphere = testmesh::Sphere(1.0, 32, 16);
  Handle(Poly_Triangulation) open =
      new Poly_Triangulation(sphere->NbNodes(), sphere->NbTriangles() - 2 * 32, Standard_False);
  for (int i = 1; i <= sphere->NbNodes(); ++i)
  {
    open->SetNode(i, sphere->Node(i));
  }
  for (int t = 2 * 32 + 1, kept = 0; t <= sphere->NbTriangles(); ++t)
  {
    open->SetTriangle(++kept, sphere->Triangle(t)); // both pole caps left out
  }
  vtkNew<vtkFillHolesFilter> filler;
  filler->SetHoleSize(10.0);
  filler->SetInputData(toVTK(open));
  filler->Update();
  ASSERT_GT(filler->GetOutput()->GetNumberOfPolys(), open->NbTriangles());
  expectFilterOutput(filler->GetOutput());
}

TEST(algoMesh_PolygonOrientation, LeavesWhatTheFilterWouldDecideByItsOrder)
{
  // Three triangles on one edge; a strip that cannot be oriented.
  expectUntouched(toVTK(testmesh::NonManifoldFin()));
  expectUntouched(moebius(12));

  // A quad holding both ends of a triangle's edge, not as one of its own edges.
  vtkSmartPointer<vtkPolyData> quad = toVTK(testmesh::Equilateral());
  quad->GetPoints()->InsertNextPoint(0.5, -1.0, 0.0);
  const vtkIdType corners[4] = {0, 3, 1, 2};
  quad->GetPolys()->InsertNextCell(4, corners);
  expectUntouched(quad);

  // A point named twice; a point the data does not have; a line among the polygons.
  vtkSmartPointer<vtkPolyData> twice       = toVTK(testmesh::TwoEquilaterals());
  const vtkIdType              repeated[3] = {0, 1, 0};
  twice->GetPolys()->InsertNextCell(3, repeated);
  expectUntouched(twice);
  vtkSmartPointer<vtkPolyData> unknown    = toVTK(testmesh::TwoEquilaterals());
  const vtkIdType              outside[3] = {0, 1, 99};
  unknown->GetPolys()->InsertNextCell(3, outside);
  expectUntouched(unknown);
  vtkSmartPointer<vtkPolyData> withLine = toVTK(testmesh::Tetra());
  vtkNew<vtkCellArray>         lines;
  const vtkIdType              line[2] = {0, 1};
  lines->InsertNextCell(2, line);
  withLine->SetLines(lines);
  expectUntouched(withLine);
}

TEST(algoMesh_PolygonOrientation, StopsOnRequestWithTheDataUntouched)
{
  vtkSmartPointer<vtkPolyData> sphere = toVTK(testmesh::Sphere(1.0, 400, 200));
  for (vtkIdType cell = 0; cell < sphere->GetNumberOfPolys(); cell += 5)
  {
    sphere->GetPolys()->ReverseCellAtId(cell);
  }
  const std::vector<vtkIdType> before = polygonPoints(sphere);
  const testmesh::CancelledRun run    = testmesh::RunCancelled(
      [&](const ActAPI_ProgressEntry& progress)
      {
        return Orientation::Orient(sphere, algoMesh_ProgressScope(progress, "Orienting")) !=
               Orientation::Status_Cancelled;
      });
  testmesh::ExpectStoppedPromptly(run);
  EXPECT_FALSE(run.answer);
  EXPECT_EQ(before, polygonPoints(sphere));
}
