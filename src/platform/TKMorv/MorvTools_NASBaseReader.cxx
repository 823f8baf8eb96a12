// Interpretation of NASTRAN bulk-data cards.
//
// One pass over the cards: grid points are handed on at once, element cards are kept in
// one flat integer array (about 7 integers per element) and handed on after the pass.
// Progress is reported per percent of the file's bytes; cancellation is polled every 1024
// cards.
#include <MorvTools_NASBaseReader.hxx>

#include <Message_ProgressScope.hxx>

#include <cmath>
#include <cstring>
#include <string>

namespace
{

enum ElementKind
{
  Kind_Edge,
  Kind_Triangle,
  Kind_Quadrangle,
  Kind_Tetrahedron,
  Kind_Pyramid,
  Kind_Prism,
  Kind_Hexahedron
};

struct ElementCard
{
  const char* KeyWord;
  ElementKind Kind;
  int         NbNodes; //!< corner grid points read
};

const ElementCard THE_ELEMENT_CARDS[] = {
    {"CTRIA3", Kind_Triangle, 3},  {"CQUAD4", Kind_Quadrangle, 4}, {"CTETRA", Kind_Tetrahedron, 4},
    {"CHEXA", Kind_Hexahedron, 8}, {"CPENTA", Kind_Prism, 6},      {"CPYRAM", Kind_Pyramid, 5},
    {"CBAR", Kind_Edge, 2},        {"CBEAM", Kind_Edge, 2},        {"CROD", Kind_Edge, 2},
    {"CTRIAR", Kind_Triangle, 3},  {"CTRIA6", Kind_Triangle, 3},   {"CQUADR", Kind_Quadrangle, 4},
    {"CQUAD8", Kind_Quadrangle, 4}};

const int THE_NB_NODES[] = {2, 3, 4, 4, 5, 6, 8};

} // namespace

MorvTools_NASBaseReader::MorvTools_NASBaseReader() = default;

int MorvTools_NASBaseReader::GetPS(const int node) const
{
  const auto it = m_ps.find(node);
  return it == m_ps.end() ? m_defaultPS : it->second;
}

int MorvTools_NASBaseReader::GetSEID(const int node) const
{
  const auto it = m_seid.find(node);
  return it == m_seid.end() ? m_defaultSEID : it->second;
}

bool MorvTools_NASBaseReader::ReadFile(const Message_ProgressRange& range)
{
  Message_ProgressScope scope(
      range.IsActive() || ProgressIndicator().IsNull() ? range : ProgressIndicator()->Start(),
      "Reading cards", 100);
  m_elements.clear();
  Record record;
  int    nbCards = 0, percent = 0;
  while (NextRecord(record))
  {
    if (++nbCards % 1024 == 0)
    {
      if (scope.UserBreak())
      {
        SendMessage("Reading was cancelled.", record.GetNbLine());
        return false;
      }
      const int reached = FileSize() > 0 ? static_cast<int>(Position() * 100 / FileSize()) : 0;
      for (; percent < reached; ++percent)
      {
        scope.Next();
      }
    }
    const std::string& keyword = record.KeyWord();
    if (keyword.empty() || (keyword.front() != 'G' && keyword.front() != 'C'))
    {
      continue;
    }
    if (record == "GRID")
    {
      if (!readGrid(record))
      {
        return false;
      }
      continue;
    }
    for (const ElementCard& card : THE_ELEMENT_CARDS)
    {
      if (record == card.KeyWord)
      {
        if (!keepElement(record, card.Kind, card.NbNodes))
        {
          return false;
        }
        break;
      }
    }
  }
  if (HasFailed())
  {
    return false;
  }
  if (scope.UserBreak())
  {
    SendMessage("Reading was cancelled.", GetNbLine());
    return false;
  }
  return addElements();
}

bool MorvTools_NASBaseReader::readGrid(Record& record)
{
  int    id = 0, cp = 0, cd = 0, ps = 0, seid = 0;
  double xyz[3];
  if (!record.ReadInteger(id) || id <= 0)
  {
    SendMessage("GRID card without a valid positive ID.", record.GetNbLine());
    return false;
  }
  if (!record.ReadInteger(cp, true) || !record.ReadReal(xyz[0]) || !record.ReadReal(xyz[1]) ||
      !record.ReadReal(xyz[2]))
  {
    SendMessage(("GRID " + std::to_string(id) + " has a malformed coordinate field.").c_str(),
                record.GetNbLine());
    return false;
  }
  // Beyond single precision, bounding boxes and normals overflow, and STL and PLY cannot
  // store the node.
  const double limit = 3.4028234663852886e38;
  if (std::abs(xyz[0]) > limit || std::abs(xyz[1]) > limit || std::abs(xyz[2]) > limit)
  {
    SendMessage(("GRID " + std::to_string(id) + " has a coordinate beyond 3.4e38.").c_str(),
                record.GetNbLine());
    return false;
  }
  // CD, PS and SEID are kept when readable; they do not shape the mesh.
  if (record.ReadInteger(cd, true) && record.ReadInteger(ps, true, m_defaultPS) &&
      ps != m_defaultPS)
  {
    m_ps[id] = ps;
  }
  if (record.ReadInteger(seid, true, m_defaultSEID) && seid != m_defaultSEID)
  {
    m_seid[id] = seid;
  }
  if (!AddNode(gp_Pnt(xyz[0], xyz[1], xyz[2]), id))
  {
    SendMessage(("GRID " + std::to_string(id) + " cannot be added (repeated ID).").c_str(),
                record.GetNbLine());
    return false;
  }
  return true;
}

