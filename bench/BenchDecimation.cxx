// Decimation benchmarks: the quadric and vertex-removal drivers on a mesh at a given
// reduction, beside VTK's own quadric filter run through the same convert-clean-convert
// pipeline and meshoptimizer's simplifier (when built with it). Every task also prints the
// triangles left and the distance between result and input (vertices of each projected on
// the other, untimed), so that times are compared at comparable quality.
#include <BenchCommon.hxx>

#include <algoMesh_Convert.hxx>
#include <algoMesh_DecimationDefects.hxx>
#include <algoMesh_TopoDecimation.hxx>
#include <algoMesh_VTKDecimatePro.hxx>
#include <algoMesh_VTKQuadricDecimation.hxx>

#include <BVHTools_ProjectPntMesh.hxx>

#include <vtkCleanPolyData.h>
#include <vtkPolyData.h>
#include <vtkQuadricDecimation.h>
#include <vtkSmartPointer.h>

#include <tbb/blocked_range.h>
#include <tbb/parallel_reduce.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <functional>
#include <cstdio>
#include <cstdlib>
#include <map>

#ifdef QUORIN_HAVE_MESHOPTIMIZER
#include <meshoptimizer.h>
#endif

namespace bench
{
namespace
{

//! Reduction as a fraction (first option, default 0.5).
double reductionOf(const Args& args)
{
  return args.options.empty() ? 0.5 : std::atof(args.options[0].c_str());
}

struct Distance
{
  double sum   = 0.0;
  double max   = 0.0;
  long   count = 0;
};

//! Distances from at most `maxSamples` evenly picked nodes of `from` to the surface of `to`.
Distance sampledDistance(const Handle(Poly_Triangulation) & from,
                         const Handle(Poly_Triangulation) & to,
                         const int maxSamples)
{
  const BVHTools::ProjectPntMesh projector(new BVHTools::TriangleSet(to));
  const int                      n    = from->NbNodes();
  const int                      step = std::max(1, n / maxSamples);
  return tbb::parallel_reduce(
      tbb::blocked_range<int>(0, (n + step - 1) / step), Distance(),
      [&](const tbb::blocked_range<int>& range, Distance d)
      {
        for (int s = range.begin(); s != range.end(); ++s)
        {
          int          triangle = -1;
          const double dist     = projector.Distance(from->Node(1 + s * step), triangle);
          d.sum += dist;
          d.max = std::max(d.max, dist);
          ++d.count;
        }
        return d;
      },
      [](Distance a, const Distance& b)
      {
        a.sum += b.sum;
        a.max = std::max(a.max, b.max);
        a.count += b.count;
        return a;
      });
}

//! "tris_in=.. tris_out=.. dist_mean=.. dist_max=..": mean and max over both directions
//! (result nodes to the input surface, sampled input nodes to the result surface).
std::string qualityMetrics(const Handle(Poly_Triangulation) & input,
                           const Handle(Poly_Triangulation) & result)
{
  if (result.IsNull() || result->NbTriangles() == 0)
  {
    return "tris_in=" + std::to_string(input->NbTriangles()) + " tris_out=0";
  }
  const Distance forward  = sampledDistance(result, input, 200000);
  const Distance backward = sampledDistance(input, result, 200000);
  const double   mean     = (forward.sum + backward.sum) /
                      static_cast<double>(std::max(1L, forward.count + backward.count));
  char text[200];
  std::snprintf(text, sizeof(text), "tris_in=%d tris_out=%d dist_mean=%.3g dist_max=%.3g",
                input->NbTriangles(), result->NbTriangles(), mean,
                std::max(forward.max, backward.max));
  return text;
}

// Best wall time of three runs, with the best processor time (all threads) of the same three
// in `cpuSeconds`: the quadric pair is compared on both, as our side runs its conversions on
// several threads.
double bestOf3WithCpu(const std::function<void()>& work, double& cpuSeconds)
{
  double best = 1.0e300;
  cpuSeconds  = 1.0e300;
  for (int run = 0; run < 3; ++run)
  {
    const auto         start    = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    work();
    cpuSeconds = std::min(cpuSeconds, double(std::clock() - cpuStart) / CLOCKS_PER_SEC);
    best       = std::min(
              best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

std::string cpuMetric(const double cpuSeconds)
{
  char text[48];
  std::snprintf(text, sizeof(text), "cpu-seconds=%.3f ", cpuSeconds);
  return text;
}

int runDriver(const Args& args, const char* name, const quorin::algoMesh_Decimate& driver)
{
  const Handle(Poly_Triangulation) mesh = ReadMesh(args.input);
  if (mesh.IsNull())
  {
    return 1;
  }
  Handle(Poly_Triangulation) result;
  bool         done = false;
  double       cpuSeconds;
  const double seconds = bestOf3WithCpu([&] { done = driver.Perform(mesh, result); }, cpuSeconds);
  if (!done)
  {
    std::fprintf(stderr, "%s: decimation failed\n", name);
    return 1;
  }
  Report(name, args.input, mesh->NbTriangles(), seconds,
         cpuMetric(cpuSeconds) + "reduction=" + std::to_string(reductionOf(args)) + " " +
             qualityMetrics(mesh, result));
  return 0;
}

//! "boundary=.. non-manifold=.. crossing-pairs=..": what a decimation may break.
std::string defects(const Handle(Poly_Triangulation) & mesh)
{
  const quorin::algoMesh_DecimationDefects counts = quorin::algoMesh_DecimationDefects::Count(mesh);
  return "boundary=" + std::to_string(counts.NbBoundaryEdges) +
         " non-manifold=" + std::to_string(counts.NbNonManifoldEdges) +
         " crossing-pairs=" + std::to_string(counts.NbCrossingPairs);
}

//! The one-minute load average, or -1 where it cannot be read.
double loadAverage()
{
  double load = -1.0;
  if (FILE* file = std::fopen("/proc/loadavg", "r"))
  {
    if (std::fscanf(file, "%lf", &load) != 1)
    {
      load = -1.0;
    }
    std::fclose(file);
  }
  return load;
}

const char* pathName(const quorin::algoMesh_TopoDecimation::Path path)
{
  switch (path)
  {
  case quorin::algoMesh_TopoDecimation::Path_Deferred:
    return "deferred";
  case quorin::algoMesh_TopoDecimation::Path_DeferredContinued:
    return "deferred-continued";
  case quorin::algoMesh_TopoDecimation::Path_FilterAccepted:
    return "filter-accepted";
  case quorin::algoMesh_TopoDecimation::Path_FilterContinued:
    return "filter-continued";
  case quorin::algoMesh_TopoDecimation::Path_Collapses:
    return "collapses";
  case quorin::algoMesh_TopoDecimation::Path_None:
    break;
  }
  return "none";
}

// The topology-preserving decimation (its default) and the quadric filter on the same input,
// alternating, with the defects of each result: the time ratio is topo over filter. Each of
// five rounds runs one then the other once; wall and processor times are the best of the
// rounds, and the processor-time ratio is also given per round (median and worst), since on a
// loaded machine the wall time of one run says more about the neighbours than about the run.
// Then, once each, the other ways of the same decimation: the checked filter first, and the
// collapses testing contact each time (with their result's distances and defects).
int decimateTopo(const Args& args)
{
  const Handle(Poly_Triangulation) mesh = ReadMesh(args.input);
  if (mesh.IsNull())
  {
    return 1;
  }
  quorin::algoMesh_DecimationOptions options;
  options.Reduction = 100.0 * reductionOf(args);
  const quorin::algoMesh_TopoDecimation       topo(options);
  const quorin::algoMesh_VTKQuadricDecimation filter(options);
  Handle(Poly_Triangulation) ours, theirs;
  const auto timed = [](const std::function<void()>& work, double& wall, double& cpu)
  {
    const auto         start    = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    work();
    cpu  = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  const double        loadBefore = loadAverage();
  double              best[2] = {1.0e300, 1.0e300}, bestCpu[2] = {1.0e300, 1.0e300};
  std::vector<double> cpuRatios;
  for (int round = 0; round < 5; ++round)
  {
    double wall[2], cpu[2];
    timed([&] { topo.Perform(mesh, ours); }, wall[0], cpu[0]);
    timed([&] { filter.Perform(mesh, theirs); }, wall[1], cpu[1]);
    for (int i = 0; i < 2; ++i)
    {
      best[i]    = std::min(best[i], wall[i]);
      bestCpu[i] = std::min(bestCpu[i], cpu[i]);
    }
    cpuRatios.push_back(cpu[0] / cpu[1]);
  }
  std::sort(cpuRatios.begin(), cpuRatios.end());
  if (ours.IsNull() || theirs.IsNull())
  {
    std::fprintf(stderr, "decimate-topo: decimation failed\n");
    return 1;
  }
  double wall = 0.0, filterFirstCpu = 0.0, contactCpu = 0.0;
  Handle(Poly_Triangulation) filterFirst, contact;
  quorin::algoMesh_TopoDecimation filterFirstTopo(options);
  filterFirstTopo.SetFilterFirst(true);
  timed([&] { filterFirstTopo.Perform(mesh, filterFirst); }, wall, filterFirstCpu);
  quorin::algoMesh_TopoDecimation contactTopo(options);
  contactTopo.SetContactDeferred(false);
  timed([&] { contactTopo.Perform(mesh, contact); }, wall, contactCpu);
  char ratio[512];
  std::snprintf(ratio, sizeof(ratio),
                " path=%s filter-seconds=%.4g ratio=%.2f cpu-seconds=%.4g filter-cpu-seconds=%.4g "
                "cpu-ratio=%.2f cpu-ratio-median=%.2f cpu-ratio-worst=%.2f load=%.2f-%.2f | "
                "filter-first: path=%s cpu-seconds=%.4g cpu-ratio=%.2f | contact-on: "
                "cpu-seconds=%.4g cpu-ratio=%.2f ",
                pathName(topo.LastPath()), best[1], best[0] / best[1], bestCpu[0], bestCpu[1],
                bestCpu[0] / bestCpu[1], cpuRatios[cpuRatios.size() / 2], cpuRatios.back(),
                loadBefore, loadAverage(), pathName(filterFirstTopo.LastPath()), filterFirstCpu,
                filterFirstCpu / bestCpu[1], contactCpu, contactCpu / bestCpu[1]);
  Report("decimate-topo", args.input, mesh->NbTriangles(), best[0],
         "reduction=" + std::to_string(reductionOf(args)) + " " + qualityMetrics(mesh, ours) + " " +
             defects(ours) + " | filter: " + qualityMetrics(mesh, theirs) + " " + defects(theirs) +
             ratio + qualityMetrics(mesh, contact) + " " + defects(contact));
  return 0;
}

quorin::algoMesh_DecimationOptions optionsOf(const Args& args)
{
  quorin::algoMesh_DecimationOptions options;
  options.Reduction    = 100.0 * reductionOf(args);
  options.HasReduction = true;
  return options;
}

int decimateQuadric(const Args& args)
{
  return runDriver(args, "decimate-quadric",
                   quorin::algoMesh_VTKQuadricDecimation(optionsOf(args)));
}

int decimatePro(const Args& args)
{
  // A feature angle of 0 would make every vertex a corner and forbid any removal.
  quorin::algoMesh_DecimationOptions options = optionsOf(args);
  options.FeatureAngle                       = 45.0;
  return runDriver(args, "decimate-pro", quorin::algoMesh_VTKDecimatePro(options));
}

int decimateQuadricVtk(const Args& args)
{
  const Handle(Poly_Triangulation) mesh = ReadMesh(args.input);
  if (mesh.IsNull())
  {
    return 1;
  }
  Handle(Poly_Triangulation) result;
  double       cpuSeconds;
  const double seconds = bestOf3WithCpu(
      [&]
      {
        vtkSmartPointer<vtkPolyData> polyData;
        quorin::algoMesh_Convert::ToVTK(mesh, polyData);
        vtkSmartPointer<vtkCleanPolyData> cleaner = vtkSmartPointer<vtkCleanPolyData>::New();
        cleaner->SetInputData(polyData);
        vtkSmartPointer<vtkQuadricDecimation> decimator =
            vtkSmartPointer<vtkQuadricDecimation>::New();
        decimator->SetInputConnection(cleaner->GetOutputPort());
        decimator->SetTargetReduction(reductionOf(args));
        decimator->Update();
        quorin::algoMesh_Convert::FromVTK(decimator->GetOutput(), result);
      },
      cpuSeconds);
  Report("decimate-quadric-vtk", args.input, mesh->NbTriangles(), seconds,
         cpuMetric(cpuSeconds) + "reduction=" + std::to_string(reductionOf(args)) + " " +
             qualityMetrics(mesh, result));
  return 0;
}

#ifdef QUORIN_HAVE_MESHOPTIMIZER
int decimateMeshopt(const Args& args)
{
  const Handle(Poly_Triangulation) mesh = ReadMesh(args.input);
  if (mesh.IsNull())
  {
    return 1;
  }
  // Indexed single-precision input, as the simplifier takes it (untimed).
  std::vector<float> positions;
  positions.reserve(3 * static_cast<size_t>(mesh->NbNodes()));
  for (int i = 1; i <= mesh->NbNodes(); ++i)
  {
    const gp_Pnt p = mesh->Node(i);
    positions.insert(positions.end(), {static_cast<float>(p.X()), static_cast<float>(p.Y()),
                                       static_cast<float>(p.Z())});
  }
  std::vector<unsigned int> indices;
  indices.reserve(3 * static_cast<size_t>(mesh->NbTriangles()));
  for (int t = 1; t <= mesh->NbTriangles(); ++t)
  {
    int n[3];
    mesh->Triangle(t).Get(n[0], n[1], n[2]);
    indices.insert(indices.end(), {unsigned(n[0] - 1), unsigned(n[1] - 1), unsigned(n[2] - 1)});
  }
  const size_t target = static_cast<size_t>(indices.size() * (1.0 - reductionOf(args))) / 3 * 3;
  std::vector<unsigned int> simplified(indices.size());
  size_t                    count   = 0;
  const double              seconds = BestOf3(
      [&]
      {
        // No error bound: the target count alone decides, as for the other tasks.
        count =
            meshopt_simplify(simplified.data(), indices.data(), indices.size(), positions.data(),
                                          positions.size() / 3, 3 * sizeof(float), target, 1.0f, 0, nullptr);
      });
  Handle(Poly_Triangulation) result =
      new Poly_Triangulation(mesh->NbNodes(), static_cast<int>(count / 3), false);
  for (int i = 1; i <= mesh->NbNodes(); ++i)
  {
    result->SetNode(i, mesh->Node(i));
  }
  for (size_t t = 0; t < count / 3; ++t)
  {
    result->SetTriangle(
        static_cast<int>(t) + 1,
        Poly_Triangle(simplified[3 * t] + 1, simplified[3 * t + 1] + 1, simplified[3 * t + 2] + 1));
  }
  Report("decimate-meshopt", args.input, mesh->NbTriangles(), seconds,
         "reduction=" + std::to_string(reductionOf(args)) + " " + qualityMetrics(mesh, result));
  return 0;
}
#endif

} // namespace

void AddDecimationTasks(std::vector<Task>& tasks)
{
  tasks.push_back(
      {"decimate-quadric", "<mesh.stl> [reduction 0..1, default 0.5]", decimateQuadric});
  tasks.push_back({"decimate-pro", "<mesh.stl> [reduction]", decimatePro});
  tasks.push_back(
      {"decimate-topo", "<mesh.stl> [reduction] (beside the quadric filter)", decimateTopo});
  tasks.push_back({"decimate-quadric-vtk", "<mesh.stl> [reduction] (peer)", decimateQuadricVtk});
#ifdef QUORIN_HAVE_MESHOPTIMIZER
  tasks.push_back({"decimate-meshopt", "<mesh.stl> [reduction] (peer)", decimateMeshopt});
#endif
}

} // namespace bench
