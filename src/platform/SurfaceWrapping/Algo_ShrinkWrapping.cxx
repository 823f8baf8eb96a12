// Boundary extraction of a voxel solid, projection onto the input and untangling.
//
// Extraction emits, layer by layer in parallel, the faces between a solid cell and a
// non-solid neighbour with corners keyed by their grid index; a parallel sort of the keys
// numbers the distinct corners. Because the solid is well-composed, every grid edge of the
// boundary bears exactly two faces and every corner a single fan of faces, so sharing
// corners by index yields a closed 2-manifold. Untangling uses the exact self-intersection
// test of the hierarchy component on the whole triangulation per round.
#include <Algo_ShrinkWrapping.hxx>

#include <SurfWrap_DummyProgressNotifier.hxx>

#include <BVHTools_IntersectMeshMesh.hxx>

#include <tbb/parallel_for.h>
#include <tbb/parallel_sort.h>

#include <algorithm>
#include <cmath>

using SurfWrap_Geometry::Vec;

namespace
{

// Steps of the progress the shrinking counts: a few tenths of a second each on a million
// vertices.
constexpr int THE_PROGRESS_STEPS = 20;

constexpr int THE_MAX_UNTANGLE_ROUNDS = 24;

double length(const Vec& v)
{
  return std::sqrt(SurfWrap_Geometry::Dot(v, v));
}

} // namespace

Algo_ShrinkWrapping::Algo_ShrinkWrapping(const Handle(SurfWrap_ProgressNotifier) & notifier)
    : m_notifier(notifier.IsNull()
                     ? Handle(SurfWrap_ProgressNotifier)(SurfWrap_DummyProgressNotifier::Instance())
                     : notifier),
      m_nbThreads(1)
{
}

