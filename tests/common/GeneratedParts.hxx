// Parts built with the kernel's modelling operators, each stressing one thing that folds or
// slivers a tessellation: hyperbolic arcs, holes of two sizes in a thin plate, a narrow
// chamfer face beside long ones, fillets and their blends, faces far narrower than any
// size, poles of surfaces of revolution. Shared by the generation tests and the meshing benchmark,
// so that both judge the mesher on the same shapes.
#ifndef GeneratedParts_HeaderFile
#define GeneratedParts_HeaderFile

#include <BRepAlgoAPI_Common.hxx>
#include <BRepAlgoAPI_Cut.hxx>
#include <BRepAlgoAPI_Fuse.hxx>
#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_MakePolygon.hxx>
#include <BRepBuilderAPI_MakeWire.hxx>
#include <BRepFilletAPI_MakeChamfer.hxx>
#include <BRepFilletAPI_MakeFillet.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepPrimAPI_MakePrism.hxx>
#include <BRepPrimAPI_MakeRevol.hxx>
#include <BRep_Tool.hxx>
#include <GeomAPI_PointsToBSpline.hxx>
#include <Geom_BSplineCurve.hxx>
#include <Standard_Failure.hxx>
#include <TColgp_Array1OfPnt.hxx>
#include <TopExp.hxx>
#include <TopExp_Explorer.hxx>
#include <TopTools_IndexedDataMapOfShapeListOfShape.hxx>
#include <TopoDS.hxx>
#include <gp_Ax2.hxx>

#include <cmath>

namespace gentest
{

//! A hexagon nut: prism 10 across flats and 6 thick, bore of radius 2.5, both ends
//! chamfered by a cone of revolution that cuts the flats along hyperbolic arcs.
inline TopoDS_Shape ChamferedNut()
{
  BRepBuilderAPI_MakePolygon hexagon;
  for (int i = 0; i < 6; ++i)
  {
    const double a = M_PI / 3.0 * i + M_PI / 6.0;
    hexagon.Add(gp_Pnt(5.7735 * std::cos(a), 5.7735 * std::sin(a), 0.0));
  }
  hexagon.Close();
  const TopoDS_Shape prism =
      BRepPrimAPI_MakePrism(BRepBuilderAPI_MakeFace(hexagon.Wire()).Face(), gp_Vec(0, 0, 6.0));
  BRepBuilderAPI_MakePolygon profile;
  for (const gp_Pnt& p : {gp_Pnt(0, 0, 0), gp_Pnt(4.8, 0, 0), gp_Pnt(7.0, 0, 1.27),
                          gp_Pnt(7.0, 0, 4.73), gp_Pnt(4.8, 0, 6.0), gp_Pnt(0, 0, 6.0)})
  {
    profile.Add(p);
  }
  profile.Close();
  const TopoDS_Shape revolved = BRepPrimAPI_MakeRevol(
      BRepBuilderAPI_MakeFace(profile.Wire()).Face(), gp_Ax1(gp::Origin(), gp::DZ()));
  const TopoDS_Shape body = BRepAlgoAPI_Common(prism, revolved).Shape();
  return BRepAlgoAPI_Cut(body, BRepPrimAPI_MakeCylinder(2.5, 6.0).Shape()).Shape();
}

//! A plate 100 x 60 x 3 with four small holes and a large one.
inline TopoDS_Shape PlateWithHoles()
{
  TopoDS_Shape plate = BRepPrimAPI_MakeBox(100.0, 60.0, 3.0).Shape();
  for (const gp_Pnt& c : {gp_Pnt(15, 15, 0), gp_Pnt(85, 15, 0), gp_Pnt(50, 30, 0),
                          gp_Pnt(15, 45, 0), gp_Pnt(85, 45, 0)})
  {
    const double radius = c.X() == 50.0 ? 12.0 : 3.0;
    plate =
        BRepAlgoAPI_Cut(plate, BRepPrimAPI_MakeCylinder(gp_Ax2(c, gp::DZ()), radius, 3.0)).Shape();
  }
  return plate;
}

//! A block 40 x 20 x 10 with a 0.2 chamfer on one long edge: a face 0.28 wide.
inline TopoDS_Shape NarrowChamfer()
{
  const TopoDS_Shape                        box = BRepPrimAPI_MakeBox(40.0, 20.0, 10.0).Shape();
  BRepFilletAPI_MakeChamfer                 chamfer(box);
  TopTools_IndexedDataMapOfShapeListOfShape edgeFaces;
  TopExp::MapShapesAndAncestors(box, TopAbs_EDGE, TopAbs_FACE, edgeFaces);
  for (TopExp_Explorer edges(box, TopAbs_EDGE); edges.More(); edges.Next())
  {
    const TopoDS_Edge& edge = TopoDS::Edge(edges.Current());
    TopoDS_Vertex      first, last;
    TopExp::Vertices(edge, first, last);
    const gp_Pnt a = BRep_Tool::Pnt(first), b = BRep_Tool::Pnt(last);
    if (a.Distance(b) > 39.0 && a.Y() > 19.0 && a.Z() > 9.0)
    {
      chamfer.Add(0.2, 0.2, edge, TopoDS::Face(edgeFaces.FindFromKey(edge).First()));
    }
  }
  return chamfer.Shape();
}

//! Every edge of a shape filleted at radius; the shape itself where the fillet fails.
inline TopoDS_Shape FilletAllEdges(const TopoDS_Shape& shape, const double radius)
{
  BRepFilletAPI_MakeFillet fillet(shape);
  for (TopExp_Explorer edges(shape, TopAbs_EDGE); edges.More(); edges.Next())
  {
    fillet.Add(radius, TopoDS::Edge(edges.Current()));
  }
  try
  {
    fillet.Build();
  }
  catch (const Standard_Failure&)
  {
    return shape;
  }
  return fillet.IsDone() ? fillet.Shape() : shape;
}

//! A crank arm: bosses of radius 15 and 9 joined by a tapered web 8 thick, every edge
//! filleted at 1 (B-spline blends where three fillets meet), a bore of radius 7.
inline TopoDS_Shape FilletedCrank()
{
  BRepBuilderAPI_MakePolygon outline;
  for (const gp_Pnt& p : {gp_Pnt(0, -13, 0), gp_Pnt(70, -7, 0), gp_Pnt(70, 7, 0), gp_Pnt(0, 13, 0)})
  {
    outline.Add(p);
  }
  outline.Close();
  const TopoDS_Shape web =
      BRepPrimAPI_MakePrism(BRepBuilderAPI_MakeFace(outline.Wire()).Face(), gp_Vec(0, 0, 8))
          .Shape();
  const TopoDS_Shape bosses =
      BRepAlgoAPI_Fuse(
          BRepPrimAPI_MakeCylinder(15.0, 20.0).Shape(),
          BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(70, 0, 0), gp::DZ()), 9.0, 14.0).Shape())
          .Shape();
  const TopoDS_Shape body = FilletAllEdges(BRepAlgoAPI_Fuse(bosses, web).Shape(), 1.0);
  return BRepAlgoAPI_Cut(
             body, BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(0, 0, -1), gp::DZ()), 7.0, 30.0).Shape())
      .Shape();
}

