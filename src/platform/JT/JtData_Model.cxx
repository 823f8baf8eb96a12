// JT file header, table of contents and scene graph.
//
// The scene graph segment is a run of graph elements (nodes and attributes), a run of
// property atoms and a property table tying atoms to nodes. Each element carries its
// length, so only the fields needed here are read (ids, children, attribute ids,
// transforms, names, late-loaded references) and the rest is skipped by that length.
// Field widths that changed between versions 8, 9 and 10 are chosen from the major version.
#include <JtData_Model.hxx>

#include <JtData_Decompress.hxx>
#include <JtData_Reader.hxx>

#include <algorithm>
#include <cstring>
#include <fstream>

#include <sys/stat.h>

IMPLEMENT_STANDARD_RTTIEXT(JtData_Model, Standard_Transient)

namespace
{

const size_t THE_MAX_INFLATED = size_t(256) << 20;

struct KindOfGuid
{
  const char*            Text;
  JtData_Model::NodeKind Kind;
};

const KindOfGuid THE_NODE_KINDS[] = {
    {"10dd103e-2ac8-11d1-9b6b-0080c7bb5997", JtData_Model::NodeKind_Partition},
    {"10dd101b-2ac8-11d1-9b6b-0080c7bb5997", JtData_Model::NodeKind_Group},
    {"10dd102a-2ac8-11d1-9b6b-0080c7bb5997", JtData_Model::NodeKind_Instance},
    {"ce357244-38fb-11d1-a506-006097bdc6e1", JtData_Model::NodeKind_Part},
    {"ce357245-38fb-11d1-a506-006097bdc6e1", JtData_Model::NodeKind_MetaData},
    {"10dd102c-2ac8-11d1-9b6b-0080c7bb5997", JtData_Model::NodeKind_LOD},
    {"10dd104c-2ac8-11d1-9b6b-0080c7bb5997", JtData_Model::NodeKind_RangeLOD},
    {"10dd10f3-2ac8-11d1-9b6b-0080c7bb5997", JtData_Model::NodeKind_Switch},
    {"10dd1077-2ac8-11d1-9b6b-0080c7bb5997", JtData_Model::NodeKind_TriStripShape},
    {"10dd1046-2ac8-11d1-9b6b-0080c7bb5997", JtData_Model::NodeKind_OtherShape},
    {"10dd1048-2ac8-11d1-9b6b-0080c7bb5997", JtData_Model::NodeKind_OtherShape},
    {"98134716-0010-0818-1998-080009835d5a", JtData_Model::NodeKind_OtherShape},
    {"d239e7b6-dd77-4289-a07d-b0ee79f79494", JtData_Model::NodeKind_OtherShape},
    {"e40373c1-1ad9-11d3-9daf-00a0c9c7ddc2", JtData_Model::NodeKind_OtherShape}};

const Jt_GUID THE_TRANSFORM("10dd1083-2ac8-11d1-9b6b-0080c7bb5997");
const Jt_GUID THE_STRING_ATOM("10dd106e-2ac8-11d1-9b6b-0080c7bb5997");
const Jt_GUID THE_LATE_LOADED_ATOM("e0b05be5-fbbd-11d1-a3a7-00aa00d10954");

bool isCompressible(const int type)
{
  return (type >= 1 && type <= 4) || type == 17 || type == 18 || type == 20 || type == 24 ||
         type == 31;
}

//! Reads the small version field whose width changed: none (8), I16 (9), U8 (10).
void skipVersion(JtData_Reader& reader, const int major)
{
  if (major == 9)
    reader.I16();
  else if (major >= 10)
    reader.U8();
}

//! One element of a segment: its type and a reader confined to its body.
struct Element
{
  Jt_GUID       Type;
  JtData_Reader Body;
};

//! Reads the next element frame; answers false at the end-of-elements marker or on a
//! frame that does not fit.
bool nextElement(JtData_Reader& reader, Element& element, bool& isEnd)
{
  isEnd                = false;
  const int32_t length = reader.I32();
  if (!reader.Ok() || length < 16 || !reader.CanHold(length, 1))
    return false;
  const size_t start = reader.Position();
  element.Type       = reader.GUID();
  if (element.Type.IsEndOfElements())
  {
    isEnd = true;
    reader.Seek(start + length);
    return false;
  }
  if (length < 17)
    return false;
  element.Body =
      JtData_Reader(reader.Data() + start + 17, size_t(length) - 17, reader.IsBigEndian());
  return reader.Seek(start + length);
}

} // namespace

