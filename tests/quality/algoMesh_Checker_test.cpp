#include <MeshBuilders.hxx>

#include <algoMesh_Checker.hxx>
#include <algoMesh_Jacobian.hxx>
#include <algoMesh_QualityMetric.hxx>

#include <ActAPI_RecordingNotifier.hxx>

#include <Standard_OutOfRange.hxx>
#include <TDataXtd_Triangulation.hxx>

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <map>
#include <random>

using namespace quorin;

namespace
{
// Opens the protected metric functions to the tests.
class CheckerProbe : public algoMesh_Checker
{
public:
  explicit CheckerProbe(const Handle(Poly_Triangulation) & mesh)
      : algoMesh_Checker(mesh), m_triangles(mesh)
  {
  }
  using algoMesh_Checker::checkMetricForElement;

  //! The metric of the mesh's triangle of a 1-based index.
  bool Metric(const algoMesh_QualityMetricType type, const int triangle, double& value) const
  {
    return checkMetricForElement(type, m_triangles->Triangle(triangle), value);
  }

private:
  Handle(Poly_Triangulation) m_triangles;
};

// The value of one triangle in one metric field; NaN when the field or the entry is absent.
double ValueOf(const algoMesh_Checker& checker, const algoMesh_QualityMetricType type, const int id)
{
  const Handle(algoMesh_Field) field = checker.QualityInfo()->Field(type);
  if (field.IsNull() || field->Value(id) == nullptr)
  {
    return std::nan("");
  }
  return field->Value(id)[0];
}

bool HasValue(const algoMesh_Checker& checker, const algoMesh_QualityMetricType type, const int id)
{
  return !std::isnan(ValueOf(checker, type, id));
}
} // namespace

TEST(algoMesh_Checker, NullMeshAnswersFalseWithError)
{
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  algoMesh_Checker checker{Handle(Poly_Triangulation)(), ActAPI_ProgressEntry(notifier)};
  EXPECT_FALSE(checker.Perform());
  ASSERT_EQ(1u, notifier->Messages().size());
  EXPECT_EQ(LogSeverity_Error, notifier->Messages()[0].Severity);
  ASSERT_FALSE(checker.QualityInfo().IsNull());
  EXPECT_EQ(0, checker.QualityInfo()->Fields().Extent());
}

TEST(algoMesh_Checker, EmptyMeshAndDeviationOnlyGiveEmptyResults)
{
  algoMesh_Checker empty(new Poly_Triangulation());
  EXPECT_TRUE(empty.Perform());
  EXPECT_EQ(0, empty.QualityInfo()->Fields().Extent());

  // Deviation and self-intersection are not computed here and send no message.
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  algoMesh_Checker checker(testmesh::Equilateral(), notifier);
  EXPECT_TRUE(checker.Perform({QualityMetric_Deviation, QualityMetric_SelfIntersection,
                               static_cast<algoMesh_QualityMetricType>(42)}));
  EXPECT_EQ(0, checker.QualityInfo()->Fields().Extent());
  EXPECT_TRUE(notifier->Messages().empty());
}

TEST(algoMesh_Checker, TwoEquilateralsGiveNineFieldsOfPerfectValues)
{
  algoMesh_Checker checker(testmesh::TwoEquilaterals());
  ASSERT_TRUE(checker.Perform());
  EXPECT_EQ(9, checker.QualityInfo()->Fields().Extent());
  for (int type = QualityMetric_Area; type <= QualityMetric_ScaledJacobian; ++type)
  {
    const auto metric                  = static_cast<algoMesh_QualityMetricType>(type);
    const Handle(algoMesh_Field) field = checker.QualityInfo()->Field(metric);
    ASSERT_FALSE(field.IsNull()) << type;
    EXPECT_EQ(MetricName(metric), field->Name());
    EXPECT_EQ(1, field->Association());
    EXPECT_EQ(1, field->NbComponents());
    EXPECT_TRUE(field->OwnerID() == TDataXtd_Triangulation::GetID());
    EXPECT_EQ(2, field->Values().Extent());
    for (int id = 1; id <= 2; ++id)
    {
      const double v = ValueOf(checker, metric, id);
      switch (metric)
      {
      case QualityMetric_Area:
        EXPECT_NEAR(std::sqrt(3.0) / 4.0, v, 1e-15);
        break;
      case QualityMetric_MaxAngle:
      case QualityMetric_MinAngle:
        EXPECT_NEAR(60.0, v, 1e-12);
        break;
      default: // every ratio, the condition number and the scaled Jacobian are 1
        EXPECT_NEAR(1.0, v, 1e-12) << MetricName(metric);
      }
    }
  }
}

