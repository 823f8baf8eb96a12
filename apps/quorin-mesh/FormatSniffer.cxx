#include "FormatSniffer.hxx"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>

namespace cli
{

namespace
{
// Enough for the header of any format of the table, and for the comment block that
// NASTRAN decks and OBJ files often start with.
constexpr size_t THE_HEAD_SIZE = 64 * 1024;

struct Head
{
  std::string    Text; //!< the first bytes of the file
  std::uintmax_t Size; //!< the size of the whole file
};

bool startsWith(const std::string& text, const char* prefix)
{
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// The head without leading blanks and a UTF-8 byte-order mark.
std::string trimmed(const std::string& text)
{
  size_t start = startsWith(text, "\xEF\xBB\xBF") ? 3 : 0;
  while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start])))
  {
    ++start;
  }
  return text.substr(start, 4096);
}

bool isText(const std::string& text)
{
  for (const char c : text)
  {
    if (c == '\0')
    {
      return false;
    }
  }
  return true;
}

// Calls `visit` with the first word (upper-cased when `upper`) and the rest of each line
// of the head, skipping the last line, which the head may cut; stops when it answers true.
template <typename Visitor> bool anyLine(const Head& head, const bool upper, Visitor visit)
{
  std::istringstream lines(head.Text);
  std::string        line;
  while (std::getline(lines, line))
  {
    if (lines.eof() && head.Size > head.Text.size())
    {
      break;
    }
    std::istringstream words(line);
    std::string        word;
    words >> word;
    if (upper)
    {
      for (char& c : word)
      {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      }
    }
    if (visit(word, words))
    {
      return true;
    }
  }
  return false;
}

bool isBinaryStl(const Head& head)
{
  if (head.Size < 84 || head.Text.size() < 84)
  {
    return false;
  }
  const auto*         bytes = reinterpret_cast<const unsigned char*>(head.Text.data()) + 80;
  const std::uint64_t count =
      bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (std::uint64_t(bytes[3]) << 24);
  return 84 + 50 * count == head.Size;
}

bool isAsciiStl(const Head& head)
{
  const std::string text = trimmed(head.Text);
  return startsWith(text, "solid") && isText(head.Text) &&
         (text.find("facet") != std::string::npos || text.find("endsolid") != std::string::npos);
}

bool isPly(const Head& head)
{
  return startsWith(head.Text, "ply\n") || startsWith(head.Text, "ply\r\n");
}

bool isStep(const Head& head)
{
  return startsWith(trimmed(head.Text), "ISO-10303-21;");
}

bool isMsh(const Head& head)
{
  return startsWith(trimmed(head.Text), "$MeshFormat");
}

bool isVtkXml(const Head& head, const char* type)
{
  const std::string text = trimmed(head.Text);
  return (startsWith(text, "<?xml") || startsWith(text, "<VTKFile")) &&
         text.find("<VTKFile") != std::string::npos &&
         text.find(std::string("type=\"") + type + "\"") != std::string::npos;
}

bool isVtp(const Head& head)
{
  return isVtkXml(head, "PolyData");
}

bool isVtu(const Head& head)
{
  return isVtkXml(head, "UnstructuredGrid");
}

bool isBRep(const Head& head)
{
  const std::string text = trimmed(head.Text);
  return startsWith(text, "DBRep_DrawableShape") || startsWith(text, "CASCADE Topology V");
}

bool isJt(const Head& head)
{
  return startsWith(head.Text, "Version 8.") || startsWith(head.Text, "Version 9.") ||
         startsWith(head.Text, "Version 10.");
}

// A bulk data card that only NASTRAN decks have, in small, large (GRID*) or free field.
bool isNastran(const Head& head)
{
  return isText(head.Text) &&
         anyLine(head, true,
                 [](const std::string& word, std::istream&)
                 {
                   const std::string card = word.substr(0, word.find_first_of(",*"));
                   return word == "BEGIN" || card == "GRID" || card == "CTRIA3" ||
                          card == "CQUAD4" || card == "CTETRA" || card == "CHEXA" ||
                          card == "CPENTA";
                 });
}

