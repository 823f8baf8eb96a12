// The decimation's merged input against the conversion followed by VTK's cleaner, whose
// poly data it must reproduce id for id.
#include <algoMesh_DecimationInput.hxx>

#include <algoMesh_Convert.hxx>

#include <MeshBuilders.hxx>

#include <Standard_OutOfRange.hxx>

#include <vtkCellArray.h>
#include <vtkCleanPolyData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace quorin;

namespace
{

vtkSmartPointer<vtkPolyData> convertedAndCleaned(const Handle(Poly_Triangulation) & mesh)
{
  vtkSmartPointer<vtkPolyData> polyData;
  algoMesh_Convert::ToVTK(mesh, polyData);
  vtkSmartPointer<vtkCleanPolyData> cleaner = vtkSmartPointer<vtkCleanPolyData>::New();
  cleaner->SetInputData(polyData);
  cleaner->Update();
  return cleaner->GetOutput();
}

std::vector<vtkIdType> idsOf(vtkCellArray* cells)
{
  std::vector<vtkIdType> ids;
  if (cells == nullptr)
  {
    return ids;
  }
  vtkIdType        npts = 0;
  const vtkIdType* pts  = nullptr;
  for (cells->InitTraversal(); cells->GetNextCell(npts, pts);)
  {
    ids.push_back(npts);
    ids.insert(ids.end(), pts, pts + npts);
  }
  return ids;
}

//! Same points bit for bit, same vertices, lines and triangles in the same order.
void expectSamePolyData(vtkPolyData* ours, vtkPolyData* cleaned)
{
  ASSERT_EQ(ours->GetNumberOfPoints(), cleaned->GetNumberOfPoints());
  for (vtkIdType i = 0; i < ours->GetNumberOfPoints(); ++i)
  {
    double a[3], b[3];
    ours->GetPoint(i, a);
    cleaned->GetPoint(i, b);
    EXPECT_EQ(std::memcmp(a, b, sizeof(a)), 0) << "point " << i;
  }
  EXPECT_EQ(ours->GetPoints()->GetDataType(), cleaned->GetPoints()->GetDataType());
  EXPECT_EQ(idsOf(ours->GetVerts()), idsOf(cleaned->GetVerts()));
  EXPECT_EQ(idsOf(ours->GetLines()), idsOf(cleaned->GetLines()));
  EXPECT_EQ(idsOf(ours->GetPolys()), idsOf(cleaned->GetPolys()));
}

} // namespace

TEST(algoMesh_DecimationInput, SameAsCleanerOnUnweldedMesh)
{
  // Every triangle with its own three nodes, as a triangle soup read from STL.
  const Handle(Poly_Triangulation) soup   = testmesh::Unwelded(testmesh::Sphere(1.0, 24, 13));
  const vtkSmartPointer<vtkPolyData> ours = algoMesh_DecimationInput::Build(*soup);
  expectSamePolyData(ours, convertedAndCleaned(soup));
  EXPECT_LT(ours->GetNumberOfPoints(), soup->NbNodes() / 3);
}

TEST(algoMesh_DecimationInput, SameAsCleanerOnCollapsedTrianglesSignedZerosAndUnusedNodes)
{
  // Nodes 1 and 5 coincide, 6 is +0 where 2 is -0, 7 is used by no triangle. Triangles whose
  // corners merge at each position pair become lines (before the triangles, in their order),
  // the one merging all three a vertex (before the lines).
  Handle(Poly_Triangulation) mesh = new Poly_Triangulation(7, 8, false);
  const gp_Pnt nodes[7] = {gp_Pnt(0, 0, 0), gp_Pnt(-0.0, 1, 0), gp_Pnt(1, 0, 0), gp_Pnt(1, 1, 1),
                           gp_Pnt(0, 0, 0), gp_Pnt(0.0, 1, 0),  gp_Pnt(5, 5, 5)};
  for (int i = 0; i < 7; ++i)
  {
    mesh->SetNode(i + 1, nodes[i]);
  }
  const int triangles[8][3] = {{1, 2, 3}, {5, 1, 4}, {3, 4, 4}, {4, 2, 6},
                               {1, 3, 5}, {1, 5, 1}, {2, 3, 4}, {6, 4, 3}};
  for (int t = 0; t < 8; ++t)
  {
    mesh->SetTriangle(t + 1, Poly_Triangle(triangles[t][0], triangles[t][1], triangles[t][2]));
  }
  const vtkSmartPointer<vtkPolyData> ours = algoMesh_DecimationInput::Build(*mesh);
  expectSamePolyData(ours, convertedAndCleaned(mesh));
  EXPECT_EQ(ours->GetNumberOfPoints(), 4);
  EXPECT_EQ(ours->GetNumberOfVerts(), 1);
  EXPECT_EQ(ours->GetNumberOfLines(), 4);
  EXPECT_EQ(ours->GetNumberOfPolys(), 3);
}

TEST(algoMesh_DecimationInput, NodeOutOfRangeThrowsLikeTheConversion)
{
  Handle(Poly_Triangulation) mesh = testmesh::Tetra();
  mesh->SetTriangle(2, Poly_Triangle(1, 0, 3));
  EXPECT_THROW(algoMesh_DecimationInput::Build(*mesh), Standard_OutOfRange);
}
