#include <RPly_Reader.hxx>

#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <sstream>

namespace
{

const size_t THE_BLOCK_SIZE = size_t(1) << 20;

//! Longest ASCII number accepted; longer tokens are malformed data, not numbers.
const size_t THE_MAX_TOKEN = 512;

//! Longest header line accepted.
const size_t THE_MAX_LINE = 64 * 1024;

//! Warnings told one by one; past them, one line tells how many more there were.
const size_t THE_WARNING_LIMIT = 5;

bool parseType(const std::string& word, RPly_Type& type)
{
  static const struct
  {
    const char* name;
    RPly_Type   type;
  } names[] = {{"char", RPly_Int8},      {"int8", RPly_Int8},       {"uchar", RPly_UInt8},
               {"uint8", RPly_UInt8},    {"short", RPly_Int16},     {"int16", RPly_Int16},
               {"ushort", RPly_UInt16},  {"uint16", RPly_UInt16},   {"int", RPly_Int32},
               {"int32", RPly_Int32},    {"uint", RPly_UInt32},     {"uint32", RPly_UInt32},
               {"float", RPly_Float32},  {"float32", RPly_Float32}, {"double", RPly_Float64},
               {"float64", RPly_Float64}};
  for (const auto& entry : names)
  {
    if (word == entry.name)
    {
      type = entry.type;
      return true;
    }
  }
  return false;
}

inline bool isBlank(const char c)
{
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

inline uint16_t byteSwap(const uint16_t v)
{
  return __builtin_bswap16(v);
}
inline uint32_t byteSwap(const uint32_t v)
{
  return __builtin_bswap32(v);
}
inline uint64_t byteSwap(const uint64_t v)
{
  return __builtin_bswap64(v);
}

//! Reads a value of type T, stored in the bits of U, from unaligned bytes; `swap`
//! reverses the byte order first. Fixed-size copies compile to plain loads.
template <class T, class U> inline double loadAs(const char* p, const bool swap)
{
  U bits;
  std::memcpy(&bits, p, sizeof(U));
  if (swap)
  {
    bits = byteSwap(bits);
  }
  T value;
  std::memcpy(&value, &bits, sizeof(T));
  return static_cast<double>(value);
}

//! Decodes one binary scalar; `swap` reverses the byte order first.
inline double decode(const char* p, const RPly_Type type, const bool swap)
{
  switch (type)
  {
  case RPly_Int8:
    return static_cast<int8_t>(p[0]);
  case RPly_UInt8:
    return static_cast<uint8_t>(p[0]);
  case RPly_Int16:
    return loadAs<int16_t, uint16_t>(p, swap);
  case RPly_UInt16:
    return loadAs<uint16_t, uint16_t>(p, swap);
  case RPly_Int32:
    return loadAs<int32_t, uint32_t>(p, swap);
  case RPly_UInt32:
    return loadAs<uint32_t, uint32_t>(p, swap);
  case RPly_Float32:
    return loadAs<float, uint32_t>(p, swap);
  case RPly_Float64:
    return loadAs<double, uint64_t>(p, swap);
  }
  return 0.0;
}

bool isLittleEndianHost()
{
  const uint16_t probe = 1;
  unsigned char  first;
  std::memcpy(&first, &probe, 1);
  return first == 1;
}

//! A list length must be a non-negative integer; anything else makes the body unreadable.
bool validLength(const double value, int64_t& length)
{
  if (!(value >= 0.0) || value > 4294967295.0 || value != std::floor(value))
  {
    return false;
  }
  length = static_cast<int64_t>(value);
  return true;
}

} // namespace

RPly_Reader::RPly_Reader() = default;

RPly_Reader::~RPly_Reader()
{
  Close();
}

bool RPly_Reader::Open(const std::string& path)
{
  Close();
  m_file = std::fopen(path.c_str(), "rb");
  if (m_file == nullptr)
  {
    return fail("Cannot open '" + path + "'.");
  }
  // Some editors start text with a UTF-8 byte-order mark; the header begins after it.
  unsigned char mark[3] = {0, 0, 0};
  if (std::fread(mark, 1, 3, m_file) != 3 || mark[0] != 0xEF || mark[1] != 0xBB || mark[2] != 0xBF)
  {
    std::rewind(m_file);
  }
  m_buffer.resize(THE_BLOCK_SIZE);
  m_pos = m_end = m_buffer.data();
  m_eof         = false;
  return true;
}

bool RPly_Reader::OpenMemory(const char* data, const size_t size)
{
  Close();
  m_pos = data;
  m_end = data + size;
  m_eof = true;
  return true;
}

void RPly_Reader::Close()
{
  if (m_file != nullptr)
  {
    std::fclose(m_file);
    m_file = nullptr;
  }
  m_buffer.clear();
  m_buffer.shrink_to_fit();
  m_pos = m_end = nullptr;
  m_eof         = true;
  m_elements.clear();
  m_comments.clear();
  m_objInfos.clear();
  m_warnings.clear();
  m_headerRead = false;
}

bool RPly_Reader::fail(const std::string& message)
{
  m_error = message;
  return false;
}

// Makes at least `needed` unread bytes available, moving the unread tail to the front of
// the block buffer and filling the rest from the file. False when the data ends first.
bool RPly_Reader::refill(const size_t needed)
{
  size_t available = static_cast<size_t>(m_end - m_pos);
  if (available >= needed)
  {
    return true;
  }
  if (m_eof || m_file == nullptr)
  {
    return false;
  }
  std::memmove(m_buffer.data(), m_pos, available);
  m_pos = m_buffer.data();
  while (available < needed && !m_eof)
  {
    const size_t got =
        std::fread(m_buffer.data() + available, 1, m_buffer.size() - available, m_file);
    if (got == 0)
    {
      m_eof = true;
    }
    available += got;
  }
  m_end = m_buffer.data() + available;
  return available >= needed;
}

bool RPly_Reader::readLine(std::string& line)
{
  line.clear();
  for (;;)
  {
    if (m_pos == m_end && !refill(1))
    {
      return !line.empty();
    }
    const char* newline = static_cast<const char*>(std::memchr(m_pos, '\n', m_end - m_pos));
    const char* stop    = newline != nullptr ? newline : m_end;
    line.append(m_pos, stop);
    m_pos = newline != nullptr ? newline + 1 : m_end;
    if (line.size() > THE_MAX_LINE)
    {
      return false;
    }
    if (newline != nullptr)
    {
      if (!line.empty() && line.back() == '\r')
      {
        line.pop_back();
      }
      return true;
    }
  }
}

bool RPly_Reader::ReadHeader()
{
  if (m_pos == nullptr)
  {
    return fail("No file is open.");
  }
  std::string line;
  if (!readLine(line) || line != "ply")
  {
    return fail("The file does not start with the 'ply' magic line.");
  }
  bool   hasFormat     = false;
  size_t nbMoreUnknown = 0;
  for (;;)
  {
    if (!readLine(line))
    {
      return fail("The header ends before 'end_header'.");
    }
    std::istringstream words(line);
    std::string        keyword;
    words >> keyword;
    if (keyword.empty())
    {
      continue; // tolerate blank lines some writers leave in the header
    }
    if (keyword == "end_header")
    {
      break;
    }
    if (keyword == "comment" || keyword == "obj_info")
    {
      const size_t start = line.find_first_not_of(" \t", line.find(keyword) + keyword.size());
      (keyword == "comment" ? m_comments : m_objInfos)
          .push_back(start == std::string::npos ? std::string() : line.substr(start));
      continue;
    }
    if (keyword == "format")
    {
      std::string storage, version;
      words >> storage >> version;
      if (hasFormat)
      {
        return fail("The header has more than one 'format' line.");
      }
      if (storage == "ascii")
      {
        m_storage = RPly_Ascii;
      }
      else if (storage == "binary_little_endian")
      {
        m_storage = RPly_BinaryLE;
      }
      else if (storage == "binary_big_endian")
      {
        m_storage = RPly_BinaryBE;
      }
      else
      {
        return fail("Unknown PLY format '" + storage + "'.");
      }
      hasFormat = true;
      continue;
    }
    if (keyword == "element")
    {
      RPly_Element element;
      std::string  count;
      words >> element.Name >> count;
      const char*                  first = count.data();
      const std::from_chars_result parsed =
          std::from_chars(first, first + count.size(), element.Count);
      if (element.Name.empty() || count.empty() || parsed.ec != std::errc() ||
          parsed.ptr != first + count.size() || element.Count < 0)
      {
        return fail("Malformed element line '" + line + "'.");
      }
      m_elements.push_back(std::move(element));
      continue;
    }
    if (keyword == "property")
    {
      if (m_elements.empty())
      {
        return fail("A property is declared before any element.");
      }
      RPly_Property property;
      std::string   type;
      words >> type;
      if (type == "list")
      {
        std::string lengthType, valueType;
        words >> lengthType >> valueType >> property.Name;
        property.IsList = true;
        if (!parseType(lengthType, property.LengthType) || !parseType(valueType, property.Type) ||
            property.LengthType == RPly_Float32 || property.LengthType == RPly_Float64)
        {
          return fail("Malformed list property line '" + line + "'.");
        }
      }
      else
      {
        words >> property.Name;
        if (!parseType(type, property.Type))
        {
          return fail("Unknown property type in '" + line + "'.");
        }
      }
      if (property.Name.empty())
      {
        return fail("A property has no name in '" + line + "'.");
      }
      m_elements.back().Properties.push_back(std::move(property));
      continue;
    }
    // A line that is neither a comment nor a keyword (some exporters, Blender 2.4x among
    // them, leave one) says nothing about the layout of the data: skip it, and tell.
    // A header of thousands of such lines tells the first few and how many followed.
    if (m_warnings.size() < THE_WARNING_LIMIT)
    {
      m_warnings.push_back("Ignored the unknown header line '" + line.substr(0, 200) + "'.");
    }
    else
    {
      ++nbMoreUnknown;
    }
  }
  if (nbMoreUnknown > 0)
  {
    m_warnings.push_back("Ignored " + std::to_string(nbMoreUnknown) +
                         " more unknown header lines.");
  }
  if (!hasFormat)
  {
    return fail("The header has no 'format' line.");
  }
  m_headerRead = true;
  return true;
}

RPly_Property*
RPly_Reader::findProperty(const std::string& element, const std::string& property, int64_t& count)
{
  for (RPly_Element& candidate : m_elements)
  {
    if (candidate.Name != element)
    {
      continue;
    }
    for (RPly_Property& prop : candidate.Properties)
    {
      if (prop.Name == property)
      {
        count = candidate.Count;
        return &prop;
      }
    }
    return nullptr;
  }
  return nullptr;
}

int64_t RPly_Reader::SetReadCallback(const std::string& element,
                                     const std::string& property,
                                     RPly_ReadCallback  callback,
                                     void*              userData,
                                     const long         userIndex)
{
  int64_t        count = 0;
  RPly_Property* prop  = findProperty(element, property, count);
  if (prop == nullptr)
  {
    return 0;
  }
  prop->Callback  = callback;
  prop->WholeList = false;
  prop->UserData  = userData;
  prop->UserIndex = userIndex;
  return count;
}

int64_t RPly_Reader::SetListReadCallback(const std::string& element,
                                         const std::string& property,
                                         RPly_ReadCallback  callback,
                                         void*              userData,
                                         const long         userIndex)
{
  int64_t        count = 0;
  RPly_Property* prop  = findProperty(element, property, count);
  if (prop == nullptr || !prop->IsList)
  {
    return 0;
  }
  prop->Callback  = callback;
  prop->WholeList = true;
  prop->UserData  = userData;
  prop->UserIndex = userIndex;
  return count;
}

bool RPly_Reader::Read()
{
  if (!m_headerRead)
  {
    return fail("The header has not been read.");
  }
  for (const RPly_Element& element : m_elements)
  {
    // An element without properties occupies no bytes: its instances need no walk, and
    // walking a huge declared count of them would only waste time.
    if (element.Properties.empty() || element.Count == 0)
    {
      continue;
    }
    const bool ok =
        m_storage == RPly_Ascii ? readElementAscii(element) : readElementBinary(element);
    if (!ok)
    {
      return false;
    }
  }
  // A binary body holds exactly what the header declares. Bytes after the last element mean
  // that the data does not match it (a byte inserted, a count or a type wrong), and what was
  // read is shifted garbage that would pass for a mesh.
  if (m_storage != RPly_Ascii && hasTrailingData())
  {
    return fail("Data follows the last element the header declares: the binary data does not "
                "match the header.");
  }
  return true;
}

bool RPly_Reader::hasTrailingData()
{
  // One final line end is tolerated: some writers end every file with one.
  for (int nbLineEnds = 0; refill(1); ++nbLineEnds)
  {
    if (nbLineEnds == 2 || (*m_pos != '\n' && *m_pos != '\r'))
    {
      return true;
    }
    ++m_pos;
  }
  return false;
}

bool RPly_Reader::binaryValue(const RPly_Type type, double& value)
{
  const size_t size = static_cast<size_t>(RPly_SizeOf(type));
  if (static_cast<size_t>(m_end - m_pos) < size && !refill(size))
  {
    return false;
  }
  const bool swap = (m_storage == RPly_BinaryLE) != isLittleEndianHost();
  value           = decode(m_pos, type, swap);
  m_pos += size;
  return true;
}

bool RPly_Reader::readElementBinary(const RPly_Element& element)
{
  const bool    swap = (m_storage == RPly_BinaryLE) != isLittleEndianHost();
  RPly_Argument argument;
  argument.Element = &element;

  // Fixed-size elements nobody listens to are skipped in whole blocks.
  bool   anyCallback = false, anyList = false;
  size_t recordSize = 0;
  for (const RPly_Property& prop : element.Properties)
  {
    anyCallback |= prop.Callback != nullptr;
    anyList |= prop.IsList;
    recordSize += RPly_SizeOf(prop.Type);
  }
  if (!anyCallback && !anyList)
  {
    const uint64_t total = static_cast<uint64_t>(element.Count);
    if (total > UINT64_MAX / recordSize)
    {
      return fail("Unexpected end of data in element '" + element.Name + "'.");
    }
    uint64_t remaining = total * recordSize;
    while (remaining > 0)
    {
      if (m_pos == m_end && !refill(1))
      {
        return fail("Unexpected end of data in element '" + element.Name + "'.");
      }
      const uint64_t step = std::min<uint64_t>(remaining, static_cast<uint64_t>(m_end - m_pos));
      m_pos += step;
      remaining -= step;
    }
    return true;
  }

  for (int64_t instance = 0; instance < element.Count; ++instance)
  {
    argument.Instance = instance;
    for (const RPly_Property& prop : element.Properties)
    {
      argument.Property      = &prop;
      argument.UserData      = prop.UserData;
      argument.UserIndex     = prop.UserIndex;
      const size_t valueSize = static_cast<size_t>(RPly_SizeOf(prop.Type));
      if (!prop.IsList)
      {
        if (static_cast<size_t>(m_end - m_pos) < valueSize && !refill(valueSize))
        {
          return fail("Unexpected end of data in element '" + element.Name + "'.");
        }
        if (prop.Callback != nullptr)
        {
          argument.Length = 1;
          argument.Index  = 0;
          argument.Value  = decode(m_pos, prop.Type, swap);
          if (prop.Callback(argument) == 0)
          {
            return fail("Reading was stopped by a callback.");
          }
        }
        m_pos += valueSize;
        continue;
      }
      double  lengthValue = 0.0;
      int64_t length      = 0;
      if (!binaryValue(prop.LengthType, lengthValue))
      {
        return fail("Unexpected end of data in element '" + element.Name + "'.");
      }
      if (!validLength(lengthValue, length))
      {
        return fail("Invalid list length in element '" + element.Name + "'.");
      }
      if (prop.Callback == nullptr)
      {
        for (int64_t k = 0; k < length; ++k)
        {
          if (static_cast<size_t>(m_end - m_pos) < valueSize && !refill(valueSize))
          {
            return fail("Unexpected end of data in element '" + element.Name + "'.");
          }
          m_pos += valueSize;
        }
        continue;
      }
      argument.Length = length;
      argument.Index  = -1;
      argument.Value  = lengthValue;
      if (prop.WholeList)
      {
        // The values are collected as they are decoded, so a list can only grow as far
        // as the data present: a lying length cannot make it allocate.
        m_listValues.clear();
        if (static_cast<uint64_t>(m_end - m_pos) / valueSize >= static_cast<uint64_t>(length))
        {
          m_listValues.resize(static_cast<size_t>(length)); // the values are all present
          for (double& value : m_listValues)
          {
            value = decode(m_pos, prop.Type, swap);
            m_pos += valueSize;
          }
        }
        for (int64_t k = static_cast<int64_t>(m_listValues.size()); k < length; ++k)
        {
          if (static_cast<size_t>(m_end - m_pos) < valueSize && !refill(valueSize))
          {
            return fail("Unexpected end of data in element '" + element.Name + "'.");
          }
          m_listValues.push_back(decode(m_pos, prop.Type, swap));
          m_pos += valueSize;
        }
        argument.Values = m_listValues.data();
        if (prop.Callback(argument) == 0)
        {
          return fail("Reading was stopped by a callback.");
        }
        argument.Values = nullptr;
        continue;
      }
      if (prop.Callback(argument) == 0)
      {
        return fail("Reading was stopped by a callback.");
      }
      for (int64_t k = 0; k < length; ++k)
      {
        if (static_cast<size_t>(m_end - m_pos) < valueSize && !refill(valueSize))
        {
          return fail("Unexpected end of data in element '" + element.Name + "'.");
        }
        argument.Index = k;
        argument.Value = decode(m_pos, prop.Type, swap);
        m_pos += valueSize;
        if (prop.Callback(argument) == 0)
        {
          return fail("Reading was stopped by a callback.");
        }
      }
    }
  }
  return true;
}

// Reads the next whitespace-delimited token as a number of the given type. Integers are
// parsed as integers first (faster, exact); a token like "3.0" still reads as a number.
bool RPly_Reader::asciiValue(const RPly_Type type, double& value)
{
  // Skip blanks, refilling as needed.
  for (;;)
  {
    while (m_pos < m_end && isBlank(*m_pos))
    {
      ++m_pos;
    }
    if (m_pos < m_end || !refill(1))
    {
      break;
    }
  }
  if (m_pos == m_end)
  {
    return false;
  }
  // Find the end of the token; it must lie wholly in the buffer.
  const char* stop = m_pos;
  for (;;)
  {
    while (stop < m_end && !isBlank(*stop))
    {
      ++stop;
    }
    if (stop < m_end || m_eof || static_cast<size_t>(stop - m_pos) > THE_MAX_TOKEN)
    {
      break;
    }
    const size_t length = static_cast<size_t>(stop - m_pos);
    if (!refill(length + 1))
    {
      stop = m_end;
      break;
    }
    stop = m_pos + length;
  }
  if (static_cast<size_t>(stop - m_pos) > THE_MAX_TOKEN)
  {
    return false;
  }
  const char* first = m_pos;
  if (*first == '+')
  {
    ++first; // from_chars does not accept a leading plus sign
  }
  if (type != RPly_Float32 && type != RPly_Float64)
  {
    long long                    integer = 0;
    const std::from_chars_result parsed  = std::from_chars(first, stop, integer);
    if (parsed.ec == std::errc() && parsed.ptr == stop)
    {
      value = static_cast<double>(integer);
      m_pos = stop;
      return true;
    }
  }
  const std::from_chars_result parsed = std::from_chars(first, stop, value);
  if (parsed.ptr != stop ||
      (parsed.ec != std::errc() && parsed.ec != std::errc::result_out_of_range))
  {
    return false;
  }
  if (type == RPly_Float32)
  {
    // A float property holds a float: round the decimal text as a float reader would.
    value = std::fabs(value) <= FLT_MAX ? static_cast<double>(static_cast<float>(value)) : value;
  }
  m_pos = stop;
  return true;
}

bool RPly_Reader::readElementAscii(const RPly_Element& element)
{
  RPly_Argument argument;
  argument.Element = &element;
  for (int64_t instance = 0; instance < element.Count; ++instance)
  {
    argument.Instance = instance;
    for (const RPly_Property& prop : element.Properties)
    {
      argument.Property  = &prop;
      argument.UserData  = prop.UserData;
      argument.UserIndex = prop.UserIndex;
      if (!prop.IsList)
      {
        if (!asciiValue(prop.Type, argument.Value))
        {
          return fail("Missing or malformed value in element '" + element.Name + "'.");
        }
        argument.Length = 1;
        argument.Index  = 0;
        if (prop.Callback != nullptr && prop.Callback(argument) == 0)
        {
          return fail("Reading was stopped by a callback.");
        }
        continue;
      }
      double  lengthValue = 0.0;
      int64_t length      = 0;
      if (!asciiValue(prop.LengthType, lengthValue))
      {
        return fail("Missing or malformed value in element '" + element.Name + "'.");
      }
      if (!validLength(lengthValue, length))
      {
        return fail("Invalid list length in element '" + element.Name + "'.");
      }
      argument.Length = length;
      argument.Index  = -1;
      argument.Value  = lengthValue;
      if (prop.Callback != nullptr && prop.WholeList)
      {
        m_listValues.clear();
        for (int64_t k = 0; k < length; ++k)
        {
          double value = 0.0;
          if (!asciiValue(prop.Type, value))
          {
            return fail("Missing or malformed value in element '" + element.Name + "'.");
          }
          m_listValues.push_back(value);
        }
        argument.Values = m_listValues.data();
        if (prop.Callback(argument) == 0)
        {
          return fail("Reading was stopped by a callback.");
        }
        argument.Values = nullptr;
        continue;
      }
      if (prop.Callback != nullptr && prop.Callback(argument) == 0)
      {
        return fail("Reading was stopped by a callback.");
      }
      for (int64_t k = 0; k < length; ++k)
      {
        if (!asciiValue(prop.Type, argument.Value))
        {
          return fail("Missing or malformed value in element '" + element.Name + "'.");
        }
        argument.Index = k;
        if (prop.Callback != nullptr && prop.Callback(argument) == 0)
        {
          return fail("Reading was stopped by a callback.");
        }
      }
    }
  }
  return true;
}
