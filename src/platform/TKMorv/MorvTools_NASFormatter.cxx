// Card writer of NASTRAN bulk data.
//
// A fixed-width real is printed once in plain form and once with an exponent, each with as
// many digits as the width allows, and the form with more significant digits is kept; the
// free form uses the shortest round-trip text (std::to_chars). Lines are built in one
// string and written whole.
#include <MorvTools_NASFormatter.hxx>

#include <charconv>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace
{

//! Cuts the zeros after the last significant decimal of "d.ddd" (the point stays).
void stripZeros(std::string& text)
{
  const size_t point = text.find('.');
  if (point == std::string::npos)
  {
    return;
  }
  size_t last = text.size();
  while (last > point + 1 && text[last - 1] == '0')
  {
    --last;
  }
  text.resize(last);
}

//! Number of significant digits of a plain decimal text.
int significantDigits(const std::string& text)
{
  int  count   = 0;
  bool leading = true;
  for (const char c : text)
  {
    if (c >= '1' && c <= '9')
    {
      leading = false;
    }
    if (c >= '0' && c <= '9' && !leading)
    {
      ++count;
    }
  }
  return count;
}

//! Plain form in `width` columns, or empty.
std::string plainForm(const double value, const int width)
{
  const double magnitude = std::fabs(value);
  const int    intDigits =
      magnitude < 1.0 ? 0 : static_cast<int>(std::floor(std::log10(magnitude))) + 1;
  int decimals = width - intDigits - 1 - (value < 0.0 ? 1 : 0);
  if (decimals < 0)
  {
    return std::string();
  }
  char buffer[64];
  for (; decimals >= 0; --decimals)
  {
    *std::to_chars(buffer, buffer + sizeof(buffer) - 1, value, std::chars_format::fixed, decimals)
         .ptr = '\0';
    std::string text(buffer);
    if (text.find('.') == std::string::npos)
    {
      text += '.';
    }
    // "0.5" is written ".5", "-0.5" as "-.5".
    if (text.compare(0, 2, "0.") == 0)
    {
      text.erase(0, 1);
    }
    else if (text.compare(0, 3, "-0.") == 0)
    {
      text.erase(1, 1);
    }
    stripZeros(text);
    if (static_cast<int>(text.size()) <= width)
    {
      // A value too small for the plain form prints as zeros only.
      return significantDigits(text) > 0 ? text : std::string();
    }
  }
  return std::string();
}

//! Exponent form "d.ddd-e" in `width` columns, or empty.
std::string exponentForm(const double value, const int width)
{
  // Start from the digits the width leaves beside the sign, "d." and the exponent; rounding
  // may lengthen the exponent by one digit, hence the loop.
  const int exponent10 = static_cast<int>(std::floor(std::log10(std::fabs(value))));
  const int magnitude  = std::abs(exponent10);
  const int expLength  = 1 + (magnitude >= 100 ? 3 : (magnitude >= 10 ? 2 : 1));
  char      buffer[64];
  for (int digits = std::max(width - (value < 0.0 ? 1 : 0) - 2 - expLength, 0); digits >= 0;
       --digits)
  {
    *std::to_chars(buffer, buffer + sizeof(buffer) - 1, value, std::chars_format::scientific,
                   digits)
         .ptr     = '\0';
    const char* e = std::strchr(buffer, 'e');
    if (e == nullptr)
    {
      return std::string();
    }
    std::string mantissa(static_cast<const char*>(buffer), e);
    if (mantissa.find('.') == std::string::npos)
    {
      mantissa += '.';
    }
    stripZeros(mantissa);
    const char  sign     = e[1];
    const char* exponent = e + 2;
    while (*exponent == '0' && exponent[1] != '\0')
    {
      ++exponent;
    }
    const std::string text = mantissa + sign + exponent;
    if (static_cast<int>(text.size()) <= width)
    {
      return text;
    }
  }
  return std::string();
}

} // namespace

MorvTools_NASFormatter::MorvTools_NASFormatter()
    : m_type(2), m_nbCards(0), m_nbFields(-1), m_isFailed(false)
{
}

MorvTools_NASFormatter::~MorvTools_NASFormatter() = default;

void MorvTools_NASFormatter::SendMessage(const char* text)
{
  std::cerr << text << std::endl;
}

bool MorvTools_NASFormatter::Open(const char* path)
{
  m_stream.open(path, std::ios::out | std::ios::binary | std::ios::trunc);
  m_isFailed = !m_stream.is_open();
  m_nbFields = -1;
  m_nbCards  = 0;
  return !m_isFailed;
}

