// Writes a mesh data model mesh as a NASTRAN bulk-data file.
#ifndef MorvTools_NASWriter_HeaderFile
#define MorvTools_NASWriter_HeaderFile

#include <MorvDS_Mesh.hxx>
#include <MorvTools_NASFormatter.hxx>

#include <Message_ProgressRange.hxx>

#include <string>

//! Writes the nodes and elements of a mesh, in the field format of Type() (large field
//! by default): a comment line, "BEGIN BULK", one GRID card per node (ID, blank CP, X1,
//! X2, X3), one card per element with property ID 1, and "ENDDATA". Element cards: CROD
//! for edges, CTRIA3, CQUAD4, CTETRA, CPYRAM, CPENTA and CHEXA; one-node elements have no
//! card and are left out. Nodes and elements keep their numbers and come in the mesh's
//! iteration order (elements by dimension: edges, faces, volumes).
class TKMorv_EXPORT MorvTools_NASWriter : public MorvTools_NASFormatter
{
public:
  MorvTools_NASWriter(const Handle(MorvDS_Mesh) & mesh, const char* path);

  //! Writes the file; progress over the items goes to `range`.
  //! @return false for a null mesh, a file that cannot be created or written, or a value
  //! that does not fit its field (reported through SendMessage); a file may be left behind.
  bool Write(const Message_ProgressRange& range = Message_ProgressRange());

private:
  Handle(MorvDS_Mesh) m_mesh;
  std::string m_path;
};

#endif
