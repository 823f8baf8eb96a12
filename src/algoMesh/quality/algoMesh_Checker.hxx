// Grades every triangle of a mesh by quality metrics and delivers one element field per
// metric, mapping each triangle index to its value.
//
//   quorin::algoMesh_Checker checker(mesh, progress, nullptr);
//   if (checker.Perform(quorin::QualityMetric_AspectRatio))
//     Handle(quorin::algoMesh_Field) field =
//       checker.QualityInfo()->Field(quorin::QualityMetric_AspectRatio);
#ifndef algoMesh_Checker_HeaderFile
#define algoMesh_Checker_HeaderFile

#include <algoMesh.hxx>
#include <algoMesh_QualityInfo.hxx>
#include <algoMesh_QualityMetricType.hxx>

#include <ActAPI_IAlgorithm.hxx>

#include <Poly_Triangulation.hxx>

#include <vector>

namespace quorin
{

class algoMesh_EXPORT algoMesh_Checker : public ActAPI_IAlgorithm
{
  DEFINE_STANDARD_RTTIEXT(algoMesh_Checker, ActAPI_IAlgorithm)
public:
  //! @param[in] mesh      triangulation to grade; kept by handle, never modified
  //! @param[in] progress  receives the progress, the failure message, and is polled for
  //!                      cancellation; may be empty
  //! @param[in] plotter   imaging sink; may be empty
  algoMesh_Checker(const Handle(Poly_Triangulation) & mesh,
                   ActAPI_ProgressEntry progress = ActAPI_ProgressEntry(),
                   ActAPI_PlotterEntry  plotter  = ActAPI_PlotterEntry());

  //! Evaluates all metric types 0..10 in increasing order (deviation and self-intersection
  //! produce no values here).
  //! @return as the list form
  bool Perform();

  //! Evaluates one metric type.
  //! @return as the list form
  bool Perform(const algoMesh_QualityMetricType type);

  //! Evaluates the listed metric types, triangle by triangle: all listed types of triangle
  //! 1, then of triangle 2, and so on. A type listed twice is evaluated twice. Types above 8
  //! (deviation, self-intersection, unknown values) produce nothing and no message.
  //! Degenerate triangles get no value for the metrics that refuse them. Each run starts a
  //! new result (see QualityInfo()).
  //! @return false when the mesh is null (an error message is sent; the result is empty) or
  //!         when cancellation was requested (polled once per triangle and listed type; the
  //!         result keeps the values stored so far); true otherwise. A node index outside
  //!         the mesh raises Standard_OutOfRange.
  bool Perform(const std::vector<algoMesh_QualityMetricType>& types);

  //! The result of the last run: one field per metric for which at least one triangle
  //! produced a value, named after the metric, per element, one component, owned by
  //! TDataXtd_Triangulation::GetID(), keyed by the 1-based triangle index. Null before the
  //! first run.
  const Handle(algoMesh_QualityInfo) & QualityInfo() const { return m_info; }

protected:
  // Each metric answers false, leaving `value` unchanged, when the triangle is too
  // degenerate for it (an area or edge length below the machine epsilon).

  //! Area, model units squared; true also for a degenerate triangle (area 0).
  bool area(const Poly_Triangle& t, double& value) const;

  //! Largest ratio, >= 1, between the triangle's area and the area of a triangle sharing an
  //! edge with it (neighbours of zero area are ignored); 1 without neighbours.
  bool areaRatio(const Poly_Triangle& t, double& value) const;

  //! Perimeter times longest edge over 4 sqrt(3) area; 1 for the equilateral triangle.
  bool aspectRatio(const Poly_Triangle& t, double& value) const;

  //! Sum of squared edge lengths over 4 sqrt(3) area; 1 for the equilateral triangle.
  bool aspectFrobenius(const Poly_Triangle& t, double& value) const;

  //! Condition number of the corner-0 edge matrix; 1 for the equilateral triangle.
  bool condition(const Poly_Triangle& t, double& value) const;

  //! Longest over shortest edge, >= 1.
  bool edgeRatio(const Poly_Triangle& t, double& value) const;

  //! Largest interior angle, degrees.
  bool maxAngle(const Poly_Triangle& t, double& value) const;

  //! Smallest interior angle, degrees.
  bool minAngle(const Poly_Triangle& t, double& value) const;

  //! Scaled Jacobian at corner 0, in [0, 1]; 1 for the equilateral triangle.
  bool scaledJacobian(const Poly_Triangle& t, double& value) const;

  //! Evaluates the metric function of a type 0..8; false for any other type.
  bool checkMetricForElement(const algoMesh_QualityMetricType type,
                             const Poly_Triangle&             t,
                             double&                          value) const;

private:
  struct Shape;

  //! Points, edge lengths and area of a triangle, computed once for all its metrics.
  //! Points of `t` and, when asked, its edge lengths and its area.
  void shapeOf(const Poly_Triangle& t,
               Shape&               shape,
               bool                 withLengths = true,
               bool                 withArea    = true) const;

  //! The metric of a type 0..8 from a triangle's shape.
  bool metricOf(const algoMesh_QualityMetricType type,
                const Poly_Triangle&             t,
                const Shape&                     shape,
                double&                          value) const;

  //! Area ratio from the shape; builds the edge-neighbour structure on first use.
  bool areaRatioOf(const Poly_Triangle& t, const Shape& shape, double& value) const;

  //! Triangles incident to every node, for the edge-neighbour queries of the area ratio.
  void buildEdgeNeighbours() const;

  //! The evaluation loop of Perform, triangle-major.
  bool evaluateTriangles(const std::vector<algoMesh_QualityMetricType>& types);

private:
  Handle(Poly_Triangulation) m_mesh;
  Handle(algoMesh_QualityInfo) m_info;

  // Edge neighbours, built on the first area-ratio evaluation and kept for the life of the
  // checker: the 1-based indices of the triangles using node n are
  // m_nodeTriangles[m_nodeOffsets[n - 1] .. m_nodeOffsets[n] - 1], in increasing order.
  // Two triangles are edge neighbours when one uses both ends of an edge of the other.
  mutable std::vector<int> m_nodeOffsets;
  mutable std::vector<int> m_nodeTriangles;
  // Area of every triangle, built with the table: each one is a neighbour of about three
  // others. Negative for a triangle naming a node out of range (computed when met, so that
  // it raises as it would without the table).
  mutable std::vector<double> m_areas;
};

} // namespace quorin

#endif
