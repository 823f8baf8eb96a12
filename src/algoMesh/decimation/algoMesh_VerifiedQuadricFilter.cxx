// The quadric filter's result checked against the guarantees of the topology-preserving
// decimation (algoMesh_TopoDecimation), so that the cheaper filter stands in for the collapser
// whenever its result is as good.
//
// What the collapser guarantees on a closed, oriented, manifold input, and the check that
// stands for each here:
// - Its collapses keep the link condition and never reduce a closed component below a
//   tetrahedron, so its result is a closed oriented manifold homeomorphic to the input,
//   component by component. Check: every edge of the result is used once in each direction,
//   the triangles around every node form one fan of at least three, and the components have
//   the input's Euler characteristics (compared as sorted lists). Closed orientable surfaces
//   with equal characteristics are homeomorphic, so this is the same property, read off the
//   result instead of kept collapse by collapse.
// - No collapse makes a degenerate triangle. Check: no result triangle has collinear corners.
// - No collapse brings a changed triangle into contact with a triangle that shares no node
//   with its ring (BVHTools::NeighboursIntersect, exact), and the triangles beside the ring are
//   kept from folding onto each other by the turn limit. Check: no two result triangles meet,
//   by the same predicate, over all pairs, those sharing a node or an edge included (the
//   defect report's crossing search). This is stronger: it also covers the pairs the
//   collapser leaves to its turn limit, and a result with no crossing pair has no new one
//   whatever the input had.
// - No collapse turns a triangle's normal by more than about 80 degrees. The filter keeps each
//   triangle's identity through its collapses, so each result triangle is compared with the
//   input triangle it descends from. Check: every result normal within the same limit of its
//   ancestor's. This is stricter than the collapser's limit for a triangle that turns slowly
//   over many collapses; such a result only goes to the collapser.
// Every check is exact or integer and runs on the result as returned (single-precision
// nodes), so an accepted result has every property the collapser's would have.
// Cost: the filter; O(n) for the input's topology (half-edges bucketed by node, sorted per
// node) and ancestor normals; O(m) for the result's topology and normals and O(m log m) for
// its crossing search (m result triangles). Each step reports progress and polls for
// cancellation.
#include <algoMesh_VerifiedQuadricFilter.hxx>

#include <algoMesh_Convert.hxx>
#include <algoMesh_DecimationDefects.hxx>
#include <algoMesh_DecimationInput.hxx>
#include <algoMesh_VTKProgress.pxx>
#include <algoMesh_vtkQuadricDecimation.hxx>

#include <BVHTools_TriangleTests.hxx>

