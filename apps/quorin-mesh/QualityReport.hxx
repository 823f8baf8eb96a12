// The quality report: one self-contained HTML page with an interactive 3D view of a mesh
// coloured by a chosen per-triangle field, its legend and acceptable range, the worst
// triangles (click to fly to them) and a histogram per field. The page carries its viewer
// library and its data, so it opens without network access.
#ifndef quorinMesh_QualityReport_HeaderFile
#define quorinMesh_QualityReport_HeaderFile

#include <algoMesh_QualityInfo.hxx>

#include <Poly_Triangulation.hxx>

#include <string>
#include <vector>

namespace cli
{

//! One field of the report.
struct ReportField
{
  enum Kind
  {
    Kind_Scalar, //!< a measure per triangle: colour ramp, histogram, worst triangles
    Kind_Groups  //!< group numbers from 1 (0: no group): one colour per group, groups listed
  };
  std::string         Name;
  std::string         Unit; //!< shown beside values; may be empty
  Kind                Type = Kind_Scalar;
  std::vector<double> Values;                //!< one per triangle; NaN where the triangle has none
  bool                HasRange      = false; //!< the acceptable range below is known
  double              Acceptable[2] = {0.0, 0.0}; //!< may hold +-DBL_MAX for an open side
};

//! Triangles above which the page shows a decimated view (vertex clustering); the
//! histograms and the worst triangles still come from every triangle, and the page says so.
constexpr int THE_REPORT_VIEW_LIMIT = 100000;

//! The fields of a checker run, one per metric in the order given, named after the metric,
//! with its unit and acceptable range; NaN where a triangle has no value.
std::vector<ReportField>
MetricReportFields(const Handle(quorin::algoMesh_QualityInfo) & info,
                   const std::vector<quorin::algoMesh_QualityMetricType>& types,
                   const int                                              nbTriangles);

//! True when this build carries the viewer library the report needs.
bool CanWriteReport();

//! Writes the report of `mesh` to `path` (written beside it, then renamed).
//! @param[in] title  the name the page shows, usually the input file
//! @param[in] fields one value per triangle each; the first is shown first
//! @return false with a one-line reason in `error` when the build has no viewer, a field
//!         has another length than the triangle count, or the file cannot be written
bool WriteQualityReport(const std::string& path,
                        const std::string& title,
                        const Handle(Poly_Triangulation) & mesh,
                        const std::vector<ReportField>& fields,
                        std::string&                    error);

} // namespace cli

#endif
