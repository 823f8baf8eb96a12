// Jacobian of a triangle at a corner. The triangle is laid into its own plane from its
// three edge lengths alone (law of cosines for the abscissa of the third node, Pythagoras
// for its height), so the measure does not depend on the triangle's placement in space.
// Constant time per call.
#include <algoMesh_Jacobian.hxx>

#include <algorithm>
#include <cfloat>
#include <cmath>

using namespace quorin;

IMPLEMENT_STANDARD_RTTIEXT(quorin::algoMesh_Jacobian, ActAPI_IAlgorithm)

algoMesh_Jacobian::algoMesh_Jacobian(const Handle(Poly_Triangulation) & mesh,
                                     const Handle(ActAPI_IProgressNotifier) & notifier,
                                     const Handle(ActAPI_IPlotter) & plotter)
    : ActAPI_IAlgorithm(notifier, plotter), m_mesh(mesh)
{
}

bool algoMesh_Jacobian::Compute(const Poly_Triangle& triangle,
                                const int            corner,
                                gp_XY&               p0,
                                gp_XY&               p1,
                                gp_XY&               p2,
                                math_Matrix&         J,
                                double&              det,
                                double&              scaled) const
{
  int n1 = 0, n2 = 0, n3 = 0;
  triangle.Get(n1, n2, n3);
  const gp_XYZ P0 = m_mesh->Node(n1).XYZ();
  const gp_XYZ P1 = m_mesh->Node(n2).XYZ();
  const gp_XYZ P2 = m_mesh->Node(n3).XYZ();
  const double a  = (P2 - P1).Modulus();
  const double b  = (P0 - P2).Modulus();
  const double c  = (P1 - P0).Modulus();

  double x = 0.0, h = 0.0;
  if (!layOut(a, b, c, x, h))
  {
    return false;
  }
  if (J.RowNumber() < 2 || J.ColNumber() < 2)
  {
    return false;
  }
  // Columns: the two edge vectors leaving the corner, in the triangle's own frame.
  double j11 = 0.0, j12 = 0.0, j21 = 0.0, j22 = 0.0;
  switch (corner)
  {
  case 0:
    j11 = c, j12 = x, j21 = 0.0, j22 = h;
    break;
  case 1:
    j11 = x - c, j12 = -c, j21 = h, j22 = 0.0;
    break;
  case 2:
    j11 = -x, j12 = c - x, j21 = -h, j22 = -h;
    break;
  default:
    return false;
  }
  const int r     = J.LowerRow();
  const int k     = J.LowerCol();
  J(r, k)         = j11;
  J(r, k + 1)     = j12;
  J(r + 1, k)     = j21;
  J(r + 1, k + 1) = j22;

  p0.SetCoord(0.0, 0.0);
  p1.SetCoord(c, 0.0);
  p2.SetCoord(x, h);

  det    = J(r, k) * J(r + 1, k + 1) - J(r, k + 1) * J(r + 1, k);
  scaled = scale(a, b, c, det);
  return true;
}

bool algoMesh_Jacobian::Compute(const int    triangleIndex,
                                const int    corner,
                                gp_XY&       p0,
                                gp_XY&       p1,
                                gp_XY&       p2,
                                math_Matrix& J,
                                double&      det,
                                double&      scaled) const
{
  if (triangleIndex == 0 || triangleIndex > m_mesh->NbTriangles())
  {
    return false;
  }
  return Compute(m_mesh->Triangle(triangleIndex), corner, p0, p1, p2, J, det, scaled);
}

bool algoMesh_Jacobian::ScaledJacobianAtCorner0(const double a,
                                                const double b,
                                                const double c,
                                                double&      scaled)
{
  double x = 0.0, h = 0.0;
  if (!layOut(a, b, c, x, h))
  {
    return false;
  }
  // The corner-0 matrix is [c x; 0 h]; its determinant is written out as Compute forms it
  // so that both give the same bits.
  scaled = scale(a, b, c, c * h - x * 0.0);
  return true;
}

bool algoMesh_Jacobian::layOut(const double a, const double b, const double c, double& x, double& h)
{
  if (a < DBL_EPSILON || b < DBL_EPSILON || c < DBL_EPSILON)
  {
    return false;
  }
  x               = (b * b - a * a + c * c) / (2.0 * c);
  const double h2 = b * b - x * x;
  if (h2 < 0.0)
  {
    return false;
  }
  h = std::sqrt(h2);
  return true;
}

double algoMesh_Jacobian::scale(const double a, const double b, const double c, const double det)
{
  return 2.0 * det / (std::sqrt(3.0) * std::max({c * a, c * b, b * a}));
}
