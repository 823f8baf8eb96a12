// Parts shaped like those other CAD systems exchange: faces on B-spline surfaces rather than
// planes, cylinders and tori, trimmed by intersection curves whose p-curves are
// approximations, lofts through free-form sections, a sweep along a B-spline path, a shelled
// body, fillets of varying radius, a free-form top drilled with holes. ToBSplines turns any
// part into the same kind of shape. Shared by the robustness tests and the meshing benchmark.
#ifndef FreeformParts_HeaderFile
#define FreeformParts_HeaderFile

#include <BRepAlgoAPI_Cut.hxx>
#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_MakeWire.hxx>
#include <BRepBuilderAPI_NurbsConvert.hxx>
#include <BRepFilletAPI_MakeFillet.hxx>
#include <BRepOffsetAPI_MakePipe.hxx>
#include <BRepOffsetAPI_MakeThickSolid.hxx>
#include <BRepOffsetAPI_ThruSections.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepPrimAPI_MakePrism.hxx>
#include <BRep_Tool.hxx>
#include <GeomAPI_Interpolate.hxx>
#include <GeomAPI_PointsToBSpline.hxx>
#include <GeomAPI_PointsToBSplineSurface.hxx>
#include <Geom_BSplineCurve.hxx>
#include <Geom_BSplineSurface.hxx>
#include <Standard_Failure.hxx>
#include <TColgp_Array2OfPnt.hxx>
#include <TColgp_HArray1OfPnt.hxx>
#include <TopExp.hxx>
#include <TopExp_Explorer.hxx>
#include <TopTools_ListOfShape.hxx>
#include <TopoDS.hxx>
#include <gp_Ax2.hxx>
#include <gp_Circ.hxx>

#include <cmath>
#include <vector>

