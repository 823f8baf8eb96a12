// The per-vertex colours, normals and texture coordinates a PLY file may carry beside its
// positions, kept through convert to the formats that can hold them: PLY through
// algoMesh_PLYAttributes, VTK XML as point arrays.
#ifndef quorinMesh_VertexAttributes_HeaderFile
#define quorinMesh_VertexAttributes_HeaderFile

#include <ActAPI_ProgressEntry.hxx>
#include <algoMesh_PLYAttributes.hxx>

#include <Poly_Triangulation.hxx>

#include <string>

namespace cli
{

//! Colours, normals and texture coordinates of the nodes of a mesh.
using VertexAttributes = quorin::algoMesh_PLYAttributes;

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
