// Deviation of a mesh from a B-rep shape, triangle by triangle.
//
// The shape stands as the union of its face triangulations, gathered once into a compact
// bounding-volume hierarchy (linear Morton-code build, BVHTools::NearestTree, in parallel)
// that all later runs reuse. Each triangle of the mesh is reduced to its centroid, and the centroid
// is projected onto the face meshes by a branch-and-bound descent of the hierarchy, which gives the
// distance to the nearest face triangle and, for the signed measure, the side of that triangle the
// centroid lies on. The projections are independent and run in a TBB parallel loop inside a task
// arena of the algorithm's thread count; each writes only its own element, so the results are the
// same for any thread count. Cost: O(m) once for the hierarchy of m face triangles, then O(log m)
// per mesh triangle for a centroid near a well-shaped face mesh (O(m) in the worst case).
#include <algoMesh_DeviationCheckCADMesh.hxx>

#include <BVHTools_ProjectPntMesh.hxx>
#include <BVHTools_TaskFence.hxx>

#include <ActAPI_LogMessage.hxx>

#include <TopoDS_Iterator.hxx>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <atomic>
#include <cmath>
#include <limits>

using namespace quorin;

namespace
{

// Share of the progress taken by the hierarchy build; the projections take the rest.
constexpr double THE_BUILD_SHARE = 0.1;

// Projections counted at once toward the progress.
constexpr int THE_PROGRESS_STEP = 4096;

} // namespace

IMPLEMENT_STANDARD_RTTIEXT(quorin::algoMesh_DeviationCheckCADMesh, algoBase_Algorithm)

algoMesh_DeviationCheckCADMesh::algoMesh_DeviationCheckCADMesh(const TopoDS_Shape&  shape,
                                                               ActAPI_ProgressEntry progress,
                                                               ActAPI_PlotterEntry  plotter)
    : algoBase_Algorithm(progress, plotter), m_shape(shape)
{
}

bool algoMesh_DeviationCheckCADMesh::IsEmptyShape(const TopoDS_Shape& shape)
{
  if (shape.IsNull())
  {
    return true;
  }
  switch (shape.ShapeType())
  {
  case TopAbs_COMPOUND:
  case TopAbs_COMPSOLID:
  case TopAbs_SOLID:
  case TopAbs_SHELL:
    return !TopoDS_Iterator(shape).More();
  default:
    return false;
  }
}

bool algoMesh_DeviationCheckCADMesh::Perform(const Handle(Poly_Triangulation) & mesh,
                                             const distType type)
{
  // 1. Nothing to measure, or nothing to measure against: fail quietly.
  if (mesh.IsNull() || IsEmptyShape(m_shape))
  {
    return false;
  }

  // 2. Refuse a mesh whose triangles point outside its nodes.
  if (!checkMesh(*mesh))
  {
    return false;
  }

  // 3. Gather the shape's face meshes into a triangle set, on the first run only.
  prepareTriangleSet();

  if (m_triangleSet->Size() == 0)
  {
    ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Error);
    message << "Cannot measure the deviation: no face of the shape carries a usable "
               "triangulation. Mesh the shape first.";
    m_progress.SendLogMessage(message);
    return false;
  }

  // 4. The progress: the hierarchy's build takes its share, the projections the rest. The
  //    projections poll the notifier themselves, once per triangle.
  algoMesh_ProgressScope progress =
      algoMesh_ProgressScope::ProgressOnly(m_progress, "Measuring the deviation");
  algoMesh_ProgressScope build = progress.Next(THE_BUILD_SHARE);

  // 5. Build the compact hierarchy of the face triangles, on the first run only.
  if (m_projector == nullptr)
  {
    m_projector = std::make_shared<const BVHTools::ProjectPntMesh>(m_triangleSet, NbThreadsFor());
  }
  build.Complete();

  // 6. One element per triangle; elements of an earlier run keep their values until written.
  m_deviations.resize(static_cast<size_t>(mesh->NbTriangles()), 0.0);

  // 7. Project the centroids in parallel.
  const int nbNonFinite = measureTriangles(*mesh, type, NbThreadsFor(), progress.Next(1.0));

  // 8. Tell about centroids that could not be placed.
  if (nbNonFinite > 0)
  {
    ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Warning);
    message << "%1 triangles of the mesh could not be projected: their centroid has a "
               "coordinate that is not finite. Their deviation is NaN."
            << nbNonFinite;
    m_progress.SendLogMessage(message);
  }
  progress.Complete();
  return true;
}

