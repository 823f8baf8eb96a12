// A second set of parts built with the kernel's modelling operators, for the robustness of
// the surface tessellator on shapes it was not tuned on: chamfers and fillets meeting at
// corners, many holes, cones and spheres cut by planes, a revolved profile, a swept pipe,
// thin walls, a very short edge, tangent faces, intersecting cylinders. Shared by the
// generation tests and the meshing benchmark.
#ifndef RobustnessParts_HeaderFile
#define RobustnessParts_HeaderFile

#include <GeneratedParts.hxx>

#include <BRepAlgoAPI_Cut.hxx>
#include <BRepAlgoAPI_Fuse.hxx>
#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_MakePolygon.hxx>
#include <BRepBuilderAPI_MakeWire.hxx>
#include <BRepFilletAPI_MakeChamfer.hxx>
#include <BRepFilletAPI_MakeFillet.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCone.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepPrimAPI_MakePrism.hxx>
#include <BRepPrimAPI_MakeRevol.hxx>
#include <BRepPrimAPI_MakeSphere.hxx>
#include <BRepPrimAPI_MakeTorus.hxx>
#include <BRep_Tool.hxx>
#include <GC_MakeArcOfCircle.hxx>
#include <Standard_Failure.hxx>
#include <TopExp.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <gp_Ax2.hxx>
#include <gp_Circ.hxx>
#include <gp_Trsf.hxx>
#include <TopoDS_Wire.hxx>

#include <functional>
#include <initializer_list>

namespace gentest
{

//! The edges of a shape chosen by a test on their two end points (closed edges: both the
//! same point), chamfered at `distance` or filleted at `radius` (whichever is positive);
//! the shape itself where the operator fails.
inline TopoDS_Shape BlendEdges(const TopoDS_Shape&                                      shape,
                               const double                                             radius,
                               const double                                             distance,
                               const std::function<bool(const gp_Pnt&, const gp_Pnt&)>& chosen)
{
  BRepFilletAPI_MakeFillet  fillet(shape);
  BRepFilletAPI_MakeChamfer chamfer(shape);
  for (TopExp_Explorer edges(shape, TopAbs_EDGE); edges.More(); edges.Next())
  {
    const TopoDS_Edge& edge = TopoDS::Edge(edges.Current());
    TopoDS_Vertex      first, last;
    TopExp::Vertices(edge, first, last);
    if (BRep_Tool::Degenerated(edge) || !chosen(BRep_Tool::Pnt(first), BRep_Tool::Pnt(last)))
    {
      continue;
    }
    if (radius > 0.0)
    {
      fillet.Add(radius, edge);
    }
    else
    {
      chamfer.Add(distance, edge);
    }
  }
  try
  {
    if (radius > 0.0)
    {
      fillet.Build();
      return fillet.IsDone() ? fillet.Shape() : shape;
    }
    chamfer.Build();
    return chamfer.IsDone() ? chamfer.Shape() : shape;
  }
  catch (const Standard_Failure&)
  {
    return shape;
  }
}

//! A cylinder of radius 10 and height 20, its top edge filleted at 3 and its bottom edge
//! chamfered at 1.5.
inline TopoDS_Shape FilletedChamferedCylinder()
{
  const TopoDS_Shape filleted =
      BlendEdges(BRepPrimAPI_MakeCylinder(10.0, 20.0).Shape(), 3.0, 0.0,
                 [](const gp_Pnt& a, const gp_Pnt&) { return a.Z() > 10.0; });
  return BlendEdges(filleted, 0.0, 1.5,
                    [](const gp_Pnt& a, const gp_Pnt& b)
                    { return a.Z() < 1.0e-6 && b.Z() < 1.0e-6; });
}

//! A 40 x 30 x 20 box with every edge chamfered at 2: three chamfers meet at each corner.
inline TopoDS_Shape ChamferedBox()
{
  return BlendEdges(BRepPrimAPI_MakeBox(40.0, 30.0, 20.0).Shape(), 0.0, 2.0,
                    [](const gp_Pnt&, const gp_Pnt&) { return true; });
}

//! A plate 80 x 60 x 4 drilled with a grid of 7 x 5 holes of radius 2.
inline TopoDS_Shape DrilledPlate()
{
  TopoDS_Shape holes;
  for (int i = 0; i < 7; ++i)
  {
    for (int j = 0; j < 5; ++j)
    {
      const TopoDS_Shape hole =
          BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(10.0 + 10.0 * i, 10.0 + 10.0 * j, -1.0), gp::DZ()),
                                   2.0, 6.0)
              .Shape();
      holes = holes.IsNull() ? hole : BRepAlgoAPI_Fuse(holes, hole).Shape();
    }
  }
  return BRepAlgoAPI_Cut(BRepPrimAPI_MakeBox(80.0, 60.0, 4.0).Shape(), holes).Shape();
}

