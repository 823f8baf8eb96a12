#include <algoMesh_QualityMetric.hxx>

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

using namespace quorin;

namespace
{
template <int N>
void expectRow(
    const char* name, const double acc0, const double acc1, const double tot0, const double tot1)
{
  SCOPED_TRACE(name);
  EXPECT_STREQ(name, algoMesh_QualityMetric<N>::Name);
  EXPECT_STREQ(name, MetricName(static_cast<algoMesh_QualityMetricType>(N)).ToCString());
  EXPECT_EQ(acc0, algoMesh_QualityMetric<N>::RangeAcceptable[0]);
  EXPECT_EQ(acc1, algoMesh_QualityMetric<N>::RangeAcceptable[1]);
  EXPECT_EQ(tot0, algoMesh_QualityMetric<N>::RangeTotal[0]);
  EXPECT_EQ(tot1, algoMesh_QualityMetric<N>::RangeTotal[1]);
}
} // namespace

TEST(algoMesh_QualityMetric, TableHoldsPublishedNamesAndRanges)
{
  expectRow<0>("Area", 0, DBL_MAX, 0, DBL_MAX);
  expectRow<1>("Area ratio", 1, 1.3, 1, DBL_MAX);
  expectRow<2>("Aspect ratio", 1, 1.3, 1, DBL_MAX);
  expectRow<3>("Aspect frobenius", 1, 1.3, 1, DBL_MAX);
  expectRow<4>("Condition", 1, 1.3, 1, DBL_MAX);
  expectRow<5>("Edge ratio", 1, 1.3, 1, DBL_MAX);
  expectRow<6>("Maximum angle", 60, 90, 0, 180);
  expectRow<7>("Minimum angle", 30, 60, 0, 360); // 360, not 180
  expectRow<8>("Scaled jacobian", 0.5, 1.1547005383792515, -DBL_MAX, DBL_MAX);
  expectRow<9>("Deviation", -DBL_MAX, DBL_MAX, -DBL_MAX, DBL_MAX);
  expectRow<10>("Self-Intersection", 0, 1, 0, 1);
}

TEST(algoMesh_QualityMetric, ScaledJacobianBoundIsComputedValue)
{
  EXPECT_EQ(std::sqrt(3.0) * 2.0 / 3.0,
            algoMesh_QualityMetric<QualityMetric_ScaledJacobian>::RangeAcceptable[1]);
}

TEST(algoMesh_QualityMetric, MetricNameOutsideTableIsEmpty)
{
  EXPECT_STREQ("", MetricName(static_cast<algoMesh_QualityMetricType>(11)).ToCString());
  EXPECT_STREQ("", MetricName(static_cast<algoMesh_QualityMetricType>(-1)).ToCString());
  EXPECT_STREQ("Area", MetricName(QualityMetric_Area).ToCString());
  EXPECT_STREQ("Self-Intersection", MetricName(QualityMetric_SelfIntersection).ToCString());
}

TEST(algoMesh_QualityMetric, AllInstantiationsShareOneTypeName)
{
  Handle(Standard_Transient) area     = new algoMesh_QualityMetric<0>();
  Handle(Standard_Transient) jacobian = new algoMesh_QualityMetric<8>();
  EXPECT_STREQ("algoMesh_QualityMetric<t_metric_type>", area->DynamicType()->Name());
  EXPECT_EQ(area->DynamicType(), jacobian->DynamicType());
  EXPECT_EQ(STANDARD_TYPE(algoMesh_QualityMetric<10>), jacobian->DynamicType());
  EXPECT_EQ(STANDARD_TYPE(Standard_Transient), area->DynamicType()->Parent());
  EXPECT_TRUE(jacobian->IsKind("algoMesh_QualityMetric<t_metric_type>"));
}
