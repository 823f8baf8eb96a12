// A recording notifier that also takes the library's fraction of the whole work (the
// algoMesh_WorkFraction extension), as a host with a progress display would: the fractions
// recorded, and the cancellation threshold, then follow it. Header only, so that the
// benchmarks can use it too.
#ifndef WorkFractionRecorder_HeaderFile
#define WorkFractionRecorder_HeaderFile

#include <algoMesh_WorkFraction.hxx>

#include <ActAPI_RecordingNotifier.hxx>

namespace testmesh
{

class WorkFractionRecorder : public ActAPI_RecordingNotifier, public quorin::algoMesh_WorkFraction
{
public:
  void SetWorkFraction(const double fraction) override { ShowWorkFraction(fraction); }
};

} // namespace testmesh

#endif
