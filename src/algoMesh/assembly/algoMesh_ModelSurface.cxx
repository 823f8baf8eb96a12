// Outer surface of a data model mesh. Surface elements are taken as they are; without
// them every face of every volume is keyed by its sorted node IDs, and a face met once is
// on the boundary (a face met twice lies between two volumes). Cost O(f log f) for f
// volume faces, plus one look-up per fan corner to renumber the nodes (an array indexed by
// node ID, a hash map for IDs far beyond the node count).
#include <algoMesh_ModelSurface.hxx>

#include <MorvDS_MeshElementsIterator.hxx>
#include <MorvDS_MeshNode.hxx>

#include <algorithm>
#include <array>
#include <map>
#include <unordered_map>

using namespace quorin;

namespace
{
// Faces of a volume element as positions in its node list, each seen from outside by the
// usual corner order of tetrahedra (4 nodes), pyramids (5), prisms (6) and hexahedra (8);
// -1 ends a triangle.
const std::vector<std::array<int, 4>>& volumeFaces(const int nbNodes)
{
  static const std::vector<std::array<int, 4>> THE_FACES[9] = {
      {},
      {},
      {},
      {},
      {{0, 2, 1, -1}, {0, 1, 3, -1}, {1, 2, 3, -1}, {0, 3, 2, -1}},
      {{0, 3, 2, 1}, {0, 1, 4, -1}, {1, 2, 4, -1}, {2, 3, 4, -1}, {3, 0, 4, -1}},
      {{0, 2, 1, -1}, {3, 4, 5, -1}, {0, 1, 4, 3}, {1, 2, 5, 4}, {2, 0, 3, 5}},
      {},
      {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}}};
  return THE_FACES[nbNodes >= 0 && nbNodes <= 8 ? nbNodes : 0];
}
} // namespace

std::vector<std::vector<int>> algoMesh_ModelSurface::Polygons(const Handle(MorvDS_Mesh) & model)
{
  std::vector<std::vector<int>> polygons;
  if (model.IsNull())
  {
    return polygons;
  }
  for (MorvDS_MeshElementsIterator it(model, MorvAbs_Face); it.More(); it.Next())
  {
    const Handle(MorvDS_MeshElement) face = it.Value();
    std::vector<int> nodes;
    for (int k = 0; k < face->NbNodes(); ++k)
    {
      nodes.push_back(face->NodeID(k));
    }
    polygons.push_back(nodes);
  }
  if (!polygons.empty())
  {
    return polygons;
  }
  // Each face keyed by its sorted nodes, with its nodes in outward order and its uses.
  std::map<std::vector<int>, std::pair<std::vector<int>, int>> faces;
  for (MorvDS_MeshElementsIterator it(model, MorvAbs_Volume); it.More(); it.Next())
  {
    const Handle(MorvDS_MeshElement) volume = it.Value();
    for (const std::array<int, 4>& corners : volumeFaces(volume->NbNodes()))
    {
      std::vector<int> nodes;
      for (const int corner : corners)
      {
        if (corner >= 0)
        {
          nodes.push_back(volume->NodeID(corner));
        }
      }
      std::vector<int> key = nodes;
      std::sort(key.begin(), key.end());
      ++faces.emplace(key, std::make_pair(nodes, 0)).first->second.second;
    }
  }
  for (const auto& face : faces)
  {
    if (face.second.second == 1)
    {
      polygons.push_back(face.second.first);
    }
  }
  return polygons;
}

namespace
{
//! Node numbers of the result by model node ID, in order of first use: an array indexed by
//! ID while IDs stay within a few times the node count (files number their nodes densely),
//! a hash map for the few beyond.
class NodeNumbering
{
public:
  explicit NodeNumbering(const int nbModelNodes)
      : m_denseLimit(4 * static_cast<size_t>(std::max(nbModelNodes, 0)) + 1024)
  {
  }

  int operator()(const int id)
  {
    if (id >= 0 && static_cast<size_t>(id) < m_denseLimit)
    {
      if (static_cast<size_t>(id) >= m_dense.size())
      {
        m_dense.resize(std::min(m_denseLimit, std::max<size_t>(id + 1, 2 * m_dense.size())), 0);
      }
      int& number = m_dense[id];
      if (number == 0)
      {
        Order.push_back(id);
        number = static_cast<int>(Order.size());
      }
      return number;
    }
    const auto found = m_sparse.emplace(id, static_cast<int>(Order.size()) + 1);
    if (found.second)
    {
      Order.push_back(id);
    }
    return found.first->second;
  }

  std::vector<int> Order; //!< model node IDs by node number - 1

private:
  size_t                       m_denseLimit;
  std::vector<int>             m_dense; //!< number by ID, 0 while unused
  std::unordered_map<int, int> m_sparse;
};
} // namespace

Handle(Poly_Triangulation) algoMesh_ModelSurface::Perform(const Handle(MorvDS_Mesh) & model)
{
  if (model.IsNull())
  {
    return Handle(Poly_Triangulation)();
  }
  NodeNumbering              number(model->NbNodes());
  std::vector<Poly_Triangle> triangles;
  const auto                 cut = [&](const int* polygon, const size_t nbCorners)
  {
    for (size_t k = 1; k + 1 < nbCorners; ++k)
    {
      // One statement each: the order of evaluation of function arguments is unspecified,
      // and the numbering must follow the corners' order.
      const int a = number(polygon[0]);
      const int b = number(polygon[k]);
      const int c = number(polygon[k + 1]);
      triangles.emplace_back(a, b, c);
    }
  };
  // Surface elements are cut as they are walked: a million faces would otherwise make a
  // million small node lists first.
  std::vector<int> corners;
  bool             hasFaces = false;
  for (MorvDS_MeshElementsIterator it(model, MorvAbs_Face); it.More(); it.Next())
  {
    const Handle(MorvDS_MeshElement) face = it.Value();
    corners.clear();
    for (int k = 0; k < face->NbNodes(); ++k)
    {
      corners.push_back(face->NodeID(k));
    }
    cut(corners.data(), corners.size());
    hasFaces = true;
  }
  if (!hasFaces)
  {
    for (const std::vector<int>& polygon : Polygons(model))
    {
      cut(polygon.data(), polygon.size());
    }
  }
  if (triangles.empty())
  {
    return Handle(Poly_Triangulation)();
  }
  const std::vector<int>& order   = number.Order;
  Handle(Poly_Triangulation) mesh = new Poly_Triangulation(
      static_cast<int>(order.size()), static_cast<int>(triangles.size()), false);
  for (size_t n = 0; n < order.size(); ++n)
  {
    // Readers refuse elements on unknown nodes; a model built elsewhere may not.
    const Handle(MorvDS_MeshNode) node = model->FindNode(order[n]);
    if (node.IsNull())
    {
      return Handle(Poly_Triangulation)();
    }
    mesh->SetNode(static_cast<int>(n) + 1, node->Pnt());
  }
  for (size_t t = 0; t < triangles.size(); ++t)
  {
    mesh->SetTriangle(static_cast<int>(t) + 1, triangles[t]);
  }
  return mesh;
}
