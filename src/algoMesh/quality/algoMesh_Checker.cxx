// Per-triangle quality metrics of a mesh: area, area ratio to the edge neighbours, aspect
// ratio, aspect Frobenius, condition number, edge ratio, largest and smallest angle and the
// scaled Jacobian, in the usual finite-element definitions of the Verdict quality library
// (Stimpson, Ernst, Knupp, Pebay, Thompson, "The Verdict Geometric Quality Library", 2007).
//
// One pass over the triangles, metric-major inside each triangle: the points, edge lengths
// and area of a triangle are computed once and shared by all its metrics. The area ratio
// needs edge neighbours; they are found through a node-to-triangle incidence table built
// once by a counting sort, O(N + T), after which a query scans the few triangles around
// two nodes of the triangle. The whole run is O(N + T * number of metrics).
#include <algoMesh_Checker.hxx>

#include <algoMesh_Jacobian.hxx>

#include <TDataXtd_Triangulation.hxx>

#include <algorithm>
#include <cfloat>
#include <cmath>

using namespace quorin;

IMPLEMENT_STANDARD_RTTIEXT(quorin::algoMesh_Checker, ActAPI_IAlgorithm)

namespace
{
const double     THE_SQRT3       = std::sqrt(3.0);
constexpr double THE_DEG_PER_RAD = 57.29577951308232;

// Progress is reported once per this many triangles, so that the report costs nothing
// next to the measures.
constexpr int THE_PROGRESS_STEP = 1 << 16;

//! A = 1/2 |(P0 - P2) x (P2 - P1)|: the one formula for a triangle and for its neighbours,
//! so that equal triangles give equal areas to the last bit.
double areaOf(const gp_XYZ& P0, const gp_XYZ& P1, const gp_XYZ& P2)
{
  return 0.5 * (P0 - P2).Crossed(P2 - P1).Modulus();
}

//! Cosine of the angle between two edge vectors leaving a corner. Rounding can push the
//! normalised dot product of a nearly flat triangle just outside [-1, 1]; it is clamped so
//! that such a corner gives 0 or 180 degrees instead of failing.
double cosineOf(const gp_XYZ& u, const gp_XYZ& v, const double lu, const double lv)
{
  return std::clamp(u.Dot(v) / (lu * lv), -1.0, 1.0);
}
} // namespace

struct algoMesh_Checker::Shape
{
  gp_XYZ P0, P1, P2;
  double L0 = 0.0; //!< |P2 - P1|
  double L1 = 0.0; //!< |P0 - P2|
  double L2 = 0.0; //!< |P1 - P0|
  double A  = 0.0; //!< area
};

algoMesh_Checker::algoMesh_Checker(const Handle(Poly_Triangulation) & mesh,
                                   ActAPI_ProgressEntry progress,
                                   ActAPI_PlotterEntry  plotter)
    : ActAPI_IAlgorithm(progress, plotter), m_mesh(mesh)
{
}

bool algoMesh_Checker::Perform()
{
  std::vector<algoMesh_QualityMetricType> types;
  for (int type = QualityMetric_Area; type <= QualityMetric_SelfIntersection; ++type)
  {
    types.push_back(static_cast<algoMesh_QualityMetricType>(type));
  }
  return Perform(types);
}

bool algoMesh_Checker::Perform(const algoMesh_QualityMetricType type)
{
  return Perform(std::vector<algoMesh_QualityMetricType>(1, type));
}

bool algoMesh_Checker::Perform(const std::vector<algoMesh_QualityMetricType>& types)
{
  // 1. Start a new, empty result; the previous one is released.
  m_info = new algoMesh_QualityInfo(m_progress.Access());
  if (m_mesh.IsNull())
  {
    ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Error);
    message << "Cannot check the quality of a null mesh.";
    m_progress.SendLogMessage(message);
    return false;
  }
  m_info->ReserveElements(m_mesh->NbTriangles());

  // 2. Evaluate the metrics triangle by triangle.
  if (!evaluateTriangles(types))
  {
    return false;
  }
  m_progress.Complete();
  return true;
}

bool algoMesh_Checker::area(const Poly_Triangle& t, double& value) const
{
  return checkMetricForElement(QualityMetric_Area, t, value);
}

