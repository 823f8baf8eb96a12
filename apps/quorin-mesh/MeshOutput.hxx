// Writing of a mesh to a file whose format is chosen by its extension, through the
// library's writers: STL (algoMesh_STL), PLY (algoMesh_PLY), OBJ (algoMesh_OBJ), NASTRAN
// bulk data (algoMesh_NAS) and VTK XML (algoMesh_VTK_XML).
#ifndef quorinMesh_MeshOutput_HeaderFile
#define quorinMesh_MeshOutput_HeaderFile

#include <ActAPI_ProgressEntry.hxx>

#include <Poly_Triangulation.hxx>

#include <optional>
#include <string>

namespace cli
{

//! Encoding asked for a format that has two.
enum class Encoding
{
  Default, //!< binary where the format has a binary form
  Binary,
  Ascii
};

//! The extensions SaveMesh understands, for help texts.
const char* WritableExtensions();

//! Checks that `path` has a writable extension and that the encoding fits its format.
//! @param[out] description  the format as the tool reports it, e.g. "binary PLY"
//! @return false with a one-line reason in `error` otherwise
bool CheckFormat(const std::string& path,
                 const Encoding     encoding,
                 std::string&       description,
                 std::string&       error);

//! Checks that the directory of `path` exists and is writable.
//! @return false with a one-line reason in `error` otherwise
bool CheckDirectory(const std::string& path, std::string& error);

//! CheckFormat then CheckDirectory, as every command that writes a file starts before
//! reading its input: prints the reason of a refusal and answers the exit code (a usage
//! error for the format, a failure for the directory); nothing when `path` can be written.
std::optional<int>
CheckOutput(const std::string& path, const Encoding encoding, std::string& description);

//! Writes the mesh to `path`: .stl (its coincident nodes merged by the writer), .ply, .obj
//! (text only), .nas/.bdf (large-field text, coincident nodes merged), .vtp or .vtu (VTK's
//! XML layout), binary by default where the format has both encodings.
//! @return false with a one-line reason in `error` when CheckFormat or CheckDirectory fails or the
//! writer
//!         fails
bool SaveMesh(const Handle(Poly_Triangulation) & mesh,
              const std::string&          path,
              const Encoding              encoding,
              const ActAPI_ProgressEntry& progress,
              std::string&                error);

//! The counts SaveMesh puts into `path` for `mesh`, as ": T triangles, N nodes". The
//! NASTRAN writer drops the triangles that merging coincident nodes makes degenerate, the
//! VTK XML writers those with a repeated node; the other formats keep the mesh's counts.
//! Counting for NASTRAN joins the mesh as the writer does, reporting in `progress`.
std::string WrittenCounts(const Handle(Poly_Triangulation) & mesh,
                          const std::string&          path,
                          const ActAPI_ProgressEntry& progress = ActAPI_ProgressEntry());

} // namespace cli

#endif
