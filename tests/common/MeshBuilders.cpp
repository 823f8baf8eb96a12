#include <MeshBuilders.hxx>

#include <MorvDS_Mesh0DElement.hxx>
#include <MorvDS_MeshEdge.hxx>
#include <MorvDS_MeshElementsIterator.hxx>
#include <MorvDS_MeshNodesIterator.hxx>
#include <MorvDS_MeshPrism.hxx>
#include <MorvDS_MeshPyramid.hxx>
#include <MorvDS_MeshQuadrangle.hxx>
#include <MorvDS_MeshTetrahedron.hxx>
#include <MorvDS_MeshTriangle.hxx>

#include <BVHTools_TriangleTests.hxx>

#include <BRep_Builder.hxx>
#include <TopoDS.hxx>
#include <gp_Vec.hxx>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <utility>

namespace testmesh
{

Handle(Poly_Triangulation)
    Make(const std::vector<gp_Pnt>& nodes, const std::vector<std::array<int, 3>>& triangles)
{
  Handle(Poly_Triangulation) mesh = new Poly_Triangulation();
  mesh->ResizeNodes(static_cast<int>(nodes.size()), false);
  mesh->ResizeTriangles(static_cast<int>(triangles.size()), false);
  for (size_t i = 0; i < nodes.size(); ++i)
  {
    mesh->SetNode(static_cast<int>(i) + 1, nodes[i]);
  }
  for (size_t i = 0; i < triangles.size(); ++i)
  {
    mesh->SetTriangle(static_cast<int>(i) + 1,
                      Poly_Triangle(triangles[i][0], triangles[i][1], triangles[i][2]));
  }
  return mesh;
}

Handle(Poly_Triangulation) Triangle(const gp_Pnt& a, const gp_Pnt& b, const gp_Pnt& c)
{
  return Make({a, b, c}, {{1, 2, 3}});
}

Handle(Poly_Triangulation) Equilateral()
{
  return Triangle(gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0), gp_Pnt(0.5, std::sqrt(3.0) / 2.0, 0));
}

Handle(Poly_Triangulation) TwoEquilaterals()
{
  const double h = std::sqrt(3.0) / 2.0;
  return Make({gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0), gp_Pnt(0.5, h, 0), gp_Pnt(0.5, -h, 0)},
              {{1, 2, 3}, {2, 1, 4}});
}

Handle(Poly_Triangulation) Tetra()
{
  return Make({gp_Pnt(1, 1, 1), gp_Pnt(1, -1, -1), gp_Pnt(-1, 1, -1), gp_Pnt(-1, -1, 1)},
              {{1, 2, 3}, {1, 3, 4}, {1, 4, 2}, {2, 4, 3}});
}

namespace
{
const std::vector<gp_Pnt> THE_CUBE_NODES = {gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0), gp_Pnt(1, 1, 0),
                                            gp_Pnt(0, 1, 0), gp_Pnt(0, 0, 1), gp_Pnt(1, 0, 1),
                                            gp_Pnt(1, 1, 1), gp_Pnt(0, 1, 1)};

// Outward triangles of the unit cube's sides and bottom; the top is added by Cube().
const std::vector<std::array<int, 3>> THE_CUBE_WITHOUT_TOP = {
    {1, 3, 2}, {1, 4, 3}, {1, 2, 6}, {1, 6, 5}, {2, 3, 7},
    {2, 7, 6}, {3, 4, 8}, {3, 8, 7}, {4, 1, 5}, {4, 5, 8}};
} // namespace

Handle(Poly_Triangulation) Cube()
{
  std::vector<std::array<int, 3>> triangles = THE_CUBE_WITHOUT_TOP;
  triangles.insert(triangles.begin() + 2, {{5, 6, 7}, {5, 7, 8}});
  return Make(THE_CUBE_NODES, triangles);
}

Handle(Poly_Triangulation) OpenBox()
{
  return Make(THE_CUBE_NODES, THE_CUBE_WITHOUT_TOP);
}

Handle(Poly_Triangulation) NonManifoldFin()
{
  return Make(
      {gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0), gp_Pnt(0.5, 1, 0), gp_Pnt(0.5, -1, 0), gp_Pnt(0.5, 0, 1)},
      {{1, 2, 3}, {2, 1, 4}, {1, 2, 5}});
}