bool Algo_ShrinkWrapping::Extract(const SurfWrap_VoxelGrid& grid, SurfWrap_WorkMesh& mesh) const
{
  mesh              = SurfWrap_WorkMesh();
  const int      nx = grid.Nx, ny = grid.Ny, nz = grid.Nz;
  const uint64_t cx = uint64_t(nx) + 1, cy = uint64_t(ny) + 1;
  auto           key = [&](const int c[3])
  { return uint64_t(c[0]) + cx * (uint64_t(c[1]) + cy * uint64_t(c[2])); };
  auto isSolid = [&](const int x, const int y, const int z)
  {
    return x >= 0 && y >= 0 && z >= 0 && x < nx && y < ny && z < nz &&
           grid.Solid[grid.Index(x, y, z)];
  };

  // 1. Faces of each layer, as four corner keys turning counter-clockwise from outside.
  std::vector<std::vector<std::array<uint64_t, 4>>> layers(nz);
  tbb::parallel_for(
      0, nz,
      [&](const int z)
      {
        for (int y = 0; y < ny; ++y)
        {
          for (int x = 0; x < nx; ++x)
          {
            if (!grid.Solid[grid.Index(x, y, z)])
            {
              continue;
            }
            const int cell[3] = {x, y, z};
            for (int side = 0; side < 6; ++side)
            {
              const int axis = side / 2, step = (side & 1) ? 1 : -1;
              int       other[3] = {x, y, z};
              other[axis] += step;
              if (isSolid(other[0], other[1], other[2]))
              {
                continue;
              }
              // Corners in the plane of the face, ordered along the two other
              // axes so that their normal is +axis; reversed for -axis.
              const int u = (axis + 1) % 3, v = (axis + 2) % 3;
              int       c[4][3];
              for (int k = 0; k < 4; ++k)
              {
                c[k][0] = cell[0], c[k][1] = cell[1], c[k][2] = cell[2];
                c[k][axis] += step > 0 ? 1 : 0;
              }
              c[1][u] += 1;
              c[2][u] += 1, c[2][v] += 1;
              c[3][v] += 1;
              std::array<uint64_t, 4> face = {key(c[0]), key(c[1]), key(c[2]), key(c[3])};
              if (step < 0)
              {
                std::swap(face[1], face[3]);
              }
              layers[z].push_back(face);
            }
          }
        }
      });
  size_t nbFaces = 0;
  for (const auto& layer : layers)
  {
    nbFaces += layer.size();
  }
  // The faces are a third of the extraction's progress, the numbering of the corners and
  // the quads the rest; the scope covers the caller's step.
  m_notifier->NewScope(3, "Extracting");
  m_notifier->Increment();
  m_notifier->ProcessEvents();
  if (nbFaces == 0 || m_notifier->IsInterrupted())
  {
    m_notifier->EndScope();
    return false;
  }

  // 2. Number the distinct corners by their keys.
  std::vector<uint64_t> keys;
  keys.reserve(4 * nbFaces);
  for (const auto& layer : layers)
  {
    for (const auto& face : layer)
    {
      keys.insert(keys.end(), face.begin(), face.end());
    }
  }
  tbb::parallel_sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  const int nbVertices = static_cast<int>(keys.size());
  mesh.Rest.resize(nbVertices);
  tbb::parallel_for(0, nbVertices,
                    [&](const int i)
                    {
                      const uint64_t k = keys[i];
                      const double   x = double(k % cx), y = double((k / cx) % cy),
                                   z = double(k / (cx * cy));
                      mesh.Rest[i] = grid.Origin + Vec{x * grid.Size, y * grid.Size, z * grid.Size};
                    });

  m_notifier->Increment();
  m_notifier->ProcessEvents();
  if (m_notifier->IsInterrupted())
  {
    m_notifier->EndScope();
    return false;
  }

  // 3. The quads with vertex numbers.
  mesh.Quads.resize(nbFaces);
  std::vector<size_t> offset(nz + 1, 0);
  for (int z = 0; z < nz; ++z)
  {
    offset[z + 1] = offset[z] + layers[z].size();
  }
  tbb::parallel_for(0, nz,
                    [&](const int z)
                    {
                      for (size_t f = 0; f < layers[z].size(); ++f)
                      {
                        std::array<int, 4>& quad = mesh.Quads[offset[z] + f];
                        for (int c = 0; c < 4; ++c)
                        {
                          quad[c] = static_cast<int>(
                              std::lower_bound(keys.begin(), keys.end(), layers[z][f][c]) -
                              keys.begin());
                        }
                      }
                    });
  mesh.Points = mesh.Rest;
  mesh.Attached.assign(nbVertices, 0);
  mesh.BuildAdjacency();
  m_notifier->EndScope();
  return true;
}

bool Algo_ShrinkWrapping::Shrink(const SurfWrap_Projector& projector,
                                 const double              maxShift,
                                 SurfWrap_WorkMesh&        mesh) const
{
  // The vertices go in batches, each a step of the progress counted on the calling thread
  // (the host's progress display need not be thread-safe).
  std::atomic<bool> isStopped(false);
  const int64_t     nbVertices = mesh.NbVertices();
  m_notifier->NewScope(THE_PROGRESS_STEPS, "Shrinking");
  for (int batch = 0; batch < THE_PROGRESS_STEPS && !isStopped; ++batch)
  {
    const int first = static_cast<int>(nbVertices * batch / THE_PROGRESS_STEPS);
    const int last  = static_cast<int>(nbVertices * (batch + 1) / THE_PROGRESS_STEPS);
    tbb::parallel_for(tbb::blocked_range<int>(first, last, 4096),
                      [&](const tbb::blocked_range<int>& range)
                      {
                        if (isStopped || m_notifier->IsInterrupted())
                        {
                          isStopped = true;
                          return;
                        }
                        for (int v = range.begin(); v < range.end(); ++v)
                        {
                          Vec    nearest;
                          double distance = 0.0;
                          if (projector.Project(mesh.Rest[v], nearest, distance) &&
                              distance <= maxShift)
                          {
                            mesh.Points[v]   = nearest;
                            mesh.Attached[v] = 1;
                          }
                        }
                      });
    m_notifier->Increment();
  }
  m_notifier->EndScope();
  return !isStopped;
}

