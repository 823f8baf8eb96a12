// Adjacency of the wrapping surface and projection onto the input.
#include <SurfWrap_WorkMesh.hxx>

#include <algorithm>
#include <utility>

using SurfWrap_Geometry::Vec;

void SurfWrap_WorkMesh::BuildAdjacency()
{
  // Each quad edge once per side; an edge of a closed surface is met from its two quads,
  // so the sorted pairs hold each neighbour twice.
  std::vector<std::pair<int, int>> pairs;
  pairs.reserve(8 * Quads.size());
  for (const std::array<int, 4>& q : Quads)
  {
    for (int c = 0; c < 4; ++c)
    {
      pairs.emplace_back(q[c], q[(c + 1) % 4]);
      pairs.emplace_back(q[(c + 1) % 4], q[c]);
    }
  }
  std::sort(pairs.begin(), pairs.end());
  pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
  NeighbourStart.assign(Rest.size() + 1, 0);
  Neighbours.resize(pairs.size());
  for (size_t k = 0; k < pairs.size(); ++k)
  {
    ++NeighbourStart[pairs[k].first + 1];
    Neighbours[k] = pairs[k].second;
  }
  for (size_t v = 0; v < Rest.size(); ++v)
  {
    NeighbourStart[v + 1] += NeighbourStart[v];
  }
}

SurfWrap_Projector::SurfWrap_Projector(const Handle(Poly_Triangulation) & mesh, const int nbThreads)
    : m_mesh(mesh)
{
  Handle(BVHTools::TriangleSet) set = new BVHTools::TriangleSet(mesh);
  set->SetNbThreads(nbThreads);
  set->InitBuilder();
  // Handed over, so that the set is freed before the hierarchy's nodes take its place.
  m_projector.reset(new BVHTools::ProjectPntMesh(std::move(set)));
}

bool SurfWrap_Projector::Project(const Vec& p, Vec& nearest, double& distance) const
{
  int triangle = -1;
  distance     = m_projector->Distance(gp_Pnt(p.x, p.y, p.z), triangle);
  if (triangle < 1)
  {
    return false;
  }
  int n[3];
  m_mesh->Triangle(triangle).Get(n[0], n[1], n[2]);
  Vec c[3];
  for (int k = 0; k < 3; ++k)
  {
    const gp_Pnt q = m_mesh->Node(n[k]);
    c[k]           = {q.X(), q.Y(), q.Z()};
  }
  nearest = SurfWrap_Geometry::ClosestPointOnTriangle(p, c[0], c[1], c[2]);
  return true;
}
