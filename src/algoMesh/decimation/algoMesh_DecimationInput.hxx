// Poly data that the quadric decimation filter takes as input, built from a kernel mesh.
#ifndef algoMesh_DecimationInput_HeaderFile
#define algoMesh_DecimationInput_HeaderFile

#include <algoMesh.hxx>

#include <Poly_Triangulation.hxx>

#include <vtkSmartPointer.h>

class vtkPolyData;

namespace quorin
{

//! Converts a kernel mesh to poly data with coincident nodes merged, in one pass and with the
//! very ids, cells and coordinates that converting it (algoMesh_Convert::ToVTK) and cleaning the
//! result with vtkCleanPolyData at zero tolerance give:
//! - points (double precision) are the distinct node positions in order of first use by the
//!   triangles; nodes used by no triangle are dropped; -0 and +0 are the same position;
//! - a triangle keeps its corners after merging, with a corner equal to the one before it
//!   (cyclically) dropped: three left make a triangle, two a line, one a vertex;
//! - vertices, then lines, then triangles, each in the order of their triangles.
//! The decimation's output depends on point and cell ids, so anything less exact would change
//! it. The cleaner finds coincident points with a point locator; here one hash lookup per node
//! does, about ten times faster.
//!
//! Cost: O(nodes + triangles) expected time; memory 4 bytes per node and 8 per table slot
//! besides the poly data.
class algoMesh_EXPORT algoMesh_DecimationInput
{
public:
  //! The merged poly data of `mesh`. Throws Standard_OutOfRange when a triangle names a node
  //! outside 1 .. NbNodes, as the conversion does.
  static vtkSmartPointer<vtkPolyData> Build(const Poly_Triangulation& mesh);
};

} // namespace quorin

#endif