//! A link rod: bored bosses of radius 12 and 8, 90 apart, joined by a bar, every edge
//! filleted at 1.5.
inline TopoDS_Shape LinkRod()
{
  const TopoDS_Shape bosses =
      BRepAlgoAPI_Fuse(
          BRepPrimAPI_MakeCylinder(12.0, 10.0).Shape(),
          BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(90, 0, 0), gp::DZ()), 8.0, 10.0).Shape())
          .Shape();
  const TopoDS_Shape bar = BRepPrimAPI_MakeBox(gp_Pnt(5, -5, 2), gp_Pnt(85, 5, 8)).Shape();
  TopoDS_Shape       rod = FilletAllEdges(BRepAlgoAPI_Fuse(bosses, bar).Shape(), 1.5);
  rod                    = BRepAlgoAPI_Cut(
                               rod, BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(0, 0, -1), gp::DZ()), 6.0, 12.0).Shape())
            .Shape();
  return BRepAlgoAPI_Cut(
             rod, BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(90, 0, -1), gp::DZ()), 4.0, 12.0).Shape())
      .Shape();
}

//! A 50 x 30 x 10 block with a step 0.02 high over part of its top: side faces 0.02 wide.
inline TopoDS_Shape TinyStep()
{
  return BRepAlgoAPI_Fuse(
             BRepPrimAPI_MakeBox(50.0, 30.0, 10.0).Shape(),
             BRepPrimAPI_MakeBox(gp_Pnt(20.0, 0.0, 0.0), gp_Pnt(50.0, 30.0, 10.02)).Shape())
      .Shape();
}

//! A 60 x 30 x 15 box with every edge filleted at 3.
inline TopoDS_Shape RoundBox()
{
  return FilletAllEdges(BRepPrimAPI_MakeBox(60.0, 30.0, 15.0).Shape(), 3.0);
}

//! A vase 40 high: a B-spline profile through six points revolved about the axis, closed
//! by discs whose parametrisations have a pole at the centre.
inline TopoDS_Shape Vase()
{
  TColgp_Array1OfPnt points(1, 6);
  const double       z[6] = {0, 8, 16, 24, 32, 40}, r[6] = {10, 14, 9, 6, 11, 8};
  for (int i = 0; i < 6; ++i)
  {
    points(i + 1) = gp_Pnt(r[i], 0.0, z[i]);
  }
  BRepBuilderAPI_MakeWire profile;
  profile.Add(BRepBuilderAPI_MakeEdge(gp::Origin(), gp_Pnt(10, 0, 0)).Edge());
  profile.Add(BRepBuilderAPI_MakeEdge(GeomAPI_PointsToBSpline(points).Curve()).Edge());
  profile.Add(BRepBuilderAPI_MakeEdge(gp_Pnt(8, 0, 40), gp_Pnt(0, 0, 40)).Edge());
  profile.Add(BRepBuilderAPI_MakeEdge(gp_Pnt(0, 0, 40), gp::Origin()).Edge());
  return BRepPrimAPI_MakeRevol(BRepBuilderAPI_MakeFace(profile.Wire()).Face(),
                               gp_Ax1(gp::Origin(), gp::DZ()))
      .Shape();
}

} // namespace gentest

#endif
