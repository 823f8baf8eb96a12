#include <JtDecode_VertexStrips.hxx>

#include <JtData_Decompress.hxx>
#include <JtDecode_Int32CDP.hxx>

#include <cmath>
#include <cstring>

namespace
{
typedef JtDecode_Int32CDP CDP;

struct Quantiser
{
  float Min = 0.0f, Max = 0.0f;
  int   Bits = 0;

  void Read(JtData_Reader& reader)
  {
    Min  = reader.F32();
    Max  = reader.F32();
    Bits = reader.U8();
  }
  float Value(const int32_t code) const
  {
    const double step = (double(Max) - Min) / (std::ldexp(1.0, Bits) - 1.0);
    return static_cast<float>(Min + static_cast<uint32_t>(code) * step);
  }
};

bool samePosition(const std::vector<float>& xyz, const int32_t a, const int32_t b)
{
  return a == b || std::memcmp(&xyz[size_t(a) * 3], &xyz[size_t(b) * 3], 3 * sizeof(float)) == 0;
}

//! Lossless records: floats per strip vertex, optionally zlib-compressed.
bool readLossless(JtData_Reader&           reader,
                  const size_t             limit,
                  const int                nbFloats,
                  const int                normalOffset,
                  const size_t             nbVertices,
                  JtDecode_TopoMesh::Mesh& mesh)
{
  const int32_t rawSize        = reader.I32();
  const int32_t compressedSize = reader.I32();
  if (!reader.Ok() || rawSize < 0 || size_t(rawSize) / 4 > limit)
    return false;
  std::vector<uint8_t> bytes;
  if (compressedSize > 0)
  {
    if (!reader.CanHold(compressedSize, 1) ||
        !JtData_Decompress::Zlib(reader.Data() + reader.Position(), compressedSize, rawSize,
                                 bytes) ||
        bytes.size() != size_t(rawSize))
      return false;
    reader.Skip(compressedSize);
  }
  else
  {
    const int64_t size = -int64_t(compressedSize);
    if (size != rawSize || !reader.CanHold(size, 1))
      return false;
    bytes.resize(size_t(size));
    reader.Bytes(bytes.data(), bytes.size());
  }
  if (bytes.size() != nbVertices * nbFloats * 4)
    return false;
  JtData_Reader records(bytes.data(), bytes.size(), reader.IsBigEndian());
  mesh.Positions.resize(nbVertices * 3);
  if (normalOffset >= 0)
    mesh.Normals.resize(nbVertices * 3);
  for (size_t v = 0; v < nbVertices; ++v)
  {
    float record[11];
    for (int k = 0; k < nbFloats; ++k)
      record[k] = records.F32();
    std::memcpy(&mesh.Positions[v * 3], &record[nbFloats - 3], 3 * sizeof(float));
    if (normalOffset >= 0)
      std::memcpy(&mesh.Normals[v * 3], &record[normalOffset], 3 * sizeof(float));
  }
  return reader.Ok();
}

//! Quantised records: unique positions (and normals), then an index per strip vertex.
bool readQuantised(JtData_Reader&           reader,
                   const size_t             limit,
                   const int                normalBinding,
                   const int                textureBinding,
                   const int                colourBinding,
                   const size_t             nbVertices,
                   std::vector<int32_t>&    indices,
                   JtDecode_TopoMesh::Mesh& mesh)
{
  if (colourBinding != 0)
    return false;
  Quantiser axes[3];
  for (Quantiser& q : axes)
    q.Read(reader);
  const int32_t nbUnique = reader.I32();
  if (!reader.Ok() || nbUnique < 0 || size_t(nbUnique) > limit)
    return false;
  for (const Quantiser& q : axes)
    if (q.Bits > 32)
      return false;
  for (int c = 0; c < 3; ++c)
  {
    std::vector<int32_t> codes;
    if (!CDP::ReadV8(reader, CDP::Predictor_Lag1, limit, codes) || codes.size() != size_t(nbUnique))
      return false;
    mesh.Positions.resize(size_t(nbUnique) * 3);
    for (int32_t i = 0; i < nbUnique; ++i)
      mesh.Positions[size_t(i) * 3 + c] = axes[c].Value(codes[i]);
  }
  if (normalBinding != 0)
  {
    const int     bits      = reader.U8();
    const int32_t nbNormals = reader.I32();
    if (!reader.Ok() || bits > 31 || nbNormals < 0 || size_t(nbNormals) > limit)
      return false;
    std::vector<int32_t> codes[4];
    for (std::vector<int32_t>& list : codes)
      if (!CDP::ReadV8(reader, CDP::Predictor_Lag1, limit, list) ||
          list.size() != size_t(nbNormals))
        return false;
    // Normals share the position indices, so they are kept only when they pair up.
    if (nbNormals == nbUnique)
    {
      mesh.Normals.resize(size_t(nbNormals) * 3);
      for (int32_t i = 0; i < nbNormals; ++i)
        JtDecode_TopoMesh::DecodeNormal(codes[0][i], codes[1][i], codes[2][i], codes[3][i], bits,
                                        &mesh.Normals[size_t(i) * 3]);
    }
  }
  if (textureBinding != 0)
  {
    Quantiser uv[2];
    for (Quantiser& q : uv)
      q.Read(reader);
    reader.U8();
    std::vector<int32_t> codes;
    for (int c = 0; c < 2; ++c)
      if (!CDP::ReadV8(reader, CDP::Predictor_Lag1, limit, codes))
        return false;
  }
  if (!CDP::ReadV8(reader, CDP::Predictor_StripIndex, limit, indices) ||
      indices.size() != nbVertices)
    return false;
  for (const int32_t index : indices)
    if (index < 0 || index >= nbUnique)
      return false;
  return true;
}

} // namespace

