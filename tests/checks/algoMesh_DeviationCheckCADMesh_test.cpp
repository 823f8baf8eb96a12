// Deviation check: zero on the shape's own mesh, known offsets with both measures, placed
// shapes, thread counts, the kept hierarchy, bad input and cancellation.
#include <algoMesh_DeviationCheckCADMesh.hxx>

#include <ActAPI_RecordingNotifier.hxx>

#include <MeshBuilders.hxx>

#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeSphere.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using quorin::algoMesh_DeviationCheckCADMesh;
using DistType = quorin::algoMesh_DeviationCheckCADMesh::distType;

namespace
{

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

// The largest deflection the mesher reports over the faces of a shape.
double deflectionOf(const TopoDS_Shape& shape)
{
  double deflection = 0.0;
  for (TopExp_Explorer exp(shape, TopAbs_FACE); exp.More(); exp.Next())
  {
    TopLoc_Location location;
    const Handle(Poly_Triangulation) mesh =
        BRep_Tool::Triangulation(TopoDS::Face(exp.Current()), location);
    deflection = std::max(deflection, mesh->Deflection());
  }
  return deflection;
}

// All face triangulations of a shape as one mesh, locations applied and reversed faces
// turned over, faces keeping their own nodes.
Handle(Poly_Triangulation) meshOfShape(const TopoDS_Shape& shape)
{
  std::vector<gp_Pnt>             nodes;
  std::vector<std::array<int, 3>> triangles;
  for (TopExp_Explorer exp(shape, TopAbs_FACE); exp.More(); exp.Next())
  {
    const TopoDS_Face& face = TopoDS::Face(exp.Current());
    TopLoc_Location    location;
    const Handle(Poly_Triangulation) mesh = BRep_Tool::Triangulation(face, location);
    const int first                       = static_cast<int>(nodes.size());
    for (int i = 1; i <= mesh->NbNodes(); ++i)
    {
      nodes.push_back(mesh->Node(i).Transformed(location.Transformation()));
    }
    for (int t = 1; t <= mesh->NbTriangles(); ++t)
    {
      int a, b, c;
      mesh->Triangle(t).Get(a, b, c);
      if (face.Orientation() == TopAbs_REVERSED)
      {
        std::swap(b, c);
      }
      triangles.push_back({first + a, first + b, first + c});
    }
  }
  return testmesh::Make(nodes, triangles);
}

// The centroid of triangle t.
gp_Pnt centroidOf(const Handle(Poly_Triangulation) & mesh, const int t)
{
  int a, b, c;
  mesh->Triangle(t).Get(a, b, c);
  return gp_Pnt((mesh->Node(a).XYZ() + mesh->Node(b).XYZ() + mesh->Node(c).XYZ()) / 3.0);
}

// The mesh moved by a transformation.
Handle(Poly_Triangulation) moved(const Handle(Poly_Triangulation) & mesh, const gp_Trsf& trsf)
{
  Handle(Poly_Triangulation) copy = mesh->Copy();
  for (int i = 1; i <= copy->NbNodes(); ++i)
  {
    copy->SetNode(i, copy->Node(i).Transformed(trsf));
  }
  return copy;
}

const double kRadius = 10.0;

} // namespace

TEST(algoMesh_DeviationCheckCADMesh, OwnFaceMeshesDeviateByNothing)
{
  // A sphere (one face, seam and poles) and a box (six faces, three of them reversed).
  for (const TopoDS_Shape& shape : {meshed(BRepPrimAPI_MakeSphere(kRadius).Shape(), 0.05),
                                    meshed(BRepPrimAPI_MakeBox(3, 4, 5).Shape(), 0.05)})
  {
    const Handle(Poly_Triangulation) mesh        = meshOfShape(shape);
    Handle(algoMesh_DeviationCheckCADMesh) check = deviationCheck(shape);
    for (const DistType type : {DistType::DistType_Unsigned, DistType::DistType_Signed})
    {
      ASSERT_TRUE(check->Perform(mesh, type));
      ASSERT_EQ(check->Deviations().size(), static_cast<size_t>(mesh->NbTriangles()));
      for (const double d : check->Deviations())
      {
        EXPECT_NEAR(d, 0.0, 1e-9);
      }
    }
  }
}

