#include "GenerationChecks.hxx"

#include <QMData_MeshParameters.hxx>
#include <QMShape_Tessellator.hxx>

#include <algoMesh_CheckSelfIntersections.hxx>

#include <BRepAlgoAPI_Fuse.hxx>
#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_MakeWire.hxx>
#include <BRepPrimAPI_MakeRevol.hxx>
#include <GeomAPI_PointsToBSpline.hxx>
#include <Geom_BSplineCurve.hxx>
#include <TColgp_Array1OfPnt.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCone.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepPrimAPI_MakeSphere.hxx>
#include <BRep_Tool.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace
{

QMData_MeshParameters sizeParameters(const double maxSize)
{
  QMData_MeshParameters parameters;
  parameters.MaxSize = maxSize;
  parameters.Update();
  return parameters;
}

// Meshes the shape and answers the welded result (null when the tessellator failed).
Handle(Poly_Triangulation) tessellate(const TopoDS_Shape& shape, const QMData_MeshParameters& p)
{
  QMShape_Tessellator tessellator;
  tessellator.SetShape(shape);
  tessellator.SetParameters(p);
  tessellator.Perform();
  return tessellator.IsDone() ? gentest::Weld(shape) : Handle(Poly_Triangulation)();
}

void expectClosedWithin(const Handle(Poly_Triangulation) & mesh,
                        const double maxSize,
                        const double volume)
{
  ASSERT_FALSE(mesh.IsNull());
  const testmesh::EdgeCounts edges = testmesh::CountEdges(mesh);
  EXPECT_EQ(edges.boundary, 0);
  EXPECT_EQ(edges.nonManifold, 0);
  const gentest::EdgeAngleStats stats = gentest::MeasureEdgesAndAngles(mesh);
  EXPECT_LE(stats.maxEdge, maxSize * (1.0 + 1e-9));
  EXPECT_NEAR(testmesh::SignedVolume(mesh), volume, 0.01 * volume);
}

} // namespace

TEST(QMData_MeshParameters, DefaultsAndLayout)
{
  QMData_MeshParameters p;
  unsigned char         bytes[sizeof(p)];
  std::memcpy(bytes, &p, sizeof(p));
  double values[4];
  std::memcpy(values, bytes, sizeof(values));
  EXPECT_EQ(sizeof(p), 72u);
  EXPECT_EQ(values[0], 0.001);
  EXPECT_EQ(values[1], 1e100);
  EXPECT_EQ(values[2], 1e100);
  EXPECT_EQ(values[3], 1e100);
  EXPECT_EQ(bytes[56], 0);
  EXPECT_EQ(bytes[57], 0);
  EXPECT_EQ(bytes[58], 0);
  int passes;
  std::memcpy(&passes, bytes + 60, sizeof(passes));
  EXPECT_EQ(passes, 3);
  int16_t verbosity;
  std::memcpy(&verbosity, bytes + 64, sizeof(verbosity));
  EXPECT_EQ(verbosity, 0);
}

TEST(QMData_MeshParameters, UpdateDerivesEffectiveValues)
{
  QMData_MeshParameters p;
  p.MaxSize = 2.0;
  p.Angle   = 5.0; // beyond pi, but not given yet
  p.MinSize = 1.5;
  p.Update();
  EXPECT_EQ(p.EffMaxSize, 2.0);
  EXPECT_EQ(p.EffAngle, 0.5);
  EXPECT_EQ(p.EffMinSize, 0.0);

  p.HasAngle   = true;
  p.HasMinSize = true;
  p.Update();
  EXPECT_DOUBLE_EQ(p.EffAngle, M_PI);
  EXPECT_EQ(p.EffMinSize, 1.5);
  EXPECT_EQ(p.EffMaxSize, 3.0); // twice the minimum: halving never goes below it

  p.MaxSize = 0.0; // no size limit
  p.Update();
  EXPECT_EQ(p.EffMaxSize, QMData_MeshParameters::Unset());
}

TEST(QMShape_Tessellator, NullOrFacelessShapeIsNotDone)
{
  QMShape_Tessellator tessellator;
  tessellator.SetDone(true);
  tessellator.Perform();
  EXPECT_FALSE(tessellator.IsDone());
}

