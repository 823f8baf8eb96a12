// Helpers of the generation tests: shapes from files or built here, and the measures a
// generated mesh is judged by (closedness after welding, edge lengths, angles).
#ifndef GenerationChecks_HeaderFile
#define GenerationChecks_HeaderFile

#include <MeshBuilders.hxx>

#include <algoMesh_Conglomerate.hxx>

#include <BRepAlgoAPI_Common.hxx>
#include <BRepAlgoAPI_Cut.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_MakePolygon.hxx>
#include <BRepFilletAPI_MakeChamfer.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepPrimAPI_MakePrism.hxx>
#include <BRepPrimAPI_MakeRevol.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <STEPControl_Reader.hxx>
#include <TopExp.hxx>
#include <TopExp_Explorer.hxx>
#include <TopTools_IndexedDataMapOfShapeListOfShape.hxx>
#include <TopoDS.hxx>
#include <gp_Ax2.hxx>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

namespace gentest
{

//! The shape of a BREP or STEP file under the shared data folder; null when absent.
inline TopoDS_Shape ReadSharedShape(const std::string& relative)
{
  const std::string path = testmesh::SharedDataFile(relative);
  TopoDS_Shape      shape;
  if (path.empty())
  {
    return shape;
  }
  if (path.size() > 5 && path.substr(path.size() - 5) == ".step")
  {
    STEPControl_Reader reader;
    if (reader.ReadFile(path.c_str()) == IFSelect_RetDone && reader.TransferRoots() > 0)
    {
      shape = reader.OneShape();
    }
  }
  else
  {
    BRepTools::Read(shape, path.c_str(), BRep_Builder());
  }
  return shape;
}

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

//! Median of the distinct edge lengths and share (0..1) of triangles whose smallest angle
//! is under 20 degrees.
struct SizeShape
{
  double medianEdge = 0.0;
  double under20    = 0.0;
};

inline SizeShape MeasureSizeAndShape(const Handle(Poly_Triangulation) & mesh)
{
  std::map<std::pair<int, int>, double> edges;
  int                                   slivers = 0;
  for (int i = 1; i <= mesh->NbTriangles(); ++i)
  {
    int n[3];
    mesh->Triangle(i).Get(n[0], n[1], n[2]);
    double smallest = M_PI;
    for (int k = 0; k < 3; ++k)
    {
      const gp_Pnt a = mesh->Node(n[k]), b = mesh->Node(n[(k + 1) % 3]),
                   c                           = mesh->Node(n[(k + 2) % 3]);
      edges[std::minmax(n[k], n[(k + 1) % 3])] = a.Distance(b);
      const gp_Vec u(a, b), v(a, c);
      smallest = u.Magnitude() > 0.0 && v.Magnitude() > 0.0 ? std::min(smallest, u.Angle(v)) : 0.0;
    }
    slivers += smallest < 20.0 * M_PI / 180.0;
  }
  std::vector<double> lengths;
  for (const auto& edge : edges)
  {
    lengths.push_back(edge.second);
  }
  std::sort(lengths.begin(), lengths.end());
  SizeShape result;
  result.medianEdge = lengths.empty() ? 0.0 : lengths[lengths.size() / 2];
  result.under20    = mesh->NbTriangles() > 0 ? double(slivers) / mesh->NbTriangles() : 0.0;
  return result;
}

//! Longest edge and smallest angle (radians) over the triangles of a mesh.
struct EdgeAngleStats
{
  double maxEdge  = 0.0;
  double minAngle = M_PI;
};

inline EdgeAngleStats MeasureEdgesAndAngles(const Handle(Poly_Triangulation) & mesh)
{
  EdgeAngleStats stats;
  for (int i = 1; i <= mesh->NbTriangles(); ++i)
  {
    int n[3];
    mesh->Triangle(i).Get(n[0], n[1], n[2]);
    for (int k = 0; k < 3; ++k)
    {
      const gp_Pnt a = mesh->Node(n[k]), b = mesh->Node(n[(k + 1) % 3]),
                   c = mesh->Node(n[(k + 2) % 3]);
      stats.maxEdge  = std::max(stats.maxEdge, a.Distance(b));
      const gp_Vec u(a, b), v(a, c);
      if (u.Magnitude() > 0.0 && v.Magnitude() > 0.0)
      {
        stats.minAngle = std::min(stats.minAngle, u.Angle(v));
      }
    }
  }
  return stats;
}

//! The face meshes of a shape welded at 1e-7.
inline Handle(Poly_Triangulation) Weld(const TopoDS_Shape& shape)
{
  quorin::algoMesh_Conglomerate conglomerate(shape);
  return conglomerate.GetPlain();
}

} // namespace gentest

#endif
