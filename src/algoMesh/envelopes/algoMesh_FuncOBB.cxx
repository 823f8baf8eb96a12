// Box-volume objective over three rotation angles. An evaluation turns the frame, takes the
// extremes of the hull nodes along each axis and then the depth of the deepest node along
// it: six passes over the h nodes, O(h). The local coordinates are recomputed in the second
// pass rather than stored, which saves writing them out on every evaluation.
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
}

Standard_Integer algoMesh_FuncOBB::NbVariables() const
{
  return 3;
}

Standard_Boolean algoMesh_FuncOBB::Value(const math_Vector& X, Standard_Real& F)
{
  gp_Ax3 frame;
  Rotate(X, frame);
  const gp_XYZ axes[3] = {frame.XDirection().XYZ(), frame.YDirection().XYZ(),
                          frame.Direction().XYZ()};

  double volume = 1.0, depths = 1.0;
  for (const gp_XYZ& axis : axes)
  {
    double lo, hi;
    projectedExtremes(axis, lo, hi);
    volume *= hi - lo;
    depths *= deepestNode(axis, lo, hi);
  }
  F = (volume + depths) / m_volume0;
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

// Both helpers take two nodes per step in two independent lanes, which the compiler packs
// into one SIMD register; min and max are exact, so the lanes change no result.

void algoMesh_FuncOBB::projectedExtremes(const gp_XYZ& axis, double& lo, double& hi) const
{
  const double  a1 = axis.X(), a2 = axis.Y(), a3 = axis.Z();
  const double *x = m_x.data(), *y = m_y.data(), *z = m_z.data();
  const size_t  nbNodes    = m_x.size();
  const double  big        = std::numeric_limits<double>::max();
  double        lanesLo[2] = {big, big}, lanesHi[2] = {-big, -big};
  size_t        i = 0;
  for (; i + 1 < nbNodes; i += 2)
  {
    for (int k = 0; k < 2; ++k)
    {
      const double l = x[i + k] * a1 + y[i + k] * a2 + z[i + k] * a3;
      lanesLo[k]     = std::min(lanesLo[k], l);
      lanesHi[k]     = std::max(lanesHi[k], l);
    }
  }
  lo = std::min(lanesLo[0], lanesLo[1]);
  hi = std::max(lanesHi[0], lanesHi[1]);
  if (i < nbNodes)
  {
    const double l = x[i] * a1 + y[i] * a2 + z[i] * a3;
    lo             = std::min(lo, l);
    hi             = std::max(hi, l);
  }
}

double algoMesh_FuncOBB::deepestNode(const gp_XYZ& axis, const double lo, const double hi) const
{
  const double  a1 = axis.X(), a2 = axis.Y(), a3 = axis.Z();
  const double *x = m_x.data(), *y = m_y.data(), *z = m_z.data();
  const size_t  nbNodes  = m_x.size();
  double        lanes[2] = {0.0, 0.0};
  size_t        i        = 0;
  for (; i + 1 < nbNodes; i += 2)
  {
    for (int k = 0; k < 2; ++k)
    {
      const double l = x[i + k] * a1 + y[i + k] * a2 + z[i + k] * a3;
      lanes[k]       = std::max(lanes[k], std::min(l - lo, hi - l));
    }
  }
  double deepest = std::max(lanes[0], lanes[1]);
  if (i < nbNodes)
  {
    const double l = x[i] * a1 + y[i] * a2 + z[i] * a3;
    deepest        = std::max(deepest, std::min(l - lo, hi - l));
  }
  return deepest;
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