JtData_Model::JtData_Model()
    : myFileSize(0), myMajor(0), myMinor(0), myIsBigEndian(false), myRootId(-1)
{
}

const JtData_Model::Node* JtData_Model::FindNode(const int32_t id) const
{
  const auto found = myNodes.find(id);
  return found != myNodes.end() ? &found->second : nullptr;
}

bool JtData_Model::Transform(const int32_t id, double matrix[16]) const
{
  const auto found = myTransforms.find(id);
  if (found == myTransforms.end())
    return false;
  std::copy(found->second.begin(), found->second.end(), matrix);
  return true;
}

size_t JtData_Model::DecodeLimit(const size_t size)
{
  // Well compressed lists (constant flags, long runs) cost far less than a bit per value,
  // so the bound is generous; it only stops counts that no data of this size can hold.
  return std::min<size_t>(size_t(1) << 27, size * 64 + 65536);
}

bool JtData_Model::Read(const TCollection_AsciiString& path, std::string& error)
{
  // 1. The file and its header.
  myPath = path;
  // Checked before opening: opening a pipe would wait for a writer.
  struct stat info;
  if (::stat(path.ToCString(), &info) == 0 && !S_ISREG(info.st_mode))
  {
    error = "cannot open '" + std::string(path.ToCString()) + "': not a regular file";
    return false;
  }
  std::ifstream stream(path.ToCString(), std::ios::binary);
  if (!stream)
  {
    error = "cannot open '" + std::string(path.ToCString()) + "'";
    return false;
  }
  stream.seekg(0, std::ios::end);
  myFileSize = static_cast<uint64_t>(stream.tellg());
  stream.seekg(0);
  uint64_t tocOffset = 0;
  Jt_GUID  sceneGraph;
  if (!readHeader(stream, tocOffset, sceneGraph, error))
    return false;

  // 2. The table of contents.
  if (!readTOC(stream, tocOffset, error))
    return false;

  // 3. The scene graph segment.
  std::vector<uint8_t> payload;
  if (!mySegments.TOC().IsBound(sceneGraph))
  {
    error = "the scene graph segment is missing from the table of contents";
    return false;
  }
  if (!ReadSegment(stream, sceneGraph, payload))
  {
    error = "the scene graph segment is truncated or corrupt";
    return false;
  }
  if (!readSceneGraph(payload))
  {
    error = "the scene graph is corrupt";
    return false;
  }
  return true;
}

bool JtData_Model::readHeader(std::istream& stream,
                              uint64_t&     tocOffset,
                              Jt_GUID&      sceneGraph,
                              std::string&  error)
{
  uint8_t header[109];
  if (myFileSize < 105 || !stream.read(reinterpret_cast<char*>(header), 105))
  {
    error = "not a JT file: shorter than its header";
    return false;
  }
  // "Version M.m" followed by blanks or other text.
  if (std::memcmp(header, "Version ", 8) != 0)
  {
    error = "not a JT file: no version string";
    return false;
  }
  int  major = 0, minor = 0;
  int  pos       = 8;
  bool hasDigits = false;
  for (; pos < 80 && header[pos] >= '0' && header[pos] <= '9'; ++pos, hasDigits = true)
    major = std::min(major * 10 + (header[pos] - '0'), 1000);
  if (pos < 80 && header[pos] == '.')
    for (++pos; pos < 80 && header[pos] >= '0' && header[pos] <= '9'; ++pos)
      minor = std::min(minor * 10 + (header[pos] - '0'), 1000);
  if (!hasDigits || major < 8 || major > 10)
  {
    error = "unsupported JT version (8.x, 9.x and 10.x are read)";
    return false;
  }
  myMajor       = major;
  myMinor       = minor;
  myIsBigEndian = header[80] == 1;
  size_t size   = 105;
  if (major >= 10)
  {
    if (myFileSize < 109 || !stream.read(reinterpret_cast<char*>(header) + 105, 4))
    {
      error = "not a JT file: shorter than its header";
      return false;
    }
    size = 109;
  }
  JtData_Reader reader(header + 81, size - 81, myIsBigEndian);
  reader.I32(); // reserved
  tocOffset  = major >= 10 ? reader.U64() : static_cast<uint32_t>(reader.I32());
  sceneGraph = reader.GUID();
  return reader.Ok();
}

