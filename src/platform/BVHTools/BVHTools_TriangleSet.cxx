// Triangle set: gathering triangles with their boxes, and the leaf-order corner layout.
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
  reserve(mesh.IsNull() ? 0 : mesh->NbTriangles());
  int nextId = 1;
  addMesh(mesh, nullptr, false, nextId, 0);
}

TriangleSet::TriangleSet(const TopoDS_Shape& shape)
{
  // Sized once for all faces: growing the arrays face by face to the exact size would copy
  // them once per face, quadratic in the number of faces.
  size_t nbTriangles = 0;
  for (TopExp_Explorer exp(shape, TopAbs_FACE); exp.More(); exp.Next())
  {
    TopLoc_Location location;
    const Handle(Poly_Triangulation) mesh =
        BRep_Tool::Triangulation(TopoDS::Face(exp.Current()), location);
    nbTriangles += mesh.IsNull() ? 0 : static_cast<size_t>(mesh->NbTriangles());
  }
  reserve(nbTriangles);

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
  const int nbNodes     = mesh->NbNodes();
  const int nbTriangles = mesh->NbTriangles();
  for (int t = 1; t <= nbTriangles; ++t, ++nextId)
  {
    int n[3];
    mesh->Triangle(t).Get(n[0], n[1], n[2]);
    if (reversed)
    {
      std::swap(n[1], n[2]);
    }
    gp_XYZ p[3];
    bool   usable = true;
    for (int k = 0; k < 3 && usable; ++k)
    {
      usable = n[k] >= 1 && n[k] <= nbNodes;
      if (usable)
      {
        p[k] = mesh->Node(n[k]).XYZ();
        if (placement != nullptr)
        {
          placement->Transforms(p[k]);
        }
        usable = isUsable(p[k]);
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
      m_corners.insert(m_corners.end(), {p[k].X(), p[k].Y(), p[k].Z()});
      m_nodes.push_back(n[k] + nodeShift);
    }
    const double*         corners = &m_corners[m_corners.size() - 9];
    const TriangleCorners tri{{corners, corners + 3, corners + 6}};
    const bool            degenerate = BVHTools::IsDegenerate(tri);
    m_degenerate.push_back(degenerate ? 1 : 0);
    m_nbDegenerate += degenerate ? 1 : 0;
  }
}

void TriangleSet::reserve(const size_t nbTriangles)
{
  m_sources.reserve(nbTriangles);
  m_ids.reserve(nbTriangles);
  m_corners.reserve(9 * nbTriangles);
  m_nodes.reserve(3 * nbTriangles);
  m_degenerate.reserve(nbTriangles);
}

const double* TriangleSet::storedCorners(const int position) const
{
  const size_t stored = m_sources.empty() ? size_t(position) : size_t(m_sources[position]);
  return &m_corners[9 * stored];
}

BVH_Box<double, 3> TriangleSet::Box(const int position) const
{
  const double* c = storedCorners(position);
  BVH_Vec3d     lower, upper;
  for (int axis = 0; axis < 3; ++axis)
  {
    lower[axis] = std::min({c[axis], c[axis + 3], c[axis + 6]});
    upper[axis] = std::max({c[axis], c[axis + 3], c[axis + 6]});
  }
  return BVH_Box<double, 3>(lower, upper);
}

double TriangleSet::Center(const int position, const int axis) const
{
  const double* c = storedCorners(position);
  return 0.5 * (std::min({c[axis], c[axis + 3], c[axis + 6]}) +
                std::max({c[axis], c[axis + 3], c[axis + 6]}));
}

void TriangleSet::Swap(const int position1, const int position2)
{
  std::swap(m_sources[position1], m_sources[position2]);
  std::swap(m_ids[position1], m_ids[position2]);
}

void TriangleSet::Update()
{
  if (!IsDirty())
  {
    return;
  }
  // Corners, nodes and flags stay in insertion order while the builder reorders the
  // positions, which remember where their corners are; boxes are computed from the corners
  // when the builder asks, not stored (48 bytes per triangle). The permutation is then
  // applied in place, one cycle at a time, so that the corners are not copied, and the
  // positions are forgotten: from then on a position is where its corners are.
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
    double corners[9];
    int    nodes[3];
    std::copy_n(&m_corners[9 * size_t(start)], 9, corners);
    std::copy_n(&m_nodes[3 * size_t(start)], 3, nodes);
    const char degenerate = m_degenerate[start];
    int        target     = start;
    for (int source = m_sources[target]; source != start; source = m_sources[target])
    {
      std::copy_n(&m_corners[9 * size_t(source)], 9, &m_corners[9 * size_t(target)]);
      std::copy_n(&m_nodes[3 * size_t(source)], 3, &m_nodes[3 * size_t(target)]);
      m_degenerate[target] = m_degenerate[source];
      m_sources[target]    = target;
      target               = source;
    }
    std::copy_n(corners, 9, &m_corners[9 * size_t(target)]);
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
