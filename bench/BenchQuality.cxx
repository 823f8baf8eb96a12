// Quality benchmarks.
#include <BenchCommon.hxx>

namespace bench
{
void AddQualityTasks(std::vector<Task>&) {}
} // namespace bench
