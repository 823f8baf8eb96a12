// Deviation check: zero on the shape's own mesh, known offsets with both measures, placed
// shapes, thread counts, the kept hierarchy, bad input and cancellation.
#include <algoMesh_DeviationCheckCADMesh.hxx>

#include <algoMesh_Conglomerate.hxx>

#include <ActAPI_RecordingNotifier.hxx>

#include <MeshBuilders.hxx>

#include <BVHTools_ProjectPntMesh.hxx>

#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeSphere.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <TopoDS_Compound.hxx>
#include <TopoDS_Solid.hxx>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using quorin::algoMesh_DeviationCheckCADMesh;
using DistType = quorin::algoMesh_DeviationCheckCADMesh::distType;

namespace
{

const DistType     Unsigned = DistType::DistType_Unsigned;
const DistType     Signed   = DistType::DistType_Signed;
const double       kRadius  = 10.0;
constexpr DistType kTypes[] = {DistType::DistType_Unsigned, DistType::DistType_Signed};

Handle(algoMesh_DeviationCheckCADMesh) deviationCheck(const TopoDS_Shape&  shape,
                                                      const int            nbThreads = 2,
                                                      ActAPI_ProgressEntry progress  = {})
{
  Handle(algoMesh_DeviationCheckCADMesh) check =
      new algoMesh_DeviationCheckCADMesh(shape, progress);
  check->ChangeParallelOptions().SetParallelMode(nbThreads > 1);
  check->ChangeParallelOptions().SetNbThreads(nbThreads);
  return check;
}

// A shape meshed by the kernel's mesher at an absolute linear deflection.
TopoDS_Shape meshed(const TopoDS_Shape& shape, const double deflection)
{
  BRepMesh_IncrementalMesh mesher(shape, deflection);
  return shape;
}

TopoDS_Shape meshedSphere(const double deflection)
{
  return meshed(BRepPrimAPI_MakeSphere(kRadius).Shape(), deflection);
}

// The face meshes of a shape welded into one, locations applied, reversed faces turned.
Handle(Poly_Triangulation) meshOfShape(const TopoDS_Shape& shape)
{
  return quorin::algoMesh_Conglomerate(shape).GetPlain();
}

// How far the face meshes of a sphere about the origin reach inside it: the radius less
// their distance from the centre. The kernel's mesher keeps its deflection only at sample
// points (0.021 was seen for 0.01), so the sag is measured, not taken from the request.
double largestSag(const TopoDS_Shape& sphere)
{
  int nearest = -1;
  return kRadius - BVHTools::ProjectPntMesh(new BVHTools::TriangleSet(sphere))
                       .Distance(gp::Origin(), nearest);
}

gp_Pnt centroidOf(const Handle(Poly_Triangulation) & mesh, const int t)
{
  int a, b, c;
  mesh->Triangle(t).Get(a, b, c);
  return gp_Pnt((mesh->Node(a).XYZ() + mesh->Node(b).XYZ() + mesh->Node(c).XYZ()) / 3.0);
}

} // namespace

TEST(algoMesh_DeviationCheckCADMesh, OwnFaceMeshesDeviateByNothing)
{
  // A sphere (one face, seam and poles) and a box (six faces, three of them reversed).
  for (const TopoDS_Shape& shape :
       {meshedSphere(0.05), meshed(BRepPrimAPI_MakeBox(3, 4, 5).Shape(), 0.05)})
  {
    const Handle(Poly_Triangulation) mesh        = meshOfShape(shape);
    Handle(algoMesh_DeviationCheckCADMesh) check = deviationCheck(shape);
    for (const DistType type : kTypes)
    {
      ASSERT_TRUE(check->Perform(mesh, type));
      ASSERT_EQ(check->Deviations().size(), static_cast<size_t>(mesh->NbTriangles()));
      for (const double d : check->Deviations())
        EXPECT_NEAR(d, 0.0, 1e-7); // welding moves nodes by up to 1e-7
    }
  }
}