TEST(QMShape_Tessellator, BoxIsClosedAndRespectsTheSize)
{
  const TopoDS_Shape box                = BRepPrimAPI_MakeBox(10.0, 4.0, 2.0).Shape();
  const Handle(Poly_Triangulation) mesh = tessellate(box, sizeParameters(0.7));
  expectClosedWithin(mesh, 0.7, 80.0);
  // Flat faces meshed to a size should be close to equilateral.
  EXPECT_GT(gentest::MeasureEdgesAndAngles(mesh).minAngle, 20.0 * M_PI / 180.0);
}

TEST(QMShape_Tessellator, CylinderSeamAndCapsStayConforming)
{
  const TopoDS_Shape cylinder           = BRepPrimAPI_MakeCylinder(3.0, 8.0).Shape();
  const Handle(Poly_Triangulation) mesh = tessellate(cylinder, sizeParameters(0.5));
  expectClosedWithin(mesh, 0.5, M_PI * 9.0 * 8.0);
  // The seam corners keep a few narrow triangles; the kernel's own mesh has 3.8 degrees.
  EXPECT_GT(gentest::MeasureEdgesAndAngles(mesh).minAngle, 7.0 * M_PI / 180.0);
}

TEST(QMShape_Tessellator, NodesLieOnTheSurface)
{
  const TopoDS_Shape sphere             = BRepPrimAPI_MakeSphere(5.0).Shape();
  const Handle(Poly_Triangulation) mesh = tessellate(sphere, sizeParameters(0.6));
  expectClosedWithin(mesh, 0.6, 4.0 / 3.0 * M_PI * 125.0);
  for (int i = 1; i <= mesh->NbNodes(); ++i)
  {
    ASSERT_NEAR(mesh->Node(i).Distance(gp::Origin()), 5.0, 1e-7);
  }
}

TEST(QMShape_Tessellator, FinerSizeGivesMoreTrianglesAndEdgePolygonsFollow)
{
  const TopoDS_Shape  cylinder = BRepPrimAPI_MakeCylinder(2.0, 3.0).Shape();
  QMShape_Tessellator tessellator;
  tessellator.SetShape(cylinder);
  tessellator.SetParameters(sizeParameters(1.0));
  tessellator.Perform();
  ASSERT_TRUE(tessellator.IsDone());
  const int coarse = tessellator.NbTriangles();
  tessellator.SetParameters(sizeParameters(0.25));
  tessellator.Perform();
  ASSERT_TRUE(tessellator.IsDone());
  EXPECT_GT(tessellator.NbTriangles(), 8 * coarse);
  // Each edge's polygon refers to the face's new triangulation.
  for (TopExp_Explorer faces(cylinder, TopAbs_FACE); faces.More(); faces.Next())
  {
    const TopoDS_Face& face = TopoDS::Face(faces.Current());
    TopLoc_Location    location;
    const Handle(Poly_Triangulation)& mesh = BRep_Tool::Triangulation(face, location);
    for (TopExp_Explorer edges(face, TopAbs_EDGE); edges.More(); edges.Next())
    {
      const TopoDS_Edge& edge = TopoDS::Edge(edges.Current());
      if (BRep_Tool::Degenerated(edge))
      {
        continue;
      }
      const Handle(Poly_PolygonOnTriangulation)& polygon =
          BRep_Tool::PolygonOnTriangulation(edge, mesh, location);
      ASSERT_FALSE(polygon.IsNull());
      for (int i = 1; i < polygon->NbNodes(); ++i)
      {
        EXPECT_LE(mesh->Node(polygon->Node(i)).Distance(mesh->Node(polygon->Node(i + 1))),
                  0.25 * (1.0 + 1e-9));
      }
    }
  }
  // Back to the coarse size: the fine meshes are not kept.
  tessellator.SetParameters(sizeParameters(1.0));
  tessellator.Perform();
  ASSERT_TRUE(tessellator.IsDone());
  EXPECT_EQ(tessellator.NbTriangles(), coarse);
}

TEST(QMShape_Tessellator, AbsurdSizeFailsInsteadOfExhaustingMemory)
{
  // A size in the wrong unit: a 1 m box at 1 micrometre would be 10^13 triangles.
  const TopoDS_Shape  box = BRepPrimAPI_MakeBox(1000.0, 1000.0, 1000.0).Shape();
  QMShape_Tessellator tessellator;
  tessellator.SetShape(box);
  tessellator.SetParameters(sizeParameters(0.001));
  tessellator.Perform();
  EXPECT_FALSE(tessellator.IsDone());
}

