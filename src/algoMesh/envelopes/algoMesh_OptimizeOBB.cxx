// Oriented bounding box optimisation: the mesh is reduced to its convex hull (the box of a
// set is the box of its hull), then the frame's rotation is searched by multi-start BFGS
// (the kernel's math_BFGS with gradients by central differences) over three angles; the
// objective, algoMesh_FuncOBB, is essentially the box volume, which is not smooth in the
// angles, hence the 64 starts spread over the rotation space. Cost: the hull, O(n log h)
// for n nodes and h hull nodes, then at most 64 x 200 iterations of a few evaluations of
// O(h) each, then one O(n) pass for the final corners.
#include <algoMesh_OptimizeOBB.hxx>

#include <algoMesh_ConvexHull.hxx>
#include <algoMesh_FuncOBB.hxx>
#include <algoMesh_ProgressScope.hxx>
#include <algoMesh_UtilsOBB.hxx>

#include <math_BFGS.hxx>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

using namespace quorin;

IMPLEMENT_STANDARD_RTTIEXT(quorin::algoMesh_OptimizeOBB, ActAPI_IAlgorithm)

namespace
{
// Starting values per angle: 0, 2pi/3, 4pi/3 and 2pi.
constexpr int THE_NB_STARTS_PER_ANGLE = 4;
// math_BFGS settings.
constexpr double THE_BFGS_TOLERANCE  = 1e-8;
constexpr int    THE_BFGS_ITERATIONS = 200;
constexpr double THE_BFGS_ZEPS       = 1e-12;
// Shares of the progress: the hull, then the descents; the final corners take the rest.
constexpr double THE_HULL_SHARE   = 0.3;
constexpr double THE_SEARCH_SHARE = 0.65;
// Components closer than this are equal when the axes are ordered.
constexpr double THE_ORDER_TOLERANCE = 1e-7;

gp_Dir withPositiveLead(const gp_Dir& d)
{
  int lead = 1;
  for (int k = 2; k <= 3; ++k)
  {
    if (std::abs(d.Coord(k)) > std::abs(d.Coord(lead)))
    {
      lead = k;
    }
  }
  return d.Coord(lead) < 0.0 ? d.Reversed() : d;
}

// Three-way comparison of two components within the tolerance: +1 when a is greater.
int compare(const double a, const double b)
{
  return a - b > THE_ORDER_TOLERANCE ? 1 : (b - a > THE_ORDER_TOLERANCE ? -1 : 0);
}
} // namespace

algoMesh_OptimizeOBB::algoMesh_OptimizeOBB(const TopoDS_Shape& shape,
                                           const Handle(Poly_Triangulation) & mesh,
                                           const Handle(algoMesh_OBB) & initial,
                                           ActAPI_ProgressEntry progress,
                                           ActAPI_PlotterEntry  plotter)
    : ActAPI_IAlgorithm(progress, plotter), m_shape(shape), m_mesh(mesh), m_initial(initial)
{
}

bool algoMesh_OptimizeOBB::Perform()
{
  m_result.Nullify();

  // 1. Nodes to bound and a frame to start from.
  if (m_mesh.IsNull() || m_mesh->NbNodes() == 0)
  {
    ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Error);
    message << "Cannot optimize the OBB without triangulation.";
    m_progress.SendLogMessage(message);
    return false;
  }
  if (m_initial.IsNull())
  {
    ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Error);
    message << "Cannot optimize the OBB without an initial box.";
    m_progress.SendLogMessage(message);
    return false;
  }

  // 2. The hull has the same box as the mesh in every frame, and far fewer nodes.
  algoMesh_ProgressScope progress(m_progress, "Optimizing the OBB");
  Handle(Poly_Triangulation) hull;
  const bool isHullBuilt = buildHull(progress.Next(THE_HULL_SHARE), hull);
  if (progress.IsCancelled())
  {
    algoMesh_ReportCancelled(m_progress);
    return false;
  }
  if (!isHullBuilt)
  {
    ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Error);
    message << "Cannot build a convex hull for the input mesh.";
    m_progress.SendLogMessage(message);
    return false;
  }

  // 3. The objective over the angles that turn the initial frame.
  algoMesh_FuncOBB func(m_initial->Placement(), hull);

  // 4. Best rotation over the multi-start descents.
  algoMesh_ProgressScope search = progress.Next(THE_SEARCH_SHARE);
  const math_Vector      angles = minimize(func, search);
  if (progress.IsCancelled())
  {
    algoMesh_ReportCancelled(m_progress);
    return false;
  }

  // 5. The best frame with its axes in canonical order.
  gp_Ax3 best;
  func.Rotate(angles, best);
  const gp_Ax3 placement = canonicalPlacement(best);

  // 6. Bound the whole mesh in that frame.
  gp_Pnt minCorner, maxCorner;
  algoMesh_UtilsOBB::BuildCorners(placement, m_mesh, minCorner, maxCorner);
  m_result = new algoMesh_OBB(placement, minCorner, maxCorner);
  progress.Complete();
  return true;
}

