#include <Exchange_OBJScan.hxx>

#include <Exchange_InputCheck.hxx>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <algorithm>

#include <unistd.h>

namespace quorin
{

namespace
{

bool isBlank(const char c)
{
  return c == ' ' || c == '\t' || c == '\r';
}

const char* skipBlanks(const char* p, const char* end)
{
  while (p < end && isBlank(*p))
  {
    ++p;
  }
  return p;
}

const char* skipWord(const char* p, const char* end)
{
  while (p < end && !isBlank(*p))
  {
    ++p;
  }
  return p;
}

//! The line's keyword and the rest of it after the blanks that follow.
void splitKeyword(const std::string& line, std::string& keyword, const char*& rest)
{
  const char* end   = line.data() + line.size();
  const char* start = skipBlanks(line.data(), end);
  const char* stop  = skipWord(start, end);
  keyword.assign(start, stop);
  rest = skipBlanks(stop, end);
}

//! Number of blank-separated words from `p` on.
size_t countWords(const char* p, const char* end)
{
  size_t count = 0;
  for (p = skipBlanks(p, end); p < end; p = skipBlanks(skipWord(p, end), end))
  {
    ++count;
  }
  return count;
}

std::string trimmed(const char* p, const char* end)
{
  while (end > p && isBlank(end[-1]))
  {
    --end;
  }
  return std::string(p, end);
}

} // namespace

std::vector<std::string> Exchange_OBJScan::LibraryNames(const std::string& text,
                                                        const std::string& folder)
{
  const char*       begin = skipBlanks(text.data(), text.data() + text.size());
  const char*       end   = text.data() + text.size();
  const std::string whole = trimmed(begin, end);
  if (whole.empty())
  {
    return {};
  }
  std::error_code status;
  if (countWords(begin, end) == 1 ||
      std::filesystem::is_regular_file(std::filesystem::path(folder) / whole, status))
  {
    return {whole};
  }
  std::vector<std::string> names;
  for (const char* p = begin; p < end; p = skipBlanks(p, end))
  {
    const char* stop = skipWord(p, end);
    names.emplace_back(p, stop);
    p = stop;
  }
  return names;
}

Exchange_OBJScan::~Exchange_OBJScan()
{
  if (!m_copyPath.empty())
  {
    std::remove(m_copyPath.c_str());
  }
}

bool Exchange_OBJScan::Perform(const std::string& path)
{
  return Perform(path, algoMesh_ProgressScope(ActAPI_ProgressEntry(), TCollection_AsciiString()));
}

bool Exchange_OBJScan::Perform(const std::string& path, algoMesh_ProgressScope progress)
{
  m_readPath = path;
  m_error.clear();
  m_warnings.clear();
  m_badLibraries.clear();
  // Checked before opening: opening a pipe would wait for a writer.
  std::string reason = "cannot be opened";
  if (!Exchange_InputCheck::CheckRegularFile(path, ~std::uintmax_t(0), reason))
  {
    m_error = "The file cannot be read: " + reason + ".";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open())
  {
    m_error = "The file cannot be read: cannot be opened.";
    return false;
  }
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  std::error_code             status;
  progress.SetTotal(static_cast<int64_t>(std::filesystem::file_size(path, status)));

  // 1. Check every vertex line and find what the kernel reader cannot take.
  bool        needsCopy = false;
  std::string line, keyword;
  size_t      lineNo = 0;
  while (std::getline(in, line))
  {
    ++lineNo;
    if (lineNo % 65536 == 0)
    {
      progress.SetDone(static_cast<int64_t>(in.tellg()));
      if (progress.IsCancelled())
      {
        return false;
      }
    }
    if (lineNo == 1 && Exchange_InputCheck::ByteOrderMarkLength(line.data(), line.size()) > 0)
    {
      needsCopy = true;
      line.erase(0, 3);
    }
    if (in.eof())
    {
      needsCopy = true; // no newline after the last line
    }
    const char* rest = nullptr;
    splitKeyword(line, keyword, rest);
    const char* end = line.data() + line.size();
    if (keyword == "v")
    {
      for (int axis = 0; axis < 3; ++axis)
      {
        const Exchange_InputCheck::Number number = Exchange_InputCheck::ScanNumber(rest, end);
        if (number == Exchange_InputCheck::Number::Invalid)
        {
          m_error = "Line " + std::to_string(lineNo) +
                    ": a vertex coordinate is not a finite number of at most 3.4e38.";
          return false;
        }
        // The kernel reader reads a word that is no number as 0 and drops a vertex line
        // without numbers, which shifts every later index: refuse both.
        if (number == Exchange_InputCheck::Number::NotANumber || (rest < end && !isBlank(*rest)))
        {
          m_error = "Line " + std::to_string(lineNo) + ": a vertex needs three numbers.";
          return false;
        }
      }
    }
    else if (keyword == "f")
    {
      needsCopy = needsCopy || countWords(rest, end) > THE_POLYGON_LIMIT;
    }
    else if (keyword == "mtllib")
    {
      const std::vector<std::string> names = LibraryNames(std::string(rest, end), folder.string());
      needsCopy                            = needsCopy || names.size() > 1;
      for (const std::string& name : names)
      {
        std::string reason;
        if (!Exchange_InputCheck::CheckRegularFile(
                (folder / name).string(), Exchange_InputCheck::THE_REFERENCE_LIMIT, reason))
        {
          // Thousands of such lines tell the first few and how many followed.
          if (m_badLibraries.size() < Exchange_InputCheck::THE_WARNING_LIMIT)
          {
            m_warnings.push_back("Line " + std::to_string(lineNo) + ": material library '" +
                                 name.substr(0, 200) + "' not read: " + reason + ".");
          }
          m_badLibraries.push_back(name);
          needsCopy = true;
        }
      }
    }
  }
  if (in.bad())
  {
    m_error = "The file cannot be read: input/output error.";
    return false;
  }
  if (m_badLibraries.size() > Exchange_InputCheck::THE_WARNING_LIMIT)
  {
    m_warnings.push_back(
        std::to_string(m_badLibraries.size() - Exchange_InputCheck::THE_WARNING_LIMIT) +
        " more material libraries not read.");
  }

  // 2. Write the prepared copy only when needed.
  return !needsCopy || writeCopy(path);
}

bool Exchange_OBJScan::writeCopy(const std::string& path)
{
  std::error_code       status;
  std::filesystem::path temp = std::filesystem::temp_directory_path(status);
  if (status)
  {
    temp = "/tmp";
  }
  std::string name = (temp / "quorin-obj-XXXXXX.obj").string();
  const int   fd   = ::mkstemps(&name[0], 4);
  FILE*       out  = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
  if (out == nullptr)
  {
    if (fd >= 0)
    {
      ::close(fd);
      std::remove(name.c_str());
    }
    m_error = "The file cannot be prepared for reading: no temporary file.";
    return false;
  }
  m_copyPath = name;

  // Material libraries are named relative to the copy's folder, which the kernel reader
  // puts before them.
  const std::filesystem::path folder =
      std::filesystem::absolute(std::filesystem::path(path), status).parent_path();
  const std::filesystem::path copyFolder = std::filesystem::path(name).parent_path();

  std::ifstream in(path, std::ios::binary);
  std::string   line, keyword, text;
  size_t        lineNo = 0;
  bool          ok     = in.is_open();
  while (ok && std::getline(in, line))
  {
    ++lineNo;
    if (lineNo == 1)
    {
      line.erase(0, Exchange_InputCheck::ByteOrderMarkLength(line.data(), line.size()));
    }
    const char* rest = nullptr;
    splitKeyword(line, keyword, rest);
    const char* end = line.data() + line.size();
    if (keyword == "f" && countWords(rest, end) > THE_POLYGON_LIMIT)
    {
      std::vector<std::string> words;
      for (const char* p = skipBlanks(rest, end); p < end; p = skipBlanks(p, end))
      {
        const char* stop = skipWord(p, end);
        words.emplace_back(p, stop);
        p = stop;
      }
      text.clear();
      for (size_t k = 1; k + 1 < words.size(); ++k)
      {
        text += "f " + words[0] + " " + words[k] + " " + words[k + 1] + "\n";
      }
    }
    else if (keyword == "mtllib")
    {
      text.clear();
      for (const std::string& library : LibraryNames(std::string(rest, end), folder.string()))
      {
        const bool isBad = std::find(m_badLibraries.begin(), m_badLibraries.end(), library) !=
                           m_badLibraries.end();
        text += isBad ? "# mtllib " + library + "\n"
                      : "mtllib " +
                            (folder / library)
                                .lexically_normal()
                                .lexically_relative(copyFolder)
                                .string() +
                            "\n";
      }
    }
    else
    {
      text = line;
      text.push_back('\n');
    }
    ok = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  }
  ok = !in.bad() && ok;
  ok = std::fclose(out) == 0 && ok;
  if (!ok)
  {
    m_error = "The file cannot be prepared for reading: the temporary folder is full.";
    return false;
  }
  m_readPath = m_copyPath;
  return true;
}

} // namespace quorin
