// Triangulates a simple polygon in space.
//
// The polygon is projected onto its best-fit plane, whose normal is Newell's vector (the
// sum of the edge cross products, robust for non-planar and concave polygons), and the
// projected outline is cut by ear clipping: a convex corner whose triangle holds no other
// corner is cut off, repeatedly. A polygon of n corners gives n - 2 triangles, in the
// orientation of the input. Triangles pass through unchanged (fast path). Nearly
// degenerate outlines (collinear runs, tiny spikes) are finished by cutting the least
// reflex corner when no clean ear is left. Polygons with fewer than three corners,
// non-finite coordinates or a vanishing Newell vector (all corners collinear) are
// rejected. Cost: O(n^2) for n corners, O(1) for a triangle.
#ifndef algoBase_TriangulatePolygon3d_HeaderFile
#define algoBase_TriangulatePolygon3d_HeaderFile

#include <algoBase_Export.hxx>

#include <ActAPI_IAlgorithm.hxx>

#include <gp_XYZ.hxx>

#include <vector>

class algoBase_EXPORT algoBase_TriangulatePolygon3d : public ActAPI_IAlgorithm
{
  DEFINE_STANDARD_RTTIEXT(algoBase_TriangulatePolygon3d, ActAPI_IAlgorithm)
public:
  //! Both entries may be empty; nothing is reported either way.
  algoBase_TriangulatePolygon3d(ActAPI_ProgressEntry progress = ActAPI_ProgressEntry(),
                                ActAPI_PlotterEntry  plotter  = ActAPI_PlotterEntry());

  //! Appends the next corner of the polygon (in polygon order).
  void AddPoint(const gp_XYZ& point) { m_points.push_back(point); }

  //! Replaces the polygon by the given corners.
  void SetPoints(const std::vector<gp_XYZ>& points) { m_points = points; }

  //! Forgets the polygon and the result, keeping the memory for the next polygon.
  void Clear();

  //! Triangulates the polygon given so far.
  //! @return false when it cannot be triangulated (see the file comment); the result is
  //! then empty.
  bool Perform();

  //! Outcome of the last Perform.
  bool IsDone() const { return m_isDone; }

  //! Number of triangles of the result (a third of the corner list).
  int NbTriangles() const { return static_cast<int>(m_corners.size() / 3); }

  //! Corners of triangle k (0-based, k < NbTriangles()) as 0-based polygon corners.
  void GetTriangleNodes(const int k, int& a, int& b, int& c) const
  {
    a = m_corners[3 * k];
    b = m_corners[3 * k + 1];
    c = m_corners[3 * k + 2];
  }

private:
  bool clipEars(const double u[3], const double v[3]);

private:
  std::vector<gp_XYZ> m_points;
  std::vector<int>    m_corners; //!< three 0-based polygon corners per triangle
  bool                m_isDone = false;
  // Working arrays of the ear clipping, kept between polygons to avoid reallocation.
  std::vector<double> m_x, m_y;
  std::vector<int>    m_prev, m_next;
};

DEFINE_STANDARD_HANDLE(algoBase_TriangulatePolygon3d, ActAPI_IAlgorithm)

#endif
