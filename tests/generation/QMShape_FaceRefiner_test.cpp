// The per-face refinement of the surface tessellator, judged on single faces by what it
// leaves in them: on a plane the triangles tile the face exactly (no fold, no overlap, no
// gap) and form a Delaunay triangulation; on curved faces every node lies on the surface and no
// triangle turns away from it; every edge is within the size and most are longer than half of it.
#include <QMData_MeshParameters.hxx>
#include <QMShape_Tessellator.hxx>

#include <MeshBuilders.hxx>

#include <BRepAdaptor_Surface.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_MakePolygon.hxx>
#include <BRepBuilderAPI_MakeWire.hxx>
#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepGProp.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepPrimAPI_MakeSphere.hxx>
#include <BRepPrimAPI_MakeTorus.hxx>
#include <BRep_Tool.hxx>
#include <GProp_GProps.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <gp_Circ.hxx>
#include <gp_Pln.hxx>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <functional>
#include <map>

namespace
{

// The triangles of one face after tessellation, in model coordinates, turned as the face.
struct FaceMesh
{
  std::vector<gp_Pnt>             nodes;
  std::vector<std::array<int, 3>> triangles; // 0-based
};

FaceMesh tessellate(const TopoDS_Face& face, const double maxSize)
{
  QMShape_Tessellator tessellator;
  tessellator.SetShape(face);
  QMData_MeshParameters parameters;
  parameters.MaxSize = maxSize;
  parameters.Update();
  tessellator.SetParameters(parameters);
  tessellator.SetNbThreads(1);
  tessellator.Perform();
  EXPECT_TRUE(tessellator.IsDone());
  EXPECT_EQ(tessellator.NbFolds(), 0);
  FaceMesh        result;
  TopLoc_Location location;
  const Handle(Poly_Triangulation) mesh = BRep_Tool::Triangulation(face, location);
  if (mesh.IsNull())
  {
    ADD_FAILURE() << "no triangulation";
    return result;
  }
  for (int i = 1; i <= mesh->NbNodes(); ++i)
    result.nodes.push_back(mesh->Node(i).Transformed(location.Transformation()));
  for (int t = 1; t <= mesh->NbTriangles(); ++t)
  {
    int a, b, c;
    mesh->Triangle(t).Get(a, b, c);
    if (face.Orientation() == TopAbs_REVERSED)
      std::swap(b, c);
    result.triangles.push_back({a - 1, b - 1, c - 1});
  }
  return result;
}

gp_Vec normalOf(const FaceMesh& m, const std::array<int, 3>& t)
{
  return gp_Vec(m.nodes[t[0]], m.nodes[t[1]]).Crossed(gp_Vec(m.nodes[t[0]], m.nodes[t[2]]));
}

double angleAt(const gp_Pnt& apex, const gp_Pnt& a, const gp_Pnt& b)
{
  return gp_Vec(apex, a).Angle(gp_Vec(apex, b));
}

// Lengths of the distinct edges, and the interior edges with the corners opposite them.
struct Edges
{
  std::vector<double>                lengths;
  std::vector<std::pair<int, int>>   ends;     // of each length
  std::vector<std::array<int, 4>>    interior; // a, b, opposite c, opposite d
  std::map<std::pair<int, int>, int> uses;
};

Edges edgesOf(const FaceMesh& m)
{
  Edges                                           edges;
  std::map<std::pair<int, int>, std::vector<int>> opposite;
  for (const std::array<int, 3>& t : m.triangles)
    for (int k = 0; k < 3; ++k)
      opposite[std::minmax(t[k], t[(k + 1) % 3])].push_back(t[(k + 2) % 3]);
  for (const auto& entry : opposite)
  {
    edges.lengths.push_back(m.nodes[entry.first.first].Distance(m.nodes[entry.first.second]));
    edges.ends.push_back(entry.first);
    edges.uses[entry.first] = int(entry.second.size());
    if (entry.second.size() == 2)
      edges.interior.push_back(
          {entry.first.first, entry.first.second, entry.second[0], entry.second[1]});
  }
  return edges;
}

// Every edge within the size; most of them longer than half of it.
void expectSizes(const Edges& edges, const double size, const double longShare)
{
  int longer = 0;
  for (const double length : edges.lengths)
  {
    EXPECT_LE(length, size * (1.0 + 1e-9));
    longer += length >= 0.5 * size;
  }
  EXPECT_GE(double(longer) / edges.lengths.size(), longShare);
}

TopoDS_Face plateWithHole()
{
  // A 10 x 6 rectangle in the plane z = 0 with a round hole of radius 1.5 at (3, 3).
  BRepBuilderAPI_MakePolygon outline(gp_Pnt(0, 0, 0), gp_Pnt(10, 0, 0), gp_Pnt(10, 6, 0),
                                     gp_Pnt(0, 6, 0), true);
  BRepBuilderAPI_MakeFace    face(gp_Pln(gp::XOY()), outline.Wire());
  const gp_Circ              circle(gp_Ax2(gp_Pnt(3, 3, 0), gp::DZ()), 1.5);
  TopoDS_Wire                hole = BRepBuilderAPI_MakeWire(BRepBuilderAPI_MakeEdge(circle)).Wire();
  hole.Reverse();
  face.Add(hole);
  return face.Face();
}

TopoDS_Face lShape()
{
  BRepBuilderAPI_MakePolygon outline;
  for (const gp_Pnt& p : {gp_Pnt(0, 0, 0), gp_Pnt(8, 0, 0), gp_Pnt(8, 2, 0), gp_Pnt(2, 2, 0),
                          gp_Pnt(2, 7, 0), gp_Pnt(0, 7, 0)})
    outline.Add(p);
  outline.Close();
  return BRepBuilderAPI_MakeFace(outline.Wire(), true).Face();
}

double faceArea(const TopoDS_Face& face)
{
  GProp_GProps properties;
  BRepGProp::SurfaceProperties(face, properties);
  return properties.Mass();
}

} // namespace

