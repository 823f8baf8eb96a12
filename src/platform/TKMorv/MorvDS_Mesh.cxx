// Finite-element mesh over flat arrays.
//
// Creation appends to the arrays of MorvDS_MeshData and binds the number in its index:
// O(1) amortised per item, no allocation per item. Removal marks the slot and frees the
// number (O(1)); removing the nodes an element leaves unused looks at the inverse
// connections (node -> elements, compressed rows), rebuilt in one O(nodes + connectivity)
// pass when elements were created since they were last built.
#include <MorvDS_Mesh.hxx>

#include <MorvDS_MeshData.pxx>

#include <climits>
#include <initializer_list>

IMPLEMENT_STANDARD_RTTIEXT(MorvDS_Mesh, Standard_Transient)

namespace
{

//! Slots of the given node numbers, or false when one names no node or two are equal.
template <size_t N>
bool nodeSlots(const MorvDS_MeshData& data, const int (&ids)[N], int (&slots)[N])
{
  for (size_t i = 0; i < N; ++i)
  {
    slots[i] = data.nodeIndex.Find(ids[i]);
    if (slots[i] < 0)
    {
      return false;
    }
    for (size_t j = 0; j < i; ++j)
    {
      if (slots[j] == slots[i])
      {
        return false;
      }
    }
  }
  return true;
}

//! The number an item gets: the next after `maxId` when `requested` is 0 (automatic), else
//! `requested` itself; 0 when that number is negative, already used, or past INT_MAX.
int claimId(const MorvDS_IdIndex& index, const int maxId, const int requested)
{
  if (requested == 0)
  {
    return maxId == INT_MAX ? 0 : maxId + 1;
  }
  return requested < 0 || index.Find(requested) >= 0 ? 0 : requested;
}

//! Creates an element with number `id` (0: automatic); answers its number or 0.
template <size_t N>
int addElement(MorvDS_MeshData& data, const MorvDS_ElementKind kind, const int (&ids)[N], int id)
{
  int slots[N];
  if (!nodeSlots(data, ids, slots))
  {
    return 0;
  }
  id = claimId(data.elemIndex, data.maxElemId, id);
  if (id == 0)
  {
    return 0;
  }
  const int slot = static_cast<int>(data.elemIds.size());
  data.elemIds.push_back(id);
  data.elemKinds.push_back(kind);
  data.elemNodes.insert(data.elemNodes.end(), slots, slots + N);
  data.elemOffsets.push_back(static_cast<int>(data.elemNodes.size()));
  data.elemIndex.Bind(id, slot, data.elemIds.size());
  data.slotsByDim[MorvDS_MeshData::DimOf(kind)].push_back(slot);
  data.maxElemId = std::max(data.maxElemId, id);
  ++data.nbElems;
  data.invValid = false;
  return id;
}

//! Creates a node with number `id` (0: automatic); answers its number or 0.
int addNode(MorvDS_MeshData& data, const double x, const double y, const double z, int id)
{
  id = claimId(data.nodeIndex, data.maxNodeId, id);
  if (id == 0)
  {
    return 0;
  }
  const int slot = static_cast<int>(data.nodeIds.size());
  data.coords.insert(data.coords.end(), {x, y, z});
  data.nodeIds.push_back(id);
  data.nodeAlive.push_back(1);
  data.nodeIndex.Bind(id, slot, data.nodeIds.size());
  data.maxNodeId = std::max(data.maxNodeId, id);
  ++data.nbNodes;
  // A node used by no element has an empty row; rows of later nodes are added on rebuild.
  data.invValid = false;
  return id;
}

} // namespace

MorvDS_Mesh::MorvDS_Mesh(const int nbNodes,
                         const int nbEdges,
                         const int nbFaces,
                         const int nbVolumes)
    : m_data(std::make_shared<MorvDS_MeshData>())
{
  const size_t nodes = static_cast<size_t>(std::max(nbNodes, 0));
  const size_t edges = static_cast<size_t>(std::max(nbEdges, 0));
  const size_t faces = static_cast<size_t>(std::max(nbFaces, 0));
  const size_t vols  = static_cast<size_t>(std::max(nbVolumes, 0));
  m_data->coords.reserve(3 * nodes);
  m_data->nodeIds.reserve(nodes);
  m_data->nodeAlive.reserve(nodes);
  m_data->nodeIndex.Reserve(nodes);
  const size_t elems = edges + faces + vols;
  m_data->elemIds.reserve(elems);
  m_data->elemKinds.reserve(elems);
  m_data->elemOffsets.reserve(elems + 1);
  m_data->elemNodes.reserve(2 * edges + 3 * faces + 4 * vols);
  m_data->elemIndex.Reserve(elems);
  m_data->slotsByDim[1].reserve(edges);
  m_data->slotsByDim[2].reserve(faces);
  m_data->slotsByDim[3].reserve(vols);
}

