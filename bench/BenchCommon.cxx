#include <BenchCommon.hxx>

#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <OSD_Path.hxx>
#include <RWStl.hxx>
#include <STEPControl_Reader.hxx>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <limits>

namespace bench
{

double BestOf3(const std::function<void()>& work, const std::function<void()>& prepare)
{
  double best = std::numeric_limits<double>::max();
  for (int run = 0; run < 3; ++run)
  {
    if (prepare)
    {
      prepare();
    }
    const auto start = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    best                                        = std::min(best, elapsed.count());
  }
  return best;
}

void Report(const std::string& task,
            const std::string& input,
            const long long    n,
            const double       seconds,
            const std::string& metrics)
{
  std::printf("task=%s input=%s n=%lld seconds=%.6f%s%s\n", task.c_str(), input.c_str(), n, seconds,
              metrics.empty() ? "" : " ", metrics.c_str());
  std::fflush(stdout);
}

TopoDS_Shape ReadShape(const std::string& path)
{
  TopoDS_Shape shape;
  const bool   isStep = path.size() > 5 && (path.substr(path.size() - 5) == ".step" ||
                                          path.substr(path.size() - 4) == ".stp");
  if (isStep)
  {
    STEPControl_Reader reader;
    if (reader.ReadFile(path.c_str()) == IFSelect_RetDone && reader.TransferRoots() > 0)
    {
      shape = reader.OneShape();
    }
  }
  else
  {
    BRepTools::Read(shape, path.c_str(), BRep_Builder());
  }
  if (shape.IsNull())
  {
    std::fprintf(stderr, "cannot read a shape from '%s'\n", path.c_str());
  }
  return shape;
}

Handle(Poly_Triangulation) ReadMesh(const std::string& path)
{
  Handle(Poly_Triangulation) mesh = RWStl::ReadFile(OSD_Path(path.c_str()));
  if (mesh.IsNull())
  {
    std::fprintf(stderr, "cannot read a mesh from '%s'\n", path.c_str());
  }
  return mesh;
}

long long FileSize(const std::string& path)
{
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  return file ? static_cast<long long>(file.tellg()) : -1;
}

std::string MegabytesPerSecond(const long long bytes, const double seconds)
{
  char text[64];
  std::snprintf(text, sizeof(text), "bytes=%lld MB/s=%.1f", bytes, bytes / 1e6 / seconds);
  return text;
}

std::string OutputPath(const Args& args, const char* extension)
{
  const size_t slash = args.input.find_last_of('/');
  const size_t dot   = args.input.find_last_of('.');
  return "/tmp/quorin-bench-" + args.input.substr(slash + 1, dot - slash - 1) + extension;
}

void ReportRawRead(const std::string& path)
{
  std::vector<char> bytes(static_cast<size_t>(FileSize(path)));
  const double      seconds = BestOf3(
      [&]()
      {
        FILE* file = std::fopen(path.c_str(), "rb");
        if (file != nullptr)
        {
          const size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
          (void)got;
          std::fclose(file);
        }
      });
  Report("raw-read", path, FileSize(path), seconds, MegabytesPerSecond(FileSize(path), seconds));
}

} // namespace bench