TEST(algoMesh_Checker, CollinearTriangleHasAnglesButNoRatios)
{
  algoMesh_Checker checker(testmesh::Triangle(gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0), gp_Pnt(3, 0, 0)));
  ASSERT_TRUE(checker.Perform());
  EXPECT_EQ(0.0, ValueOf(checker, QualityMetric_Area, 1));
  EXPECT_FALSE(HasValue(checker, QualityMetric_AspectRatio, 1));
  EXPECT_FALSE(HasValue(checker, QualityMetric_AspectFrobenius, 1));
  EXPECT_FALSE(HasValue(checker, QualityMetric_Condition, 1));
  EXPECT_FALSE(HasValue(checker, QualityMetric_AreaRatio, 1));
  // No field at all when no triangle produced a value.
  EXPECT_TRUE(checker.QualityInfo()->Field(QualityMetric_AspectRatio).IsNull());
  EXPECT_DOUBLE_EQ(3.0, ValueOf(checker, QualityMetric_EdgeRatio, 1));
  EXPECT_DOUBLE_EQ(180.0, ValueOf(checker, QualityMetric_MaxAngle, 1));
  EXPECT_DOUBLE_EQ(0.0, ValueOf(checker, QualityMetric_MinAngle, 1));
}

TEST(algoMesh_Checker, CoincidentNodesLeaveOnlyTheArea)
{
  const CheckerProbe probe(testmesh::Triangle(gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0), gp_Pnt(1, 0, 0)));
  double             value = -1.0;
  EXPECT_TRUE(probe.Metric(QualityMetric_Area, 1, value));
  EXPECT_EQ(0.0, value);
  for (int type = QualityMetric_AreaRatio; type <= QualityMetric_SelfIntersection; ++type)
  {
    value = -1.0;
    EXPECT_FALSE(probe.Metric(static_cast<algoMesh_QualityMetricType>(type), 1, value)) << type;
    EXPECT_EQ(-1.0, value) << "a refused metric leaves the value alone";
  }
}

TEST(algoMesh_Checker, RightIsoscelesReferenceValues)
{
  const CheckerProbe probe(testmesh::Triangle(gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0), gp_Pnt(0, 1, 0)));
  double             value = 0.0;
  ASSERT_TRUE(probe.Metric(QualityMetric_Area, 1, value));
  EXPECT_DOUBLE_EQ(0.5, value);
  ASSERT_TRUE(probe.Metric(QualityMetric_EdgeRatio, 1, value));
  EXPECT_DOUBLE_EQ(std::sqrt(2.0), value);
  ASSERT_TRUE(probe.Metric(QualityMetric_MaxAngle, 1, value));
  EXPECT_DOUBLE_EQ(90.0, value);
  ASSERT_TRUE(probe.Metric(QualityMetric_MinAngle, 1, value));
  EXPECT_DOUBLE_EQ(45.0, value);
  ASSERT_TRUE(probe.Metric(QualityMetric_AreaRatio, 1, value));
  EXPECT_EQ(1.0, value) << "a lone triangle has no neighbours";
  // Scaled Jacobian: 2 * 1 * 1 / (sqrt(3) * sqrt(2)).
  ASSERT_TRUE(probe.Metric(QualityMetric_ScaledJacobian, 1, value));
  EXPECT_DOUBLE_EQ(2.0 / std::sqrt(6.0), value);
}

