// Boundary edge counting against a plain edge map, on closed, open and non-manifold
// meshes, its progress and cancellation, and the bounding-box diagonal of meshes and shapes.
#include <algoMesh_BoundaryEdges.hxx>
#include <algoMesh_Extent.hxx>

#include <CancelProbe.hxx>
#include <MeshBuilders.hxx>

#include <BRepPrimAPI_MakeBox.hxx>

#include <gtest/gtest.h>

using namespace quorin;

TEST(algoMesh_BoundaryEdges, AgreesWithAnEdgeMap)
{
  for (const Handle(Poly_Triangulation) & mesh :
       {testmesh::Tetra(), testmesh::OpenBox(), testmesh::NonManifoldFin(),
        testmesh::Sphere(1.0, 12, 7), testmesh::TwoEquilaterals(),
        testmesh::Combine(testmesh::OpenBox(), testmesh::Equilateral())})
  {
    EXPECT_EQ(algoMesh_BoundaryEdges::Count(mesh), testmesh::CountEdges(mesh).boundary);
    algoMesh_BoundaryEdges::Counts counts;
    ASSERT_TRUE(algoMesh_BoundaryEdges::CountByUse(mesh, ActAPI_ProgressEntry(), counts));
    EXPECT_EQ(testmesh::CountEdges(mesh).boundary, counts.NbBoundary);
    EXPECT_EQ(testmesh::CountEdges(mesh).nonManifold, counts.NbNonManifold);
  }
  EXPECT_EQ(algoMesh_BoundaryEdges::Count(testmesh::Cube()), 0);
  EXPECT_EQ(algoMesh_BoundaryEdges::Count(testmesh::Equilateral()), 3);
  EXPECT_EQ(algoMesh_BoundaryEdges::Count(Handle(Poly_Triangulation)()), 0);
}

TEST(algoMesh_BoundaryEdges, EdgesOnUnknownNodesAreLeftOut)
{
  // A triangle naming node 4 of a three-node mesh: only its edge 1-2 counts.
  Handle(Poly_Triangulation) mesh = new Poly_Triangulation(3, 1, false);
  mesh->SetNode(1, gp_Pnt(0, 0, 0));
  mesh->SetNode(2, gp_Pnt(1, 0, 0));
  mesh->SetNode(3, gp_Pnt(0, 1, 0));
  mesh->SetTriangle(1, Poly_Triangle(1, 2, 4));
  EXPECT_EQ(algoMesh_BoundaryEdges::Count(mesh), 1);
}

TEST(algoMesh_BoundaryEdges, ReportsProgressAndStopsOnRequest)
{
  // Spread over several blocks of triangles and nodes; two open bands of 400 edges each.
  const Handle(Poly_Triangulation) sphere = testmesh::Sphere(1.0, 400, 200);
  Handle(Poly_Triangulation) open         = new Poly_Triangulation(
              sphere->NbNodes(), sphere->NbTriangles() - 2 * 400 * 2, Standard_False);
  for (int i = 1; i <= sphere->NbNodes(); ++i)
  {
    open->SetNode(i, sphere->Node(i));
  }
  for (int t = 1, kept = 0; t <= sphere->NbTriangles(); ++t)
  {
    // Two rings of quads cut out of the middle latitudes.
    const int band = (t - 1) / (400 * 2);
    if (band != 60 && band != 120)
    {
      open->SetTriangle(++kept, sphere->Triangle(t));
    }
  }
  const int expected = testmesh::CountEdges(open).boundary;
  ASSERT_EQ(expected, 4 * 400);

  // Without a request the progress runs through and the count is the plain one.
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  EXPECT_EQ(expected, algoMesh_BoundaryEdges::Count(open, ActAPI_ProgressEntry(notifier)));
  ASSERT_FALSE(notifier->Fractions().empty());
  EXPECT_DOUBLE_EQ(1.0, notifier->Fractions().back());

  int                          answer = 0;
  const testmesh::CancelledRun run    = testmesh::RunCancelled(
      [&](const ActAPI_ProgressEntry& progress)
      {
        answer = algoMesh_BoundaryEdges::Count(open, progress);
        return answer >= 0;
      });
  testmesh::ExpectStoppedPromptly(run);
  EXPECT_EQ(-1, answer);
  EXPECT_EQ(std::vector<std::string>{"Operation cancelled."}, run.texts);

  run.notifier->CancelAfterPolls(-1);
  EXPECT_EQ(expected, algoMesh_BoundaryEdges::Count(open, ActAPI_ProgressEntry(run.notifier)));
}

TEST(algoMesh_Extent, DiagonalOfMeshesAndShapes)
{
  EXPECT_NEAR(algoMesh_Extent::Diagonal(
                  testmesh::Triangle(gp_Pnt(1, 1, 1), gp_Pnt(4, 1, 1), gp_Pnt(4, 5, 13))),
              13.0, 1e-12);
  const TopoDS_Shape box = BRepPrimAPI_MakeBox(3.0, 4.0, 12.0).Shape();
  EXPECT_NEAR(algoMesh_Extent::Diagonal(box, true), 13.0, 1e-6);
  EXPECT_GE(algoMesh_Extent::Diagonal(box), 13.0 - 1e-6); // the loose box may be larger
  EXPECT_EQ(algoMesh_Extent::Diagonal(Handle(Poly_Triangulation)()), 0.0);
  EXPECT_EQ(algoMesh_Extent::Diagonal(TopoDS_Shape()), 0.0);
}
