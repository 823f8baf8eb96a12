// Self-intersection check of one mesh.
//
// The triangle pairs come from the hierarchy component: a dual traversal of the mesh's
// bounding-volume hierarchy (linear Morton-code build) with itself, each candidate pair decided by
// an exact triangle-triangle test on orientation predicates. The pairs are clustered into
// connected components with a union-find (near-linear in the number of pairs), and the
// components are listed in the order of their first pair, which is the order an
// incremental merge of the pairs into a list of groups would leave them in. Cost:
// O(n log n) for the hierarchy build and traversal on n triangles of a well-shaped mesh,
// plus O(p log p) for p intersecting pairs.
#include <algoMesh_CheckSelfIntersections.hxx>

#include <algoMesh_ProgressScope.hxx>

#include <BVHTools_IntersectMeshMesh.hxx>

#include <ActAPI_LogMessage.hxx>

#include <Standard_OutOfRange.hxx>

#include <algorithm>
#include <numeric>
#include <unordered_map>
#include <vector>

using namespace quorin;

IMPLEMENT_STANDARD_RTTIEXT(quorin::algoMesh_CheckSelfIntersections, algoBase_Algorithm)

namespace
{

// Shares of the progress: the hierarchy build, then the pair search; the grouping takes
// the rest.
constexpr double THE_BUILD_SHARE  = 0.3;
constexpr double THE_SEARCH_SHARE = 0.65;

// Disjoint sets over compact ids, with path halving and union by size.
class UnionFind
{
public:
  int Add()
  {
    m_parent.push_back(static_cast<int>(m_parent.size()));
    m_size.push_back(1);
    return m_parent.back();
  }

  int Find(int x)
  {
    while (m_parent[x] != x)
    {
      m_parent[x] = m_parent[m_parent[x]];
      x           = m_parent[x];
    }
    return x;
  }

  void Unite(int a, int b)
  {
    a = Find(a);
    b = Find(b);
    if (a == b)
    {
      return;
    }
    if (m_size[a] < m_size[b])
    {
      std::swap(a, b);
    }
    m_parent[b] = a;
    m_size[a] += m_size[b];
  }

private:
  std::vector<int> m_parent;
  std::vector<int> m_size;
};

} // namespace

algoMesh_CheckSelfIntersections::algoMesh_CheckSelfIntersections(ActAPI_ProgressEntry progress,
                                                                 ActAPI_PlotterEntry  plotter)
    : algoBase_Algorithm(progress, plotter), m_isRecording(false)
{
}

bool algoMesh_CheckSelfIntersections::Perform(const Handle(Poly_Triangulation) & mesh)
{
  // 1. Keep the input; forget the previous run.
  m_input = mesh;
  m_result.Nullify();
  m_groups.clear();
  m_intersecting.Clear();
  m_triangleSet.Nullify();
  if (mesh.IsNull())
  {
    ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Error);
    message << "The mesh to check for self-intersections is null.";
    m_progress.SendLogMessage(message);
    return false;
  }

  // 2. Build the triangle set and its hierarchy.
  algoMesh_ProgressScope progress(m_progress, "Checking self-intersections");
  algoMesh_ProgressScope build     = progress.Next(THE_BUILD_SHARE);
  const int              nbThreads = NbThreadsFor();
  m_triangleSet                    = new BVHTools::TriangleSet(mesh);
  if (!checkInput(*m_triangleSet))
  {
    return false;
  }
  m_triangleSet->SetNbThreads(nbThreads);
  m_triangleSet->InitBuilder();
  m_triangleSet->SetBuildProgress([&build](const double fraction) { build.SetFraction(fraction); });
  m_triangleSet->SetBuildStop([&build]() { return build.IsCancelled(); });
  m_triangleSet->BVH();
  m_triangleSet->SetBuildProgress({});
  m_triangleSet->SetBuildStop({});
  if (m_triangleSet->IsBuildStopped())
  {
    algoMesh_ReportCancelled(m_progress);
    return false;
  }
  build.Complete();

  // 3. Without recording nothing would be kept, so the pairs are not searched.
  if (!m_isRecording)
  {
    return false;
  }

  // 4. Find the intersecting pairs.
  BVHTools::IntersectMeshMesh intersection(nbThreads, m_triangleSet, m_triangleSet, true);
  algoMesh_ProgressScope      search = progress.Next(THE_SEARCH_SHARE);
  intersection.SetMonitor([&search](const size_t done, const size_t total)
                          { return search.Follow(done, total); });
  const bool isSearched = intersection.Perform();
  if (progress.IsCancelled())
  {
    algoMesh_ReportCancelled(m_progress);
    return false;
  }
  if (!isSearched || intersection.Result().empty())
  {
    progress.Complete();
    return false;
  }

  // 5. Cluster them, extract the result mesh and collect the triangle indices.
  groupPairs(intersection.Result());
  m_result = SelfIntersections(-1);
  for (const std::set<int>& group : m_groups)
  {
    for (const int triangle : group)
    {
      m_intersecting.Add(triangle);
    }
  }
  progress.Complete();
  return true;
}

