#include "PointCloudInput.hxx"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace cli
{

Handle(Poly_Triangulation) NewPointCloud(const int nbNodes)
{
  // The sized constructor wants at least one triangle; an empty triangulation resized
  // keeps none.
  Handle(Poly_Triangulation) cloud = new Poly_Triangulation();
  cloud->ResizeNodes(nbNodes, false);
  return cloud;
}

bool ReadPointText(const std::string&          path,
                   const ActAPI_ProgressEntry& progress,
                   Handle(Poly_Triangulation) & points,
                   std::string& error)
{
  std::ifstream file(path);
  if (!file)
  {
    error = "cannot open '" + path + "'";
    return false;
  }
  std::vector<double> coords;
  std::string         line;
  long                number      = 0;
  bool                isFirstData = true;
  while (std::getline(file, line))
  {
    ++number;
    if ((number & 0xFFFF) == 0 && progress.IsCancelling())
    {
      error = "interrupted";
      return false;
    }
    const size_t start = line.find_first_not_of(" \t\r");
    if (start == std::string::npos || line[start] == '#' || line.compare(start, 2, "//") == 0)
    {
      continue;
    }
    const char* cursor = line.c_str() + start;
    double      xyz[3];
    int         read = 0;
    for (; read < 3; ++read)
    {
      char* end = nullptr;
      xyz[read] = std::strtod(cursor, &end);
      if (end == cursor || !std::isfinite(xyz[read]))
      {
        break;
      }
      cursor = end;
    }
    if (read == 1 && isFirstData &&
        line.find_first_not_of("0123456789 \t\r", start) == std::string::npos)
    {
      isFirstData = false; // the point count of the file
      continue;
    }
    isFirstData = false;
    if (read < 3)
    {
      error = "cannot read '" + path + "' line " + std::to_string(number) +
              ": expected three finite coordinates";
      return false;
    }
    coords.insert(coords.end(), xyz, xyz + 3);
  }
  const size_t nbPoints = coords.size() / 3;
  if (nbPoints == 0)
  {
    error = "'" + path + "' holds no points";
    return false;
  }
  if (nbPoints > static_cast<size_t>(INT32_MAX))
  {
    error = "'" + path + "' holds more points than a mesh can index";
    return false;
  }
  points = NewPointCloud(static_cast<int>(nbPoints));
  for (size_t i = 0; i < nbPoints; ++i)
  {
    points->SetNode(static_cast<int>(i) + 1,
                    gp_Pnt(coords[3 * i], coords[3 * i + 1], coords[3 * i + 2]));
  }
  return true;
}

} // namespace cli
