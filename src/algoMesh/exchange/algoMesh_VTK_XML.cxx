// VTK XML exchange: the public entry points, each handing over to the writer
// (Exchange_VTKXMLWriter) or the reader (Exchange_VTKXMLReader), which checks the file with
// Exchange_VTKXMLCheck before VTK parses it.
#include <algoMesh_VTK_XML.hxx>

#include <Exchange_VTKXMLReader.hxx>
#include <Exchange_VTKXMLWriter.hxx>

namespace quorin
{

core_ExportStatus
algoMesh_VTK_XML::WriteVTP(const Handle(MorvDS_Mesh) & mesh,
                           const NCollection_Vector<Handle(algoMesh_Field)>& fields,
                           const TopLoc_Location&                            location,
                           const TCollection_AsciiString&                    path,
                           ActAPI_ProgressEntry                              progress,
                           const bool)
{
  // Text and binary file modes are the same on POSIX systems.
  return Exchange_VTKXMLWriter::Write(mesh, fields, location, path, progress, true);
}

core_ExportStatus
algoMesh_VTK_XML::WriteVTU(const Handle(MorvDS_Mesh) & mesh,
                           const NCollection_Vector<Handle(algoMesh_Field)>& fields,
                           const TopLoc_Location&                            location,
                           const TCollection_AsciiString&                    path,
                           ActAPI_ProgressEntry                              progress,
                           const bool)
{
  return Exchange_VTKXMLWriter::Write(mesh, fields, location, path, progress, false);
}

bool algoMesh_VTK_XML::ReadVTP(const TCollection_AsciiString& path,
                               Handle(MorvDS_Mesh) & mesh,
                               NCollection_Vector<Handle(algoMesh_Field)>& fields,
                               const Standard_GUID&                        owner,
                               ActAPI_ProgressEntry                        progress)
{
  return Exchange_VTKXMLReader::Read(path, mesh, fields, owner, progress, true);
}

bool algoMesh_VTK_XML::ReadVTU(const TCollection_AsciiString& path,
                               Handle(MorvDS_Mesh) & mesh,
                               NCollection_Vector<Handle(algoMesh_Field)>& fields,
                               const Standard_GUID&                        owner,
                               ActAPI_ProgressEntry                        progress)
{
  return Exchange_VTKXMLReader::Read(path, mesh, fields, owner, progress, false);
}

} // namespace quorin