TEST(QMShape_Tessellator, RealPartsAreClosedAndRespectTheSize)
{
  struct Case
  {
    const char* file;
    double      size;
    double      volume;
  };
  for (const Case& c :
       {Case{"cad/occt_bottle.brep", 2.0, 6962.86}, Case{"cad/screw.step", 1.0, 3788.27}})
  {
    SCOPED_TRACE(c.file);
    const TopoDS_Shape shape = gentest::ReadSharedShape(c.file);
    if (shape.IsNull())
    {
      GTEST_SKIP() << "shared data file " << c.file << " is absent";
    }
    const QMData_MeshParameters parameters = sizeParameters(c.size);
    const Handle(Poly_Triangulation) mesh  = tessellate(shape, parameters);
    expectClosedWithin(mesh, c.size, c.volume);
    // Narrow fillets keep slivers at this size, but never worse ones than the kernel's own
    // mesh at the deflection of the first pass.
    const double zeltAngle = gentest::MeasureEdgesAndAngles(mesh).minAngle;
    BRepTools::Clean(shape);
    BRepMesh_IncrementalMesh(shape, c.size / 20.0, false, parameters.EffAngle, true);
    EXPECT_GE(zeltAngle, gentest::MeasureEdgesAndAngles(gentest::Weld(shape)).minAngle);
  }
}

TEST(QMShape_Tessellator, ChamferedNutHasNoFoldAtAnySize)
{
  // The cones of the chamfers meet the flats along hyperbolic arcs, where thin triangles of
  // two faces nearly touch.
  const TopoDS_Shape nut = gentest::ChamferedNut();
  for (const double size : {0.3, 0.8, 2.0})
  {
    SCOPED_TRACE(size);
    gentest::ExpectSoundTessellation(nut, size);
  }
}

TEST(QMShape_Tessellator, EdgesAreCloseToTheSizeWithFewSlivers)
{
  // A plate with holes (flat faces and short cylinders), a cylinder (a periodic face with a
  // seam and two caps) and a block with a narrow chamfer (a face far thinner than the size,
  // which is remeshed to its width).
  struct Case
  {
    const char*  name;
    TopoDS_Shape shape;
    double       size;
    double       minMedian; // fraction of the size
    double       maxSlivers;
  };
  for (const Case& c :
       {Case{"plate", gentest::PlateWithHoles(), 3.0, 0.7, 0.005},
        Case{"cylinder", BRepPrimAPI_MakeCylinder(10.0, 30.0).Shape(), 2.0, 0.7, 0.005},
        Case{"narrow chamfer", gentest::NarrowChamfer(), 2.0, 0.7, 0.005},
        Case{"nut", gentest::ChamferedNut(), 0.8, 0.7, 0.005}})
  {
    SCOPED_TRACE(c.name);
    gentest::ExpectSoundTessellation(c.shape, c.size);
    const gentest::SizeShape measures = gentest::MeasureSizeAndShape(gentest::Weld(c.shape));
    EXPECT_GE(measures.medianEdge, c.minMedian * c.size);
    EXPECT_LE(measures.medianEdge, c.size);
    EXPECT_LE(measures.under20, c.maxSlivers);
  }
}

TEST(QMShape_Tessellator, PolesAndApexesAreMeshedLikeTheRestOfTheSurface)
{
  // A pole is one point for a whole line of parameters: the first pass meets it with a
  // fan of long thin triangles, and a split at the parameter middle of a fan edge turns a
  // triangle over. Poles of a sphere, a cone's apex, and those of a surface of revolution
  // whose B-spline profile starts on the axis and of the disc closing it (a plane whose
  // parametrisation has a pole at the centre).
  TColgp_Array1OfPnt profilePoints(1, 4);
  profilePoints(1) = gp_Pnt(10.0, 0.0, 0.0);
  profilePoints(2) = gp_Pnt(9.0, 0.0, 6.0);
  profilePoints(3) = gp_Pnt(5.0, 0.0, 11.0);
  profilePoints(4) = gp_Pnt(0.0, 0.0, 12.0);
  BRepBuilderAPI_MakeWire profile;
  profile.Add(BRepBuilderAPI_MakeEdge(gp::Origin(), profilePoints(1)).Edge());
  profile.Add(BRepBuilderAPI_MakeEdge(GeomAPI_PointsToBSpline(profilePoints).Curve()).Edge());
  profile.Add(BRepBuilderAPI_MakeEdge(profilePoints(4), gp::Origin()).Edge());
  const TopoDS_Shape dome = BRepPrimAPI_MakeRevol(BRepBuilderAPI_MakeFace(profile.Wire()).Face(),
                                                  gp_Ax1(gp::Origin(), gp::DZ()))
                                .Shape();
  struct Case
  {
    const char*  name;
    TopoDS_Shape shape;
  };
  for (const Case& c :
       {Case{"sphere", BRepPrimAPI_MakeSphere(10.0).Shape()},
        Case{"cone", BRepPrimAPI_MakeCone(10.0, 0.0, 20.0).Shape()}, Case{"dome", dome}})
  {
    for (const double size : {0.7, 1.0, 1.5})
    {
      SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(size));
      gentest::ExpectSoundTessellation(c.shape, size);
      const gentest::SizeShape measures = gentest::MeasureSizeAndShape(gentest::Weld(c.shape));
      EXPECT_GE(measures.medianEdge, 0.7 * size);
      EXPECT_EQ(measures.under20, 0.0);
    }
  }
}