bool JtData_Model::readTOC(std::istream& stream, const uint64_t offset, std::string& error)
{
  const size_t entrySize = myMajor >= 10 ? 16 + 8 + 4 + 4 : 16 + 4 + 4 + 4;
  uint8_t      countBytes[4];
  stream.clear();
  if (offset > myFileSize || myFileSize - offset < 4 || !stream.seekg(std::streamoff(offset)) ||
      !stream.read(reinterpret_cast<char*>(countBytes), 4))
  {
    error = "the table of contents lies outside the file";
    return false;
  }
  JtData_Reader countReader(countBytes, 4, myIsBigEndian);
  const int32_t count = countReader.I32();
  if (count < 0 || uint64_t(count) * entrySize > myFileSize - offset - 4)
  {
    error = "the table of contents claims more entries than the file holds";
    return false;
  }
  std::vector<uint8_t> entries(size_t(count) * entrySize);
  if (!stream.read(reinterpret_cast<char*>(entries.data()), std::streamsize(entries.size())))
  {
    error = "the table of contents is truncated";
    return false;
  }
  JtData_Reader reader(entries.data(), entries.size(), myIsBigEndian);
  for (int32_t i = 0; i < count; ++i)
  {
    const Jt_GUID guid = reader.GUID();
    SegmentInfo   info;
    info.Offset = myMajor >= 10 ? reader.U64() : static_cast<uint32_t>(reader.I32());
    info.Length = reader.U32();
    info.Type   = static_cast<int>(reader.U32() >> 24);
    mySegments.ChangeTOC().Bind(guid, info);
  }
  return reader.Ok();
}

bool JtData_Model::ReadSegment(std::istream&         stream,
                               const Jt_GUID&        segment,
                               std::vector<uint8_t>& payload) const
{
  payload.clear();
  const SegmentInfo* info = mySegments.TOC().Seek(segment);
  if (info == nullptr || info->Length < 24 || info->Offset > myFileSize ||
      info->Length > myFileSize - info->Offset)
    return false;

  // 1. The whole segment, whose header must repeat the table's GUID.
  std::vector<uint8_t> bytes(info->Length);
  stream.clear();
  if (!stream.seekg(std::streamoff(info->Offset)) ||
      !stream.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size())))
    return false;
  JtData_Reader reader(bytes.data(), bytes.size(), myIsBigEndian);
  if (reader.GUID() != segment)
    return false;
  const int type = reader.I32();
  reader.I32(); // length, as in the table
  if (!reader.Ok())
    return false;

  // 2. Compressed segment types carry a compression header before their elements.
  if (!isCompressible(type))
  {
    payload.assign(bytes.begin() + 24, bytes.end());
    return true;
  }
  const int32_t flag      = reader.I32();
  const int32_t length    = reader.I32();
  const int     algorithm = reader.U8();
  if (!reader.Ok())
    return false;
  if (flag < 2 || algorithm < 2)
  {
    payload.assign(bytes.begin() + reader.Position(), bytes.end());
    return true;
  }
  if (length < 1 || !reader.CanHold(int64_t(length) - 1, 1))
    return false;
  const uint8_t* data = bytes.data() + reader.Position();
  const size_t   size = size_t(length) - 1;
  // Inflation ratios beyond these are impossible for the two formats.
  if (algorithm == 2)
    return JtData_Decompress::Zlib(data, size, std::min(THE_MAX_INFLATED, size * 1100 + 4096),
                                   payload);
  if (algorithm == 3)
    return JtData_Decompress::Xz(data, size, THE_MAX_INFLATED, payload);
  return false;
}

