// Both decimations keep the mesh on the surface it came from and stop at the reduction
// asked for. On closed and open, curved and flat shapes at several reductions, the distance
// from every output node to the input surface, and from every input node to the output
// surface, is compared with that of a regular grid of the same shape with about as many
// triangles, whose nodes lie on the surface.
#include <algoMesh_TopoDecimation.hxx>
#include <algoMesh_VTKQuadricDecimation.hxx>

#include <MeshBuilders.hxx>
#include <ReductionOptions.hxx>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

using namespace quorin;

namespace
{

// A height field z = f(x, y) over [0, size]^2 on an n x n grid of squares: an open sheet.
Handle(Poly_Triangulation)
    heightField(const int n, const double size, const std::function<double(double, double)>& f)
{
  std::vector<gp_Pnt>             nodes;
  std::vector<std::array<int, 3>> triangles;
  for (int i = 0; i <= n; ++i)
    for (int j = 0; j <= n; ++j)
    {
      const double x = size * i / n, y = size * j / n;
      nodes.emplace_back(x, y, f(x, y));
    }
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j)
    {
      const int a = i * (n + 1) + j + 1, b = a + n + 1;
      triangles.push_back({a, b, b + 1});
      triangles.push_back({a, b + 1, a + 1});
    }
  return testmesh::Make(nodes, triangles);
}

struct Shape
{
  std::string name;
  //! The shape's regular grid with its counts of segments times `scale`, at least 3.
  std::function<Handle(Poly_Triangulation)(double scale)> grid;
  bool                                                    isClosed;
  Handle(Poly_Triangulation) mesh; //!< grid(1)
};

std::vector<Shape> shapes()
{
  const auto segments = [](const int n, const double scale)
  { return std::max(3, int(std::lround(n * scale))); };
  const auto wave = [](double x, double y) { return 0.15 * std::sin(2 * x) * std::cos(2 * y); };
  std::vector<Shape> list(4);
  list[0] = {"sphere",
             [=](double s) { return testmesh::Sphere(1.0, segments(36, s), segments(19, s)); },
             true,
             {}};
  list[1] = {"torus",
             [=](double s) { return testmesh::Torus(2.0, 0.7, segments(48, s), segments(18, s)); },
             true,
             {}};
  list[2] = {
      "wavy sheet", [=](double s) { return heightField(segments(28, s), 4.0, wave); }, false, {}};
  list[3] = {"flat sheet",
             [=](double s)
             { return heightField(segments(20, s), 3.0, [](double, double) { return 0.0; }); },
             false,
             {}};
  for (Shape& shape : list)
    shape.mesh = shape.grid(1.0);
  return list;
}

// The smallest number of deleted triangles whose share, as the quadric filter computes it,
// reaches the target.
int filterDeletions(const int nbTriangles, const double percent)
{
  const double target  = percent / 100.0;
  int          deleted = 0;
  while (double(deleted) / double(nbTriangles) < target)
    ++deleted;
  return deleted;
}

// The largest distance, either way, between the input surface and `mesh`.
double distance(const Shape& shape, const Handle(Poly_Triangulation) & mesh)
{
  return std::max(testmesh::NodeToSurfaceDistances(mesh, shape.mesh).first,
                  testmesh::NodeToSurfaceDistances(shape.mesh, mesh).first);
}

// Every output node lies near the input surface and every input node near the output
// surface: within twice the distance of the shape's regular grid with about as many
// triangles (plus rounding, which is all a flat sheet may show). Dropping a cap, folding a
// band or moving a boundary strays far beyond that.
void expectClose(const Shape& shape, const Handle(Poly_Triangulation) & out)
{
  const double scale   = std::sqrt(double(out->NbTriangles()) / shape.mesh->NbTriangles());
  const double regular = distance(shape, shape.grid(scale));
  EXPECT_LE(distance(shape, out), 2.0 * regular + 1e-9) << "regular grid: " << regular;
}

} // namespace

TEST(algoMesh_DecimationDistance, QuadricFilterStaysOnTheSurfaceAndStopsAtTheTarget)
{
  for (const Shape& shape : shapes())
  {
    for (const double percent : {50.0, 90.0})
    {
      SCOPED_TRACE(shape.name + " at " + std::to_string(int(percent)) + " %");
      Handle(Poly_Triangulation) out;
      ASSERT_TRUE(
          algoMesh_VTKQuadricDecimation(testmesh::WithReduction(percent)).Perform(shape.mesh, out));
      // The filter stops at the first collapse that reaches the share; one collapse deletes
      // two triangles inside the mesh and one at a boundary.
      const int n = shape.mesh->NbTriangles(), least = filterDeletions(n, percent);
      EXPECT_LE(out->NbTriangles(), n - least);
      EXPECT_GE(out->NbTriangles(), n - least - 1);
      if (shape.isClosed)
      {
        EXPECT_EQ(testmesh::CountEdges(out).boundary, 0);
      }
      expectClose(shape, out);
    }
  }
}

TEST(algoMesh_DecimationDistance, TopologyPreservingDecimationStaysOnTheSurfaceAndStopsAtTheTarget)
{
  for (const Shape& shape : shapes())
  {
    for (const double percent : {50.0, 90.0})
    {
      SCOPED_TRACE(shape.name + " at " + std::to_string(int(percent)) + " %");
      Handle(Poly_Triangulation) out;
      ASSERT_TRUE(
          algoMesh_TopoDecimation(testmesh::WithReduction(percent)).Perform(shape.mesh, out));
      // It stops at the first collapse that leaves no more than the rounded remaining share,
      // or, when the filter's result is taken, at the first that removes the whole share
      // (one collapse, two triangles, further at most); on an open sheet, whose boundary may
      // not move, fewer collapses may be allowed.
      const int n      = shape.mesh->NbTriangles();
      const int target = int(std::llround(n * (1.0 - percent / 100.0)));
      EXPECT_LE(out->NbTriangles(), shape.isClosed ? target : n);
      EXPECT_GE(out->NbTriangles(), target - 2);
      if (shape.isClosed)
      {
        EXPECT_TRUE(testmesh::IsClosedAndOriented(out));
      }
      expectClose(shape, out);
    }
  }
}
