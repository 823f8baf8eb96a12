#include <algoMesh_vtkExactPointLocator.hxx>

#include <gtest/gtest.h>

#include <vtkCellArray.h>
#include <vtkCleanPolyData.h>
#include <vtkIdList.h>
#include <vtkIncrementalOctreePointLocator.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <cmath>
#include <random>
#include <vector>

namespace
{
// A triangle soup of a jittered grid whose corners repeat exactly, with signed zeros, points
// one unit in the last place apart (distinct as doubles, equal as floats) and triangles that
// collapse to lines or points under the merging.
vtkSmartPointer<vtkPolyData> soup(const int dataType)
{
  vtkNew<vtkPoints> points;
  points->SetDataType(dataType);
  vtkNew<vtkCellArray>                   polys;
  std::mt19937                           random(7);
  std::uniform_real_distribution<double> jitter(-0.3, 0.3);
  const int                              n = 40;
  std::vector<double>                    grid;
  for (int j = 0; j <= n; ++j)
  {
    for (int i = 0; i <= n; ++i)
    {
      grid.insert(grid.end(), {i + jitter(random), j + jitter(random), jitter(random)});
    }
  }
  // The middle corner, shared by four cells, at x = 0: +0 and -0 in turn.
  const size_t middle = 3 * static_cast<size_t>(n / 2 * (n + 1) + n / 2);
  grid[middle]        = 0.0;
  int  zeroUses       = 0;
  auto corner         = [&](const int i, const int j, const bool nudged)
  {
    const double* p = &grid[3 * static_cast<size_t>(j * (n + 1) + i)];
    double        x = p[0];
    if (nudged)
    {
      x = std::nextafter(x, 1e9);
    }
    else if (i == n / 2 && j == n / 2 && zeroUses++ % 2 == 1)
    {
      x = -x; // -0 against the +0 of the other uses
    }
    return points->InsertNextPoint(x, p[1], p[2]);
  };
  for (int j = 0; j < n; ++j)
  {
    for (int i = 0; i < n; ++i)
    {
      const bool      nudged = (i + j) % 7 == 0;
      const vtkIdType a = corner(i, j, false), b = corner(i + 1, j, nudged),
                      c = corner(i + 1, j + 1, false), d = corner(i, j + 1, false);
      const vtkIdType lower[3] = {a, b, c};
      const vtkIdType upper[3] = {a, c, (i * j) % 11 == 5 ? corner(i, j, false) : d};
      polys->InsertNextCell(3, lower);
      polys->InsertNextCell(3, upper);
    }
  }
  vtkSmartPointer<vtkPolyData> data = vtkSmartPointer<vtkPolyData>::New();
  data->SetPoints(points);
  data->SetPolys(polys);
  return data;
}

vtkSmartPointer<vtkPolyData> cleaned(vtkPolyData* input, vtkIncrementalPointLocator* locator)
{
  vtkNew<vtkCleanPolyData> cleaner;
  cleaner->SetInputData(input);
  cleaner->SetLocator(locator);
  cleaner->Update();
  vtkSmartPointer<vtkPolyData> output = vtkSmartPointer<vtkPolyData>::New();
  output->DeepCopy(cleaner->GetOutput());
  return output;
}

void expectSameCells(vtkCellArray* expected, vtkCellArray* actual)
{
  ASSERT_EQ(expected->GetNumberOfCells(), actual->GetNumberOfCells());
  vtkNew<vtkIdList> e, a;
  for (vtkIdType c = 0; c < expected->GetNumberOfCells(); ++c)
  {
    expected->GetCellAtId(c, e);
    actual->GetCellAtId(c, a);
    ASSERT_EQ(e->GetNumberOfIds(), a->GetNumberOfIds()) << "cell " << c;
    for (vtkIdType k = 0; k < e->GetNumberOfIds(); ++k)
      EXPECT_EQ(e->GetId(k), a->GetId(k)) << "cell " << c;
  }
}
} // namespace

TEST(algoMesh_vtkExactPointLocator, CleanerOutputEqualsTheOctreeLocatorsAtZeroTolerance)
{
  // Double points keep the nudged corners apart; float points merge them. Either way the
  // points, their numbering and every kind of output cell are those of the octree.
  for (const int dataType : {VTK_DOUBLE, VTK_FLOAT})
  {
    SCOPED_TRACE(dataType == VTK_DOUBLE ? "double" : "float");
    const vtkSmartPointer<vtkPolyData>       input = soup(dataType);
    vtkNew<vtkIncrementalOctreePointLocator> octree;
    vtkNew<algoMesh_vtkExactPointLocator>    exact;
    const vtkSmartPointer<vtkPolyData>       expected = cleaned(input, octree);
    const vtkSmartPointer<vtkPolyData>       actual   = cleaned(input, exact);

    ASSERT_LT(expected->GetNumberOfPoints(), input->GetNumberOfPoints() / 3);
    ASSERT_GT(expected->GetNumberOfLines(), 0);
    ASSERT_EQ(expected->GetNumberOfPoints(), actual->GetNumberOfPoints());
    for (vtkIdType i = 0; i < expected->GetNumberOfPoints(); ++i)
    {
      double e[3], a[3];
      expected->GetPoint(i, e);
      actual->GetPoint(i, a);
      for (int k = 0; k < 3; ++k)
        ASSERT_EQ(std::signbit(e[k]), std::signbit(a[k])) << "point " << i;
      ASSERT_TRUE(e[0] == a[0] && e[1] == a[1] && e[2] == a[2]) << "point " << i;
    }
    expectSameCells(expected->GetPolys(), actual->GetPolys());
    expectSameCells(expected->GetLines(), actual->GetLines());
    expectSameCells(expected->GetVerts(), actual->GetVerts());
  }
}

TEST(algoMesh_vtkExactPointLocator, InsertsIncrementallyAndRefusesATolerance)
{
  vtkNew<algoMesh_vtkExactPointLocator> locator;
  vtkNew<vtkPoints>                     points;
  points->SetDataTypeToDouble();
  points->InsertNextPoint(1.0, 2.0, 3.0); // present before the insertion starts
  const double bounds[6] = {0, 1, 0, 1, 0, 1};
  ASSERT_EQ(1, locator->InitPointInsertion(points, bounds));
  EXPECT_EQ(0, locator->IsInsertedPoint(1.0, 2.0, 3.0));

  // Enough points for the table to grow several times; every one keeps its number.
  vtkIdType id = -1;
  for (int i = 0; i < 5000; ++i)
  {
    const double x[3] = {0.5 * i, -0.0, 1.0};
    ASSERT_EQ(1, locator->InsertUniquePoint(x, id));
    ASSERT_EQ(i + 1, id);
  }
  for (int i = 0; i < 5000; ++i)
  {
    const double x[3] = {0.5 * i, 0.0, 1.0};
    ASSERT_EQ(0, locator->InsertUniquePoint(x, id));
    ASSERT_EQ(i + 1, id);
  }
  EXPECT_EQ(5001, points->GetNumberOfPoints());
  EXPECT_EQ(-1, locator->IsInsertedPoint(0.25, 0.0, 1.0));

  locator->SetTolerance(1e-6);
  EXPECT_EQ(0, locator->InitPointInsertion(points, bounds));
}
