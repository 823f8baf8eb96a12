#include <Exchange_AtomicFile.hxx>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorin
{

namespace
{

//! Bytes of the target's name kept in its temporary's name.
const size_t THE_TEMPORARY_STEM = 200;

//! The process's file mode mask, read without changing it (umask() would, for a moment,
//! for every thread of the process).
mode_t currentUmask()
{
  std::ifstream status("/proc/self/status");
  std::string   line;
  while (std::getline(status, line))
  {
    if (line.compare(0, 6, "Umask:") == 0)
    {
      return static_cast<mode_t>(std::strtol(line.c_str() + 6, nullptr, 8));
    }
  }
  return 022;
}

//! Opens a device or a pipe for writing. Opening a pipe that no process reads from would
//! block until one does, deaf to Ctrl-C: it fails at once instead (ENXIO), and the file
//! is switched back to blocking writes once open.
FILE* openInPlace(const std::string& path)
{
  const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0)
  {
    return nullptr;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr)
  {
    const int code = errno;
    ::close(fd);
    errno = code;
  }
  return file;
}

} // namespace

Exchange_AtomicFile::Exchange_AtomicFile(const std::string& target, const Access access)
    : m_target(target)
{
  // 1. Follow a symbolic link, so that the file it names is replaced, not the link.
  struct stat info;
  const bool  exists = ::stat(target.c_str(), &info) == 0;
  if (exists && !S_ISREG(info.st_mode))
  {
    m_isInPlace = true;
  }
  else if (exists)
  {
    char resolved[PATH_MAX];
    if (::realpath(target.c_str(), resolved) != nullptr)
    {
      m_target = resolved;
    }
  }

  // 2. Devices and pipes are written directly, through the stream or, for writers that
  //    open a path (and may not check their writes), through a regular temporary file in
  //    the temporary folder that Commit copies with every write checked.
  if (m_isInPlace && access == Access_Stream)
  {
    m_tempPath = m_target;
    m_file     = openInPlace(m_target);
    if (m_file == nullptr)
    {
      setSystemError(errno);
      return;
    }
    m_isOpen = true;
    return;
  }
  if (m_isInPlace)
  {
    const char* folder = std::getenv("TMPDIR");
    m_tempPath         = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") +
                 "/quorin-output-XXXXXX";
    const int fd = ::mkstemp(&m_tempPath[0]);
    if (fd < 0)
    {
      setSystemError(errno);
      m_tempPath.clear();
      return;
    }
    ::close(fd);
    m_isOpen = true;
    return;
  }

  // 3. A uniquely named hidden file in the same folder, with the mode the target has or
  //    would get when created.
  const size_t      slash = m_target.find_last_of('/');
  const std::string folder =
      slash == std::string::npos ? std::string() : m_target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? m_target : m_target.substr(slash + 1);
  // The name is cut so that the temporary's stays within the 255 bytes a folder entry may
  // have when the target's already comes close; the random suffix keeps it unique.
  m_tempPath   = folder + "." + name.substr(0, THE_TEMPORARY_STEM) + ".XXXXXX";
  const int fd = ::mkstemp(&m_tempPath[0]);
  if (fd < 0)
  {
    setSystemError(errno);
    m_tempPath.clear();
    return;
  }
  ::fchmod(fd, exists ? (info.st_mode & 07777) : (0666 & ~currentUmask()));
  if (access == Access_Path)
  {
    ::close(fd);
    m_isOpen = true;
    return;
  }
  m_file = ::fdopen(fd, "wb");
  if (m_file == nullptr)
  {
    setSystemError(errno);
    ::close(fd);
    ::unlink(m_tempPath.c_str());
    m_tempPath.clear();
    return;
  }
  m_isOpen = true;
}

Exchange_AtomicFile::~Exchange_AtomicFile()
{
  Discard();
}

bool Exchange_AtomicFile::Write(const void* data, const size_t size)
{
  if (m_file == nullptr || m_isFailed)
  {
    return false;
  }
  if (size > 0 && std::fwrite(data, 1, size, m_file) != size)
  {
    setSystemError(errno);
    m_isFailed = true;
  }
  return !m_isFailed;
}

bool Exchange_AtomicFile::Commit()
{
  if (!m_isOpen || m_isDone)
  {
    return false;
  }
  // 1. Every buffered byte must reach the file: stdio reports a full disk on the flush or
  //    the close as often as on a write.
  bool isWritten = !m_isFailed;
  if (m_file != nullptr)
  {
    if (std::fflush(m_file) != 0 || std::ferror(m_file) != 0)
    {
      setSystemError(errno);
      isWritten = false;
    }
    const int closed = std::fclose(m_file);
    m_file           = nullptr;
    if (closed != 0 && isWritten)
    {
      setSystemError(errno);
      isWritten = false;
    }
  }
  if (!isWritten)
  {
    if (m_error.empty())
    {
      m_error = "writing failed";
    }
    Discard();
    return false;
  }

  // 2. Replace the target in one step, or copy into the device.
  if (m_isInPlace && m_tempPath != m_target && !copyToTarget())
  {
    Discard();
    return false;
  }
  if (!m_isInPlace && std::rename(m_tempPath.c_str(), m_target.c_str()) != 0)
  {
    setSystemError(errno);
    Discard();
    return false;
  }
  m_isDone = true;
  return true;
}

bool Exchange_AtomicFile::copyToTarget()
{
  FILE* in  = std::fopen(m_tempPath.c_str(), "rb");
  FILE* out = in != nullptr ? openInPlace(m_target) : nullptr;
  bool  ok  = out != nullptr;
  if (!ok)
  {
    setSystemError(errno);
  }
  std::vector<char> block(size_t(1) << 20);
  size_t            got = 0;
  while (ok && in != nullptr && (got = std::fread(block.data(), 1, block.size(), in)) > 0)
  {
    if (std::fwrite(block.data(), 1, got, out) != got)
    {
      setSystemError(errno);
      ok = false;
    }
  }
  if (out != nullptr)
  {
    const bool isFlushed = std::fflush(out) == 0;
    const int  code      = errno;
    const bool isClosed  = std::fclose(out) == 0;
    if (ok && (!isFlushed || !isClosed))
    {
      setSystemError(isFlushed ? errno : code);
      ok = false;
    }
  }
  if (in != nullptr)
  {
    std::fclose(in);
  }
  ::unlink(m_tempPath.c_str());
  return ok;
}

void Exchange_AtomicFile::Discard()
{
  if (m_file != nullptr)
  {
    std::fclose(m_file);
    m_file = nullptr;
  }
  if (m_isOpen && !m_isDone && !m_tempPath.empty() && m_tempPath != m_target)
  {
    ::unlink(m_tempPath.c_str());
  }
  m_isDone = true;
}

void Exchange_AtomicFile::setSystemError(const int code)
{
  m_error = ErrorText(code);
}

std::string Exchange_AtomicFile::ErrorText(const int code)
{
  switch (code)
  {
  case EACCES:
  case EPERM:
    return "permission denied";
  case ENOSPC:
    return "no space left on the device";
  case EDQUOT:
    return "disk quota exceeded";
  case EROFS:
    return "read-only file system";
  case ENOENT:
  case ENOTDIR:
    return "no such directory";
  case EIO:
    return "input/output error";
  case ENXIO:
    return "no process is reading from the pipe";
  case 0:
    return "writing failed";
  default:
  {
    std::string text = std::strerror(code);
    if (!text.empty())
    {
      text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    }
    return text;
  }
  }
}

} // namespace quorin
