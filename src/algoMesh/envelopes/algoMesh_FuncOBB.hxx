// Objective of the box optimisation: the volume of the box of a convex hull's nodes in a
// rotated frame, relative to the volume in the initial frame.
#ifndef algoMesh_FuncOBB_HeaderFile
#define algoMesh_FuncOBB_HeaderFile

#include <algoMesh.hxx>

#include <Poly_Triangulation.hxx>
#include <gp_Ax3.hxx>
#include <gp_XYZ.hxx>
#include <math_MultipleVarFunctionWithGradient.hxx>
#include <math_Vector.hxx>

#include <vector>

namespace quorin
{

//! F(a1, a2, a3) for three rotation angles in radians: the frame is the initial placement
//! turned about its own origin by a1 about the initial X axis, then a2 about the initial Y
//! axis, then a3 about the initial Z axis. With (min, max) the box of the hull nodes in that
//! frame and c_k the largest distance of a node from the nearer of the two box faces across
//! axis k,
//!
//!   F = (dx dy dz + c_x c_y c_z) / V0,
//!
//! V0 being dx dy dz in the initial frame (positive for the nodes of a solid hull). The c
//! term is 0 when on some axis every node touches one of the two faces, and grows as nodes
//! sink inside the box on all three axes. Each evaluation costs O(h) for h hull nodes; the
//! gradient is by central differences (six evaluations).
class algoMesh_EXPORT algoMesh_FuncOBB : public math_MultipleVarFunctionWithGradient
{
public:
  //! @param[in] placement  the initial frame; its origin stays fixed under every rotation
  //! @param[in] hull       nodes to bound (normally a convex hull's); at least one node.
  //!                       The nodes are read once, here.
  algoMesh_FuncOBB(const gp_Ax3& placement, const Handle(Poly_Triangulation) & hull);

  //! 3: the three angles.
  Standard_Integer NbVariables() const override;

  //! The objective at the angles X (indices X.Lower() ... X.Lower() + 2).
  //! @return true
  Standard_Boolean Value(const math_Vector& X, Standard_Real& F) override;

  //! Central differences with step 1e-4 rad.
  //! @return true
  Standard_Boolean Gradient(const math_Vector& X, math_Vector& G) override;

  //! Value and gradient together.
  //! @return true
  Standard_Boolean Values(const math_Vector& X, Standard_Real& F, math_Vector& G) override;

  //! The frame for the angles X (see the class comment).
  //! @param[out] placement  the rotated initial placement
  void Rotate(const math_Vector& X, gp_Ax3& placement) const;

  //! V0: the volume of the hull's box in the initial frame.
  double ReferenceVolume() const { return m_volume0; }

protected:
  //! Smallest and largest projection of the hull nodes (relative to the origin) on a
  //! direction.
  void projectedExtremes(const gp_XYZ& axis, double& lo, double& hi) const;

  //! The largest distance of a node from the nearer of the planes at lo and hi across a
  //! direction; 0 for no nodes.
  double deepestNode(const gp_XYZ& axis, const double lo, const double hi) const;

private:
  gp_Ax3 m_placement;
  Handle(Poly_Triangulation) m_hull;
  double m_volume0;
  //! Hull nodes minus the frame origin (which no rotation moves), one array per coordinate.
  std::vector<double> m_x, m_y, m_z;
};

} // namespace quorin

#endif
