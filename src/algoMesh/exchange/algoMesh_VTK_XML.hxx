// VTK XML exchange: a mesh data model mesh with its fields written as a VTK poly-data (VTP)
// or unstructured-grid (VTU) file, and such files read back into a new mesh and fields.
// XML encoding and decoding are VTK's; the mapping between the data model and VTK data
// sets is done here, in one routine per direction for both kinds, O(nodes + elements +
// field values).
#ifndef algoMesh_VTK_XML_HeaderFile
#define algoMesh_VTK_XML_HeaderFile

#include <algoMesh.hxx>
#include <algoMesh_Field.hxx>
#include <core_ExportStatus.hxx>

#include <ActAPI_ProgressEntry.hxx>
#include <MorvDS_Mesh.hxx>

#include <NCollection_Vector.hxx>
#include <Standard_GUID.hxx>
#include <TCollection_AsciiString.hxx>
#include <TopLoc_Location.hxx>

namespace quorin
{

class algoMesh_EXPORT algoMesh_VTK_XML
{
public:
  //! Writes the mesh as a VTK XML poly-data file (VTK's default XML layout: appended,
  //! base64-encoded, zlib-compressed data).
  //!
  //! Points: the nodes in iteration order, placed by `location`. Cells: edges (VTK line),
  //! then faces (triangles as VTK triangle, quadrangles as VTK quad), then volumes
  //! (tetrahedron, hexahedron, pyramid, wedge); poly data cannot hold volumes, so VTP files
  //! leave them out. One-node elements are left out of both kinds.
  //! Fields, in vector order (null entries skipped): a double array named after the field
  //! with its component count, in the cell data (association 1: tuple k is the field's
  //! tuple for the element of cell k) or the point data (association 0: tuple k for the node
  //! of point k); a missing tuple is written as zeros, a field without components is left
  //! out. Progress: "Saving VTK XML file" over a range of 100; the entry's cancellation
  //! is polled per item.
  //! @param[in] binaryFile  opens the file in binary mode; the content is the same
  //! @return ExportStatus_Ok when written; ExportStatus_Failed (no file is created, an error
  //! message is sent) for a null mesh or one without nodes, cancellation, a VTK writing
  //! failure, or a file that cannot be created or written.
  static core_ExportStatus WriteVTP(const Handle(MorvDS_Mesh) & mesh,
                                    const NCollection_Vector<Handle(algoMesh_Field)>& fields,
                                    const TopLoc_Location&                            location,
                                    const TCollection_AsciiString&                    path,
                                    ActAPI_ProgressEntry                              progress,
                                    const bool                                        binaryFile);

  //! Writes the mesh as a VTK XML unstructured-grid file; as WriteVTP, volumes included.
  static core_ExportStatus WriteVTU(const Handle(MorvDS_Mesh) & mesh,
                                    const NCollection_Vector<Handle(algoMesh_Field)>& fields,
                                    const TopLoc_Location&                            location,
                                    const TCollection_AsciiString&                    path,
                                    ActAPI_ProgressEntry                              progress,
                                    const bool                                        binaryFile);

  //! Reads a VTK XML poly-data file into a new mesh and fields.
  //!
  //! Points become nodes numbered point index + 1. Cells become elements numbered 1, 2, ...
  //! in creation order: vertex and poly-vertex as one-node elements, line and poly-line as
  //! edges, triangle, strip (triangles (p[k-1], p[k], p[k+1]), orientation not alternated),
  //! polygon (ear-clipped), quad, tetra, voxel and hexahedron (hexahedra), wedge (prism),
  //! pyramid, quadratic edge (two edges), quadratic triangle (four triangles), quadratic
  //! quad (six triangles); quadratic tetra, hexahedron and wedge become the linear element
  //! of their corners; other cell types, and cells with a repeated point, are skipped.
  //! Fields: one per numeric array, cell data first (association 1; the tuple of cell i is
  //! stored for every element made from it), then point data (association 0; tuple i for
  //! node i + 1), named after the array, with `owner`, appended to `fields`.
  //! Progress: "Loading VTK XML file" over 100; cancellation is polled per field tuple.
  //!
  //! The file is checked before VTK parses it: counts it declares (points, cells,
  //! components, tuples) must be possible for a file of its size, so that a small file
  //! cannot make VTK allocate gigabytes, and data arrays must have a type VTK knows. After
  //! parsing, the cells must name existing points and the points must be finite.
  //! @return false, with an error message, when the file cannot be read, is refused by the
  //! checks above or by VTK's reader (wrong data-set kind, broken XML or data), or on
  //! cancellation (no message); `mesh` may then hold a partial mesh.
  static bool ReadVTP(const TCollection_AsciiString& path,
                      Handle(MorvDS_Mesh) & mesh,
                      NCollection_Vector<Handle(algoMesh_Field)>& fields,
                      const Standard_GUID&                        owner,
                      ActAPI_ProgressEntry                        progress);

  //! Reads a VTK XML unstructured-grid file; as ReadVTP.
  static bool ReadVTU(const TCollection_AsciiString& path,
                      Handle(MorvDS_Mesh) & mesh,
                      NCollection_Vector<Handle(algoMesh_Field)>& fields,
                      const Standard_GUID&                        owner,
                      ActAPI_ProgressEntry                        progress);
};

} // namespace quorin

#endif