// A vertex line "v x y z" and a face line "f ..." within the head, or at least a vertex
// when the faces come later.
bool isObj(const Head& head)
{
  bool hasVertex = false;
  return isText(head.Text) && (anyLine(head, false,
                                       [&hasVertex](const std::string& word, std::istream& rest)
                                       {
                                         double x, y, z;
                                         if (word == "v" && (rest >> x >> y >> z))
                                         {
                                           hasVertex = true;
                                         }
                                         return hasVertex && word == "f";
                                       }) ||
                               hasVertex);
}

// Every line that is not blank or a comment starts with three numbers; a lone count on
// the first such line is allowed.
bool isPointText(const Head& head)
{
  if (!isText(head.Text))
  {
    return false;
  }
  int  points = 0;
  bool other  = false;
  bool first  = true;
  anyLine(head, false,
          [&](const std::string& word, std::istream& rest)
          {
            if (word.empty() || word[0] == '#' || startsWith(word, "//"))
            {
              return false;
            }
            std::istringstream number(word);
            double             x, y, z;
            const bool         isPoint = (number >> x) && number.eof() && (rest >> y >> z);
            if (isPoint)
            {
              ++points;
            }
            else if (!first || word.find_first_not_of("0123456789") != std::string::npos)
            {
              other = true;
            }
            first = false;
            return other;
          });
  return !other && points > 0;
}

struct Signature
{
  const char* Name;
  const char* Extension;
  bool (*Matches)(const Head& head);
};

// In order: exact signatures first, then the text formats told apart by their lines.
const Signature THE_SIGNATURES[] = {
    {"STL", ".stl", isBinaryStl},    // 84 + 50 bytes per triangle
    {"PLY", ".ply", isPly},          // "ply" line
    {"STEP", ".step", isStep},       // "ISO-10303-21;"
    {"MSH", ".msh", isMsh},          // "$MeshFormat"
    {"VTP", ".vtp", isVtp},          // <VTKFile type="PolyData">
    {"VTU", ".vtu", isVtu},          // <VTKFile type="UnstructuredGrid">
    {"BREP", ".brep", isBRep},       // the kernel's shape header
    {"JT", ".jt", isJt},             // "Version 8." to "Version 10."
    {"STL", ".stl", isAsciiStl},     // "solid" then facets
    {"NASTRAN", ".nas", isNastran},  // bulk data cards
    {"OBJ", ".obj", isObj},          // "v x y z" lines
    {"points", ".xyz", isPointText}, // lines of numbers
};
} // namespace

SniffedFormat SniffFormat(const std::string& path)
{
  std::ifstream file(path, std::ios::binary);
  if (!file)
  {
    return {};
  }
  Head head;
  head.Text.resize(THE_HEAD_SIZE);
  file.read(&head.Text[0], static_cast<std::streamsize>(head.Text.size()));
  head.Text.resize(static_cast<size_t>(file.gcount()));
  file.clear();
  file.seekg(0, std::ios::end);
  head.Size = static_cast<std::uintmax_t>(file.tellg());
  for (const Signature& signature : THE_SIGNATURES)
  {
    if (signature.Matches(head))
    {
      return {signature.Name, signature.Extension};
    }
  }
  return {};
}

std::string FormatOfExtension(const std::string& extension)
{
  static const std::pair<const char*, const char*> THE_EXTENSIONS[] = {
      {".stl", "STL"},     {".ply", "PLY"},   {".obj", "OBJ"},   {".nas", "NASTRAN"},
      {".bdf", "NASTRAN"}, {".msh", "MSH"},   {".vtp", "VTP"},   {".vtu", "VTU"},
      {".step", "STEP"},   {".stp", "STEP"},  {".brep", "BREP"}, {".jt", "JT"},
      {".xyz", "points"},  {".pts", "points"}};
  for (const auto& entry : THE_EXTENSIONS)
  {
    if (extension == entry.first)
    {
      return entry.second;
    }
  }
  return std::string();
}

} // namespace cli
