// Shrink wrapping pipeline: solid voxelization with a closing, the manifold boundary of the
// voxels, projection of its vertices onto the input, smoothing with reprojection, and a
// triangulation untangled so that nothing crosses. Cost: linear in the grid cells and the
// input triangles, O(V log n) for the projections of V vertices onto n triangles.
#include <SurfWrap_API.hxx>

#include <Algo_ShrinkWrapping.hxx>
#include <SurfWrap_DummyProgressNotifier.hxx>

#include <BVHTools_PrimitiveSet.hxx>

#include <tbb/task_arena.h>

#include <cmath>

namespace
{

// Largest distance over which a voxel corner is pulled onto the input: the corners of the
// closed solid's boundary lie within about √3 voxels of the surface they wrap, farther
// only over holes and gaps, which are left to the smoothing.
constexpr double THE_SHRINK_VOXELS = 2.0;

} // namespace

SurfWrap_API::SurfWrap_API(const Handle(SurfWrap_ProgressNotifier) & notifier)
    : m_notifier(notifier.IsNull()
                     ? Handle(SurfWrap_ProgressNotifier)(SurfWrap_DummyProgressNotifier::Instance())
                     : notifier)
{
}

bool SurfWrap_API::PerformWrapping(const Handle(SurfWrap_WrappingSettings) & settings)
{
  m_result.Nullify();
  if (settings.IsNull())
  {
    m_notifier->NewMessage("SurfWrap.Settings.UnknownAlgorithm", SurfWrap_Fail, "(none)");
    return false;
  }
  if (!checkInput(*settings))
  {
    return false;
  }
  const int       nbThreads = settings->NbThreads();
  tbb::task_arena arena(BVHTools::ArenaSize(nbThreads));
  m_notifier->NewScope(5, "Wrapping");
  bool isDone = false;
  arena.execute(
      [&]
      {
        // 1. Voxelize into a closed, well-composed solid.
        Algo_VoxelizationGSF voxelization(m_mesh, m_notifier);
        voxelization.SetNbThreads(nbThreads);
        voxelization.SetVoxelSize(settings->Size);
        // Its own scope of progress covers this step.
        if (!voxelization.Perform())
        {
          return;
        }
        m_notifier->ProcessEvents();
        if (m_notifier->IsInterrupted())
        {
          return;
        }

        // 2. Extract the manifold boundary of the solid voxels.
        Algo_ShrinkWrapping wrapping(m_notifier);
        wrapping.SetNbThreads(nbThreads);
        SurfWrap_WorkMesh surface;
        const bool        isExtracted = wrapping.Extract(voxelization.Grid(), surface);
        const double      voxel       = voxelization.Grid().Size;
        voxelization.ChangeGrid()     = SurfWrap_VoxelGrid();
        if (!isExtracted)
        {
          return;
        }
        m_notifier->ProcessEvents();
        if (m_notifier->IsInterrupted())
        {
          return;
        }

        // 3. Shrink it onto the input: the projector's hierarchy is one half of the step,
        //    the vertices the other.
        m_notifier->NewScope(2, "Shrinking");
        const SurfWrap_Projector projector(m_mesh, nbThreads);
        m_notifier->Increment();
        const bool isShrunk = wrapping.Shrink(projector, THE_SHRINK_VOXELS * voxel, surface);
        m_notifier->EndScope();
        if (!isShrunk)
        {
          return;
        }
        m_notifier->ProcessEvents();
        if (m_notifier->IsInterrupted())
        {
          return;
        }

        // 4. Refine as the settings ask, each refinement a part of the step.
        m_notifier->NewScope(static_cast<int>(settings->RefinementAlgorithms().size()), "Refining");
        bool isRefined = true;
        for (const SurfWrap_WrappingSettings::Refinement& refinement :
             settings->RefinementAlgorithms())
        {
          Algo_Smoothing smoothing(m_notifier);
          smoothing.SetNbThreads(nbThreads);
          isRefined = isRefined && smoothing.Perform(surface, projector, refinement.Component,
                                                     refinement.NbIterations);
        }
        m_notifier->EndScope();
        if (!isRefined)
        {
          return;
        }
        m_notifier->ProcessEvents();
        if (m_notifier->IsInterrupted())
        {
          return;
        }

        // 5. Triangulate without crossings.
        m_result = wrapping.Triangulate(surface);
        m_notifier->Increment();
        isDone = !m_result.IsNull();
      });
  m_notifier->EndScope();
  if (!isDone)
  {
    m_result.Nullify();
    if (m_notifier->IsInterrupted())
    {
      return interrupted();
    }
  }
  return isDone;
}

bool SurfWrap_API::checkInput(const SurfWrap_WrappingSettings& settings) const
{
  if (m_mesh.IsNull() || m_mesh->NbTriangles() == 0)
  {
    m_notifier->NewMessage("SurfWrap.API.NoMesh", SurfWrap_Fail);
    return false;
  }
  const std::string* unknown = nullptr;
  if (settings.VoxelizationAlgorithm() != "Algo_VoxelizationGSF")
  {
    unknown = &settings.VoxelizationAlgorithm();
  }
  else if (settings.TessellationAlgorithm() != "Algo_ShrinkWrapping")
  {
    unknown = &settings.TessellationAlgorithm();
  }
  for (const SurfWrap_WrappingSettings::Refinement& refinement : settings.RefinementAlgorithms())
  {
    if (unknown == nullptr && refinement.Name != "Algo_Smoothing")
    {
      unknown = &refinement.Name;
    }
  }
  if (unknown != nullptr)
  {
    m_notifier->NewMessage("SurfWrap.Settings.UnknownAlgorithm", SurfWrap_Fail, unknown->c_str());
    return false;
  }
  if (!(settings.Size > 0.0) || !std::isfinite(settings.Size))
  {
    m_notifier->NewMessage("SurfWrap.Settings.BadSize", SurfWrap_Fail);
    return false;
  }
  return true;
}

bool SurfWrap_API::interrupted() const
{
  m_notifier->NewMessage("SurfWrap.API.Interrupted", SurfWrap_Warning);
  return false;
}
