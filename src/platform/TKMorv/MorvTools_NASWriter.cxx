// Writes a mesh data model mesh as NASTRAN bulk data: one pass over the nodes and one
// over the elements, each card formatted into one line buffer.
#include <MorvTools_NASWriter.hxx>

#include <MorvDS_MeshElementsIterator.hxx>
#include <MorvDS_MeshNodesIterator.hxx>

#include <Message_ProgressScope.hxx>

#include <algorithm>
#include <cerrno>

namespace
{

//! Card keyword of an element by its dimension class and node count, or null.
const char* keywordOf(const MorvAbs_ElementType type, const int nbNodes)
{
  switch (type)
  {
  case MorvAbs_Edge:
    return nbNodes == 2 ? "CROD" : nullptr;
  case MorvAbs_Face:
    return nbNodes == 3 ? "CTRIA3" : (nbNodes == 4 ? "CQUAD4" : nullptr);
  case MorvAbs_Volume:
    switch (nbNodes)
    {
    case 4:
      return "CTETRA";
    case 5:
      return "CPYRAM";
    case 6:
      return "CPENTA";
    case 8:
      return "CHEXA";
    default:
      return nullptr;
    }
  default:
    return nullptr;
  }
}

} // namespace

MorvTools_NASWriter::MorvTools_NASWriter(const Handle(MorvDS_Mesh) & mesh, const char* path)
    : m_mesh(mesh), m_path(path != nullptr ? path : "")
{
}

bool MorvTools_NASWriter::Write(const Message_ProgressRange& range)
{
  // 1. Open the file.
  if (m_mesh.IsNull())
  {
    SendMessage("No mesh to write.");
    return false;
  }
  if (!Open(m_path.c_str()))
  {
    SendMessage("Cannot open the file for writing.");
    return false;
  }
  const int             nbItems = m_mesh->NbNodes() + m_mesh->NbElements();
  Message_ProgressScope scope(range, "Writing cards", 100);
  int                   done = 0, percent = 0;
  auto                  step = [&]()
  {
    ++done;
    for (const int reached = int(100LL * done / std::max(nbItems, 1)); percent < reached; ++percent)
    {
      scope.Next();
    }
  };
  const std::string title = "NASTRAN bulk data; grid points: " + std::to_string(m_mesh->NbNodes()) +
                            ", elements: " + std::to_string(m_mesh->NbElements());
  AddComment(title.c_str());
  AddLine("BEGIN BULK");

  // 2. One GRID card per node.
  for (MorvDS_MeshNodesIterator it(m_mesh); it.More(); it.Next())
  {
    const Handle(MorvDS_MeshNode) node = it.Value();
    *this << "GRID" << node->GetID() << "" << node->X() << node->Y() << node->Z() << EndCard;
    step();
    if (!scope.More())
    {
      Close();
      return false; // cancelled: the caller discards the partial file
    }
  }

  // 3. One card per element, edges first, then faces, then volumes.
  for (const MorvAbs_ElementType type : {MorvAbs_Edge, MorvAbs_Face, MorvAbs_Volume})
  {
    for (MorvDS_MeshElementsIterator it(m_mesh, type); it.More(); it.Next())
    {
      const Handle(MorvDS_MeshElement) element = it.Value();
      const char* keyword                      = keywordOf(type, element->NbNodes());
      if (keyword != nullptr)
      {
        *this << keyword << element->GetID() << 1;
        for (int i = 0; i < element->NbNodes(); ++i)
        {
          *this << element->NodeID(i);
        }
        *this << EndCard;
      }
      step();
      if (!scope.More())
      {
        Close();
        return false;
      }
    }
  }
  AddLine("ENDDATA");
  if (!Close())
  {
    // The stream keeps no reason; the failed write left it in errno, and a full disk is
    // the one a user can act on.
    SendMessage(errno == ENOSPC ? "Writing the file failed: no space left on the device."
                                : "Writing the file failed.");
    return false;
  }
  return true;
}
