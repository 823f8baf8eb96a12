// The surface of a data model mesh (NASTRAN, MSH, VTK XML files) as one triangulation.
#ifndef algoMesh_ModelSurface_HeaderFile
#define algoMesh_ModelSurface_HeaderFile

#include <algoMesh.hxx>

#include <MorvDS_Mesh.hxx>
#include <Poly_Triangulation.hxx>

#include <vector>

namespace quorin
{

//! Takes the surface of a data model mesh: its triangles and quadrangles, or, when it has
//! no surface elements, the faces of its volumes (tetrahedra, pyramids, prisms,
//! hexahedra) that no other volume shares, each seen from outside by the usual corner
//! order of its volume. Polygons are cut into a fan from their first node.
//!
//! Cost: O(n log n) in the number of volume faces (they are matched by their sorted
//! nodes); linear in the surface elements otherwise.
class algoMesh_EXPORT algoMesh_ModelSurface
{
public:
  //! The surface as polygons of node IDs of the model, surface elements in the model's
  //! order, outer volume faces in the order of their sorted nodes.
  static std::vector<std::vector<int>> Polygons(const Handle(MorvDS_Mesh) & model);

  //! The surface as one triangulation. Its nodes are the model nodes the triangles use,
  //! numbered from 1 in order of first use; triangle k + 1 comes from the k-th fan cut.
  //! @return null for a null model, when no triangle results (no faces, no volumes, or
  //!         volumes whose faces are all shared), or when an element refers to a node the
  //!         model does not hold
  static Handle(Poly_Triangulation) Perform(const Handle(MorvDS_Mesh) & model);
};

} // namespace quorin

#endif
