#include <Exchange_InputCheck.hxx>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorin
{

namespace Exchange_InputCheck
{

namespace
{

//! The compression program whose signature starts the file ("gzip", "xz", ...), or null.
//! A compressed file under a mesh format's extension would otherwise be read as damaged
//! content (a binary STL "declaring" millions of facets, an empty NAS deck). The
//! signatures are checked beyond their first bytes where a binary STL header, which may
//! hold anything, could match them by chance.
const char* compressionOf(const std::string& path)
{
  unsigned char head[10] = {};
  const int     file     = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
  if (file < 0)
  {
    return nullptr;
  }
  const ssize_t size = ::read(file, head, sizeof(head));
  ::close(file);
  const auto starts = [&](const char* magic, const ssize_t length)
  { return size >= length && std::memcmp(head, magic, static_cast<size_t>(length)) == 0; };
  if (starts("\x1F\x8B\x08", 3) && (head[3] & 0xE0) == 0)
  {
    return "gzip";
  }
  if (starts("\xFD\x37\x7A\x58\x5A\x00", 6))
  {
    return "xz";
  }
  if (starts("BZh", 3) && head[3] >= '1' && head[3] <= '9' && size >= 10 &&
      std::memcmp(head + 4, "1AY&SY", 6) == 0)
  {
    return "bzip2";
  }
  if (starts("\x28\xB5\x2F\xFD", 4))
  {
    return "zstd";
  }
  if (starts("PK\x03\x04", 4))
  {
    return "zip";
  }
  return nullptr;
}

//! True when the file starts as UTF-16 text (with or without a byte-order mark): every
//! second byte of its first 64 zero, the others printable ASCII. Text readers would see
//! a NUL after each character and report damage that is not there. A binary STL whose
//! size fits its facet count is not text, whatever its free header holds.
bool isUtf16Text(const std::string& path)
{
  unsigned char head[84] = {};
  const int     file     = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
  if (file < 0)
  {
    return false;
  }
  const ssize_t size = ::read(file, head, sizeof(head));
  struct stat   info;
  const bool    isStat = ::fstat(file, &info) == 0;
  ::close(file);
  if (size >= 84 && isStat)
  {
    const std::uint64_t facets =
        head[80] | head[81] << 8 | head[82] << 16 | static_cast<std::uint64_t>(head[83]) << 24;
    if (84 + 50 * facets == static_cast<std::uint64_t>(info.st_size))
    {
      return false;
    }
  }
  const bool hasMark =
      size >= 2 && ((head[0] == 0xFF && head[1] == 0xFE) || (head[0] == 0xFE && head[1] == 0xFF));
  const ssize_t start = hasMark ? 2 : 0;
  const ssize_t end   = std::min<ssize_t>(size, start + 64) & ~ssize_t(1);
  if (end - start < 8)
  {
    return false;
  }
  // The zero byte comes second in little-endian text, first in big-endian text.
  const int zeroAt = head[start] == 0 ? 0 : 1;
  for (ssize_t k = start; k < end; k += 2)
  {
    const unsigned char c = head[k + 1 - zeroAt];
    if (head[k + zeroAt] != 0 || (c < 0x20 && c != '\n' && c != '\r' && c != '\t') || c > 0x7E)
    {
      return false;
    }
  }
  return true;
}

} // namespace

bool CheckRegularFile(const std::string& path, const std::uintmax_t maxBytes, std::string& reason)
{
  struct stat info;
  if (::stat(path.c_str(), &info) != 0)
  {
    reason = errno == EACCES         ? "permission denied"
             : errno == ELOOP        ? "a loop of symbolic links"
             : errno == ENAMETOOLONG ? "a name too long"
                                     : "no such file";
    return false;
  }
  if (!S_ISREG(info.st_mode))
  {
    reason = S_ISDIR(info.st_mode) ? "a directory, not a file" : "not a regular file";
    return false;
  }
  if (static_cast<std::uintmax_t>(info.st_size) > maxBytes)
  {
    reason = "larger than " + std::to_string(maxBytes >> 20) + " MB";
    return false;
  }
  if (::access(path.c_str(), R_OK) != 0)
  {
    reason = "permission denied";
    return false;
  }
  if (const char* method = compressionOf(path))
  {
    reason = std::string("it is compressed with ") + method + "; decompress it first";
    return false;
  }
  if (isUtf16Text(path))
  {
    reason = "it is UTF-16 text; save it as UTF-8 or ASCII first";
    return false;
  }
  return true;
}

bool IsNonFiniteTail(const char* tail, const char* end)
{
  if (tail >= end || *tail != '#')
  {
    return false;
  }
  for (const char* spelling : {"#INF", "#IND", "#QNAN", "#SNAN"})
  {
    const size_t length = std::strlen(spelling);
    if (static_cast<size_t>(end - tail) >= length &&
        std::equal(spelling, spelling + length, tail,
                   [](const char a, const char b)
                   { return a == std::toupper(static_cast<unsigned char>(b)); }))
    {
      return true;
    }
  }
  return false;
}

bool FileHoldsByte(const std::string& path, const char c)
{
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr)
  {
    return false;
  }
  std::vector<char> buffer(size_t(1) << 20);
  bool              isFound = false;
  size_t            got     = 0;
  while (!isFound && (got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0)
  {
    isFound = std::memchr(buffer.data(), c, got) != nullptr;
  }
  std::fclose(file);
  return isFound;
}

Number ScanNumber(const char*& p, const char* end)
{
  while (p < end && (*p == ' ' || *p == '\t' || *p == '\r'))
  {
    ++p;
  }
  if (p < end && *p == '+')
  {
    ++p;
  }
  const char* start    = p;
  const char* wordEnd  = start;
  const auto  isFinish = [](const char c)
  { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; };
  while (wordEnd < end && !isFinish(*wordEnd))
  {
    ++wordEnd;
  }
  double                       value  = 0.0;
  const std::from_chars_result parsed = std::from_chars(p, end, value);
  p = parsed.ec == std::errc::invalid_argument ? start : parsed.ptr;
  if (parsed.ec == std::errc::result_out_of_range || p < wordEnd)
  {
    // Readers built on strtod take more than from_chars does: hexadecimal floats
    // ("0x1p+2000") and prefixes of words ("1.#INF"). Judge the word as they will read it;
    // out of range means overflow or underflow, and only overflow is an error.
    const std::string word(start, wordEnd);
    char*             stop = nullptr;
    const double      read = std::strtod(word.c_str(), &stop);
    if (stop != word.c_str())
    {
      value = read;
      p     = std::max(p, start + (stop - word.c_str()));
      if (IsNonFiniteTail(p, wordEnd))
      {
        return Number::Invalid;
      }
    }
    else if (parsed.ec == std::errc::invalid_argument)
    {
      return Number::NotANumber;
    }
  }
  else if (parsed.ec == std::errc::invalid_argument)
  {
    return Number::NotANumber;
  }
  return IsValidCoordinate(value) ? Number::Valid : Number::Invalid;
}

bool SkipByteOrderMark(FILE* file)
{
  if (file == nullptr)
  {
    return false;
  }
  char      head[3] = {0, 0, 0};
  const int got     = static_cast<int>(std::fread(head, 1, 3, file));
  if (ByteOrderMarkLength(head, static_cast<size_t>(got)) == 3)
  {
    return true;
  }
  std::rewind(file);
  return false;
}

std::string CopyWithoutByteOrderMark(const std::string& path)
{
  FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr)
  {
    return std::string();
  }
  std::string copy;
  if (SkipByteOrderMark(in))
  {
    const char* folder = std::getenv("TMPDIR");
    std::string name   = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") +
                       "/quorin-input-XXXXXX";
    const int fd  = ::mkstemp(&name[0]);
    FILE*     out = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (out != nullptr)
    {
      std::vector<char> block(size_t(1) << 20);
      size_t            got = 0;
      bool              ok  = true;
      while (ok && (got = std::fread(block.data(), 1, block.size(), in)) > 0)
      {
        ok = std::fwrite(block.data(), 1, got, out) == got;
      }
      ok = !std::ferror(in) && ok;
      ok = std::fclose(out) == 0 && ok;
      if (ok)
      {
        copy = name;
      }
      else
      {
        std::remove(name.c_str());
      }
    }
    else if (fd >= 0)
    {
      ::close(fd);
      std::remove(name.c_str());
    }
  }
  std::fclose(in);
  return copy;
}

} // namespace Exchange_InputCheck

} // namespace quorin
