// Conversions between triangulation, mesh data model, OpenMesh and VTK: round trips keep
// counts, coordinates and orientation; coincident nodes merge on the way back.
#include <algoMesh_Convert.hxx>

#include <MeshBuilders.hxx>

#include <ActAPI_RecordingNotifier.hxx>
#include <MorvDS_MeshFacesIterator.hxx>
#include <MorvDS_MeshNodesIterator.hxx>
#include <MorvDS_MeshTriangle.hxx>

#include <Standard_OutOfRange.hxx>
#include <gp_Trsf.hxx>

#include <vtkCellType.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkUnstructuredGrid.h>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

using namespace quorin;

namespace
{

typedef OpenMesh::TriMesh_ArrayKernelT<OpenMesh::DefaultTraits> TriMesh;

//! Corner k (0..2) of triangle i (1-based) of a triangulation.
gp_Pnt corner(const Handle(Poly_Triangulation) & t, const int i, const int k)
{
  int n[3];
  t->Triangle(i).Get(n[0], n[1], n[2]);
  return t->Node(n[k]);
}

//! Same triangle count, and triangle i of `b` has the corners of triangle i of `a` in the
//! same cyclic order (so the same orientation), each within `tolerance`.
void expectSameTriangles(const Handle(Poly_Triangulation) & a,
                         const Handle(Poly_Triangulation) & b,
                         const double tolerance)
{
  ASSERT_EQ(a->NbTriangles(), b->NbTriangles());
  for (int i = 1; i <= a->NbTriangles(); ++i)
  {
    for (int k = 0; k < 3; ++k)
    {
      ASSERT_LE(corner(a, i, k).Distance(corner(b, i, k)), tolerance) << i << " " << k;
    }
  }
}

//! A triangulation with a degenerate triangle (3, 3, 7) and node 6 used by nothing.
Handle(Poly_Triangulation) withDegenerateAndUnused()
{
  return testmesh::Make({gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0), gp_Pnt(1, 1, 0), gp_Pnt(0, 1, 0),
                         gp_Pnt(0.5, 0.5, 1), gp_Pnt(9, 9, 9), gp_Pnt(2, 2, 2)},
                        {{1, 2, 3}, {1, 3, 4}, {3, 3, 7}, {2, 1, 5}});
}

} // namespace

TEST(algoMesh_Convert, ToMorvPlacesNodesKeepsNumbersAndDropsDegenerateTriangles)
{
  const Handle(Poly_Triangulation) t = withDegenerateAndUnused();
  gp_Trsf shift;
  shift.SetTranslation(gp_Vec(10, 0, -1));
  Handle(MorvDS_Mesh) mesh;
  ASSERT_TRUE(algoMesh_Convert::ToMorv(t, TopLoc_Location(shift), mesh));
  ASSERT_FALSE(mesh.IsNull());

  EXPECT_EQ(7, mesh->NbNodes()); // all nodes kept, the unused one too
  for (int i = 1; i <= 7; ++i)
  {
    EXPECT_LT(mesh->FindNode(i)->Pnt().Distance(t->Node(i).Transformed(shift)), 1e-12);
  }
  std::vector<std::vector<int>> faces;
  for (MorvDS_MeshFacesIterator it(mesh); it.More(); it.Next())
  {
    const Handle(MorvDS_MeshElement) f = it.Value();
    EXPECT_TRUE(f->IsKind(STANDARD_TYPE(MorvDS_MeshTriangle)));
    faces.push_back({f->NodeID(0), f->NodeID(1), f->NodeID(2)});
  }
  EXPECT_EQ((std::vector<std::vector<int>>{{1, 2, 3}, {1, 3, 4}, {2, 1, 5}}), faces);

  // Null or out-of-range input: false, output untouched.
  const Handle(MorvDS_Mesh) before = mesh;
  EXPECT_FALSE(algoMesh_Convert::ToMorv(Handle(Poly_Triangulation)(), TopLoc_Location(), mesh));
  EXPECT_FALSE(algoMesh_Convert::ToMorv(testmesh::Make({gp_Pnt(0, 0, 0)}, {{1, 2, 3}}),
                                        TopLoc_Location(), mesh));
  EXPECT_EQ(before, mesh);
}

