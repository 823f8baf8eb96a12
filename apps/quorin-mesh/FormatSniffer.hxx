// Recognition of a mesh or CAD file by its first bytes, for files whose extension is
// missing or wrong (a mail attachment saved as ".dat", a binary STL named ".ply").
#ifndef quorinMesh_FormatSniffer_HeaderFile
#define quorinMesh_FormatSniffer_HeaderFile

#include <string>

namespace cli
{

//! The format of a file as its content shows it.
struct SniffedFormat
{
  std::string Name;      //!< "STL", "PLY", ...; empty when not recognised
  std::string Extension; //!< the extension its reader is chosen by (".stl")
};

//! Looks at the start of the file (and at the size for binary STL) and answers the first
//! format of a fixed table whose signature matches: binary STL (the size agrees with the
//! triangle count), PLY, STEP, MSH, VTK XML poly data or unstructured grid, BREP, JT,
//! ASCII STL, NASTRAN bulk data, OBJ, and text point clouds (lines of three or more
//! numbers). An empty answer when none matches or the file cannot be read.
SniffedFormat SniffFormat(const std::string& path);

//! The format name an extension stands for ("STL" for ".stl"); empty when unknown.
std::string FormatOfExtension(const std::string& extension);

} // namespace cli

#endif
