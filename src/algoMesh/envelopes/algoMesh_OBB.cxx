// Oriented bounding box record and the envelope solids derived from it: the box, the
// inscribed sphere, the cylinder of equal volume around the box's medial axis, and a
// cylinder on that axis whose radius is fitted to a mesh by particle swarm optimisation
// (the kernel's math_PSO; each evaluation projects every node, so the fit costs
// O(particles x iterations x nodes)). Solids are made in local coordinates by the kernel's
// primitive makers and then moved into place.
#include <algoMesh_OBB.hxx>

#include <BRepBuilderAPI_Transform.hxx>
#include <BRepGProp.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepPrimAPI_MakeSphere.hxx>
#include <BRepTools.hxx>
#include <BRep_Tool.hxx>
#include <GProp_GProps.hxx>
#include <Geom_CylindricalSurface.hxx>
#include <ShapeAnalysis_Surface.hxx>
#include <Standard_Failure.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <math_MultipleVarFunction.hxx>
#include <math_PSO.hxx>

#include <algorithm>
#include <cmath>
#include <iostream>

using namespace quorin;

IMPLEMENT_STANDARD_RTTIEXT(quorin::algoMesh_OBB, Standard_Transient)

namespace
{
// Relative margin within which a side counts as as long as the longest one.
constexpr double THE_NEAR_MAX = 0.05;

// Sum of squared gaps between the mesh nodes and a cylindrical surface of radius r.
class SquaredDistFunc : public math_MultipleVarFunction
{
public:
  SquaredDistFunc(const Handle(Poly_Triangulation) & mesh,
                  const Handle(Geom_CylindricalSurface) & surface)
      : m_mesh(mesh), m_surface(surface)
  {
  }

  Standard_Integer NbVariables() const override { return 1; }

  Standard_Boolean Value(const math_Vector& X, Standard_Real& F) override
  {
    m_surface->SetRadius(X(X.Lower()));
    // A fresh analyser per radius: it caches the surface's adaptor and bounds.
    ShapeAnalysis_Surface analysis(m_surface);
    F = 0.0;
    for (int i = 1; i <= m_mesh->NbNodes(); ++i)
    {
      analysis.ValueOfUV(m_mesh->Node(i), 1e-6);
      F += analysis.Gap() * analysis.Gap();
    }
    return Standard_True;
  }

private:
  Handle(Poly_Triangulation) m_mesh;
  Handle(Geom_CylindricalSurface) m_surface;
};

TopoDS_Shape moved(const TopoDS_Shape& shape, const gp_Trsf& T)
{
  return BRepBuilderAPI_Transform(shape, T, Standard_True).Shape();
}
} // namespace

algoMesh_OBB::algoMesh_OBB(const gp_Ax3& placement,
                           const gp_Pnt& minCorner,
                           const gp_Pnt& maxCorner)
    : m_placement(placement), m_minCorner(minCorner), m_maxCorner(maxCorner)
{
}

gp_Trsf algoMesh_OBB::BuildTrsf() const
{
  // SetTransformation(ax3) maps global coordinates into the frame; its inverse places
  // local coordinates into the world.
  gp_Trsf T;
  T.SetTransformation(m_placement);
  T.Invert();
  return T;
}

TopoDS_Shape algoMesh_OBB::BuildSolid(gp_Trsf& T) const
{
  T                    = BuildTrsf();
  const gp_XYZ extents = m_maxCorner.XYZ() - m_minCorner.XYZ();
  if (extents.X() <= algoMesh_Tolerance || extents.Y() <= algoMesh_Tolerance ||
      extents.Z() <= algoMesh_Tolerance)
  {
    return TopoDS_Shape();
  }
  try
  {
    return moved(BRepPrimAPI_MakeBox(m_minCorner, m_maxCorner).Shape(), T);
  }
  catch (const Standard_Failure&)
  {
    return TopoDS_Shape();
  }
}

