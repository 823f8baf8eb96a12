// The eleven named quality metrics of a triangle.
#ifndef algoMesh_QualityMetricType_HeaderFile
#define algoMesh_QualityMetricType_HeaderFile

namespace quorin
{

//! The underlying type is fixed so that any int is a valid value: callers may pass values
//! outside the table, which the checker and the quality records must refuse, not misread.
enum algoMesh_QualityMetricType : int
{
  QualityMetric_Area             = 0,
  QualityMetric_AreaRatio        = 1,
  QualityMetric_AspectRatio      = 2,
  QualityMetric_AspectFrobenius  = 3,
  QualityMetric_Condition        = 4,
  QualityMetric_EdgeRatio        = 5,
  QualityMetric_MaxAngle         = 6,
  QualityMetric_MinAngle         = 7,
  QualityMetric_ScaledJacobian   = 8,
  QualityMetric_Deviation        = 9,
  QualityMetric_SelfIntersection = 10
};

} // namespace quorin

#endif