std::string MorvTools_NASFormatter::FormatReal(const double value, const int width)
{
  if (value == 0.0)
  {
    return "0.";
  }
  if (width <= 0)
  {
    char        buffer[64];
    const auto  result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    std::string text(buffer, result.ptr);
    if (text.find_first_of(".ein") == std::string::npos)
    {
      text += '.';
    }
    else if (text.find('.') == std::string::npos && text.find('e') != std::string::npos)
    {
      text.insert(text.find('e'), ".");
    }
    return text;
  }
  const std::string plain    = plainForm(value, width);
  const std::string exponent = exponentForm(value, width);
  if (plain.empty() || exponent.empty())
  {
    return plain.empty() ? exponent : plain;
  }
  // More significant digits win; on a tie the shorter text, then the plain one.
  const int expDigits   = significantDigits(exponent.substr(0, exponent.find_first_of("+-", 1)));
  const int plainDigits = significantDigits(plain);
  if (plainDigits != expDigits)
  {
    return plainDigits > expDigits ? plain : exponent;
  }
  return exponent.size() < plain.size() ? exponent : plain;
}

MorvTools_NASFormatter& MorvTools_NASFormatter::AddInteger(const int value)
{
  char       buffer[16];
  const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
  addField(buffer, size_t(result.ptr - buffer));
  return *this;
}

MorvTools_NASFormatter& MorvTools_NASFormatter::AddReal(const double value)
{
  const std::string text = FormatReal(value, m_type == 0 ? 0 : (m_type == 1 ? 8 : 16));
  if (text.empty())
  {
    SendMessage("A real value does not fit in its field.");
    m_isFailed = true;
  }
  addField(text.c_str(), text.size());
  return *this;
}

MorvTools_NASFormatter& MorvTools_NASFormatter::AddString(const char* value)
{
  const char* text = value != nullptr ? value : "";
  if (m_nbFields < 0)
  {
    // A new card: its keyword.
    m_line.assign(text);
    if (m_type == 2)
    {
      m_line += '*';
    }
    // Free-field keywords stay bare: the separator comes before each field.
    if (m_type != 0 && m_line.size() < 8)
    {
      m_line.resize(8, ' ');
    }
    m_nbFields = 0;
    return *this;
  }
  addField(text, std::strlen(text));
  return *this;
}

void MorvTools_NASFormatter::addField(const char* text, const size_t length)
{
  if (m_nbFields < 0)
  {
    SendMessage("A field was given before the card's keyword.");
    m_isFailed = true;
    return;
  }
  const int    perLine = m_type == 2 ? 4 : 8;
  const size_t width   = m_type == 2 ? 16 : 8;
  if (m_nbFields == perLine)
  {
    flushLine();
    m_line.assign(m_type == 0 ? "+" : (m_type == 2 ? "*       " : "+       "));
    m_nbFields = 0;
  }
  if (m_type == 0)
  {
    m_line += ',';
    m_line.append(text, length);
  }
  else
  {
    if (length > width)
    {
      SendMessage(
          ("The value '" + std::string(text, length) + "' does not fit in its field.").c_str());
      m_isFailed = true;
    }
    m_line.append(text, length);
    m_line.append(width > length ? width - length : 0, ' ');
  }
  ++m_nbFields;
}

void MorvTools_NASFormatter::flushLine()
{
  size_t end = m_line.size();
  while (end > 0 && m_line[end - 1] == ' ')
  {
    --end;
  }
  m_line.resize(end);
  m_line += '\n';
  m_stream.write(m_line.data(), static_cast<std::streamsize>(m_line.size()));
}

MorvTools_NASFormatter& MorvTools_NASFormatter::EndCard(MorvTools_NASFormatter& formatter)
{
  if (formatter.m_nbFields >= 0)
  {
    formatter.flushLine();
    formatter.m_nbFields = -1;
    ++formatter.m_nbCards;
  }
  return formatter;
}

void MorvTools_NASFormatter::AddComment(const char* text)
{
  EndCard(*this);
  m_stream << "$ " << (text != nullptr ? text : "") << "\n";
}

void MorvTools_NASFormatter::AddLine(const char* text)
{
  EndCard(*this);
  m_stream << (text != nullptr ? text : "") << "\n";
}

bool MorvTools_NASFormatter::Close()
{
  EndCard(*this);
  if (!m_stream.is_open())
  {
    return false;
  }
  m_stream.flush();
  const bool isGood = !m_stream.fail();
  m_stream.close();
  return isGood && !m_isFailed;
}
