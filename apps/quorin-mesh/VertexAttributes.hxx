// The per-vertex colours, normals and texture coordinates a PLY file may carry beside its
// positions, kept through convert to the formats that can hold them (PLY, VTK XML).
#ifndef quorinMesh_VertexAttributes_HeaderFile
#define quorinMesh_VertexAttributes_HeaderFile

#include <ActAPI_ProgressEntry.hxx>

#include <Poly_Triangulation.hxx>

#include <string>
#include <vector>

namespace cli
{

//! Attributes of the nodes of a mesh, node k (1-based) at entries k - 1; each array is
//! empty when the file has no such attribute.
struct VertexAttributes
{
  std::vector<float> Colours;   //!< red, green, blue per node, from 0 to 1
  std::vector<float> Normals;   //!< x, y, z per node
  std::vector<float> TexCoords; //!< u, v per node

  bool IsEmpty() const { return Colours.empty() && Normals.empty() && TexCoords.empty(); }

  //! The attributes it holds, in words ("colours, normals"); empty when none.
  std::string Description() const;
};

//! Reads the colour (red, green, blue), normal (nx, ny, nz) and texture coordinate (s, t;
//! u, v; texture_u, texture_v) properties of the "vertex" element of a PLY file and gives
//! them to the nodes of `mesh`, the library's reading of the same file: as coincident
//! vertices are merged into the first of them, each node takes the values of the vertex
//! at exactly its position that comes first. Integer colours are scaled from 0-255.
//! @return false, leaving `attributes` empty, when the file cannot be read again or its
//!         vertices do not match the nodes; true otherwise (also without attributes)
bool ReadPlyAttributes(const std::string& path,
                       const Handle(Poly_Triangulation) & mesh,
                       VertexAttributes& attributes);

//! Writes the mesh as PLY with its attributes: float x, y, z, then nx, ny, nz, uchar red,
//! green, blue, float s, t for those present, and the faces as lists of uint indices.
//! Written beside the final name, then renamed.
//! @return false with a one-line reason in `error`
bool WritePlyWithAttributes(const Handle(Poly_Triangulation) & mesh,
                            const VertexAttributes& attributes,
                            const std::string&      path,
                            const bool              binary,
                            std::string&            error);

//! Writes the mesh as VTK XML (.vtp or .vtu) with its attributes as point arrays
//! "Normals", "Colors" (0 to 1) and "TextureCoordinates".
//! @return false with a one-line reason in `error`
bool WriteVtkWithAttributes(const Handle(Poly_Triangulation) & mesh,
                            const VertexAttributes&     attributes,
                            const std::string&          path,
                            const ActAPI_ProgressEntry& progress,
                            std::string&                error);

} // namespace cli

#endif