Handle(Poly_Triangulation) Sphere(const double r, const int nu, const int nv)
{
  std::vector<gp_Pnt>             nodes;
  std::vector<std::array<int, 3>> triangles;
  nodes.emplace_back(0, 0, r); // north pole: 1
  for (int j = 1; j < nv; ++j)
  {
    const double theta = M_PI * j / nv;
    for (int i = 0; i < nu; ++i)
    {
      const double phi = 2.0 * M_PI * i / nu;
      nodes.emplace_back(r * std::sin(theta) * std::cos(phi), r * std::sin(theta) * std::sin(phi),
                         r * std::cos(theta));
    }
  }
  nodes.emplace_back(0, 0, -r); // south pole
  const int south = static_cast<int>(nodes.size());
  auto      ring  = [nu](int j, int i) { return 2 + (j - 1) * nu + (i % nu); };
  for (int i = 0; i < nu; ++i)
  {
    triangles.push_back({1, ring(1, i), ring(1, i + 1)});
    triangles.push_back({south, ring(nv - 1, i + 1), ring(nv - 1, i)});
  }
  for (int j = 1; j < nv - 1; ++j)
  {
    for (int i = 0; i < nu; ++i)
    {
      triangles.push_back({ring(j, i), ring(j + 1, i), ring(j + 1, i + 1)});
      triangles.push_back({ring(j, i), ring(j + 1, i + 1), ring(j, i + 1)});
    }
  }
  return Make(nodes, triangles);
}

Handle(Poly_Triangulation) Combine(const Handle(Poly_Triangulation) & a,
                                   const Handle(Poly_Triangulation) & b,
                                   const gp_Vec& offset)
{
  std::vector<gp_Pnt>             nodes;
  std::vector<std::array<int, 3>> triangles;
  for (int i = 1; i <= a->NbNodes(); ++i)
  {
    nodes.push_back(a->Node(i));
  }
  for (int i = 1; i <= b->NbNodes(); ++i)
  {
    nodes.push_back(b->Node(i).Translated(offset));
  }
  for (int t = 1; t <= a->NbTriangles(); ++t)
  {
    int n[3];
    a->Triangle(t).Get(n[0], n[1], n[2]);
    triangles.push_back({n[0], n[1], n[2]});
  }
  const int shift = a->NbNodes();
  for (int t = 1; t <= b->NbTriangles(); ++t)
  {
    int n[3];
    b->Triangle(t).Get(n[0], n[1], n[2]);
    triangles.push_back({n[0] + shift, n[1] + shift, n[2] + shift});
  }
  return Make(nodes, triangles);
}

Handle(Poly_Triangulation) Unwelded(const Handle(Poly_Triangulation) & mesh)
{
  std::vector<gp_Pnt>             nodes;
  std::vector<std::array<int, 3>> triangles;
  for (int t = 1; t <= mesh->NbTriangles(); ++t)
  {
    int n[3];
    mesh->Triangle(t).Get(n[0], n[1], n[2]);
    for (const int node : n)
    {
      nodes.push_back(mesh->Node(node));
    }
    const int last = static_cast<int>(nodes.size());
    triangles.push_back({last - 2, last - 1, last});
  }
  return Make(nodes, triangles);
}

std::vector<int> BruteSelfIntersections(const Handle(Poly_Triangulation) & mesh)
{
  const int                          nbTriangles = mesh->NbTriangles();
  std::vector<std::array<double, 9>> corners(nbTriangles);
  std::vector<std::array<int, 3>>    nodes(nbTriangles);
  for (int t = 0; t < nbTriangles; ++t)
  {
    mesh->Triangle(t + 1).Get(nodes[t][0], nodes[t][1], nodes[t][2]);
    for (int k = 0; k < 3; ++k)
    {
      for (int x = 0; x < 3; ++x)
      {
        corners[t][3 * k + x] = mesh->Node(nodes[t][k]).Coord(x + 1);
      }
    }
  }
  const auto cornersOf = [&](const int t) {
    return BVHTools::TriangleCorners{{&corners[t][0], &corners[t][3], &corners[t][6]}};
  };
  std::vector<int> pairs;
  for (int a = 0; a < nbTriangles; ++a)
  {
    for (int b = a + 1; b < nbTriangles; ++b)
    {
      if (!BVHTools::IsDegenerate(cornersOf(a)) && !BVHTools::IsDegenerate(cornersOf(b)) &&
          BVHTools::NeighboursIntersect(cornersOf(a), nodes[a].data(), cornersOf(b),
                                        nodes[b].data()))
      {
        pairs.push_back(a + 1);
        pairs.push_back(b + 1);
      }
    }
  }
  return pairs;
}

TopoDS_Face FaceOf(const Handle(Poly_Triangulation) & mesh)
{
  TopoDS_Face  face;
  BRep_Builder builder;
  builder.MakeFace(face, mesh);
  return face;
}

