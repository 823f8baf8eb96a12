// Writing of VTK XML files (.vtp poly data, .vtu unstructured grids) from a data model mesh
// and its fields.
#ifndef Exchange_VTKXMLWriter_HeaderFile
#define Exchange_VTKXMLWriter_HeaderFile

#include <algoMesh.hxx>
#include <algoMesh_Field.hxx>
#include <core_ExportStatus.hxx>

#include <ActAPI_ProgressEntry.hxx>
#include <MorvDS_Mesh.hxx>

#include <NCollection_Vector.hxx>
#include <TCollection_AsciiString.hxx>
#include <TopLoc_Location.hxx>

namespace quorin
{

//! The writing half of algoMesh_VTK_XML, which documents the layout, messages and
//! statuses; the file appears complete or not at all.
class algoMesh_EXPORT Exchange_VTKXMLWriter
{
public:
  //! Writes poly data (vertices, lines and faces; volumes left out) when `isPoly`, else
  //! an unstructured grid (every element kind).
  static core_ExportStatus Write(const Handle(MorvDS_Mesh) & mesh,
                                 const NCollection_Vector<Handle(algoMesh_Field)>& fields,
                                 const TopLoc_Location&                            location,
                                 const TCollection_AsciiString&                    path,
                                 const ActAPI_ProgressEntry&                       progress,
                                 const bool                                        isPoly);
};

} // namespace quorin

#endif
