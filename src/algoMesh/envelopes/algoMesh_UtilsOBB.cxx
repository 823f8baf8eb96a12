// Local extremes of mesh nodes in a frame: one pass over the nodes, O(n).
#include <algoMesh_UtilsOBB.hxx>

#include <algorithm>
#include <limits>

using namespace quorin;

void algoMesh_UtilsOBB::BuildCorners(const gp_Ax3& placement,
                                     const Handle(Poly_Triangulation) & mesh,
                                     gp_Pnt& minCorner,
                                     gp_Pnt& maxCorner)
{
  const double big = std::numeric_limits<double>::max();
  gp_XYZ       lo(big, big, big);
  gp_XYZ       hi(-big, -big, -big);

  const gp_XYZ& origin  = placement.Location().XYZ();
  const gp_XYZ& dx      = placement.XDirection().XYZ();
  const gp_XYZ& dy      = placement.YDirection().XYZ();
  const gp_XYZ& dz      = placement.Direction().XYZ();
  const int     nbNodes = mesh.IsNull() ? 0 : mesh->NbNodes();
  for (int i = 1; i <= nbNodes; ++i)
  {
    const gp_XYZ d = mesh->Node(i).XYZ() - origin;
    const double x = d.Dot(dx), y = d.Dot(dy), z = d.Dot(dz);
    lo.SetCoord(std::min(lo.X(), x), std::min(lo.Y(), y), std::min(lo.Z(), z));
    hi.SetCoord(std::max(hi.X(), x), std::max(hi.Y(), y), std::max(hi.Z(), z));
  }
  minCorner.SetXYZ(lo);
  maxCorner.SetXYZ(hi);
}
