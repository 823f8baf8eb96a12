// The surface tessellator on parts it was not tuned on (RobustnessParts.hxx): every part
// closed and manifold after welding, no crossing triangle, no edge above the size, the
// median edge within 0.7 - 1.0 of the size.
#include "GenerationChecks.hxx"
#include <FreeformParts.hxx>
#include <MeshBuilders.hxx>
#include <RobustnessParts.hxx>

#include <algoMesh_Extent.hxx>

#include <BRepCheck_Analyzer.hxx>
#include <GeomAPI_ProjectPointOnSurf.hxx>
#include <BRep_Tool.hxx>
#include <TopExp.hxx>
#include <TopTools_IndexedDataMapOfShapeListOfShape.hxx>
#include <TopTools_ListIteratorOfListOfShape.hxx>
#include <TopoDS.hxx>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace
{

void expectSoundAndSized(const TopoDS_Shape& shape, const double fraction)
{
  ASSERT_TRUE(BRepCheck_Analyzer(shape).IsValid());
  const double size                     = fraction * quorin::algoMesh_Extent::Diagonal(shape, true);
  const Handle(Poly_Triangulation) mesh = gentest::ExpectSoundTessellation(shape, size);
  ASSERT_FALSE(mesh.IsNull());
  const gentest::SizeShape measures = gentest::MeasureSizeAndShape(mesh);
  EXPECT_GE(measures.medianEdge, 0.7 * size);
  EXPECT_LE(measures.medianEdge, size);
}

} // namespace

TEST(QMShape_Robustness, NewPartsAreSoundAndSized)
{
  // Chamfers and fillets meeting at corners, many holes, plane cuts through a cone and a
  // sphere, surfaces of revolution, thin walls, a 0.014-wide face, tangent faces and
  // saddle-shaped intersection curves, at a size of 2 % of the diagonal.
  struct Case
  {
    const char*  name;
    TopoDS_Shape shape;
  };
  for (const Case& c :
       {Case{"filleted and chamfered cylinder", gentest::FilletedChamferedCylinder()},
        Case{"chamfered box", gentest::ChamferedBox()},
        Case{"drilled plate", gentest::DrilledPlate()}, Case{"cut cone", gentest::CutCone()},
        Case{"cut sphere", gentest::CutSphere()}, Case{"pulley", gentest::Pulley()},
        Case{"bent pipe", gentest::BentPipe()}, Case{"thin cup", gentest::ThinCup()},
        Case{"short edge", gentest::ShortEdgePrism()},
        Case{"tangent block", gentest::TangentBlock()},
        Case{"cross-drilled cylinder", gentest::CrossDrilledCylinder()},
        Case{"half torus", gentest::HalfTorus()}, Case{"bored sphere", gentest::BoredSphere()},
        Case{"fillet then chamfer", gentest::FilletThenChamferBox()}})
  {
    SCOPED_TRACE(c.name);
    expectSoundAndSized(c.shape, 0.02);
  }
}

TEST(QMShape_Robustness, CrescentTipsStayClosedAndUncrossed)
{
  // A crescent face between two boundary curves tangent at its tips. The first pass meshed
  // it with a triangle cutting a tip off, leaving four polygon segments out of the face's
  // border (five open edges once welded); the skipped polygon nodes are put back as a fan.
  // Near a tip the gap between the curves is narrower than a chord's distance from its arc,
  // so a chord of one curve passed beyond a node of the other: two triangles of the plane
  // folded into the bore and six triangles of the plane, the bore and the narrow cylinder
  // beside it crossed. Such chords are divided where they face the node they cut off.
  expectSoundAndSized(gentest::CrescentPipe(), 0.02);
}

