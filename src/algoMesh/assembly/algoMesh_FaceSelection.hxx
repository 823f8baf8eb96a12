// Selection of the faces of a shape that an algorithm works on.
#ifndef algoMesh_FaceSelection_HeaderFile
#define algoMesh_FaceSelection_HeaderFile

#include <algoMesh.hxx>

#include <NCollection_DefaultHasher.hxx>
#include <NCollection_Map.hxx>
#include <TopoDS_Compound.hxx>
#include <TopoDS_Shape.hxx>

namespace quorin
{

//! The faces of a shape other than those a caller leaves out, gathered for meshing,
//! welding or repair.
class algoMesh_EXPORT algoMesh_FaceSelection
{
public:
  //! Faces to leave out; a face matches when it has the same underlying face, location
  //! and orientation.
  typedef NCollection_Map<TopoDS_Shape, NCollection_DefaultHasher<TopoDS_Shape>> FaceMap;

  //! A compound of the faces of `shape` not in `excluded`, in the explorer's order. The
  //! faces are shared with the shape, so a triangulation stored on them is the shape's.
  //! @return an empty compound when no face remains or the shape is null
  static TopoDS_Compound KeptFaces(const TopoDS_Shape& shape, const FaceMap& excluded);
};

} // namespace quorin

#endif
