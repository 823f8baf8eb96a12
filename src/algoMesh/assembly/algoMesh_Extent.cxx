// Bounding-box diagonals: one pass over the nodes for a mesh, the kernel's box of the
// geometry for a shape.
#include <algoMesh_Extent.hxx>

#include <algoBase_Utils.hxx>

#include <Bnd_Box.hxx>

using namespace quorin;

double algoMesh_Extent::Diagonal(const Handle(Poly_Triangulation) & mesh)
{
  Bnd_Box box;
  if (mesh.IsNull() || !algoBase_Utils::Bounds(mesh, TopLoc_Location(), box) || box.IsVoid())
  {
    return 0.0;
  }
  return box.CornerMin().Distance(box.CornerMax());
}

double algoMesh_Extent::Diagonal(const TopoDS_Shape& shape, const bool isOptimal)
{
  Bnd_Box box;
  if (!algoBase_Utils::Bounds(shape, false, isOptimal, box) || box.IsVoid())
  {
    return 0.0;
  }
  return box.CornerMin().Distance(box.CornerMax());
}
