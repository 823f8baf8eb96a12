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
  // order after it; items remember where their corners were.
  PrimitiveSet::Update();
  std::vector<double> corners(m_corners.size());
  std::vector<int>    nodes(m_nodes.size());
  std::vector<char>   degenerate(m_degenerate.size());
  for (size_t i = 0; i < m_items.size(); ++i)
  {
    const size_t source = static_cast<size_t>(m_items[i].source);
    std::copy_n(&m_corners[9 * source], 9, &corners[9 * i]);
    std::copy_n(&m_nodes[3 * source], 3, &nodes[3 * i]);
    degenerate[i]     = m_degenerate[source];
    m_items[i].source = static_cast<int>(i);
  }
  m_corners.swap(corners);
  m_nodes.swap(nodes);
  m_degenerate.swap(degenerate);
}

} // namespace BVHTools
