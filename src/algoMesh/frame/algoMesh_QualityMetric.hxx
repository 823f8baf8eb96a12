// Published table of the quality metrics: display name, acceptable range and total range
// of each metric, as static data of one class per metric. Hosts colour elements by
// comparing values with RangeAcceptable; no computation of the library reads the ranges.
//
//   quorin::algoMesh_QualityMetric<quorin::QualityMetric_MinAngle>::RangeAcceptable[0] // 30
#ifndef algoMesh_QualityMetric_HeaderFile
#define algoMesh_QualityMetric_HeaderFile

#include <algoMesh.hxx>
#include <algoMesh_QualityMetricType.hxx>

#include <Standard_Transient.hxx>
#include <Standard_Type.hxx>
#include <TCollection_AsciiString.hxx>

namespace quorin
{

//! Type descriptor shared by every instantiation of algoMesh_QualityMetric, registered
//! once under "algoMesh_QualityMetric<t_metric_type>" with parent Standard_Transient.
algoMesh_EXPORT const Handle(Standard_Type) & algoMesh_QualityMetricTypeDescriptor();

template <int t_metric_type>
class algoMesh_EXPORT algoMesh_QualityMetric : public Standard_Transient
{
public:
  static const char* const Name;               //!< display name, e.g. "Aspect ratio"
  static double            RangeAcceptable[2]; //!< [min, max] of good values
  static double            RangeTotal[2];      //!< [min, max] of possible values

public:
  // Written by hand: the kernel's inline RTTI macro does not compile for class templates
  // with GCC, and all instantiations share one descriptor.
  typedef Standard_Transient base_type;
  static const char*         get_type_name() { return "algoMesh_QualityMetric<t_metric_type>"; }
  static const Handle(Standard_Type) & get_type_descriptor()
  {
    return algoMesh_QualityMetricTypeDescriptor();
  }
  const Handle(Standard_Type) & DynamicType() const override { return get_type_descriptor(); }
};

extern template class algoMesh_QualityMetric<0>;
extern template class algoMesh_QualityMetric<1>;
extern template class algoMesh_QualityMetric<2>;
extern template class algoMesh_QualityMetric<3>;
extern template class algoMesh_QualityMetric<4>;
extern template class algoMesh_QualityMetric<5>;
extern template class algoMesh_QualityMetric<6>;
extern template class algoMesh_QualityMetric<7>;
extern template class algoMesh_QualityMetric<8>;
extern template class algoMesh_QualityMetric<9>;
extern template class algoMesh_QualityMetric<10>;

//! Display name of a metric value 0..10; the empty text for any other value.
algoMesh_EXPORT TCollection_AsciiString MetricName(const algoMesh_QualityMetricType type);

} // namespace quorin

#endif
