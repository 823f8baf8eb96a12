#include <JtElement_ShapeLOD_TriStripSet.hxx>

#include <JtData_Reader.hxx>
#include <JtDecode_TopoMesh.hxx>
#include <JtDecode_VertexStrips.hxx>

IMPLEMENT_STANDARD_RTTIEXT(JtElement_ShapeLOD_TriStripSet, Standard_Transient)

namespace
{
const Jt_GUID THE_TRI_STRIP_LOD("10dd10ab-2ac8-11d1-9b6b-0080c7bb5997");

Handle(NCollection_BaseAllocator) orCommon(const Handle(NCollection_BaseAllocator) & allocator)
{
  return allocator.IsNull() ? NCollection_BaseAllocator::CommonBaseAllocator() : allocator;
}
} // namespace

JtElement_ShapeLOD_TriStripSet::JtElement_ShapeLOD_TriStripSet(
    const Handle(NCollection_BaseAllocator) & allocator)
    : myPositions(FloatArray::allocator_type(orCommon(allocator))),
      myNormals(FloatArray::allocator_type(orCommon(allocator))),
      myTriangles(IndexArray::allocator_type(orCommon(allocator)))
{
}

bool JtElement_ShapeLOD_TriStripSet::Decode(const uint8_t* data,
                                            const size_t   size,
                                            const bool     isBigEndian,
                                            const int      major,
                                            const size_t   limit)
{
  myPositions.clear();
  myNormals.clear();
  myTriangles.clear();

  // 1. Element framing: the element must be a triangle-set level and lie inside the data.
  JtData_Reader frame(data, size, isBigEndian);
  const int32_t length = frame.I32();
  if (!frame.Ok() || length < 17 || !frame.CanHold(length, 1) || frame.GUID() != THE_TRI_STRIP_LOD)
    return false;
  JtData_Reader reader(data + 4, size_t(length), isBigEndian);
  reader.Skip(17); // type GUID and base type

  // 2. Level headers of the version, then the geometry.
  JtDecode_TopoMesh::Mesh mesh;
  bool                    isDecoded = false;
  if (major < 9)
  {
    reader.I16(); // vertex shape level version
    reader.I32(); // binding attributes
    reader.Skip(4);
    reader.I16(); // strip set level version
    isDecoded = reader.Ok() && JtDecode_VertexStrips::Read(reader, limit, mesh);
  }
  else if (major == 9)
  {
    reader.I32(); // object id
    reader.I16();
    reader.I16();
    reader.U64(); // vertex bindings
    reader.I16(); // mesh level version
    reader.I32(); // vertex records object id
    reader.I16(); // compressed representation version
    isDecoded = reader.Ok() && JtDecode_TopoMesh::Read(reader, major, limit, mesh);
  }
  else
  {
    reader.I32();
    reader.U8();
    reader.U8();
    reader.U64();
    reader.Skip(4 + 16 + 1 + 4); // embedded element header of the mesh data
    reader.U8();
    reader.I32();
    reader.U8();
    isDecoded = reader.Ok() && JtDecode_TopoMesh::Read(reader, major, limit, mesh);
  }
  if (!isDecoded)
    return false;

  // 3. Every corner must name a vertex.
  const size_t nbVertices = mesh.Positions.size() / 3;
  for (const int32_t corner : mesh.Triangles)
    if (corner < 0 || size_t(corner) >= nbVertices)
      return false;
  myPositions.assign(mesh.Positions.begin(), mesh.Positions.end());
  if (mesh.Normals.size() == mesh.Positions.size())
    myNormals.assign(mesh.Normals.begin(), mesh.Normals.end());
  myTriangles.assign(mesh.Triangles.begin(), mesh.Triangles.end());
  return true;
}