EdgeCounts CountEdges(const Handle(Poly_Triangulation) & mesh)
{
  std::map<std::pair<int, int>, int> uses;
  for (int t = 1; t <= mesh->NbTriangles(); ++t)
  {
    int n[3];
    mesh->Triangle(t).Get(n[0], n[1], n[2]);
    for (int k = 0; k < 3; ++k)
    {
      const int a = n[k];
      const int b = n[(k + 1) % 3];
      ++uses[{std::min(a, b), std::max(a, b)}];
    }
  }
  EdgeCounts counts;
  for (const auto& entry : uses)
  {
    if (entry.second == 1)
    {
      ++counts.boundary;
    }
    else if (entry.second == 2)
    {
      ++counts.manifold;
    }
    else
    {
      ++counts.nonManifold;
    }
  }
  return counts;
}

double SignedVolume(const Handle(Poly_Triangulation) & mesh)
{
  double volume = 0.0;
  for (int t = 1; t <= mesh->NbTriangles(); ++t)
  {
    int a, b, c;
    mesh->Triangle(t).Get(a, b, c);
    const gp_XYZ p = mesh->Node(a).XYZ();
    const gp_XYZ q = mesh->Node(b).XYZ();
    const gp_XYZ s = mesh->Node(c).XYZ();
    volume += p.Dot(q.Crossed(s)) / 6.0;
  }
  return volume;
}

std::string DataFile(const std::string& relative)
{
  return std::string(QUORIN_TEST_DATA_DIR) + "/" + relative;
}

std::string TempPath(const std::string& name)
{
  const std::string dir = ::testing::TempDir() + "quorin_" + std::to_string(::getpid());
  ::mkdir(dir.c_str(), 0755);
  return dir + "/" + name;
}

std::string SharedDataFile(const std::string& relative)
{
  const std::string path = std::string(QUORIN_SHARED_DATA_DIR) + "/" + relative;
  return std::ifstream(path).good() ? path : std::string();
}

ElementCounts CountElements(const Handle(MorvDS_Mesh) & mesh)
{
  ElementCounts counts;
  for (MorvDS_MeshElementsIterator it(mesh, MorvAbs_All); it.More(); it.Next())
  {
    const Handle(MorvDS_MeshElement) element = it.Value();
    int* count                               = nullptr;
    if (element->IsKind(STANDARD_TYPE(MorvDS_Mesh0DElement)))
      count = &counts.zeroD;
    else if (element->IsKind(STANDARD_TYPE(MorvDS_MeshEdge)))
      count = &counts.edges;
    else if (element->IsKind(STANDARD_TYPE(MorvDS_MeshTriangle)))
      count = &counts.triangles;
    else if (element->IsKind(STANDARD_TYPE(MorvDS_MeshQuadrangle)))
      count = &counts.quadrangles;
    else if (element->IsKind(STANDARD_TYPE(MorvDS_MeshTetrahedron)))
      count = &counts.tetrahedra;
    else if (element->IsKind(STANDARD_TYPE(MorvDS_MeshPyramid)))
      count = &counts.pyramids;
    else if (element->IsKind(STANDARD_TYPE(MorvDS_MeshPrism)))
      count = &counts.prisms;
    else
      count = &counts.hexahedra;
    ++*count;
  }
  return counts;
}

std::array<double, 6> NodeBounds(const Handle(MorvDS_Mesh) & mesh)
{
  std::array<double, 6> box = {1e300, 1e300, 1e300, -1e300, -1e300, -1e300};
  for (MorvDS_MeshNodesIterator it(mesh); it.More(); it.Next())
  {
    const gp_Pnt p = it.Value()->Pnt();
    for (int k = 0; k < 3; ++k)
    {
      box[k]     = std::min(box[k], p.Coord(k + 1));
      box[k + 3] = std::max(box[k + 3], p.Coord(k + 1));
    }
  }
  return box;
}

Handle(Poly_Triangulation) Torus(const double R, const double r, const int nu, const int nv)
{
  std::vector<gp_Pnt>             nodes;
  std::vector<std::array<int, 3>> triangles;
  for (int i = 0; i < nu; ++i)
  {
    const double u = 2.0 * M_PI * i / nu;
    for (int j = 0; j < nv; ++j)
    {
      const double v = 2.0 * M_PI * j / nv;
      nodes.emplace_back((R + r * std::cos(v)) * std::cos(u), (R + r * std::cos(v)) * std::sin(u),
                         r * std::sin(v));
    }
  }
  auto id = [&](const int i, const int j) { return (i % nu) * nv + (j % nv) + 1; };
  for (int i = 0; i < nu; ++i)
  {
    for (int j = 0; j < nv; ++j)
    {
      triangles.push_back({id(i, j), id(i + 1, j), id(i + 1, j + 1)});
      triangles.push_back({id(i, j), id(i + 1, j + 1), id(i, j + 1)});
    }
  }
  return Make(nodes, triangles);
}

