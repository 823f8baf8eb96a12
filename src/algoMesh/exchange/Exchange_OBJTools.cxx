#include <Exchange_OBJTools.hxx>

#include <Exchange_InputCheck.hxx>

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace quorin
{

namespace Exchange_OBJTools
{

namespace
{

//! The line from `offset` on, or null when the offset lies beyond its end (a short line
//! must not send a scan past the terminator).
const char* from(const ReadGuard& guard, const int offset)
{
  if (guard.Line == nullptr || offset < 0 || std::strlen(guard.Line) < static_cast<size_t>(offset))
  {
    return nullptr;
  }
  return guard.Line + offset;
}

} // namespace

ReadGuard::ReadGuard(FILE* file)
    : File(file), Line(new char[THE_BUFFER_SIZE]), Token(new char[THE_BUFFER_SIZE]),
      Rest(new char[THE_BUFFER_SIZE])
{
  Line[0] = Token[0] = Rest[0] = '\0';
  Exchange_InputCheck::SkipByteOrderMark(File);
}

ReadGuard::~ReadGuard()
{
  if (File != nullptr)
  {
    std::fclose(File);
  }
  delete[] Line;
  delete[] Token;
  delete[] Rest;
}

bool ReadGuard::NextLine()
{
  return File != nullptr && std::fgets(Line, THE_BUFFER_SIZE, File) != nullptr;
}

bool ReadFace(ReadGuard& guard, std::vector<int>& indices)
{
  // Scanning "%s %[^\n]" repeatedly amounts to splitting at blanks; a face needs at least
  // two references to yield both items of the first scan.
  const char* p = from(guard, 2);
  if (p == nullptr)
  {
    return false;
  }
  std::vector<int> found;
  while (*p != '\0')
  {
    while (*p != '\0' && std::isspace(static_cast<unsigned char>(*p)))
    {
      ++p;
    }
    if (*p == '\0')
    {
      break;
    }
    int length = 0;
    while (p[length] != '\0' && !std::isspace(static_cast<unsigned char>(p[length])) &&
           length < THE_BUFFER_SIZE - 1)
    {
      guard.Token[length] = p[length];
      ++length;
    }
    guard.Token[length] = '\0';
    found.push_back(std::atoi(guard.Token));
    p += length;
  }
  if (found.size() < 2)
  {
    return false;
  }
  indices.insert(indices.end(), found.begin(), found.end());
  return true;
}

bool ReadString(ReadGuard& guard, const int offset, std::string& out)
{
  const char* p = from(guard, offset);
  if (p == nullptr || std::sscanf(p, "%8191s", guard.Token) != 1)
  {
    return false;
  }
  out = guard.Token;
  return true;
}

bool ReadWholeString(ReadGuard& guard, const int offset, std::string& out)
{
  const char* p = from(guard, offset);
  if (p == nullptr || std::sscanf(p, "%8191[^\n]", guard.Rest) != 1)
  {
    return false;
  }
  out = guard.Rest;
  return true;
}

bool ReadVertex(const ReadGuard& guard, const int offset, gp_Pnt& p)
{
  const char* line = from(guard, offset);
  double      x = 0.0, y = 0.0, z = 0.0;
  if (line == nullptr || std::sscanf(line, "%lf %lf %lf", &x, &y, &z) != 3)
  {
    return false;
  }
  p.SetCoord(x, y, z);
  return true;
}

bool ReadValidateColor(const ReadGuard& guard, const int offset, float& r, float& g, float& b)
{
  const char* line = from(guard, offset);
  if (line == nullptr || std::sscanf(line, "%f %f %f", &r, &g, &b) != 3)
  {
    return false;
  }
  return r >= 0.0f && r <= 1.0f && g >= 0.0f && g <= 1.0f && b >= 0.0f && b <= 1.0f;
}

bool ReadValidateShininess(const ReadGuard& guard, const int offset, float& v)
{
  const char* line = from(guard, offset);
  return line != nullptr && std::sscanf(line, "%f", &v) == 1 && v >= 0.0f && v <= 1000.0f;
}

bool ReadValidateTransparency(const ReadGuard& guard, const int offset, float& v)
{
  const char* line = from(guard, offset);
  return line != nullptr && std::sscanf(line, "%f", &v) == 1 && v >= 0.0f && v <= 1.0f;
}

} // namespace Exchange_OBJTools

} // namespace quorin
