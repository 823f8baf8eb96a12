// scale: how time and memory grow with the size of the mesh. Closed bumpy tori of 1M, 2M
// and 10M triangles (100M on request) are written as binary STL, then every step (reading,
// the commands of quorin-mesh, and the library algorithms that have no command) runs once
// per size in a process of its own, so that its peak resident memory is its own: the
// kernel's high-water mark of the child (getrusage of the waited process). Bytes per
// triangle are that peak less the peak of the same program doing nothing (its libraries
// and runtime), divided by the triangle count. The growth line compares each size with the
// smallest: time and memory ratios beside the ratio of the triangle counts.
//
//   quorin-bench scale [DIR] [1m,2m,10m,100m] [step,step,...] [--check]
//
// --check answers a non-zero exit code when a step exceeds its bytes-per-triangle budget
// at the largest size or grows in time more than 1.2 times the ratio of the triangle counts.
#include <BenchCommon.hxx>

#include <algoMesh_BuildOBB.hxx>
#include <algoMesh_CheckSelfIntersections.hxx>
#include <algoMesh_ConvexHull.hxx>
#include <algoMesh_DeviationCheckCADMesh.hxx>
#include <algoMesh_NodesMerger.hxx>
#include <algoMesh_STL.hxx>

#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepPrimAPI_MakeTorus.hxx>
#include <BRep_Builder.hxx>
#include <TopoDS_Face.hxx>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench
{
namespace
{

struct Size
{
  const char* label;
  int         nu, nv; //!< quads around the torus and around its tube; 2 nu nv triangles
};

const Size THE_SIZES[] = {
    {"1m", 1000, 500}, {"2m", 2000, 500}, {"10m", 4000, 1250}, {"100m", 10000, 5000}};

//! How a step runs: a command of quorin-mesh, or an algorithm of the library called by a
//! child quorin-bench.
enum class Runner
{
  Command,
  Library
};

struct Step
{
  const char* name;
  Runner      runner;
  double      budget; //!< bytes per triangle allowed at the peak
  //! Arguments after the program: {in} is the STL file, {holes} the torus with holes,
  //! {out} a scratch path prefix.
  const char* arguments;
};

const Step THE_STEPS[] = {
    {"read", Runner::Library, 60, "read {in}"},
    {"info", Runner::Command, 60, "info {in}"},
    {"check", Runner::Command, 150, "check {in}"},
    {"check-min-angle", Runner::Command, 150, "check {in} --metric min-angle"},
    {"merge-nodes", Runner::Library, 150, "merge-nodes {in}"},
    {"self-intersections", Runner::Library, 150, "self-intersections {in}"},
    {"selfx", Runner::Command, 150, "selfx {in}"},
    {"deviation", Runner::Library, 150, "deviation {in}"},
    {"hull", Runner::Library, 150, "hull {in}"},
    {"obb", Runner::Library, 150, "obb {in}"},
    {"decimate", Runner::Command, 300, "decimate {in} {out}.stl -reduction 90"},
    {"smooth", Runner::Command, 300, "smooth {in} {out}.stl"},
    {"fill-holes", Runner::Command, 300, "fill-holes {holes} {out}.stl"},
    {"wrap", Runner::Command, 300, "wrap {in} {out}.stl"},
    {"convert-stl-ply", Runner::Command, 150, "convert {in} {out}.ply"},
    {"convert-ply-stl", Runner::Command, 150, "convert {out}.ply {out}-back.stl"},
};

// Processor time of the smallest size below which growth is not judged, in seconds.
const double THE_SHORTEST_JUDGED = 0.5;

// Holes cut into the torus for the hole-filling step: this many, spread around the ring.
const int THE_NB_HOLES = 16;

//! Writes the bumpy torus of make-inputs facet by facet, without holding the mesh: nodes
//! are recomputed per corner from their grid position, so a node shared by six facets has
//! the same float coordinates in all of them. With `holes`, a few quads are left out.
bool writeTorus(const std::string& path, const Size& size, const bool holes)
{
  const int nu = size.nu, nv = size.nv;
  auto      nodeOf = [nu, nv](const int i, const int j, float xyz[3])
  {
    const double u = 2.0 * M_PI * (i % nu) / nu;
    const double v = 2.0 * M_PI * (j % nv) / nv;
    const double r = 0.35 * (1.0 + 0.1 * std::sin(5.0 * u) * std::cos(3.0 * v));
    xyz[0]         = static_cast<float>((1.0 + r * std::cos(v)) * std::cos(u));
    xyz[1]         = static_cast<float>((1.0 + r * std::cos(v)) * std::sin(u));
    xyz[2]         = static_cast<float>(r * std::sin(v));
  };
  // A hole is a 3 x 3 block of quads whose corner lies at the start of a sector.
  auto isHole = [&](const int i, const int j)
  {
    const int sector = nu / THE_NB_HOLES;
    return holes && i % sector < 3 && j >= nv / 2 && j < nv / 2 + 3;
  };
  std::uint32_t nbFacets = 0;
  for (int i = 0; i < nu; ++i)
  {
    for (int j = 0; j < nv; ++j)
    {
      nbFacets += isHole(i, j) ? 0 : 2;
    }
  }

  const std::string partial = path + ".part";
  FILE*             file    = std::fopen(partial.c_str(), "wb");
  if (file == nullptr)
  {
    std::fprintf(stderr, "cannot write '%s'\n", partial.c_str());
    return false;
  }
  char header[84] = "closed bumpy torus";
  std::memcpy(header + 80, &nbFacets, 4);
  std::fwrite(header, 1, sizeof(header), file);

  std::vector<char> buffer;
  buffer.reserve(50 * 2 * static_cast<size_t>(nv));
  auto facet = [&buffer](const float* a, const float* b, const float* c)
  {
    const float e1[3]  = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    const float e2[3]  = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
    float       n[3]   = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                          e1[0] * e2[1] - e1[1] * e2[0]};
    const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    for (float& x : n)
    {
      x = length > 0.0f ? x / length : 0.0f;
    }
    char record[50] = {};
    std::memcpy(record, n, 12);
    std::memcpy(record + 12, a, 12);
    std::memcpy(record + 24, b, 12);
    std::memcpy(record + 36, c, 12);
    buffer.insert(buffer.end(), record, record + 50);
  };
  const int tenth = std::max(nu / 10, 1);
  for (int i = 0; i < nu; ++i)
  {
    buffer.clear();
    for (int j = 0; j < nv; ++j)
    {
      if (isHole(i, j))
      {
        continue;
      }
      float a[3], b[3], c[3], d[3];
      nodeOf(i, j, a);
      nodeOf(i + 1, j, b);
      nodeOf(i + 1, j + 1, c);
      nodeOf(i, j + 1, d);
      facet(a, b, c);
      facet(a, c, d);
    }
    std::fwrite(buffer.data(), 1, buffer.size(), file);
    if (nu >= 5000 && (i + 1) % tenth == 0)
    {
      std::fprintf(stderr, "writing %s: %d %%\n", path.c_str(), 100 * (i + 1) / nu);
    }
  }
  const bool written = std::fflush(file) == 0 && !std::ferror(file);
  std::fclose(file);
  if (!written || std::rename(partial.c_str(), path.c_str()) != 0)
  {
    std::fprintf(stderr, "cannot write '%s'\n", path.c_str());
    std::remove(partial.c_str());
    return false;
  }
  return true;
}

bool exists(const std::string& path)
{
  struct stat status;
  return ::stat(path.c_str(), &status) == 0;
}

std::vector<std::string> split(const std::string& text, const char separator)
{
  std::vector<std::string> words;
  std::istringstream       stream(text);
  for (std::string word; std::getline(stream, word, separator);)
  {
    if (!word.empty())
    {
      words.push_back(word);
    }
  }
  return words;
}

std::string replaced(std::string text, const std::string& key, const std::string& value)
{
  for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
  {
    text.replace(at, key.size(), value);
  }
  return text;
}

//! Outcome of one child process.
struct Run
{
  bool   ok         = false;
  double seconds    = 0.0; //!< the step's own time when the child reports it, else wall time
  double cpuSeconds = 0.0; //!< processor time (user and system) of the same span
  double peakMB     = 0.0; //!< peak resident memory of the child
};

double secondsOf(const timeval& t)
{
  return static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_usec);
}

