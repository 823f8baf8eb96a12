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
    Item item;
    for (int axis = 0; axis < 3; ++axis)
    {
      const double c[3]  = {p[0].Coord(axis + 1), p[1].Coord(axis + 1), p[2].Coord(axis + 1)};
      item.box[axis]     = std::min({c[0], c[1], c[2]});
      item.box[axis + 3] = std::max({c[0], c[1], c[2]});
    }
    item.source = static_cast<int>(m_ids.size());
    m_items.push_back(item);
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
  m_items.reserve(nbTriangles);
  m_ids.reserve(nbTriangles);
  m_corners.reserve(9 * nbTriangles);
  m_nodes.reserve(3 * nbTriangles);
  m_degenerate.reserve(nbTriangles);
}

BVH_Box<double, 3> TriangleSet::Box(const int position) const
{
  const double* b = m_items[position].box;
  return BVH_Box<double, 3>(BVH_Vec3d(b[0], b[1], b[2]), BVH_Vec3d(b[3], b[4], b[5]));
}

double TriangleSet::Center(const int position, const int axis) const
{
  const double* b = m_items[position].box;
  return 0.5 * (b[axis] + b[axis + 3]);
}

void TriangleSet::Swap(const int position1, const int position2)
{
  std::swap(m_items[position1], m_items[position2]);
  std::swap(m_ids[position1], m_ids[position2]);
}

void TriangleSet::Update()
{
  if (!IsDirty())
  {
    return;
  }
  // Corners, nodes and flags are indexed by insertion order before the first build and by set
  // order after it; items remember where their corners were. The permutation is applied in
  // place, one cycle at a time, so that the build does not hold a second copy of the
  // corners (84 bytes per triangle).
  PrimitiveSet::Update();
  const int nbItems = static_cast<int>(m_items.size());
  for (int start = 0; start < nbItems; ++start)
  {
    if (m_items[start].source == start)
    {
      continue;
    }
    double corners[9];
    int    nodes[3];
    std::copy_n(&m_corners[9 * size_t(start)], 9, corners);
    std::copy_n(&m_nodes[3 * size_t(start)], 3, nodes);
    const char degenerate = m_degenerate[start];
    int        target     = start;
    for (int source = m_items[target].source; source != start; source = m_items[target].source)
    {
      std::copy_n(&m_corners[9 * size_t(source)], 9, &m_corners[9 * size_t(target)]);
      std::copy_n(&m_nodes[3 * size_t(source)], 3, &m_nodes[3 * size_t(target)]);
      m_degenerate[target]   = m_degenerate[source];
      m_items[target].source = target;
      target                 = source;
    }
    std::copy_n(corners, 9, &m_corners[9 * size_t(target)]);
    std::copy_n(nodes, 3, &m_nodes[3 * size_t(target)]);
    m_degenerate[target]   = degenerate;
    m_items[target].source = target;
  }
}

} // namespace BVHTools
