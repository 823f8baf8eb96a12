// Reading the triangles of a mesh, leaving out the unusable ones.
#include <SurfWrap_TriangleSoup.hxx>

#include <algorithm>
#include <cmath>

SurfWrap_TriangleSoup::SurfWrap_TriangleSoup(const Handle(Poly_Triangulation) & mesh)
{
  if (mesh.IsNull())
  {
    return;
  }
  const int nbNodes = mesh->NbNodes();
  Corners.reserve(3 * static_cast<size_t>(mesh->NbTriangles()));
  bool first = true;
  for (int t = 1; t <= mesh->NbTriangles(); ++t)
  {
    int n[3];
    mesh->Triangle(t).Get(n[0], n[1], n[2]);
    SurfWrap_Geometry::Vec corners[3];
    bool                   isUsable = true;
    for (int c = 0; c < 3 && isUsable; ++c)
    {
      if (n[c] < 1 || n[c] > nbNodes)
      {
        isUsable = false;
        break;
      }
      const gp_Pnt p = mesh->Node(n[c]);
      corners[c]     = {p.X(), p.Y(), p.Z()};
      isUsable       = std::isfinite(p.X()) && std::isfinite(p.Y()) && std::isfinite(p.Z()) &&
                 std::abs(p.X()) < 1e100 && std::abs(p.Y()) < 1e100 && std::abs(p.Z()) < 1e100;
    }
    if (!isUsable)
    {
      ++NbRejected;
      continue;
    }
    for (const SurfWrap_Geometry::Vec& c : corners)
    {
      if (first)
      {
        Min = Max = c;
        first     = false;
      }
      Min = {std::min(Min.x, c.x), std::min(Min.y, c.y), std::min(Min.z, c.z)};
      Max = {std::max(Max.x, c.x), std::max(Max.y, c.y), std::max(Max.z, c.z)};
      Corners.push_back(c);
    }
  }
}