bool MorvTools_NASBaseReader::keepElement(Record& record, const int kind, const int nbNodes)
{
  int id = 0, pid = 0;
  if (!record.ReadInteger(id) || id <= 0)
  {
    SendMessage((record.KeyWord() + " card without a valid positive element ID.").c_str(),
                record.GetNbLine());
    return false;
  }
  if (!record.ReadInteger(pid, true))
  {
    SendMessage(
        (record.KeyWord() + " " + std::to_string(id) + " has a malformed property ID.").c_str(),
        record.GetNbLine());
    return false;
  }
  const size_t start = m_elements.size();
  // The kind's int carries the file of the card too, for a message about it later.
  m_elements.insert(m_elements.end(),
                    {kind | RecordSourceIndex() << 8, record.GetNbLine(), id, pid});
  for (int i = 0; i < nbNodes; ++i)
  {
    int node = 0;
    if (!record.ReadInteger(node) || node <= 0)
    {
      m_elements.resize(start);
      SendMessage((record.KeyWord() + " " + std::to_string(id) + " has a missing or malformed " +
                   "grid point number.")
                      .c_str(),
                  record.GetNbLine());
      return false;
    }
    m_elements.push_back(node);
  }
  return true;
}

bool MorvTools_NASBaseReader::addElements()
{
  for (size_t k = 0; k < m_elements.size();)
  {
    const int* e       = m_elements.data() + k;
    const int  kind    = e[0] & 0xFF;
    const int* n       = e + 4;
    bool       isAdded = false;
    switch (kind)
    {
    case Kind_Edge:
      isAdded = AddEdge(e[2], e[3], n[0], n[1]);
      break;
    case Kind_Triangle:
      isAdded = AddTrianFace(e[2], e[3], n[0], n[1], n[2]);
      break;
    case Kind_Quadrangle:
      isAdded = AddQuadFace(e[2], e[3], n[0], n[1], n[2], n[3]);
      break;
    case Kind_Tetrahedron:
      isAdded = AddTetrVolume(e[2], e[3], n[0], n[1], n[2], n[3]);
      break;
    case Kind_Pyramid:
      isAdded = AddPyramVolume(e[2], e[3], n[0], n[1], n[2], n[3], n[4]);
      break;
    case Kind_Prism:
      isAdded = AddPentVolume(e[2], e[3], n[0], n[1], n[2], n[3], n[4], n[5]);
      break;
    default:
      isAdded = AddHexVolume(e[2], e[3], n[0], n[1], n[2], n[3], n[4], n[5], n[6], n[7]);
      break;
    }
    if (!isAdded)
    {
      std::string text      = "Element " + std::to_string(e[2]) + " cannot be added: ";
      bool        isMissing = false;
      for (int i = 0; i < THE_NB_NODES[kind] && !isMissing; ++i)
      {
        isMissing = !HasNode(n[i]);
      }
      text += isMissing ? "it uses a grid point that is not defined."
                        : "its ID is repeated or it uses a grid point twice.";
      SetRecordSource(e[0] >> 8);
      SendMessage(text.c_str(), e[1]);
      m_elements.clear();
      return false;
    }
    k += 4 + THE_NB_NODES[kind];
  }
  m_elements.clear();
  m_elements.shrink_to_fit();
  return true;
}

bool MorvTools_NASBaseReader::AddNode(const gp_Pnt&, const int)
{
  return false;
}

bool MorvTools_NASBaseReader::AddEdge(const int, const int, const int, const int)
{
  return false;
}

bool MorvTools_NASBaseReader::AddTrianFace(const int, const int, const int, const int, const int)
{
  return false;
}

bool MorvTools_NASBaseReader::AddQuadFace(
    const int, const int, const int, const int, const int, const int)
{
  return false;
}

bool MorvTools_NASBaseReader::AddTetrVolume(
    const int, const int, const int, const int, const int, const int)
{
  return false;
}

bool MorvTools_NASBaseReader::AddPyramVolume(
    const int, const int, const int, const int, const int, const int, const int)
{
  return false;
}

bool MorvTools_NASBaseReader::AddPentVolume(
    const int, const int, const int, const int, const int, const int, const int, const int)
{
  return false;
}

bool MorvTools_NASBaseReader::AddHexVolume(const int,
                                           const int,
                                           const int,
                                           const int,
                                           const int,
                                           const int,
                                           const int,
                                           const int,
                                           const int,
                                           const int)
{
  return false;
}

bool MorvTools_NASBaseReader::HasNode(const int) const
{
  return false;
}

bool MorvTools_NASBaseReader::GetNodePosition(const int, gp_XYZ&) const
{
  return false;
}