TEST(QMShape_FaceRefiner, PlanarFacesAreTiledExactlyByALocallyDelaunayTriangulation)
{
  for (const TopoDS_Face& face : {plateWithHole(), lShape()})
  {
    for (const double size : {1.0, 0.4})
    {
      SCOPED_TRACE(size);
      const FaceMesh m = tessellate(face, size);
      ASSERT_FALSE(m.triangles.empty());
      // All in the plane, all turned up: no fold. Their areas add up to the face's (the
      // hole's polygon is inscribed in its circle, so a little more), which with no fold
      // leaves no room for an overlap or a gap.
      double area = 0.0;
      for (const gp_Pnt& p : m.nodes)
        EXPECT_NEAR(p.Z(), 0.0, 1e-12);
      for (const std::array<int, 3>& t : m.triangles)
      {
        const gp_Vec n = normalOf(m, t);
        EXPECT_GT(n.Z(), 0.0);
        area += 0.5 * n.Magnitude();
      }
      const double exact = faceArea(face);
      EXPECT_GE(area, exact * (1.0 - 1e-9));
      EXPECT_LE(area, exact * 1.01);
      // The boundary is the face's outline: every edge used once or twice.
      const Edges edges = edgesOf(m);
      for (const auto& use : edges.uses)
        EXPECT_LE(use.second, 2);
      expectSizes(edges, size, 0.9);
      // Delaunay: the angles opposite each interior edge add up to at most pi (the empty
      // circle property).
      int    violations = 0;
      double worst      = 0.0;
      for (const std::array<int, 4>& e : edges.interior)
      {
        const double sum = angleAt(m.nodes[e[2]], m.nodes[e[0]], m.nodes[e[1]]) +
                           angleAt(m.nodes[e[3]], m.nodes[e[0]], m.nodes[e[1]]);
        violations += sum > M_PI + 1e-9;
        worst = std::max(worst, sum - M_PI);
      }
      EXPECT_EQ(violations, 0) << "worst by " << worst * 180.0 / M_PI << " degrees";
    }
  }
}