TEST(QMShape_Robustness, OverDividedCrescentEdgesAreCoarsenedInEveryFace)
{
  // The first pass divides the two crescents' edges five to eight times as finely as the
  // same curves elsewhere (57 nodes on an arc 6.3 long at a size of 1.025). Polygon nodes
  // stay fixed, and every triangle of a strip 0.03 wide is a sliver, one per border node:
  // 3.17 % of the part's triangles were under 20 degrees, 148 of them in the crescents.
  // The extra nodes are removed from the edges in all their faces, which must still weld
  // into a closed, uncrossed mesh.
  const TopoDS_Shape part               = gentest::CrescentPipe();
  const double       size               = 0.02 * quorin::algoMesh_Extent::Diagonal(part, true);
  const Handle(Poly_Triangulation) mesh = gentest::ExpectSoundTessellation(part, size);
  ASSERT_FALSE(mesh.IsNull());
  EXPECT_LT(gentest::MeasureSizeAndShape(mesh).under20, 0.015);
}

TEST(QMShape_Robustness, CrescentWhoseFirstPassFailsIsMeshedSoundly)
{
  // Between 2 % and 3 % the first pass fails on one crescent in two ways. At 2.8 % it leaves
  // the face without a mesh (the tessellator was not done); the pass is run again at a finer
  // deflection. At 3 % it meshes the face with triangles spanning the bore beside it:
  // border nodes of both curves are used elsewhere, so no fan puts the segments they leave
  // out back, those segments were never divided and the part came out open (12 boundary,
  // 5 non-manifold edges, an edge of 2.6 times the size, 15 crossing triangles); such a
  // face is triangulated anew from its border. The narrow cylinders lie on one surface
  // whose seam line is the border between two of its faces: each face stores its polygon
  // of it, with the same parameters as its neighbour.
  const TopoDS_Shape                        part = gentest::CrescentPipe();
  TopTools_IndexedDataMapOfShapeListOfShape edgeFaces;
  TopExp::MapShapesAndAncestors(part, TopAbs_EDGE, TopAbs_FACE, edgeFaces);
  for (const double fraction : {0.028, 0.03})
  {
    SCOPED_TRACE(fraction);
    ASSERT_FALSE(gentest::ExpectSoundTessellation(
                     part, fraction * quorin::algoMesh_Extent::Diagonal(part, true))
                     .IsNull());
    for (int e = 1; e <= edgeFaces.Extent(); ++e)
    {
      std::vector<std::vector<double>> parameters;
      for (TopTools_ListIteratorOfListOfShape it(edgeFaces(e)); it.More(); it.Next())
      {
        TopLoc_Location location;
        const Handle(Poly_Triangulation) mesh =
            BRep_Tool::Triangulation(TopoDS::Face(it.Value()), location);
        const Handle(Poly_PolygonOnTriangulation) polygon =
            BRep_Tool::PolygonOnTriangulation(TopoDS::Edge(edgeFaces.FindKey(e)), mesh, location);
        ASSERT_FALSE(polygon.IsNull()) << "edge " << e;
        parameters.emplace_back();
        for (int i = 1; i <= polygon->NbNodes(); ++i)
        {
          parameters.back().push_back(polygon->Parameter(i));
        }
        std::sort(parameters.back().begin(), parameters.back().end());
      }
      for (const std::vector<double>& other : parameters)
      {
        EXPECT_EQ(other, parameters.front()) << "edge " << e;
      }
    }
  }
}

TEST(QMShape_Robustness, CrescentFacesDoNotFoldAtTheSmallerSize)
{
  // At 0.5 % the crescents are meshed with their border nodes only, and a node put on a
  // curved border while dividing it fell beyond the opposite side of its thin triangle: one
  // fold per crescent, an edge of 1.12 times the size that could not be split, 20 crossing
  // triangles. Such a face is triangulated anew from its border.
  expectSoundAndSized(gentest::CrescentPipe(), 0.005);
}

TEST(QMShape_Robustness, CrescentWithInteriorNodesIsTriangulatedAnew)
{
  // A crescent 0.01 wide meshed at 0.064: its first-pass mesh has interior nodes, and
  // dividing its border put nodes beyond the opposite sides of thin triangles (26 folds,
  // 225 crossing triangles). A folded face with one border loop is triangulated anew from
  // its border, its interior nodes left to the refinement.
  const TopoDS_Shape part = gentest::SteppedBore(0.01);
  ASSERT_TRUE(BRepCheck_Analyzer(part).IsValid());
  ASSERT_FALSE(gentest::ExpectSoundTessellation(part, 0.064).IsNull());
}

