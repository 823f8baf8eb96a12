// Oriented bounding box: a local frame and the two corners of the box in that frame, with
// the envelope solids derived from it.
//
//   Handle(quorin::algoMesh_OBB) box = new quorin::algoMesh_OBB(placement, minCorner, maxCorner);
//   gp_Trsf      T;
//   TopoDS_Shape solid = box->BuildSolid(T); // global coordinates; T maps local to global
#ifndef algoMesh_OBB_HeaderFile
#define algoMesh_OBB_HeaderFile

#include <algoMesh.hxx>

#include <Poly_Triangulation.hxx>
#include <Standard_Transient.hxx>
#include <TopoDS_Shape.hxx>
#include <gp_Ax2.hxx>
#include <gp_Ax3.hxx>
#include <gp_Pnt.hxx>
#include <gp_Trsf.hxx>

#include <ostream>

namespace quorin
{

//! The corners are local coordinates along the placement's X, Y and main (Z) directions,
//! measured from the placement's origin, which need not be the centre of the box. Every
//! shape builder writes the local-to-global transformation (BuildTrsf) into its gp_Trsf
//! argument and returns its shape already moved to global coordinates (geometry copied).
class algoMesh_EXPORT algoMesh_OBB : public Standard_Transient
{
  DEFINE_STANDARD_RTTIEXT(algoMesh_OBB, Standard_Transient)
public:
  //! @param[in] placement  local frame; its origin is the origin of the corner coordinates
  //! @param[in] minCorner  smallest local coordinates (x0, y0, z0)
  //! @param[in] maxCorner  largest local coordinates (x1, y1, z1)
  algoMesh_OBB(const gp_Ax3& placement, const gp_Pnt& minCorner, const gp_Pnt& maxCorner);

  const gp_Ax3& Placement() const { return m_placement; }
  const gp_Pnt& MinCorner() const { return m_minCorner; }
  const gp_Pnt& MaxCorner() const { return m_maxCorner; }

  //! The transformation from placement-local coordinates to global ones.
  gp_Trsf BuildTrsf() const;

  //! The box as a solid.
  //! @param[out] T  the local-to-global transformation, always written
  //! @return a null shape when an extent is at most 1e-7 or the kernel fails
  TopoDS_Shape BuildSolid(gp_Trsf& T) const;

  //! The sphere inscribed in the box: centred at the box centre, touching its two closest
  //! faces (radius half the smallest extent).
  //! @param[out] T  the local-to-global transformation, always written
  //! @return a null shape when the kernel raises an exception while making it
  TopoDS_Shape BuildSphere(gp_Trsf& T) const;

  //! The box's axis of symmetry: the segment through the box centre along the box axis
  //! that best represents the shape's axis. Flat boxes (two extents within 5 % of the
  //! largest, the third clearly shorter) take the short side; otherwise the strictly
  //! longest side; otherwise (cubes, ties) the Z side.
  //! @param[out] P1  end at the smaller coordinate, local coordinates
  //! @param[out] P2  end at the larger coordinate, local coordinates
  void BuildMedialAxis(gp_Pnt& P1, gp_Pnt& P2) const;

  //! The cylinder around the medial axis, as long as the axis, whose volume equals the box's.
  //! @param[out] T     the local-to-global transformation, always written
  //! @param[out] axis  the cylinder's axis in local coordinates; not written on failure
  //! @return a null shape when the box is degenerate (see BuildSolid)
  TopoDS_Shape BuildEquiCylinder(gp_Trsf& T, gp_Ax2& axis) const;

  //! As above, the axis discarded.
  TopoDS_Shape BuildEquiCylinder(gp_Trsf& T) const;

  //! A cylinder on the axis of the equal-volume one whose radius minimises the sum of
  //! squared gaps between the mesh nodes and its lateral surface (particle swarm over radii
  //! 0 to 1.5 times the equal-volume radius). Prints "Optimization result: " and "Best
  //! fitness: " lines with the radius and the sum on the standard output.
  //! @param[in]  mesh  nodes in global coordinates; not modified
  //! @param[out] T     the local-to-global transformation, always written
  //! @return a null shape for a null mesh or one without nodes, and, after printing
  //!         "Cylindrical surface not found" on the standard output, when the equal-volume
  //!         cylinder cannot be made (degenerate box). A best radius of 0 makes the kernel's
  //!         cylinder maker raise Standard_DomainError, which reaches the caller.
  TopoDS_Shape BuildTightCylinder(const Handle(Poly_Triangulation) & mesh, gp_Trsf& T) const;

  //! True when the origins, main directions, X directions and both corners each differ by
  //! at most 1e-7; the Y directions are not compared. False for a null other box.
  bool IsSame(const Handle(algoMesh_OBB) & other) const;

  //! Six lines: a title, the X, Y and main directions, the two corners; numbers in the
  //! stream's current format.
  void Dump(std::ostream& out) const;

private:
  gp_Ax3 m_placement;
  gp_Pnt m_minCorner;
  gp_Pnt m_maxCorner;
};

} // namespace quorin

#endif