TEST(QMShape_FaceRefiner, CurvedFacesKeepTheirNodesOnTheSurfaceAndDoNotFold)
{
  // The side of a cylinder (radius 2, along z), a torus (radii 3 and 1) and a sphere
  // (radius 3), with their outward normals and distances.
  const auto towardsTube = [](const gp_Pnt& p)
  {
    const double ring = std::hypot(p.X(), p.Y());
    return gp_Vec(p.X() - 3.0 * p.X() / ring, p.Y() - 3.0 * p.Y() / ring, p.Z());
  };
  struct Case
  {
    TopoDS_Shape                         shape;
    std::function<gp_Vec(const gp_Pnt&)> normal;
    std::function<double(const gp_Pnt&)> distance;
  };
  const Case cases[] = {
      {BRepPrimAPI_MakeCylinder(2.0, 5.0).Shape(),
       [](const gp_Pnt& p) { return gp_Vec(p.X(), p.Y(), 0.0).Normalized(); },
       [](const gp_Pnt& p) { return std::hypot(p.X(), p.Y()) - 2.0; }},
      {BRepPrimAPI_MakeTorus(3.0, 1.0).Shape(),
       [=](const gp_Pnt& p) { return towardsTube(p).Normalized(); },
       [=](const gp_Pnt& p) { return towardsTube(p).Magnitude() - 1.0; }},
      {BRepPrimAPI_MakeSphere(3.0).Shape(),
       [](const gp_Pnt& p) { return gp_Vec(p.XYZ()).Normalized(); },
       [](const gp_Pnt& p) { return p.Distance(gp::Origin()) - 3.0; }},
  };
  const double size    = 0.5;
  const auto   atAPole = [](const gp_Pnt& p) { return std::hypot(p.X(), p.Y()) < 1e-9; };
  for (const Case& c : cases)
  {
    for (TopExp_Explorer it(c.shape, TopAbs_FACE); it.More(); it.Next())
    {
      const TopoDS_Face face = TopoDS::Face(it.Current());
      if (BRepAdaptor_Surface(face).GetType() == GeomAbs_Plane)
        continue;
      const FaceMesh m = tessellate(face, size);
      ASSERT_FALSE(m.triangles.empty());
      for (const gp_Pnt& p : m.nodes)
        EXPECT_NEAR(c.distance(p), 0.0, 1e-9);
      double area = 0.0;
      for (const std::array<int, 3>& t : m.triangles)
      {
        // The triangle turns less than 80 degrees from the surface at its centroid. At a
        // sphere's pole the face's own nodes along the degenerated edge share one point:
        // a triangle on two of them has no area and no normal.
        const gp_Vec n = normalOf(m, t);
        area += 0.5 * n.Magnitude();
        if (n.Magnitude() == 0.0)
        {
          EXPECT_TRUE(atAPole(m.nodes[t[0]]) || atAPole(m.nodes[t[1]]) || atAPole(m.nodes[t[2]]));
          continue;
        }
        const gp_Pnt centroid((m.nodes[t[0]].XYZ() + m.nodes[t[1]].XYZ() + m.nodes[t[2]].XYZ()) /
                              3.0);
        EXPECT_GT(n.Normalized().Dot(c.normal(centroid)), std::cos(80.0 * M_PI / 180.0));
      }
      // Inscribed triangles cover a little less than the surface.
      const double exact = faceArea(face);
      EXPECT_LE(area, exact * (1.0 + 1e-9));
      EXPECT_GE(area, exact * 0.98);
      // The fan around a pole keeps longer edges (up to about three sizes); all others are
      // within the size.
      const Edges edges  = edgesOf(m);
      int         longer = 0;
      for (size_t k = 0; k < edges.lengths.size(); ++k)
      {
        const bool polar =
            atAPole(m.nodes[edges.ends[k].first]) || atAPole(m.nodes[edges.ends[k].second]);
        EXPECT_LE(edges.lengths[k], size * (polar ? 3.0 : 1.0 + 1e-9));
        longer += edges.lengths[k] >= 0.5 * size;
      }
      EXPECT_GE(double(longer) / edges.lengths.size(), 0.8);
    }
  }
}
