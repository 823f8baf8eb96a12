// PLY exchange: reads a polygon file (ASCII, binary little- or big-endian) into one
// triangulation, merging vertices closer than 1e-7 and triangulating every polygon, and
// writes several placed triangulations, optionally with per-node colours, into one PLY
// file. Reading costs O(file size) plus one spatial-hash look-up per vertex and O(n^2) per
// polygon of n corners (O(1) for triangles); writing is O(nodes + triangles).
#ifndef algoMesh_PLY_HeaderFile
#define algoMesh_PLY_HeaderFile

#include <algoMesh.hxx>
#include <core_ExportStatus.hxx>

#include <ActAPI_ProgressEntry.hxx>

#include <NCollection_DataMap.hxx>
#include <NCollection_Vector.hxx>
#include <Poly_Triangulation.hxx>
#include <Quantity_Color.hxx>
#include <TCollection_AsciiString.hxx>
#include <TopLoc_Location.hxx>

#include <cstdint>

namespace quorin
{

class algoMesh_EXPORT algoMesh_PLY
{
public:
  //! One element of a PLY header: its name and the count the header declares.
  struct HeaderElement
  {
    TCollection_AsciiString Name;
    int64_t                 Count = 0;
  };

  //! Reads only the header of a PLY file, for tools that describe a file before reading
  //! it.
  //! @param[out] storage   "ASCII", "binary little-endian" or "binary big-endian"
  //! @param[out] elements  the elements in file order
  //! @return false when the file cannot be opened or its header is not a valid PLY header
  static bool ReadHeader(const TCollection_AsciiString&     path,
                         TCollection_AsciiString&           storage,
                         NCollection_Vector<HeaderElement>& elements);

  //! Reads the "x", "y", "z" properties of the "vertex" element and the "vertex_indices"
  //! (or "vertex_index") list of the "face" element. Vertices within 1e-7 of an earlier
  //! one become the same node; polygons are triangulated, those that cannot be (fewer
  //! than three corners, collinear, an index outside the vertices read so far) are
  //! dropped. A file without faces gives one triangle at default indices (0, 0, 0).
  //! Progress: "Loading a PLY file", 100 units for the vertices and 100 for the faces.
  //! @return false with "Cannot open the file for reading." or "Cannot read the PLY
  //! header.", with "Cannot read the PLY data: %1" for a truncated or malformed body,
  //! or without a message when the user cancelled; `result` is then untouched.
  static bool Read(const TCollection_AsciiString& path,
                   Handle(Poly_Triangulation) & result,
                   ActAPI_ProgressEntry progress);

  //! Writes the meshes, mesh i placed by location i, as element "vertex" (float x, y, z;
  //! uchar red, green, blue when colours are given) and element "face" (list uchar uint
  //! "vertex_index", 0-based). Nodes are not merged.
  //! @param[in] binary       binary little-endian when true, ASCII otherwise
  //! @param[in] nodeColours  empty, or one map per mesh from every 1-based node index to
  //!                         its colour (components in [0, 1], written times 255, rounded)
  //! @return ExportStatus_Ok when written; ExportStatus_NoData for an empty mesh list (a
  //! file with empty elements is still written); ExportStatus_Failed when the file cannot
  //! be created or written, or a node has no colour, with the message of the failing step.
  static core_ExportStatus
  Write(const NCollection_Vector<Handle(Poly_Triangulation)>&        meshes,
        const NCollection_Vector<TopLoc_Location>&                   locations,
        const TCollection_AsciiString&                               path,
        ActAPI_ProgressEntry                                         progress,
        const bool                                                   binary,
        NCollection_Vector<NCollection_DataMap<int, Quantity_Color>> nodeColours);
};

} // namespace quorin

#endif
