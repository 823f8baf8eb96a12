// Element views: a slot of the mesh storage, wrapped in the class of its kind.
#include <MorvDS_MeshElement.hxx>

#include <MorvDS_Mesh0DElement.hxx>
#include <MorvDS_MeshData.pxx>
#include <MorvDS_MeshEdge.hxx>
#include <MorvDS_MeshHexahedron.hxx>
#include <MorvDS_MeshPrism.hxx>
#include <MorvDS_MeshPyramid.hxx>
#include <MorvDS_MeshQuadrangle.hxx>
#include <MorvDS_MeshTetrahedron.hxx>
#include <MorvDS_MeshTriangle.hxx>

IMPLEMENT_STANDARD_RTTIEXT(MorvDS_MeshElement, Standard_Transient)
IMPLEMENT_STANDARD_RTTIEXT(MorvDS_Mesh0DElement, MorvDS_MeshElement)
IMPLEMENT_STANDARD_RTTIEXT(MorvDS_MeshEdge, MorvDS_MeshElement)
IMPLEMENT_STANDARD_RTTIEXT(MorvDS_MeshFace, MorvDS_MeshElement)
IMPLEMENT_STANDARD_RTTIEXT(MorvDS_MeshVolume, MorvDS_MeshElement)
IMPLEMENT_STANDARD_RTTIEXT(MorvDS_MeshTriangle, MorvDS_MeshFace)
IMPLEMENT_STANDARD_RTTIEXT(MorvDS_MeshQuadrangle, MorvDS_MeshFace)
IMPLEMENT_STANDARD_RTTIEXT(MorvDS_MeshTetrahedron, MorvDS_MeshVolume)
IMPLEMENT_STANDARD_RTTIEXT(MorvDS_MeshPyramid, MorvDS_MeshVolume)
IMPLEMENT_STANDARD_RTTIEXT(MorvDS_MeshPrism, MorvDS_MeshVolume)
IMPLEMENT_STANDARD_RTTIEXT(MorvDS_MeshHexahedron, MorvDS_MeshVolume)

Handle(MorvDS_MeshElement)
    MorvDS_MakeElement(const std::shared_ptr<MorvDS_MeshData>& data, const int slot)
{
  switch (data->elemKinds[slot])
  {
  case MorvDS_Kind_0D:
    return new MorvDS_Mesh0DElement(data, slot);
  case MorvDS_Kind_Edge:
    return new MorvDS_MeshEdge(data, slot);
  case MorvDS_Kind_Triangle:
    return new MorvDS_MeshTriangle(data, slot);
  case MorvDS_Kind_Quadrangle:
    return new MorvDS_MeshQuadrangle(data, slot);
  case MorvDS_Kind_Tetrahedron:
    return new MorvDS_MeshTetrahedron(data, slot);
  case MorvDS_Kind_Pyramid:
    return new MorvDS_MeshPyramid(data, slot);
  case MorvDS_Kind_Prism:
    return new MorvDS_MeshPrism(data, slot);
  case MorvDS_Kind_Hexahedron:
    return new MorvDS_MeshHexahedron(data, slot);
  default:
    return Handle(MorvDS_MeshElement)();
  }
}

int MorvDS_MeshElement::GetID() const
{
  return m_data->elemIds[m_slot];
}

MorvAbs_ElementType MorvDS_MeshElement::GetType() const
{
  // A removed slot forgot its kind; the class of the view still knows it.
  if (IsKind(STANDARD_TYPE(MorvDS_MeshFace)))
  {
    return MorvAbs_Face;
  }
  if (IsKind(STANDARD_TYPE(MorvDS_MeshVolume)))
  {
    return MorvAbs_Volume;
  }
  return IsKind(STANDARD_TYPE(MorvDS_MeshEdge)) ? MorvAbs_Edge : MorvAbs_0DElement;
}

int MorvDS_MeshElement::NbNodes() const
{
  return m_data->elemOffsets[m_slot + 1] - m_data->elemOffsets[m_slot];
}

int MorvDS_MeshElement::NodeID(const int index) const
{
  if (index < 0 || index >= NbNodes())
  {
    return 0;
  }
  return m_data->nodeIds[m_data->elemNodes[m_data->elemOffsets[m_slot] + index]];
}

Handle(MorvDS_MeshNode) MorvDS_MeshElement::Node(const int index) const
{
  if (index < 0 || index >= NbNodes())
  {
    return Handle(MorvDS_MeshNode)();
  }
  return new MorvDS_MeshNode(m_data, m_data->elemNodes[m_data->elemOffsets[m_slot] + index]);
}

bool MorvDS_MeshElement::IsRemoved() const
{
  return m_data->elemKinds[m_slot] == MorvDS_Kind_Removed;
}
