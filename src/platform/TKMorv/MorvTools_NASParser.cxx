// Card reader of NASTRAN bulk data.
//
// Lines are cut out of a 1 MiB buffer refilled with fread, so a card costs no allocation;
// one line is read ahead to see whether it continues the current card. Field texts are
// trimmed and appended to one string of the record with their offsets.
//
// An INCLUDE statement opens the file it names in place of the current one, as a solver
// reads it: relative to the including file's folder, regular files only, at most 16 deep,
// never a file that is already being read (a cycle), and at most 4096 files and 4 GiB in
// all, so that a few small files including each other many times cannot make a read
// without end.
#include <MorvTools_NASParser.hxx>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <limits>

namespace
{

const size_t THE_BUFFER_SIZE = size_t(1) << 20;

const size_t    THE_INCLUDE_DEPTH = 16;
const int       THE_INCLUDE_COUNT = 4096;
const long long THE_INCLUDE_BYTES = 4LL << 30;

bool isBlank(const char c)
{
  return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

//! True for an INCLUDE statement (any case), the keyword alone or followed by a blank or
//! a quote.
bool isInclude(std::string_view content)
{
  if (content.size() < 7)
  {
    return false;
  }
  for (size_t k = 0; k < 7; ++k)
  {
    if (std::toupper(static_cast<unsigned char>(content[k])) != "INCLUDE"[k])
    {
      return false;
    }
  }
  return content.size() == 7 || isBlank(content[7]) || content[7] == '\'';
}

std::string_view trim(std::string_view text)
{
  while (!text.empty() && isBlank(text.front()))
  {
    text.remove_prefix(1);
  }
  while (!text.empty() && isBlank(text.back()))
  {
    text.remove_suffix(1);
  }
  return text;
}

//! Columns [from, from + width) of a fixed-format line, trimmed.
std::string_view columns(std::string_view line, const size_t from, const size_t width)
{
  return from >= line.size() ? std::string_view() : trim(line.substr(from, width));
}

//! True when the line continues the card before it.
bool isContinuation(std::string_view line)
{
  const char first = line.front();
  if (first == '+' || first == '*' || first == ',')
  {
    return true;
  }
  const size_t head = std::min<size_t>({line.size(), 8, line.find(',')});
  for (size_t i = 0; i < head; ++i)
  {
    if (line[i] == '\t')
    {
      // A tab in the first field reaches column 9 at once: the first field is blank.
      return true;
    }
    if (!isBlank(line[i]))
    {
      return false;
    }
  }
  return true;
}

} // namespace

std::string_view MorvTools_NASParser::Record::Field(const int index) const
{
  if (index < 0 || index >= NbFields())
  {
    return std::string_view();
  }
  return std::string_view(m_text).substr(m_fields[index].first, m_fields[index].second);
}

bool MorvTools_NASParser::Record::ReadInteger(int&       value,
                                              const bool isBlankAllowed,
                                              const int  blankValue)
{
  if (IsEnd())
  {
    ++m_current;
    if (isBlankAllowed)
    {
      value = blankValue;
    }
    return isBlankAllowed;
  }
  const std::string_view text = Field(m_current++);
  if (text.empty())
  {
    value = blankValue;
    return isBlankAllowed;
  }
  return ParseInteger(text, value);
}

bool MorvTools_NASParser::Record::ReadReal(double& value)
{
  const std::string_view text = Field(m_current++);
  if (text.empty())
  {
    value = 0.0;
    return true;
  }
  return ParseReal(text, value);
}

void MorvTools_NASParser::Record::Clear()
{
  m_keyword.clear();
  m_text.clear();
  m_fields.clear();
  m_current = 0;
  m_line    = 0;
  m_isLarge = false;
}

void MorvTools_NASParser::Record::SetKeyWord(std::string_view keyword, const bool isLarge)
{
  m_keyword.assign(keyword.data(), keyword.size());
  for (char& c : m_keyword)
  {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  m_isLarge = isLarge;
}

void MorvTools_NASParser::Record::AddField(std::string_view text)
{
  text = trim(text);
  m_fields.emplace_back(static_cast<int>(m_text.size()), static_cast<int>(text.size()));
  m_text.append(text.data(), text.size());
}

void MorvTools_NASParser::Record::AddBlankFields(const int count)
{
  for (int i = 0; i < count; ++i)
  {
    m_fields.emplace_back(static_cast<int>(m_text.size()), 0);
  }
}

MorvTools_NASParser::MorvTools_NASParser() = default;

MorvTools_NASParser::~MorvTools_NASParser()
{
  Close();
}

void MorvTools_NASParser::SendMessage(const char* text, const int line)
{
  std::cerr << "NAS line " << line << ": " << text << std::endl;
}

bool MorvTools_NASParser::Open(const char* path)
{
  Close();
  m_file = path != nullptr ? std::fopen(path, "rb") : nullptr;
  if (m_file == nullptr)
  {
    SendMessage("Cannot open the file for reading.", 0);
    return false;
  }
  if (std::fseek(m_file, 0, SEEK_END) == 0)
  {
    m_fileSize = std::max(0L, std::ftell(m_file));
    std::fseek(m_file, 0, SEEK_SET);
  }
  // A UTF-8 byte-order mark some editors write before the text is skipped.
  unsigned char mark[3] = {0, 0, 0};
  if (std::fread(mark, 1, 3, m_file) != 3 || mark[0] != 0xEF || mark[1] != 0xBB || mark[2] != 0xBF)
  {
    std::fseek(m_file, 0, SEEK_SET);
  }
  // Small files get a small buffer; it grows for a line longer than it.
  m_buffer.resize(static_cast<size_t>(
      std::min<long long>(std::max<long long>(m_fileSize + 1, 4096), THE_BUFFER_SIZE)));
  m_begin = m_end = 0;
  m_isEof         = false;
  m_consumed      = 0;
  m_nbLine        = 0;
  m_hasPending    = false;
  m_isDone        = false;
  m_including.clear();
  m_sources.assign(1, std::string());
  m_source = m_recordSource = m_pendingSource = 0;
  m_openedPath                                = path;
  std::error_code error;
  m_identity   = std::filesystem::weakly_canonical(path, error).string();
  m_nbIncludes = 0;
  m_nbIncluded = 0;
  m_hasFailed  = false;
  return true;
}

void MorvTools_NASParser::Close()
{
  while (!m_including.empty())
  {
    endInclude();
  }
  if (m_file != nullptr)
  {
    std::fclose(m_file);
    m_file = nullptr;
  }
}

bool MorvTools_NASParser::failInclude(const std::string& text)
{
  m_recordSource = m_source;
  SendMessage(text.c_str(), m_nbLine);
  m_hasFailed = true;
  return false;
}

bool MorvTools_NASParser::followInclude(std::string_view content)
{
  // 1. The file name: between quotes, or the rest of the line.
  std::string_view name = trim(content.substr(7));
  if (!name.empty() && name.front() == '\'')
  {
    const size_t close = name.find('\'', 1);
    if (close == std::string_view::npos)
    {
      return failInclude("The INCLUDE statement's file name has no closing quote.");
    }
    name = name.substr(1, close - 1);
  }
  if (name.empty())
  {
    return failInclude("The INCLUDE statement names no file.");
  }

  // 2. Relative to the including file's folder; checked before it is opened (a pipe or a
  //    device would never end).
  const std::filesystem::path including =
      std::filesystem::path(m_source == 0 ? m_openedPath : m_sources[m_source]);
  const std::filesystem::path named(std::string(name.substr(0, 4096)));
  const std::filesystem::path path = named.is_absolute() ? named : including.parent_path() / named;
  const std::string           quoted = "'" + path.string() + "'";
  std::error_code             error;
  const auto                  status = std::filesystem::status(path, error);
  if (error == std::errc::too_many_symbolic_link_levels)
  {
    return failInclude("The file " + quoted + " that INCLUDE names is a loop of symbolic links.");
  }
  if (!std::filesystem::exists(status))
  {
    return failInclude("The file " + quoted + " that INCLUDE names does not exist.");
  }
  if (!std::filesystem::is_regular_file(status))
  {
    return failInclude("The file " + quoted + " that INCLUDE names is not a regular file.");
  }
  const std::string identity = std::filesystem::weakly_canonical(path, error).string();
  bool              isCycle  = identity == m_identity;
  for (const Including& outer : m_including)
  {
    isCycle = isCycle || identity == outer.Identity;
  }
  if (isCycle)
  {
    return failInclude("The file " + quoted + " that INCLUDE names is already being read.");
  }
  if (m_including.size() >= THE_INCLUDE_DEPTH)
  {
    return failInclude("INCLUDE statements are nested more than 16 deep.");
  }
  const long long size = static_cast<long long>(std::filesystem::file_size(path, error));
  if (++m_nbIncludes > THE_INCLUDE_COUNT || size + m_nbIncluded > THE_INCLUDE_BYTES)
  {
    return failInclude("The INCLUDE statements bring in more than 4096 files or 4 GiB.");
  }
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr)
  {
    return failInclude("The file " + quoted + " that INCLUDE names cannot be read: " +
                       (errno == EACCES ? "permission denied." : "it cannot be opened."));
  }

  // 3. Keep the including file's place and read the included one.
  m_including.push_back(Including{m_file, std::move(m_buffer), m_begin, m_end, m_isEof, m_nbLine,
                                  m_source, m_identity});
  m_nbIncluded += size;
  m_fileSize += size;
  m_file   = file;
  m_buffer = std::vector<char>(static_cast<size_t>(
      std::min<long long>(std::max<long long>(size + 1, 4096), THE_BUFFER_SIZE)));
  m_begin = m_end = 0;
  m_isEof         = false;
  m_nbLine        = 0;
  m_sources.push_back(path.string());
  m_source   = static_cast<int>(m_sources.size()) - 1;
  m_identity = identity;
  // A byte-order mark before the text is skipped, as in the file opened.
  unsigned char mark[3] = {0, 0, 0};
  if (std::fread(mark, 1, 3, m_file) != 3 || mark[0] != 0xEF || mark[1] != 0xBB || mark[2] != 0xBF)
  {
    std::fseek(m_file, 0, SEEK_SET);
  }
  return true;
}

void MorvTools_NASParser::endInclude()
{
  std::fclose(m_file);
  Including& outer = m_including.back();
  m_file           = outer.File;
  m_buffer         = std::move(outer.Buffer);
  m_begin          = outer.Begin;
  m_end            = outer.End;
  m_isEof          = outer.IsEof;
  m_nbLine         = outer.NbLine;
  m_source         = outer.Source;
  m_identity       = std::move(outer.Identity);
  m_including.pop_back();
}

bool MorvTools_NASParser::readLine(std::string_view& line)
{
  if (m_file == nullptr)
  {
    return false;
  }
  for (;;)
  {
    const char* start = m_buffer.data() + m_begin;
    const char* stop  = static_cast<const char*>(std::memchr(start, '\n', m_end - m_begin));
    if (stop != nullptr || (m_isEof && m_end > m_begin))
    {
      const size_t length = stop != nullptr ? size_t(stop - start) : m_end - m_begin;
      m_begin += stop != nullptr ? length + 1 : length;
      m_consumed += stop != nullptr ? length + 1 : length;
      ++m_nbLine;
      line = std::string_view(start, length);
      if (!line.empty() && line.back() == '\r')
      {
        line.remove_suffix(1);
      }
      return true;
    }
    if (m_isEof)
    {
      return false;
    }
    // Move the partial line to the front; grow the buffer for a line longer than it.
    std::memmove(m_buffer.data(), m_buffer.data() + m_begin, m_end - m_begin);
    m_end -= m_begin;
    m_begin = 0;
    if (m_end == m_buffer.size())
    {
      m_buffer.resize(2 * m_buffer.size());
    }
    const size_t nbRead = std::fread(m_buffer.data() + m_end, 1, m_buffer.size() - m_end, m_file);
    m_end += nbRead;
    m_isEof = nbRead == 0;
  }
}

bool MorvTools_NASParser::readCardLine(std::string_view& line)
{
  for (;;)
  {
    if (m_hasFailed)
    {
      return false;
    }
    if (!readLine(line))
    {
      if (m_including.empty())
      {
        return false;
      }
      endInclude();
      continue;
    }
    const std::string_view content = trim(line);
    if (content.empty() || content.front() == '$')
    {
      continue;
    }
    if (!isInclude(content))
    {
      return true;
    }
    if (!followInclude(content))
    {
      return false;
    }
  }
}

void MorvTools_NASParser::addLine(std::string_view line, const bool isFirst, Record& record)
{
  if (line.find(',') != std::string_view::npos)
  {
    // Free field: the first token is the keyword or the continuation marker.
    size_t           comma = line.find(',');
    std::string_view head  = trim(line.substr(0, comma));
    const bool isLarge     = isFirst ? (!head.empty() && head.back() == '*') : line.front() == '*';
    if (isFirst)
    {
      record.SetKeyWord(isLarge ? head.substr(0, head.size() - 1) : head, isLarge);
    }
    const int perLine = isLarge ? 4 : 8;
    int       nbAdded = 0;
    size_t    start   = comma + 1;
    const int first   = record.NbFields();
    while (comma != std::string_view::npos)
    {
      comma = line.find(',', start);
      record.AddField(line.substr(start, comma == std::string_view::npos ? comma : comma - start));
      ++nbAdded;
      start = comma + 1;
    }
    // A last field just past the line's share is a continuation marker when it is empty or
    // starts with '+' or '*'.
    if (nbAdded == perLine + 1)
    {
      const std::string_view marker = record.Field(first + perLine);
      if (marker.empty() || marker.front() == '+' || marker.front() == '*')
      {
        record.Truncate(first + perLine);
        nbAdded = perLine;
      }
    }
    if (nbAdded < perLine)
    {
      record.AddBlankFields(perLine - nbAdded);
    }
    return;
  }

  if (line.find('\t') != std::string_view::npos)
  {
    m_expanded.clear();
    for (const char c : line)
    {
      if (c == '\t')
      {
        m_expanded.append(8 - m_expanded.size() % 8, ' ');
      }
      else
      {
        m_expanded.push_back(c);
      }
    }
    line = m_expanded;
  }
  const std::string_view head = columns(line, 0, 8);
  const bool isLarge = isFirst ? (!head.empty() && head.back() == '*') : line.front() == '*';
  if (isFirst)
  {
    record.SetKeyWord(isLarge ? trim(head.substr(0, head.size() - 1)) : head, isLarge);
  }
  const size_t width = isLarge ? 16 : 8;
  for (size_t from = 8; from < 72; from += width)
  {
    record.AddField(columns(line, from, width));
  }
}

bool MorvTools_NASParser::NextRecord(Record& record)
{
  record.Clear();
  if (m_isDone)
  {
    return false;
  }
  std::string_view line;
  int              lineNumber = 0;
  // 1. Take the line read ahead, or the next card line; a continuation without a card
  //    before it is skipped.
  do
  {
    if (m_hasPending)
    {
      line           = m_pending;
      lineNumber     = m_pendingLine;
      m_recordSource = m_pendingSource;
      m_hasPending   = false;
    }
    else if (readCardLine(line))
    {
      lineNumber     = m_nbLine;
      m_recordSource = m_source;
    }
    else
    {
      return false;
    }
  } while (isContinuation(line));

  // 2. Read the card's first line, then its continuations.
  addLine(line, true, record);
  record.SetNbLine(lineNumber);
  if (record == "ENDDATA")
  {
    m_isDone = true;
    return false;
  }
  while (readCardLine(line))
  {
    if (!isContinuation(line))
    {
      m_pending       = line;
      m_pendingLine   = m_nbLine;
      m_pendingSource = m_source;
      m_hasPending    = true;
      break;
    }
    addLine(line, false, record);
  }
  return true;
}

bool MorvTools_NASParser::ParseInteger(std::string_view text, int& value)
{
  if (!text.empty() && text.front() == '+')
  {
    text.remove_prefix(1);
  }
  if (text.empty())
  {
    return false;
  }
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool MorvTools_NASParser::ParseReal(std::string_view text, double& value)
{
  // Rewrite into C notation: "D" exponents become "e", an exponent sign that follows the
  // mantissa directly ("1.5-3") gets its "e".
  char   buffer[64];
  size_t size = 0;
  if (!text.empty() && text.front() == '+')
  {
    text.remove_prefix(1);
  }
  if (text.empty() || text.size() + 2 > sizeof(buffer))
  {
    return false;
  }
  bool hasDigit = false, hasExponent = false;
  for (size_t i = 0; i < text.size(); ++i)
  {
    const char c = text[i];
    if (c >= '0' && c <= '9')
    {
      hasDigit       = hasDigit || !hasExponent;
      buffer[size++] = c;
    }
    else if (c == '.')
    {
      buffer[size++] = c;
    }
    else if (c == 'e' || c == 'E' || c == 'd' || c == 'D')
    {
      if (hasExponent)
      {
        return false;
      }
      hasExponent    = true;
      buffer[size++] = 'e';
    }
    else if (c == '+' || c == '-')
    {
      if (i > 0 && !hasExponent)
      {
        hasExponent    = true;
        buffer[size++] = 'e';
      }
      else if (i > 0 && buffer[size - 1] != 'e')
      {
        return false;
      }
      if (c == '-')
      {
        buffer[size++] = c;
      }
    }
    else
    {
      return false;
    }
  }
  if (!hasDigit)
  {
    return false;
  }
  const auto result = std::from_chars(buffer, buffer + size, value);
  return result.ec == std::errc() && result.ptr == buffer + size && std::isfinite(value);
}
