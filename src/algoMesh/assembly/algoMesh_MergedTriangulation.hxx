// The face triangulations of a shape gathered side by side into one triangulation.
#ifndef algoMesh_MergedTriangulation_HeaderFile
#define algoMesh_MergedTriangulation_HeaderFile

#include <algoMesh.hxx>

#include <NCollection_DataMap.hxx>
#include <NCollection_Shared.hxx>
#include <NCollection_Vector.hxx>
#include <Poly_Triangulation.hxx>
#include <TopTools_ShapeMapHasher.hxx>
#include <TopoDS_Face.hxx>
#include <TopoDS_Shape.hxx>

namespace quorin
{

//! Gathers the face triangulations of a shape into one Poly_Triangulation in global
//! coordinates, with per-node normals (always) and UV nodes (when every contributing face
//! has them). Nodes are not shared between faces: the result is a set of face patches
//! placed side by side. Reversed faces contribute flipped triangles and negated normals.
//!
//! Face triangulations without normals get normals computed into them (surface normals at
//! the UV nodes, or averaged triangle normals): Build modifies the input's face
//! triangulations in this way. Cost: O(N + T) over all faces, plus the surface evaluations.
class algoMesh_EXPORT algoMesh_MergedTriangulation
{
public:
  //! Face to the 1-based numbers of the merged triangles that came from it, increasing.
  //! Faces are told apart by underlying face and location; orientation is ignored.
  typedef NCollection_Shared<
      NCollection_DataMap<TopoDS_Face, NCollection_Vector<int>, TopTools_ShapeMapHasher>>
      FaceTrianglesMap;

public:
  //! Empty: null shape, null result, null map.
  algoMesh_MergedTriangulation() = default;

  //! Builds at once from the shape.
  explicit algoMesh_MergedTriangulation(const TopoDS_Shape& theShape);

  //! Starts over: stores the shape, drops the previous result, makes a new empty map, then
  //! gathers every face occurrence met by a face explorer (faces without triangulation
  //! contribute nothing and get no map entry). The result stays null when no face is
  //! triangulated.
  //! @throw Standard_ConstructionError when a face triangulation holds a zero-length
  //!        normal; the result is then partly filled.
  void Build(const TopoDS_Shape& theShape);

  //! Merged triangulation, or null before Build and when the shape has no triangulated
  //! face. Its deflection is left at the kernel's default.
  const Handle(Poly_Triangulation) & GetTriangulation() const { return myResult; }

  //! Triangles of each face; null before the first Build.
  const Handle(FaceTrianglesMap) & GetFaceTriangles() const { return myFaceTriangles; }

  //! The shape of the last Build.
  const TopoDS_Shape& GetShape() const { return myShape; }

protected:
  //! Gives the face triangulation normals when it has none; see the class comment.
  void computeNormals(const TopoDS_Face& theFace, const Handle(Poly_Triangulation) & theMesh);

  //! Appends one face's nodes, normals, UV nodes and triangles to the result.
  void appendFace(const TopoDS_Face& theFace,
                  const Handle(Poly_Triangulation) & theMesh,
                  const TopLoc_Location& theLocation,
                  const bool             theWithUV,
                  int&                   theNextNode,
                  int&                   theNextTriangle);

private:
  TopoDS_Shape myShape;
  Handle(Poly_Triangulation) myResult;
  Handle(FaceTrianglesMap) myFaceTriangles;
};

} // namespace quorin

#endif
