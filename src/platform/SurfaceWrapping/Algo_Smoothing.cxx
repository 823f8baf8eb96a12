// Laplacian smoothing with a component filter and reprojection (Taubin-style relaxation
// without the inflating step: the projection keeps attached vertices from shrinking).
#include <Algo_Smoothing.hxx>

#include <SurfWrap_DummyProgressNotifier.hxx>

#include <tbb/parallel_for.h>

#include <atomic>
#include <cmath>

using SurfWrap_Geometry::Vec;

Algo_Smoothing::Algo_Smoothing(const Handle(SurfWrap_ProgressNotifier) & notifier)
    : m_notifier(notifier.IsNull()
                     ? Handle(SurfWrap_ProgressNotifier)(SurfWrap_DummyProgressNotifier::Instance())
                     : notifier),
      m_nbThreads(1)
{
}

bool Algo_Smoothing::Perform(SurfWrap_WorkMesh&        mesh,
                             const SurfWrap_Projector& projector,
                             const SmoothingComponent  component,
                             const int                 nbIterations) const
{
  const int        nbVertices = mesh.NbVertices();
  std::vector<Vec> normals(nbVertices), moved(nbVertices);
  // One step of the progress per iteration.
  m_notifier->NewScope(nbIterations, "Smoothing");
  for (int iteration = 0; iteration < nbIterations; ++iteration)
  {
    if (m_notifier->IsInterrupted())
    {
      m_notifier->EndScope();
      return false;
    }
    // 1. Vertex normals: sums of the quads' area vectors (half the diagonals' cross product).
    if (component != SmoothingComponent_All)
    {
      std::fill(normals.begin(), normals.end(), Vec{0.0, 0.0, 0.0});
      for (const std::array<int, 4>& q : mesh.Quads)
      {
        const Vec n = SurfWrap_Geometry::Cross(mesh.Points[q[2]] - mesh.Points[q[0]],
                                               mesh.Points[q[3]] - mesh.Points[q[1]]);
        for (const int v : q)
        {
          normals[v] = normals[v] + n;
        }
      }
    }

    // 2. Move halfway to the neighbours' centroid, filtered; reproject attached vertices.
    std::atomic<bool> isStopped(false);
    tbb::parallel_for(tbb::blocked_range<int>(0, nbVertices, 4096),
                      [&](const tbb::blocked_range<int>& range)
                      {
                        if (m_notifier->IsInterrupted())
                        {
                          isStopped = true;
                          return;
                        }
                        for (int v = range.begin(); v < range.end(); ++v)
                        {
                          const int first = mesh.NeighbourStart[v],
                                    last  = mesh.NeighbourStart[v + 1];
                          Vec centroid{0.0, 0.0, 0.0};
                          for (int k = first; k < last; ++k)
                          {
                            centroid = centroid + mesh.Points[mesh.Neighbours[k]];
                          }
                          const Vec& p = mesh.Points[v];
                          Vec move = last > first ? 0.5 * ((1.0 / (last - first)) * centroid - p)
                                                  : Vec{0.0, 0.0, 0.0};
                          if (component != SmoothingComponent_All)
                          {
                            const double nn = SurfWrap_Geometry::Dot(normals[v], normals[v]);
                            const Vec    along =
                                nn > 0.0
                                       ? (SurfWrap_Geometry::Dot(move, normals[v]) / nn) * normals[v]
                                       : Vec{0.0, 0.0, 0.0};
                            move = component == SmoothingComponent_Normal ? along : move - along;
                          }
                          moved[v]        = p + move;
                          double distance = 0.0;
                          Vec    nearest;
                          if (mesh.Attached[v] && projector.Project(moved[v], nearest, distance))
                          {
                            moved[v] = nearest;
                          }
                        }
                      });
    if (isStopped)
    {
      m_notifier->EndScope();
      return false;
    }
    mesh.Points.swap(moved);
    m_notifier->Increment();
  }
  m_notifier->EndScope();
  return true;
}
