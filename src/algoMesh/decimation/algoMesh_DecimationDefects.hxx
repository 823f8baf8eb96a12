// What a decimation may break in a mesh: counted before and after, so that a report shows
// whether the result kept the input's boundary, manifoldness and freedom from crossings.
#ifndef algoMesh_DecimationDefects_HeaderFile
#define algoMesh_DecimationDefects_HeaderFile

#include <algoMesh.hxx>

#include <ActAPI_ProgressEntry.hxx>

#include <Poly_Triangulation.hxx>

#include <vector>

namespace quorin
{

//! Edges by use, nodes compared by number, and pairs of triangles that cross each other
//! (sharing a node or an edge does not count). Cost: O(n) for the edges, plus the
//! bounding-volume search of the crossings, O(n log n) for well-spread triangles.
class algoMesh_EXPORT algoMesh_DecimationDefects
{
public:
  int    NbBoundaryEdges    = 0; //!< edges of one triangle
  int    NbNonManifoldEdges = 0; //!< edges of three triangles or more
  size_t NbCrossingPairs    = 0; //!< pairs of triangles that intersect

  //! Counts the defects of `mesh`; all zero for a null mesh.
  static algoMesh_DecimationDefects Count(const Handle(Poly_Triangulation) & mesh);

  //! As Count(mesh), reporting progress to `progress` and stopping when it asks to: then
  //! "Operation cancelled." is sent and the answer is false. `crossingPairs`, when given,
  //! receives the crossing pairs as consecutive triangle numbers (a, b), a < b, 1-based.
  static bool Count(const Handle(Poly_Triangulation) & mesh,
                    const ActAPI_ProgressEntry& progress,
                    algoMesh_DecimationDefects& defects,
                    std::vector<int>*           crossingPairs = nullptr);
};

} // namespace quorin

#endif
