// STL exchange: reads an ASCII or binary STL file into one triangulation, and writes one or
// several placed triangulations into one STL file after joining them with coincident
// nodes merged. Encoding is the kernel's (RWStl), and so is decoding except for plain
// binary files, which are streamed through a table of their float coordinates into the
// same mesh the kernel makes, in linear time and about a third of its memory. Joining
// costs O(n) expected for n triangle corners through a hash map on the point position.
#ifndef algoMesh_STL_HeaderFile
#define algoMesh_STL_HeaderFile

#include <algoMesh.hxx>
#include <algoMesh_ProgressScope.hxx>
#include <core_ExportStatus.hxx>

#include <ActAPI_ProgressEntry.hxx>

#include <NCollection_Vector.hxx>
#include <Poly_Triangulation.hxx>
#include <TCollection_AsciiString.hxx>
#include <TopLoc_Location.hxx>

namespace quorin
{

class algoMesh_EXPORT algoMesh_STL
{
public:
  //! Reads an STL file (ASCII or binary, detected as the kernel's reader detects it).
  //! Nodes of the facets with bitwise equal coordinates are merged, numbered in order of
  //! first appearance, and facets that use a node twice are dropped; concatenated blocks
  //! are read as one mesh. A binary file of one block whose size matches its facet count
  //! is decoded here (about 30 bytes per triangle at the peak and a time linear in its
  //! size), any other file by the kernel's reader, with the same result. Progress is
  //! reported in percent and a cancellation ends the reading with a null mesh.
  //! `result` is replaced by what the reader yields, also when that is null.
  //!
  //! Three kinds of file are refused with an error message on the progress entry and a
  //! null `result`: a binary file with a block that declares more facets than the rest of
  //! the file holds, once the kernel would start on that block (a truncated file or
  //! trailing bytes read as a count; the kernel would reserve memory for the declared count
  //! and fill the mesh with what follows); an ASCII file whose last line has no newline and
  //! is blank or cut inside a keyword (the kernel would read past the line); and a file
  //! whose mesh has a NaN or infinite coordinate (raw binary floats, or ASCII numbers
  //! beyond the double range).
  //! Trailing bytes too short for the kernel to start a block on are left to the kernel,
  //! which ignores them. Likewise an ASCII syntax error (an unparsable number, a missing
  //! "endsolid") ends the kernel's reading without failing it: the facets before the error
  //! are the result.
  //! @return true when a mesh was read; false for a missing, unreadable or refused file
  //! (the kernel's own messages go to the kernel's default messenger).
  static bool Read(const TCollection_AsciiString& path,
                   Handle(Poly_Triangulation) & result,
                   ActAPI_ProgressEntry progress);

  //! Joins the meshes, mesh i placed by location i, into one mesh whose coincident nodes
  //! (squared distance below 1e-14) are merged, and writes it.
  //! @param[in] meshes     null entries are skipped
  //! @param[in] locations  at least as many as meshes
  //! @param[in] binary     binary STL when true, ASCII otherwise
  //! @return ExportStatus_Ok when written; ExportStatus_NoData when no mesh has a
  //! triangle (no file is created); ExportStatus_Failed when the kernel writer failed.
  static core_ExportStatus Write(const NCollection_Vector<Handle(Poly_Triangulation)>& meshes,
                                 const NCollection_Vector<TopLoc_Location>&            locations,
                                 const TCollection_AsciiString&                        path,
                                 ActAPI_ProgressEntry                                  progress,
                                 const bool                                            binary);

  //! Writes one mesh (its coincident nodes merged); statuses as above.
  static core_ExportStatus Write(const Handle(Poly_Triangulation) & mesh,
                                 const TCollection_AsciiString& path,
                                 ActAPI_ProgressEntry           progress,
                                 const bool                     binary);

  //! Joins placed meshes as Write does, without writing.
  //! @return the joined mesh, or null when no mesh has a triangle.
  static Handle(Poly_Triangulation)
      Join(const NCollection_Vector<Handle(Poly_Triangulation)>& meshes,
           const NCollection_Vector<TopLoc_Location>&            locations);

  //! As Join(meshes, locations), reporting progress in `progress` and polling it every
  //! 65536 triangles.
  //! @return the joined mesh; null also when the run was cancelled.
  static Handle(Poly_Triangulation)
      Join(const NCollection_Vector<Handle(Poly_Triangulation)>& meshes,
           const NCollection_Vector<TopLoc_Location>&            locations,
           algoMesh_ProgressScope                                progress);
};

} // namespace quorin

#endif
