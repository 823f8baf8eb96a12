// VTK XML file checks: plain text scans for the declared counts, the array types and the
// numeric tokens, a decoding of the first bytes of each base64 block for its header, and
// one pass over the parsed points and cell arrays. Linear in the file's size.
#include <Exchange_VTKXMLCheck.hxx>

#include <Exchange_InputCheck.hxx>

#include <vtkCellArray.h>
#include <vtkDataArray.h>
#include <vtkPointSet.h>
#include <vtkPoints.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

namespace quorin
{

namespace
{

//! Largest count a file of `size` bytes may declare: compressed data expands at most about
//! a thousand times, and small files get room for a few thousand items.
long long declaredLimit(const size_t size)
{
  return 1100LL * static_cast<long long>(size) + 65536;
}

//! Checks the sizes the file declares in its XML attributes before VTK allocates them.
bool checkDeclaredSizes(const std::string& text, std::string& reason)
{
  const long long          limit        = declaredLimit(text.size());
  long long                maxCount     = 0;
  static const char* const THE_COUNTS[] = {
      "NumberOfPoints=", "NumberOfCells=", "NumberOfVerts=",  "NumberOfLines=",
      "NumberOfStrips=", "NumberOfPolys=", "NumberOfTuples=", "NumberOfComponents="};
  long long maxComponents = 1;
  for (const char* attribute : THE_COUNTS)
  {
    const size_t length = std::char_traits<char>::length(attribute);
    for (size_t at = text.find(attribute); at != std::string::npos;
         at        = text.find(attribute, at + length))
    {
      size_t p = at + length;
      if (p < text.size() && (text[p] == '"' || text[p] == '\''))
      {
        ++p;
      }
      while (p < text.size() && text[p] == ' ')
      {
        ++p;
      }
      long long value   = 0;
      bool      isDigit = false;
      bool      isNeg   = p < text.size() && text[p] == '-';
      p += isNeg ? 1 : 0;
      for (; p < text.size() && text[p] >= '0' && text[p] <= '9' && value <= limit; ++p)
      {
        value   = 10 * value + (text[p] - '0');
        isDigit = true;
      }
      if (!isDigit || isNeg || value > limit)
      {
        reason = std::string("The file declares an impossible ") +
                 std::string(attribute, length - 1) + " value.";
        return false;
      }
      if (attribute[8] == 'C' && attribute[9] == 'o') // NumberOfComponents
      {
        maxComponents = std::max(maxComponents, value);
      }
      else
      {
        maxCount = std::max(maxCount, value);
      }
    }
  }
  if (maxComponents > 4096 || maxComponents * maxCount > 16 * limit)
  {
    reason = "The file declares more values than a file of its size can hold.";
    return false;
  }
  return true;
}

//! Value of attribute `name` in the tag text, or "" (the attribute must follow a blank).
std::string attributeOf(const std::string& tag, const char* name)
{
  const std::string key = std::string(name) + "=";
  for (size_t k = tag.find(key); k != std::string::npos; k = tag.find(key, k + 1))
  {
    if (k == 0 ||
        (tag[k - 1] != ' ' && tag[k - 1] != '\t' && tag[k - 1] != '\n' && tag[k - 1] != '\r'))
    {
      continue;
    }
    const size_t start = k + key.size();
    const char   quote = start < tag.size() ? tag[start] : '\0';
    const size_t close =
        quote == '"' || quote == '\'' ? tag.find(quote, start + 1) : std::string::npos;
    return close == std::string::npos ? std::string() : tag.substr(start + 1, close - start - 1);
  }
  return std::string();
}

//! Decodes `count` bytes from base64 text starting at `at`; false when the text is short
//! or not base64.
bool decodeBase64(const std::string&          text,
                  size_t                      at,
                  const size_t                count,
                  std::vector<unsigned char>& out)
{
  out.clear();
  unsigned int bits = 0, nbBits = 0;
  for (; out.size() < count && at < text.size(); ++at)
  {
    const char c = text[at];
    int        v = -1;
    if (c >= 'A' && c <= 'Z')
      v = c - 'A';
    else if (c >= 'a' && c <= 'z')
      v = c - 'a' + 26;
    else if (c >= '0' && c <= '9')
      v = c - '0' + 52;
    else if (c == '+')
      v = 62;
    else if (c == '/')
      v = 63;
    else if (c == ' ' || c == '\n' || c == '\r' || c == '\t')
      continue;
    else
      return false;
    bits = (bits << 6) | static_cast<unsigned int>(v);
    nbBits += 6;
    if (nbBits >= 8)
    {
      nbBits -= 8;
      out.push_back(static_cast<unsigned char>((bits >> nbBits) & 0xFF));
    }
  }
  return out.size() == count;
}

//! Checks the block headers of binary and appended data: VTK allocates the block sizes they
//! declare before it decompresses anything, so they must fit what the file can expand to.
bool checkBlockHeaders(const std::string& text, std::string& reason)
{
  const size_t root = text.find("<VTKFile");
  if (root == std::string::npos)
  {
    return true; // VTK refuses the file itself
  }
  const std::string rootTag           = text.substr(root, text.find('>', root) - root);
  const bool        isWide            = attributeOf(rootTag, "header_type") == "UInt64";
  const bool        isBig             = attributeOf(rootTag, "byte_order") == "BigEndian";
  const std::string compressor        = attributeOf(rootTag, "compressor");
  const bool        compressed        = !compressor.empty();
  const bool        isKnownCompressor = !compressed || compressor == "vtkZLibDataCompressor" ||
                                 compressor == "vtkLZ4DataCompressor" ||
                                 compressor == "vtkLZMADataCompressor";
  const size_t      wordSize = isWide ? 8 : 4;
  const size_t      nbWords  = compressed ? 3 : 1;
  const long double limit    = 1100.0L * text.size() + (1 << 20);

  // VTK takes the appended data to start one character after the first non-blank that
  // follows the AppendedData tag, whatever that character is; a valid file has '_' there.
  const size_t appended = text.find("<AppendedData");
  std::string  appendedTag;
  size_t       base = std::string::npos;
  if (appended != std::string::npos)
  {
    const size_t close = text.find('>', appended);
    appendedTag        = text.substr(appended, close - appended);
    base = close == std::string::npos ? close : text.find_first_not_of(" \t\n\r", close + 1);
    if (base != std::string::npos && text[base] != '_')
    {
      reason = "The file's appended data does not start with '_'.";
      return false;
    }
    base = base == std::string::npos ? base : base + 1;
  }
  const bool isAppendedRaw = attributeOf(appendedTag, "encoding") == "raw";

  std::vector<unsigned char> header;
  size_t                     nbTableWords = 0;
  for (size_t at = text.find("<DataArray"); at != std::string::npos;
       at        = text.find("<DataArray", at + 10))
  {
    const size_t      close  = text.find('>', at);
    const std::string tag    = text.substr(at, close == std::string::npos ? close : close - at);
    const std::string format = attributeOf(tag, "format");
    size_t            start  = std::string::npos; // where the header's bytes begin
    bool              isRaw  = false;
    // VTK reads an array from the appended data whenever it has an offset, whatever its
    // format says.
    const std::string offsetText = attributeOf(tag, "offset");
    if ((format == "appended" || !offsetText.empty()) && base != std::string::npos)
    {
      const size_t offset = std::strtoull(offsetText.c_str(), nullptr, 10);
      start               = base + offset;
      isRaw               = isAppendedRaw;
      if (offsetText.empty() || offsetText.find_first_not_of("0123456789") != std::string::npos ||
          offsetText.size() > 18 || start >= text.size())
      {
        // VTK would seek outside its data and read whatever it finds there.
        reason = "The file has a data array offset outside its appended data.";
        return false;
      }
    }
    else if (format == "binary" && close != std::string::npos)
    {
      start = close + 1;
    }
    // VTK decodes nothing with a compressor it does not know, and says nothing about it
    // (text data do not use the compressor).
    if (start != std::string::npos && !isKnownCompressor)
    {
      reason = "The file names an unknown compressor '" + compressor.substr(0, 64) + "'.";
      return false;
    }
    // Reads the first `count` words of the header into `header`.
    auto readHeader = [&](const size_t count)
    {
      if (start == std::string::npos)
      {
        return false;
      }
      if (!isRaw)
      {
        return decodeBase64(text, start, count * wordSize, header);
      }
      header.assign(text.begin() + std::min(text.size(), start),
                    text.begin() + std::min(text.size(), start + count * wordSize));
      return header.size() == count * wordSize;
    };
    auto wordAt = [&](const size_t w)
    {
      long double word = 0;
      for (size_t b = 0; b < wordSize; ++b)
      {
        word = word * 256 + header[w * wordSize + (isBig ? b : wordSize - 1 - b)];
      }
      return word;
    };
    if (!readHeader(nbWords))
    {
      continue;
    }
    long double words[3] = {0, 0, 0};
    for (size_t w = 0; w < nbWords; ++w)
    {
      words[w] = wordAt(w);
    }
    // Compressed: block count, block size, last block size; raw: the byte count.
    const long double total = compressed ? words[0] * words[1] + words[2] : words[0];
    if (total > limit || words[1] > limit)
    {
      reason = "The file declares more data than a file of its size can hold.";
      return false;
    }
    // VTK divides by the block size and trusts the last block to fit in one; a header read
    // with the wrong header_type gives neither.
    if (compressed && words[0] > 0 &&
        (words[1] == 0 || words[2] > words[1] || words[0] * wordSize > text.size()))
    {
      reason = "The file's compressed block headers do not match its header_type.";
      return false;
    }
    // Without blocks, VTK takes the size of the data to be the last block's size minus a
    // full block's: any last block size then wraps around to a huge size, and VTK reads
    // blocks that do not exist.
    if (compressed && words[0] == 0 && words[2] != 0)
    {
      reason = "The file's compressed block headers declare a last block but no blocks.";
      return false;
    }
    // VTK allocates each block's compressed size before reading it: none can exceed the
    // file.
    // The block tables of a valid file do not overlap, so together they fit in it; this also
    // keeps the check linear when many arrays point at one long table.
    nbTableWords += compressed ? static_cast<size_t>(words[0]) : 0;
    if (nbTableWords * wordSize > text.size())
    {
      reason = "The file declares more data than a file of its size can hold.";
      return false;
    }
    if (compressed && words[0] > 0 && readHeader(nbWords + static_cast<size_t>(words[0])))
    {
      for (size_t w = nbWords; w < nbWords + static_cast<size_t>(words[0]); ++w)
      {
        if (wordAt(w) > text.size())
        {
          reason = "The file declares more data than a file of its size can hold.";
          return false;
        }
      }
    }
  }
  return true;
}

//! End of the markup token starting with '<' at `open`, as the XML parser delimits it:
//! quoted attribute values and bracketed declarations may hold '>'.
//! @return the position after the token, or text.size() when it does not end
size_t markupEnd(const std::string& text, const size_t open, const char*& kind)
{
  const auto endOf = [&text](const size_t from, const char* closing)
  {
    const size_t at = text.find(closing, from);
    return at == std::string::npos ? text.size() : at + std::strlen(closing);
  };
  if (text.compare(open, 4, "<!--") == 0)
  {
    kind = "an XML comment";
    return endOf(open + 4, "-->");
  }
  if (text.compare(open, 9, "<![CDATA[") == 0)
  {
    kind = "an XML character data section";
    return endOf(open + 9, "]]>");
  }
  if (text.compare(open, 2, "<?") == 0)
  {
    kind = "an XML processing instruction";
    return endOf(open + 2, "?>");
  }
  kind       = text.compare(open, 2, "<!") == 0 ? "an XML declaration" : "an XML tag";
  char quote = 0;
  int  depth = 0; // of a declaration's [...] part
  for (size_t k = open + 1; k < text.size(); ++k)
  {
    const char c = text[k];
    if (quote != 0)
    {
      quote = c == quote ? 0 : quote;
    }
    else if (c == '"' || c == '\'')
    {
      quote = c;
    }
    else if (c == '[' || c == ']')
    {
      depth += c == '[' ? 1 : -1;
    }
    else if (c == '>' && depth <= 0)
    {
      return k + 1;
    }
  }
  return text.size();
}

//! Checks that no token before the appended data is longer than VTK's XML parser takes in
//! linear time: it parses the file in blocks and starts a token that spans blocks again
//! with every block, so its time grows with the square of the token. Tokens are tags (with
//! their quoted values, which may hold '>'), comments, processing instructions,
//! declarations, entity and character references, and text outside the root element;
//! character data inside elements, plain or in a CDATA section, is passed on in pieces and
//! may be of any length.
//! Also checks the nesting depth: VTK builds and frees its element tree recursively, and a
//! file nesting elements thousands deep overflows the stack (VTK files nest fewer than 10).
bool checkTokenLengths(const std::string& text, std::string& reason)
{
  const size_t THE_TOKEN_LIMIT = size_t(1) << 20;
  const int    THE_DEPTH_LIMIT = 256;
  const size_t appended        = text.find("<AppendedData");
  const size_t end             = appended == std::string::npos ? text.size() : appended;
  int          depth           = 0;
  for (size_t p = 0; p < end;)
  {
    const char* kind  = "XML text outside its elements";
    size_t      next  = p + 1;
    bool        isTag = false;
    if (text[p] == '<')
    {
      next  = markupEnd(text, p, kind);
      isTag = std::strcmp(kind, "an XML tag") == 0;
    }
    else if (text[p] == '&')
    {
      kind = "an XML reference";
      next = std::min(text.find_first_of(";<", p), text.size());
    }
    else
    {
      next = std::min(text.find_first_of("<&", p), end);
      if (depth > 0)
      {
        p = next; // character data inside an element
        continue;
      }
    }
    const bool isInContent = depth > 0 && std::strcmp(kind, "an XML character data section") == 0;
    if (next - p > THE_TOKEN_LIMIT && !isInContent)
    {
      reason = std::string("The file has ") + kind + " longer than 1 MB.";
      return false;
    }
    if (isTag && text[next - 1] == '>')
    {
      if (text[p + 1] == '/')
      {
        --depth;
      }
      else if (text[next - 2] != '/' && ++depth > THE_DEPTH_LIMIT)
      {
        reason = "The file nests XML elements more than 256 deep.";
        return false;
      }
    }
    p = next;
  }
  return true;
}

//! Checks that every DataArray names a type VTK knows: its readers dereference the array
//! they fail to create for any other type name.
bool checkArrayTypes(const std::string& text, std::string& reason)
{
  static const char* const THE_TYPES[] = {"Int8",    "UInt8",   "Int16",  "UInt16",
                                          "Int32",   "UInt32",  "Int64",  "UInt64",
                                          "Float32", "Float64", "String", "Bit"};
  for (size_t at = text.find("<DataArray"); at != std::string::npos;
       at        = text.find("<DataArray", at + 10))
  {
    const size_t      end = text.find('>', at);
    const std::string tag =
        text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    std::string type;
    for (size_t k = tag.find("type="); k != std::string::npos; k = tag.find("type=", k + 5))
    {
      const char before = tag[k - 1];
      if (before != ' ' && before != '\t' && before != '\n' && before != '\r')
      {
        continue; // another attribute ending in "type", such as "header_type"
      }
      const char   quote = k + 5 < tag.size() ? tag[k + 5] : '\0';
      const size_t close =
          quote == '"' || quote == '\'' ? tag.find(quote, k + 6) : std::string::npos;
      type = close == std::string::npos ? "?" : tag.substr(k + 6, close - k - 6);
      break;
    }
    if (!type.empty() && std::none_of(std::begin(THE_TYPES), std::end(THE_TYPES),
                                      [&type](const char* known) { return type == known; }))
    {
      reason = "The file has a data array of unknown type '" + type + "'.";
      return false;
    }
    // VTK splits binary string data at its NUL bytes without checking what it copies: on
    // damaged data it overruns its buffers. Meshes need no strings; text ones are safe.
    if (type == "String" && attributeOf(tag, "format") != "ascii")
    {
      reason = "The file has a binary string array, which is not read.";
      return false;
    }
  }
  return true;
}

//! Checks that no data section holds two arrays of one name: VTK keeps one array per name,
//! then reads the section's arrays by position and dereferences the one it dropped. Also
//! bounds the arrays of one section: VTK looks each array up by name among the others, in
//! time that grows with the square of their number (20,000 arrays, 1.4 MB, took a minute).
bool checkArrayNames(const std::string& text, std::string& reason)
{
  const size_t THE_ARRAY_LIMIT = 1000;
  const size_t limit           = std::min(text.size(), text.find("<AppendedData"));
  for (const char* section : {"PointData", "CellData", "FieldData"})
  {
    const std::string open  = std::string("<") + section;
    const std::string close = std::string("</") + section;
    // Sections do not nest, so each search starts where the previous section ended.
    for (size_t at = text.find(open); at < limit; at = text.find(open, at))
    {
      at += open.size();
      const char next = at < text.size() ? text[at] : '\0';
      if (next != ' ' && next != '\t' && next != '\n' && next != '\r' && next != '>' && next != '/')
      {
        continue; // a longer tag name such as "PointDataX"
      }
      const size_t                    end = std::min(limit, text.find(close, at));
      std::unordered_set<std::string> names;
      for (size_t a = text.find("<DataArray", at); a < end; a = text.find("<DataArray", a + 10))
      {
        const size_t      tagEnd = std::min(end, text.find('>', a));
        const std::string name   = attributeOf(text.substr(a, tagEnd - a), "Name");
        if (!name.empty() && !names.insert(name).second)
        {
          reason =
              "The file has two data arrays named '" + name + "' in one " + section + " section.";
          return false;
        }
        if (names.size() > THE_ARRAY_LIMIT)
        {
          reason = "The file has more than " + std::to_string(THE_ARRAY_LIMIT) +
                   " data arrays in one " + section + " section.";
          return false;
        }
      }
      at = end;
    }
  }
  return true;
}

//! Checks that no ASCII data array holds an infinity or a NaN spelt the way some runtimes
//! print them ("1.#INF", "-1.#IND"): VTK's parser takes the 1 and, at the end of an
//! array, drops the rest without a word.
bool checkAsciiSpellings(const std::string& text, std::string& reason)
{
  const size_t limit = std::min(text.size(), text.find("<AppendedData"));
  for (size_t at = text.find("<DataArray"); at < limit; at = text.find("<DataArray", at + 10))
  {
    const size_t tagEnd = std::min(limit, text.find('>', at));
    if (attributeOf(text.substr(at, tagEnd - at), "format") != "ascii")
    {
      continue;
    }
    // The search stays inside the array's text, so that the check is linear in the file.
    const char* const end = text.data() + std::min(limit, text.find('<', tagEnd));
    for (const char* k = std::find(text.data() + tagEnd, end, '#'); k < end;
         k             = std::find(k + 1, end, '#'))
    {
      if (Exchange_InputCheck::IsNonFiniteTail(k, end))
      {
        reason = "An ASCII data array holds an infinity or a NaN spelt with '#' (such as "
                 "1.#INF).";
        return false;
      }
    }
    at = std::max(at, static_cast<size_t>(end - text.data()));
  }
  return true;
}

} // namespace

bool Exchange_VTKXMLCheck::CheckText(const std::string& text, std::string& reason)
{
  return checkTokenLengths(text, reason) && checkDeclaredSizes(text, reason) &&
         checkArrayTypes(text, reason) && checkArrayNames(text, reason) &&
         checkAsciiSpellings(text, reason) && checkBlockHeaders(text, reason);
}

bool Exchange_VTKXMLCheck::IsValidCellArray(vtkCellArray* cells, const vtkIdType nbPoints)
{
  if (cells == nullptr || cells->GetNumberOfCells() == 0)
  {
    return true;
  }
  if (!cells->IsValid())
  {
    return false;
  }
  vtkDataArray* connectivity = cells->GetConnectivityArray();
  if (connectivity->GetNumberOfTuples() == 0)
  {
    return true;
  }
  double range[2];
  connectivity->GetRange(range, 0);
  return range[0] >= 0.0 && range[1] < static_cast<double>(nbPoints);
}

vtkIdType Exchange_VTKXMLCheck::FirstInvalidPoint(vtkPointSet* dataSet)
{
  vtkPoints* points = dataSet->GetPoints();
  if (points == nullptr)
  {
    return -1;
  }
  for (vtkIdType i = 0; i < points->GetNumberOfPoints(); ++i)
  {
    double p[3];
    points->GetPoint(i, p);
    if (!Exchange_InputCheck::IsValidCoordinate(p[0]) ||
        !Exchange_InputCheck::IsValidCoordinate(p[1]) ||
        !Exchange_InputCheck::IsValidCoordinate(p[2]))
    {
      return i;
    }
  }
  return -1;
}

void Exchange_VTKXMLCheck::DeclaredCounts(const std::string& text,
                                          long long&         nbPoints,
                                          long long&         nbCells)
{
  nbPoints = nbCells    = -1;
  const size_t appended = text.find("<AppendedData");
  for (size_t at = text.find("<Piece"); at < appended; at = text.find("<Piece", at + 6))
  {
    const size_t      close = text.find('>', at);
    const std::string tag   = text.substr(at, close == std::string::npos ? close : close - at);
    const auto        add   = [&tag](const char* name, long long& sum)
    {
      const std::string value = attributeOf(tag, name);
      if (!value.empty())
      {
        // The sizes were bounded before VTK parsed the file, so the sum cannot overflow.
        sum = std::max(sum, 0LL) + std::strtoll(value.c_str(), nullptr, 10);
      }
    };
    add("NumberOfPoints", nbPoints);
    for (const char* cells :
         {"NumberOfCells", "NumberOfVerts", "NumberOfLines", "NumberOfStrips", "NumberOfPolys"})
    {
      add(cells, nbCells);
    }
  }
}

} // namespace quorin