//! Value of " key=" in `output` (its last occurrence), or -1.
double valueOf(const std::string& output, const std::string& key)
{
  const size_t at = output.rfind(" " + key + "=");
  return at == std::string::npos ? -1.0 : std::atof(output.c_str() + at + key.size() + 2);
}

//! Runs a program with arguments and measures its wall time, processor time and peak
//! resident memory. A child that reports "seconds=" and "cpu-seconds=" gives the times of
//! its step instead.
Run runChild(const std::string& program, const std::vector<std::string>& arguments)
{
  Run run;
  int channel[2];
  if (::pipe(channel) != 0)
  {
    return run;
  }
  const auto  start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0)
  {
    ::dup2(channel[1], STDOUT_FILENO);
    ::close(channel[0]);
    ::close(channel[1]);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
    {
      argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    std::_Exit(127);
  }
  ::close(channel[1]);
  std::string output;
  char        chunk[4096];
  for (ssize_t n; (n = ::read(channel[0], chunk, sizeof(chunk))) > 0;)
  {
    output.append(chunk, static_cast<size_t>(n));
  }
  ::close(channel[0]);
  int           status = 0;
  struct rusage usage;
  if (child < 0 || ::wait4(child, &status, 0, &usage) != child)
  {
    return run;
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  run.ok                                      = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  run.seconds                                 = elapsed.count();
  run.cpuSeconds = secondsOf(usage.ru_utime) + secondsOf(usage.ru_stime);
  run.peakMB     = static_cast<double>(usage.ru_maxrss) / 1024.0;
  if (valueOf(output, "seconds") >= 0.0 && valueOf(output, "cpu-seconds") >= 0.0)
  {
    run.seconds    = valueOf(output, "seconds");
    run.cpuSeconds = valueOf(output, "cpu-seconds");
  }
  return run;
}

std::string directoryOf(const std::string& path)
{
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string selfPath()
{
  char       path[4096];
  const auto n = ::readlink("/proc/self/exe", path, sizeof(path) - 1);
  return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

//! One measured step of one size.
struct Figure
{
  long long triangles = 0;
  Run       run;
  double    bytesPerTriangle = 0.0;
};

int scale(const Args& args)
{
  const std::string        dir    = args.input.empty() ? "/tmp/quorin-scale" : args.input;
  std::vector<std::string> labels = {"1m", "2m", "10m"};
  std::vector<std::string> steps;
  bool                     check = false;
  for (const std::string& option : args.options)
  {
    if (option == "--check")
    {
      check = true;
    }
    else if (std::isdigit(static_cast<unsigned char>(option[0])))
    {
      labels = split(option, ',');
    }
    else
    {
      steps = split(option, ',');
    }
  }
  ::mkdir(dir.c_str(), 0755);
  const std::string bench   = selfPath();
  const std::string command = directoryOf(bench) + "/../apps/quorin-mesh/quorin-mesh";
  if (!exists(command))
  {
    std::fprintf(stderr, "quorin-mesh not found at '%s'\n", command.c_str());
    return 1;
  }

  // 1. The baselines: each program doing nothing but loading its libraries.
  const double baseBench   = runChild(bench, {"scale-step", "idle", "-"}).peakMB;
  const double baseCommand = runChild(command, {"--help"}).peakMB;

  // 2. The inputs.
  std::vector<const Size*> sizes;
  for (const std::string& label : labels)
  {
    const Size* size = std::find_if(std::begin(THE_SIZES), std::end(THE_SIZES),
                                    [&](const Size& s) { return label == s.label; });
    if (size == std::end(THE_SIZES))
    {
      std::fprintf(stderr, "unknown size '%s' (1m, 2m, 10m, 100m)\n", label.c_str());
      return 2;
    }
    sizes.push_back(size);
  }
  const bool withHoles = steps.empty() || std::count(steps.begin(), steps.end(), "fill-holes");
  for (const Size* size : sizes)
  {
    const std::string stem = dir + "/torus-" + size->label;
    if ((!exists(stem + ".stl") && !writeTorus(stem + ".stl", *size, false)) ||
        (withHoles && !exists(stem + "-holes.stl") &&
         !writeTorus(stem + "-holes.stl", *size, true)))
    {
      return 1;
    }
  }

  // 3. Every step at every size, smallest size first.
  int nbOver = 0;
  for (const Step& step : THE_STEPS)
  {
    if (!steps.empty() && std::find(steps.begin(), steps.end(), step.name) == steps.end())
    {
      continue;
    }
    std::vector<Figure> figures;
    for (const Size* size : sizes)
    {
      const std::string stem             = dir + "/torus-" + size->label;
      std::string       line             = replaced(step.arguments, "{in}", stem + ".stl");
      line                               = replaced(line, "{holes}", stem + "-holes.stl");
      line                               = replaced(line, "{out}", stem + "-out");
      std::vector<std::string> arguments = split(line, ' ');
      const bool               isLibrary = step.runner == Runner::Library;
      if (isLibrary)
      {
        arguments.insert(arguments.begin(), "scale-step");
      }
      Figure figure;
      figure.triangles  = 2LL * size->nu * size->nv;
      figure.run        = runChild(isLibrary ? bench : command, arguments);
      const double base = isLibrary ? baseBench : baseCommand;
      figure.bytesPerTriangle =
          std::max(figure.run.peakMB - base, 0.0) * 1024.0 * 1024.0 / figure.triangles;
      figures.push_back(figure);

      char metrics[256];
      std::snprintf(metrics, sizeof(metrics),
                    "cpu-seconds=%.3f peak-MB=%.0f base-MB=%.0f bytes-per-triangle=%.1f "
                    "budget=%.0f %s",
                    figure.run.cpuSeconds, figure.run.peakMB, base, figure.bytesPerTriangle,
                    step.budget,
                    !figure.run.ok                           ? "failed"
                    : figure.bytesPerTriangle <= step.budget ? "within"
                                                             : "over");
      Report(std::string("scale-") + step.name, stem + ".stl", figure.triangles, figure.run.seconds,
             metrics);
    }
    // 4. Growth against the smallest size.
    for (size_t k = 1; k < figures.size() && figures[0].run.ok; ++k)
    {
      if (!figures[k].run.ok)
      {
        continue;
      }
      const double sizeRatio = double(figures[k].triangles) / figures[0].triangles;
      // Processor time, which the other processes of a busy machine disturb less than
      // the wall-clock time.
      const double timeRatio =
          figures[k].run.cpuSeconds / std::max(figures[0].run.cpuSeconds, 1e-6);
      const double memRatio = figures[k].bytesPerTriangle * figures[k].triangles /
                              std::max(figures[0].bytesPerTriangle * figures[0].triangles, 1.0);
      // Below half a second page faults and start-up vary more than the work: such a
      // step is reported but not judged.
      const bool isJudged = figures[0].run.cpuSeconds >= THE_SHORTEST_JUDGED;
      const bool isLinear = timeRatio <= 1.2 * sizeRatio;
      std::printf("growth step=%s from=%lld to=%lld size-ratio=%.1f time-ratio=%.2f "
                  "memory-ratio=%.2f %s\n",
                  step.name, figures[0].triangles, figures[k].triangles, sizeRatio, timeRatio,
                  memRatio,
                  !isJudged  ? "too-short"
                  : isLinear ? "linear"
                             : "superlinear");
      nbOver += isLinear || !isJudged ? 0 : 1;
    }
    nbOver += figures.back().bytesPerTriangle <= step.budget && figures.back().run.ok ? 0 : 1;
    std::fflush(stdout);
  }
  return check && nbOver > 0 ? 1 : 0;
}

//! Wall-clock and processor time of a span of this process.
class Stopwatch
{
public:
  Stopwatch() { Restart(); }

  void Restart()
  {
    m_start = std::chrono::steady_clock::now();
    m_cpu   = cpuNow();
  }

  double Seconds() const
  {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
  }

  //! "cpu-seconds=<t>", for the result line.
  std::string CpuMetric() const
  {
    char text[48];
    std::snprintf(text, sizeof(text), "cpu-seconds=%.3f", cpuNow() - m_cpu);
    return text;
  }

private:
  static double cpuNow()
  {
    struct rusage usage;
    ::getrusage(RUSAGE_SELF, &usage);
    return secondsOf(usage.ru_utime) + secondsOf(usage.ru_stime);
  }

  std::chrono::steady_clock::time_point m_start;
  double                                m_cpu = 0.0;
};

// Merging streams the facet corners from the file in blocks, as the importers that merge
// hand them over, so that the figure is the merger's and not that of a copy of the soup.
int mergeStreamed(const std::string& path, int& nbNodes)
{
  FILE* file = std::fopen(path.c_str(), "rb");
  char  header[84];
  if (file == nullptr || std::fread(header, 1, sizeof(header), file) != sizeof(header))
  {
    if (file != nullptr)
    {
      std::fclose(file);
    }
    return -1;
  }
  std::uint32_t nbFacets = 0;
  std::memcpy(&nbFacets, header + 80, 4);
  quorin::algoMesh_NodesMerger merger(1.0e-7);
  merger.Reserve(3ULL * nbFacets, nbFacets / 2 + 16);
  const size_t        block = 1 << 16;
  std::vector<char>   records(50 * block);
  std::vector<gp_Pnt> corners;
  corners.reserve(3 * block);
  for (std::uint32_t done = 0; done < nbFacets;)
  {
    const size_t count = std::min<size_t>(block, nbFacets - done);
    if (std::fread(records.data(), 50, count, file) != count)
    {
      break;
    }
    corners.clear();
    for (size_t f = 0; f < count; ++f)
    {
      float xyz[9];
      std::memcpy(xyz, records.data() + 50 * f + 12, sizeof(xyz));
      for (int c = 0; c < 3; ++c)
      {
        corners.emplace_back(xyz[3 * c], xyz[3 * c + 1], xyz[3 * c + 2]);
      }
    }
    merger.Append(corners.data(), corners.size());
    done += static_cast<std::uint32_t>(count);
  }
  std::fclose(file);
  nbNodes = merger.NbNodes();
  return 0;
}

//! One library step in this process: reads the mesh (untimed, except for "read"), runs
//! the algorithm once and reports its time.
int scaleStep(const Args& args)
{
  const std::string& step = args.input;
  const std::string  path = args.options.empty() ? std::string() : args.options[0];
  if (step == "idle")
  {
    return 0;
  }
  if (step == "merge-nodes")
  {
    int             nbNodes = 0;
    const Stopwatch watch;
    if (mergeStreamed(path, nbNodes) != 0)
    {
      return 1;
    }
    Report("scale-step-merge-nodes", path, nbNodes, watch.Seconds(),
           watch.CpuMetric() + " nodes=" + std::to_string(nbNodes));
    return 0;
  }

  Stopwatch watch;
  Handle(Poly_Triangulation) mesh;
  if (!quorin::algoMesh_STL::Read(path.c_str(), mesh, ActAPI_ProgressEntry()))
  {
    std::fprintf(stderr, "cannot read '%s'\n", path.c_str());
    return 1;
  }
  if (step == "read")
  {
    Report("scale-step-read", path, mesh->NbTriangles(), watch.Seconds(),
           watch.CpuMetric() + " nodes=" + std::to_string(mesh->NbNodes()));
    return 0;
  }
  watch.Restart();
  std::string metrics;
  if (step == "self-intersections")
  {
    Handle(quorin::algoMesh_CheckSelfIntersections) check =
        new quorin::algoMesh_CheckSelfIntersections();
    check->SaveSelfIntersections(true);
    check->Perform(mesh);
    metrics = "groups=" + std::to_string(check->NbGroups());
  }
  else if (step == "deviation")
  {
    // The smooth torus the bumpy one undulates around, meshed once (not timed) at a fixed
    // deflection: the reference stays the same size while the checked mesh grows.
    const TopoDS_Shape torus = BRepPrimAPI_MakeTorus(1.0, 0.35).Shape();
    BRepMesh_IncrementalMesh(torus, 1.0e-3);
    watch.Restart();
    Handle(quorin::algoMesh_DeviationCheckCADMesh) check =
        new quorin::algoMesh_DeviationCheckCADMesh(torus);
    check->Perform(mesh, quorin::algoMesh_DeviationCheckCADMesh::DistType_Signed);
  }
  else if (step == "hull")
  {
    std::vector<double> coords;
    coords.reserve(3 * static_cast<size_t>(mesh->NbNodes()));
    for (int i = 1; i <= mesh->NbNodes(); ++i)
    {
      const gp_Pnt p = mesh->Node(i);
      coords.insert(coords.end(), {p.X(), p.Y(), p.Z()});
    }
    Handle(Poly_Triangulation) hull;
    if (!quorin::algoMesh_ConvexHull().Perform(coords, hull))
    {
      return 1;
    }
    metrics = "hull-nodes=" + std::to_string(hull->NbNodes());
  }
  else if (step == "obb")
  {
    TopoDS_Face  face;
    BRep_Builder builder;
    builder.MakeFace(face, mesh);
    quorin::algoMesh_BuildOBB obb(face, quorin::algoMesh_BuildOBB::Mode_FromMesh, false);
    if (!obb.Perform())
    {
      return 1;
    }
  }
  else
  {
    std::fprintf(stderr, "unknown scale step '%s'\n", step.c_str());
    return 2;
  }
  Report("scale-step-" + step, path, mesh->NbTriangles(), watch.Seconds(),
         watch.CpuMetric() + " " + metrics);
  return 0;
}

} // namespace

void AddScaleTasks(std::vector<Task>& tasks)
{
  tasks.push_back({"scale",
                   "[DIR] [1m,2m,10m,100m] [STEPS] [--check]  time and peak memory per "
                   "triangle of every step on generated tori",
                   scale});
  tasks.push_back(
      {"scale-step", "STEP FILE  one library step of scale, in its own process", scaleStep});
}

} // namespace bench
