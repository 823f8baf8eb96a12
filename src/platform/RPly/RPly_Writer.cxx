#include <RPly_Writer.hxx>

#include <charconv>
#include <cmath>
#include <cstring>

namespace
{

const size_t THE_BLOCK_SIZE = size_t(1) << 20;

const char* typeName(const RPly_Type type)
{
  static const char* names[] = {"char", "uchar", "short", "ushort",
                                "int",  "uint",  "float", "double"};
  return names[type];
}

//! Truncates toward zero and clamps to [lo, hi]; NaN gives 0.
inline int64_t clampInteger(const double value, const double lo, const double hi)
{
  if (!(value == value))
  {
    return 0;
  }
  return static_cast<int64_t>(std::max(lo, std::min(hi, value)));
}

bool isLittleEndianHost()
{
  const uint16_t probe = 1;
  unsigned char  first;
  std::memcpy(&first, &probe, 1);
  return first == 1;
}

} // namespace

RPly_Writer::~RPly_Writer()
{
  if (m_file != nullptr)
  {
    std::fclose(m_file);
  }
}

bool RPly_Writer::fail(const std::string& message)
{
  m_error = message;
  return false;
}

bool RPly_Writer::ioFail()
{
  m_failed = true;
  return fail("Cannot write to the file.");
}

bool RPly_Writer::Create(const std::string& path, const RPly_Storage storage)
{
  if (m_file != nullptr)
  {
    return fail("A file is already open.");
  }
  m_file = std::fopen(path.c_str(), "wb");
  if (m_file == nullptr)
  {
    return fail("Cannot create '" + path + "'.");
  }
  m_storage = storage;
  m_buffer.resize(THE_BLOCK_SIZE);
  return true;
}

bool RPly_Writer::AddElement(const std::string& name, const int64_t count)
{
  if (m_file == nullptr || m_headerWritten || count < 0 || name.empty() ||
      name.find_first_of(" \t\r\n") != std::string::npos)
  {
    return fail("Cannot declare element '" + name + "'.");
  }
  RPly_Element element;
  element.Name  = name;
  element.Count = count;
  m_elements.push_back(std::move(element));
  return true;
}

bool RPly_Writer::AddScalarProperty(const std::string& name, const RPly_Type type)
{
  if (m_elements.empty() || m_headerWritten || name.empty())
  {
    return fail("Cannot declare property '" + name + "'.");
  }
  RPly_Property property;
  property.Name = name;
  property.Type = type;
  m_elements.back().Properties.push_back(std::move(property));
  return true;
}

bool RPly_Writer::AddListProperty(const std::string& name,
                                  const RPly_Type    lengthType,
                                  const RPly_Type    type)
{
  if (m_elements.empty() || m_headerWritten || name.empty() || lengthType == RPly_Float32 ||
      lengthType == RPly_Float64)
  {
    return fail("Cannot declare list property '" + name + "'.");
  }
  RPly_Property property;
  property.Name       = name;
  property.IsList     = true;
  property.LengthType = lengthType;
  property.Type       = type;
  m_elements.back().Properties.push_back(std::move(property));
  return true;
}

bool RPly_Writer::AddComment(const std::string& text)
{
  if (m_headerWritten || text.find('\n') != std::string::npos)
  {
    return fail("Cannot add a comment.");
  }
  m_comments.push_back(text);
  return true;
}

bool RPly_Writer::AddObjInfo(const std::string& text)
{
  if (m_headerWritten || text.find('\n') != std::string::npos)
  {
    return fail("Cannot add an obj_info line.");
  }
  m_objInfos.push_back(text);
  return true;
}

bool RPly_Writer::flush()
{
  if (m_used > 0 && std::fwrite(m_buffer.data(), 1, m_used, m_file) != m_used)
  {
    m_used = 0;
    return ioFail();
  }
  m_used = 0;
  return true;
}

bool RPly_Writer::put(const char* data, const size_t size)
{
  if (m_used + size > m_buffer.size() && !flush())
  {
    return false;
  }
  if (size > m_buffer.size())
  {
    return std::fwrite(data, 1, size, m_file) == size || ioFail();
  }
  std::memcpy(m_buffer.data() + m_used, data, size);
  m_used += size;
  return true;
}

bool RPly_Writer::WriteHeader()
{
  if (m_file == nullptr || m_headerWritten || m_failed)
  {
    return fail("Cannot write the header.");
  }
  static const char* formats[] = {"ascii", "binary_little_endian", "binary_big_endian"};
  std::string        header    = "ply\nformat ";
  header += formats[m_storage];
  header += " 1.0\n";
  for (const std::string& comment : m_comments)
  {
    header += "comment " + comment + "\n";
  }
  for (const std::string& info : m_objInfos)
  {
    header += "obj_info " + info + "\n";
  }
  for (const RPly_Element& element : m_elements)
  {
    header += "element " + element.Name + " " + std::to_string(element.Count) + "\n";
    for (const RPly_Property& prop : element.Properties)
    {
      header += "property ";
      if (prop.IsList)
      {
        header += std::string("list ") + typeName(prop.LengthType) + " ";
      }
      header += std::string(typeName(prop.Type)) + " " + prop.Name + "\n";
    }
  }
  header += "end_header\n";
  m_headerWritten = true;
  skipEmptyElements();
  return put(header.data(), header.size());
}

void RPly_Writer::skipEmptyElements()
{
  while (m_element < m_elements.size() &&
         (m_elements[m_element].Count == 0 || m_elements[m_element].Properties.empty()))
  {
    ++m_element;
  }
}