//! A cone of radii 10 and 2, 20 high, cut by an inclined plane (a half-space box turned
//! 30 degrees): the cut face is bounded by an arc of an ellipse.
inline TopoDS_Shape CutCone()
{
  const TopoDS_Shape cone = BRepPrimAPI_MakeCone(10.0, 2.0, 20.0).Shape();
  const gp_Ax2       frame(gp_Pnt(0.0, 0.0, 12.0), gp_Dir(0.0, -0.5, std::sqrt(3.0) / 2.0),
                           gp_Dir(1.0, 0.0, 0.0));
  gp_Ax2             corner = frame;
  corner.Translate(gp_Vec(frame.XDirection()) * -50.0 + gp_Vec(frame.YDirection()) * -50.0);
  return BRepAlgoAPI_Cut(cone, BRepPrimAPI_MakeBox(corner, 100.0, 100.0, 50.0).Shape()).Shape();
}

//! A sphere of radius 10 cut by two planes: its top above z = 6 and a side beyond x = 7.
inline TopoDS_Shape CutSphere()
{
  const TopoDS_Shape sphere = BRepPrimAPI_MakeSphere(10.0).Shape();
  const TopoDS_Shape top =
      BRepAlgoAPI_Cut(sphere, BRepPrimAPI_MakeBox(gp_Pnt(-20, -20, 6), gp_Pnt(20, 20, 20)).Shape())
          .Shape();
  return BRepAlgoAPI_Cut(top, BRepPrimAPI_MakeBox(gp_Pnt(7, -20, -20), gp_Pnt(20, 20, 20)).Shape())
      .Shape();
}

//! A pulley: a profile of lines and an arc (a groove) revolved about the axis, with a bore.
inline TopoDS_Shape Pulley()
{
  const gp_Pnt            points[] = {gp_Pnt(3, 0, 0),   gp_Pnt(20, 0, 0),  gp_Pnt(20, 0, 4),
                                      gp_Pnt(20, 0, 12), gp_Pnt(20, 0, 16), gp_Pnt(3, 0, 16)};
  BRepBuilderAPI_MakeWire profile;
  profile.Add(BRepBuilderAPI_MakeEdge(points[0], points[1]).Edge());
  profile.Add(BRepBuilderAPI_MakeEdge(points[1], points[2]).Edge());
  profile.Add(
      BRepBuilderAPI_MakeEdge(GC_MakeArcOfCircle(points[2], gp_Pnt(16, 0, 8), points[3]).Value())
          .Edge());
  profile.Add(BRepBuilderAPI_MakeEdge(points[3], points[4]).Edge());
  profile.Add(BRepBuilderAPI_MakeEdge(points[4], points[5]).Edge());
  profile.Add(BRepBuilderAPI_MakeEdge(points[5], points[0]).Edge());
  return BRepPrimAPI_MakeRevol(BRepBuilderAPI_MakeFace(profile.Wire()).Face(),
                               gp_Ax1(gp::Origin(), gp::DZ()))
      .Shape();
}