TEST(algoMesh_Convert, OpenMeshRoundTripKeepsCountsAndOrientationToFloatPrecision)
{
  // Coordinates that are not floats: 0.1-scaled sphere.
  const Handle(Poly_Triangulation) sphere = testmesh::Sphere(0.1, 12, 7);
  TriMesh om;
  ASSERT_TRUE(algoMesh_Convert::ToOpenMesh(sphere, om));
  EXPECT_EQ(static_cast<size_t>(sphere->NbNodes()), om.n_vertices());
  EXPECT_EQ(static_cast<size_t>(sphere->NbTriangles()), om.n_faces());
  // Vertex i - 1 holds node i rounded to float.
  const gp_Pnt& p = sphere->Node(5);
  EXPECT_EQ(static_cast<float>(p.X()), om.point(TriMesh::VertexHandle(4))[0]);
  EXPECT_EQ(static_cast<float>(p.Z()), om.point(TriMesh::VertexHandle(4))[2]);

  Handle(Poly_Triangulation) back;
  ASSERT_TRUE(algoMesh_Convert::FromOpenMesh(om, back));
  EXPECT_EQ(sphere->NbNodes(), back->NbNodes());
  expectSameTriangles(sphere, back, 1e-7 * 0.1);
  EXPECT_NEAR(testmesh::SignedVolume(sphere), testmesh::SignedVolume(back), 1e-9);
  EXPECT_EQ(0, testmesh::CountEdges(back).boundary);

  // Precision: single, not double.
  double worst = 0.0;
  for (int i = 1; i <= back->NbTriangles(); ++i)
  {
    for (int k = 0; k < 3; ++k)
    {
      worst = std::max(worst, corner(back, i, k).Distance(corner(sphere, i, k)));
    }
  }
  EXPECT_GT(worst, 0.0);
  EXPECT_LT(worst, 1e-8);
}

TEST(algoMesh_Convert, OpenMeshBackMergesCoincidentNodes)
{
  // A triangle soup of the cube: 36 vertices in OpenMesh, 8 nodes once merged.
  const Handle(Poly_Triangulation) soup = testmesh::Unwelded(testmesh::Cube());
  TriMesh om;
  ASSERT_TRUE(algoMesh_Convert::ToOpenMesh(soup, om));
  EXPECT_EQ(36u, om.n_vertices());
  Handle(Poly_Triangulation) back;
  ASSERT_TRUE(algoMesh_Convert::FromOpenMesh(om, back));
  EXPECT_EQ(8, back->NbNodes());
  expectSameTriangles(soup, back, 0.0);
  EXPECT_EQ(0, testmesh::CountEdges(back).boundary);
  EXPECT_NEAR(1.0, testmesh::SignedVolume(back), 1e-12);

  // Points within 1e-7 merge, points 1e-6 apart do not.
  const Handle(Poly_Triangulation) near =
      testmesh::Make({gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0), gp_Pnt(0, 1, 0), gp_Pnt(5e-8, 0, 0),
                      gp_Pnt(0, -1, 0), gp_Pnt(1e-6, 1, 0), gp_Pnt(1, 1, 0)},
                     {{1, 2, 3}, {4, 5, 2}, {6, 2, 7}});
  ASSERT_TRUE(algoMesh_Convert::ToOpenMesh(near, om));
  ASSERT_TRUE(algoMesh_Convert::FromOpenMesh(om, back));
  EXPECT_EQ(6, back->NbNodes());
  EXPECT_EQ(3, back->NbTriangles());
}

