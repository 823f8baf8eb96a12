// Warp angle of a quadrilateral. The mean plane passes through the centre C of the four
// edge midpoints, with the normal spanned by the directions from C to two consecutive
// midpoints; the mean distance of the corners from that plane, over the shortest half
// edge, is the sine of the warp angle. Constant time.
#include <algoMesh_WarpAngle.hxx>

#include <gp_Dir.hxx>

#include <algorithm>
#include <cfloat>
#include <cmath>

using namespace quorin;

IMPLEMENT_STANDARD_RTTIEXT(quorin::algoMesh_WarpAngle, ActAPI_IAlgorithm)

namespace
{
// Absolute tolerance, in model units, below which a midpoint is taken to sit at the centre.
constexpr double THE_MIDPOINT_TOLERANCE = 0.0001;
} // namespace

algoMesh_WarpAngle::algoMesh_WarpAngle(ActAPI_ProgressEntry progress, ActAPI_PlotterEntry plotter)
    : ActAPI_IAlgorithm(progress, plotter)
{
}

bool algoMesh_WarpAngle::Compute(
    const gp_Pnt& P1, const gp_Pnt& P2, const gp_Pnt& P3, const gp_Pnt& P4, double& angle) const
{
  const gp_XYZ M12 = (P1.XYZ() + P2.XYZ()) / 2.0;
  const gp_XYZ M23 = (P2.XYZ() + P3.XYZ()) / 2.0;
  const gp_XYZ M34 = (P3.XYZ() + P4.XYZ()) / 2.0;
  const gp_XYZ M41 = (P4.XYZ() + P1.XYZ()) / 2.0;
  const gp_XYZ C   = (M12 + M23 + M34 + M41) / 4.0;

  const gp_XYZ u = M23 - C;
  const gp_XYZ v = M34 - C;
  if (u.Modulus() < THE_MIDPOINT_TOLERANCE || v.Modulus() < THE_MIDPOINT_TOLERANCE)
  {
    return false;
  }
  // gp_Dir raises on a zero cross product, which only parallel midpoint directions give.
  const gp_XYZ N = gp_Dir(u.Crossed(v)).XYZ();

  const double d1 = std::abs((P1.XYZ() - C).Dot(N));
  const double d2 = std::abs((P2.XYZ() - C).Dot(N));
  const double d3 = std::abs((P3.XYZ() - C).Dot(N));
  const double d4 = std::abs((P4.XYZ() - C).Dot(N));

  const double m = std::min({(P1.XYZ() - M12).Modulus(), (P2.XYZ() - M23).Modulus(),
                             (P3.XYZ() - M34).Modulus(), (P4.XYZ() - M41).Modulus()});
  if (m < DBL_EPSILON)
  {
    return false;
  }
  // The edge midpoints form a parallelogram (Varignon) in the mean plane, so every corner
  // lies at the same height, at most its half edge: the ratio exceeds 1 only by rounding,
  // and is clamped there (90 degrees). NaN coordinates give no angle.
  const double ratio = ((d1 + d2 + d3 + d4) * 0.25) / m;
  if (std::isnan(ratio))
  {
    return false;
  }
  angle = std::asin(std::min(ratio, 1.0)) * 180.0 / 3.141592653589793;
  return true;
}
