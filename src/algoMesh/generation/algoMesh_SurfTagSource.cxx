#include <algoMesh_SurfTagSource.hxx>

IMPLEMENT_STANDARD_RTTIEXT(quorin::algoMesh_SurfTagSource, Standard_Transient)

using namespace quorin;

void algoMesh_SurfTagSource::SetTag(const TopoDS_Face& face, const int tag)
{
  if (tag < 1)
  {
    m_tags.UnBind(face);
  }
  else
  {
    m_tags.Bind(face, tag);
  }
}

int algoMesh_SurfTagSource::Tag(const TopoDS_Face& face) const
{
  const int* tag = m_tags.Seek(face);
  return tag != nullptr ? *tag : 0;
}
