// Meshes written with per-triangle values, so that a viewer (ParaView, the HTML report)
// can colour the triangles: quality metrics, deviations, self-intersection groups.
#ifndef quorinMesh_CellFields_HeaderFile
#define quorinMesh_CellFields_HeaderFile

#include <ActAPI_ProgressEntry.hxx>

#include <Poly_Triangulation.hxx>

#include <optional>
#include <string>
#include <vector>

namespace cli
{

//! One value per triangle: Values[k] belongs to triangle k + 1. NaN marks a triangle
//! without a value.
struct CellField
{
  std::string         Name;
  std::vector<double> Values;
};

//! Checks that `path` can take cell fields (.vtp or .vtu) and that its directory is
//! writable, before the command reads its input: prints the refusal and answers the exit
//! code (usage error for the extension, failure for the directory); nothing otherwise.
std::optional<int> CheckFieldOutput(const std::string& option, const std::string& path);

//! Writes the mesh to a .vtp or .vtu file with one cell array per field. Every triangle
//! becomes a cell (triangles with a repeated node are left out, with their values), so
//! cell k of the file is the k-th proper triangle. The file appears complete or not at
//! all: it is written beside its final name and renamed.
//! @return false with a one-line reason in `error` when a field has another length than
//!         the triangle count, or the writer fails
bool SaveCellFields(const Handle(Poly_Triangulation) & mesh,
                    const std::vector<CellField>& fields,
                    const std::string&            path,
                    const ActAPI_ProgressEntry&   progress,
                    std::string&                  error);

} // namespace cli

#endif