#include <vtkCellType.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace quorin
{

namespace
{

// Shares of the progress, in proportion to the time each step took on a 200k-triangle torus
// reduced by 90 %; the crossing search takes what the others leave.
const double THE_INPUT_SHARE  = 0.05;
const double THE_FILTER_SHARE = 0.86;
const double THE_BACK_SHARE   = 0.015;
const double THE_RESULT_SHARE = 0.01;
const int    THE_POLL_ITEMS   = 1024;

using Triangles = std::vector<std::array<int, 3>>;
using Normal    = std::array<double, 3>;

//! Items done by one step: every THE_POLL_ITEMS of them the progress moves and the run is
//! polled for cancellation.
class Pace
{
public:
  Pace(const algoMesh_ProgressScope& progress, const int64_t nbItems) : m_progress(progress)
  {
    m_progress.SetTotal(std::max<int64_t>(1, nbItems));
  }
  //! Counts one more item; false once the run is cancelled.
  bool Tick()
  {
    if (++m_done % THE_POLL_ITEMS != 0)
    {
      return true;
    }
    m_progress.SetDone(m_done);
    return !m_progress.IsCancelled();
  }
  //! Moves to the end of the step; false when the run is cancelled.
  bool Complete()
  {
    m_progress.Complete();
    return !m_progress.IsCancelled();
  }

private:
  algoMesh_ProgressScope m_progress;
  int64_t                m_done = 0;
};

Normal normalOf(const double* a, const double* b, const double* c)
{
  const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
  const double v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
  return {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
}

//! What the checks compare between input and result.
struct Topology
{
  bool                 IsClosedManifold = false; //!< closed, oriented, manifold
  std::vector<int64_t> Characteristics;          //!< Euler characteristic per component, sorted
};

//! The topology of `triangles` over nodes 0 .. nbNodes - 1; false when cancelled.
bool describe(const Triangles&              triangles,
              const int                     nbNodes,
              const algoMesh_ProgressScope& progress,
              Topology&                     topology)
{
  topology = Topology();
  Pace pace(progress, 3 * static_cast<int64_t>(triangles.size()) + 2 * int64_t(nbNodes));
  // 1. The half-edges leaving each node, as (next corner, corner after it), bucketed by node
  //    and sorted within each bucket by the next corner.
  std::vector<int64_t> start(static_cast<size_t>(nbNodes) + 1, 0);
  for (const std::array<int, 3>& tri : triangles)
  {
    if (!pace.Tick())
    {
      return false;
    }
    for (const int node : tri)
    {
      if (node < 0 || node >= nbNodes)
      {
        return pace.Complete(); // cannot happen for a checked mesh; not manifold either way
      }
      ++start[node + 1];
    }
    if (tri[0] == tri[1] || tri[1] == tri[2] || tri[0] == tri[2])
    {
      return pace.Complete();
    }
  }
  for (int v = 0; v < nbNodes; ++v)
  {
    start[v + 1] += start[v];
  }
  std::vector<uint64_t> fans(3 * triangles.size());
  std::vector<int64_t>  fill(start.begin(), start.end() - 1);
  for (const std::array<int, 3>& tri : triangles)
  {
    if (!pace.Tick())
    {
      return false;
    }
    for (int k = 0; k < 3; ++k)
    {
      fans[fill[tri[k]]++] = uint64_t(tri[(k + 1) % 3]) << 32 | uint32_t(tri[(k + 2) % 3]);
    }
  }
  std::vector<int64_t>().swap(fill);
  for (int v = 0; v < nbNodes; ++v)
  {
    if (!pace.Tick())
    {
      return false;
    }
    std::sort(fans.begin() + start[v], fans.begin() + start[v + 1]);
  }
  // The half-edge from `v` to `next`, as its fan entry; null when there is none.
  const auto halfEdge = [&](const int v, const int next) -> const uint64_t*
  {
    const uint64_t* first = fans.data() + start[v];
    const uint64_t* last  = fans.data() + start[v + 1];
    const uint64_t* at    = std::lower_bound(first, last, uint64_t(next) << 32);
    return at != last && int(*at >> 32) == next ? at : nullptr;
  };

  // 2. Every half-edge once, with its opposite (closed, manifold edges, oriented), and the
  //    triangles around every used node one fan of at least three (manifold nodes).
  for (int v = 0; v < nbNodes; ++v)
  {
    if (!pace.Tick())
    {
      return false;
    }
    const int64_t size = start[v + 1] - start[v];
    if (size == 0)
    {
      continue;
    }
    if (size < 3)
    {
      return pace.Complete();
    }
    for (int64_t i = start[v]; i < start[v + 1]; ++i)
    {
      const int next = int(fans[i] >> 32);
      if ((i > start[v] && int(fans[i - 1] >> 32) == next) || halfEdge(next, v) == nullptr)
      {
        return pace.Complete();
      }
    }
    // Around v, triangle (v, b, c) leads from b to c; one cycle must visit all of them.
    const int first = int(fans[start[v]] >> 32);
    int       at    = first;
    int64_t   steps = 0;
    do
    {
      const uint64_t* entry = halfEdge(v, at);
      if (entry == nullptr)
      {
        return pace.Complete();
      }
      at = int(*entry & 0xffffffffu);
      ++steps;
    } while (at != first && steps <= size);
    if (steps != size)
    {
      return pace.Complete();
    }
  }

  // 3. Components (union-find over nodes) and their Euler characteristics V - E + F, with
  //    E = 3 F / 2 on a closed surface.
  std::vector<int> parent(static_cast<size_t>(nbNodes));
  for (int v = 0; v < nbNodes; ++v)
  {
    parent[v] = v;
  }
  const auto root = [&parent](int x)
  {
    while (parent[x] != x)
    {
      x = parent[x] = parent[parent[x]];
    }
    return x;
  };
  for (const std::array<int, 3>& tri : triangles)
  {
    if (!pace.Tick())
    {
      return false;
    }
    parent[root(tri[1])] = root(tri[0]);
    parent[root(tri[2])] = root(tri[0]);
  }
  std::vector<int64_t> twiceCharacteristic(static_cast<size_t>(nbNodes), 0);
  std::vector<char>    isComponent(static_cast<size_t>(nbNodes), 0);
  for (int v = 0; v < nbNodes; ++v)
  {
    if (start[v + 1] > start[v])
    {
      twiceCharacteristic[root(v)] += 2; // its node; each triangle then takes one off
      isComponent[root(v)] = 1;
    }
  }
  for (const std::array<int, 3>& tri : triangles)
  {
    --twiceCharacteristic[root(tri[0])];
  }
  for (int v = 0; v < nbNodes; ++v)
  {
    if (isComponent[v])
    {
      topology.Characteristics.push_back(twiceCharacteristic[v] / 2);
    }
  }
  std::sort(topology.Characteristics.begin(), topology.Characteristics.end());
  topology.IsClosedManifold = true;
  return pace.Complete();
}

//! Sets `reason` (when given) and answers `verdict`.
algoMesh_VerifiedQuadricFilter::Verdict
answer(const algoMesh_VerifiedQuadricFilter::Verdict verdict,
       TCollection_AsciiString*                      reason,
       const char*                                   text)
{
  if (reason != nullptr)
  {
    *reason = text;
  }
  return verdict;
}

} // namespace

algoMesh_VerifiedQuadricFilter::Verdict
algoMesh_VerifiedQuadricFilter::Perform(const Handle(Poly_Triangulation) & input,
                                        const double reduction,
                                        Handle(Poly_Triangulation) & output,
                                        algoMesh_ProgressScope   progress,
                                        TCollection_AsciiString* reason)
{
  const Verdict cancelled = Verdict_Cancelled;
  if (input.IsNull() || input->NbTriangles() == 0)
  {
    return answer(Verdict_NotApplicable, reason, "the input has no triangle");
  }
  // 1. The filter's input (coincident nodes merged), its topology and the normal of every
  //    triangle, before the filter consumes it.
  algoMesh_ProgressScope       inputStep = progress.Next(THE_INPUT_SHARE);
  vtkSmartPointer<vtkPolyData> polyData  = algoMesh_DecimationInput::Build(*input);
  if (polyData->NeedToBuildCells())
  {
    polyData->BuildCells();
  }
  const vtkIdType nbCells = polyData->GetNumberOfCells();
  const vtkIdType nbNodes = polyData->GetNumberOfPoints();
  if (nbCells == 0 || nbCells > INT32_MAX / 3 || nbNodes > INT32_MAX)
  {
    return answer(Verdict_NotApplicable, reason, "the input has no triangle or too many");
  }
  Triangles           triangles(static_cast<size_t>(nbCells));
  std::vector<Normal> ancestors(static_cast<size_t>(nbCells));
  for (vtkIdType cell = 0; cell < nbCells; ++cell)
  {
    if (cell % THE_POLL_ITEMS == 0 && inputStep.IsCancelled())
    {
      return cancelled;
    }
    vtkIdType        npts = 0;
    const vtkIdType* ids  = nullptr;
    if (polyData->GetCellPoints(cell, npts, ids) != VTK_TRIANGLE || npts != 3)
    {
      return answer(Verdict_NotApplicable, reason, "the input has a cell other than a triangle");
    }
    double corners[3][3];
    for (int k = 0; k < 3; ++k)
    {
      triangles[cell][k] = static_cast<int>(ids[k]);
      polyData->GetPoint(ids[k], corners[k]);
    }
    ancestors[cell] = normalOf(corners[0], corners[1], corners[2]);
  }
  Topology before;
  if (!describe(triangles, static_cast<int>(nbNodes), inputStep, before))
  {
    return cancelled;
  }
  if (!before.IsClosedManifold)
  {
    return answer(Verdict_NotApplicable, reason,
                  "the input is not a closed, oriented, manifold surface");
  }

  // 2. The filter, driven as algoMesh_VTKQuadricDecimation drives it, and its result back
  //    as a kernel mesh.
  vtkSmartPointer<algoMesh_vtkQuadricDecimation> decimator =
      vtkSmartPointer<algoMesh_vtkQuadricDecimation>::New();
  decimator->SetInputData(polyData);
  decimator->SetTargetReduction(reduction / 100.0);
  if (!algoMesh_VTKProgress(decimator, progress.Next(THE_FILTER_SHARE)).Update())
  {
    return cancelled;
  }
  vtkSmartPointer<vtkPolyData> result = vtkSmartPointer<vtkPolyData>::New();
  result->ShallowCopy(decimator->GetOutput());
  if (result->GetNumberOfCells() == 0)
  {
    return answer(Verdict_Refused, reason, "the result has no triangle");
  }
  Handle(Poly_Triangulation) decimated;
  if (!algoMesh_Convert::FromVTK(result, decimated, progress.Next(THE_BACK_SHARE).Entry(false)))
  {
    return progress.IsCancelled() ? cancelled
                                  : answer(Verdict_Refused, reason, "the result did not convert");
  }
  // The surviving cells of the consumed input, in order, are the result's triangles.
  std::vector<int> ancestorOf;
  ancestorOf.reserve(static_cast<size_t>(decimated->NbTriangles()));
  for (vtkIdType cell = 0; cell < nbCells; ++cell)
  {
    if (polyData->GetCellType(cell) != VTK_EMPTY_CELL)
    {
      ancestorOf.push_back(static_cast<int>(cell));
    }
  }
  if (static_cast<int>(ancestorOf.size()) != decimated->NbTriangles())
  {
    return answer(Verdict_Refused, reason, "the result's triangles do not trace to the input's");
  }

  // 3. No degenerate triangle, no normal turned beyond the limit, and the input's topology.
  algoMesh_ProgressScope             resultStep = progress.Next(THE_RESULT_SHARE);
  std::vector<std::array<double, 3>> nodes(static_cast<size_t>(decimated->NbNodes()));
  for (int i = 1; i <= decimated->NbNodes(); ++i)
  {
    const gp_Pnt p = decimated->Node(i);
    nodes[i - 1]   = {p.X(), p.Y(), p.Z()};
  }
  triangles.resize(static_cast<size_t>(decimated->NbTriangles()));
  for (int t = 0; t < decimated->NbTriangles(); ++t)
  {
    if (t % THE_POLL_ITEMS == 0 && resultStep.IsCancelled())
    {
      return cancelled;
    }
    int n[3];
    decimated->Triangle(t + 1).Get(n[0], n[1], n[2]);
    for (int k = 0; k < 3; ++k)
    {
      if (n[k] < 1 || n[k] > decimated->NbNodes())
      {
        return answer(Verdict_Refused, reason, "the result names a node it does not hold");
      }
      triangles[t][k] = n[k] - 1;
    }
    // The ancestor's cell now holds the result triangle's corners, at their single-precision
    // places in the result: a check that the tracing is right.
    vtkIdType        npts = 0;
    const vtkIdType* ids  = nullptr;
    polyData->GetCellPoints(ancestorOf[t], npts, ids);
    for (int k = 0; npts == 3 && k < 3; ++k)
    {
      double place[3];
      polyData->GetPoint(ids[k], place);
      for (int axis = 0; axis < 3; ++axis)
      {
        npts = float(place[axis]) == float(nodes[triangles[t][k]][axis]) ? npts : 0;
      }
    }
    if (npts != 3)
    {
      return answer(Verdict_Refused, reason, "the result's triangles do not trace to the input's");
    }
    const double* a = nodes[triangles[t][0]].data();
    const double* b = nodes[triangles[t][1]].data();
    const double* c = nodes[triangles[t][2]].data();
    if (BVHTools::IsDegenerate({{a, b, c}}))
    {
      return answer(Verdict_Refused, reason, "the result has a degenerate triangle");
    }
    const Normal  now  = normalOf(a, b, c);
    const Normal& then = ancestors[ancestorOf[t]];
    const double  dot  = now[0] * then[0] + now[1] * then[1] + now[2] * then[2];
    const double  size = std::sqrt((now[0] * now[0] + now[1] * now[1] + now[2] * now[2]) *
                                   (then[0] * then[0] + then[1] * then[1] + then[2] * then[2]));
    if (!(dot > MaxTurnCosine * size))
    {
      return answer(Verdict_Refused, reason,
                    "a triangle of the result turned beyond the limit from its ancestor");
    }
  }
  std::vector<Normal>().swap(ancestors);
  Topology after;
  if (!describe(triangles, decimated->NbNodes(), resultStep, after))
  {
    return cancelled;
  }
  if (!after.IsClosedManifold)
  {
    return answer(Verdict_Refused, reason,
                  "the result is not a closed, oriented, manifold surface");
  }
  if (after.Characteristics != before.Characteristics)
  {
    return answer(Verdict_Refused, reason, "the result's components differ from the input's");
  }

  // 4. No two triangles in contact beyond a shared node or edge.
  algoMesh_DecimationDefects defects;
  if (!algoMesh_DecimationDefects::Count(decimated, progress.Next(1.0).Entry(false), defects))
  {
    return cancelled;
  }
  if (defects.NbCrossingPairs != 0)
  {
    return answer(Verdict_Refused, reason, "the result has crossing triangles");
  }
  output = decimated;
  return answer(Verdict_Accepted, reason, "");
}

} // namespace quorin