bool algoMesh_OptimizeOBB::buildHull(const algoMesh_ProgressScope& progress,
                                     Handle(Poly_Triangulation) & hull) const
{
  std::vector<double> coords;
  coords.reserve(3 * static_cast<size_t>(m_mesh->NbNodes()));
  for (int i = 1; i <= m_mesh->NbNodes(); ++i)
  {
    const gp_Pnt p = m_mesh->Node(i);
    coords.insert(coords.end(), {p.X(), p.Y(), p.Z()});
  }
  // The hull's own messages (a non-finite node) are not the caller's concern: the refusal
  // is reported once, by Perform.
  return algoMesh_ConvexHull(progress.Entry(false), ActAPI_PlotterEntry()).Perform(coords, hull) &&
         !hull.IsNull() && hull->NbNodes() > 0;
}

math_Vector algoMesh_OptimizeOBB::minimize(algoMesh_FuncOBB& func, algoMesh_ProgressScope& progress)
{
  progress.SetTotal(THE_NB_STARTS_PER_ANGLE * THE_NB_STARTS_PER_ANGLE * THE_NB_STARTS_PER_ANGLE);
  const double step      = 2.0 * M_PI / 3.0;
  double       bestValue = std::numeric_limits<double>::max();
  math_Vector  best(1, 3, 0.0);
  math_Vector  start(1, 3);
  for (int i = 0; i < THE_NB_STARTS_PER_ANGLE; ++i)
  {
    for (int j = 0; j < THE_NB_STARTS_PER_ANGLE; ++j)
    {
      for (int k = 0; k < THE_NB_STARTS_PER_ANGLE; ++k)
      {
        if (progress.IsCancelled())
        {
          return best;
        }
        start(1) = i * step;
        start(2) = j * step;
        start(3) = k * step;
        math_BFGS bfgs(3, THE_BFGS_TOLERANCE, THE_BFGS_ITERATIONS, THE_BFGS_ZEPS);
        bfgs.Perform(func, start);
        if (bfgs.IsDone() && bfgs.Minimum() < bestValue)
        {
          bestValue = bfgs.Minimum();
          best      = bfgs.Location();
        }
        progress.Advance();
      }
    }
  }
  return best;
}

gp_Ax3 algoMesh_OptimizeOBB::canonicalPlacement(const gp_Ax3& frame)
{
  std::array<gp_Dir, 3> axes = {withPositiveLead(frame.XDirection()),
                                withPositiveLead(frame.YDirection()),
                                withPositiveLead(frame.Direction())};

  // X: the greatest x, then y, then z.
  std::sort(axes.begin(), axes.end(),
            [](const gp_Dir& a, const gp_Dir& b)
            {
              if (const int byX = compare(a.X(), b.X()))
              {
                return byX > 0;
              }
              if (const int byY = compare(a.Y(), b.Y()))
              {
                return byY > 0;
              }
              return a.Z() > b.Z();
            });

  // Z, of the other two: the greatest z, then y, then x (the smaller x comes first).
  std::sort(axes.begin() + 1, axes.end(),
            [](const gp_Dir& a, const gp_Dir& b)
            {
              if (const int byZ = compare(a.Z(), b.Z()))
              {
                return byZ < 0;
              }
              if (const int byY = compare(a.Y(), b.Y()))
              {
                return byY < 0;
              }
              return a.X() < b.X();
            });

  // The kernel makes X orthogonal to Z and Y = Z x X: the frame is right-handed even when
  // the sign changes above made the axes a left-handed triple.
  return gp_Ax3(frame.Location(), axes[2], axes[0]);
}
