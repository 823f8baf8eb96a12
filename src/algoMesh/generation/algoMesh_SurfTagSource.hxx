// Tags of the faces of a shape, for surface meshers that label their elements by face.
#ifndef algoMesh_SurfTagSource_HeaderFile
#define algoMesh_SurfTagSource_HeaderFile

#include <algoMesh.hxx>

#include <NCollection_DataMap.hxx>
#include <Standard_Transient.hxx>
#include <Standard_Type.hxx>
#include <TopTools_ShapeMapHasher.hxx>
#include <TopoDS_Face.hxx>

namespace quorin
{

//! Face to tag (a positive integer) map handed to the external surface mesher
//! (algoMesh_MgCADSurf), which would give each element the tag of its face. Faces are told
//! apart by underlying face and location, not orientation.
class algoMesh_EXPORT algoMesh_SurfTagSource : public Standard_Transient
{
  DEFINE_STANDARD_RTTIEXT(algoMesh_SurfTagSource, Standard_Transient)
public:
  algoMesh_SurfTagSource() = default;

  //! Gives `face` the tag; a tag below 1 removes the face's tag.
  void SetTag(const TopoDS_Face& face, const int tag);

  //! The face's tag, or 0 when it has none.
  int Tag(const TopoDS_Face& face) const;

  //! Number of tagged faces.
  int NbTags() const { return m_tags.Extent(); }

private:
  NCollection_DataMap<TopoDS_Shape, int, TopTools_ShapeMapHasher> m_tags;
};

} // namespace quorin

#endif
