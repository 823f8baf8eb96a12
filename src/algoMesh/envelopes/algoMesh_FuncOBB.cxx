// Box-volume objective over three rotation angles. An evaluation turns the frame, takes the
// extremes of the hull nodes along its axes and the depth of the deepest node per axis: two
// passes over the h nodes, O(h).
#include <algoMesh_FuncOBB.hxx>

#include <algoMesh_UtilsOBB.hxx>

#include <gp_Ax1.hxx>

#include <algorithm>
#include <limits>

using namespace quorin;

namespace
{
// Step of the central differences, radians.
constexpr double THE_STEP = 1e-4;
} // namespace

algoMesh_FuncOBB::algoMesh_FuncOBB(const gp_Ax3& placement, const Handle(Poly_Triangulation) & hull)
    : m_placement(placement), m_hull(hull), m_volume0(0.0)
{
  gp_Pnt minCorner, maxCorner;
  algoMesh_UtilsOBB::BuildCorners(m_placement, m_hull, minCorner, maxCorner);
  const gp_XYZ extents = maxCorner.XYZ() - minCorner.XYZ();
  m_volume0            = extents.X() * extents.Y() * extents.Z();

  const int nbNodes = m_hull.IsNull() ? 0 : m_hull->NbNodes();
  m_offsets.reserve(nbNodes);
  for (int i = 1; i <= nbNodes; ++i)
  {
    m_offsets.push_back(m_hull->Node(i).XYZ() - m_placement.Location().XYZ());
  }
  m_local.resize(m_offsets.size());
}

Standard_Integer algoMesh_FuncOBB::NbVariables() const
{
  return 3;
}

Standard_Boolean algoMesh_FuncOBB::Value(const math_Vector& X, Standard_Real& F)
{
  gp_Ax3 frame;
  Rotate(X, frame);
  const gp_XYZ dx = frame.XDirection().XYZ();
  const gp_XYZ dy = frame.YDirection().XYZ();
  const gp_XYZ dz = frame.Direction().XYZ();

  // Box of the nodes in the turned frame.
  const double big = std::numeric_limits<double>::max();
  gp_XYZ       lo(big, big, big), hi(-big, -big, -big);
  for (size_t i = 0; i < m_offsets.size(); ++i)
  {
    const gp_XYZ& d = m_offsets[i];
    const gp_XYZ  l(d.Dot(dx), d.Dot(dy), d.Dot(dz));
    m_local[i] = l;
    lo.SetCoord(std::min(lo.X(), l.X()), std::min(lo.Y(), l.Y()), std::min(lo.Z(), l.Z()));
    hi.SetCoord(std::max(hi.X(), l.X()), std::max(hi.Y(), l.Y()), std::max(hi.Z(), l.Z()));
  }

  // Depth of the deepest node per axis: its distance from the nearer of the two faces.
  gp_XYZ depth(0.0, 0.0, 0.0);
  for (const gp_XYZ& l : m_local)
  {
    for (int k = 1; k <= 3; ++k)
    {
      const double toFace = std::min(l.Coord(k) - lo.Coord(k), hi.Coord(k) - l.Coord(k));
      depth.SetCoord(k, std::max(depth.Coord(k), toFace));
    }
  }

  const gp_XYZ extents = hi - lo;
  F = (extents.X() * extents.Y() * extents.Z() + depth.X() * depth.Y() * depth.Z()) / m_volume0;
  return Standard_True;
}

Standard_Boolean algoMesh_FuncOBB::Gradient(const math_Vector& X, math_Vector& G)
{
  math_Vector shifted(X);
  for (int i = 0; i < 3; ++i)
  {
    double fPlus = 0.0, fMinus = 0.0;
    shifted(X.Lower() + i) = X(X.Lower() + i) + THE_STEP;
    Value(shifted, fPlus);
    shifted(X.Lower() + i) = X(X.Lower() + i) - THE_STEP;
    Value(shifted, fMinus);
    shifted(X.Lower() + i) = X(X.Lower() + i);
    G(G.Lower() + i)       = (fPlus - fMinus) / (2.0 * THE_STEP);
  }
  return Standard_True;
}

Standard_Boolean algoMesh_FuncOBB::Values(const math_Vector& X, Standard_Real& F, math_Vector& G)
{
  Value(X, F);
  Gradient(X, G);
  return Standard_True;
}

void algoMesh_FuncOBB::Rotate(const math_Vector& X, gp_Ax3& placement) const
{
  // Every turn is about an axis of the initial frame, not of the turned one.
  const gp_Pnt& origin = m_placement.Location();
  placement            = m_placement;
  placement.Rotate(gp_Ax1(origin, m_placement.XDirection()), X(X.Lower()));
  placement.Rotate(gp_Ax1(origin, m_placement.YDirection()), X(X.Lower() + 1));
  placement.Rotate(gp_Ax1(origin, m_placement.Direction()), X(X.Lower() + 2));
  // The origin lies on every axis; rounding in the turns must not move it.
  placement.SetLocation(origin);
}
