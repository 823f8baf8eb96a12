// The per-vertex colours, normals and texture coordinates a PLY file may carry beside its
// positions, read onto the nodes of the mesh algoMesh_PLY reads from the same file and
// written back with a mesh, so that a conversion to PLY keeps them.
#ifndef algoMesh_PLYAttributes_HeaderFile
#define algoMesh_PLYAttributes_HeaderFile

#include <algoMesh.hxx>

#include <Poly_Triangulation.hxx>

#include <string>
#include <vector>

namespace quorin
{

//! Attributes of the nodes of a mesh, node k (1-based) at entries k - 1; each array is
//! empty when the file has no such attribute.
class algoMesh_EXPORT algoMesh_PLYAttributes
{
public:
  std::vector<float> Colours;   //!< red, green, blue per node, from 0 to 1
  std::vector<float> Normals;   //!< x, y, z per node
  std::vector<float> TexCoords; //!< u, v per node

  bool IsEmpty() const { return Colours.empty() && Normals.empty() && TexCoords.empty(); }

  //! The attributes it holds, in words ("colours, normals"); empty when none.
  std::string Description() const;

  //! Reads the colour (red, green, blue; r, g, b), normal (nx, ny, nz) and texture
  //! coordinate (s, t; u, v; texture_u, texture_v) properties of the "vertex" element of a
  //! PLY file onto the nodes of `mesh`, algoMesh_PLY's reading of the same file: as
  //! coincident vertices are merged into the first of them, each node takes the values of
  //! the first vertex at exactly its position. Integer colours are scaled from 0-255.
  //! @return false, leaving the attributes empty, when the file cannot be read again or
  //!         its vertices do not match the nodes; true otherwise (also without attributes)
  bool Read(const std::string& path, const Handle(Poly_Triangulation) & mesh);

  //! Writes the mesh as PLY with these attributes: float x, y, z, then float nx, ny, nz,
  //! uchar red, green, blue and float s, t for those present, and the faces as lists of
  //! uint indices. The file appears complete or not at all (written beside its final
  //! name, then renamed).
  //! @param[in] binary  binary little-endian when true, ASCII otherwise
  //! @return false with a one-line reason in `error`
  bool Write(const Handle(Poly_Triangulation) & mesh,
             const std::string& path,
             const bool         binary,
             std::string&       error) const;
};

} // namespace quorin

#endif
