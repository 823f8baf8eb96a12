// Decoder of topologically compressed triangle meshes (JT 9 and 10 shape levels).
//
// The topology is coded on the dual mesh: each output polygon is a dual vertex with its
// corner count (valence), each output vertex a dual face with its polygon count (degree).
// The decoder replays the coder's traversal: it grows one connected component at a time
// from a seed dual vertex, keeps a stack of active dual faces, always completes the one
// with the fewest open slots among the top sixteen, and fills each new dual vertex's ring
// from its known neighbours before reading new faces (or "split" references to faces
// already on the stack). Vertex records (positions, normals) then attach to the corners
// through each dual face's attribute mask. Cost: linear in the number of corners, apart
// from the bounded window scan.
#ifndef JtDecode_TopoMesh_HeaderFile
#define JtDecode_TopoMesh_HeaderFile

#include <JT_Export.hxx>
#include <JtData_Reader.hxx>

#include <cstdint>
#include <vector>

class JT_EXPORT JtDecode_TopoMesh
{
public:
  //! A decoded triangle set: positions (xyz triples), optional unit normals (one triple per
  //! position or none) and 0-based corner indices (triples).
  struct Mesh
  {
    std::vector<float>   Positions;
    std::vector<float>   Normals;
    std::vector<int32_t> Triangles;
  };

  //! Reads the topologically compressed representation at the reader's position.
  //! @param[in] majorVersion  9 or 10 (10 also covers later versions)
  //! @param[in] limit         largest value count accepted in any packet and largest
  //!                          number of polygon corners
  //! @return false on a malformed representation: a bad packet, a symbol list running
  //! short or left unused, inconsistent vertex counts or corner references
  static bool Read(JtData_Reader& reader, const int majorVersion, const size_t limit, Mesh& mesh);

  //! Unit normal of the sextant/octant code with `nbBits` bits of angle precision.
  static void DecodeNormal(const int sextant,
                           const int octant,
                           const int theta,
                           const int psi,
                           const int nbBits,
                           float     normal[3]);
};

#endif
