// Jacobian of a triangle at one of its corners: the 2 x 2 matrix whose columns are the two
// edge vectors leaving the corner, after the triangle is laid into its own plane, together
// with its determinant and the scaled Jacobian (the determinant divided by the largest
// product of two edge lengths, normalised to 1 for the equilateral triangle).
#ifndef algoMesh_Jacobian_HeaderFile
#define algoMesh_Jacobian_HeaderFile

#include <algoMesh.hxx>

#include <ActAPI_IAlgorithm.hxx>

#include <Poly_Triangulation.hxx>
#include <gp_XY.hxx>
#include <math_Matrix.hxx>

namespace quorin
{

class algoMesh_EXPORT algoMesh_Jacobian : public ActAPI_IAlgorithm
{
  DEFINE_STANDARD_RTTIEXT(algoMesh_Jacobian, ActAPI_IAlgorithm)
public:
  //! @param[in] mesh      triangulation whose triangles are measured
  //! @param[in] notifier  progress notifier; may be null (the measure reports nothing)
  //! @param[in] plotter   imaging sink; may be null
  algoMesh_Jacobian(const Handle(Poly_Triangulation) & mesh,
                    const Handle(ActAPI_IProgressNotifier) & notifier = nullptr,
                    const Handle(ActAPI_IPlotter) & plotter           = nullptr);

  //! Lays the triangle into its own plane (first node at the origin, second on the
  //! positive X axis, third above it) and computes the Jacobian at one corner.
  //! @param[in]  triangle  1-based node indices into the mesh
  //! @param[in]  corner    0, 1 or 2: the node of the triangle the two edge vectors leave
  //! @param[out] p0, p1, p2  the planar images of the three nodes (model units)
  //! @param[out] J       2 x 2 matrix written at its lower row and column bounds; its
  //!                     columns are the edge vectors leaving the corner
  //! @param[out] det     determinant of J (model units squared); never negative at corner 0
  //! @param[out] scaled  2 det / (sqrt(3) max(c a, c b, b a)) with a = |P2 - P1|,
  //!                     b = |P0 - P2|, c = |P1 - P0|; 1 for the equilateral triangle
  //! @return false, leaving the outputs unchanged, when an edge is shorter than the
  //!         machine epsilon, when rounding makes the triangle's height imaginary, when J
  //!         has fewer than 2 rows or columns, or when the corner is not 0, 1 or 2. A node
  //!         index outside the mesh raises Standard_OutOfRange.
  bool Compute(const Poly_Triangle& triangle,
               const int            corner,
               gp_XY&               p0,
               gp_XY&               p1,
               gp_XY&               p2,
               math_Matrix&         J,
               double&              det,
               double&              scaled) const;

  //! The same for the mesh's triangle of a 1-based index.
  //! @return false for index 0 or an index above the triangle count; a negative index
  //!         raises Standard_OutOfRange from the kernel
  bool Compute(const int    triangleIndex,
               const int    corner,
               gp_XY&       p0,
               gp_XY&       p1,
               gp_XY&       p2,
               math_Matrix& J,
               double&      det,
               double&      scaled) const;

  //! Scaled Jacobian at corner 0 from the three edge lengths a = |P2 - P1|, b = |P0 - P2|,
  //! c = |P1 - P0|: the value Compute gives for corner 0, bit for bit, without the matrix.
  //! Lets callers that measure many triangles skip the per-triangle matrix.
  //! @return false when Compute would answer false for corner 0
  static bool
  ScaledJacobianAtCorner0(const double a, const double b, const double c, double& scaled);

private:
  //! Planar image of the third node, (x, h) with h >= 0; false when an edge is shorter than
  //! the machine epsilon or rounding gives a negative squared height.
  static bool layOut(const double a, const double b, const double c, double& x, double& h);

  //! 2 det / (sqrt(3) max(c a, c b, b a)).
  static double scale(const double a, const double b, const double c, const double det);

private:
  Handle(Poly_Triangulation) m_mesh;
};

} // namespace quorin

#endif