TEST(algoMesh_Checker, AreaRatioComparesEdgeNeighboursOnly)
{
  // Triangle 1 (area 1) and triangle 2 (area 4) share edge 1-2; triangle 3 shares only a
  // node with triangle 1; triangle 4 is a zero-area sliver on edge 2-3 of triangle 1.
  const Handle(Poly_Triangulation) mesh =
      testmesh::Make({gp_Pnt(0, 0, 0), gp_Pnt(2, 0, 0), gp_Pnt(0, 1, 0), gp_Pnt(0, -4, 0),
                      gp_Pnt(-10, 0, 0), gp_Pnt(-10, 10, 0), gp_Pnt(1, 0.5, 0)},
                     {{1, 2, 3}, {2, 1, 4}, {1, 5, 6}, {2, 3, 7}});
  algoMesh_Checker checker(mesh);
  ASSERT_TRUE(checker.Perform(QualityMetric_AreaRatio));
  EXPECT_DOUBLE_EQ(4.0, ValueOf(checker, QualityMetric_AreaRatio, 1));
  EXPECT_DOUBLE_EQ(4.0, ValueOf(checker, QualityMetric_AreaRatio, 2));
  EXPECT_EQ(1.0, ValueOf(checker, QualityMetric_AreaRatio, 3));
  EXPECT_FALSE(HasValue(checker, QualityMetric_AreaRatio, 4));

  // A triangle that is not in the mesh is compared with nothing, even when it shares
  // edges with mesh triangles.
  const CheckerProbe probe(mesh);
  double             value = 0.0;
  ASSERT_TRUE(probe.checkMetricForElement(QualityMetric_AreaRatio, Poly_Triangle(2, 1, 3), value));
  EXPECT_EQ(1.0, value);
}

TEST(algoMesh_Checker, CancellationKeepsTheValuesStoredSoFar)
{
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  notifier->RequestCancel();
  algoMesh_Checker checker(testmesh::TwoEquilaterals(), ActAPI_ProgressEntry(notifier));
  EXPECT_FALSE(checker.Perform());
  EXPECT_EQ(0, checker.QualityInfo()->Fields().Extent());
  EXPECT_TRUE(notifier->Messages().empty());

  // Polled once per (triangle, type) pair, types 9 and 10 included: 11 polls for
  // triangle 1, then area, area ratio and aspect ratio of triangle 2 before the stop.
  notifier->CancelAfterPolls(14);
  const long pollsBefore = notifier->NbCancelPolls();
  EXPECT_FALSE(checker.Perform());
  EXPECT_EQ(15, notifier->NbCancelPolls() - pollsBefore);
  EXPECT_EQ(9, checker.QualityInfo()->Fields().Extent());
  EXPECT_TRUE(HasValue(checker, QualityMetric_AspectRatio, 2));
  EXPECT_FALSE(HasValue(checker, QualityMetric_AspectFrobenius, 2));
  EXPECT_TRUE(HasValue(checker, QualityMetric_ScaledJacobian, 1));
}

TEST(algoMesh_Checker, EachRunMakesANewResult)
{
  algoMesh_Checker checker(testmesh::TwoEquilaterals());
  ASSERT_TRUE(checker.Perform(QualityMetric_Area));
  const Handle(algoMesh_QualityInfo) first = checker.QualityInfo();
  ASSERT_TRUE(checker.Perform({QualityMetric_EdgeRatio, QualityMetric_EdgeRatio}));
  EXPECT_NE(first.get(), checker.QualityInfo().get());
  EXPECT_EQ(1, checker.QualityInfo()->Fields().Extent());
  EXPECT_EQ(1, first->Fields().Extent()) << "the host's handle keeps the old result";
}

