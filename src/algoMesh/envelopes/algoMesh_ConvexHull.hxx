// Convex hull of a 3-D point cloud as a closed triangle mesh whose nodes are exactly the
// hull's vertices.
//
//   Handle(Poly_Triangulation) hull;
//   if (quorin::algoMesh_ConvexHull(progress, nullptr).Perform(points, hull))
//     ... hull->NbNodes() corners, hull->NbTriangles() outward triangles ...
#ifndef algoMesh_ConvexHull_HeaderFile
#define algoMesh_ConvexHull_HeaderFile

#include <algoMesh.hxx>

#include <ActAPI_IAlgorithm.hxx>

#include <NCollection_Array1.hxx>
#include <Poly_Triangulation.hxx>
#include <gp_Pnt.hxx>

#include <vector>

namespace quorin
{

//! Incremental quickhull with a relative tolerance of 1e-9 of the cloud's extent: points
//! closer than that to a face of the hull are taken as inside. The result's triangles are
//! counter-clockwise seen from outside (right-hand normals point outward) and every edge is
//! shared by exactly two triangles. Coplanar faces are not merged: a point lying on a face
//! of the final hull is dropped when it is met after that face exists, but stays as a flat
//! vertex when the input order made it a corner of an intermediate hull. Each Perform is
//! independent; the object can be reused.
class algoMesh_EXPORT algoMesh_ConvexHull : public ActAPI_IAlgorithm
{
  DEFINE_STANDARD_RTTIEXT(algoMesh_ConvexHull, ActAPI_IAlgorithm)
public:
  //! @param[in] progress  receives the message of a refused non-finite cloud; may be empty
  //! @param[in] plotter   imaging sink, only carried; may be empty
  algoMesh_ConvexHull(ActAPI_ProgressEntry progress = ActAPI_ProgressEntry(),
                      ActAPI_PlotterEntry  plotter  = ActAPI_PlotterEntry());

  //! Computes the hull of the points x0, y0, z0, x1, ... (a trailing remainder of fewer
  //! than three values is ignored). The coordinates are read in place, not copied.
  //! @param[in]  coords  the cloud, model units
  //! @param[out] hull    replaced by a new triangulation on success, untouched otherwise
  //! @return false, without a message, for fewer than 4 points and for clouds that are
  //!         coincident, collinear or coplanar: points closer than about 3.2e-4 to the
  //!         first point are ignored by that test, and a point counts as off a line or
  //!         plane when it is 1e-7 away from it. False with an error message when a
  //!         coordinate is infinite or NaN. A point whose horizon cannot be closed into a
  //!         loop (numerical trouble on nearly degenerate input) is left out of the hull and
  //!         "Failed to solve horizon edge." is written to the standard error stream; the
  //!         call still succeeds.
  bool Perform(const std::vector<double>& coords, Handle(Poly_Triangulation) & hull);

  //! As the coordinate form, for points.
  //! @return false for fewer than 4 points; otherwise as the coordinate form
  bool Perform(const std::vector<gp_Pnt>& points, Handle(Poly_Triangulation) & hull);

  //! As the coordinate form, for the points at indices 1 ... Length() of a 1-based array;
  //! an array with another lower bound raises Standard_OutOfRange.
  //! @return false for fewer than 4 points; otherwise as the coordinate form
  bool Perform(const NCollection_Array1<gp_Pnt>& points, Handle(Poly_Triangulation) & hull);

protected:
  //! False when the cloud has no extent in some direction: it is coincident, collinear or
  //! coplanar by a test with absolute tolerances (1e-7 on squared distances from the first
  //! point, 1e-3 rad on angles, 1e-7 on distances from a plane).
  static bool isThreeDimensional(const double* coords, const size_t nbPoints);

  //! Index of the first point with an infinite or NaN coordinate, or nbPoints.
  static size_t findNonFinite(const double* coords, const size_t nbPoints);
};

} // namespace quorin

#endif