TopoDS_Shape algoMesh_OBB::BuildSphere(gp_Trsf& T) const
{
  T                    = BuildTrsf();
  const gp_XYZ extents = m_maxCorner.XYZ() - m_minCorner.XYZ();
  const gp_Pnt centre  = (m_minCorner.XYZ() + m_maxCorner.XYZ()) * 0.5;
  const double radius =
      0.5 * std::min({std::abs(extents.X()), std::abs(extents.Y()), std::abs(extents.Z())});
  try
  {
    return moved(BRepPrimAPI_MakeSphere(centre, radius).Shape(), T);
  }
  catch (const Standard_Failure&)
  {
    return TopoDS_Shape();
  }
}

void algoMesh_OBB::BuildMedialAxis(gp_Pnt& P1, gp_Pnt& P2) const
{
  const gp_XYZ c  = (m_minCorner.XYZ() + m_maxCorner.XYZ()) * 0.5;
  const double x0 = m_minCorner.X(), y0 = m_minCorner.Y(), z0 = m_minCorner.Z();
  const double x1 = m_maxCorner.X(), y1 = m_maxCorner.Y(), z1 = m_maxCorner.Z();
  const double LX = std::abs(x1 - x0), LY = std::abs(y1 - y0), LZ = std::abs(z1 - z0);
  const double M = std::max({LX, LY, LZ});

  const auto nearMax   = [M](const double L) { return M - L < THE_NEAR_MAX * M; };
  const auto isShorter = [M](const double L) { return L < (1.0 - THE_NEAR_MAX) * M && L != 0.0; };

  enum class Axis
  {
    X,
    Y,
    Z
  } axis;
  if (nearMax(LX) && nearMax(LZ) && isShorter(LY))
  {
    axis = Axis::Y; // flat: the axis crosses the two long sides
  }
  else if (nearMax(LX) && nearMax(LY) && isShorter(LZ))
  {
    axis = Axis::Z;
  }
  else if (nearMax(LZ) && nearMax(LY) && isShorter(LX))
  {
    axis = Axis::X;
  }
  else if (LY > LX && LY > LZ)
  {
    axis = Axis::Y; // elongated: the axis is the longest side
  }
  else if (LX > LY && LX > LZ)
  {
    axis = Axis::X;
  }
  else
  {
    axis = Axis::Z; // cubes and ties not settled above
  }

  switch (axis)
  {
  case Axis::X:
    P1.SetCoord(x0, c.Y(), c.Z());
    P2.SetCoord(x1, c.Y(), c.Z());
    break;
  case Axis::Y:
    P1.SetCoord(c.X(), y0, c.Z());
    P2.SetCoord(c.X(), y1, c.Z());
    break;
  case Axis::Z:
    P1.SetCoord(c.X(), c.Y(), z0);
    P2.SetCoord(c.X(), c.Y(), z1);
    break;
  }
}

TopoDS_Shape algoMesh_OBB::BuildEquiCylinder(gp_Trsf& T, gp_Ax2& axis) const
{
  // 1. The axis segment and its length.
  gp_Pnt P1, P2;
  BuildMedialAxis(P1, P2);
  const double H = P1.Distance(P2);

  // 2. The box, for its volume; none for a degenerate box.
  const TopoDS_Shape box = BuildSolid(T);
  if (box.IsNull())
  {
    return TopoDS_Shape();
  }

  // 3. The radius that gives the cylinder the box's volume.
  GProp_GProps props;
  BRepGProp::VolumeProperties(box, props);
  const double R = std::sqrt(props.Mass() / (H * M_PI));

  // 4. The cylinder along the segment, moved into place.
  axis = gp_Ax2(P1, gp_Dir(gp_Vec(P1, P2)));
  return moved(BRepPrimAPI_MakeCylinder(axis, R, H).Shape(), T);
}

TopoDS_Shape algoMesh_OBB::BuildEquiCylinder(gp_Trsf& T) const
{
  gp_Ax2 axis;
  return BuildEquiCylinder(T, axis);
}