int MorvDS_Mesh::AddNode(const double x, const double y, const double z)
{
  return addNode(*m_data, x, y, z, 0);
}

int MorvDS_Mesh::AddEdge(const int n1, const int n2)
{
  return addElement(*m_data, MorvDS_Kind_Edge, {n1, n2}, 0);
}

int MorvDS_Mesh::AddFace(const int n1, const int n2, const int n3)
{
  return addElement(*m_data, MorvDS_Kind_Triangle, {n1, n2, n3}, 0);
}

int MorvDS_Mesh::AddFace(const int n1, const int n2, const int n3, const int n4)
{
  return addElement(*m_data, MorvDS_Kind_Quadrangle, {n1, n2, n3, n4}, 0);
}

int MorvDS_Mesh::AddVolume(const int n1, const int n2, const int n3, const int n4)
{
  return addElement(*m_data, MorvDS_Kind_Tetrahedron, {n1, n2, n3, n4}, 0);
}

int MorvDS_Mesh::AddVolume(const int n1, const int n2, const int n3, const int n4, const int n5)
{
  return addElement(*m_data, MorvDS_Kind_Pyramid, {n1, n2, n3, n4, n5}, 0);
}

int MorvDS_Mesh::AddVolume(
    const int n1, const int n2, const int n3, const int n4, const int n5, const int n6)
{
  return addElement(*m_data, MorvDS_Kind_Prism, {n1, n2, n3, n4, n5, n6}, 0);
}

int MorvDS_Mesh::AddVolume(const int n1,
                           const int n2,
                           const int n3,
                           const int n4,
                           const int n5,
                           const int n6,
                           const int n7,
                           const int n8)
{
  return addElement(*m_data, MorvDS_Kind_Hexahedron, {n1, n2, n3, n4, n5, n6, n7, n8}, 0);
}

bool MorvDS_Mesh::Add0DElement(const int n)
{
  return addElement(*m_data, MorvDS_Kind_0D, {n}, 0) != 0;
}

bool MorvDS_Mesh::AddNodeWithID(const double x, const double y, const double z, const int id)
{
  return id > 0 && addNode(*m_data, x, y, z, id) != 0;
}

bool MorvDS_Mesh::AddEdgeWithID(const int n1, const int n2, const int id)
{
  return id > 0 && addElement(*m_data, MorvDS_Kind_Edge, {n1, n2}, id) != 0;
}

bool MorvDS_Mesh::AddFaceWithID(const int n1, const int n2, const int n3, const int id)
{
  return id > 0 && addElement(*m_data, MorvDS_Kind_Triangle, {n1, n2, n3}, id) != 0;
}

bool MorvDS_Mesh::AddFaceWithID(
    const int n1, const int n2, const int n3, const int n4, const int id)
{
  return id > 0 && addElement(*m_data, MorvDS_Kind_Quadrangle, {n1, n2, n3, n4}, id) != 0;
}

bool MorvDS_Mesh::AddVolumeWithID(
    const int n1, const int n2, const int n3, const int n4, const int id)
{
  return id > 0 && addElement(*m_data, MorvDS_Kind_Tetrahedron, {n1, n2, n3, n4}, id) != 0;
}

bool MorvDS_Mesh::AddVolumeWithID(
    const int n1, const int n2, const int n3, const int n4, const int n5, const int id)
{
  return id > 0 && addElement(*m_data, MorvDS_Kind_Pyramid, {n1, n2, n3, n4, n5}, id) != 0;
}

