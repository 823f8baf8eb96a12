// Connectivity-aware triangle mesh with look-ups by node triple and by link.
#ifndef algoMesh_CoherentTriangulation_HeaderFile
#define algoMesh_CoherentTriangulation_HeaderFile

#include <algoMesh.hxx>

#include <Poly_CoherentTriangulation.hxx>

namespace quorin
{

//! The kernel's coherent triangulation with two extra queries: the stored triangle made of
//! three given nodes (and its winding), and the two nodes of a link. All indices are
//! 0-based: node k is node k+1 of the Poly_Triangulation it was built from, triangle k is
//! triangle k+1. Counts below are slot counts: removed triangles keep their slot.
class algoMesh_EXPORT algoMesh_CoherentTriangulation : public Poly_CoherentTriangulation
{
public:
  //! Empty triangulation. A null allocator means the kernel's common allocator.
  algoMesh_CoherentTriangulation(
      const Handle(NCollection_BaseAllocator) & theAllocator = Handle(NCollection_BaseAllocator)());

  //! Coherent structure of a kernel triangulation: nodes (with normals and UV when
  //! present), triangles and triangle-to-triangle connectivity. Links are not computed;
  //! call ComputeLinks() before LinkNodes(). A null allocator means the common allocator.
  algoMesh_CoherentTriangulation(
      const Handle(Poly_Triangulation) & theTriangulation,
      const Handle(NCollection_BaseAllocator) & theAllocator = Handle(NCollection_BaseAllocator)());

  ~algoMesh_CoherentTriangulation() override;

  //! Finds the first triangle slot (in slot order) made of the nodes N1, N2, N3 in any
  //! rotation. Linear in the number of triangle slots; meant for occasional look-ups.
  //! @param[in]  theN1, theN2, theN3 0-based node indices.
  //! @param[out] theTriangle 0-based triangle slot; untouched when false is returned.
  //! @param[out] theSameOrientation true when the slot is a rotation of (N1, N2, N3),
  //!             false when it is a rotation of (N1, N3, N2); untouched when false.
  //! @return false when an index is at or above the number of node slots, or when no live
  //!         triangle has these nodes (negative indices never match).
  bool FindTriangle(const int theN1,
                    const int theN2,
                    const int theN3,
                    int&      theTriangle,
                    bool&     theSameOrientation);

  //! The two nodes of a link, in the link's stored order.
  //! @param[in]  theLink 0-based link index, non-negative.
  //! @param[out] theN1, theN2 0-based node indices; untouched when false is returned.
  //! @return false when the index is at or above the number of link slots (always the case
  //!         before ComputeLinks()).
  //! @throw Standard_OutOfRange for a negative link index.
  bool LinkNodes(const int theLink, int& theN1, int& theN2) const;
};

} // namespace quorin

#endif
