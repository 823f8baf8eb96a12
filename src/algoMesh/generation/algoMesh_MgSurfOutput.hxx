// Collector of a surface mesh produced by an external surface mesher, as a kernel mesh.
#ifndef algoMesh_MgSurfOutput_HeaderFile
#define algoMesh_MgSurfOutput_HeaderFile

#include <algoMesh.hxx>

#include <NCollection_DataMap.hxx>
#include <Poly_Triangulation.hxx>
#include <Standard_Type.hxx>

namespace quorin
{

//! A triangulation sized at construction that a surface mesher fills node by node and
//! element by element; quadrangles are stored as two triangles each. Element tags (for
//! instance the face each triangle came from) are kept beside it.
class algoMesh_EXPORT algoMesh_MgSurfOutput : public Standard_Transient
{
  DEFINE_STANDARD_RTTIEXT(algoMesh_MgSurfOutput, Standard_Transient)
public:
  //! A triangulation of nbNodes nodes and nbTriangles + 2 * nbQuadrangles triangles, no UV
  //! nodes, every node at the origin and every triangle (0, 0, 0) until set. Negative
  //! counts count as 0; all-zero counts give an empty triangulation.
  algoMesh_MgSurfOutput(const int nbNodes, const int nbTriangles, const int nbQuadrangles);

  //! Sets node `id` (1 .. nbNodes). @return false when out of range.
  bool SetNode(const int id, const double x, const double y, const double z);

  //! Sets triangle `index` (1-based slot) to nodes a, b, c and binds the tag when it is at
  //! least 1. @return false when the slot is out of range.
  bool SetTriangle(const int index, const int a, const int b, const int c, const int tag = 0);

  //! Stores quadrangle a, b, c, d as triangles (a, b, c) in slot `index` and (a, c, d) in
  //! slot index + 1, both tagged. @return false when a slot is out of range.
  bool SetQuadrangle(
      const int index, const int a, const int b, const int c, const int d, const int tag = 0);

  //! The collected mesh.
  const Handle(Poly_Triangulation) & GetResult() const { return m_mesh; }

  //! Triangle slot to tag.
  const NCollection_DataMap<int, int>& GetTags() const { return m_tags; }

private:
  Handle(Poly_Triangulation) m_mesh;
  NCollection_DataMap<int, int> m_tags;
};

} // namespace quorin

#endif
