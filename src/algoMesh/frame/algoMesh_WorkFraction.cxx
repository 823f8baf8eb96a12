#include <algoMesh_WorkFraction.hxx>

namespace quorin
{

// Defined here so that the class's type information is emitted once, in the library, and a
// host's notifier compiled elsewhere is found by the cross-cast.
algoMesh_WorkFraction::~algoMesh_WorkFraction() = default;

algoMesh_WorkFraction* algoMesh_WorkFraction::Of(const ActAPI_ProgressEntry& progress)
{
  return dynamic_cast<algoMesh_WorkFraction*>(progress.Access().get());
}

} // namespace quorin
