// Convex hull of a point cloud: input checks (enough points, finite coordinates, a
// three-dimensional spread), then the incremental quickhull of algoMesh_HullBuilder
// (Barber, Dobkin, Huhdanpaa 1996) and the conversion of its half-edge mesh into a
// triangulation. The checks cost O(n) at most; the hull O(n log h) expected for h vertices.
#include <algoMesh_ConvexHull.hxx>

#include <algoMesh_HullBuilder.hxx>
#include <algoMesh_ProgressScope.hxx>

#include <gp_Vec.hxx>

#include <cmath>

using namespace quorin;

IMPLEMENT_STANDARD_RTTIEXT(quorin::algoMesh_ConvexHull, ActAPI_IAlgorithm)

namespace
{
// Squared distance from the first point below which a point adds no direction.
constexpr double THE_MIN_SQ_SPREAD = 1e-7;
// Angles closer than this to 0 or pi count as the same line.
constexpr double THE_MIN_ANGLE = 0.001;
// Distance from the plane of the first two directions that makes the cloud a solid.
constexpr double THE_MIN_HEIGHT = 1e-7;
} // namespace

algoMesh_ConvexHull::algoMesh_ConvexHull(ActAPI_ProgressEntry progress, ActAPI_PlotterEntry plotter)
    : ActAPI_IAlgorithm(progress, plotter)
{
}

bool algoMesh_ConvexHull::Perform(const std::vector<double>& coords,
                                  Handle(Poly_Triangulation) & hull)
{
  const size_t nbPoints = coords.size() / 3;

  // 1. A solid hull needs four points.
  if (nbPoints < 4)
  {
    return false;
  }

  // 2. Infinite or NaN coordinates would poison the tolerance and every plane.
  const size_t bad = findNonFinite(coords.data(), nbPoints);
  if (bad < nbPoints)
  {
    ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Error);
    message << "Cannot build a convex hull: point %1 has a non-finite coordinate."
            << static_cast<int>(bad);
    m_progress.SendLogMessage(message);
    return false;
  }

  // 3. Coincident, collinear and coplanar clouds have no solid hull.
  if (!isThreeDimensional(coords.data(), nbPoints))
  {
    return false;
  }

  // 4. Build the hull and convert it; a cancelled build leaves `hull` untouched.
  algoMesh_ProgressScope progress(m_progress, "Building the convex hull");
  algoMesh_HullBuilder   builder(coords.data(), nbPoints);
  if (!builder.Build(&progress))
  {
    algoMesh_ReportCancelled(m_progress);
    return false;
  }
  hull = builder.Triangulation();
  progress.Complete();
  return true;
}

bool algoMesh_ConvexHull::Perform(const std::vector<gp_Pnt>& points,
                                  Handle(Poly_Triangulation) & hull)
{
  if (points.size() < 4)
  {
    return false;
  }
  std::vector<double> coords;
  coords.reserve(3 * points.size());
  for (const gp_Pnt& p : points)
  {
    coords.insert(coords.end(), {p.X(), p.Y(), p.Z()});
  }
  return Perform(coords, hull);
}

bool algoMesh_ConvexHull::Perform(const NCollection_Array1<gp_Pnt>& points,
                                  Handle(Poly_Triangulation) & hull)
{
  if (points.Length() < 4)
  {
    return false;
  }
  std::vector<double> coords;
  coords.reserve(3 * static_cast<size_t>(points.Length()));
  for (int i = 1; i <= points.Length(); ++i)
  {
    const gp_Pnt& p = points.Value(i);
    coords.insert(coords.end(), {p.X(), p.Y(), p.Z()});
  }
  return Perform(coords, hull);
}

size_t algoMesh_ConvexHull::findNonFinite(const double* coords, const size_t nbPoints)
{
  for (size_t i = 0; i < nbPoints; ++i)
  {
    const double* p = coords + 3 * i;
    if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
    {
      return i;
    }
  }
  return nbPoints;
}

bool algoMesh_ConvexHull::isThreeDimensional(const double* coords, const size_t nbPoints)
{
  // The first direction away from P0, a second one at an angle to it, and then the first
  // point off the plane they span: at that point the cloud is known to be a solid, so the
  // test usually stops after a handful of points.
  const gp_XYZ p0(coords[0], coords[1], coords[2]);
  gp_Vec       d1, d2;
  bool         hasD1 = false, hasD2 = false;
  gp_XYZ       normal;
  for (size_t i = 1; i < nbPoints; ++i)
  {
    const gp_XYZ d = gp_XYZ(coords[3 * i], coords[3 * i + 1], coords[3 * i + 2]) - p0;
    if (d.SquareModulus() < THE_MIN_SQ_SPREAD)
    {
      continue;
    }
    if (!hasD1)
    {
      d1    = gp_Vec(d).Normalized();
      hasD1 = true;
      continue;
    }
    const double angle = d1.Angle(gp_Vec(d));
    if (angle < THE_MIN_ANGLE || angle > M_PI - THE_MIN_ANGLE)
    {
      continue;
    }
    if (!hasD2)
    {
      d2     = gp_Vec(d).Normalized();
      normal = d1.Crossed(d2).Normalized().XYZ();
      hasD2  = true;
      continue;
    }
    if (std::abs(normal.Dot(d)) >= THE_MIN_HEIGHT)
    {
      return true;
    }
  }
  return false;
}
