// Joining placed meshes merges corners through an indexed hash map keyed by position:
// the hash is the kernel's hash of the weighted coordinate sum x ln10 + y pi + z e, and two
// keys are equal when their squared distance is below 1e-14 (1e-7 squared). Points that
// are within the distance but hash to different buckets stay apart; identical points are
// always merged. Expected O(1) per corner.
//
// Reading a plain binary file (one block whose facet count matches the file size exactly)
// streams the facets through an open-addressing table of node numbers keyed by the bits of
// the three float coordinates: the mesh the kernel reader makes (nodes merged when their
// coordinates are bitwise equal, numbered in order of first appearance; facets that use a
// node twice dropped), at a fraction of its memory (about 30 bytes per triangle at the
// peak instead of 85) and in time linear in the file size. Every other file is the
// kernel's, behind guards. Before the call, binary files are walked block by block (84
// bytes read per block) so that a facet count the file cannot hold never reaches the
// kernel, which reserves memory for the count it is given, and the end of an ASCII file is
// read backwards up to its last complete line so that a final line the kernel would compare
// past its end never reaches it. After the call, a mesh with non-finite coordinates is
// refused rather than handed on.
#include <algoMesh_STL.hxx>

#include <Exchange_AtomicFile.hxx>
#include <Exchange_InputCheck.hxx>
#include <Exchange_KernelGuard.hxx>

#include <algoBase_ProgressIndicator.hxx>

#include <ActAPI_LogMessage.hxx>

