// Triangle set: gathering triangles with their boxes, and the leaf-order node layout.
#include <BVHTools_TriangleSet.hxx>

#include <BVHTools_TriangleTests.hxx>

#include <BRep_Tool.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Face.hxx>

#include <algorithm>
#include <cmath>

IMPLEMENT_STANDARD_RTTIEXT(BVHTools::TriangleSet, BVHTools::PrimitiveSet)

namespace BVHTools
{
namespace
{

// Coordinates the exact predicates can take without overflow.
bool isUsable(const gp_XYZ& p)
{
  constexpr double THE_LIMIT = 1.0e100;
  return std::fabs(p.X()) <= THE_LIMIT && std::fabs(p.Y()) <= THE_LIMIT &&
         std::fabs(p.Z()) <= THE_LIMIT; // false for NaN as well
}

} // namespace

TriangleSet::TriangleSet(const Handle(Poly_Triangulation) & mesh)
{
  reserve(mesh.IsNull() ? 0 : mesh->NbTriangles(), mesh.IsNull() ? 0 : mesh->NbNodes());
  int nextId = 1;
  addMesh(mesh, nullptr, false, nextId, 0);
}

TriangleSet::TriangleSet(const TopoDS_Shape& shape)
{
  // Sized once for all faces: growing the arrays face by face to the exact size would copy
  // them once per face, quadratic in the number of faces.
  size_t nbTriangles = 0, nbNodes = 0;
  for (TopExp_Explorer exp(shape, TopAbs_FACE); exp.More(); exp.Next())
  {
    TopLoc_Location location;
    const Handle(Poly_Triangulation) mesh =
        BRep_Tool::Triangulation(TopoDS::Face(exp.Current()), location);
    nbTriangles += mesh.IsNull() ? 0 : static_cast<size_t>(mesh->NbTriangles());
    nbNodes += mesh.IsNull() ? 0 : static_cast<size_t>(mesh->NbNodes());
  }
  reserve(nbTriangles, nbNodes);

  int nextId    = 1;
  int nodeShift = 0;
  for (TopExp_Explorer exp(shape, TopAbs_FACE); exp.More(); exp.Next())
  {
    const TopoDS_Face& face = TopoDS::Face(exp.Current());
    TopLoc_Location    location;
    Handle(Poly_Triangulation) mesh = BRep_Tool::Triangulation(face, location);
    const gp_Trsf placement         = location.Transformation();
    addMesh(mesh, location.IsIdentity() ? nullptr : &placement,
            face.Orientation() == TopAbs_REVERSED, nextId, nodeShift);
    nodeShift += mesh.IsNull() ? 0 : mesh->NbNodes();
  }
}

void TriangleSet::addMesh(const Handle(Poly_Triangulation) & mesh,
                          const gp_Trsf* placement,
                          const bool     reversed,
                          int&           nextId,
                          const int      nodeShift)
{
  if (mesh.IsNull())
  {
    return;
  }
  // The nodes once, placed; a triangle reads its corners through its node numbers.
  const int    nbNodes     = mesh->NbNodes();
  const int    nbTriangles = mesh->NbTriangles();
  const size_t first       = m_points.size();
  for (int i = 1; i <= nbNodes; ++i)
  {
    gp_XYZ p = mesh->Node(i).XYZ();
    if (placement != nullptr)
    {
      placement->Transforms(p);
    }
    m_points.insert(m_points.end(), {p.X(), p.Y(), p.Z()});
  }
  for (int t = 1; t <= nbTriangles; ++t, ++nextId)
  {
    int n[3];
    mesh->Triangle(t).Get(n[0], n[1], n[2]);
    if (reversed)
    {
      std::swap(n[1], n[2]);
    }
    bool usable = true;
    for (int k = 0; k < 3 && usable; ++k)
    {
      usable = n[k] >= 1 && n[k] <= nbNodes;
      if (usable)
      {
        const double* p = &m_points[first + 3 * size_t(n[k] - 1)];
        usable          = isUsable(gp_XYZ(p[0], p[1], p[2]));
      }
    }
    if (!usable)
    {
      ++m_nbRejected;
      continue;
    }
    m_sources.push_back(static_cast<int>(m_ids.size()));
    m_ids.push_back(nextId);
    for (int k = 0; k < 3; ++k)
    {
      m_nodes.push_back(n[k] + nodeShift);
    }
    const TriangleCorners tri{
        {Point(n[0] + nodeShift), Point(n[1] + nodeShift), Point(n[2] + nodeShift)}};
    const bool degenerate = BVHTools::IsDegenerate(tri);
    m_degenerate.push_back(degenerate ? 1 : 0);
    m_nbDegenerate += degenerate ? 1 : 0;
  }
}

void TriangleSet::reserve(const size_t nbTriangles, const size_t nbNodes)
{
  m_sources.reserve(nbTriangles);
  m_ids.reserve(nbTriangles);
  m_points.reserve(3 * nbNodes);
  m_nodes.reserve(3 * nbTriangles);
  m_degenerate.reserve(nbTriangles);
}

const int* TriangleSet::storedNodes(const int position) const
{
  const size_t stored = m_sources.empty() ? size_t(position) : size_t(m_sources[position]);
  return &m_nodes[3 * stored];
}

BVH_Box<double, 3> TriangleSet::Box(const int position) const
{
  countBuildStep(position);
  const int*    n = storedNodes(position);
  const double* a = Point(n[0]);
  const double* b = Point(n[1]);
  const double* c = Point(n[2]);
  BVH_Vec3d     lower, upper;
  for (int axis = 0; axis < 3; ++axis)
  {
    lower[axis] = std::min({a[axis], b[axis], c[axis]});
    upper[axis] = std::max({a[axis], b[axis], c[axis]});
  }
  return BVH_Box<double, 3>(lower, upper);
}

double TriangleSet::Center(const int position, const int axis) const
{
  const int*   n = storedNodes(position);
  const double a = Point(n[0])[axis], b = Point(n[1])[axis], c = Point(n[2])[axis];
  return 0.5 * (std::min({a, b, c}) + std::max({a, b, c}));
}

void TriangleSet::Swap(const int position1, const int position2)
{
  countBuildSwap();
  std::swap(m_sources[position1], m_sources[position2]);
  std::swap(m_ids[position1], m_ids[position2]);
}

void TriangleSet::Update()
{
  if (!IsDirty())
  {
    return;
  }
  // Nodes and flags stay in insertion order while the builder reorders the positions,
  // which remember where their nodes are; boxes are computed from the corners when the
  // builder asks, not stored (48 bytes per triangle). The permutation is then applied in
  // place, one cycle at a time, so that the nodes are not copied, and the positions are
  // forgotten: from then on a position is where its nodes are.
  if (m_sources.empty())
  {
    m_sources.resize(m_ids.size());
    for (size_t i = 0; i < m_sources.size(); ++i)
    {
      m_sources[i] = static_cast<int>(i);
    }
  }
  PrimitiveSet::Update();
  const int nbPositions = static_cast<int>(m_sources.size());
  for (int start = 0; start < nbPositions; ++start)
  {
    if (m_sources[start] == start)
    {
      continue;
    }
    int nodes[3];
    std::copy_n(&m_nodes[3 * size_t(start)], 3, nodes);
    const char degenerate = m_degenerate[start];
    int        target     = start;
    for (int source = m_sources[target]; source != start; source = m_sources[target])
    {
      std::copy_n(&m_nodes[3 * size_t(source)], 3, &m_nodes[3 * size_t(target)]);
      m_degenerate[target] = m_degenerate[source];
      m_sources[target]    = target;
      target               = source;
    }
    std::copy_n(nodes, 3, &m_nodes[3 * size_t(target)]);
    m_degenerate[target] = degenerate;
    m_sources[target]    = target;
  }
  std::vector<int>().swap(m_sources);

  // The builder grows the node arrays by doubling; a third of them can be slack.
  if (!myBVH.IsNull())
  {
    myBVH->MinPointBuffer().shrink_to_fit();
    myBVH->MaxPointBuffer().shrink_to_fit();
    myBVH->NodeInfoBuffer().shrink_to_fit();
  }
}

} // namespace BVHTools
