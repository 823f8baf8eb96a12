#include <algoBase_TriangulatePolygon3d.hxx>

#include <cmath>

IMPLEMENT_STANDARD_RTTIEXT(algoBase_TriangulatePolygon3d, ActAPI_IAlgorithm)

namespace
{

//! Twice the signed area of the 2D triangle (a, b, c); positive when counter-clockwise.
inline double orient(const double ax,
                     const double ay,
                     const double bx,
                     const double by,
                     const double cx,
                     const double cy)
{
  return (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
}

} // namespace

algoBase_TriangulatePolygon3d::algoBase_TriangulatePolygon3d(ActAPI_ProgressEntry progress,
                                                             ActAPI_PlotterEntry  plotter)
    : ActAPI_IAlgorithm(progress, plotter)
{
}

void algoBase_TriangulatePolygon3d::Clear()
{
  m_points.clear();
  m_corners.clear();
  m_isDone = false;
}

bool algoBase_TriangulatePolygon3d::Perform()
{
  m_corners.clear();
  m_isDone       = false;
  const size_t n = m_points.size();
  if (n < 3)
  {
    return false;
  }
  for (const gp_XYZ& p : m_points)
  {
    if (!std::isfinite(p.X()) || !std::isfinite(p.Y()) || !std::isfinite(p.Z()))
    {
      return false;
    }
  }

  // 1. A triangle is its own triangulation.
  if (n == 3)
  {
    m_corners = {0, 1, 2};
    m_isDone  = true;
    return true;
  }

  // 2. Best-fit plane: Newell's normal and the perimeter that scales its tolerance.
  double normal[3] = {0.0, 0.0, 0.0};
  double perimeter = 0.0;
  for (size_t i = 0; i < n; ++i)
  {
    const gp_XYZ& a = m_points[i];
    const gp_XYZ& b = m_points[(i + 1) % n];
    normal[0] += (a.Y() - b.Y()) * (a.Z() + b.Z());
    normal[1] += (a.Z() - b.Z()) * (a.X() + b.X());
    normal[2] += (a.X() - b.X()) * (a.Y() + b.Y());
    perimeter += (b - a).Modulus();
  }
  const double length =
      std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
  if (!(length > 1e-14 * perimeter * perimeter))
  {
    return false; // all corners collinear (or coincident): no plane to work in
  }
  for (double& c : normal)
  {
    c /= length;
  }

  // 3. Orthonormal frame (u, v) of the plane with u x v = normal, so that the projected
  //    outline runs counter-clockwise.
  const int minor      = std::fabs(normal[0]) < std::fabs(normal[1])
                             ? (std::fabs(normal[0]) < std::fabs(normal[2]) ? 0 : 2)
                             : (std::fabs(normal[1]) < std::fabs(normal[2]) ? 1 : 2);
  double    axis[3]    = {0.0, 0.0, 0.0};
  axis[minor]          = 1.0;
  double       u[3]    = {axis[1] * normal[2] - axis[2] * normal[1],
                          axis[2] * normal[0] - axis[0] * normal[2],
                          axis[0] * normal[1] - axis[1] * normal[0]};
  const double uLength = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
  for (double& c : u)
  {
    c /= uLength;
  }
  const double v[3] = {normal[1] * u[2] - normal[2] * u[1], normal[2] * u[0] - normal[0] * u[2],
                       normal[0] * u[1] - normal[1] * u[0]};

  // 4. Cut ears from the projected outline.
  m_isDone = clipEars(u, v);
  if (!m_isDone)
  {
    m_corners.clear();
  }
  return m_isDone;
}

bool algoBase_TriangulatePolygon3d::clipEars(const double u[3], const double v[3])
{
  const int n = static_cast<int>(m_points.size());
  m_x.resize(n);
  m_y.resize(n);
  m_prev.resize(n);
  m_next.resize(n);
  for (int i = 0; i < n; ++i)
  {
    const gp_XYZ& p = m_points[i];
    m_x[i]          = p.X() * u[0] + p.Y() * u[1] + p.Z() * u[2];
    m_y[i]          = p.X() * v[0] + p.Y() * v[1] + p.Z() * v[2];
    m_prev[i]       = (i + n - 1) % n;
    m_next[i]       = (i + 1) % n;
  }
  m_corners.reserve(3 * (n - 2));

  // A corner is an ear when it is convex and no other remaining corner lies in its
  // triangle. Corners at the same position as the triangle's own (duplicated points of
  // the file) do not block it.
  auto isEar = [&](const int i)
  {
    const int a = m_prev[i], c = m_next[i];
    if (orient(m_x[a], m_y[a], m_x[i], m_y[i], m_x[c], m_y[c]) <= 0.0)
    {
      return false;
    }
    for (int k = m_next[c]; k != a; k = m_next[k])
    {
      const double px = m_x[k], py = m_y[k];
      if ((px == m_x[a] && py == m_y[a]) || (px == m_x[i] && py == m_y[i]) ||
          (px == m_x[c] && py == m_y[c]))
      {
        continue;
      }
      if (orient(m_x[a], m_y[a], m_x[i], m_y[i], px, py) >= 0.0 &&
          orient(m_x[i], m_y[i], m_x[c], m_y[c], px, py) >= 0.0 &&
          orient(m_x[c], m_y[c], m_x[a], m_y[a], px, py) >= 0.0)
      {
        return false;
      }
    }
    return true;
  };

  int remaining = n;
  int current   = 0;
  while (remaining > 3)
  {
    int ear = -1;
    for (int step = 0, i = current; step < remaining; ++step, i = m_next[i])
    {
      if (isEar(i))
      {
        ear = i;
        break;
      }
    }
    if (ear < 0)
    {
      // No clean ear: rounding or a nearly degenerate outline. Cut the corner that turns
      // most to the left; it is the one whose triangle is least likely to fold over.
      double best = -HUGE_VAL;
      for (int step = 0, i = current; step < remaining; ++step, i = m_next[i])
      {
        const int    a = m_prev[i], c = m_next[i];
        const double turn = orient(m_x[a], m_y[a], m_x[i], m_y[i], m_x[c], m_y[c]);
        if (turn > best)
        {
          best = turn;
          ear  = i;
        }
      }
      if (best < 0.0)
      {
        return false; // every corner is reflex: the outline crosses itself
      }
    }
    const int a = m_prev[ear], c = m_next[ear];
    m_corners.push_back(a);
    m_corners.push_back(ear);
    m_corners.push_back(c);
    m_next[a] = c;
    m_prev[c] = a;
    --remaining;
    current = c;
  }
  m_corners.push_back(m_prev[current]);
  m_corners.push_back(current);
  m_corners.push_back(m_next[current]);
  return true;
}