#include <NCollection_IncAllocator.hxx>
#include <NCollection_IndexedMap.hxx>
#include <OSD_OpenFile.hxx>
#include <OSD_Path.hxx>
#include <RWStl.hxx>
#include <gp_Trsf.hxx>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quorin
{

namespace
{

// Triangles joined between two progress reports and cancellation polls.
constexpr int THE_JOIN_BLOCK = 65536;

// Share of a write's progress taken by joining the meshes (a hashed node merge, several
// times the kernel writer's time); the kernel's writer takes the rest.
constexpr double THE_JOIN_SHARE = 0.7;

//! Coincidence of the exchange writers: squared distance below 1e-7 squared.
const double THE_SQUARED_TOLERANCE = 9.999999999999998e-15;

struct PointHasher
{
  static int HashCode(const gp_XYZ& p, const int upper)
  {
    return ::HashCode(
        p.X() * 2.302585092994046 + p.Y() * 3.141592653589793 + p.Z() * 2.718281828459045, upper);
  }
  static bool IsEqual(const gp_XYZ& a, const gp_XYZ& b)
  {
    return (a - b).SquareModulus() < THE_SQUARED_TOLERANCE;
  }
};

Handle(algoBase_ProgressIndicator) connectIndicator(const ActAPI_ProgressEntry& progress)
{
  Handle(algoBase_ProgressIndicator) indicator = new algoBase_ProgressIndicator();
  indicator->ConnectNotifier(progress.Access());
  return indicator;
}

//! Reports a failed write with its reason (the caller knows the file).
void sendWriteError(const ActAPI_ProgressEntry& progress, const std::string& reason)
{
  ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Error);
  message << "Writing failed: %1." << reason.c_str();
  progress.SendLogMessage(message);
}

//! True when the written file has the length (binary) or the closing line (ASCII) of a
//! complete STL file of `nbTriangles` facets.
bool isCompleteStl(const std::string& path, const bool binary, const int nbTriangles)
{
  struct stat info;
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
  {
    return true;
  }
  if (binary)
  {
    return static_cast<long long>(info.st_size) == 84 + 50LL * nbTriangles;
  }
  std::ifstream file(path, std::ios::binary);
  const long    tail = static_cast<long>(std::min<long long>(info.st_size, 64));
  std::string   end(static_cast<size_t>(tail), '\0');
  file.seekg(-tail, std::ios::end);
  file.read(&end[0], tail);
  return file.good() && end.find("endsolid") != std::string::npos && end.back() == '\n';
}

void sendError(const ActAPI_ProgressEntry& progress, ActAPI_LogMessage& message)
{
  message.Severity = LogSeverity_Error;
  progress.SendLogMessage(message);
}

// A binary block is an 80-byte header, a 32-bit little-endian facet count and 50 bytes per
// facet. The kernel takes a file for ASCII when it is shorter than a header and one facet,
// or when none of its first 134 bytes lies above '~'.
const std::int64_t THE_BLOCK_HEADER_SIZE = 84;
const std::int64_t THE_FACET_SIZE        = 50;
const std::int64_t THE_MIN_BINARY_SIZE   = THE_BLOCK_HEADER_SIZE + THE_FACET_SIZE;

// The kernel reads facets in chunks of 80. Once the first chunk of a block is complete it
// reserves about 16 bytes per declared facet and keeps every chunk it can fill; a shorter
// first chunk makes it stop before either.
const std::int64_t THE_KERNEL_CHUNK = 80;

bool isBlank(const int c)
{
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

//! Binary block whose facet count exceeds what follows it in the file.
struct OverstatedBlock
{
  std::int64_t Offset    = -1; //!< byte offset of its header; -1 when there is none
  std::int64_t Declared  = 0;  //!< facets its header declares
  std::int64_t Available = 0;  //!< complete facets after its header
};

//! True when the kernel would read the file as ASCII.
bool isAsciiForKernel(std::istream& file, const std::int64_t size)
{
  unsigned char head[THE_MIN_BINARY_SIZE];
  return size < THE_MIN_BINARY_SIZE ||
         !file.seekg(0).read(reinterpret_cast<char*>(head), THE_MIN_BINARY_SIZE) ||
         std::none_of(head, head + THE_MIN_BINARY_SIZE,
                      [](const unsigned char c) { return c > '~'; });
}

//! Walks the blocks of a binary file the way the kernel reader does (blocks are
//! concatenated, blanks between them are skipped, a count below zero means no facets) and
//! finds the first block whose declared facets the rest of the file cannot hold while the
//! kernel would still start on it.
OverstatedBlock findOverstatedBlock(std::istream& file, const std::int64_t size)
{
  std::int64_t offset = 0;
  while (size - offset >= THE_BLOCK_HEADER_SIZE)
  {
    unsigned char header[THE_BLOCK_HEADER_SIZE];
    if (!file.seekg(offset).read(reinterpret_cast<char*>(header), THE_BLOCK_HEADER_SIZE))
    {
      break;
    }
    const std::int32_t count = static_cast<std::int32_t>(
        std::uint32_t(header[80]) | (std::uint32_t(header[81]) << 8) |
        (std::uint32_t(header[82]) << 16) | (std::uint32_t(header[83]) << 24));
    const std::int64_t declared  = std::max<std::int64_t>(count, 0);
    const std::int64_t available = (size - offset - THE_BLOCK_HEADER_SIZE) / THE_FACET_SIZE;
    if (declared > available)
    {
      OverstatedBlock block;
      if (available >= std::min(declared, THE_KERNEL_CHUNK))
      {
        block.Offset    = offset;
        block.Declared  = declared;
        block.Available = available;
      }
      return block;
    }
    offset += THE_BLOCK_HEADER_SIZE + declared * THE_FACET_SIZE;
    file.seekg(offset);
    for (int c = file.peek(); isBlank(c); c = file.peek())
    {
      file.get();
      ++offset;
    }
  }
  return OverstatedBlock();
}

//! Reads a file backwards from its end, one buffered chunk at a time.
class BackwardReader
{
public:
  BackwardReader(std::istream& file, const std::int64_t size) : m_file(file), m_pos(size) {}

  //! The byte before the current position, or -1 at the start of the file.
  int Previous()
  {
    if (m_pos == 0)
    {
      return -1;
    }
    --m_pos;
    if (m_pos < m_chunkStart || m_chunkStart < 0)
    {
      m_chunkStart = std::max<std::int64_t>(m_pos - THE_CHUNK_SIZE + 1, 0);
      m_file.clear();
      m_file.seekg(m_chunkStart).read(m_chunk, m_pos - m_chunkStart + 1);
    }
    return static_cast<unsigned char>(m_chunk[m_pos - m_chunkStart]);
  }

private:
  static const std::int64_t THE_CHUNK_SIZE = 4096;
  std::istream&             m_file;
  std::int64_t              m_pos;
  std::int64_t              m_chunkStart = -1;
  char                      m_chunk[THE_CHUNK_SIZE];
};

//! One line read backwards: its first bytes after the leading blanks and its length
//! without them.
struct LineStart
{
  std::string Head;
  size_t      Length = 0;
};

//! Reads the line that ends at the reader's position backwards, and the newline before it.
LineStart previousLine(BackwardReader& reader, const size_t headSize, bool& atStart)
{
  std::string reversed; // read order, trimmed to the bytes nearest the line's start
  size_t      length = 0;
  size_t      blanks = 0; // blanks read since the last other byte
  int         c      = reader.Previous();
  for (; c >= 0 && c != '\n'; c = reader.Previous())
  {
    if (isBlank(c))
    {
      ++blanks;
      continue;
    }
    reversed.append(blanks, ' ');
    reversed.push_back(static_cast<char>(c));
    length += blanks + 1;
    blanks = 0;
    if (reversed.size() > 2 * headSize)
    {
      reversed.erase(0, reversed.size() - headSize);
    }
  }
  atStart = c < 0;
  LineStart line;
  line.Head.assign(reversed.rbegin(), reversed.rend());
  line.Head.resize(std::min(line.Head.size(), headSize));
  line.Length = length;
  return line;
}

//! True when an ASCII file ends in a line without a newline that the kernel would compare
//! past its end. The kernel keeps such a line unterminated and compares it with its
//! keywords over their full length: a blank line, or a line cut inside a keyword, makes it
//! read beyond its buffer. A blank last line is harmless after "endsolid", where the
//! kernel skips blanks instead.
bool hasUnterminatedKeywordTail(std::istream& file, const std::int64_t size)
{
  static const char* const THE_KEYWORDS[] = {"solid",   "facet normal", "outer loop", "vertex",
                                             "endloop", "endfacet",     "endsolid"};
  const size_t             THE_HEAD_SIZE  = 16;

  file.clear();
  if (size == 0 || file.seekg(size - 1).peek() == '\n')
  {
    return false;
  }
  BackwardReader  reader(file, size);
  bool            atStart = false;
  const LineStart tail    = previousLine(reader, THE_HEAD_SIZE, atStart);
  if (tail.Length > 0)
  {
    return std::any_of(std::begin(THE_KEYWORDS), std::end(THE_KEYWORDS),
                       [&tail](const char* keyword)
                       {
                         return tail.Length < std::strlen(keyword) &&
                                strncasecmp(tail.Head.c_str(), keyword, tail.Length) == 0;
                       });
  }
  LineStart before;
  while (before.Length == 0 && !atStart)
  {
    before = previousLine(reader, THE_HEAD_SIZE, atStart);
  }
  return strncasecmp(before.Head.c_str(), "endsolid", 8) != 0;
}

//! Decoder of a plain binary file: one 84-byte header and exactly as many 50-byte facets as
//! the header declares. Nodes are merged when their three float coordinates are bitwise
//! equal, through an open-addressing table of node numbers with linear probing kept at
//! most half full; the coordinates stay as the file's floats until the mesh is built.
class PlainBinaryReader
{
public:
  enum Status
  {
    Status_Done,
    Status_NonFinite, //!< a coordinate is NaN or infinite; nothing is built
    Status_Cancelled,
    Status_Failed //!< the file could not be read to its end
  };

  //! Reads the facets that follow the header of an open file. `result` is null when no
  //! facet survives (every one used a node twice).
  Status Read(FILE*                       file,
              const std::uint32_t         nbFacets,
              const ActAPI_ProgressEntry& progress,
              Handle(Poly_Triangulation) & result)
  {
    // 1. Size the table for a closed surface, which has about half as many nodes as facets.
    const size_t expected = nbFacets / 2 + 64;
    m_coords.reserve(3 * expected);
    resizeTable(2 * expected);
    result = new Poly_Triangulation();
    result->ResizeTriangles(static_cast<int>(nbFacets), false);

    // 2. Stream the facets in blocks; within a block the table slot of each corner is
    //    requested from memory a few corners ahead of its look-up, so that the latency of
    //    the scattered table accesses overlaps.
    std::vector<char>          records(THE_FACET_SIZE * THE_BLOCK);
    std::vector<std::uint32_t> corners(9 * THE_BLOCK);
    std::vector<std::uint32_t> hashes(3 * THE_BLOCK);
    int                        nbKept = 0;
    progress.Init("Reading STL", 100);
    for (std::uint32_t first = 0; first < nbFacets;)
    {
      const size_t count = std::min<size_t>(THE_BLOCK, nbFacets - first);
      if (std::fread(records.data(), THE_FACET_SIZE, count, file) != count)
      {
        result.Nullify();
        return Status_Failed;
      }
      for (size_t f = 0; f < count; ++f)
      {
        std::memcpy(&corners[9 * f], records.data() + THE_FACET_SIZE * f + 12, 36);
      }
      const size_t nbCorners = 3 * count;
      for (size_t k = 0; k < nbCorners; ++k)
      {
        const std::uint32_t* bits = &corners[3 * k];
        if (!isFinite(bits[0]) || !isFinite(bits[1]) || !isFinite(bits[2]))
        {
          result.Nullify();
          return Status_NonFinite;
        }
        hashes[k] = hashOf(bits);
      }
      for (size_t f = 0; f < count; ++f)
      {
        int nodes[3];
        for (size_t c = 0; c < 3; ++c)
        {
          const size_t k = 3 * f + c;
          if (k + THE_LOOK_AHEAD < nbCorners)
          {
            __builtin_prefetch(&m_slots[hashes[k + THE_LOOK_AHEAD] & m_mask]);
          }
          nodes[c] = nodeOf(&corners[3 * k], hashes[k]);
        }
        if (nodes[0] != nodes[1] && nodes[0] != nodes[2] && nodes[1] != nodes[2])
        {
          result->SetTriangle(++nbKept, Poly_Triangle(nodes[0], nodes[1], nodes[2]));
        }
      }
      first += static_cast<std::uint32_t>(count);
      progress.SetProgress(static_cast<int>(100.0 * first / nbFacets));
      if (progress.IsCancelling())
      {
        result.Nullify();
        return Status_Cancelled;
      }
    }

    // 3. Build the nodes once the table is released, and cut the triangles to the kept ones.
    std::vector<std::uint32_t>().swap(m_slots);
    if (nbKept == 0)
    {
      result.Nullify();
      return Status_Done;
    }
    const int nbNodes = static_cast<int>(m_coords.size() / 3);
    result->ResizeNodes(nbNodes, false);
    for (int i = 0; i < nbNodes; ++i)
    {
      float xyz[3];
      std::memcpy(xyz, &m_coords[3 * size_t(i)], sizeof(xyz));
      result->SetNode(i + 1, gp_Pnt(xyz[0], xyz[1], xyz[2]));
    }
    std::vector<std::uint32_t>().swap(m_coords);
    if (nbKept < result->NbTriangles())
    {
      result->ResizeTriangles(nbKept, true);
    }
    return Status_Done;
  }

private:
  static constexpr size_t THE_FACET_SIZE = 50;
  static constexpr size_t THE_BLOCK      = 1 << 15; //!< facets decoded at once
  static constexpr size_t THE_LOOK_AHEAD = 16;

  static bool isFinite(const std::uint32_t bits) { return (bits & 0x7F800000u) != 0x7F800000u; }

  static std::uint32_t hashOf(const std::uint32_t* bits)
  {
    std::uint64_t h = bits[0] * 0x9E3779B97F4A7C15ull ^ bits[1] * 0xC2B2AE3D27D4EB4Full ^
                      bits[2] * 0x165667B19E3779F9ull;
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 32;
    return static_cast<std::uint32_t>(h);
  }

  //! Number (from 1) of the node with these coordinates, added when new.
  int nodeOf(const std::uint32_t* bits, const std::uint32_t hash)
  {
    for (size_t slot = hash & m_mask;; slot = (slot + 1) & m_mask)
    {
      const std::uint32_t node = m_slots[slot];
      if (node == 0)
      {
        m_coords.insert(m_coords.end(), bits, bits + 3);
        const std::uint32_t added = static_cast<std::uint32_t>(m_coords.size() / 3);
        m_slots[slot]             = added;
        if (2 * size_t(added) > m_slots.size())
        {
          resizeTable(2 * m_slots.size());
        }
        return static_cast<int>(added);
      }
      const std::uint32_t* stored = &m_coords[3 * size_t(node - 1)];
      if (stored[0] == bits[0] && stored[1] == bits[1] && stored[2] == bits[2])
      {
        return static_cast<int>(node);
      }
    }
  }

  //! Makes the table a power of two of at least `capacity` slots and re-enters the nodes.
  void resizeTable(const size_t capacity)
  {
    size_t size = 1024;
    while (size < capacity)
    {
      size *= 2;
    }
    m_slots.assign(size, 0);
    m_mask                = size - 1;
    const size_t nbStored = m_coords.size() / 3;
    for (size_t i = 0; i < nbStored; ++i)
    {
      size_t slot = hashOf(&m_coords[3 * i]) & m_mask;
      while (m_slots[slot] != 0)
      {
        slot = (slot + 1) & m_mask;
      }
      m_slots[slot] = static_cast<std::uint32_t>(i + 1);
    }
  }

  std::vector<std::uint32_t> m_coords; //!< float bits of the nodes, three per node
  std::vector<std::uint32_t> m_slots;  //!< node number per slot, 0 when free
  size_t                     m_mask = 0;
};

//! Facet count in the header of a binary block at the start of the file; 0 when it is
//! negative for the kernel, which reads it as a signed number.
std::uint32_t declaredFacets(std::istream& file)
{
  unsigned char count[4] = {};
  file.clear();
  file.seekg(80).read(reinterpret_cast<char*>(count), sizeof(count));
  const std::uint32_t value = std::uint32_t(count[0]) | (std::uint32_t(count[1]) << 8) |
                              (std::uint32_t(count[2]) << 16) | (std::uint32_t(count[3]) << 24);
  return value > 0x7FFFFFFFu ? 0 : value;
}

//! Reads a plain binary file without the kernel. Answers false when the file is to be
//! left to the kernel after all: it has a non-finite coordinate (so that the refusal names
//! the nodes as the kernel's mesh has them) or it could not be read to its end.
bool readPlainBinary(const TCollection_AsciiString& path,
                     const std::uint32_t            nbFacets,
                     const ActAPI_ProgressEntry&    progress,
                     Handle(Poly_Triangulation) & result)
{
  FILE* file = OSD_OpenFile(path, "rb");
  if (file == nullptr)
  {
    return false;
  }
  PlainBinaryReader         reader;
  PlainBinaryReader::Status status = PlainBinaryReader::Status_Failed;
  if (std::fseek(file, static_cast<long>(THE_BLOCK_HEADER_SIZE), SEEK_SET) == 0)
  {
    status = reader.Read(file, nbFacets, progress, result);
  }
  std::fclose(file);
  return status == PlainBinaryReader::Status_Done || status == PlainBinaryReader::Status_Cancelled;
}

int countInvalidNodes(const Handle(Poly_Triangulation) & mesh)
{
  int count = 0;
  for (int i = 1; i <= mesh->NbNodes(); ++i)
  {
    const gp_Pnt p = mesh->Node(i);
    count += Exchange_InputCheck::IsValidCoordinate(p.X()) &&
                     Exchange_InputCheck::IsValidCoordinate(p.Y()) &&
                     Exchange_InputCheck::IsValidCoordinate(p.Z())
                 ? 0
                 : 1;
  }
  return count;
}

//! Where the first invalid coordinate of a file lies: "line N" of an ASCII file, "facet N"
//! of a binary one; "" when not found.
std::string firstInvalidRecord(const std::string& path)
{
  std::ifstream file(path, std::ios::binary);
  file.seekg(0, std::ios::end);
  const std::int64_t size = static_cast<std::int64_t>(file.tellg());
  if (isAsciiForKernel(file, size))
  {
    file.clear();
    file.seekg(0);
    std::string line;
    for (size_t lineNo = 1; std::getline(file, line); ++lineNo)
    {
      const size_t at = line.find("vertex");
      if (at == std::string::npos)
      {
        continue;
      }
      const char* p   = line.data() + at + 6;
      const char* end = line.data() + line.size();
      for (int axis = 0; axis < 3; ++axis)
      {
        if (Exchange_InputCheck::ScanNumber(p, end) == Exchange_InputCheck::Number::Invalid)
        {
          return "line " + std::to_string(lineNo);
        }
      }
    }
    return std::string();
  }
  // Facets of the first block: normal and three vertices of three floats, then 2 bytes.
  file.clear();
  file.seekg(THE_BLOCK_HEADER_SIZE);
  char facet[THE_FACET_SIZE];
  for (std::int64_t k = 1; file.read(facet, THE_FACET_SIZE); ++k)
  {
    for (int v = 3; v < 12; ++v)
    {
      float value;
      std::memcpy(&value, facet + 4 * v, 4);
      if (!std::isfinite(value))
      {
        return "facet " + std::to_string(k);
      }
    }
  }
  return std::string();
}

//! Removes a temporary file when it goes out of scope.
struct TemporaryFile
{
  std::string Path;
  ~TemporaryFile()
  {
    if (!Path.empty())
    {
      std::remove(Path.c_str());
    }
  }
};

bool endsWithNewline(std::istream& file, const std::int64_t size)
{
  file.clear();
  return file.seekg(size - 1).peek() == '\n';
}

//! Copies a file into the temporary folder with a newline added at its end: the kernel's
//! ASCII reader compares an unterminated last line with its keywords past the line's end.
//! @return the copy's path (the caller removes it), or "" when it cannot be made
std::string copyWithFinalNewline(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  const char*   folder = std::getenv("TMPDIR");
  std::string   name =
      std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/quorin-input-XXXXXX";
  const int fd = ::mkstemp(&name[0]);
  if (fd < 0)
  {
    return std::string();
  }
  ::close(fd);
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out << in.rdbuf() << '\n';
  out.close();
  if (in.bad() || !out)
  {
    std::remove(name.c_str());
    return std::string();
  }
  return name;
}

} // namespace

bool algoMesh_STL::Read(const TCollection_AsciiString& path,
                        Handle(Poly_Triangulation) & result,
                        ActAPI_ProgressEntry progress)
{
  result.Nullify();

  // 1. Refuse what is no readable regular file, and what would make the kernel reader
  //    misbehave. A binary block that declares more facets than the file holds would have
  //    it reserve memory for all of them (gigabytes for a count near 2^31) and fill the
  //    mesh with whatever bytes follow the header; an ASCII file that ends inside a keyword
  //    would have it read past its buffer, and so would any other unterminated last line,
  //    so such a file is read from a copy with a newline added. A UTF-8 byte-order mark before
  //    ASCII text would make the kernel take the file for binary: such a file is read from a copy
  //    without it.
  std::string reason;
  if (!Exchange_InputCheck::CheckRegularFile(path.ToCString(), ~std::uintmax_t(0), reason))
  {
    ActAPI_LogMessage message;
    message << "The file cannot be read: %1." << reason;
    sendError(progress, message);
    return false;
  }
  TemporaryFile copy{Exchange_InputCheck::CopyWithoutByteOrderMark(path.ToCString())};
  TemporaryFile terminated;
  std::string   readPath = copy.Path.empty() ? std::string(path.ToCString()) : copy.Path;
  std::ifstream file;
  OSD_OpenStream(file, readPath.c_str(), std::ios::in | std::ios::binary);
  bool isAscii = false;
  if (file.is_open() && file.seekg(0, std::ios::end))
  {
    const std::int64_t size = static_cast<std::int64_t>(file.tellg());
    isAscii                 = isAsciiForKernel(file, size);
    if (!isAscii)
    {
      const std::uint32_t nbFacets = declaredFacets(file);
      if (nbFacets > 0 && size == THE_BLOCK_HEADER_SIZE + THE_FACET_SIZE * nbFacets)
      {
        if (readPlainBinary(path, nbFacets, progress, result))
        {
          if (result.IsNull() && !progress.IsCancelling())
          {
            ActAPI_LogMessage message;
            message << "The file holds no readable STL facets.";
            sendError(progress, message);
          }
          return !result.IsNull();
        }
      }
      const OverstatedBlock overstated = findOverstatedBlock(file, size);
      if (overstated.Offset >= 0)
      {
        ActAPI_LogMessage message;
        message << "Corrupted binary STL file: the block at byte %1 declares %2 facets, but the "
                   "rest of the file holds at most %3."
                << std::to_string(overstated.Offset) << std::to_string(overstated.Declared)
                << std::to_string(overstated.Available);
        sendError(progress, message);
        return false;
      }
    }
    else if (hasUnterminatedKeywordTail(file, size))
    {
      ActAPI_LogMessage message;
      message
          << "Truncated ASCII STL file: its last line has no newline and stops short of a keyword.";
      sendError(progress, message);
      return false;
    }
    else if (size > 0 && !endsWithNewline(file, size))
    {
      terminated.Path = copyWithFinalNewline(readPath);
      if (terminated.Path.empty())
      {
        ActAPI_LogMessage message;
        message << "The file cannot be read: no temporary copy could be made.";
        sendError(progress, message);
        return false;
      }
      readPath = terminated.Path;
    }
  }
  file.close();

  // 2. Decode with the kernel.
  Handle(algoBase_ProgressIndicator) indicator = connectIndicator(progress);
  std::string failure;
  Exchange_KernelGuard::Run(
      [&]()
      {
        result = RWStl::ReadFile(OSD_Path(readPath.c_str()), indicator->Start());
        return !result.IsNull();
      },
      failure);
  if (result.IsNull())
  {
    if (!progress.IsCancelling())
    {
      ActAPI_LogMessage message;
      message << (failure.empty() ? std::string("The file holds no readable STL facets.")
                                  : "Reading STL: " + failure + ".");
      sendError(progress, message);
    }
    return false;
  }

  // 3. Binary files store IEEE floats as they are and the ASCII parser turns an overflowing
  //    number into infinity; geometry built on such a node is meaningless. The ASCII parser
  //    also reads an infinity spelt "1.#INF" (or a NaN spelt "1.#IND") as 1: the vertex lines
  //    are scanned for such words, only when the file holds a '#' at all.
  int         nbInvalid = countInvalidNodes(result);
  std::string record;
  if (nbInvalid == 0 && isAscii && Exchange_InputCheck::FileHoldsByte(readPath, '#'))
  {
    record    = firstInvalidRecord(readPath);
    nbInvalid = record.empty() ? 0 : 1;
  }
  if (nbInvalid > 0)
  {
    result.Nullify();
    if (record.empty())
    {
      record = firstInvalidRecord(readPath);
    }
    ActAPI_LogMessage message;
    if (record.empty())
    {
      message << "The STL file has %1 nodes with coordinates that are not finite numbers of at "
                 "most 3.4e38."
              << nbInvalid;
    }
    else
    {
      message << "At %1 of the STL file: a coordinate is not a finite number of at most 3.4e38."
              << record;
    }
    sendError(progress, message);
    return false;
  }
  return true;
}

Handle(Poly_Triangulation)
    algoMesh_STL::Join(const NCollection_Vector<Handle(Poly_Triangulation)>& meshes,
                       const NCollection_Vector<TopLoc_Location>&            locations)
{
  return Join(meshes, locations,
              algoMesh_ProgressScope(ActAPI_ProgressEntry(), TCollection_AsciiString()));
}

Handle(Poly_Triangulation)
    algoMesh_STL::Join(const NCollection_Vector<Handle(Poly_Triangulation)>& meshes,
                       const NCollection_Vector<TopLoc_Location>&            locations,
                       algoMesh_ProgressScope                                progress)
{
  // Map cells come from an incremental allocator and the buckets are sized for the input
  // nodes up front: half a million separate allocations, rehashes and frees dominated the
  // join otherwise. Triangles go straight into the result, whose triangle count is known;
  // its nodes are allocated once the map knows how many there are.
  int nbInputNodes = 0, nbInputTriangles = 0;
  for (int i = 0; i < meshes.Length(); ++i)
  {
    const Handle(Poly_Triangulation)& mesh = meshes.Value(i);
    nbInputNodes += mesh.IsNull() ? 0 : mesh->NbNodes();
    nbInputTriangles += mesh.IsNull() ? 0 : mesh->NbTriangles();
  }
  NCollection_IndexedMap<gp_XYZ, PointHasher> nodes(std::max(nbInputNodes, 1),
                                                    new NCollection_IncAllocator());
  Handle(Poly_Triangulation) result = new Poly_Triangulation();
  if (nbInputTriangles > 0)
  {
    result->ResizeTriangles(nbInputTriangles, false);
  }
  progress.SetTotal(nbInputTriangles);
  int nbJoined = 0;
  for (int i = 0; i < meshes.Length(); ++i)
  {
    const Handle(Poly_Triangulation)& mesh = meshes.Value(i);
    if (mesh.IsNull())
    {
      continue;
    }
    const gp_Trsf trsf = i < locations.Length() ? locations.Value(i).Transformation() : gp_Trsf();
    for (int t = 1; t <= mesh->NbTriangles(); ++t)
    {
      int corners[3];
      mesh->Triangle(t).Get(corners[0], corners[1], corners[2]);
      int joined[3];
      for (int k = 0; k < 3; ++k)
      {
        gp_XYZ point = mesh->Node(corners[k]).XYZ();
        trsf.Transforms(point);
        joined[k] = nodes.Add(point);
      }
      result->SetTriangle(++nbJoined, Poly_Triangle(joined[0], joined[1], joined[2]));
      if (nbJoined % THE_JOIN_BLOCK == 0)
      {
        progress.SetDone(nbJoined);
        if (progress.IsCancelled())
        {
          return Handle(Poly_Triangulation)();
        }
      }
    }
  }
  if (nodes.IsEmpty())
  {
    return Handle(Poly_Triangulation)();
  }
  result->ResizeNodes(nodes.Extent(), false);
  for (int k = 1; k <= nodes.Extent(); ++k)
  {
    result->SetNode(k, gp_Pnt(nodes.FindKey(k)));
  }
  return result;
}

core_ExportStatus algoMesh_STL::Write(const NCollection_Vector<Handle(Poly_Triangulation)>& meshes,
                                      const NCollection_Vector<TopLoc_Location>& locations,
                                      const TCollection_AsciiString&             path,
                                      ActAPI_ProgressEntry                       progress,
                                      const bool                                 binary)
{
  // 1. Join the placed meshes with coincident nodes merged, in the first share of the
  //    progress.
  algoMesh_ProgressScope       scope(progress, TCollection_AsciiString());
  const algoMesh_ProgressScope joining    = scope.Next(THE_JOIN_SHARE);
  const Handle(Poly_Triangulation) joined = Join(meshes, locations, joining);
  if (joining.IsCancelled())
  {
    return ExportStatus_Failed;
  }
  if (joined.IsNull())
  {
    return ExportStatus_NoData;
  }

  // 2. Bridge the kernel writer's progress into the rest.
  Handle(algoBase_ProgressIndicator) indicator = connectIndicator(scope.Next(1.0).Entry());

  // 3. Encode into a temporary file beside the target.
  Exchange_AtomicFile output(path.ToCString(), Exchange_AtomicFile::Access_Path);
  if (!output.IsOpen())
  {
    sendWriteError(progress, output.Error());
    return ExportStatus_Failed;
  }
  const OSD_Path file(output.TempPath().c_str());
  errno              = 0; // the kernel writer reports no reason; its failed write's is kept
  const bool written = binary ? RWStl::WriteBinary(joined, file, indicator->Start())
                              : RWStl::WriteAscii(joined, file, indicator->Start());
  if (!written)
  {
    if (!progress.IsCancelling())
    {
      sendWriteError(progress, Exchange_AtomicFile::ErrorText(errno));
    }
    return ExportStatus_Failed;
  }

  // 4. The kernel writer does not check its final flush: a file cut short by a full disk
  //    lacks its last bytes, which a complete file always has.
  if (!isCompleteStl(output.TempPath(), binary, joined->NbTriangles()) || !output.Commit())
  {
    sendWriteError(progress,
                   output.Error().empty() ? "no space left on the device" : output.Error());
    return ExportStatus_Failed;
  }
  return ExportStatus_Ok;
}

core_ExportStatus algoMesh_STL::Write(const Handle(Poly_Triangulation) & mesh,
                                      const TCollection_AsciiString& path,
                                      ActAPI_ProgressEntry           progress,
                                      const bool                     binary)
{
  NCollection_Vector<Handle(Poly_Triangulation)> meshes;
  NCollection_Vector<TopLoc_Location>            locations;
  meshes.Append(mesh);
  locations.Append(TopLoc_Location());
  return Write(meshes, locations, path, progress, binary);
}

} // namespace quorin