TEST(algoMesh_Convert, ToOpenMeshLeavesOutRefusedFacesAndRejectsBadInput)
{
  TriMesh om;
  // The third triangle on one edge would make it non-manifold; it is left out silently.
  ASSERT_TRUE(algoMesh_Convert::ToOpenMesh(testmesh::NonManifoldFin(), om));
  EXPECT_EQ(2u, om.n_faces());
  // A triangle with a repeated node is left out too, the others kept.
  ASSERT_TRUE(algoMesh_Convert::ToOpenMesh(withDegenerateAndUnused(), om));
  EXPECT_EQ(7u, om.n_vertices());
  EXPECT_EQ(3u, om.n_faces());

  // A node number out of range raises before the output is touched; null answers false.
  try
  {
    algoMesh_Convert::ToOpenMesh(testmesh::Make({gp_Pnt(0, 0, 0)}, {{1, 2, 3}}), om);
    FAIL() << "no exception";
  }
  catch (const std::out_of_range& e)
  {
    EXPECT_STREQ("invalid vector<T> subscript", e.what());
  }
  EXPECT_EQ(3u, om.n_faces());
  EXPECT_FALSE(algoMesh_Convert::ToOpenMesh(Handle(Poly_Triangulation)(), om));
  EXPECT_EQ(3u, om.n_faces());
}

TEST(algoMesh_Convert, FromOpenMeshOfEmptyOrPartlyDeletedMeshes)
{
  TriMesh om;
  Handle(Poly_Triangulation) back;
  ASSERT_TRUE(algoMesh_Convert::FromOpenMesh(om, back));
  ASSERT_FALSE(back.IsNull());
  EXPECT_EQ(0, back->NbNodes());
  EXPECT_EQ(0, back->NbTriangles());

  // Deleted faces waiting for garbage collection are not part of the mesh.
  ASSERT_TRUE(algoMesh_Convert::ToOpenMesh(testmesh::Cube(), om));
  om.request_face_status();
  om.request_edge_status();
  om.request_vertex_status();
  om.delete_face(*om.faces_begin(), false);
  ASSERT_TRUE(algoMesh_Convert::FromOpenMesh(om, back));
  EXPECT_EQ(11, back->NbTriangles());
  EXPECT_EQ(3, testmesh::CountEdges(back).boundary);
}

TEST(algoMesh_Convert, PolyDataRoundTripIsExactAndMerges)
{
  const Handle(Poly_Triangulation) sphere = testmesh::Sphere(0.1, 10, 6);
  vtkSmartPointer<vtkPolyData> pd;
  ASSERT_TRUE(algoMesh_Convert::ToVTK(sphere, pd));
  EXPECT_EQ(sphere->NbNodes(), pd->GetNumberOfPoints());
  EXPECT_EQ(sphere->NbTriangles(), pd->GetNumberOfCells());
  EXPECT_EQ(VTK_TRIANGLE, pd->GetCellType(0));
  Handle(Poly_Triangulation) back;
  ASSERT_TRUE(algoMesh_Convert::FromVTK(pd, back));
  EXPECT_EQ(sphere->NbNodes(), back->NbNodes());
  expectSameTriangles(sphere, back, 0.0); // double precision both ways

  // Points come in order of first use; a node no triangle uses gets none.
  ASSERT_TRUE(algoMesh_Convert::ToVTK(withDegenerateAndUnused(), pd));
  EXPECT_EQ(6, pd->GetNumberOfPoints());
  double p[3];
  pd->GetPoint(4, p); // the fifth point met is node 7, of triangle (3, 3, 7)
  EXPECT_EQ(2.0, p[0]);

  // Duplicated points merge on the way back.
  ASSERT_TRUE(algoMesh_Convert::ToVTK(testmesh::Unwelded(testmesh::Tetra()), pd));
  EXPECT_EQ(12, pd->GetNumberOfPoints());
  ASSERT_TRUE(algoMesh_Convert::FromVTK(pd, back));
  EXPECT_EQ(4, back->NbNodes());
  EXPECT_EQ(0, testmesh::CountEdges(back).boundary);

  EXPECT_FALSE(algoMesh_Convert::ToVTK(Handle(Poly_Triangulation)(), pd));
  EXPECT_THROW(algoMesh_Convert::ToVTK(testmesh::Make({gp_Pnt(0, 0, 0)}, {{1, 1, 2}}), pd),
               Standard_OutOfRange);
}