TEST(algoMesh_DeviationCheckCADMesh, SphereOffsetGivesTheOffsetWithinTheDeflection)
{
  const TopoDS_Shape shape      = meshed(BRepPrimAPI_MakeSphere(kRadius).Shape(), 0.01);
  const double       deflection = deflectionOf(shape);
  ASSERT_GT(deflection, 0.0);
  Handle(algoMesh_DeviationCheckCADMesh) check = deviationCheck(shape);
  for (const double offset : {0.5, -0.5})
  {
    const Handle(Poly_Triangulation) mesh = testmesh::Sphere(kRadius + offset, 48, 24);
    ASSERT_TRUE(check->Perform(mesh, DistType::DistType_Unsigned));
    const std::vector<double> unsignedDeviations = check->Deviations();
    ASSERT_TRUE(check->Perform(mesh, DistType::DistType_Signed));
    const std::vector<double>& signedDeviations = check->Deviations();
    for (int t = 1; t <= mesh->NbTriangles(); ++t)
    {
      // The shape's mesh lies between the sphere and `deflection` inside it, so the
      // centroid's true offset from the sphere is the answer up to the deflection.
      const double expected = centroidOf(mesh, t).Distance(gp::Origin()) - kRadius;
      ASSERT_NEAR(signedDeviations[t - 1], expected, deflection + 1e-9) << "triangle " << t;
      ASSERT_NEAR(unsignedDeviations[t - 1], std::abs(expected), deflection + 1e-9);
      ASSERT_EQ(unsignedDeviations[t - 1], std::abs(signedDeviations[t - 1]));
    }
  }
}

TEST(algoMesh_DeviationCheckCADMesh, ResultsDoNotDependOnTheThreadCount)
{
  const TopoDS_Shape shape              = meshed(BRepPrimAPI_MakeSphere(kRadius).Shape(), 0.02);
  const Handle(Poly_Triangulation) mesh = testmesh::Sphere(kRadius + 0.3, 200, 100);
  std::vector<double> reference;
  for (const int nbThreads : {1, 2, 4})
  {
    Handle(algoMesh_DeviationCheckCADMesh) check = deviationCheck(shape, nbThreads);
    ASSERT_TRUE(check->Perform(mesh, DistType::DistType_Signed));
    if (reference.empty())
    {
      reference = check->Deviations();
    }
    else
    {
      EXPECT_EQ(check->Deviations(), reference) << nbThreads << " threads";
    }
  }
}

TEST(algoMesh_DeviationCheckCADMesh, PlacedShapeIsMeasuredWhereItStands)
{
  // The same deviations for a sphere moved by its location and the mesh moved alike.
  const TopoDS_Shape shape = meshed(BRepPrimAPI_MakeSphere(kRadius).Shape(), 0.02);
  gp_Trsf            trsf;
  trsf.SetRotation(gp_Ax1(gp::Origin(), gp_Dir(1, 1, 0)), 0.7);
  trsf.SetTranslationPart(gp_Vec(100, -20, 35));
  const TopoDS_Shape placed             = shape.Moved(TopLoc_Location(trsf));
  const Handle(Poly_Triangulation) mesh = testmesh::Sphere(kRadius - 0.4, 40, 20);

  Handle(algoMesh_DeviationCheckCADMesh) atOrigin = deviationCheck(shape);
  Handle(algoMesh_DeviationCheckCADMesh) moved_   = deviationCheck(placed);
  ASSERT_TRUE(atOrigin->Perform(mesh, DistType::DistType_Signed));
  ASSERT_TRUE(moved_->Perform(moved(mesh, trsf), DistType::DistType_Signed));
  ASSERT_EQ(moved_->Deviations().size(), atOrigin->Deviations().size());
  for (size_t k = 0; k < atOrigin->Deviations().size(); ++k)
  {
    EXPECT_LT(atOrigin->Deviations()[k], 0.0); // inside the sphere
    EXPECT_NEAR(moved_->Deviations()[k], atOrigin->Deviations()[k], 1e-9);
  }
}

