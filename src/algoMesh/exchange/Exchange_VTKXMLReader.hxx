// Reading of VTK XML files (.vtp poly data, .vtu unstructured grids) into a data model mesh
// and its fields.
#ifndef Exchange_VTKXMLReader_HeaderFile
#define Exchange_VTKXMLReader_HeaderFile

#include <algoMesh.hxx>
#include <algoMesh_Field.hxx>

#include <ActAPI_ProgressEntry.hxx>
#include <MorvDS_Mesh.hxx>

#include <NCollection_Vector.hxx>
#include <Standard_GUID.hxx>
#include <TCollection_AsciiString.hxx>

namespace quorin
{

//! The reading half of algoMesh_VTK_XML, which documents the mapping of cells and arrays
//! and the messages.
class algoMesh_EXPORT Exchange_VTKXMLReader
{
public:
  //! Reads a poly data file (`isPoly`) or an unstructured grid file into a new mesh and
  //! fields.
  static bool Read(const TCollection_AsciiString& path,
                   Handle(MorvDS_Mesh) & mesh,
                   NCollection_Vector<Handle(algoMesh_Field)>& fields,
                   const Standard_GUID&                        owner,
                   const ActAPI_ProgressEntry&                 progress,
                   const bool                                  isPoly);
};

} // namespace quorin

#endif