TEST(algoMesh_DeviationCheckCADMesh, SphereOffsetIsFoundWithinTheSagOnAnyThreadCount)
{
  const TopoDS_Shape shape = meshedSphere(0.01);
  const double       sag   = largestSag(shape);
  ASSERT_LT(sag, 0.03); // a sanity bound: three times the request
  Handle(algoMesh_DeviationCheckCADMesh) check      = deviationCheck(shape, 3);
  Handle(algoMesh_DeviationCheckCADMesh) sequential = deviationCheck(shape, 1);
  for (const double offset : {0.5, -0.5})
  {
    const Handle(Poly_Triangulation) mesh = testmesh::Sphere(kRadius + offset, 96, 48);
    ASSERT_TRUE(check->Perform(mesh, Unsigned));
    const std::vector<double> distances = check->Deviations();
    ASSERT_TRUE(check->Perform(mesh, Signed));
    for (int t = 1; t <= mesh->NbTriangles(); ++t)
    {
      // The shape's mesh lies inside the sphere, by `sag` at most: the deviation is never
      // below the centroid's true offset and exceeds it by that sag at most.
      const double expected = centroidOf(mesh, t).Distance(gp::Origin()) - kRadius;
      ASSERT_GE(check->Deviations()[t - 1], expected - 1e-12) << "triangle " << t;
      ASSERT_LE(check->Deviations()[t - 1], expected + sag + 1e-12) << "triangle " << t;
      ASSERT_EQ(distances[t - 1], std::abs(check->Deviations()[t - 1]));
    }
    // The same values from one thread, to the last bit.
    ASSERT_TRUE(sequential->Perform(mesh, Signed));
    EXPECT_EQ(sequential->Deviations(), check->Deviations());
  }
}

TEST(algoMesh_DeviationCheckCADMesh, PlacedShapeIsMeasuredWhereItStands)
{
  // A sphere moved by its location, and the mesh moved alike: the same deviations.
  const TopoDS_Shape shape = meshedSphere(0.02);
  gp_Trsf            trsf;
  trsf.SetRotation(gp_Ax1(gp::Origin(), gp_Dir(1, 1, 0)), 0.7);
  trsf.SetTranslationPart(gp_Vec(100, -20, 35));
  const Handle(Poly_Triangulation) mesh = testmesh::Sphere(kRadius - 0.4, 40, 20);
  Handle(Poly_Triangulation) moved      = mesh->Copy();
  for (int i = 1; i <= moved->NbNodes(); ++i)
    moved->SetNode(i, moved->Node(i).Transformed(trsf));

  Handle(algoMesh_DeviationCheckCADMesh) atOrigin = deviationCheck(shape);
  Handle(algoMesh_DeviationCheckCADMesh) placed =
      deviationCheck(shape.Moved(TopLoc_Location(trsf)));
  ASSERT_TRUE(atOrigin->Perform(mesh, Signed));
  ASSERT_TRUE(placed->Perform(moved, Signed));
  for (size_t k = 0; k < atOrigin->Deviations().size(); ++k)
  {
    EXPECT_LT(atOrigin->Deviations()[k], 0.0); // inside the sphere
    EXPECT_NEAR(placed->Deviations()[k], atOrigin->Deviations()[k], 1e-9);
  }
}

