// A 1-based view of a kernel mesh with its edges, as the external volume meshers read it.
#ifndef algoMesh_MgSurfAdaptor_HeaderFile
#define algoMesh_MgSurfAdaptor_HeaderFile

#include <algoMesh_CoherentTriangulation.hxx>

#include <Poly_Triangulation.hxx>
#include <Standard_Type.hxx>
#include <gp_Pnt.hxx>

namespace quorin
{

//! Vertices, triangles and edges (links) of a triangulation, all numbered from 1, over a
//! coherent triangulation built at construction (links computed). The counts are those of
//! the coherent structure: nodes, triangles and links it holds.
class algoMesh_EXPORT algoMesh_MgSurfAdaptor : public Standard_Transient
{
  DEFINE_STANDARD_RTTIEXT(algoMesh_MgSurfAdaptor, Standard_Transient)
public:
  //! @param[in] mesh the surface mesh, 1-based; a null handle gives an empty view.
  algoMesh_MgSurfAdaptor(const Handle(Poly_Triangulation) & mesh);

  int GetNumVertices() const;
  int GetNumTriangles() const;
  int GetNumEdges() const;

  //! Coordinates of vertex `index` (1 .. GetNumVertices()); always true.
  bool GetVertex(const int index, gp_Pnt& point) const;

  //! The three 1-based vertices of triangle `index` (1 .. GetNumTriangles()).
  //! @return false for index 0 (outputs untouched).
  bool GetTriangle(const int index, int& a, int& b, int& c) const;

  //! The two 1-based vertices of edge `index` (1 .. GetNumEdges()).
  //! @return false when there is no such edge (outputs untouched).
  bool GetEdge(const int index, int& a, int& b) const;

  //! The triangle on the 1-based vertices a, b, c in any rotation.
  //! @param[out] index        its 1-based number
  //! @param[out] sameOriented true when it runs a, b, c; false when it runs a, c, b
  //! @return false when no triangle has these vertices (outputs untouched).
  bool FindTriangle(const int a, const int b, const int c, int& index, bool& sameOriented);

  const Handle(Poly_Triangulation) & Mesh() const { return m_mesh; }
  const Handle(algoMesh_CoherentTriangulation) & Coherent() const { return m_coherent; }

private:
  Handle(Poly_Triangulation) m_mesh;
  Handle(algoMesh_CoherentTriangulation) m_coherent;
};

} // namespace quorin

#endif
