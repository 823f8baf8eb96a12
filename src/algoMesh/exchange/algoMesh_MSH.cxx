// ASCII MSH 2 reader.
//
// The file is read line by line with fgets into a 4096-byte buffer; a "$" line selects the
// section, "$End..." closes it, and each other line is handled by the section's line
// reader. Nothing is sized from the counts the file declares, so a wrong or huge count
// costs nothing: only lines actually present create nodes, elements or values. The node
// and element counts are checked against the lines when their section closes, and a file
// that ends inside a section fails, so that a file cut short at a line end is not taken
// for a smaller mesh.
#include <algoMesh_MSH.hxx>

#include <Exchange_InputCheck.hxx>

#include <ActAPI_LogMessage.hxx>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace quorin
{

namespace
{

const int THE_LINE_SIZE      = 4096;
const int THE_MAX_COMPONENTS = 9;

enum Section
{
  Section_None,
  Section_Nodes,
  Section_Elements,
  Section_NodeData,
  Section_ElementData,
  Section_ElementNodeData,
  Section_InterpolationScheme,
  Section_PhysicalNames,
  Section_MeshFormat,
  Section_Periodic
};

struct SectionName
{
  const char* Name;
  Section     Kind;
};

const SectionName THE_SECTIONS[] = {{"$Nodes", Section_Nodes},
                                    {"$Elements", Section_Elements},
                                    {"$NodeData", Section_NodeData},
                                    {"$ElementData", Section_ElementData},
                                    {"$ElementNodeData", Section_ElementNodeData},
                                    {"$InterpolationScheme", Section_InterpolationScheme},
                                    {"$PhysicalNames", Section_PhysicalNames},
                                    {"$MeshFormat", Section_MeshFormat},
                                    {"$Periodic", Section_Periodic}};

bool startsWith(const char* line, const char* prefix)
{
  return std::strncmp(line, prefix, std::strlen(prefix)) == 0;
}

//! Parses a whole token as an int.
bool parseInt(const std::string& token, int& value)
{
  if (token.empty())
  {
    return false;
  }
  char* end         = nullptr;
  errno             = 0;
  const long parsed = std::strtol(token.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || parsed < INT_MIN || parsed > INT_MAX)
  {
    return false;
  }
  value = static_cast<int>(parsed);
  return true;
}

//! Splits a line into tokens at blanks and tabs (line ends dropped).
void splitTokens(const char* line, std::vector<std::string>& tokens)
{
  tokens.clear();
  const char* p = line;
  for (;;)
  {
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')
    {
      ++p;
    }
    if (*p == '\0')
    {
      return;
    }
    const char* start = p;
    while (*p != '\0' && *p != ' ' && *p != '\t' && *p != '\r' && *p != '\n')
    {
      ++p;
    }
    tokens.emplace_back(start, p);
  }
}

//! Element types of the file, with the node count each must have.
int nodesOfType(const int type)
{
  switch (type)
  {
  case 1:
    return 2;
  case 2:
    return 3;
  case 3:
  case 4:
    return 4;
  case 5:
    return 8;
  case 6:
    return 6;
  case 7:
    return 5;
  case 15:
    return 1;
  default:
    return -1;
  }
}

//! Reading state of one file.
class MshReader
{
public:
  MshReader(const Handle(MorvDS_Mesh) & mesh,
            NCollection_Vector<Handle(algoMesh_FieldFrame)>& frames,
            const Standard_GUID&                             owner,
            const Handle(ActAPI_IProgressNotifier) & notifier)
      : m_mesh(mesh), m_frames(frames), m_owner(owner), m_notifier(notifier)
  {
  }

  //! Selects the section of a "$" line; "$End..." closes the current one.
  bool openSection(const char* line)
  {
    if (!isCountMet())
    {
      return false;
    }
    if (startsWith(line, "$End"))
    {
      // A data section must have all its value lines before it closes.
      m_section         = Section_None;
      const bool isDone = isComplete();
      m_isInData        = false;
      return isDone;
    }
    for (const SectionName& section : THE_SECTIONS)
    {
      if (startsWith(line, section.Name))
      {
        m_section = section.Kind;
        m_isFirst = true;
        if (m_section == Section_NodeData || m_section == Section_ElementData)
        {
          startData();
        }
        return true;
      }
    }
    return true;
  }

  //! Handles one line of the current section.
  bool readLine(const char* line)
  {
    const bool isFirst = m_isFirst;
    m_isFirst          = false;
    m_nbLines += isFirst ? 0 : 1;
    switch (m_section)
    {
    case Section_Nodes:
      return isFirst ? readCount(line) : readNode(line);
    case Section_Elements:
      return isFirst ? readCount(line) : readElement(line);
    case Section_NodeData:
    case Section_ElementData:
      return readData(line);
    case Section_MeshFormat:
      // Only kept to name the version when a later line fails: the layout of version 4
      // files fails the version 2 scans, and their version explains why.
      if (isFirst)
      {
        m_version.assign(line, std::strcspn(line, " \t\r\n"));
        m_version.resize(std::min<size_t>(m_version.size(), 16));
      }
      return true;
    default:
      return true;
    }
  }

  //! The version the $MeshFormat section declares when it is not 2, else empty.
  std::string ForeignVersion() const
  {
    return m_version.empty() || m_version[0] == '2' ? std::string() : m_version;
  }

  //! What made the last line fail, when more is known than that it is malformed.
  const std::string& Reason() const { return m_reason; }

  //! True unless a node or element section is open, or a data section with tags or values
  //! missing.
  bool isComplete() const
  {
    return m_section != Section_Nodes && m_section != Section_Elements &&
           (!m_isInData || (!m_frame.IsNull() && m_nbValuesLeft == 0));
  }

  //! The name of the node or element section left open at the end of the file, or null.
  const char* OpenCountedSection() const
  {
    return m_section == Section_Nodes      ? "$Nodes"
           : m_section == Section_Elements ? "$Elements"
                                           : nullptr;
  }

private:
  bool readCount(const char* line)
  {
    m_nbLines  = 0;
    long count = 0;
    if (std::sscanf(line, "%ld", &count) != 1 || !isNumber(count, "count"))
    {
      return false;
    }
    m_nbDeclared = static_cast<int>(count);
    return true;
  }

  //! Numbers are read as decimals (a leading zero does not make them octal, nor "0x" hex),
  //! and one beyond an int is refused rather than wrapped onto another node's or element's.
  bool isNumber(const long value, const char* what)
  {
    if (value >= INT_MIN && value <= INT_MAX)
    {
      return true;
    }
    m_reason = std::string("a ") + what + " is beyond the range of 32-bit integers";
    return false;
  }

  //! Checks, when a node or element section closes, that it holds the lines it declares.
  bool isCountMet()
  {
    const char* name = OpenCountedSection();
    if (name == nullptr || m_isFirst || m_nbLines == m_nbDeclared)
    {
      return true;
    }
    const char* items = m_section == Section_Nodes ? " nodes" : " elements";
    m_reason = std::string("the ") + name + " section declares " + std::to_string(m_nbDeclared) +
               items + " but holds " + std::to_string(m_nbLines);
    return false;
  }

  bool readNode(const char* line)
  {
    long   id = 0;
    double x, y, z;
    int    length = 0;
    if (std::sscanf(line, "%ld\t%lf\t%lf\t%lf%n", &id, &x, &y, &z, &length) != 4 ||
        !isNumber(id, "node number"))
    {
      return false;
    }
    // The scan takes the 1 of "1.#INF", the way some runtimes print an infinity.
    if (Exchange_InputCheck::IsNonFiniteTail(line + length, line + std::strlen(line)) ||
        !Exchange_InputCheck::IsValidCoordinate(x) || !Exchange_InputCheck::IsValidCoordinate(y) ||
        !Exchange_InputCheck::IsValidCoordinate(z))
    {
      m_reason = "a node coordinate is not a finite number of at most 3.4e38";
      return false;
    }
    return m_mesh->AddNodeWithID(x, y, z, static_cast<int>(id));
  }

  bool readElement(const char* line)
  {
    // 1. Number, type and tag count are required.
    splitTokens(line, m_tokens);
    int id = 0, type = 0, nbTags = 0;
    if (m_tokens.size() < 3 || !parseInt(m_tokens[0], id) || !parseInt(m_tokens[1], type) ||
        !parseInt(m_tokens[2], nbTags))
    {
      return false;
    }
    // 2. Tags are skipped; node numbers follow up to the first token that is not one.
    const size_t first = 3 + static_cast<size_t>(std::max(nbTags, 0));
    int          nodes[8];
    int          nbNodes = 0;
    for (size_t k = first; k < m_tokens.size(); ++k)
    {
      int node = 0;
      if (!parseInt(m_tokens[k], node))
      {
        break;
      }
      if (nbNodes == 8)
      {
        ++nbNodes;
        break;
      }
      nodes[nbNodes++] = node;
    }
    // 3. A number met before removes the element read first and skips this line.
    const Handle(MorvDS_MeshElement) existing = m_mesh->FindElement(id);
    if (!existing.IsNull())
    {
      m_mesh->RemoveElement(existing, false);
      if (!m_notifier.IsNull() && ++m_nbDuplicates <= Exchange_InputCheck::THE_WARNING_LIMIT)
      {
        ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Warning);
        message << "Skipped element with index %1 due to duplication." << id;
        m_notifier->Notify(message);
      }
      return true;
    }
    // 4. Create the element of the type, which must have its number of nodes.
    if (nodesOfType(type) != nbNodes)
    {
      return false;
    }
    const int* n = nodes;
    switch (type)
    {
    case 1:
      return m_mesh->AddEdgeWithID(n[0], n[1], id);
    case 2:
      return m_mesh->AddFaceWithID(n[0], n[1], n[2], id);
    case 3:
      return m_mesh->AddFaceWithID(n[0], n[1], n[2], n[3], id);
    case 4:
      return m_mesh->AddVolumeWithID(n[0], n[1], n[2], n[3], id);
    case 5:
      return m_mesh->AddVolumeWithID(n[0], n[1], n[2], n[3], n[4], n[5], n[6], n[7], id);
    case 6:
      return m_mesh->AddVolumeWithID(n[0], n[1], n[2], n[3], n[4], n[5], id);
    case 7:
      return m_mesh->AddVolumeWithID(n[0], n[1], n[2], n[3], n[4], id);
    default:
      return m_mesh->Add0DElement(n[0]);
    }
  }

  void startData()
  {
    m_isInData = true;
    m_tagGroup = 0;
    m_tagsLeft = -1;
    m_stringTags.clear();
    m_realTags.clear();
    m_intTags.clear();
    m_frame.Nullify();
    m_nbValuesLeft = 0;
  }

  bool readData(const char* line)
  {
    if (!m_isInData)
    {
      return true;
    }
    if (m_tagGroup < 3)
    {
      return readTag(line);
    }
    return readValues(line);
  }

  //! One line of the tag block: a count line, then that many tags, for each group.
  bool readTag(const char* line)
  {
    if (m_tagsLeft < 0)
    {
      m_tagsLeft = std::atoi(line);
    }
    else
    {
      if (m_tagGroup == 0)
      {
        std::string tag;
        for (const char* p = line; *p != '\0'; ++p)
        {
          if (*p != '"')
          {
            tag.push_back(*p);
          }
        }
        while (!tag.empty() && (tag.back() == ' ' || tag.back() == '\t' || tag.back() == '\n' ||
                                tag.back() == '\r'))
        {
          tag.pop_back();
        }
        m_stringTags.push_back(tag);
      }
      else if (m_tagGroup == 1)
      {
        m_realTags.push_back(std::atof(line));
      }
      else
      {
        m_intTags.push_back(std::atoi(line));
      }
      --m_tagsLeft;
    }
    while (m_tagGroup < 3 && m_tagsLeft == 0)
    {
      ++m_tagGroup;
      m_tagsLeft = -1;
    }
    if (m_tagGroup < 3)
    {
      return true;
    }
    return startFrame();
  }

  //! The tag block is complete: check it and build the frame.
  bool startFrame()
  {
    if (m_stringTags.empty() || m_realTags.empty() || m_intTags.size() < 3)
    {
      return false;
    }
    const int nbComponents = m_intTags[1];
    m_nbValuesLeft         = m_intTags[2];
    if (nbComponents < 1 || nbComponents > THE_MAX_COMPONENTS || m_nbValuesLeft < 0 ||
        !std::isfinite(m_realTags[0]))
    {
      return false;
    }
    m_frame =
        new algoMesh_FieldFrame(m_stringTags[0].c_str(),
                                m_section == Section_NodeData ? algoMesh_Field::Association_Node
                                                              : algoMesh_Field::Association_Element,
                                nbComponents, m_owner, m_intTags[0], m_realTags[0]);
    m_format = "%ld";
    for (int c = 0; c < nbComponents; ++c)
    {
      m_format += "\t%lf";
    }
    if (m_nbValuesLeft == 0)
    {
      m_frames.Append(m_frame);
    }
    return true;
  }

  bool readValues(const char* line)
  {
    if (m_nbValuesLeft == 0)
    {
      // Lines after the declared values are not part of the section's data.
      return true;
    }
    long      id = 0;
    double    v[THE_MAX_COMPONENTS];
    const int nbComponents = m_frame->NbComponents();
    if (std::sscanf(line, m_format.c_str(), &id, v, v + 1, v + 2, v + 3, v + 4, v + 5, v + 6, v + 7,
                    v + 8) != nbComponents + 1 ||
        !isNumber(id, "node or element number"))
    {
      return false;
    }
    m_frame->SetValues(static_cast<int>(id), v);
    if (--m_nbValuesLeft == 0)
    {
      m_frames.Append(m_frame);
    }
    return true;
  }

public:
  //! Tells how many duplicated elements were skipped past the ones told one by one.
  void tellMoreDuplicates() const
  {
    if (!m_notifier.IsNull() && m_nbDuplicates > Exchange_InputCheck::THE_WARNING_LIMIT)
    {
      ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Warning);
      message << "Skipped %1 more elements due to duplicated indices."
              << std::to_string(m_nbDuplicates - Exchange_InputCheck::THE_WARNING_LIMIT);
      m_notifier->Notify(message);
    }
  }

private:
  size_t m_nbDuplicates = 0;
  Handle(MorvDS_Mesh) m_mesh;
  NCollection_Vector<Handle(algoMesh_FieldFrame)>& m_frames;
  const Standard_GUID&                             m_owner;
  Handle(ActAPI_IProgressNotifier) m_notifier;
  std::string              m_reason;
  std::string              m_version;
  Section                  m_section = Section_None;
  bool                     m_isFirst = false;
  std::vector<std::string> m_tokens;
  // Node and element sections: the declared count and the lines read.
  int       m_nbDeclared = 0;
  long long m_nbLines    = 0;
  // Data sections.
  bool                     m_isInData = false;
  int                      m_tagGroup = 0;  //!< 0 strings, 1 reals, 2 integers, 3 values
  int                      m_tagsLeft = -1; //!< -1 while the group's count line is due
  std::vector<std::string> m_stringTags;
  std::vector<double>      m_realTags;
  std::vector<int>         m_intTags;
  Handle(algoMesh_FieldFrame) m_frame;
  int         m_nbValuesLeft = 0;
  std::string m_format;
};

} // namespace

