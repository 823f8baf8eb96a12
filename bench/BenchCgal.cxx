// The peer's self-intersection search on a surface mesh (sequential, or parallel through its
// TBB back end) and its AABB tree for point-to-surface distances.
#ifdef QUORIN_HAVE_CGAL
#include <BenchCgal.hxx>

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/self_intersections.h>
#include <CGAL/AABB_traits.h>
#include <CGAL/AABB_tree.h>
#include <CGAL/AABB_triangle_primitive.h>
#include <CGAL/Surface_mesh.h>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <tbb/global_control.h>

namespace bench
{

using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using Mesh   = CGAL::Surface_mesh<Kernel::Point_3>;

struct PeerSelfIntersections::Impl
{
  Mesh mesh;
};

PeerSelfIntersections::PeerSelfIntersections(const std::vector<double>& xyz,
                                             const std::vector<int>&    triangles)
    : m_impl(new Impl())
{
  std::vector<Mesh::Vertex_index> vertices;
  for (std::size_t i = 0; i + 2 < xyz.size(); i += 3)
  {
    vertices.push_back(m_impl->mesh.add_vertex(Kernel::Point_3(xyz[i], xyz[i + 1], xyz[i + 2])));
  }
  for (std::size_t t = 0; t + 2 < triangles.size(); t += 3)
  {
    m_impl->mesh.add_face(vertices[triangles[t]], vertices[triangles[t + 1]],
                          vertices[triangles[t + 2]]);
  }
}

PeerSelfIntersections::~PeerSelfIntersections() = default;

std::size_t PeerSelfIntersections::Run(const int nbThreads)
{
  std::vector<std::pair<Mesh::Face_index, Mesh::Face_index>> pairs;
  if (nbThreads <= 1)
  {
    CGAL::Polygon_mesh_processing::self_intersections<CGAL::Sequential_tag>(
        faces(m_impl->mesh), m_impl->mesh, std::back_inserter(pairs));
    return pairs.size();
  }
  tbb::global_control limit(tbb::global_control::max_allowed_parallelism, nbThreads);
  CGAL::Polygon_mesh_processing::self_intersections<CGAL::Parallel_if_available_tag>(
      faces(m_impl->mesh), m_impl->mesh, std::back_inserter(pairs));
  return pairs.size();
}

std::size_t PeerSelfIntersections::NbFaces() const
{
  return m_impl->mesh.number_of_faces();
}

using Triangle  = Kernel::Triangle_3;
using Soup      = std::vector<Triangle>;
using Primitive = CGAL::AABB_triangle_primitive<Kernel, Soup::const_iterator>;
using Tree      = CGAL::AABB_tree<CGAL::AABB_traits<Kernel, Primitive>>;

struct PeerDistance::Impl
{
  Soup                  triangles;
  std::unique_ptr<Tree> tree;
};

PeerDistance::PeerDistance(const std::vector<double>& xyz, const std::vector<int>& triangles)
    : m_impl(new Impl())
{
  const auto point = [&xyz](const int node)
  { return Kernel::Point_3(xyz[3 * node], xyz[3 * node + 1], xyz[3 * node + 2]); };
  for (std::size_t t = 0; t + 2 < triangles.size(); t += 3)
  {
    m_impl->triangles.emplace_back(point(triangles[t]), point(triangles[t + 1]),
                                   point(triangles[t + 2]));
  }
}

PeerDistance::~PeerDistance() = default;

void PeerDistance::Run(const std::vector<double>& points,
                       const int                  nbThreads,
                       std::vector<double>&       distances)
{
  // The tree and its accelerator are complete before the queries, which then only read them.
  m_impl->tree.reset(new Tree(m_impl->triangles.begin(), m_impl->triangles.end()));
  m_impl->tree->accelerate_distance_queries();
  const Tree&       tree = *m_impl->tree;
  const std::size_t n    = points.size() / 3;
  distances.resize(n);
  tbb::task_arena arena(nbThreads < 1 ? 1 : nbThreads);
  arena.execute(
      [&]
      {
        tbb::parallel_for(tbb::blocked_range<std::size_t>(0, n),
                          [&](const tbb::blocked_range<std::size_t>& range)
                          {
                            for (std::size_t i = range.begin(); i != range.end(); ++i)
                            {
                              const Kernel::Point_3 p(points[3 * i], points[3 * i + 1],
                                                      points[3 * i + 2]);
                              distances[i] = std::sqrt(CGAL::to_double(tree.squared_distance(p)));
                            }
                          });
      });
}

} // namespace bench
#endif