TEST(algoMesh_Convert, FromVTKTakesTrianglesOnly)
{
  vtkSmartPointer<vtkPoints> points = vtkSmartPointer<vtkPoints>::New();
  points->InsertNextPoint(0, 0, 0);
  points->InsertNextPoint(1, 0, 0);
  points->InsertNextPoint(0, 1, 0);
  points->InsertNextPoint(5, 5, 5);
  vtkSmartPointer<vtkPolyData> pd = vtkSmartPointer<vtkPolyData>::New();
  pd->SetPoints(points);
  pd->AllocateEstimate(4, 3);

  Handle(Poly_Triangulation) t            = testmesh::Tetra();
  const Handle(Poly_Triangulation) before = t;
  EXPECT_FALSE(algoMesh_Convert::FromVTK(pd, t)); // no cells
  EXPECT_FALSE(algoMesh_Convert::FromVTK(nullptr, t));
  EXPECT_EQ(before, t);

  // Lines only: an empty triangulation.
  const vtkIdType line[2] = {1, 3};
  pd->InsertNextCell(VTK_LINE, 2, line);
  ASSERT_TRUE(algoMesh_Convert::FromVTK(pd, t));
  EXPECT_EQ(0, t->NbTriangles());

  // One triangle and one line: one triangle over three nodes.
  const vtkIdType tri[3] = {0, 1, 2};
  pd->InsertNextCell(VTK_TRIANGLE, 3, tri);
  ASSERT_TRUE(algoMesh_Convert::FromVTK(pd, t));
  EXPECT_EQ(1, t->NbTriangles());
  EXPECT_EQ(3, t->NbNodes());
  EXPECT_EQ(gp_Pnt(0, 1, 0).Distance(corner(t, 1, 2)), 0.0);

  // A triangle naming a point the data set lacks: false, output untouched.
  const vtkIdType bad[3] = {0, 1, 7};
  pd->InsertNextCell(VTK_TRIANGLE, 3, bad);
  const Handle(Poly_Triangulation) kept = t;
  EXPECT_FALSE(algoMesh_Convert::FromVTK(pd, t));
  EXPECT_EQ(kept, t);
}

TEST(algoMesh_Convert, ConversionsBackReportProgressAndStopOnCancellation)
{
  const Handle(Poly_Triangulation) sphere = testmesh::Sphere(1.0, 200, 100);
  vtkSmartPointer<vtkPolyData> polyData;
  ASSERT_TRUE(quorin::algoMesh_Convert::ToVTK(sphere, polyData));
  OpenMesh::TriMesh_ArrayKernelT<OpenMesh::DefaultTraits> openMesh;
  ASSERT_TRUE(quorin::algoMesh_Convert::ToOpenMesh(sphere, openMesh));
  const std::function<bool(Handle(Poly_Triangulation)&, const ActAPI_ProgressEntry&)>
      conversions[] = {[&](Handle(Poly_Triangulation) & out, const ActAPI_ProgressEntry& p)
                       { return quorin::algoMesh_Convert::FromVTK(polyData, out, p); },
                       [&](Handle(Poly_Triangulation) & out, const ActAPI_ProgressEntry& p)
                       { return quorin::algoMesh_Convert::FromOpenMesh(openMesh, out, p); }};
  for (const auto& convert : conversions)
  {
    Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
    Handle(Poly_Triangulation) result;
    ASSERT_TRUE(convert(result, notifier));
    EXPECT_EQ(sphere->NbTriangles(), result->NbTriangles());
    const std::vector<double> fractions = notifier->Fractions();
    EXPECT_GT(fractions.size(), 1u); // it moves on the way, not only at the end
    EXPECT_EQ(1.0, fractions.back());

    notifier->RequestCancel();
    Handle(Poly_Triangulation) untouched = testmesh::Tetra();
    EXPECT_FALSE(convert(untouched, notifier));
    EXPECT_EQ(4, untouched->NbTriangles());
  }
}

