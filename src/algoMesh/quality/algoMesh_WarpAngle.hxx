// Warp angle of a quadrilateral: how far its four corners leave the mean plane, as an
// angle in degrees.
#ifndef algoMesh_WarpAngle_HeaderFile
#define algoMesh_WarpAngle_HeaderFile

#include <algoMesh.hxx>

#include <ActAPI_IAlgorithm.hxx>

#include <gp_Pnt.hxx>

namespace quorin
{

class algoMesh_EXPORT algoMesh_WarpAngle : public ActAPI_IAlgorithm
{
  DEFINE_STANDARD_RTTIEXT(algoMesh_WarpAngle, ActAPI_IAlgorithm)
public:
  //! @param[in] progress  not used by the measure, kept for the host
  //! @param[in] plotter   not used by the measure, kept for the host
  algoMesh_WarpAngle(ActAPI_ProgressEntry progress = ActAPI_ProgressEntry(),
                     ActAPI_PlotterEntry  plotter  = ActAPI_PlotterEntry());

  virtual ~algoMesh_WarpAngle() = default;

  //! Warp angle of the quadrilateral P1 P2 P3 P4 (corners in order around it): the arcsine
  //! of the mean distance of the corners from the plane through the centre of the edge
  //! midpoints, divided by the shortest half edge. 0 for a planar quadrilateral.
  //! @param[out] angle  degrees, in [0, 90]
  //! @return false, leaving `angle` unchanged, when a midpoint lies closer than 1e-4 model
  //!         units to the centre, when a half edge is shorter than the machine epsilon, or
  //!         when a coordinate is NaN. Raises Standard_ConstructionError when the two
  //!         midpoint directions are parallel.
  bool Compute(
      const gp_Pnt& P1, const gp_Pnt& P2, const gp_Pnt& P3, const gp_Pnt& P4, double& angle) const;
};

} // namespace quorin

#endif
