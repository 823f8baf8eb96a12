// Decoder of the vertex-based triangle strips of JT 8 shape levels: the strip boundaries,
// then the vertex records either stored losslessly (zlib-compressed floats, one record per
// strip vertex) or quantised (per-axis codes with an index per strip vertex), then the
// strips cut into triangles with alternating corner order. Triangles with two corners at
// the same position, which exporters use to join strips, are dropped. Cost: linear in the
// number of strip vertices.
#ifndef JtDecode_VertexStrips_HeaderFile
#define JtDecode_VertexStrips_HeaderFile

#include <JT_Export.hxx>
#include <JtData_Reader.hxx>
#include <JtDecode_TopoMesh.hxx>

class JT_EXPORT JtDecode_VertexStrips
{
public:
  //! Reads the vertex-based compressed representation at the reader's position.
  //! @param[in] limit  largest value count, vertex count and inflated byte count / 4
  //! @return false on malformed data, strips that do not match the vertex records, colour
  //! data (not supported) or an index outside the vertex arrays
  static bool Read(JtData_Reader& reader, const size_t limit, JtDecode_TopoMesh::Mesh& mesh);

  //! Cuts strips (consecutive boundaries in `starts`, the last entry closing the last strip)
  //! over the vertices `corner[i]` into triangles of positions `positions`, dropping those
  //! with two corners at one position. @return false for a boundary outside the vertices
  static bool StripsToTriangles(const std::vector<int32_t>& starts,
                                const std::vector<int32_t>& corner,
                                const std::vector<float>&   positions,
                                std::vector<int32_t>&       triangles);
};

#endif