TEST(algoMesh_DeviationCheckCADMesh, SignTellsTheSideOfAPlanarFace)
{
  // Small triangles 1 above and 1 below the centre of the box's top face (z = 10).
  const TopoDS_Shape shape = meshed(BRepPrimAPI_MakeBox(10, 10, 10).Shape(), 0.1);
  const Handle(Poly_Triangulation) mesh =
      testmesh::Make({gp_Pnt(4.9, 4.9, 11), gp_Pnt(5.2, 4.9, 11), gp_Pnt(4.9, 5.2, 11),
                      gp_Pnt(4.9, 4.9, 9), gp_Pnt(5.2, 4.9, 9), gp_Pnt(4.9, 5.2, 9)},
                     {{1, 2, 3}, {4, 5, 6}});
  Handle(algoMesh_DeviationCheckCADMesh) check = deviationCheck(shape);
  ASSERT_TRUE(check->Perform(mesh, DistType::DistType_Unsigned));
  EXPECT_NEAR(check->Deviations()[0], 1.0, 1e-12);
  EXPECT_NEAR(check->Deviations()[1], 1.0, 1e-12);
  ASSERT_TRUE(check->Perform(mesh, DistType::DistType_Signed));
  EXPECT_NEAR(check->Deviations()[0], 1.0, 1e-12);
  EXPECT_NEAR(check->Deviations()[1], -1.0, 1e-12);
}

TEST(algoMesh_DeviationCheckCADMesh, HierarchyIsBuiltOnceAndKept)
{
  const TopoDS_Shape shape = meshed(BRepPrimAPI_MakeBox(10, 10, 10).Shape(), 0.1);
  Handle(algoMesh_DeviationCheckCADMesh) check = deviationCheck(shape);
  EXPECT_TRUE(check->TriangleSet().IsNull());
  ASSERT_TRUE(check->Perform(testmesh::Cube(), DistType::DistType_Unsigned));
  const Handle(BVHTools::TriangleSet) set = check->TriangleSet();
  ASSERT_FALSE(set.IsNull());
  EXPECT_EQ(set->Size(), 12);

  // A later run reuses it, even with another mesh and another measure; a smaller mesh
  // shrinks the result to its own triangle count.
  ASSERT_TRUE(check->Perform(testmesh::Equilateral(), DistType::DistType_Signed));
  EXPECT_EQ(check->TriangleSet(), set);
  EXPECT_EQ(check->Deviations().size(), 1u);
}

TEST(algoMesh_DeviationCheckCADMesh, UnusableInputAnswersFalseAndLeavesTheResultAlone)
{
  const TopoDS_Shape box                    = meshed(BRepPrimAPI_MakeBox(10, 10, 10).Shape(), 0.1);
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  Handle(algoMesh_DeviationCheckCADMesh) check = deviationCheck(box, 2, notifier);
  ASSERT_TRUE(check->Perform(testmesh::Tetra(), DistType::DistType_Unsigned));
  const std::vector<double> before = check->Deviations();

  // Null mesh: false, no message.
  EXPECT_FALSE(check->Perform(Handle(Poly_Triangulation)(), DistType::DistType_Unsigned));
  EXPECT_TRUE(notifier->Texts().empty());
  EXPECT_EQ(check->Deviations(), before);

  // A triangle referring to node 9 of a 3-node mesh: false with an error.
  EXPECT_FALSE(check->Perform(
      testmesh::Make({gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0), gp_Pnt(0, 1, 0)}, {{1, 2, 3}, {1, 2, 9}}),
      DistType::DistType_Unsigned));
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
  {
    EXPECT_TRUE(algoMesh_DeviationCheckCADMesh::IsEmptyShape(empty));
    EXPECT_FALSE(deviationCheck(empty, 2, notifier)
                     ->Perform(testmesh::Tetra(), DistType::DistType_Unsigned));
  }
  EXPECT_TRUE(notifier->Texts().empty());

  // A shape that was never meshed: false, with an error asking to mesh it.
  EXPECT_FALSE(deviationCheck(BRepPrimAPI_MakeBox(1, 1, 1).Shape(), 2, notifier)
                   ->Perform(testmesh::Tetra(), DistType::DistType_Unsigned));
  ASSERT_EQ(notifier->Messages().size(), 1u);
  EXPECT_EQ(notifier->Messages()[0].Severity, LogSeverity_Error);
}

