// One level of detail of a triangle-set shape, decoded from its shape segment: vertex
// positions, vertex normals (possibly none) and triangles as 0-based corner index triples.
// JT 8 levels hold vertex-based strips, JT 9 and 10 levels topologically compressed meshes;
// the element's framing differs per version and is read here before the geometry.
#ifndef JtElement_ShapeLOD_TriStripSet_HeaderFile
#define JtElement_ShapeLOD_TriStripSet_HeaderFile

#include <JT_Export.hxx>

#include <NCollection_BaseAllocator.hxx>
#include <NCollection_StdAllocator.hxx>
#include <Standard_Transient.hxx>

#include <cstdint>
#include <vector>

class JtElement_ShapeLOD_TriStripSet;
DEFINE_STANDARD_HANDLE(JtElement_ShapeLOD_TriStripSet, Standard_Transient)

class JT_EXPORT JtElement_ShapeLOD_TriStripSet : public Standard_Transient
{
public:
  typedef std::vector<float, NCollection_StdAllocator<float>>     FloatArray;
  typedef std::vector<int32_t, NCollection_StdAllocator<int32_t>> IndexArray;

  //! Empty arrays kept in memory of `allocator` (the common allocator when null).
  explicit JtElement_ShapeLOD_TriStripSet(const Handle(NCollection_BaseAllocator) & allocator);

  //! Decodes the element that starts at `data` (its length field) in a shape segment of a
  //! file of the given version. @param[in] limit  largest count accepted anywhere inside
  //! @return false when the element is not a triangle-set level or cannot be decoded; the
  //! arrays are then empty
  bool Decode(const uint8_t* data,
              const size_t   size,
              const bool     isBigEndian,
              const int      majorVersion,
              const size_t   limit);

  //! Positions, 3 floats per vertex.
  const FloatArray& VertexPositions() const { return myPositions; }
  //! Normals, 3 floats per vertex, or empty.
  const FloatArray& VertexNormals() const { return myNormals; }
  //! Triangles, 3 vertex indices (0-based) each.
  const IndexArray& Triangles() const { return myTriangles; }

  int NbVertices() const { return static_cast<int>(myPositions.size() / 3); }
  int NbTriangles() const { return static_cast<int>(myTriangles.size() / 3); }

  DEFINE_STANDARD_RTTIEXT(JtElement_ShapeLOD_TriStripSet, Standard_Transient)

private:
  FloatArray myPositions;
  FloatArray myNormals;
  IndexArray myTriangles;
};

#endif
