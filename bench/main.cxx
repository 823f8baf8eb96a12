// Benchmark driver: quorin-bench <task> <input> [options] [--threads N]
#include <BenchCommon.hxx>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
  std::vector<bench::Task> tasks;
  bench::AddInputTasks(tasks);
  bench::AddQualityTasks(tasks);
  bench::AddExchangeTasks(tasks);
  bench::AddAssemblyTasks(tasks);
  bench::AddEnvelopeTasks(tasks);
  bench::AddCheckTasks(tasks);
  bench::AddDecimationTasks(tasks);
  bench::AddRepairTasks(tasks);
  bench::AddExchange2Tasks(tasks);
  bench::AddWrapTasks(tasks);
  bench::AddGenerationTasks(tasks);
  bench::AddCancelTasks(tasks);
  bench::AddScaleTasks(tasks);
  bench::AddJTTasks(tasks);

  if (argc < 2 || std::strcmp(argv[1], "--help") == 0)
  {
    std::printf("usage: quorin-bench <task> <input> [options] [--threads N]\ntasks:\n");
    for (const bench::Task& task : tasks)
    {
      std::printf("  %-18s %s\n", task.name, task.usage);
    }
    return argc < 2 ? 2 : 0;
  }

  bench::Args args;
  args.task = argv[1];
  for (int i = 2; i < argc; ++i)
  {
    if (std::strcmp(argv[i], "--threads") == 0 && i + 1 < argc)
    {
      args.threads = std::atoi(argv[++i]);
    }
    else if (args.input.empty())
    {
      args.input = argv[i];
    }
    else
    {
      args.options.emplace_back(argv[i]);
    }
  }
  for (const bench::Task& task : tasks)
  {
    if (args.task == task.name)
    {
      return task.run(args);
    }
  }
  std::fprintf(stderr, "unknown task '%s' (see --help)\n", args.task.c_str());
  return 2;
}