bool algoMesh_DeviationCheckCADMesh::checkMesh(const Poly_Triangulation& mesh) const
{
  const int nbNodes = mesh.NbNodes();
  int       nbBad   = 0;
  for (int t = 1; t <= mesh.NbTriangles(); ++t)
  {
    int n[3];
    mesh.Triangle(t).Get(n[0], n[1], n[2]);
    if (n[0] < 1 || n[0] > nbNodes || n[1] < 1 || n[1] > nbNodes || n[2] < 1 || n[2] > nbNodes)
    {
      ++nbBad;
    }
  }
  if (nbBad > 0)
  {
    ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Error);
    message << "Cannot measure the deviation: %1 triangles of the mesh refer to nodes "
               "outside it."
            << nbBad;
    m_progress.SendLogMessage(message);
    return false;
  }
  return true;
}

void algoMesh_DeviationCheckCADMesh::prepareTriangleSet()
{
  if (!m_triangleSet.IsNull())
  {
    return;
  }
  // The builder takes the thread count as it stands, in parallel mode or not: the build is
  // the same for any count, only its speed differs.
  m_triangleSet = new BVHTools::TriangleSet(m_shape);
  m_triangleSet->SetNbThreads(GetNbThreads());
  m_triangleSet->InitBuilder();
  if (m_triangleSet->NbRejected() > 0)
  {
    ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Warning);
    message << "%1 triangles of the shape's face meshes refer to nodes outside their face "
               "mesh or to coordinates that are not finite; they were left out."
            << m_triangleSet->NbRejected();
    m_progress.SendLogMessage(message);
  }
}

int algoMesh_DeviationCheckCADMesh::measureTriangles(const Poly_Triangulation& mesh,
                                                     const distType            type,
                                                     const int                 nbThreads,
                                                     algoMesh_ProgressScope    progress)
{
  const int nbTriangles = mesh.NbTriangles();
  progress.SetTotal(nbTriangles);
  const Handle(ActAPI_IProgressNotifier)& notifier = m_progress.Access();
  const double      notANumber                     = std::numeric_limits<double>::quiet_NaN();
  std::atomic<bool> isCancelled{false};
  std::atomic<int>  nbNonFinite{0};
  double*           deviations = m_deviations.data();

  auto measureRange = [&](const tbb::blocked_range<int>& range)
  {
    // One projector for all chunks: it only reads the set and its compact hierarchy.
    const BVHTools::ProjectPntMesh& projector        = *m_projector;
    int                             nbLocalNonFinite = 0;
    int                             nbUncounted      = 0;
    // Consecutive triangles of a mesh lie side by side: each search starts from the nearest
    // triangle of the previous centroid, whose distance prunes most of the hierarchy.
    int nearest = -1;
    for (int i = range.begin(); i != range.end(); ++i)
    {
      // Once one thread has seen the request, the other iterations stop without polling.
      if (isCancelled.load(std::memory_order_relaxed))
      {
        break;
      }
      if (!notifier.IsNull() && notifier->IsCancelRequested())
      {
        isCancelled.store(true, std::memory_order_relaxed);
        break;
      }
      if (type != DistType_Unsigned && type != DistType_Signed)
      {
        deviations[i] = 0.0;
        continue;
      }
      int n[3];
      mesh.Triangle(i + 1).Get(n[0], n[1], n[2]);
      const gp_Pnt p0 = mesh.Node(n[0]), p1 = mesh.Node(n[1]), p2 = mesh.Node(n[2]);
      const gp_Pnt centroid((p0.X() + p1.X() + p2.X()) / 3.0, (p0.Y() + p1.Y() + p2.Y()) / 3.0,
                            (p0.Z() + p1.Z() + p2.Z()) / 3.0);
      if (!std::isfinite(centroid.X()) || !std::isfinite(centroid.Y()) ||
          !std::isfinite(centroid.Z()))
      {
        deviations[i] = notANumber;
        ++nbLocalNonFinite;
        continue;
      }
      const double value = projector.DistanceNear(centroid, type == DistType_Signed, nearest);
      // The projector answers -1 when it finds no nearest triangle; that is no distance.
      if (nearest < 0)
      {
        deviations[i] = notANumber;
        ++nbLocalNonFinite;
        continue;
      }
      deviations[i] = value;
      if (++nbUncounted == THE_PROGRESS_STEP)
      {
        progress.Advance(nbUncounted);
        nbUncounted = 0;
      }
    }
    progress.Advance(nbUncounted);
    if (nbLocalNonFinite > 0)
    {
      nbNonFinite.fetch_add(nbLocalNonFinite, std::memory_order_relaxed);
    }
  };

  // The arena bounds the loop to the algorithm's thread count (and to the machine's),
  // whatever the host's TBB settings; it lives only for this call.
  tbb::task_arena           arena(BVHTools::ArenaSize(nbThreads));
  const BVHTools::TaskFence fence;
  arena.execute(
      [&]
      {
        tbb::parallel_for(
            tbb::blocked_range<int>(0, nbTriangles, 1),
            [&](const tbb::blocked_range<int>& range)
            {
              fence.Enter();
              measureRange(range);
              fence.Leave();
            },
            tbb::auto_partitioner());
      });
  fence.Join();
  return nbNonFinite.load();
}