TEST(algoMesh_Convert, MorvToGridMapsKindsAndSkipsPyramidsAndPrisms)
{
  // Sparse node numbers, so that points are found through the number map.
  Handle(MorvDS_Mesh) mesh = new MorvDS_Mesh(10, 10, 10, 10);
  for (int i = 0; i < 8; ++i)
  {
    ASSERT_TRUE(mesh->AddNodeWithID(i & 1, (i >> 1) & 1, (i >> 2) & 1, 1000000 * (8 - i)));
  }
  auto n = [](const int corner) { return 1000000 * (8 - corner); };
  mesh->AddVolume(n(0), n(1), n(3), n(2), n(7));                   // pyramid: skipped
  mesh->AddVolume(n(0), n(1), n(3), n(2), n(4), n(5), n(7), n(6)); // hexahedron
  mesh->AddFace(n(0), n(1), n(3), n(2));                           // quadrangle
  mesh->AddVolume(n(0), n(1), n(2), n(4), n(5), n(6));             // prism: skipped
  mesh->AddFace(n(0), n(1), n(2));                                 // triangle
  mesh->AddVolume(n(0), n(1), n(2), n(4));                         // tetrahedron
  mesh->AddEdge(n(6), n(7));                                       // edge
  mesh->Add0DElement(n(5));                                        // no cell

  vtkSmartPointer<vtkUnstructuredGrid> grid;
  ASSERT_TRUE(algoMesh_Convert::ToVTK(mesh, grid));
  EXPECT_EQ(8, grid->GetNumberOfPoints());
  ASSERT_EQ(5, grid->GetNumberOfCells());
  // Edges, then faces, then volumes, each in creation order.
  const int types[5] = {VTK_LINE, VTK_QUAD, VTK_TRIANGLE, VTK_HEXAHEDRON, VTK_TETRA};
  for (int c = 0; c < 5; ++c)
  {
    EXPECT_EQ(types[c], grid->GetCellType(c)) << c;
  }
  // Point ids follow node iteration (= creation) order, so corner i is point i.
  vtkIdType        npts = 0;
  const vtkIdType* pts  = nullptr;
  grid->GetCellPoints(3, npts, pts);
  ASSERT_EQ(8, npts);
  EXPECT_EQ((std::vector<vtkIdType>{0, 1, 3, 2, 4, 5, 7, 6}), std::vector<vtkIdType>(pts, pts + 8));
  double p[3];
  grid->GetPoint(6, p);
  EXPECT_EQ(0.0, p[0]);
  EXPECT_EQ(1.0, p[1]);
  EXPECT_EQ(1.0, p[2]);

  EXPECT_FALSE(algoMesh_Convert::ToVTK(Handle(MorvDS_Mesh)(), grid));
  EXPECT_EQ(5, grid->GetNumberOfCells());
}

TEST(algoMesh_Convert, TriangulationThroughMorvAndGridKeepsEverything)
{
  // Cross-check of two routes: triangulation -> data model -> grid against the poly data.
  const Handle(Poly_Triangulation) cube = testmesh::Cube();
  Handle(MorvDS_Mesh) mesh;
  ASSERT_TRUE(algoMesh_Convert::ToMorv(cube, TopLoc_Location(), mesh));
  vtkSmartPointer<vtkUnstructuredGrid> grid;
  ASSERT_TRUE(algoMesh_Convert::ToVTK(mesh, grid));
  vtkSmartPointer<vtkPolyData> pd;
  ASSERT_TRUE(algoMesh_Convert::ToVTK(cube, pd));
  ASSERT_EQ(pd->GetNumberOfCells(), grid->GetNumberOfCells());
  for (vtkIdType c = 0; c < grid->GetNumberOfCells(); ++c)
  {
    vtkIdType        n1 = 0, n2 = 0;
    const vtkIdType *a = nullptr, *b = nullptr;
    grid->GetCellPoints(c, n1, a);
    pd->GetCellPoints(c, n2, b);
    ASSERT_EQ(3, n1);
    ASSERT_EQ(3, n2);
    for (int k = 0; k < 3; ++k)
    {
      double pa[3], pb[3];
      grid->GetPoint(a[k], pa);
      pd->GetPoint(b[k], pb);
      EXPECT_EQ(pa[0], pb[0]);
      EXPECT_EQ(pa[1], pb[1]);
      EXPECT_EQ(pa[2], pb[2]);
    }
  }
}