bool algoMesh_Checker::areaRatio(const Poly_Triangle& t, double& value) const
{
  return checkMetricForElement(QualityMetric_AreaRatio, t, value);
}

bool algoMesh_Checker::aspectRatio(const Poly_Triangle& t, double& value) const
{
  return checkMetricForElement(QualityMetric_AspectRatio, t, value);
}

bool algoMesh_Checker::aspectFrobenius(const Poly_Triangle& t, double& value) const
{
  return checkMetricForElement(QualityMetric_AspectFrobenius, t, value);
}

bool algoMesh_Checker::condition(const Poly_Triangle& t, double& value) const
{
  return checkMetricForElement(QualityMetric_Condition, t, value);
}

bool algoMesh_Checker::edgeRatio(const Poly_Triangle& t, double& value) const
{
  return checkMetricForElement(QualityMetric_EdgeRatio, t, value);
}

bool algoMesh_Checker::maxAngle(const Poly_Triangle& t, double& value) const
{
  return checkMetricForElement(QualityMetric_MaxAngle, t, value);
}

bool algoMesh_Checker::minAngle(const Poly_Triangle& t, double& value) const
{
  return checkMetricForElement(QualityMetric_MinAngle, t, value);
}

bool algoMesh_Checker::scaledJacobian(const Poly_Triangle& t, double& value) const
{
  return checkMetricForElement(QualityMetric_ScaledJacobian, t, value);
}

bool algoMesh_Checker::checkMetricForElement(const algoMesh_QualityMetricType type,
                                             const Poly_Triangle&             t,
                                             double&                          value) const
{
  if (static_cast<unsigned>(type) > QualityMetric_ScaledJacobian)
  {
    return false;
  }
  Shape shape;
  shapeOf(t, shape);
  return metricOf(type, t, shape, value);
}

void algoMesh_Checker::shapeOf(const Poly_Triangle& t,
                               Shape&               shape,
                               const bool           withLengths,
                               const bool           withArea) const
{
  int n1 = 0, n2 = 0, n3 = 0;
  t.Get(n1, n2, n3);
  shape.P0 = m_mesh->Node(n1).XYZ();
  shape.P1 = m_mesh->Node(n2).XYZ();
  shape.P2 = m_mesh->Node(n3).XYZ();
  if (withLengths)
  {
    shape.L0 = (shape.P2 - shape.P1).Modulus();
    shape.L1 = (shape.P0 - shape.P2).Modulus();
    shape.L2 = (shape.P1 - shape.P0).Modulus();
  }
  if (withArea)
  {
    shape.A = areaOf(shape.P0, shape.P1, shape.P2);
  }
}

bool algoMesh_Checker::metricOf(const algoMesh_QualityMetricType type,
                                const Poly_Triangle&             t,
                                const Shape&                     s,
                                double&                          value) const
{
  switch (type)
  {
  case QualityMetric_Area:
    value = s.A;
    return true;

  case QualityMetric_AreaRatio:
    return areaRatioOf(t, s, value);

  case QualityMetric_AspectRatio:
    if (s.A < DBL_EPSILON)
    {
      return false;
    }
    value = (s.L0 + s.L1 + s.L2) * std::max({s.L0, s.L1, s.L2}) / (4.0 * THE_SQRT3 * s.A);
    return true;

  case QualityMetric_AspectFrobenius:
    if (s.A < DBL_EPSILON)
    {
      return false;
    }
    value = (s.L0 * s.L0 + s.L1 * s.L1 + s.L2 * s.L2) / (4.0 * THE_SQRT3 * s.A);
    return true;

  case QualityMetric_Condition:
  {
    if (s.A < DBL_EPSILON)
    {
      return false;
    }
    const gp_XYZ e0 = s.P0 - s.P2;
    const gp_XYZ e1 = s.P1 - s.P0;
    value = (e1.SquareModulus() + e0.SquareModulus() + e1.Dot(e0)) / (2.0 * THE_SQRT3 * s.A);
    return true;
  }

  case QualityMetric_EdgeRatio:
  {
    const double shortest = std::min({s.L0, s.L1, s.L2});
    if (shortest < DBL_EPSILON)
    {
      return false;
    }
    value = std::max({s.L0, s.L1, s.L2}) / shortest;
    return true;
  }

  case QualityMetric_MaxAngle:
  case QualityMetric_MinAngle:
  {
    if (s.L0 < DBL_EPSILON || s.L1 < DBL_EPSILON || s.L2 < DBL_EPSILON)
    {
      return false;
    }
    // The angle falls as its cosine grows, so the largest angle is the arc cosine of the
    // smallest cosine and the smallest angle that of the largest: one arc cosine, not three,
    // with the same bits as taking the extreme of the three angles.
    const double at2 = cosineOf(s.P1 - s.P2, s.P0 - s.P2, s.L0, s.L1);
    const double at0 = cosineOf(s.P2 - s.P0, s.P1 - s.P0, s.L1, s.L2);
    const double at1 = cosineOf(s.P0 - s.P1, s.P2 - s.P1, s.L2, s.L0);
    const double cosine =
        type == QualityMetric_MaxAngle ? std::min({at2, at0, at1}) : std::max({at2, at0, at1});
    value = std::acos(cosine) * THE_DEG_PER_RAD;
    return true;
  }

  case QualityMetric_ScaledJacobian:
    // The same layout and formula as algoMesh_Jacobian::Compute at corner 0, without
    // building a Jacobian object and matrix per triangle.
    return algoMesh_Jacobian::ScaledJacobianAtCorner0(s.L0, s.L1, s.L2, value);

  default:
    return false;
  }
}

