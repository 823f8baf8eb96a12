#include "QualityReport.hxx"

#include "QualityTable.hxx"
#include "ReportAssets.hxx"

#include <algoMesh_QualityMetric.hxx>

#include <Bnd_Box.hxx>

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <numeric>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

namespace cli
{

namespace
{
constexpr int THE_NB_BINS   = 24;
constexpr int THE_NB_WORST  = 12;
constexpr int THE_NB_GROUPS = 50;

// The triangles the page draws: every valid triangle, or a clustered copy of the mesh.
struct ViewMesh
{
  std::vector<float> Nodes;     //!< x, y, z, relative to Centre
  std::vector<int>   Triangles; //!< 0-based node numbers, three per triangle
  std::vector<int>   Sources;   //!< 0-based input triangle each drawn triangle stands for
  gp_XYZ             Centre;
  bool               IsDecimated = false;
};

struct TripleHash
{
  size_t operator()(const std::array<int, 3>& t) const
  {
    return (size_t(t[0]) * 73856093u) ^ (size_t(t[1]) * 19349663u) ^ (size_t(t[2]) * 83492791u);
  }
};

bool isValidTriangle(const Poly_Triangulation& mesh, const int t, int n[3])
{
  mesh.Triangle(t).Get(n[0], n[1], n[2]);
  const int nbNodes = mesh.NbNodes();
  for (int k = 0; k < 3; ++k)
  {
    if (n[k] < 1 || n[k] > nbNodes)
    {
      return false;
    }
  }
  return n[0] != n[1] && n[1] != n[2] && n[0] != n[2];
}

// The whole mesh, nodes relative to the centre of its box so that single precision keeps
// the detail of a part far from the origin.
ViewMesh fullView(const Poly_Triangulation& mesh, const gp_XYZ& centre)
{
  ViewMesh view;
  view.Centre = centre;
  view.Nodes.reserve(size_t(mesh.NbNodes()) * 3);
  for (int i = 1; i <= mesh.NbNodes(); ++i)
  {
    const gp_XYZ p = mesh.Node(i).XYZ() - centre;
    view.Nodes.insert(view.Nodes.end(), {float(p.X()), float(p.Y()), float(p.Z())});
  }
  for (int t = 1; t <= mesh.NbTriangles(); ++t)
  {
    int n[3];
    if (isValidTriangle(mesh, t, n))
    {
      view.Triangles.insert(view.Triangles.end(), {n[0] - 1, n[1] - 1, n[2] - 1});
      view.Sources.push_back(t - 1);
    }
  }
  return view;
}

// Vertex clustering (Rossignac and Borrel, 1993): nodes in one cell of a regular grid
// become one node at their mean, triangles whose corners fall into three different cells
// survive, once per set of cells. O(n) per try; the cell grows until the view is small
// enough. Each drawn triangle carries the values of the first input triangle that made it.
ViewMesh clusteredView(const Poly_Triangulation& mesh, const Bnd_Box& box, const int limit)
{
  const gp_XYZ lo       = box.CornerMin().XYZ();
  const double diagonal = box.CornerMin().Distance(box.CornerMax());
  double       cell     = diagonal / std::sqrt(limit / 2.0);
  for (;;)
  {
    ViewMesh view;
    view.Centre      = (box.CornerMin().XYZ() + box.CornerMax().XYZ()) * 0.5;
    view.IsDecimated = true;
    std::unordered_map<std::uint64_t, int> clusterOfCell;
    std::vector<int>                       clusterOfNode(size_t(mesh.NbNodes()) + 1);
    std::vector<double>                    sums;
    std::vector<int>                       counts;
    for (int i = 1; i <= mesh.NbNodes(); ++i)
    {
      const gp_XYZ        p  = mesh.Node(i).XYZ();
      const std::uint64_t ix = std::uint64_t((p.X() - lo.X()) / cell) & 0x1FFFFF;
      const std::uint64_t iy = std::uint64_t((p.Y() - lo.Y()) / cell) & 0x1FFFFF;
      const std::uint64_t iz = std::uint64_t((p.Z() - lo.Z()) / cell) & 0x1FFFFF;
      const auto hit = clusterOfCell.emplace(ix | (iy << 21) | (iz << 42), int(counts.size()));
      if (hit.second)
      {
        sums.insert(sums.end(), {0.0, 0.0, 0.0});
        counts.push_back(0);
      }
      const int c              = hit.first->second;
      clusterOfNode[size_t(i)] = c;
      sums[3 * size_t(c)] += p.X();
      sums[3 * size_t(c) + 1] += p.Y();
      sums[3 * size_t(c) + 2] += p.Z();
      ++counts[size_t(c)];
    }
    std::unordered_set<std::array<int, 3>, TripleHash> seen;
    for (int t = 1; t <= mesh.NbTriangles(); ++t)
    {
      int n[3];
      if (!isValidTriangle(mesh, t, n))
      {
        continue;
      }
      const int a = clusterOfNode[size_t(n[0])], b = clusterOfNode[size_t(n[1])],
                c = clusterOfNode[size_t(n[2])];
      if (a == b || b == c || a == c)
      {
        continue;
      }
      std::array<int, 3> key{a, b, c};
      std::sort(key.begin(), key.end());
      if (seen.insert(key).second)
      {
        view.Triangles.insert(view.Triangles.end(), {a, b, c});
        view.Sources.push_back(t - 1);
      }
    }
    if (static_cast<int>(view.Sources.size()) > limit)
    {
      cell *= 1.2;
      continue;
    }
    view.Nodes.reserve(counts.size() * 3);
    for (size_t c = 0; c < counts.size(); ++c)
    {
      for (int k = 0; k < 3; ++k)
      {
        view.Nodes.push_back(float(sums[3 * c + k] / counts[c] - view.Centre.Coord(k + 1)));
      }
    }
    return view;
  }
}

std::string base64(const void* data, const size_t size)
{
  static const char THE_DIGITS[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::string text;
  text.reserve((size + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < size; i += 3)
  {
    const std::uint32_t v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    text.append({THE_DIGITS[v >> 18], THE_DIGITS[(v >> 12) & 63], THE_DIGITS[(v >> 6) & 63],
                 THE_DIGITS[v & 63]});
  }
  if (i < size)
  {
    const std::uint32_t v = (bytes[i] << 16) | (i + 1 < size ? bytes[i + 1] << 8 : 0);
    text.append({THE_DIGITS[v >> 18], THE_DIGITS[(v >> 12) & 63],
                 i + 1 < size ? THE_DIGITS[(v >> 6) & 63] : '=', '='});
  }
  return text;
}

// A number as JSON: null for NaN and for the open side of a range.
std::string number(const double value)
{
  if (!std::isfinite(value) || std::abs(value) >= DBL_MAX)
  {
    return "null";
  }
  char text[32];
  std::snprintf(text, sizeof(text), "%.9g", value);
  return text;
}

// A text as a JSON string that may sit inside a <script> element.
std::string quoted(const std::string& text)
{
  std::string out = "\"";
  for (const char c : text)
  {
    switch (c)
    {
    case '"':
      out += "\\\"";
      break;
    case '\\':
      out += "\\\\";
      break;
    case '<':
      out += "\\u003c";
      break;
    case '\n':
      out += "\\n";
      break;
    default:
      if (static_cast<unsigned char>(c) < 0x20)
      {
        char escaped[8];
        std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
        out += escaped;
      }
      else
      {
        out += c;
      }
    }
  }
  return out + "\"";
}

std::string escapedHtml(const std::string& text)
{
  std::string out;
  for (const char c : text)
  {
    out += c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '&' ? "&amp;" : std::string(1, c);
  }
  return out;
}

// Centroid of an input triangle, relative to the view's centre, as a JSON array.
std::string centroid(const Poly_Triangulation& mesh, const int t, const gp_XYZ& centre)
{
  int a, b, c;
  mesh.Triangle(t + 1).Get(a, b, c);
  const gp_XYZ p = (mesh.Node(a).XYZ() + mesh.Node(b).XYZ() + mesh.Node(c).XYZ()) / 3.0 - centre;
  return "[" + number(p.X()) + "," + number(p.Y()) + "," + number(p.Z()) + "]";
}

// How far a value lies outside the acceptable range; negative inside, the closer to a
// bound the greater.
double badness(const ReportField& field, const double value)
{
  if (!field.HasRange)
  {
    return std::abs(value);
  }
  return std::max(field.Acceptable[0] - value, value - field.Acceptable[1]);
}

// Scalar fields: range, share outside the acceptable range, histogram, worst triangles.
void scalarSummary(std::ostream&             out,
                   const ReportField&        field,
                   const Poly_Triangulation& mesh,
                   const gp_XYZ&             centre)
{
  double lo = DBL_MAX, hi = -DBL_MAX;
  int    nbValues = 0, nbOutside = 0;
  for (const double v : field.Values)
  {
    if (std::isfinite(v))
    {
      lo = std::min(lo, v);
      hi = std::max(hi, v);
      ++nbValues;
      nbOutside += field.HasRange && (v < field.Acceptable[0] || v > field.Acceptable[1]) ? 1 : 0;
    }
  }
  std::vector<long> bins(THE_NB_BINS, 0);
  for (const double v : field.Values)
  {
    if (std::isfinite(v))
    {
      const double share = hi > lo ? (v - lo) / (hi - lo) : 0.0;
      ++bins[size_t(std::min(THE_NB_BINS - 1, int(share * THE_NB_BINS)))];
    }
  }
  std::vector<int> order;
  for (size_t t = 0; t < field.Values.size(); ++t)
  {
    if (std::isfinite(field.Values[t]))
    {
      order.push_back(int(t));
    }
  }
  const size_t nbWorst = std::min(order.size(), size_t(THE_NB_WORST));
  std::partial_sort(order.begin(), order.begin() + long(nbWorst), order.end(),
                    [&field](const int a, const int b)
                    { return badness(field, field.Values[a]) > badness(field, field.Values[b]); });
  out << ",\"nbValues\":" << nbValues << ",\"nbOutside\":" << nbOutside
      << ",\"min\":" << number(nbValues > 0 ? lo : NAN)
      << ",\"max\":" << number(nbValues > 0 ? hi : NAN) << ",\"histogram\":[";
  for (int b = 0; b < THE_NB_BINS; ++b)
  {
    out << (b ? "," : "") << bins[size_t(b)];
  }
  out << "],\"worst\":[";
  for (size_t k = 0; k < nbWorst; ++k)
  {
    const int t = order[k];
    out << (k ? "," : "") << "{\"triangle\":" << t + 1
        << ",\"value\":" << number(field.Values[size_t(t)]) << ",\"outside\":"
        << (badness(field, field.Values[size_t(t)]) > 0 && field.HasRange ? "true" : "false")
        << ",\"centre\":" << centroid(mesh, t, centre) << "}";
  }
  out << "]";
}

// Group fields: the groups in number order with their size and first triangle.
void groupSummary(std::ostream&             out,
                  const ReportField&        field,
                  const Poly_Triangulation& mesh,
                  const gp_XYZ&             centre)
{
  std::vector<int> sizes, firsts;
  for (size_t t = 0; t < field.Values.size(); ++t)
  {
    const double v = field.Values[t];
    if (std::isfinite(v) && v >= 1.0)
    {
      const size_t g = size_t(v) - 1;
      if (g >= sizes.size())
      {
        sizes.resize(g + 1, 0);
        firsts.resize(g + 1, -1);
      }
      firsts[g] = firsts[g] < 0 ? int(t) : firsts[g];
      ++sizes[g];
    }
  }
  const long inGroups = std::accumulate(sizes.begin(), sizes.end(), 0L);
  out << ",\"nbValues\":" << inGroups << ",\"nbOutside\":" << inGroups
      << ",\"nbGroups\":" << sizes.size() << ",\"groups\":[";
  for (size_t g = 0, listed = 0; g < sizes.size() && listed < size_t(THE_NB_GROUPS); ++g)
  {
    if (sizes[g] > 0)
    {
      out << (listed++ ? "," : "") << "{\"group\":" << g + 1 << ",\"size\":" << sizes[g]
          << ",\"triangle\":" << firsts[g] + 1
          << ",\"centre\":" << centroid(mesh, firsts[g], centre) << "}";
    }
  }
  out << "]";
}

std::string reportData(const std::string&              title,
                       const Poly_Triangulation&       mesh,
                       const ViewMesh&                 view,
                       const std::vector<ReportField>& fields,
                       const double                    diagonal)
{
  std::ostringstream out;
  out << "{\"title\":" << quoted(title) << ",\"nbTriangles\":" << mesh.NbTriangles()
      << ",\"nbNodes\":" << mesh.NbNodes() << ",\"diagonal\":" << number(diagonal)
      << ",\"view\":{\"decimated\":" << (view.IsDecimated ? "true" : "false")
      << ",\"nbTriangles\":" << view.Sources.size() << ",\"nbNodes\":" << view.Nodes.size() / 3
      << ",\"nodes\":\"" << base64(view.Nodes.data(), view.Nodes.size() * sizeof(float))
      << "\",\"triangles\":\"" << base64(view.Triangles.data(), view.Triangles.size() * sizeof(int))
      << "\"},\"fields\":[";
  for (size_t f = 0; f < fields.size(); ++f)
  {
    const ReportField& field = fields[f];
    std::vector<float> shown(view.Sources.size());
    for (size_t k = 0; k < shown.size(); ++k)
    {
      shown[k] = float(field.Values[size_t(view.Sources[k])]);
    }
    out << (f ? "," : "") << "{\"name\":" << quoted(field.Name)
        << ",\"unit\":" << quoted(field.Unit) << ",\"kind\":\""
        << (field.Type == ReportField::Kind_Groups ? "groups" : "scalar") << "\",\"acceptable\":"
        << (field.HasRange
                ? "[" + number(field.Acceptable[0]) + "," + number(field.Acceptable[1]) + "]"
                : std::string("null"))
        << ",\"values\":\"" << base64(shown.data(), shown.size() * sizeof(float)) << "\"";
    if (field.Type == ReportField::Kind_Groups)
    {
      groupSummary(out, field, mesh, view.Centre);
    }
    else
    {
      scalarSummary(out, field, mesh, view.Centre);
    }
    out << "}";
  }
  out << "]}";
  return out.str();
}
} // namespace

std::vector<ReportField>
MetricReportFields(const Handle(quorin::algoMesh_QualityInfo) & info,
                   const std::vector<quorin::algoMesh_QualityMetricType>& types,
                   const int                                              nbTriangles)
{
  std::vector<ReportField> fields;
  for (const quorin::algoMesh_QualityMetricType type : types)
  {
    ReportField field;
    field.Name = quorin::MetricName(type).ToCString();
    field.Unit = type == quorin::QualityMetric_MaxAngle || type == quorin::QualityMetric_MinAngle
                     ? "deg"
                     : "";
    field.HasRange = true;
    AcceptableRange(type, field.Acceptable);
    field.Values.assign(size_t(nbTriangles), std::numeric_limits<double>::quiet_NaN());
    const Handle(quorin::algoMesh_Field) values = info.IsNull() ? nullptr : info->Field(type);
    for (int k = 0; !values.IsNull() && k < values->NbTuples(); ++k)
    {
      const int triangle = values->TupleId(k);
      if (triangle >= 1 && triangle <= nbTriangles)
      {
        field.Values[size_t(triangle) - 1] = values->TupleAt(k)[0];
      }
    }
    fields.push_back(std::move(field));
  }
  return fields;
}

bool CanWriteReport()
{
  return ReportAsset_Three()[0] != '\0';
}

bool WriteQualityReport(const std::string& path,
                        const std::string& title,
                        const Handle(Poly_Triangulation) & mesh,
                        const std::vector<ReportField>& fields,
                        std::string&                    error)
{
  if (!CanWriteReport())
  {
    error = "this build of quorin-mesh has no report viewer (three.js was not fetched when it "
            "was built); cannot write '" +
            path + "'";
    return false;
  }
  for (const ReportField& field : fields)
  {
    if (static_cast<int>(field.Values.size()) != mesh->NbTriangles())
    {
      error = "field '" + field.Name + "' has " + std::to_string(field.Values.size()) +
              " values for " + std::to_string(mesh->NbTriangles()) + " triangles";
      return false;
    }
  }

  // 1. The triangles to draw.
  Bnd_Box box;
  for (int i = 1; i <= mesh->NbNodes(); ++i)
  {
    box.Add(mesh->Node(i));
  }
  const double diagonal = box.IsVoid() ? 0.0 : box.CornerMin().Distance(box.CornerMax());
  const gp_XYZ centre =
      box.IsVoid() ? gp_XYZ() : (box.CornerMin().XYZ() + box.CornerMax().XYZ()) * 0.5;
  const ViewMesh view = mesh->NbTriangles() > THE_REPORT_VIEW_LIMIT
                            ? clusteredView(*mesh, box, THE_REPORT_VIEW_LIMIT)
                            : fullView(*mesh, centre);

  // 2. The page: styles, viewer library, data and viewer code in one file.
  const std::string partial = path + ".part";
  {
    std::ofstream file(partial, std::ios::binary | std::ios::trunc);
    file << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
         << "<title>Quality report: " << escapedHtml(title) << "</title>\n<style>\n"
         << ReportAsset_Css() << "</style>\n</head>\n<body>\n"
         << ReportAsset_Body() << "<script>\n"
         << ReportAsset_Three() << "\n</script>\n<script>\n"
         << ReportAsset_OrbitControls() << "\n</script>\n"
         << "<script id=\"report-data\" type=\"application/json\">"
         << reportData(title, *mesh, view, fields, diagonal) << "</script>\n<script>\n"
         << ReportAsset_Viewer() << "\n</script>\n</body>\n</html>\n";
    file.close();
    if (!file)
    {
      std::error_code ignored;
      std::filesystem::remove(partial, ignored);
      error = "cannot write '" + path + "'";
      return false;
    }
  }
  std::error_code renameError;
  std::filesystem::rename(partial, path, renameError);
  if (renameError)
  {
    std::filesystem::remove(partial, renameError);
    error = "cannot write '" + path + "': renaming the finished file failed";
    return false;
  }
  return true;
}

} // namespace cli
