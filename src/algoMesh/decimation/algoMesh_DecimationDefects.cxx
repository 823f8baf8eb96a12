// Decimation defects: edges counted in a hash map keyed by their two node numbers, crossings
// found by the bounding-volume mesh-mesh intersection of the mesh with itself.
#include <algoMesh_DecimationDefects.hxx>

#include <BVHTools_IntersectMeshMesh.hxx>
#include <BVHTools_TriangleSet.hxx>

#include <algorithm>
#include <cstdint>
#include <unordered_map>

using namespace quorin;

algoMesh_DecimationDefects algoMesh_DecimationDefects::Count(const Handle(Poly_Triangulation) &
                                                             mesh)
{
  algoMesh_DecimationDefects defects;
  if (mesh.IsNull() || mesh->NbTriangles() == 0)
  {
    return defects;
  }

  // 1. Uses of each edge.
  std::unordered_map<uint64_t, int> uses;
  uses.reserve(static_cast<size_t>(mesh->NbTriangles()) * 2);
  for (int t = 1; t <= mesh->NbTriangles(); ++t)
  {
    int n[3];
    mesh->Triangle(t).Get(n[0], n[1], n[2]);
    for (int k = 0; k < 3; ++k)
    {
      const auto edge = std::minmax(n[k], n[(k + 1) % 3]);
      ++uses[(uint64_t(uint32_t(edge.first)) << 32) | uint32_t(edge.second)];
    }
  }
  for (const auto& edge : uses)
  {
    defects.NbBoundaryEdges += edge.second == 1;
    defects.NbNonManifoldEdges += edge.second > 2;
  }

  // 2. Crossing pairs: the self-intersection reports each pair from both sides.
  Handle(BVHTools::TriangleSet) set = new BVHTools::TriangleSet(mesh);
  BVHTools::IntersectMeshMesh intersection(2, set, set, true);
  defects.NbCrossingPairs = intersection.Perform() ? intersection.Result().size() / 2 : 0;
  return defects;
}