namespace gentest
{

//! The shape with every curve and surface turned into a B-spline (planes, cylinders,
//! circles included): the faces keep their shape and lose their analytic form.
inline TopoDS_Shape ToBSplines(const TopoDS_Shape& shape)
{
  try
  {
    BRepBuilderAPI_NurbsConvert convert(shape, true);
    return convert.IsDone() ? convert.Shape() : TopoDS_Shape();
  }
  catch (const Standard_Failure&)
  {
    return TopoDS_Shape();
  }
}

namespace detail
{
//! A closed B-spline section through `count` points of a wavy ellipse at height z.
inline TopoDS_Wire
WavySection(const double z, const double a, const double b, const double wave, const double turn)
{
  const int count                    = 12;
  Handle(TColgp_HArray1OfPnt) points = new TColgp_HArray1OfPnt(1, count);
  for (int i = 0; i < count; ++i)
  {
    const double t = 2.0 * M_PI * i / count + turn;
    const double r = 1.0 + wave * std::cos(3.0 * t);
    points->SetValue(i + 1, gp_Pnt(a * r * std::cos(t), b * r * std::sin(t), z));
  }
  GeomAPI_Interpolate interpolate(points, true, 1.0e-7);
  interpolate.Perform();
  return BRepBuilderAPI_MakeWire(BRepBuilderAPI_MakeEdge(interpolate.Curve()).Edge()).Wire();
}
} // namespace detail

//! A loft 40 high through four wavy B-spline sections of changing size and turn, closed by
//! planar caps: one periodic B-spline side face with a seam.
inline TopoDS_Shape FreeformLoft()
{
  BRepOffsetAPI_ThruSections loft(true, false);
  loft.AddWire(detail::WavySection(0.0, 20.0, 12.0, 0.10, 0.0));
  loft.AddWire(detail::WavySection(12.0, 15.0, 10.0, 0.15, 0.2));
  loft.AddWire(detail::WavySection(28.0, 18.0, 8.0, 0.08, 0.5));
  loft.AddWire(detail::WavySection(40.0, 10.0, 9.0, 0.12, 0.8));
  loft.Build();
  return loft.IsDone() ? loft.Shape() : TopoDS_Shape();
}

//! A disc of radius 3 swept along a B-spline path through five points 60 long: a pipe
//! whose wall is a swept surface, its ends planar discs.
inline TopoDS_Shape SplineSweep()
{
  TColgp_Array1OfPnt path(1, 5);
  path(1)                               = gp_Pnt(0, 0, 0);
  path(2)                               = gp_Pnt(15, 5, 8);
  path(3)                               = gp_Pnt(30, -4, 14);
  path(4)                               = gp_Pnt(45, 6, 10);
  path(5)                               = gp_Pnt(60, 0, 0);
  const Handle(Geom_BSplineCurve) spine = GeomAPI_PointsToBSpline(path).Curve();
  const TopoDS_Wire wire = BRepBuilderAPI_MakeWire(BRepBuilderAPI_MakeEdge(spine).Edge()).Wire();
  gp_Pnt            start;
  gp_Vec            tangent;
  spine->D1(spine->FirstParameter(), start, tangent);
  const TopoDS_Face disc =
      BRepBuilderAPI_MakeFace(
          BRepBuilderAPI_MakeWire(BRepBuilderAPI_MakeEdge(gp_Circ(gp_Ax2(start, tangent), 3.0)))
              .Wire())
          .Face();
  try
  {
    BRepOffsetAPI_MakePipe pipe(wire, disc);
    pipe.Build();
    return pipe.IsDone() ? pipe.Shape() : TopoDS_Shape();
  }
  catch (const Standard_Failure&)
  {
    return TopoDS_Shape();
  }
}

//! The edges of the shape, in exploration order (an edge once per face it bounds), whose
//! end points satisfy keep(first, last).
template <typename Predicate>
std::vector<TopoDS_Edge> EdgesWithEnds(const TopoDS_Shape& shape, const Predicate& keep)
{
  std::vector<TopoDS_Edge> selected;
  for (TopExp_Explorer edges(shape, TopAbs_EDGE); edges.More(); edges.Next())
  {
    const TopoDS_Edge& edge = TopoDS::Edge(edges.Current());
    TopoDS_Vertex      first, last;
    TopExp::Vertices(edge, first, last);
    if (keep(BRep_Tool::Pnt(first), BRep_Tool::Pnt(last)))
    {
      selected.push_back(edge);
    }
  }
  return selected;
}

//! A 50 x 30 x 20 box with its vertical edges filleted at 5, shelled to walls 1.5 thick
//! with its top face removed: offset fillets inside, a rim 1.5 wide.
inline TopoDS_Shape ShelledBox()
{
  const TopoDS_Shape       box = BRepPrimAPI_MakeBox(50.0, 30.0, 20.0).Shape();
  BRepFilletAPI_MakeFillet fillet(box);
  const auto               vertical = [](const gp_Pnt& first, const gp_Pnt& last)
  { return std::abs(first.Z() - last.Z()) > 1.0; };
  for (const TopoDS_Edge& edge : EdgesWithEnds(box, vertical))
  {
    fillet.Add(5.0, edge);
  }
  try
  {
    fillet.Build();
    const TopoDS_Shape   rounded = fillet.Shape();
    TopTools_ListOfShape open;
    for (TopExp_Explorer faces(rounded, TopAbs_FACE); faces.More(); faces.Next())
    {
      bool top = true;
      for (TopExp_Explorer vertices(faces.Current(), TopAbs_VERTEX); vertices.More();
           vertices.Next())
      {
        top = top && BRep_Tool::Pnt(TopoDS::Vertex(vertices.Current())).Z() > 19.99;
      }
      if (top)
      {
        open.Append(faces.Current());
      }
    }
    BRepOffsetAPI_MakeThickSolid shell;
    shell.MakeThickSolidByJoin(rounded, open, -1.5, 1.0e-4);
    return shell.IsDone() ? shell.Shape() : TopoDS_Shape();
  }
  catch (const Standard_Failure&)
  {
    return TopoDS_Shape();
  }
}

//! A 60 x 30 x 20 block whose four top edges are filleted with radii running from 1 to 6
//! along them: fillet surfaces of varying section, B-spline blends at the corners.
inline TopoDS_Shape VariableFilletBlock()
{
  const TopoDS_Shape       box = BRepPrimAPI_MakeBox(60.0, 30.0, 20.0).Shape();
  BRepFilletAPI_MakeFillet fillet(box);
  const auto               onTop = [](const gp_Pnt& first, const gp_Pnt& last)
  { return first.Z() > 19.99 && last.Z() > 19.99; };
  for (const TopoDS_Edge& edge : EdgesWithEnds(box, onTop))
  {
    fillet.Add(1.0, 6.0, edge);
  }
  try
  {
    fillet.Build();
    return fillet.IsDone() ? fillet.Shape() : box;
  }
  catch (const Standard_Failure&)
  {
    return box;
  }
}

//! A 60 x 40 block whose top is a free-form B-spline surface (a bump and a hollow, up to 6
//! off the plane at z = 15), drilled through by three holes of radius 3 and 5: trimmed
//! B-spline faces bounded by intersection curves.
inline TopoDS_Shape DrilledFreeformBlock()
{
  TColgp_Array2OfPnt grid(1, 7, 1, 5);
  for (int i = 1; i <= 7; ++i)
  {
    for (int j = 1; j <= 5; ++j)
    {
      const double x = -5.0 + 70.0 * (i - 1) / 6.0, y = -5.0 + 50.0 * (j - 1) / 4.0;
      const double z = 15.0 + 6.0 * std::exp(-((x - 20) * (x - 20) + (y - 20) * (y - 20)) / 150.0) -
                       4.0 * std::exp(-((x - 45) * (x - 45) + (y - 15) * (y - 15)) / 100.0);
      grid(i, j) = gp_Pnt(x, y, z);
    }
  }
  const Handle(Geom_BSplineSurface) top = GeomAPI_PointsToBSplineSurface(grid).Surface();
  const TopoDS_Shape tall   = BRepPrimAPI_MakeBox(gp_Pnt(0, 0, 0), gp_Pnt(60, 40, 30)).Shape();
  const TopoDS_Face  cutter = BRepBuilderAPI_MakeFace(top, 1.0e-7).Face();
  // Everything above the free-form surface: its face pushed up into a prism.
  const TopoDS_Shape above = BRepPrimAPI_MakePrism(cutter, gp_Vec(0, 0, 30)).Shape();
  TopoDS_Shape       block = BRepAlgoAPI_Cut(tall, above).Shape();
  for (const gp_Pnt& c : {gp_Pnt(12, 12, -1), gp_Pnt(45, 28, -1), gp_Pnt(30, 20, -1)})
  {
    const double radius = c.X() == 30.0 ? 5.0 : 3.0;
    block =
        BRepAlgoAPI_Cut(block, BRepPrimAPI_MakeCylinder(gp_Ax2(c, gp::DZ()), radius, 40.0).Shape())
            .Shape();
  }
  return block;
}

} // namespace gentest

#endif
