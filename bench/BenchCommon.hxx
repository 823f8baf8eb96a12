// Shared pieces of the benchmark driver: arguments, timing, the result line and mesh input.
//
// Every task prints one line per run:
//   task=<name> input=<file> n=<size> seconds=<best of 3> <metrics>
// so that its time can be compared as a ratio with a peer's on the same input.
#ifndef BenchCommon_HeaderFile
#define BenchCommon_HeaderFile

#include <Poly_Triangulation.hxx>
#include <TopoDS_Shape.hxx>

#include <functional>
#include <string>
#include <vector>

namespace bench
{

struct Args
{
  std::string              task;
  std::string              input;       //!< input file (binary STL or PLY for meshes, ...)
  std::vector<std::string> options;     //!< further words after the input
  int                      threads = 0; //!< --threads N; 0 means the hardware's count
};

struct Task
{
  const char*                     name;
  const char*                     usage;
  std::function<int(const Args&)> run; //!< answers the process exit code
};

//! Best wall-clock time of three runs of `work`, in seconds. `prepare` runs before each
//! run, untimed (to reset state a run consumes).
double BestOf3(const std::function<void()>& work, const std::function<void()>& prepare = {});

//! Prints the result line; `metrics` is appended as it stands ("key=value key=value").
void Report(const std::string& task,
            const std::string& input,
            const long long    n,
            const double       seconds,
            const std::string& metrics = "");

//! Reads a mesh with the kernel's STL reader (nodes merged by the reader). Answers a null
//! handle and prints the reason on failure.
Handle(Poly_Triangulation) ReadMesh(const std::string& path);

//! Reads a shape from a STEP (.step, .stp) or BREP file. Answers a null shape and prints
//! the reason on failure.
TopoDS_Shape ReadShape(const std::string& path);

//! Size of a file in bytes, or -1.
long long FileSize(const std::string& path);

//! "bytes=<n> MB/s=<rate>": the metrics of a file read or written in `seconds`.
std::string MegabytesPerSecond(const long long bytes, const double seconds);

//! /tmp/quorin-bench-<input's stem><extension>: where a task keeps a file made from its input.
std::string OutputPath(const Args& args, const char* extension);

//! Reports reading the file's bytes into memory ("raw-read"): the floor every reader is
//! compared with.
void ReportRawRead(const std::string& path);

//! Tasks of each area, appended to `tasks`.
void AddInputTasks(std::vector<Task>& tasks);
void AddQualityTasks(std::vector<Task>& tasks);
void AddExchangeTasks(std::vector<Task>& tasks);
void AddAssemblyTasks(std::vector<Task>& tasks);
void AddEnvelopeTasks(std::vector<Task>& tasks);
void AddCheckTasks(std::vector<Task>& tasks);
void AddDecimationTasks(std::vector<Task>& tasks);
void AddRepairTasks(std::vector<Task>& tasks);
void AddExchange2Tasks(std::vector<Task>& tasks);
void AddWrapTasks(std::vector<Task>& tasks);
void AddGenerationTasks(std::vector<Task>& tasks);
void AddCancelTasks(std::vector<Task>& tasks);
void AddMeshingTasks(std::vector<Task>& tasks);
void AddScaleTasks(std::vector<Task>& tasks);
void AddJTTasks(std::vector<Task>& tasks);

} // namespace bench

#endif
