// Helpers shared by the construction and the optimisation of oriented bounding boxes.
#ifndef algoMesh_UtilsOBB_HeaderFile
#define algoMesh_UtilsOBB_HeaderFile

#include <algoMesh.hxx>

#include <Poly_Triangulation.hxx>
#include <gp_Ax3.hxx>
#include <gp_Pnt.hxx>

namespace quorin
{

//! Static helpers of the oriented-bounding-box algorithms.
class algoMesh_EXPORT algoMesh_UtilsOBB
{
public:
  //! The extremes of the mesh nodes in the local coordinates of a placement: for every node
  //! p, its coordinates ((p - O).X, (p - O).Y, (p - O).Z) with O the placement's origin and
  //! X, Y, Z its X, Y and main directions. O(n) in the number of nodes.
  //! @param[in]  placement  the local frame
  //! @param[in]  mesh       nodes as stored (a face location is not applied)
  //! @param[out] minCorner  component-wise minimum; (+DBL_MAX, +DBL_MAX, +DBL_MAX) when the
  //!                        mesh is null or has no nodes
  //! @param[out] maxCorner  component-wise maximum; (-DBL_MAX, -DBL_MAX, -DBL_MAX) likewise
  static void BuildCorners(const gp_Ax3& placement,
                           const Handle(Poly_Triangulation) & mesh,
                           gp_Pnt& minCorner,
                           gp_Pnt& maxCorner);
};

} // namespace quorin

#endif