bool IsClosedAndOriented(const Handle(Poly_Triangulation) & mesh)
{
  std::map<std::pair<int, int>, int> uses;
  for (int t = 1; t <= mesh->NbTriangles(); ++t)
  {
    int n[3];
    mesh->Triangle(t).Get(n[0], n[1], n[2]);
    for (int k = 0; k < 3; ++k)
    {
      ++uses[{n[k], n[(k + 1) % 3]}];
    }
  }
  for (const auto& entry : uses)
  {
    const auto reverse = uses.find({entry.first.second, entry.first.first});
    if (entry.second != 1 || reverse == uses.end() || reverse->second != 1)
    {
      return false;
    }
  }
  return true;
}

namespace
{

//! Distance from p to the closest point of triangle abc, by the region tests on the
//! triangle's barycentric coordinates.
double pointTriangleDistance(const gp_Pnt& p, const gp_Pnt& a, const gp_Pnt& b, const gp_Pnt& c)
{
  const gp_Vec ab(a, b), ac(a, c), ap(a, p);
  const double d1 = ab.Dot(ap), d2 = ac.Dot(ap);
  if (d1 <= 0 && d2 <= 0)
    return p.Distance(a);
  const gp_Vec bp(b, p);
  const double d3 = ab.Dot(bp), d4 = ac.Dot(bp);
  if (d3 >= 0 && d4 <= d3)
    return p.Distance(b);
  const double vc = d1 * d4 - d3 * d2;
  if (vc <= 0 && d1 >= 0 && d3 <= 0)
    return p.Distance(a.Translated(ab * (d1 / (d1 - d3))));
  const gp_Vec cp(c, p);
  const double d5 = ab.Dot(cp), d6 = ac.Dot(cp);
  if (d6 >= 0 && d5 <= d6)
    return p.Distance(c);
  const double vb = d5 * d2 - d1 * d6;
  if (vb <= 0 && d2 >= 0 && d6 <= 0)
    return p.Distance(a.Translated(ac * (d2 / (d2 - d6))));
  const double va = d3 * d6 - d5 * d4;
  if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0)
    return p.Distance(b.Translated(gp_Vec(b, c) * ((d4 - d3) / ((d4 - d3) + (d5 - d6)))));
  const double denominator = 1.0 / (va + vb + vc);
  return p.Distance(a.Translated(ab * (vb * denominator) + ac * (vc * denominator)));
}

} // namespace

std::pair<double, double> NodeToSurfaceDistances(const Handle(Poly_Triangulation) & from,
                                                 const Handle(Poly_Triangulation) & to)
{
  // A triangle whose box is no nearer than the nearest triangle found so far cannot be
  // nearer either, so few triangles are measured per node; the search starts from the
  // nearest triangle of the node before, as neighbouring nodes tend to share it.
  struct Corners
  {
    gp_Pnt a, b, c;
    gp_XYZ low, high;
  };
  std::vector<Corners> triangles;
  for (int t = 1; t <= to->NbTriangles(); ++t)
  {
    int a, b, c;
    to->Triangle(t).Get(a, b, c);
    Corners corners{to->Node(a), to->Node(b), to->Node(c), gp_XYZ(), gp_XYZ()};
    for (int k = 1; k <= 3; ++k)
    {
      corners.low.SetCoord(k,
                           std::min({corners.a.Coord(k), corners.b.Coord(k), corners.c.Coord(k)}));
      corners.high.SetCoord(k,
                            std::max({corners.a.Coord(k), corners.b.Coord(k), corners.c.Coord(k)}));
    }
    triangles.push_back(corners);
  }
  double worst = 0.0, sum = 0.0;
  size_t hint = 0;
  for (int i = 1; i <= from->NbNodes(); ++i)
  {
    const gp_Pnt p       = from->Node(i);
    double       nearest = 1e300;
    if (!triangles.empty())
    {
      nearest = pointTriangleDistance(p, triangles[hint].a, triangles[hint].b, triangles[hint].c);
    }
    for (size_t t = 0; t < triangles.size(); ++t)
    {
      double gap = 0.0;
      for (int k = 1; k <= 3; ++k)
      {
        const double outside = std::max(
            {triangles[t].low.Coord(k) - p.Coord(k), 0.0, p.Coord(k) - triangles[t].high.Coord(k)});
        gap += outside * outside;
      }
      if (gap >= nearest * nearest)
      {
        continue;
      }
      const double d = pointTriangleDistance(p, triangles[t].a, triangles[t].b, triangles[t].c);
      if (d < nearest)
      {
        nearest = d;
        hint    = t;
      }
    }
    worst = std::max(worst, nearest);
    sum += nearest;
  }
  return {worst, sum / from->NbNodes()};
}

} // namespace testmesh
