// Reads a NASTRAN bulk-data file into a mesh data model mesh.
#include <MorvTools_NASReader.hxx>

MorvTools_NASReader::MorvTools_NASReader(const char* path, const bool createGroups)
    : m_path(path != nullptr ? path : "")
{
  ModeCreateGroups() = createGroups;
}

bool MorvTools_NASReader::Read(const Message_ProgressRange& range)
{
  // 1. Open the file and read its cards into the mesh.
  if (!Open(m_path.c_str()))
  {
    return false;
  }
  const bool isRead = ReadFile(range);
  Close();
  // 2. Prepare the mesh for handing out.
  if (isRead)
  {
    GetMesh()->RebuildAllInverseConnections();
  }
  return isRead;
}
