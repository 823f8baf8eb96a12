// Per-metric summary of a checker run, printed as a table by the demo and by check.
#ifndef quorinMesh_QualityTable_HeaderFile
#define quorinMesh_QualityTable_HeaderFile

#include <algoMesh_QualityInfo.hxx>

#include <ostream>
#include <string>
#include <vector>

namespace cli
{

//! Summary of the values of one metric.
struct MetricSummary
{
  quorin::algoMesh_QualityMetricType Type;
  int                                NbValues = 0; //!< triangles that produced a value
  double                             Min      = 0.0;
  double                             Mean     = 0.0;
  double                             Max      = 0.0;
  double AcceptableShare = 0.0; //!< share of the values inside RangeAcceptable, 0..1
};

//! The metrics the checker computes from a triangle alone, in table order.
std::vector<quorin::algoMesh_QualityMetricType> TriangleMetrics();

//! Finds a metric by name, ignoring case, blanks and hyphens: its display name
//! ("Aspect ratio", "aspect-ratio") or its enumerator ("AspectRatio", "MaxAngle").
//! Only the metrics of TriangleMetrics() are found.
bool FindMetric(const std::string& name, quorin::algoMesh_QualityMetricType& type);

//! The names FindMetric accepts, one per metric, for help texts.
std::string MetricNames();

//! The published acceptable range of a metric.
void AcceptableRange(const quorin::algoMesh_QualityMetricType type, double range[2]);

//! Summarises the field of one metric; NbValues is 0 when the metric produced no value.
MetricSummary Summarize(const Handle(quorin::algoMesh_QualityInfo) & info,
                        const quorin::algoMesh_QualityMetricType type);

//! Prints one row per metric: values, min, mean, max, the share inside the acceptable
//! range, and that range.
void PrintQualityTable(std::ostream& out,
                       const Handle(quorin::algoMesh_QualityInfo) & info,
                       const std::vector<quorin::algoMesh_QualityMetricType>& types);

} // namespace cli

#endif
