// Counting of the boundary edges of a triangulation.
#ifndef algoMesh_BoundaryEdges_HeaderFile
#define algoMesh_BoundaryEdges_HeaderFile

#include <algoMesh.hxx>

#include <ActAPI_ProgressEntry.hxx>

#include <Poly_Triangulation.hxx>

namespace quorin
{

//! Edges used by exactly one triangle (and by three or more), nodes compared by number
//! (not by position): 0 for a closed mesh. Cost O(n) time plus a sort of each node's few partners,
//! 4 bytes per node and 12 per triangle.
class algoMesh_EXPORT algoMesh_BoundaryEdges
{
public:
  //! Edges by their number of uses.
  struct Counts
  {
    int NbBoundary    = 0; //!< edges of one triangle
    int NbNonManifold = 0; //!< edges of three triangles or more
  };

  //! Number of boundary edges; 0 for a null mesh. Edges on node numbers outside the mesh
  //! are left out.
  static int Count(const Handle(Poly_Triangulation) & mesh);

  //! As Count(mesh), reporting progress to `progress` and stopping when it asks to: then
  //! "Operation cancelled." is sent and the answer is -1.
  static int Count(const Handle(Poly_Triangulation) & mesh, const ActAPI_ProgressEntry& progress);

  //! Boundary and non-manifold edges, with progress as Count(mesh, progress); all zero
  //! for a null mesh.
  //! @return false when cancelled (the counts are then zero)
  static bool CountByUse(const Handle(Poly_Triangulation) & mesh,
                         const ActAPI_ProgressEntry& progress,
                         Counts&                     counts);
};

} // namespace quorin

#endif