bool JtData_Model::readSceneGraph(const std::vector<uint8_t>& payload)
{
  JtData_Reader reader(payload.data(), payload.size(), myIsBigEndian);
  const int     major = myMajor;

  // 1. Graph elements: nodes and attributes.
  Element element{Jt_GUID(), JtData_Reader(nullptr, 0, false)};
  bool    isEnd = false;
  while (nextElement(reader, element, isEnd))
  {
    JtData_Reader& body = element.Body;
    if (element.Type == THE_TRANSFORM)
    {
      const int32_t id = body.I32();
      skipVersion(body, major);
      body.U8();  // state flags
      body.U32(); // field inhibit flags
      if (major >= 10)
        body.U32(); // field final flags
      if (major >= 9)
        skipVersion(body, major);
      const uint16_t      mask = body.U16();
      std::vector<double> matrix(16, 0.0);
      matrix[0] = matrix[5] = matrix[10] = matrix[15] = 1.0;
      for (int k = 0; k < 16; ++k)
        if ((mask & (0x8000u >> k)) != 0)
          matrix[k] = major >= 9 ? body.F64() : body.F32();
      if (body.Ok())
        myTransforms[id] = matrix;
      continue;
    }
    const KindOfGuid* kind =
        std::find_if(std::begin(THE_NODE_KINDS), std::end(THE_NODE_KINDS),
                     [&element](const KindOfGuid& k) { return Jt_GUID(k.Text) == element.Type; });
    if (kind == std::end(THE_NODE_KINDS))
      continue; // an attribute or node without geometry or children
    Node node;
    node.Kind        = kind->Kind;
    const int32_t id = body.I32();
    skipVersion(body, major);
    body.U32(); // node flags
    node.Attributes = body.VecI32();
    if (node.Kind == NodeKind_Instance)
    {
      skipVersion(body, major);
      node.Children.push_back(body.I32());
    }
    else if (node.Kind != NodeKind_TriStripShape && node.Kind != NodeKind_OtherShape)
    {
      skipVersion(body, major);
      node.Children = body.VecI32();
    }
    if (!body.Ok())
      return false;
    if (myRootId < 0)
      myRootId = id;
    myNodes[id] = std::move(node);
  }
  if (!isEnd)
    return false;

  // 2. Property atoms: names (strings) and late-loaded segment references.
  std::unordered_map<int32_t, std::string>   strings;
  std::unordered_map<int32_t, LateLoadedRef> lateLoaded;
  while (nextElement(reader, element, isEnd))
  {
    JtData_Reader& body     = element.Body;
    const bool     isString = element.Type == THE_STRING_ATOM;
    if (!isString && element.Type != THE_LATE_LOADED_ATOM)
      continue;
    const int32_t id = body.I32();
    skipVersion(body, major);
    body.U32(); // state flags
    skipVersion(body, major);
    if (isString)
    {
      std::string value = body.MbString();
      if (body.Ok())
        strings[id] = std::move(value);
    }
    else
    {
      LateLoadedRef ref;
      ref.Segment = body.GUID();
      ref.Type    = body.I32();
      if (body.Ok())
        lateLoaded[id] = ref;
    }
  }
  if (!isEnd)
    return false;

  // 3. Property table: (key, value) atom pairs per node, closed by a zero key.
  reader.I16(); // version
  const int32_t nbTables = reader.I32();
  if (!reader.Ok() || !reader.CanHold(nbTables, 8))
    return false;
  for (int32_t t = 0; t < nbTables && reader.Ok(); ++t)
  {
    const int32_t nodeId = reader.I32();
    const auto    found  = myNodes.find(nodeId);
    for (int32_t key = reader.I32(); key != 0 && reader.Ok(); key = reader.I32())
    {
      const int32_t value = reader.I32();
      if (found == myNodes.end())
        continue;
      const auto keyText = strings.find(key);
      if (keyText != strings.end() && keyText->second == "JT_PROP_NAME")
      {
        const auto name = strings.find(value);
        if (name != strings.end())
          found->second.Name = name->second;
      }
      const auto ref = lateLoaded.find(value);
      if (ref != lateLoaded.end() && ref->second.Type >= 6 && ref->second.Type <= 16)
        found->second.Geometry.push_back(ref->second);
    }
  }
  return reader.Ok() && myRootId >= 0;
}