bool algoMesh_MSH::Read(const TCollection_AsciiString& path,
                        Handle(MorvDS_Mesh) & mesh,
                        NCollection_Vector<Handle(algoMesh_FieldFrame)>& frames,
                        const Standard_GUID&                             owner,
                        const Handle(ActAPI_IProgressNotifier) & notifier)
{
  // 1. Announce the file.
  if (!notifier.IsNull())
  {
    ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Info);
    message << "Reading file '%1'." << path;
    notifier->Notify(message);
  }

  // 2. Open it. A directory or a device opens too, but holds no mesh.
  std::string reason;
  if (!Exchange_InputCheck::CheckRegularFile(path.ToCString(), ~std::uintmax_t(0), reason) &&
      reason != "no such file" && reason != "permission denied")
  {
    if (!notifier.IsNull())
    {
      ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Error);
      message << "Could not open the file for reading: %1." << reason;
      notifier->Notify(message);
    }
    return false;
  }
  FILE* file = std::fopen(path.ToCString(), "r");
  if (file == nullptr)
  {
    if (!notifier.IsNull())
    {
      ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Error);
      message << "Could not open the file for reading.";
      notifier->Notify(message);
    }
    return false;
  }

  Exchange_InputCheck::SkipByteOrderMark(file);

  // 3. Start the mesh before reading, so that a failed read leaves what it read.
  mesh = new MorvDS_Mesh(10, 10, 10, 10);
  MshReader         reader(mesh, frames, owner, notifier);
  std::vector<char> buffer(THE_LINE_SIZE);

  // 4. Handle the file line by line; a line longer than the buffer comes in pieces.
  bool   isOk      = true;
  size_t lineNo    = 0;
  bool   isNewLine = true;
  while (isOk && std::fgets(buffer.data(), THE_LINE_SIZE, file) != nullptr)
  {
    lineNo += isNewLine ? 1 : 0;
    isNewLine = std::strchr(buffer.data(), '\n') != nullptr;
    if (!notifier.IsNull() && notifier->IsCancelRequested())
    {
      isOk = false;
      break;
    }
    const char* line = buffer.data();
    if (line[0] == '\n' || line[0] == '\r' || line[0] == '\0')
    {
      continue;
    }
    isOk = line[0] == '$' ? reader.openSection(line) : reader.readLine(line);
  }

  // 5. A data section cut off by the end of the file fails the read. The line at fault
  //    is named, so that the user can find it.
  std::fclose(file);
  reader.tellMoreDuplicates();
  const bool isCancelled = !notifier.IsNull() && notifier->IsCancelRequested();
  if (!isOk && !isCancelled && !notifier.IsNull())
  {
    ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Error);
    if (!reader.ForeignVersion().empty())
    {
      message << "Line %1 of the MSH file: the file declares MSH version %2; only version 2 "
                 "is read."
              << std::to_string(lineNo) << reader.ForeignVersion();
    }
    else if (reader.Reason().empty())
    {
      message << "Line %1 of the MSH file is malformed." << std::to_string(lineNo);
    }
    else
    {
      message << "Line %1 of the MSH file: %2." << std::to_string(lineNo) << reader.Reason();
    }
    notifier->Notify(message);
  }
  if (isOk && !reader.isComplete() && !notifier.IsNull())
  {
    ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Error);
    if (reader.OpenCountedSection() != nullptr)
    {
      message << "The MSH file ends inside its %1 section." << reader.OpenCountedSection();
    }
    else
    {
      message << "The MSH file ends inside a data section.";
    }
    notifier->Notify(message);
  }
  return isOk && reader.isComplete();
}

} // namespace quorin
