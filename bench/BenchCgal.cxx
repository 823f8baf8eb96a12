// The peer's self-intersection search on a surface mesh, parallel through its TBB back end.
#ifdef QUORIN_HAVE_CGAL
#include <BenchCgal.hxx>

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/self_intersections.h>
#include <CGAL/Surface_mesh.h>

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
  tbb::global_control limit(tbb::global_control::max_allowed_parallelism, nbThreads);
  std::vector<std::pair<Mesh::Face_index, Mesh::Face_index>> pairs;
  CGAL::Polygon_mesh_processing::self_intersections<CGAL::Parallel_if_available_tag>(
      faces(m_impl->mesh), m_impl->mesh, std::back_inserter(pairs));
  return pairs.size();
}

std::size_t PeerSelfIntersections::NbFaces() const
{
  return m_impl->mesh.number_of_faces();
}

} // namespace bench
#endif