TEST(QMShape_Robustness, FreeformPartsAreSoundAndSized)
{
  // Parts shaped like other CAD systems' output: a loft through B-spline sections, a sweep
  // along a B-spline path, a shelled box, fillets of varying radius, a drilled free-form
  // top, and analytic parts whose curves and surfaces were all turned into B-splines (their
  // circles and cylinders then rational, unevenly parametrised).
  struct Case
  {
    const char*  name;
    TopoDS_Shape shape;
  };
  for (const Case& c : {Case{"loft", gentest::FreeformLoft()},
                        Case{"sweep", gentest::SplineSweep()}, Case{"shell", gentest::ShelledBox()},
                        Case{"variable fillet", gentest::VariableFilletBlock()},
                        Case{"free-form top", gentest::DrilledFreeformBlock()},
                        Case{"B-spline nut", gentest::ToBSplines(gentest::ChamferedNut())},
                        Case{"B-spline crank", gentest::ToBSplines(gentest::FilletedCrank())}})
  {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.shape.IsNull());
    expectSoundAndSized(c.shape, 0.02);
  }
}

TEST(QMShape_Robustness, BSplineBoreStaysWithinTheDeflection)
{
  // A plate with a bore of radius 3, every surface a B-spline, meshed at a size of 2.333:
  // the first pass leaves the bore's wall in long cells, and the refinement filled them by
  // size and shape alone, with edges of the size running round the bore 0.235 off the
  // surface, beyond the first pass's deflection (0.194) and beyond the 0.181 of the same
  // plate with an analytic bore. Interior edges farther off than the deflection are split.
  const TopoDS_Shape part = gentest::ToBSplines(
      BRepAlgoAPI_Cut(BRepPrimAPI_MakeBox(40.0, 30.0, 3.0).Shape(),
                      BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(15, 15, 0), gp::DZ()), 3.0, 3.0))
          .Shape());
  ASSERT_FALSE(part.IsNull());
  const double          size = 2.333;
  QMData_MeshParameters parameters;
  parameters.MaxSize = size;
  parameters.Update();
  QMShape_Tessellator tessellator;
  tessellator.SetShape(part);
  tessellator.SetParameters(parameters);
  tessellator.Perform();
  ASSERT_TRUE(tessellator.IsDone());
  const double deflection = tessellator.UsedDeflection();
  double       farthest   = 0.0;
  for (TopExp_Explorer faces(part, TopAbs_FACE); faces.More(); faces.Next())
  {
    const TopoDS_Face& face = TopoDS::Face(faces.Current());
    TopLoc_Location    location;
    const Handle(Poly_Triangulation) mesh = BRep_Tool::Triangulation(face, location);
    ASSERT_FALSE(mesh.IsNull());
    const Handle(Geom_Surface) surface = BRep_Tool::Surface(face);
    for (int t = 1; t <= mesh->NbTriangles(); ++t)
    {
      int n[3];
      mesh->Triangle(t).Get(n[0], n[1], n[2]);
      for (int k = 0; k < 3; ++k)
      {
        const gp_Pnt middle((mesh->Node(n[k]).XYZ() + mesh->Node(n[(k + 1) % 3]).XYZ()) / 2.0);
        GeomAPI_ProjectPointOnSurf projector(middle.Transformed(location.Transformation()),
                                             surface);
        ASSERT_TRUE(projector.IsDone() && projector.NbPoints() > 0);
        farthest = std::max(farthest, projector.LowerDistance());
      }
    }
  }
  EXPECT_LE(farthest, deflection);
  // The same mesh must still be sound and sized.
  const Handle(Poly_Triangulation) mesh = gentest::ExpectSoundTessellation(part, size);
  ASSERT_FALSE(mesh.IsNull());
  const double median = gentest::MeasureSizeAndShape(mesh).medianEdge;
  EXPECT_GE(median, 0.7 * size);
  EXPECT_LE(median, size);
}