TEST(algoMesh_Checker, BadNodeIndexRaisesOutOfRange)
{
  const Handle(Poly_Triangulation) mesh =
      testmesh::Make({gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0), gp_Pnt(0, 1, 0)}, {{1, 2, 3}, {1, 2, 9}});
  algoMesh_Checker checker(mesh);
  EXPECT_THROW(checker.Perform(), Standard_OutOfRange);
  EXPECT_TRUE(HasValue(checker, QualityMetric_Area, 1));
}

namespace
{
// Each metric straight from its definition, with no shared code: the area ratio through
// an ordered map from node triples to edge neighbours, the scaled Jacobian through one
// algoMesh_Jacobian per triangle.
struct BruteForce
{
  explicit BruteForce(const Handle(Poly_Triangulation) & mesh) : m(mesh)
  {
    typedef std::pair<int, int>      Edge;
    std::map<Edge, std::vector<int>> edges;
    for (int i = 1; i <= m->NbTriangles(); ++i)
    {
      const auto [a, b, c] = triple(i);
      for (const Edge& e : {Edge(a, b), Edge(a, c), Edge(b, c)})
      {
        edges[{std::min(e.first, e.second), std::max(e.first, e.second)}].push_back(i);
      }
    }
    for (int i = 1; i <= m->NbTriangles(); ++i)
    {
      const auto [a, b, c] = triple(i);
      for (const Edge& e : {Edge(a, b), Edge(a, c), Edge(b, c)})
      {
        for (const int n : edges[{std::min(e.first, e.second), std::max(e.first, e.second)}])
        {
          if (triple(n) != triple(i))
          {
            neighbours[triple(i)].push_back(n);
          }
        }
      }
    }
  }

  std::array<int, 3> triple(const int i) const
  {
    const Poly_Triangle& t = m->Triangle(i);
    return {t.Value(1), t.Value(2), t.Value(3)};
  }

  double area(const int i) const
  {
    const auto [a, b, c] = triple(i);
    const gp_XYZ P0 = m->Node(a).XYZ(), P1 = m->Node(b).XYZ(), P2 = m->Node(c).XYZ();
    return 0.5 * ((P0 - P2) ^ (P2 - P1)).Modulus();
  }

  bool value(const algoMesh_QualityMetricType type, const int i, double& v) const
  {
    const auto [a, b, c] = triple(i);
    const gp_XYZ P0 = m->Node(a).XYZ(), P1 = m->Node(b).XYZ(), P2 = m->Node(c).XYZ();
    const double L0 = (P2 - P1).Modulus(), L1 = (P0 - P2).Modulus(), L2 = (P1 - P0).Modulus();
    const double A = area(i), s3 = std::sqrt(3.0);
    const double lmax = std::max({L0, L1, L2}), lmin = std::min({L0, L1, L2});
    auto         angle = [](const gp_XYZ& u, const gp_XYZ& w)
    {
      const double c = (u * w) / (u.Modulus() * w.Modulus());
      return std::acos(std::max(-1.0, std::min(1.0, c))) * 180.0 / M_PI;
    };
    switch (type)
    {
    case QualityMetric_Area:
      v = A;
      return true;
    case QualityMetric_AreaRatio:
    {
      if (A < DBL_EPSILON)
        return false;
      v             = 1.0;
      const auto it = neighbours.find(triple(i));
      for (const int n : it == neighbours.end() ? std::vector<int>() : it->second)
      {
        const double An = area(n);
        if (An >= DBL_EPSILON)
          v = std::max(v, std::max(A / An, An / A));
      }
      return true;
    }
    case QualityMetric_AspectRatio:
      v = (L0 + L1 + L2) * lmax / (4 * s3 * A);
      return A >= DBL_EPSILON;
    case QualityMetric_AspectFrobenius:
      v = (L0 * L0 + L1 * L1 + L2 * L2) / (4 * s3 * A);
      return A >= DBL_EPSILON;
    case QualityMetric_Condition:
    {
      const gp_XYZ e0 = P0 - P2, e1 = P1 - P0;
      v = (e1 * e1 + e0 * e0 + e1 * e0) / (2 * s3 * A);
      return A >= DBL_EPSILON;
    }
    case QualityMetric_EdgeRatio:
      v = lmax / lmin;
      return lmin >= DBL_EPSILON;
    case QualityMetric_MaxAngle:
    case QualityMetric_MinAngle:
    {
      const double g[3] = {angle(P1 - P2, P0 - P2), angle(P2 - P0, P1 - P0),
                           angle(P0 - P1, P2 - P1)};
      v                 = type == QualityMetric_MaxAngle ? *std::max_element(g, g + 3)
                                                         : *std::min_element(g, g + 3);
      return lmin >= DBL_EPSILON;
    }
    case QualityMetric_ScaledJacobian:
    {
      algoMesh_Jacobian jacobian(m, nullptr, nullptr);
      gp_XY             p0, p1, p2;
      math_Matrix       J(1, 2, 1, 2);
      double            det = 0.0;
      return jacobian.Compute(i, 0, p0, p1, p2, J, det, v);
    }
    default:
      return false;
    }
  }