bool MorvDS_Mesh::AddVolumeWithID(const int n1,
                                  const int n2,
                                  const int n3,
                                  const int n4,
                                  const int n5,
                                  const int n6,
                                  const int id)
{
  return id > 0 && addElement(*m_data, MorvDS_Kind_Prism, {n1, n2, n3, n4, n5, n6}, id) != 0;
}

bool MorvDS_Mesh::AddVolumeWithID(const int n1,
                                  const int n2,
                                  const int n3,
                                  const int n4,
                                  const int n5,
                                  const int n6,
                                  const int n7,
                                  const int n8,
                                  const int id)
{
  return id > 0 &&
         addElement(*m_data, MorvDS_Kind_Hexahedron, {n1, n2, n3, n4, n5, n6, n7, n8}, id) != 0;
}

Handle(MorvDS_MeshNode) MorvDS_Mesh::FindNode(const int id) const
{
  const int slot = m_data->nodeIndex.Find(id);
  return slot < 0 ? Handle(MorvDS_MeshNode)() : new MorvDS_MeshNode(m_data, slot);
}

Handle(MorvDS_MeshElement) MorvDS_Mesh::FindElement(const int id) const
{
  const int slot = m_data->elemIndex.Find(id);
  return slot < 0 ? Handle(MorvDS_MeshElement)() : MorvDS_MakeElement(m_data, slot);
}

bool MorvDS_Mesh::RemoveElement(const Handle(MorvDS_MeshElement) & element,
                                const bool removeFreeNodes)
{
  if (element.IsNull() || element->Data() != m_data)
  {
    return false;
  }
  MorvDS_MeshData& data = *m_data;
  const int        slot = element->Slot();
  if (data.elemKinds[slot] == MorvDS_Kind_Removed)
  {
    return false;
  }
  if (removeFreeNodes && !data.invValid)
  {
    RebuildAllInverseConnections();
  }
  data.elemKinds[slot] = MorvDS_Kind_Removed;
  data.elemIndex.Unbind(data.elemIds[slot]);
  --data.nbElems;
  if (!removeFreeNodes)
  {
    return true;
  }
  // Rows keep removed elements; a node is free when every element of its row is removed.
  for (int k = data.elemOffsets[slot]; k < data.elemOffsets[slot + 1]; ++k)
  {
    const int node = data.elemNodes[k];
    bool      used = false;
    for (int r = data.invOffsets[node]; r < data.invOffsets[node + 1] && !used; ++r)
    {
      used = data.elemKinds[data.invElems[r]] != MorvDS_Kind_Removed;
    }
    if (!used && data.nodeAlive[node])
    {
      data.nodeAlive[node] = 0;
      data.nodeIndex.Unbind(data.nodeIds[node]);
      --data.nbNodes;
    }
  }
  return true;
}

void MorvDS_Mesh::RebuildAllInverseConnections()
{
  MorvDS_MeshData& data    = *m_data;
  const size_t     nbSlots = data.nodeIds.size();
  data.invOffsets.assign(nbSlots + 1, 0);
  const int nbElemSlots = static_cast<int>(data.elemIds.size());
  for (int e = 0; e < nbElemSlots; ++e)
  {
    if (data.elemKinds[e] != MorvDS_Kind_Removed)
    {
      for (int k = data.elemOffsets[e]; k < data.elemOffsets[e + 1]; ++k)
      {
        ++data.invOffsets[data.elemNodes[k] + 1];
      }
    }
  }
  for (size_t n = 0; n < nbSlots; ++n)
  {
    data.invOffsets[n + 1] += data.invOffsets[n];
  }
  data.invElems.resize(data.invOffsets[nbSlots]);
  std::vector<int> fill(data.invOffsets.begin(), data.invOffsets.end() - 1);
  for (int e = 0; e < nbElemSlots; ++e)
  {
    if (data.elemKinds[e] != MorvDS_Kind_Removed)
    {
      for (int k = data.elemOffsets[e]; k < data.elemOffsets[e + 1]; ++k)
      {
        data.invElems[fill[data.elemNodes[k]]++] = e;
      }
    }
  }
  data.invValid = true;
}

bool MorvDS_Mesh::IsEmpty() const
{
  return m_data->nbNodes == 0;
}

int MorvDS_Mesh::NbNodes() const
{
  return m_data->nbNodes;
}

int MorvDS_Mesh::NbElements() const
{
  return m_data->nbElems;
}