TEST(algoMesh_DeviationCheckCADMesh, OddMeshesAndTypesStillAnswer)
{
  const TopoDS_Shape box                    = meshed(BRepPrimAPI_MakeBox(10, 10, 10).Shape(), 0.1);
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  Handle(algoMesh_DeviationCheckCADMesh) check = deviationCheck(box, 2, notifier);

  // A mesh without triangles: true, nothing to tell.
  EXPECT_TRUE(check->Perform(new Poly_Triangulation(), DistType::DistType_Signed));
  EXPECT_TRUE(check->Deviations().empty());

  // An unknown measure: true and zeros, though the cube's corner triangles are off the box.
  EXPECT_TRUE(check->Perform(testmesh::Cube(), static_cast<DistType>(7)));
  EXPECT_EQ(check->Deviations(), std::vector<double>(12, 0.0));
  EXPECT_TRUE(notifier->Texts().empty());

  // A NaN node: NaN for its triangles, numbers for the others, one warning.
  Handle(Poly_Triangulation) poisoned = testmesh::Tetra();
  poisoned->SetNode(4, gp_Pnt(std::nan(""), 0, 0));
  ASSERT_TRUE(check->Perform(poisoned, DistType::DistType_Signed));
  const int nbNaN =
      static_cast<int>(std::count_if(check->Deviations().begin(), check->Deviations().end(),
                                     [](double d) { return std::isnan(d); }));
  EXPECT_EQ(nbNaN, 3);
  ASSERT_EQ(notifier->Messages().size(), 1u);
  EXPECT_EQ(notifier->Messages()[0].Severity, LogSeverity_Warning);
}

TEST(algoMesh_DeviationCheckCADMesh, CancellationKeepsTheSkippedValues)
{
  const TopoDS_Shape shape                  = meshed(BRepPrimAPI_MakeSphere(kRadius).Shape(), 0.05);
  const Handle(Poly_Triangulation) mesh     = testmesh::Sphere(kRadius + 1.0, 120, 60);
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  Handle(algoMesh_DeviationCheckCADMesh) check = deviationCheck(shape, 2, notifier);
  ASSERT_TRUE(check->Perform(mesh, DistType::DistType_Unsigned));
  const std::vector<double> first = check->Deviations();

  // Cancelled before the loop: true, and the earlier values all stay.
  notifier->RequestCancel();
  ASSERT_TRUE(check->Perform(mesh, DistType::DistType_Signed));
  EXPECT_EQ(check->Deviations(), first);

  // Cancelled part-way by the worker threads' polls: every element is either the earlier
  // unsigned value (positive) or a new signed one (negative: the mesh is inside).
  const Handle(Poly_Triangulation) inner = testmesh::Sphere(kRadius - 1.0, 120, 60);
  const long pollsBefore                 = notifier->NbCancelPolls();
  notifier->CancelAfterPolls(500);
  ASSERT_TRUE(check->Perform(inner, DistType::DistType_Signed));
  int nbNew = 0;
  for (size_t k = 0; k < first.size(); ++k)
  {
    const double d = check->Deviations()[k];
    if (d < 0.0)
    {
      ++nbNew;
    }
    else
    {
      EXPECT_EQ(d, first[k]);
    }
  }
  // Each poll that answered false let one triangle through; once a thread has seen the
  // request, the others stop without polling again.
  EXPECT_EQ(nbNew, 500);
  EXPECT_LE(notifier->NbCancelPolls() - pollsBefore, 500 + 4);
}

TEST(algoMesh_DeviationCheckCADMesh, CoarseBottleStaysNearItsFineMesh)
{
  const std::string path = testmesh::SharedDataFile("cad/occt_bottle.brep");
  if (path.empty())
  {
    GTEST_SKIP() << "shared data cad/occt_bottle.brep is absent";
  }
  TopoDS_Shape bottle;
  ASSERT_TRUE(BRepTools::Read(bottle, path.c_str(), BRep_Builder()));
  BRepTools::Clean(bottle);
  const Handle(Poly_Triangulation) coarse = meshOfShape(meshed(bottle, 0.5));
  BRepTools::Clean(bottle);
  meshed(bottle, 0.02);

  Handle(algoMesh_DeviationCheckCADMesh) check = deviationCheck(bottle);
  ASSERT_TRUE(check->Perform(coarse, DistType::DistType_Unsigned));
  const double largest = *std::max_element(check->Deviations().begin(), check->Deviations().end());
  EXPECT_GT(largest, 0.01);
  EXPECT_LT(largest, 0.5 + 0.02);
}