//! A bent pipe: a ring of radii 3 and 2 swept along a path of a straight leg 10 long, a
//! quarter turn of radius 15 (toroidal inner and outer walls) and another straight leg.
inline TopoDS_Shape BentPipe()
{
  const gp_Ax2      section(gp_Pnt(15, 0, 0), gp::DY());
  const TopoDS_Face ring =
      BRepBuilderAPI_MakeFace(
          BRepBuilderAPI_MakeFace(
              BRepBuilderAPI_MakeWire(BRepBuilderAPI_MakeEdge(gp_Circ(section, 3.0)).Edge()).Wire())
              .Face(),
          TopoDS::Wire(
              BRepBuilderAPI_MakeWire(BRepBuilderAPI_MakeEdge(gp_Circ(section, 2.0)).Edge())
                  .Wire()
                  .Reversed()))
          .Face();
  const TopoDS_Shape bend =
      BRepPrimAPI_MakeRevol(ring, gp_Ax1(gp::Origin(), gp::DZ()), M_PI / 2.0).Shape();
  const TopoDS_Shape first = BRepPrimAPI_MakePrism(ring, gp_Vec(0, -10, 0)).Shape();
  gp_Trsf            turn;
  turn.SetRotation(gp_Ax1(gp::Origin(), gp::DZ()), M_PI / 2.0);
  const TopoDS_Shape end =
      BRepPrimAPI_MakePrism(TopoDS::Face(ring.Moved(TopLoc_Location(turn))), gp_Vec(-10, 0, 0))
          .Shape();
  return BRepAlgoAPI_Fuse(BRepAlgoAPI_Fuse(first, bend).Shape(), end).Shape();
}

//! A bent pipe built carelessly: a quarter torus with straight legs, bored by a coaxial
//! quarter torus and by straight bores that reach 1 past the legs into the bend. Where a
//! straight bore leaves the curved one, the Booleans leave crescent faces in the planes
//! y = 1 and x = 1, 0.03 wide at most, whose two boundary curves are tangent at both tips,
//! and cylindrical faces 0.017 wide between them: zero-angle corners that no triangle can
//! fill well, on a shape the kernel's checker accepts.
inline TopoDS_Shape CrescentPipe()
{
  const gp_Ax2       axis(gp::Origin(), gp::DZ());
  const TopoDS_Shape outer = BRepPrimAPI_MakeTorus(axis, 15.0, 3.0, M_PI / 2.0).Shape();
  const TopoDS_Shape inner = BRepPrimAPI_MakeTorus(axis, 15.0, 2.0, M_PI / 2.0).Shape();
  TopoDS_Shape       pipe =
      BRepAlgoAPI_Fuse(
          outer, BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(15, 0, 0), -gp::DY()), 3.0, 10.0).Shape())
          .Shape();
  pipe = BRepAlgoAPI_Fuse(
             pipe, BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(0, 15, 0), -gp::DX()), 3.0, 10.0).Shape())
             .Shape();
  pipe = BRepAlgoAPI_Cut(pipe, inner).Shape();
  pipe = BRepAlgoAPI_Cut(
             pipe, BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(15, 1, 0), -gp::DY()), 2.0, 12.0).Shape())
             .Shape();
  return BRepAlgoAPI_Cut(
             pipe, BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(1, 15, 0), -gp::DX()), 2.0, 12.0).Shape())
      .Shape();
}

//! A thin-walled cup: a 40 x 30 x 20 box hollowed to walls and floor 0.5 thick, open at
//! the top, its rim faces 0.5 wide.
inline TopoDS_Shape ThinCup()
{
  return BRepAlgoAPI_Cut(
             BRepPrimAPI_MakeBox(40.0, 30.0, 20.0).Shape(),
             BRepPrimAPI_MakeBox(gp_Pnt(0.5, 0.5, 0.5), gp_Pnt(39.5, 29.5, 25.0)).Shape())
      .Shape();
}