bool JtDecode_VertexStrips::StripsToTriangles(const std::vector<int32_t>& starts,
                                              const std::vector<int32_t>& corner,
                                              const std::vector<float>&   positions,
                                              std::vector<int32_t>&       triangles)
{
  for (size_t k = 0; k + 1 < starts.size(); ++k)
  {
    const int32_t a = starts[k], b = starts[k + 1];
    if (a < 0 || b < a || size_t(b) > corner.size())
      return false;
    for (int32_t j = a; j + 2 < b; ++j)
    {
      const bool    isEven = (j - a) % 2 == 0;
      const int32_t t[3] = {corner[isEven ? j : j + 1], corner[isEven ? j + 1 : j], corner[j + 2]};
      if (samePosition(positions, t[0], t[1]) || samePosition(positions, t[1], t[2]) ||
          samePosition(positions, t[0], t[2]))
        continue;
      triangles.insert(triangles.end(), t, t + 3);
    }
  }
  return true;
}

bool JtDecode_VertexStrips::Read(JtData_Reader&           reader,
                                 const size_t             limit,
                                 JtDecode_TopoMesh::Mesh& mesh)
{
  mesh = JtDecode_TopoMesh::Mesh();

  // 1. Bindings, quantisation and strip boundaries.
  reader.I16(); // version
  const int normalBinding  = reader.U8();
  const int textureBinding = reader.U8();
  const int colourBinding  = reader.U8();
  uint8_t   quantisation[4];
  reader.Bytes(quantisation, 4);
  std::vector<int32_t> starts;
  if (!reader.Ok() || !CDP::ReadV8(reader, CDP::Predictor_Stride1, limit, starts))
    return false;
  const int32_t nbStripVertices = starts.empty() ? 0 : starts.back();
  if (nbStripVertices < 0 || size_t(nbStripVertices) > limit)
    return false;

  // 2. Vertex records, then the strip vertex → record map.
  std::vector<int32_t> corner;
  if (quantisation[0] == 0)
  {
    // Per-vertex records: texture coordinate, colour, normal, position, as bound.
    const int nbFloats = (textureBinding == 1 ? 2 : 0) + (colourBinding == 1 ? 3 : 0) +
                         (normalBinding == 1 ? 3 : 0) + 3;
    const int normalOffset = normalBinding == 1 ? nbFloats - 6 : -1;
    if (!readLossless(reader, limit, nbFloats, normalOffset, size_t(nbStripVertices), mesh))
      return false;
    corner.resize(size_t(nbStripVertices));
    for (int32_t i = 0; i < nbStripVertices; ++i)
      corner[i] = i;
  }
  else if (!readQuantised(reader, limit, normalBinding, textureBinding, colourBinding,
                          size_t(nbStripVertices), corner, mesh))
  {
    return false;
  }

  // 3. Triangles.
  return StripsToTriangles(starts, corner, mesh.Positions, mesh.Triangles);
}