TopoDS_Shape algoMesh_OBB::BuildTightCylinder(const Handle(Poly_Triangulation) & mesh,
                                              gp_Trsf& T) const
{
  // 1. The equal-volume cylinder and its local axis; nothing to fit without nodes.
  if (mesh.IsNull() || mesh->NbNodes() == 0)
  {
    T = BuildTrsf();
    return TopoDS_Shape();
  }
  gp_Ax2             axis;
  const TopoDS_Shape equi = BuildEquiCylinder(T, axis);

  // 2. Its lateral surface, already in global coordinates, and the surface's height.
  Handle(Geom_CylindricalSurface) surface;
  double uMin = 0.0, uMax = 0.0, vMin = 0.0, vMax = 0.0;
  for (TopExp_Explorer faces(equi, TopAbs_FACE); faces.More() && surface.IsNull(); faces.Next())
  {
    const TopoDS_Face& face = TopoDS::Face(faces.Current());
    surface                 = Handle(Geom_CylindricalSurface)::DownCast(BRep_Tool::Surface(face));
    if (!surface.IsNull())
    {
      BRepTools::UVBounds(face, uMin, uMax, vMin, vMax);
    }
  }
  if (surface.IsNull())
  {
    std::cout << "Cylindrical surface not found" << std::endl;
    return TopoDS_Shape();
  }

  // 3. Fit the radius to the mesh nodes over [0, 1.5 R] with a particle swarm.
  const double    upper = 1.5 * surface->Radius();
  SquaredDistFunc function(mesh, Handle(Geom_CylindricalSurface)::DownCast(surface->Copy()));
  math_Vector     lower(1, 1, 0.0), upperBound(1, 1, upper), steps(1, 1, 0.01 * upper);
  math_PSO        swarm(&function, lower, upperBound, steps, 32, 100);
  double          bestValue = 0.0;
  math_Vector     best(1, 1, 0.0);
  swarm.Perform(steps, bestValue, best, 100);
  std::cout << "Optimization result: " << best(1) << std::endl;
  std::cout << "Best fitness: " << bestValue << std::endl;

  // 4. The fitted cylinder, as high as the equal-volume one, moved into place.
  return moved(BRepPrimAPI_MakeCylinder(axis, best(1), vMax - vMin).Shape(), T);
}

bool algoMesh_OBB::IsSame(const Handle(algoMesh_OBB) & other) const
{
  if (other.IsNull())
  {
    return false;
  }
  const auto close = [](const gp_XYZ& a, const gp_XYZ& b)
  { return (a - b).Modulus() <= algoMesh_Tolerance; };
  const gp_Ax3& p = other->m_placement;
  return close(m_placement.Location().XYZ(), p.Location().XYZ()) &&
         close(m_placement.Direction().XYZ(), p.Direction().XYZ()) &&
         close(m_placement.XDirection().XYZ(), p.XDirection().XYZ()) &&
         close(m_minCorner.XYZ(), other->m_minCorner.XYZ()) &&
         close(m_maxCorner.XYZ(), other->m_maxCorner.XYZ());
}

void algoMesh_OBB::Dump(std::ostream& out) const
{
  const gp_Dir& X = m_placement.XDirection();
  const gp_Dir& Y = m_placement.YDirection();
  const gp_Dir& Z = m_placement.Direction();
  out << "\t OBB:\n";
  out << "\t\t Placement (OX) = <" << X.X() << " " << X.Y() << " " << X.Z() << ">\n";
  out << "\t\t Placement (OY) = <" << Y.X() << " " << Y.Y() << " " << Y.Z() << ">\n";
  out << "\t\t Placement (OZ) = <" << Z.X() << " " << Z.Y() << " " << Z.Z() << ">\n";
  out << "\t\t Min corner = <" << m_minCorner.X() << ", " << m_minCorner.Y() << ", "
      << m_minCorner.Z() << ">\n";
  out << "\t\t Max corner = <" << m_maxCorner.X() << ", " << m_maxCorner.Y() << ", "
      << m_maxCorner.Z() << ">\n";
}