//! A prism 10 high on a pentagon whose corner (0, 20) is cut by an edge 0.014 long: a
//! face 0.014 wide between two long faces, and two short edges on every cap.
inline TopoDS_Shape ShortEdgePrism()
{
  BRepBuilderAPI_MakePolygon outline;
  for (const gp_Pnt& p : {gp_Pnt(0, 0, 0), gp_Pnt(30, 0, 0), gp_Pnt(30, 20, 0), gp_Pnt(0.01, 20, 0),
                          gp_Pnt(0, 19.99, 0)})
  {
    outline.Add(p);
  }
  outline.Close();
  return BRepPrimAPI_MakePrism(BRepBuilderAPI_MakeFace(outline.Wire()).Face(), gp_Vec(0, 0, 10))
      .Shape();
}

//! A slotted block: a 40 x 20 x 10 box with a half cylinder of radius 10 on top, tangent to
//! both long sides (tangent faces meeting along straight edges).
inline TopoDS_Shape TangentBlock()
{
  return BRepAlgoAPI_Fuse(
             BRepPrimAPI_MakeBox(40.0, 20.0, 10.0).Shape(),
             BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(0, 10, 10), gp::DX()), 10.0, 40.0).Shape())
      .Shape();
}

//! A cylinder of radius 10 and height 30 with a coaxial bore of radius 4 and a cross hole
//! of radius 3: saddle-shaped intersection curves on both cylinders.
inline TopoDS_Shape CrossDrilledCylinder()
{
  TopoDS_Shape body =
      BRepAlgoAPI_Cut(
          BRepPrimAPI_MakeCylinder(10.0, 30.0).Shape(),
          BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(0, 0, -1), gp::DZ()), 4.0, 32.0).Shape())
          .Shape();
  return BRepAlgoAPI_Cut(
             body,
             BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(-15, 0, 15), gp::DX()), 3.0, 30.0).Shape())
      .Shape();
}

//! A torus of radii 20 and 5 cut in half by a plane through its axis.
inline TopoDS_Shape HalfTorus()
{
  return BRepAlgoAPI_Cut(BRepPrimAPI_MakeTorus(20.0, 5.0).Shape(),
                         BRepPrimAPI_MakeBox(gp_Pnt(-30, -30, -10), gp_Pnt(0, 30, 10)).Shape())
      .Shape();
}

//! A sphere of radius 10 bored along its axis (radius 2): the poles are gone, the bore meets
//! the sphere along circles close to them.
inline TopoDS_Shape BoredSphere()
{
  return BRepAlgoAPI_Cut(
             BRepPrimAPI_MakeSphere(10.0).Shape(),
             BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(0, 0, -11), gp::DZ()), 2.0, 22.0).Shape())
      .Shape();
}

//! A box 30 x 20 x 10 whose vertical edges are filleted at 4 and whose top edges are then
//! chamfered at 1: chamfers running along fillets.
inline TopoDS_Shape FilletThenChamferBox()
{
  const TopoDS_Shape rounded =
      BlendEdges(BRepPrimAPI_MakeBox(30.0, 20.0, 10.0).Shape(), 4.0, 0.0,
                 [](const gp_Pnt& a, const gp_Pnt& b) { return std::abs(a.Z() - b.Z()) > 1.0; });
  return BlendEdges(rounded, 0.0, 1.0,
                    [](const gp_Pnt& a, const gp_Pnt& b) { return a.Z() > 9.99 && b.Z() > 9.99; });
}

//! A block 4.4 x 2 x 4.4 bored through along y by two bores of radius 2 that meet at
//! y = 1 with their axes `offset` apart: the step between them is a crescent face `offset`
//! wide at most, its two circles crossing at an angle under one degree at both tips, where
//! the crescent's plane meets the two nearly tangent bores.
inline TopoDS_Shape SteppedBore(const double offset)
{
  const TopoDS_Shape block =
      BRepPrimAPI_MakeBox(gp_Pnt(-2.2, 0, -2.2), gp_Pnt(2.2, 2, 2.2)).Shape();
  const TopoDS_Shape front =
      BRepAlgoAPI_Cut(
          block, BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(0, -1, 0), gp::DY()), 2.0, 2.0).Shape())
          .Shape();
  return BRepAlgoAPI_Cut(
             front,
             BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(offset, 1, 0), gp::DY()), 2.0, 6.0).Shape())
      .Shape();
}

} // namespace gentest

#endif
