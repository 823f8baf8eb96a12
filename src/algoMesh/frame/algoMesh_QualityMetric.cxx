#include <algoMesh_QualityMetric.hxx>

#include <cfloat>
#include <cmath>

namespace
{
struct MetricRow
{
  const char* name;
  double      acceptable[2];
  double      total[2];
};

// Constant-initialised so that the static members below, whose initialisation order across
// instantiations is unspecified, can read it safely.
constexpr MetricRow THE_TABLE[] = {
    {"Area", {0.0, DBL_MAX}, {0.0, DBL_MAX}},
    {"Area ratio", {1.0, 1.3}, {1.0, DBL_MAX}},
    {"Aspect ratio", {1.0, 1.3}, {1.0, DBL_MAX}},
    {"Aspect frobenius", {1.0, 1.3}, {1.0, DBL_MAX}},
    {"Condition", {1.0, 1.3}, {1.0, DBL_MAX}},
    {"Edge ratio", {1.0, 1.3}, {1.0, DBL_MAX}},
    {"Maximum angle", {60.0, 90.0}, {0.0, 180.0}},
    {"Minimum angle", {30.0, 60.0}, {0.0, 360.0}},
    {"Scaled jacobian", {0.5, 0.0 /* computed at load, see below */}, {-DBL_MAX, DBL_MAX}},
    {"Deviation", {-DBL_MAX, DBL_MAX}, {-DBL_MAX, DBL_MAX}},
    {"Self-Intersection", {0.0, 1.0}, {0.0, 1.0}},
};
} // namespace

namespace quorin
{

template <int t_metric_type>
const char* const algoMesh_QualityMetric<t_metric_type>::Name = THE_TABLE[t_metric_type].name;

// The upper acceptable bound of the scaled Jacobian, 2/sqrt(3), is computed when the
// library loads.
template <int t_metric_type>
double algoMesh_QualityMetric<t_metric_type>::RangeAcceptable[2] = {
    THE_TABLE[t_metric_type].acceptable[0], t_metric_type == quorin::QualityMetric_ScaledJacobian
                                                ? std::sqrt(3.0) * 2.0 / 3.0
                                                : THE_TABLE[t_metric_type].acceptable[1]};

template <int t_metric_type>
double algoMesh_QualityMetric<t_metric_type>::RangeTotal[2] = {THE_TABLE[t_metric_type].total[0],
                                                               THE_TABLE[t_metric_type].total[1]};

template class algoMesh_QualityMetric<0>;
template class algoMesh_QualityMetric<1>;
template class algoMesh_QualityMetric<2>;
template class algoMesh_QualityMetric<3>;
template class algoMesh_QualityMetric<4>;
template class algoMesh_QualityMetric<5>;
template class algoMesh_QualityMetric<6>;
template class algoMesh_QualityMetric<7>;
template class algoMesh_QualityMetric<8>;
template class algoMesh_QualityMetric<9>;
template class algoMesh_QualityMetric<10>;

const Handle(Standard_Type) & algoMesh_QualityMetricTypeDescriptor()
{
  static const Handle(Standard_Type) THE_TYPE = Standard_Type::Register(
      typeid(algoMesh_QualityMetric<0>).name(), algoMesh_QualityMetric<0>::get_type_name(),
      sizeof(algoMesh_QualityMetric<0>), STANDARD_TYPE(Standard_Transient));
  return THE_TYPE;
}

TCollection_AsciiString MetricName(const algoMesh_QualityMetricType type)
{
  const int value = static_cast<int>(type);
  if (value < 0 || value > 10)
  {
    return TCollection_AsciiString();
  }
  return THE_TABLE[value].name;
}

} // namespace quorin