Handle(Poly_Triangulation) Algo_ShrinkWrapping::Triangulate(SurfWrap_WorkMesh& mesh) const
{
  // 1. Split each quad along its shorter diagonal (the flatter choice after shrinking).
  std::vector<std::array<int, 3>> triangles(2 * mesh.Quads.size());
  tbb::parallel_for(size_t(0), mesh.Quads.size(),
                    [&](const size_t q)
                    {
                      const std::array<int, 4>& c = mesh.Quads[q];
                      const auto&               p = mesh.Points;
                      if (length(p[c[0]] - p[c[2]]) <= length(p[c[1]] - p[c[3]]))
                      {
                        triangles[2 * q]     = {c[0], c[1], c[2]};
                        triangles[2 * q + 1] = {c[0], c[2], c[3]};
                      }
                      else
                      {
                        triangles[2 * q]     = {c[0], c[1], c[3]};
                        triangles[2 * q + 1] = {c[1], c[2], c[3]};
                      }
                    });
  const int nbVertices              = mesh.NbVertices();
  const int nbTriangles             = static_cast<int>(triangles.size());
  Handle(Poly_Triangulation) result = new Poly_Triangulation(nbVertices, nbTriangles, false);
  for (int t = 0; t < nbTriangles; ++t)
  {
    result->SetTriangle(
        t + 1, Poly_Triangle(triangles[t][0] + 1, triangles[t][1] + 1, triangles[t][2] + 1));
  }

  // 2. Untangle: weigh each vertex between its voxel corner (0) and its target (1); pull
  //    back the vertices of crossing or collapsed triangles until nothing crosses.
  std::vector<double>  weight(nbVertices, 1.0);
  std::vector<uint8_t> isBad(nbVertices, 0);
  int                  nbKept = 0;
  for (int round = 0;; ++round)
  {
    if (m_notifier->IsInterrupted())
    {
      return nullptr;
    }
    for (int v = 0; v < nbVertices; ++v)
    {
      const Vec p = mesh.Rest[v] + weight[v] * (mesh.Points[v] - mesh.Rest[v]);
      result->SetNode(v + 1, gp_Pnt(p.x, p.y, p.z));
    }
    Handle(BVHTools::TriangleSet) set = new BVHTools::TriangleSet(result);
    set->SetNbThreads(m_nbThreads);
    set->InitBuilder();
    BVHTools::IntersectMeshMesh crossing(m_nbThreads, set, set, true);
    crossing.Perform();
    std::vector<int> bad(crossing.Result());
    for (int position = 0; position < set->Size(); ++position)
    {
      if (set->IsDegenerate(position))
      {
        bad.push_back(set->Id(position));
      }
    }
    if (bad.empty() || round > THE_MAX_UNTANGLE_ROUNDS)
    {
      break;
    }
    // Halve first, which usually suffices; later rounds, or the last resort of all
    // vertices back on the voxel surface, end it for sure.
    const bool isLastResort = round + 1 >= THE_MAX_UNTANGLE_ROUNDS;
    for (const int t : bad)
    {
      for (const int v : triangles[t - 1])
      {
        isBad[v]  = 1;
        weight[v] = round < 3 ? 0.5 * weight[v] : 0.0;
      }
    }
    if (isLastResort)
    {
      std::fill(weight.begin(), weight.end(), 0.0);
    }
  }
  for (int v = 0; v < nbVertices; ++v)
  {
    nbKept += isBad[v];
  }
  if (nbKept > 0)
  {
    m_notifier->NewMessage("SurfWrap.Untangle.Kept", SurfWrap_Info,
                           TCollection_AsciiString(nbKept));
  }
  return result;
}