void RPly_Writer::nextProperty()
{
  m_remaining = -1;
  if (++m_property < m_elements[m_element].Properties.size())
  {
    return;
  }
  m_property = 0;
  if (m_storage == RPly_Ascii)
  {
    // Replace the blank after the instance's last value by the line end.
    if (m_used > 0 && m_buffer[m_used - 1] == ' ')
    {
      m_buffer[m_used - 1] = '\n';
    }
    else
    {
      put("\n", 1);
    }
  }
  if (++m_instance < m_elements[m_element].Count)
  {
    return;
  }
  m_instance = 0;
  ++m_element;
  skipEmptyElements();
}

bool RPly_Writer::encode(const double value, const RPly_Type type)
{
  if (m_storage == RPly_Ascii)
  {
    char                 text[64];
    std::to_chars_result result;
    switch (type)
    {
    case RPly_Float32:
      result = std::to_chars(text, text + sizeof(text), static_cast<float>(value));
      break;
    case RPly_Float64:
      result = std::to_chars(text, text + sizeof(text), value);
      break;
    case RPly_Int8:
      result = std::to_chars(text, text + sizeof(text), clampInteger(value, -128, 127));
      break;
    case RPly_UInt8:
      result = std::to_chars(text, text + sizeof(text), clampInteger(value, 0, 255));
      break;
    case RPly_Int16:
      result = std::to_chars(text, text + sizeof(text), clampInteger(value, -32768, 32767));
      break;
    case RPly_UInt16:
      result = std::to_chars(text, text + sizeof(text), clampInteger(value, 0, 65535));
      break;
    case RPly_Int32:
      result = std::to_chars(text, text + sizeof(text),
                             clampInteger(value, -2147483648.0, 2147483647.0));
      break;
    default:
      result = std::to_chars(text, text + sizeof(text), clampInteger(value, 0, 4294967295.0));
      break;
    }
    *result.ptr = ' ';
    return put(text, static_cast<size_t>(result.ptr - text) + 1);
  }

  unsigned char bytes[8];
  switch (type)
  {
  case RPly_Int8:
  {
    const int8_t v = static_cast<int8_t>(clampInteger(value, -128, 127));
    std::memcpy(bytes, &v, 1);
    break;
  }
  case RPly_UInt8:
  {
    const uint8_t v = static_cast<uint8_t>(clampInteger(value, 0, 255));
    std::memcpy(bytes, &v, 1);
    break;
  }
  case RPly_Int16:
  {
    const int16_t v = static_cast<int16_t>(clampInteger(value, -32768, 32767));
    std::memcpy(bytes, &v, 2);
    break;
  }
  case RPly_UInt16:
  {
    const uint16_t v = static_cast<uint16_t>(clampInteger(value, 0, 65535));
    std::memcpy(bytes, &v, 2);
    break;
  }
  case RPly_Int32:
  {
    const int32_t v = static_cast<int32_t>(clampInteger(value, -2147483648.0, 2147483647.0));
    std::memcpy(bytes, &v, 4);
    break;
  }
  case RPly_UInt32:
  {
    const uint32_t v = static_cast<uint32_t>(clampInteger(value, 0, 4294967295.0));
    std::memcpy(bytes, &v, 4);
    break;
  }
  case RPly_Float32:
  {
    const float v = static_cast<float>(value);
    std::memcpy(bytes, &v, 4);
    break;
  }
  case RPly_Float64:
    std::memcpy(bytes, &value, 8);
    break;
  }
  const int size = RPly_SizeOf(type);
  if ((m_storage == RPly_BinaryLE) != isLittleEndianHost())
  {
    for (int i = 0; i < size / 2; ++i)
    {
      std::swap(bytes[i], bytes[size - 1 - i]);
    }
  }
  return put(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
}

bool RPly_Writer::Write(const double value)
{
  if (!m_headerWritten || m_failed)
  {
    return fail("The header has not been written.");
  }
  if (m_element >= m_elements.size())
  {
    return fail("More values than the header declares.");
  }
  const RPly_Property& prop = m_elements[m_element].Properties[m_property];
  if (!prop.IsList)
  {
    if (!encode(value, prop.Type))
    {
      return false;
    }
    nextProperty();
    return !m_failed;
  }
  if (m_remaining < 0)
  {
    static const double maxima[] = {127, 255, 32767, 65535, 2147483647.0, 4294967295.0};
    if (!(value >= 0.0) || value != std::floor(value) || value > maxima[prop.LengthType])
    {
      return fail("A list length must be a non-negative integer that fits its type.");
    }
    if (!encode(value, prop.LengthType))
    {
      return false;
    }
    m_remaining = static_cast<int64_t>(value);
    if (m_remaining == 0)
    {
      nextProperty();
    }
    return !m_failed;
  }
  if (!encode(value, prop.Type))
  {
    return false;
  }
  if (--m_remaining == 0)
  {
    nextProperty();
  }
  return !m_failed;
}

bool RPly_Writer::Close()
{
  if (m_file == nullptr)
  {
    return fail("No file is open.");
  }
  const bool complete = m_headerWritten && m_element >= m_elements.size();
  const bool flushed  = flush();
  const bool closed   = std::fclose(m_file) == 0;
  m_file              = nullptr;
  if (!flushed || !closed)
  {
    return ioFail();
  }
  if (!complete)
  {
    return fail("Fewer values were written than the header declares.");
  }
  return !m_failed;
}
