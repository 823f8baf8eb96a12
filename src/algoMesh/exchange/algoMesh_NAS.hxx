// NASTRAN bulk-data exchange: reads a bulk-data file into a mesh data model mesh, and
// writes placed triangulations as one bulk-data file after joining them with coincident
// nodes merged. Card syntax is the data model component's (MorvTools_NASReader,
// MorvTools_NASWriter); joining costs O(n) expected for n triangle corners.
#ifndef algoMesh_NAS_HeaderFile
#define algoMesh_NAS_HeaderFile

#include <algoMesh.hxx>
#include <core_ExportStatus.hxx>

#include <ActAPI_ProgressEntry.hxx>
#include <MorvDS_Mesh.hxx>

#include <NCollection_Vector.hxx>
#include <Poly_Triangulation.hxx>
#include <TCollection_AsciiString.hxx>
#include <TopLoc_Location.hxx>

namespace quorin
{

class algoMesh_EXPORT algoMesh_NAS
{
public:
  //! Reads a bulk-data file: GRID cards become nodes and element cards (CTRIA3, CQUAD4,
  //! CTETRA, CPYRAM, CPENTA, CHEXA, CBAR, CBEAM, CROD and their second-order forms, which
  //! keep their corners) become elements, with the file's numbers; free, small and large
  //! field cards with continuations are read (see MorvTools_NASParser). Progress goes to
  //! the entry under "Loading NASTRAN file" and the entry's cancellation stops the reading.
  //! @return false when the file cannot be opened, a GRID or element card is malformed
  //! (non-numeric or missing field, non-finite coordinate), a number is repeated, an element
  //! uses an undefined grid point, or the user cancelled; one error message "Line %1: %2"
  //! (line number, reason) or "Cannot open the file for reading." is sent. `result` is
  //! replaced only on success.
  static bool Read(const TCollection_AsciiString& path,
                   Handle(MorvDS_Mesh) & result,
                   ActAPI_ProgressEntry progress);

  //! Joins the meshes (MergeAndConvert) and writes the joined mesh as large-field bulk
  //! data: GRID cards for the nodes, CTRIA3 cards (property 1) for the triangles.
  //! @return ExportStatus_Ok when written; ExportStatus_NoData for empty or mismatched
  //! input or a joined mesh without nodes (no file is created); ExportStatus_Failed when
  //! the file cannot be created or written (an error message is sent).
  static core_ExportStatus Write(const NCollection_Vector<Handle(Poly_Triangulation)>& meshes,
                                 const NCollection_Vector<TopLoc_Location>&            locations,
                                 const TCollection_AsciiString&                        path,
                                 ActAPI_ProgressEntry                                  progress);

  //! Writes one mesh (identity location); statuses as above.
  static core_ExportStatus Write(const Handle(Poly_Triangulation) & mesh,
                                 const TCollection_AsciiString& path,
                                 ActAPI_ProgressEntry           progress);

  //! Joins triangulations, mesh i placed by location i, into a new mesh data model mesh:
  //! corners closer than 1e-7 (squared distance below 9.999999999999998e-15) become one
  //! node, numbered 1, 2, ... in order of first use; each triangle whose three nodes differ
  //! becomes a triangle face, in order. Null meshes are skipped.
  //! @return ExportStatus_Ok; ExportStatus_NoData when either vector is empty or their
  //! lengths differ (`result` untouched), or when the joined mesh has no node (`result`
  //! holds it).
  static core_ExportStatus
  MergeAndConvert(const NCollection_Vector<Handle(Poly_Triangulation)>& meshes,
                  const NCollection_Vector<TopLoc_Location>&            locations,
                  Handle(MorvDS_Mesh) & result);
};

} // namespace quorin

#endif
