#include "QualityTable.hxx"

#include <algoMesh_QualityMetric.hxx>

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cstdio>
#include <limits>

using namespace quorin;

namespace cli
{

namespace
{
struct MetricKey
{
  algoMesh_QualityMetricType Type;
  const char*                Enumerator; //!< enumerator without its prefix
};

const MetricKey THE_KEYS[] = {
    {QualityMetric_Area, "Area"},
    {QualityMetric_AreaRatio, "AreaRatio"},
    {QualityMetric_AspectRatio, "AspectRatio"},
    {QualityMetric_AspectFrobenius, "AspectFrobenius"},
    {QualityMetric_Condition, "Condition"},
    {QualityMetric_EdgeRatio, "EdgeRatio"},
    {QualityMetric_MaxAngle, "MaxAngle"},
    {QualityMetric_MinAngle, "MinAngle"},
    {QualityMetric_ScaledJacobian, "ScaledJacobian"},
};

std::string normalized(const std::string& name)
{
  std::string key;
  for (const unsigned char c : name)
  {
    if (std::isalnum(c))
    {
      key += static_cast<char>(std::tolower(c));
    }
  }
  return key;
}

template <int N> const double* acceptableOf()
{
  return algoMesh_QualityMetric<N>::RangeAcceptable;
}

std::string bound(const double value)
{
  if (value >= DBL_MAX)
  {
    return "inf";
  }
  if (value <= -DBL_MAX)
  {
    return "-inf";
  }
  char text[32];
  std::snprintf(text, sizeof(text), "%.6g", value);
  return text;
}
} // namespace

std::vector<algoMesh_QualityMetricType> TriangleMetrics()
{
  std::vector<algoMesh_QualityMetricType> types;
  for (const MetricKey& key : THE_KEYS)
  {
    types.push_back(key.Type);
  }
  return types;
}

bool FindMetric(const std::string& name, algoMesh_QualityMetricType& type)
{
  const std::string wanted = normalized(name);
  for (const MetricKey& key : THE_KEYS)
  {
    if (wanted == normalized(MetricName(key.Type).ToCString()) ||
        wanted == normalized(key.Enumerator))
    {
      type = key.Type;
      return true;
    }
  }
  return false;
}

std::string MetricNames()
{
  std::string names;
  for (const MetricKey& key : THE_KEYS)
  {
    std::string name = MetricName(key.Type).ToCString();
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c)
                   { return c == ' ' ? '-' : static_cast<char>(std::tolower(c)); });
    names += (names.empty() ? "" : ", ") + name;
  }
  return names;
}

void AcceptableRange(const algoMesh_QualityMetricType type, double range[2])
{
  // The ranges are static data of one class per metric; the table maps the run-time
  // value onto them.
  static const double* const THE_RANGES[] = {
      acceptableOf<0>(), acceptableOf<1>(), acceptableOf<2>(), acceptableOf<3>(),
      acceptableOf<4>(), acceptableOf<5>(), acceptableOf<6>(), acceptableOf<7>(),
      acceptableOf<8>(), acceptableOf<9>(), acceptableOf<10>()};
  const int index = static_cast<int>(type);
  if (index < 0 || index > 10)
  {
    range[0] = -DBL_MAX;
    range[1] = DBL_MAX;
    return;
  }
  range[0] = THE_RANGES[index][0];
  range[1] = THE_RANGES[index][1];
}

MetricSummary Summarize(const Handle(algoMesh_QualityInfo) & info,
                        const algoMesh_QualityMetricType type)
{
  MetricSummary summary;
  summary.Type                       = type;
  const Handle(algoMesh_Field) field = info.IsNull() ? nullptr : info->Field(type);
  if (field.IsNull() || field->NbTuples() == 0 || field->NbComponents() < 1)
  {
    return summary;
  }
  double range[2];
  AcceptableRange(type, range);
  double sum          = 0.0;
  int    nbAcceptable = 0;
  summary.Min         = std::numeric_limits<double>::max();
  summary.Max         = -std::numeric_limits<double>::max();
  // The flat tuples, not the per-ID map, which would cost a vector per triangle.
  for (int k = 0; k < field->NbTuples(); ++k)
  {
    const double value = field->TupleAt(k)[0];
    summary.Min        = std::min(summary.Min, value);
    summary.Max        = std::max(summary.Max, value);
    sum += value;
    nbAcceptable += value >= range[0] && value <= range[1] ? 1 : 0;
    ++summary.NbValues;
  }
  summary.Mean            = sum / summary.NbValues;
  summary.AcceptableShare = static_cast<double>(nbAcceptable) / summary.NbValues;
  return summary;
}

void PrintQualityTable(std::ostream& out,
                       const Handle(algoMesh_QualityInfo) & info,
                       const std::vector<algoMesh_QualityMetricType>& types)
{
  char line[200];
  std::snprintf(line, sizeof(line), "%-18s %9s %12s %12s %12s %11s  %s\n", "Metric", "Values",
                "Min", "Mean", "Max", "Acceptable", "Acceptable range");
  out << line;
  for (const algoMesh_QualityMetricType type : types)
  {
    const MetricSummary summary = Summarize(info, type);
    double              range[2];
    AcceptableRange(type, range);
    const std::string rangeText = "[" + bound(range[0]) + ", " + bound(range[1]) + "]";
    if (summary.NbValues == 0)
    {
      std::snprintf(line, sizeof(line), "%-18s %9d %12s %12s %12s %11s  %s\n",
                    MetricName(type).ToCString(), 0, "-", "-", "-", "-", rangeText.c_str());
    }
    else
    {
      std::snprintf(line, sizeof(line), "%-18s %9d %12.6g %12.6g %12.6g %10.1f%%  %s\n",
                    MetricName(type).ToCString(), summary.NbValues, summary.Min, summary.Mean,
                    summary.Max, 100.0 * summary.AcceptableShare, rangeText.c_str());
    }
    out << line;
  }
}

} // namespace cli