TEST(QMShape_Tessellator, TinyStepKeepsItsSliversFew)
{
  // A step 0.02 high between two top faces leaves side faces far narrower than any size
  // that could give them good triangles: they keep the full size, so few slivers.
  const TopoDS_Shape step = gentest::TinyStep();
  gentest::ExpectSoundTessellation(step, 1.2);
  const gentest::SizeShape measures = gentest::MeasureSizeAndShape(gentest::Weld(step));
  EXPECT_GE(measures.medianEdge, 0.7 * 1.2);
  EXPECT_LE(measures.under20, 0.02);
}

TEST(QMShape_Tessellator, ApexFanIsEvenedOut)
{
  // The surface around a cone's apex (half-angle 26.6 degrees) spans only 161 degrees, so a
  // fan of eight triangles there has angles of at most 20.1 degrees at the apex: smoothing
  // towards the neighbours' mean left one of them just under 20 at these sizes.
  const TopoDS_Shape cone = BRepPrimAPI_MakeCone(2.0, 0.0, 4.0).Shape();
  for (const double size : {0.21, 0.23, 0.27, 0.34})
  {
    SCOPED_TRACE(size);
    gentest::ExpectSoundTessellation(cone, size);
    const gentest::SizeShape measures = gentest::MeasureSizeAndShape(gentest::Weld(cone));
    EXPECT_GE(measures.medianEdge, 0.7 * size);
    EXPECT_EQ(measures.under20, 0.0);
  }
}

TEST(QMShape_Tessellator, StripTooNarrowForGoodTrianglesKeepsTheFullSize)
{
  // A step 0.02 high leaves four strips 3 long and 0.02 wide. At a size of 0.3 a quarter
  // of it (0.075) still gives the strips' right-angled triangles angles of 15 degrees, so
  // they must keep the full size: about two triangles per 0.3 of strip, all of them
  // slivers, instead of four times as many.
  const TopoDS_Shape step =
      BRepAlgoAPI_Fuse(BRepPrimAPI_MakeBox(5.0, 3.0, 1.0).Shape(),
                       BRepPrimAPI_MakeBox(gp_Pnt(2.0, 0.0, 0.0), gp_Pnt(5.0, 3.0, 1.02)).Shape())
          .Shape();
  const double size = 0.3;
  gentest::ExpectSoundTessellation(step, size);
  const Handle(Poly_Triangulation) mesh = gentest::Weld(step);
  const gentest::SizeShape measures     = gentest::MeasureSizeAndShape(mesh);
  EXPECT_GE(measures.medianEdge, 0.7 * size);
  EXPECT_LE(measures.under20 * mesh->NbTriangles(), 4 * 2 * (std::ceil(3.0 / size) + 1));
}

TEST(QMShape_Tessellator, SmallFilletsDoNotFanIntoSlivers)
{
  // Two bosses joined by a web, every edge filleted with a radius half the size: the
  // fillets' arcs are the faces' fixed boundaries, and an arc divided by the angle alone
  // into many short segments fans into slivers against interior edges of the size.
  const TopoDS_Shape part = gentest::FilletedCrank();
  gentest::ExpectSoundTessellation(part, 2.0);
  const gentest::SizeShape measures = gentest::MeasureSizeAndShape(gentest::Weld(part));
  EXPECT_GE(measures.medianEdge, 0.7 * 2.0);
  EXPECT_LE(measures.under20, 0.0075);
}