TEST(algoMesh_DeviationCheckCADMesh, SignTellsTheSideOfAPlanarFace)
{
  // Small triangles 1 above and 1 below the centre of the box's top face (z = 10).
  const TopoDS_Shape  shape = meshed(BRepPrimAPI_MakeBox(10, 10, 10).Shape(), 0.1);
  std::vector<gp_Pnt> nodes;
  for (const double z : {11.0, 9.0})
    nodes.insert(nodes.end(), {gp_Pnt(4.9, 4.9, z), gp_Pnt(5.2, 4.9, z), gp_Pnt(4.9, 5.2, z)});
  const Handle(Poly_Triangulation) mesh        = testmesh::Make(nodes, {{1, 2, 3}, {4, 5, 6}});
  Handle(algoMesh_DeviationCheckCADMesh) check = deviationCheck(shape);
  ASSERT_TRUE(check->Perform(mesh, Unsigned));
  EXPECT_NEAR(check->Deviations()[0], 1.0, 1e-12);
  EXPECT_NEAR(check->Deviations()[1], 1.0, 1e-12);
  ASSERT_TRUE(check->Perform(mesh, Signed));
  EXPECT_NEAR(check->Deviations()[0], 1.0, 1e-12);
  EXPECT_NEAR(check->Deviations()[1], -1.0, 1e-12);
}

TEST(algoMesh_DeviationCheckCADMesh, HierarchyIsKeptAndOddRunsStillAnswer)
{
  const TopoDS_Shape box                    = meshed(BRepPrimAPI_MakeBox(10, 10, 10).Shape(), 0.1);
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  Handle(algoMesh_DeviationCheckCADMesh) check = deviationCheck(box, 2, notifier);
  EXPECT_TRUE(check->TriangleSet().IsNull());
  ASSERT_TRUE(check->Perform(testmesh::Cube(), Unsigned));
  const Handle(BVHTools::TriangleSet) set = check->TriangleSet();
  ASSERT_FALSE(set.IsNull());
  EXPECT_EQ(set->Size(), 12);

  // A mesh without triangles: true and nothing, on the same hierarchy.
  EXPECT_TRUE(check->Perform(new Poly_Triangulation(), Signed));
  EXPECT_TRUE(check->Deviations().empty());
  EXPECT_EQ(check->TriangleSet(), set);

  // An unknown measure: true and zeros, though most of the cube lies off the box's faces.
  EXPECT_TRUE(check->Perform(testmesh::Cube(), static_cast<DistType>(7)));
  EXPECT_EQ(check->Deviations(), std::vector<double>(12, 0.0));
  EXPECT_TRUE(notifier->Texts().empty());

  // A NaN node: NaN for its three triangles, numbers for the fourth, one warning.
  Handle(Poly_Triangulation) poisoned = testmesh::Tetra();
  poisoned->SetNode(4, gp_Pnt(std::nan(""), 0, 0));
  ASSERT_TRUE(check->Perform(poisoned, Signed));
  EXPECT_EQ(std::count_if(check->Deviations().begin(), check->Deviations().end(),
                          [](double d) { return std::isnan(d); }),
            3);
  ASSERT_EQ(notifier->Messages().size(), 1u);
  EXPECT_EQ(notifier->Messages()[0].Severity, LogSeverity_Warning);
}

TEST(algoMesh_DeviationCheckCADMesh, UnusableInputAnswersFalseAndLeavesTheResultAlone)
{
  const TopoDS_Shape box                    = meshed(BRepPrimAPI_MakeBox(10, 10, 10).Shape(), 0.1);
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  Handle(algoMesh_DeviationCheckCADMesh) check = deviationCheck(box, 2, notifier);
  ASSERT_TRUE(check->Perform(testmesh::Tetra(), Unsigned));
  const std::vector<double> before = check->Deviations();

  // Null mesh: false, no message.
  EXPECT_FALSE(check->Perform(Handle(Poly_Triangulation)(), Unsigned));
  EXPECT_TRUE(notifier->Texts().empty());

  // A triangle referring to node 9 of a 3-node mesh: false with an error.
  EXPECT_FALSE(check->Perform(
      testmesh::Make({gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0), gp_Pnt(0, 1, 0)}, {{1, 2, 3}, {1, 2, 9}}),
      Unsigned));
  ASSERT_EQ(notifier->Messages().size(), 1u);
  EXPECT_EQ(notifier->Messages()[0].Severity, LogSeverity_Error);
  EXPECT_EQ(check->Deviations(), before);

  // Null shape, empty compound, empty solid: false without a message.
  TopoDS_Compound emptyCompound;
  BRep_Builder().MakeCompound(emptyCompound);
  TopoDS_Solid emptySolid;
  BRep_Builder().MakeSolid(emptySolid);
  notifier->Clear();
  for (const TopoDS_Shape& empty :
       {TopoDS_Shape(), TopoDS_Shape(emptyCompound), TopoDS_Shape(emptySolid)})
    EXPECT_FALSE(deviationCheck(empty, 2, notifier)->Perform(testmesh::Tetra(), Unsigned));
  EXPECT_TRUE(notifier->Texts().empty());

  // A shape that was never meshed: false, with an error asking to mesh it.
  EXPECT_FALSE(deviationCheck(BRepPrimAPI_MakeBox(1, 1, 1).Shape(), 2, notifier)
                   ->Perform(testmesh::Tetra(), Unsigned));
  ASSERT_EQ(notifier->Messages().size(), 1u);
  EXPECT_EQ(notifier->Messages()[0].Severity, LogSeverity_Error);
}