bool algoMesh_Checker::areaRatioOf(const Poly_Triangle& t, const Shape& s, double& value) const
{
  if (m_nodeOffsets.empty())
  {
    buildEdgeNeighbours();
  }
  if (s.A < DBL_EPSILON)
  {
    return false;
  }
  // A triangle of nonzero area has three distinct node indices, all valid (reading its
  // points has checked them).
  int a = 0, b = 0, c = 0;
  t.Get(a, b, c);

  // Neighbours are the triangles that use both ends of one of its edges, except those with
  // the very same node triple (duplicates of the triangle, which share all three edges).
  // Only a node triple present in the mesh has neighbours: a triangle built elsewhere and
  // merely passed in is compared with nothing.
  bool   isMeshTriangle = false;
  double ratio          = 1.0;
  auto   compare        = [&](const int neighbour)
  {
    double An = m_areas[neighbour - 1];
    if (An < 0.0)
    {
      int na = 0, nb = 0, nc = 0;
      m_mesh->Triangle(neighbour).Get(na, nb, nc);
      An = areaOf(m_mesh->Node(na).XYZ(), m_mesh->Node(nb).XYZ(), m_mesh->Node(nc).XYZ());
    }
    if (An < DBL_EPSILON)
    {
      return;
    }
    ratio = std::max(ratio, std::max(s.A / An, An / s.A));
  };
  // Around node a: triangles through edge (a, b) or (a, c).
  for (int k = m_nodeOffsets[a - 1]; k < m_nodeOffsets[a]; ++k)
  {
    const int            n  = m_nodeTriangles[k];
    const Poly_Triangle& tn = m_mesh->Triangle(n);
    if (tn.Value(1) == a && tn.Value(2) == b && tn.Value(3) == c)
    {
      isMeshTriangle = true;
      continue;
    }
    if (tn.Value(1) == b || tn.Value(2) == b || tn.Value(3) == b || tn.Value(1) == c ||
        tn.Value(2) == c || tn.Value(3) == c)
    {
      compare(n);
    }
  }
  if (!isMeshTriangle)
  {
    value = 1.0;
    return true;
  }
  // Around node b: triangles through edge (b, c) that do not use a (those were seen).
  for (int k = m_nodeOffsets[b - 1]; k < m_nodeOffsets[b]; ++k)
  {
    const int            n     = m_nodeTriangles[k];
    const Poly_Triangle& tn    = m_mesh->Triangle(n);
    const bool           usesA = tn.Value(1) == a || tn.Value(2) == a || tn.Value(3) == a;
    const bool           usesC = tn.Value(1) == c || tn.Value(2) == c || tn.Value(3) == c;
    if (usesC && !usesA)
    {
      compare(n);
    }
  }
  value = ratio;
  return true;
}

