#include <algoMesh_CADReader.hxx>

#include <Exchange_InputCheck.hxx>
#include <Exchange_KernelGuard.hxx>
#include <Exchange_STEPScan.hxx>

#include <algoBase_ProgressIndicator.hxx>

#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <STEPControl_Reader.hxx>
#include <StepData_StepModel.hxx>
#include <StepGeom_BSplineCurveWithKnots.hxx>
#include <StepGeom_BSplineCurveWithKnotsAndRationalBSplineCurve.hxx>
#include <StepGeom_BSplineSurfaceWithKnots.hxx>
#include <StepGeom_BSplineSurfaceWithKnotsAndRationalBSplineSurface.hxx>
#include <TColStd_HArray1OfReal.hxx>

#include <cmath>
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

//! Finds the first word of BREP text that the kernel's reader converts to an infinity or
//! a NaN ("NaN", "Infinity", "1e400", hexadecimal floats): curves and surfaces through such
//! a point keep the mesher looping. The kernel reads a number as a word of at most 255
//! characters, the rest of a longer word as the next number; the check reads them alike.
//! @return the line of that word, or 0 when every number is finite
size_t lineOfNonFiniteNumber(const std::string& text)
{
  const auto isSpace = [](const char c)
  { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; };
  size_t lineNo = 1;
  char   word[256];
  for (size_t p = 0; p < text.size();)
  {
    if (isSpace(text[p]))
    {
      lineNo += text[p] == '\n' ? 1 : 0;
      ++p;
      continue;
    }
    size_t length = 0;
    for (; p < text.size() && !isSpace(text[p]) && length < 255; ++p)
    {
      word[length++] = text[p];
    }
    word[length]       = '\0';
    char*        stop  = nullptr;
    const double value = std::strtod(word, &stop);
    if (stop != word &&
        (!std::isfinite(value) || Exchange_InputCheck::IsNonFiniteTail(stop, word + length)))
    {
      return lineNo;
    }
  }
  return 0;
}

//! Largest ratio of two distinct knot spans of one B-spline that the kernel's shape repair
//! handles quickly. Its self-intersection fix steps along an edge in time proportional to
//! this ratio: 1e5 costs seconds, a span of 2^31 next to spans of 1 runs for hours.
//! Real parameterisations stay orders of magnitude below it.
const double THE_MAX_KNOT_SPAN_RATIO = 1e5;

//! Checks one knot vector: finite, not decreasing, spans within THE_MAX_KNOT_SPAN_RATIO.
bool isSaneKnotVector(const Handle(TColStd_HArray1OfReal) & knots, std::string& problem)
{
  if (knots.IsNull())
  {
    return true;
  }
  double smallest = 0.0, largest = 0.0;
  for (int k = knots->Lower(); k <= knots->Upper(); ++k)
  {
    if (!std::isfinite(knots->Value(k)))
    {
      problem = "a knot that is not a finite number";
      return false;
    }
    if (k == knots->Lower())
    {
      continue;
    }
    const double span = knots->Value(k) - knots->Value(k - 1);
    if (span < 0.0)
    {
      problem = "decreasing knots";
      return false;
    }
    if (span > 0.0)
    {
      smallest = smallest == 0.0 ? span : std::min(smallest, span);
      largest  = std::max(largest, span);
    }
  }
  if (largest > THE_MAX_KNOT_SPAN_RATIO * smallest)
  {
    problem = "knot spans more than 100000 times apart";
    return false;
  }
  return true;
}

//! Checks the knot vectors of every B-spline curve and surface of a loaded STEP model.
//! @return false with the reason, naming the entity, in `reason`
bool checkKnotVectors(const Handle(StepData_StepModel) & model, std::string& reason)
{
  if (model.IsNull())
  {
    return true;
  }
  for (int i = 1; i <= model->NbEntities(); ++i)
  {
    const Handle(Standard_Transient)& entity = model->Value(i);
    Handle(StepGeom_BSplineCurveWithKnots) curve =
        Handle(StepGeom_BSplineCurveWithKnots)::DownCast(entity);
    Handle(StepGeom_BSplineSurfaceWithKnots) surface =
        Handle(StepGeom_BSplineSurfaceWithKnots)::DownCast(entity);
    if (auto rational =
            Handle(StepGeom_BSplineCurveWithKnotsAndRationalBSplineCurve)::DownCast(entity))
    {
      curve = rational->BSplineCurveWithKnots();
    }
    if (auto rational =
            Handle(StepGeom_BSplineSurfaceWithKnotsAndRationalBSplineSurface)::DownCast(entity))
    {
      surface = rational->BSplineSurfaceWithKnots();
    }
    std::string problem;
    const bool  isSane = (curve.IsNull() || isSaneKnotVector(curve->Knots(), problem)) &&
                        (surface.IsNull() || (isSaneKnotVector(surface->UKnots(), problem) &&
                                              isSaneKnotVector(surface->VKnots(), problem)));
    if (!isSane)
    {
      reason = "the B-spline #" + std::to_string(model->IdentLabel(entity)) + " has " + problem;
      return false;
    }
  }
  return true;
}

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

  // 1. Refuse lists and values long enough to keep the kernel's parser busy for minutes.
  if (!Exchange_STEPScan::CheckParseCost(path, reason))
  {
    sendError(progress, "The STEP file cannot be read: " + reason + ".");
    return false;
  }

  // 2. Load the entities; a file with a byte-order mark is given to the kernel without it.
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

  // 3. Refuse knot vectors that would keep the kernel's shape repair busy for hours.
  if (!checkKnotVectors(reader.StepModel(), reason))
  {
    sendError(progress, "The STEP file is malformed: " + reason + ".");
    return false;
  }

  // 4. Translate the roots into a shape.
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

  // 1. Check the counts the file declares and its numbers before the kernel loops on them.
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
  if (const size_t lineNo = lineOfNonFiniteNumber(text))
  {
    sendError(progress, "The BREP file is malformed: line " + std::to_string(lineNo) +
                            " holds a number that is not finite.");
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
