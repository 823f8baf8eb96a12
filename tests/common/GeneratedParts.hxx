// Parts built with the kernel's modelling operators, each stressing one thing that folds or
// slivers a tessellation: hyperbolic arcs, holes of two sizes in a thin plate, a narrow
// chamfer face beside long ones. Shared by the generation tests and the meshing benchmark,
// so that both judge the mesher on the same shapes.
#ifndef GeneratedParts_HeaderFile
#define GeneratedParts_HeaderFile

#include <BRepAlgoAPI_Common.hxx>
#include <BRepAlgoAPI_Cut.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_MakePolygon.hxx>
#include <BRepFilletAPI_MakeChamfer.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepPrimAPI_MakePrism.hxx>
#include <BRepPrimAPI_MakeRevol.hxx>
#include <BRep_Tool.hxx>
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

} // namespace gentest

#endif
