// Point clouds as the tool holds them: a triangulation with nodes and no triangles.
#ifndef quorinMesh_PointCloudInput_HeaderFile
#define quorinMesh_PointCloudInput_HeaderFile

#include <ActAPI_ProgressEntry.hxx>

#include <Poly_Triangulation.hxx>

#include <string>

namespace cli
{

//! A triangulation holding `nbNodes` nodes (all at the origin) and no triangle.
Handle(Poly_Triangulation) NewPointCloud(const int nbNodes);

//! Reads a text point cloud (.xyz, .pts): one point per line, its first three numbers
//! x y z; further numbers on the line (intensity, colour, normal) are ignored. Blank lines
//! and lines starting with '#' or '//' are skipped, and so is a lone whole number on the
//! first line (the point count some writers put there).
//! @return false with a one-line reason naming the file and line in `error` for a line
//!         that does not start with three finite numbers, for a file without points, and
//!         when the user interrupts (polled every 64k lines)
bool ReadPointText(const std::string&          path,
                   const ActAPI_ProgressEntry& progress,
                   Handle(Poly_Triangulation) & points,
                   std::string& error);

} // namespace cli

#endif
