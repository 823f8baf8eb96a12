// Reads a NASTRAN bulk-data file into a mesh data model mesh.
#ifndef MorvTools_NASReader_HeaderFile
#define MorvTools_NASReader_HeaderFile

#include <MorvTools_NASMeshReader.hxx>

#include <string>

//! Reads one bulk-data file (see MorvTools_NASParser for the card formats and
//! MorvTools_NASBaseReader for the cards read) into the mesh of MorvTools_NASMeshReader.
class TKMorv_EXPORT MorvTools_NASReader : public MorvTools_NASMeshReader
{
public:
  //! @param[in] path          the file
  //! @param[in] createGroups  gather elements by property ID (see ModeCreateGroups)
  MorvTools_NASReader(const char* path, const bool createGroups);

  //! Reads the file; progress goes to `range`, or to ProgressIndicator() when the range is
  //! not active. Inverse connections of the mesh are rebuilt on success.
  //! @return false when the file cannot be opened, a card is malformed, an element cannot
  //! be created, or reading was cancelled (each reported through SendMessage); the mesh
  //! then holds what was read before the failure.
  bool Read(const Message_ProgressRange& range = Message_ProgressRange());

private:
  std::string m_path;
};

#endif
