// Reading the triangles of a mesh, leaving out the unusable ones.
#include <SurfWrap_TriangleSoup.hxx>

#include <tbb/parallel_for.h>

#include <algorithm>
#include <cmath>

using SurfWrap_Geometry::Vec;

SurfWrap_TriangleSoup::SurfWrap_TriangleSoup(const Handle(Poly_Triangulation) & mesh)
{
  if (mesh.IsNull() || mesh->NbTriangles() == 0)
  {
    return;
  }
  // 1. Corners of every triangle and whether it is usable, in parallel.
  const int            nbNodes     = mesh->NbNodes();
  const int            nbTriangles = mesh->NbTriangles();
  std::vector<Vec>     corners(3 * static_cast<size_t>(nbTriangles));
  std::vector<uint8_t> isUsable(nbTriangles, 0);
  tbb::parallel_for(tbb::blocked_range<int>(0, nbTriangles, 4096),
                    [&](const tbb::blocked_range<int>& range)
                    {
                      for (int t = range.begin(); t < range.end(); ++t)
                      {
                        int n[3];
                        mesh->Triangle(t + 1).Get(n[0], n[1], n[2]);
                        bool isOk = true;
                        for (int c = 0; c < 3 && isOk; ++c)
                        {
                          if (n[c] < 1 || n[c] > nbNodes)
                          {
                            isOk = false;
                            break;
                          }
                          const gp_Pnt p             = mesh->Node(n[c]);
                          corners[3 * size_t(t) + c] = {p.X(), p.Y(), p.Z()};
                          isOk = std::abs(p.X()) < 1e100 && std::abs(p.Y()) < 1e100 &&
                                 std::abs(p.Z()) < 1e100; // also false for NaN
                        }
                        isUsable[t] = isOk;
                      }
                    });

  // 2. Keep the usable ones (usually all: then the arrays are taken as they are).
  NbRejected = static_cast<int>(std::count(isUsable.begin(), isUsable.end(), 0));
  if (NbRejected > 0)
  {
    size_t kept = 0;
    for (int t = 0; t < nbTriangles; ++t)
    {
      if (isUsable[t])
      {
        std::copy_n(&corners[3 * size_t(t)], 3, &corners[3 * kept++]);
      }
    }
    corners.resize(3 * kept);
  }
  Corners.swap(corners);

  // 3. Boxes of the triangles and of the whole.
  const int nbKept = NbTriangles();
  Boxes.resize(2 * static_cast<size_t>(nbKept));
  tbb::parallel_for(tbb::blocked_range<int>(0, nbKept, 4096),
                    [&](const tbb::blocked_range<int>& range)
                    {
                      for (int t = range.begin(); t < range.end(); ++t)
                      {
                        const Vec* c             = &Corners[3 * size_t(t)];
                        Boxes[2 * size_t(t)]     = {std::min({c[0].x, c[1].x, c[2].x}),
                                                    std::min({c[0].y, c[1].y, c[2].y}),
                                                    std::min({c[0].z, c[1].z, c[2].z})};
                        Boxes[2 * size_t(t) + 1] = {std::max({c[0].x, c[1].x, c[2].x}),
                                                    std::max({c[0].y, c[1].y, c[2].y}),
                                                    std::max({c[0].z, c[1].z, c[2].z})};
                      }
                    });
  for (int t = 0; t < nbKept; ++t)
  {
    const Vec& lo = Boxes[2 * size_t(t)];
    const Vec& hi = Boxes[2 * size_t(t) + 1];
    if (t == 0)
    {
      Min = lo, Max = hi;
    }
    Min = {std::min(Min.x, lo.x), std::min(Min.y, lo.y), std::min(Min.z, lo.z)};
    Max = {std::max(Max.x, hi.x), std::max(Max.y, hi.y), std::max(Max.z, hi.z)};
  }
}
