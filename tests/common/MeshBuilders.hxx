// Tiny named meshes and invariant checks shared by the tests.
#ifndef MeshBuilders_HeaderFile
#define MeshBuilders_HeaderFile

#include <MorvDS_Mesh.hxx>

#include <Poly_Triangulation.hxx>
#include <TopoDS_Face.hxx>
#include <TopoDS_Shape.hxx>
#include <gp_Pnt.hxx>
#include <gp_Vec.hxx>

#include <array>
#include <string>
#include <utility>
#include <vector>

namespace testmesh
{

//! A triangulation from points and 1-based triangles.
Handle(Poly_Triangulation)
    Make(const std::vector<gp_Pnt>& nodes, const std::vector<std::array<int, 3>>& triangles);

//! One triangle.
Handle(Poly_Triangulation) Triangle(const gp_Pnt& a, const gp_Pnt& b, const gp_Pnt& c);

//! Equilateral triangle of side 1 in the XY plane.
Handle(Poly_Triangulation) Equilateral();

//! Two equilateral triangles of side 1 sharing an edge (a rhombus).
Handle(Poly_Triangulation) TwoEquilaterals();

//! Regular tetrahedron, outward oriented, closed.
Handle(Poly_Triangulation) Tetra();

//! Unit cube, 8 nodes and 12 outward triangles, closed.
Handle(Poly_Triangulation) Cube();

//! Unit cube without its top face: 8 nodes, 10 triangles, one square hole.
Handle(Poly_Triangulation) OpenBox();

//! Three triangles sharing one edge (non-manifold fin).
Handle(Poly_Triangulation) NonManifoldFin();

//! UV sphere of radius r: closed, outward oriented, 2*nu*(nv-1) triangles.
Handle(Poly_Triangulation) Sphere(const double r, const int nu, const int nv);

//! The nodes and triangles of `a`, then those of `b` moved by `offset` (triangles of `b`
//! numbered after those of `a`).
Handle(Poly_Triangulation) Combine(const Handle(Poly_Triangulation) & a,
                                   const Handle(Poly_Triangulation) & b,
                                   const gp_Vec& offset = gp_Vec());

//! The same triangles, each with three nodes of its own (a triangle soup).
Handle(Poly_Triangulation) Unwelded(const Handle(Poly_Triangulation) & mesh);

//! Every pair (a, b), a < b, of intersecting triangles of the mesh by testing all pairs
//! with the hierarchy component's exact neighbour test (degenerate triangles left out), as
//! consecutive 1-based indices in increasing order. For cross-checks on small meshes.
std::vector<int> BruteSelfIntersections(const Handle(Poly_Triangulation) & mesh);

//! Largest and mean distance from the nodes of `from` to the surface of `to`, by testing
//! every triangle (small meshes only).
std::pair<double, double> NodeToSurfaceDistances(const Handle(Poly_Triangulation) & from,
                                                 const Handle(Poly_Triangulation) & to);

//! A face carrying the triangulation (no surface), for assembling shapes in tests.
TopoDS_Face FaceOf(const Handle(Poly_Triangulation) & mesh);

//! Counts of edges by the number of triangles sharing them (after nodes are compared by
//! index, not by position).
struct EdgeCounts
{
  int boundary    = 0; //!< edges of one triangle
  int manifold    = 0; //!< edges of two triangles
  int nonManifold = 0; //!< edges of three or more
};
EdgeCounts CountEdges(const Handle(Poly_Triangulation) & mesh);

//! Signed volume enclosed by a closed triangulation (positive when outward oriented).
double SignedVolume(const Handle(Poly_Triangulation) & mesh);

//! Path of a file under the project's tests/data.
std::string DataFile(const std::string& relative);

//! Path of a scratch file in a temporary folder of this test process (created on first
//! use), so that tests run in parallel never share a file while names stay as given.
std::string TempPath(const std::string& name);

//! Path of a file under the shared real-data folder, or "" when it is absent (callers
//! GTEST_SKIP then).
std::string SharedDataFile(const std::string& relative);

//! Elements of a data model mesh by kind.
struct ElementCounts
{
  int zeroD = 0, edges = 0, triangles = 0, quadrangles = 0;
  int tetrahedra = 0, pyramids = 0, prisms = 0, hexahedra = 0;
};
ElementCounts CountElements(const Handle(MorvDS_Mesh) & mesh);

//! Corners of the box of the nodes of a data model mesh: {xmin, ymin, zmin, xmax, ymax, zmax}.
std::array<double, 6> NodeBounds(const Handle(MorvDS_Mesh) & mesh);
//! Torus around the z axis: major radius R, minor radius r, closed, outward oriented,
//! 2*nu*nv triangles.
Handle(Poly_Triangulation) Torus(const double R, const double r, const int nu, const int nv);

//! Whether every directed edge of the mesh occurs once and its reverse once too: a closed
//! edge-manifold surface whose triangles all turn the same way.
bool IsClosedAndOriented(const Handle(Poly_Triangulation) & mesh);

} // namespace testmesh

#endif