bool algoMesh_CheckSelfIntersections::checkInput(const BVHTools::TriangleSet& set) const
{
  if (set.NbRejected() > 0)
  {
    ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Error);
    message << "Cannot check self-intersections: %1 triangles refer to nodes outside the mesh "
               "or to coordinates that are not finite."
            << set.NbRejected();
    m_progress.SendLogMessage(message);
    return false;
  }
  if (set.NbDegenerate() > 0)
  {
    ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Warning);
    message << "%1 degenerate triangles were left out of the self-intersection check."
            << set.NbDegenerate();
    m_progress.SendLogMessage(message);
  }
  return true;
}

void algoMesh_CheckSelfIntersections::groupPairs(const std::vector<int>& pairs)
{
  // Compact ids for the triangles met, in order of first appearance.
  std::unordered_map<int, int> idOf;
  std::vector<int>             triangleOf;
  UnionFind                    sets;
  auto                         idFor = [&](const int triangle)
  {
    const auto found = idOf.find(triangle);
    if (found != idOf.end())
    {
      return found->second;
    }
    const int id = sets.Add();
    idOf.emplace(triangle, id);
    triangleOf.push_back(triangle);
    return id;
  };
  std::vector<int> firstIdOfPair;
  firstIdOfPair.reserve(pairs.size() / 2);
  for (size_t k = 0; k + 1 < pairs.size(); k += 2)
  {
    const int a = idFor(pairs[k]);
    const int b = idFor(pairs[k + 1]);
    sets.Unite(a, b);
    firstIdOfPair.push_back(a);
  }

  // A component's group sits where its first pair created it: merging pairs one by one
  // into a list keeps every merged group at the position of its oldest member.
  std::unordered_map<int, std::set<int>*> groupOfRoot;
  for (const int id : firstIdOfPair)
  {
    const int root = sets.Find(id);
    if (groupOfRoot.find(root) == groupOfRoot.end())
    {
      m_groups.emplace_back();
      groupOfRoot.emplace(root, &m_groups.back());
    }
  }
  for (int id = 0; id < static_cast<int>(triangleOf.size()); ++id)
  {
    groupOfRoot[sets.Find(id)]->insert(triangleOf[id]);
  }
}

Handle(Poly_Triangulation) algoMesh_CheckSelfIntersections::SelfIntersections(const int index) const
{
  if (!m_isRecording || m_groups.empty())
  {
    return Handle(Poly_Triangulation)();
  }
  const int nbGroups = NbGroups();

  // Nodes numbered by first use across the selected groups.
  std::vector<int>           newIndexOf(m_input->NbNodes() + 1, 0);
  std::vector<gp_Pnt>        nodes;
  std::vector<Poly_Triangle> triangles;
  int                        position = 0;
  for (const std::set<int>& group : m_groups)
  {
    const bool selected = index < 0 || index > nbGroups || index == position;
    ++position;
    if (!selected)
    {
      continue;
    }
    for (const int t : group)
    {
      if (t < 1 || t > m_input->NbTriangles())
      {
        throw Standard_OutOfRange("NCollection_Array1::Value");
      }
      int n[3];
      m_input->Triangle(t).Get(n[0], n[1], n[2]);
      for (int& node : n)
      {
        if (node < 1 || node > m_input->NbNodes())
        {
          throw Standard_OutOfRange("NCollection_Array1::Value");
        }
        if (newIndexOf[node] == 0)
        {
          nodes.push_back(m_input->Node(node));
          newIndexOf[node] = static_cast<int>(nodes.size());
        }
        node = newIndexOf[node];
      }
      triangles.emplace_back(n[0], n[1], n[2]);
    }
  }

  // The kernel refuses a triangulation sized 0 by 0, hence the empty default one.
  if (triangles.empty())
  {
    return new Poly_Triangulation();
  }
  Handle(Poly_Triangulation) result = new Poly_Triangulation(
      static_cast<int>(nodes.size()), static_cast<int>(triangles.size()), Standard_False);
  for (int i = 0; i < static_cast<int>(nodes.size()); ++i)
  {
    result->SetNode(i + 1, nodes[i]);
  }
  for (int i = 0; i < static_cast<int>(triangles.size()); ++i)
  {
    result->SetTriangle(i + 1, triangles[i]);
  }
  return result;
}
