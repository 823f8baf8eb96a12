// Consistent orientation of the polygons of VTK poly data, as the consistency walk of
// vtkPolyDataNormals leaves them, done by the library so that it reports progress and can
// be stopped.
#ifndef algoMesh_PolygonOrientation_HeaderFile
#define algoMesh_PolygonOrientation_HeaderFile

#include <algoMesh.hxx>
#include <algoMesh_ProgressScope.hxx>

class vtkPolyData;

namespace quorin
{

class algoMesh_EXPORT algoMesh_PolygonOrientation
{
public:
  enum Status
  {
    Status_Oriented,  //!< the polygons agree with their parts' first polygons
    Status_Ambiguous, //!< left untouched: the filter's walk would depend on its visiting order
    Status_Cancelled  //!< left untouched: the run was cancelled
  };

  //! Reverses the polygons of `data` that disagree with the lowest-numbered polygon of
  //! their connected part (parts joined through shared edges), as vtkPolyDataNormals with
  //! consistency on does, so that the filter can then run with consistency off and give
  //! the same output. That result does not depend on the order of the walk only when
  //! every edge joins at most two polygons, each pair of polygons on an edge runs along
  //! it, and every part can be oriented; otherwise, and when `data` holds vertices, lines,
  //! strips, a polygon of fewer than three points, a point named twice in a polygon or a
  //! point it does not have, nothing is changed and the filter must walk itself.
  //! @param[in,out] data     poly data whose polygon array may be reversed in place (a
  //!                         shared array is copied first)
  //! @param[in]     progress progress and cancellation
  static Status Orient(vtkPolyData* data, const algoMesh_ProgressScope& progress);
};

} // namespace quorin

#endif
