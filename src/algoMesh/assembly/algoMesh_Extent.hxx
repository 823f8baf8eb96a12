// The size of a mesh or a shape as the diagonal of its bounding box, from which automatic
// deflections, voxel sizes and hole sizes are taken.
#ifndef algoMesh_Extent_HeaderFile
#define algoMesh_Extent_HeaderFile

#include <algoMesh.hxx>

#include <Poly_Triangulation.hxx>
#include <TopoDS_Shape.hxx>

namespace quorin
{

//! Diagonals of axis-aligned bounding boxes, in model units.
class algoMesh_EXPORT algoMesh_Extent
{
public:
  //! Diagonal of the box of the nodes; 0 for a null or node-less mesh.
  static double Diagonal(const Handle(Poly_Triangulation) & mesh);

  //! Diagonal of the box of the shape's geometry (triangulations ignored).
  //! @param[in] isOptimal  a tight box of the geometry (slower) instead of the box of the
  //!                       surfaces' control points and tolerances
  //! @return 0 for a null shape or a void box
  static double Diagonal(const TopoDS_Shape& shape, const bool isOptimal = false);
};

} // namespace quorin

#endif