TEST(algoMesh_DeviationCheckCADMesh, CancellationKeepsTheSkippedValues)
{
  const TopoDS_Shape shape                     = meshedSphere(0.05);
  const Handle(Poly_Triangulation) outer       = testmesh::Sphere(kRadius + 1.0, 120, 60);
  Handle(ActAPI_RecordingNotifier) notifier    = new ActAPI_RecordingNotifier();
  Handle(algoMesh_DeviationCheckCADMesh) check = deviationCheck(shape, 2, notifier);
  ASSERT_TRUE(check->Perform(outer, Unsigned));
  const std::vector<double> first = check->Deviations();

  // Cancelled before the loop: true, and the earlier values all stay.
  notifier->RequestCancel();
  ASSERT_TRUE(check->Perform(outer, Signed));
  EXPECT_EQ(check->Deviations(), first);

  // Cancelled part-way by the workers' polls: each element is the earlier unsigned value
  // (positive) or a new signed one (negative: the mesh is inside). Each poll that answered
  // false let one triangle through; once a thread has seen the request, the others stop
  // without polling again.
  const long pollsBefore = notifier->NbCancelPolls();
  notifier->CancelAfterPolls(500);
  ASSERT_TRUE(check->Perform(testmesh::Sphere(kRadius - 1.0, 120, 60), Signed));
  int nbNew = 0;
  for (size_t k = 0; k < first.size(); ++k)
  {
    const double d = check->Deviations()[k];
    nbNew += d < 0.0 ? 1 : 0;
    EXPECT_TRUE(d < 0.0 || d == first[k]);
  }
  EXPECT_EQ(nbNew, 500);
  EXPECT_LE(notifier->NbCancelPolls() - pollsBefore, 500 + 4);
}

TEST(algoMesh_DeviationCheckCADMesh, CoarseBottleStaysNearItsFineMesh)
{
  const std::string path = testmesh::SharedDataFile("cad/occt_bottle.brep");
  if (path.empty())
    GTEST_SKIP() << "shared data cad/occt_bottle.brep is absent";
  TopoDS_Shape bottle;
  ASSERT_TRUE(BRepTools::Read(bottle, path.c_str(), BRep_Builder()));
  const Handle(Poly_Triangulation) coarse = meshOfShape(meshed(bottle, 0.5));
  BRepTools::Clean(bottle);
  meshed(bottle, 0.02);

  // The coarse centroids sag from the surface by up to about the coarse deflection.
  Handle(algoMesh_DeviationCheckCADMesh) check = deviationCheck(bottle);
  ASSERT_TRUE(check->Perform(coarse, Unsigned));
  const double largest = *std::max_element(check->Deviations().begin(), check->Deviations().end());
  EXPECT_GT(largest, 0.01);
  EXPECT_LT(largest, 0.5 + 0.02);
}