void algoMesh_Checker::buildEdgeNeighbours() const
{
  const int nbNodes     = m_mesh->NbNodes();
  const int nbTriangles = m_mesh->NbTriangles();

  // Counting sort of (node, triangle) pairs by node; triangles are visited in index order,
  // so every node's list comes out sorted. Invalid node indices are left out here and raise
  // when the triangle's points are read.
  std::vector<int> offsets(static_cast<size_t>(nbNodes) + 1, 0);
  for (int i = 1; i <= nbTriangles; ++i)
  {
    const Poly_Triangle& t = m_mesh->Triangle(i);
    for (int corner = 1; corner <= 3; ++corner)
    {
      const int node = t.Value(corner);
      if (node >= 1 && node <= nbNodes)
      {
        ++offsets[node];
      }
    }
  }
  for (int n = 1; n <= nbNodes; ++n)
  {
    offsets[n] += offsets[n - 1];
  }
  std::vector<int> triangles(static_cast<size_t>(offsets[nbNodes]));
  std::vector<int> cursor(offsets.begin(), offsets.end() - 1);
  for (int i = 1; i <= nbTriangles; ++i)
  {
    const Poly_Triangle& t = m_mesh->Triangle(i);
    for (int corner = 1; corner <= 3; ++corner)
    {
      const int node = t.Value(corner);
      if (node >= 1 && node <= nbNodes)
      {
        triangles[cursor[node - 1]++] = i;
      }
    }
  }
  std::vector<double> areas(static_cast<size_t>(nbTriangles), -1.0);
  for (int i = 1; i <= nbTriangles; ++i)
  {
    int n1 = 0, n2 = 0, n3 = 0;
    m_mesh->Triangle(i).Get(n1, n2, n3);
    if (n1 >= 1 && n1 <= nbNodes && n2 >= 1 && n2 <= nbNodes && n3 >= 1 && n3 <= nbNodes)
    {
      areas[i - 1] = areaOf(m_mesh->Node(n1).XYZ(), m_mesh->Node(n2).XYZ(), m_mesh->Node(n3).XYZ());
    }
  }
  m_nodeOffsets.swap(offsets);
  m_nodeTriangles.swap(triangles);
  m_areas.swap(areas);
}

bool algoMesh_Checker::evaluateTriangles(const std::vector<algoMesh_QualityMetricType>& types)
{
  const Handle(ActAPI_IProgressNotifier)& notifier = m_progress.Access();
  const Standard_GUID& owner                       = TDataXtd_Triangulation::GetID();
  const int            nbTriangles                 = m_mesh->NbTriangles();
  m_progress.Init("Checking mesh quality", nbTriangles);

  // Fields by metric type once created; the result owns them.
  algoMesh_Field* fields[QualityMetric_ScaledJacobian + 1] = {};

  // Only what the listed metrics read is computed per triangle: the area alone needs no edge
  // lengths, the edge ratio, the angles and the scaled Jacobian need no area.
  bool withLengths = false, withArea = false;
  for (const algoMesh_QualityMetricType type : types)
  {
    withLengths =
        withLengths || (type >= QualityMetric_AspectRatio && type <= QualityMetric_ScaledJacobian);
    withArea = withArea || (type >= QualityMetric_Area && type <= QualityMetric_Condition);
  }

  for (int i = 1; i <= nbTriangles; ++i)
  {
    const Poly_Triangle& t = m_mesh->Triangle(i);
    Shape                shape;
    bool                 hasShape = false;
    for (const algoMesh_QualityMetricType type : types)
    {
      if (!notifier.IsNull() && notifier->IsCancelRequested())
      {
        return false;
      }
      if (static_cast<unsigned>(type) > QualityMetric_ScaledJacobian)
      {
        continue;
      }
      if (!hasShape)
      {
        shapeOf(t, shape, withLengths, withArea);
        hasShape = true;
      }
      double value = 0.0;
      if (!metricOf(type, t, shape, value))
      {
        continue;
      }
      if (fields[type] != nullptr)
      {
        fields[type]->SetValue(i, value);
      }
      else
      {
        m_info->SetMetric(i, type, value, owner);
        fields[type] = m_info->Field(type).get();
      }
    }
    if (i % THE_PROGRESS_STEP == 0)
    {
      m_progress.SetProgress(i);
    }
  }
  return true;
}