  Handle(Poly_Triangulation) m;
  std::map<std::array<int, 3>, std::vector<int>> neighbours;
};
} // namespace

TEST(algoMesh_Checker, AgreesWithBruteForceOnRandomMesh)
{
  // A jittered grid, closed into a fan-free sheet, with defects thrown in: duplicated and
  // permuted triangles, a non-manifold fin, a collapsed node and a collinear triple.
  std::mt19937                           rng(7);
  std::uniform_real_distribution<double> jitter(-0.3, 0.3);
  const int                              n = 12;
  std::vector<gp_Pnt>                    nodes;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i)
      nodes.emplace_back(i + jitter(rng), j + jitter(rng), jitter(rng));
  nodes[5] = nodes[6];                                         // coincident nodes
  nodes[20].SetXYZ((nodes[19].XYZ() + nodes[21].XYZ()) / 2.0); // collinear row
  std::vector<std::array<int, 3>> triangles;
  for (int j = 0; j + 1 < n; ++j)
    for (int i = 0; i + 1 < n; ++i)
    {
      const int a = j * n + i + 1, b = a + 1, c = a + n, d = c + 1;
      triangles.push_back({a, b, d});
      triangles.push_back({a, d, c});
    }
  triangles.push_back(triangles[10]);                                          // duplicate
  triangles.push_back({triangles[11][1], triangles[11][0], triangles[11][2]}); // flipped
  triangles.push_back({triangles[30][0], triangles[30][1], 100});              // fin
  triangles.push_back({19, 20, 21});                                           // flat
  const Handle(Poly_Triangulation) mesh = testmesh::Make(nodes, triangles);

  algoMesh_Checker checker(mesh);
  ASSERT_TRUE(checker.Perform());
  const BruteForce reference(mesh);
  for (int type = QualityMetric_Area; type <= QualityMetric_ScaledJacobian; ++type)
  {
    const auto metric = static_cast<algoMesh_QualityMetricType>(type);
    int        count  = 0;
    for (int i = 1; i <= mesh->NbTriangles(); ++i)
    {
      double     expected = 0.0;
      const bool has      = reference.value(metric, i, expected);
      ASSERT_EQ(has, HasValue(checker, metric, i)) << MetricName(metric) << " #" << i;
      if (has)
      {
        ++count;
        EXPECT_NEAR(expected, ValueOf(checker, metric, i), 1e-12 * std::max(1.0, expected))
            << MetricName(metric) << " #" << i;
      }
    }
    EXPECT_GT(count, 200) << MetricName(metric);
  }
}
