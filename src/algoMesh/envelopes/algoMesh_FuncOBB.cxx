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
  m_x.reserve(nbNodes);
  m_y.reserve(nbNodes);
  m_z.reserve(nbNodes);
  for (int i = 1; i <= nbNodes; ++i)
  {
    const gp_XYZ d = m_hull->Node(i).XYZ() - m_placement.Location().XYZ();
    m_x.push_back(d.X());
    m_y.push_back(d.Y());
    m_z.push_back(d.Z());
  }
  for (std::vector<double>& local : m_local)
  {
    local.resize(m_x.size());
  }
}

Standard_Integer algoMesh_FuncOBB::NbVariables() const
{
  return 3;
}

Standard_Boolean algoMesh_FuncOBB::Value(const math_Vector& X, Standard_Real& F)
{
  gp_Ax3 frame;
  Rotate(X, frame);
  const gp_XYZ& ax      = frame.XDirection().XYZ();
  const gp_XYZ& ay      = frame.YDirection().XYZ();
  const gp_XYZ& az      = frame.Direction().XYZ();
  const size_t  nbNodes = m_x.size();

  // Box of the nodes in the turned frame. Plain arrays of doubles let the compiler
  // vectorise both passes; the hull of a large mesh still has many nodes.
  const double big   = std::numeric_limits<double>::max();
  double       lo[3] = {big, big, big}, hi[3] = {-big, -big, -big};
  for (int k = 0; k < 3; ++k)
  {
    const gp_XYZ& a  = k == 0 ? ax : (k == 1 ? ay : az);
    const double  a1 = a.X(), a2 = a.Y(), a3 = a.Z();
    double*       local = m_local[k].data();
    double        mn = big, mx = -big;
    for (size_t i = 0; i < nbNodes; ++i)
    {
      const double l = m_x[i] * a1 + m_y[i] * a2 + m_z[i] * a3;
      local[i]       = l;
      mn             = std::min(mn, l);
      mx             = std::max(mx, l);
    }
    lo[k] = mn;
    hi[k] = mx;
  }

  // Depth of the deepest node per axis: its distance from the nearer of the two faces.
  double depth[3] = {0.0, 0.0, 0.0};
  for (int k = 0; k < 3; ++k)
  {
    const double* local   = m_local[k].data();
    double        deepest = 0.0;
    for (size_t i = 0; i < nbNodes; ++i)
    {
      deepest = std::max(deepest, std::min(local[i] - lo[k], hi[k] - local[i]));
    }
    depth[k] = deepest;
  }

  const double volume = (hi[0] - lo[0]) * (hi[1] - lo[1]) * (hi[2] - lo[2]);
  F                   = (volume + depth[0] * depth[1] * depth[2]) / m_volume0;
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
