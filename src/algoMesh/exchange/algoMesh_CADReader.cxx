#include <algoMesh_CADReader.hxx>

#include <Exchange_InputCheck.hxx>
#include <Exchange_KernelGuard.hxx>

#include <algoBase_ProgressIndicator.hxx>

#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <STEPControl_Reader.hxx>

#include <cstring>
#include <fstream>
#include <sstream>

namespace quorin
{

namespace
{

void sendError(const ActAPI_ProgressEntry& progress, const std::string& text)
{
  ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Error);
  message << text;
  progress.SendLogMessage(message);
}

//! Reads the whole file; false with the reason when it is not a readable regular file.
bool readText(const std::string& path, std::string& text, std::string& reason)
{
  if (!Exchange_InputCheck::CheckRegularFile(path, ~std::uintmax_t(0), reason))
  {
    return false;
  }
  std::ifstream      in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad())
  {
    reason = "input/output error";
    return false;
  }
  text = content.str();
  return true;
}

//! The sections of the BREP text format whose first line is "<name> <count>".
const char* const THE_SECTIONS[] = {"Locations", "Curve2ds",       "Curves",
                                    "Polygon3D", "Polygon2D",      "PolygonOnTriangulations",
                                    "Surfaces",  "Triangulations", "TShapes"};

} // namespace

bool algoMesh_CADReader::CheckBRepCounts(const std::string& text, std::string& reason)
{
  size_t lineNo = 1;
  for (size_t start = 0; start < text.size(); ++lineNo)
  {
    size_t end = text.find('\n', start);
    end        = end == std::string::npos ? text.size() : end;
    for (const char* section : THE_SECTIONS)
    {
      const size_t length = std::strlen(section);
      if (text.compare(start, length, section) != 0 || start + length >= end ||
          (text[start + length] != ' ' && text[start + length] != '\t'))
      {
        continue;
      }
      // Each item takes at least one character and a separator.
      const unsigned long long capacity = (text.size() - end) / 2 + 1;
      unsigned long long       count    = 0;
      size_t                   p        = start + length;
      while (p < end && (text[p] == ' ' || text[p] == '\t'))
      {
        ++p;
      }
      bool isNumber = p < end && text[p] >= '0' && text[p] <= '9';
      for (; p < end && text[p] >= '0' && text[p] <= '9' && count <= capacity; ++p)
      {
        count = 10 * count + static_cast<unsigned long long>(text[p] - '0');
      }
      if (!isNumber || count > capacity)
      {
        reason = "line " + std::to_string(lineNo) + " declares " +
                 (isNumber ? "more " + std::string(section) + " than the file can hold"
                           : "no valid number of " + std::string(section));
        return false;
      }
    }
    start = end + 1;
  }
  return true;
}

bool algoMesh_CADReader::ReadSTEP(const std::string&   path,
                                  TopoDS_Shape&        shape,
                                  ActAPI_ProgressEntry progress)
{
  shape.Nullify();
  std::string reason;
  if (!Exchange_InputCheck::CheckRegularFile(path, ~std::uintmax_t(0), reason))
  {
    sendError(progress, "The file cannot be read: " + reason + ".");
    return false;
  }

  // 1. Load the entities; a file with a byte-order mark is given to the kernel without it.
  Handle(algoBase_ProgressIndicator) indicator = new algoBase_ProgressIndicator();
  indicator->ConnectNotifier(progress.Access());
  progress.Init("Reading STEP", 100);
  STEPControl_Reader reader;
  std::string        failure;
  bool               isLoaded = Exchange_KernelGuard::Run(
      [&]()
      {
        std::ifstream head(path, std::ios::binary);
        char          mark[3] = {0, 0, 0};
        head.read(mark, 3);
        if (Exchange_InputCheck::ByteOrderMarkLength(mark, static_cast<size_t>(head.gcount())) == 0)
        {
          return reader.ReadFile(path.c_str()) == IFSelect_RetDone;
        }
        std::string text;
        if (!readText(path, text, reason))
        {
          return false;
        }
        std::istringstream stream(text.substr(3));
        return reader.ReadStream(path.c_str(), stream) == IFSelect_RetDone;
      },
      failure);
  if (!isLoaded)
  {
    sendError(progress, failure.empty() ? "The file is not readable STEP."
                                        : "Reading STEP: " + failure + ".");
    return false;
  }

  // 2. Translate the roots into a shape.
  const bool isTransferred = Exchange_KernelGuard::Run(
      [&]()
      {
        reader.TransferRoots(indicator->Start());
        if (progress.IsCancelling())
        {
          return false;
        }
        shape = reader.OneShape();
        return true;
      },
      failure);
  if (!isTransferred)
  {
    shape.Nullify();
    if (!progress.IsCancelling())
    {
      sendError(progress,
                "Translating STEP: " + (failure.empty() ? std::string("failed") : failure) + ".");
    }
    return false;
  }
  return true;
}

bool algoMesh_CADReader::ReadBRep(const std::string&   path,
                                  TopoDS_Shape&        shape,
                                  ActAPI_ProgressEntry progress)
{
  shape.Nullify();

  // 1. Check the counts the file declares before the kernel loops over them.
  std::string text, reason;
  if (!readText(path, text, reason))
  {
    sendError(progress, "The file cannot be read: " + reason + ".");
    return false;
  }
  const size_t mark = Exchange_InputCheck::ByteOrderMarkLength(text.data(), text.size());
  if (!CheckBRepCounts(text, reason))
  {
    sendError(progress, "The BREP file is malformed: " + reason + ".");
    return false;
  }

  // 2. Read the shape from the checked text.
  Handle(algoBase_ProgressIndicator) indicator = new algoBase_ProgressIndicator();
  indicator->ConnectNotifier(progress.Access());
  progress.Init("Reading BREP", 100);
  std::string failure;
  const bool  isRead = Exchange_KernelGuard::Run(
      [&]()
      {
        std::istringstream stream(mark > 0 ? text.substr(mark) : text);
        text.clear();
        // The kernel's reader loops until it meets an end marker and never looks at the
        // stream's state: after a malformed number or the end of the text it would loop
        // forever. A failing read throws instead, which ends the read as a failure.
        stream.exceptions(std::ios::failbit | std::ios::badbit);
        BRep_Builder builder;
        BRepTools::Read(shape, stream, builder, indicator->Start());
        return !progress.IsCancelling() && !shape.IsNull();
      },
      failure);
  if (!isRead)
  {
    shape.Nullify();
    if (!progress.IsCancelling())
    {
      sendError(progress, failure.empty() ? "The file is not readable BREP."
                                          : "Reading BREP: " + failure + ".");
    }
    return false;
  }
  return true;
}

} // namespace quorin
