// Oriented bounding box from principal axes. The axes are the eigenvectors of the
// covariance matrix of the mesh nodes (principal component analysis; Jacobi rotations on
// the 3x3 matrix) or the principal axes of inertia of the B-rep shape (the kernel's global
// properties); the box is the extent of the nodes along them. Cost: O(n) in the welded
// nodes for the mesh axes and the corners, plus the shape's property integration in
// Mode_FromShape and the optimiser's cost when asked for.
#include <algoMesh_BuildOBB.hxx>

#include <algoMesh_OptimizeOBB.hxx>
#include <algoMesh_UtilsOBB.hxx>

#include <BRepGProp.hxx>
#include <GProp_GProps.hxx>
#include <GProp_PrincipalProps.hxx>
#include <Standard_Failure.hxx>
#include <gp_Ax3.hxx>
#include <math_Jacobi.hxx>
#include <math_Matrix.hxx>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

using namespace quorin;

IMPLEMENT_STANDARD_RTTIEXT(quorin::algoMesh_BuildOBB, ActAPI_IAlgorithm)

namespace
{
// Integration tolerance of the shape's volume and surface properties.
constexpr double THE_PROPS_TOLERANCE = 1e-7;

// Flips a direction so that its component of largest magnitude (the first on ties) is
// positive, which makes the eigen-solver's arbitrary sign irrelevant.
gp_XYZ withPositiveLead(const gp_XYZ& v)
{
  int lead = 1;
  for (int k = 2; k <= 3; ++k)
  {
    if (std::abs(v.Coord(k)) > std::abs(v.Coord(lead)))
    {
      lead = k;
    }
  }
  return v.Coord(lead) < 0.0 ? v.Reversed() : v;
}
} // namespace

algoMesh_BuildOBB::algoMesh_BuildOBB(const TopoDS_Shape&  shape,
                                     const Mode           mode,
                                     const bool           optimize,
                                     ActAPI_ProgressEntry progress,
                                     ActAPI_PlotterEntry  plotter)
    : ActAPI_IAlgorithm(progress, plotter), m_shape(shape), m_mode(static_cast<int32_t>(mode)),
      m_optimize(optimize)
{
  m_conglomerate.Build(m_shape, algoMesh_Conglomerate::Mode_Plain, false);
}

bool algoMesh_BuildOBB::Perform()
{
  m_result.Nullify();
  const Handle(Poly_Triangulation)& mesh = m_conglomerate.GetPlain();

  // 1. The box is the extent of the welded nodes: without them there is nothing to bound.
  if (mesh.IsNull() || mesh->NbNodes() == 0)
  {
    ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Error);
    message << "Cannot build an OBB without triangulation.";
    m_progress.SendLogMessage(message);
    return false;
  }
  if (const int bad = findNonFiniteNode())
  {
    ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Error);
    message << "Cannot build an OBB: node %1 has a non-finite coordinate." << bad;
    m_progress.SendLogMessage(message);
    return false;
  }

  // 2. Centre and principal axes, from the shape's inertia or from the nodes.
  gp_Pnt centre;
  gp_Dir axis1, axis2, axis3;
  if (m_mode == Mode_FromMesh || !computeShapeAxes(centre, axis1, axis2, axis3))
  {
    if (m_mode != Mode_FromMesh)
    {
      ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Info);
      message << "The OBB will be computed from mesh.";
      m_progress.SendLogMessage(message);
    }
    computeMeshAxes(centre, axis1, axis2, axis3);
  }

  // 3. Least spread along Z, greatest along X; the kernel makes X orthogonal to Z and
  //    derives Y = Z x X, which is the second axis up to its sign.
  const gp_Ax3 placement(centre, axis3, axis1);

  // 4. Corners: the extremes of the nodes in that frame.
  gp_Pnt minCorner, maxCorner;
  algoMesh_UtilsOBB::BuildCorners(placement, mesh, minCorner, maxCorner);

  // 5. The principal-axes box.
  m_result = new algoMesh_OBB(placement, minCorner, maxCorner);

  // 6. Optionally turn it to a smaller box; a failed optimisation keeps this one.
  if (m_optimize)
  {
    const Handle(algoMesh_OptimizeOBB) optimizer =
        new algoMesh_OptimizeOBB(m_shape, mesh, m_result, m_progress, m_plotter);
    if (optimizer->Perform())
    {
      m_result = optimizer->GetResult();
    }
  }
  return true;
}

void algoMesh_BuildOBB::computeMeshAxes(gp_Pnt& centre,
                                        gp_Dir& axis1,
                                        gp_Dir& axis2,
                                        gp_Dir& axis3) const
{
  const Handle(Poly_Triangulation)& mesh = m_conglomerate.GetPlain();
  const int nbNodes                      = mesh->NbNodes();

  // Mean first, then the covariance about it: two passes keep the sums small.
  gp_XYZ mean(0.0, 0.0, 0.0);
  for (int i = 1; i <= nbNodes; ++i)
  {
    mean += mesh->Node(i).XYZ();
  }
  mean /= nbNodes;

  math_Matrix covariance(1, 3, 1, 3, 0.0);
  for (int i = 1; i <= nbNodes; ++i)
  {
    const gp_XYZ d = mesh->Node(i).XYZ() - mean;
    for (int r = 1; r <= 3; ++r)
    {
      for (int c = r; c <= 3; ++c)
      {
        covariance(r, c) += d.Coord(r) * d.Coord(c);
      }
    }
  }
  for (int r = 1; r <= 3; ++r)
  {
    for (int c = r; c <= 3; ++c)
    {
      covariance(r, c) /= nbNodes;
      covariance(c, r) = covariance(r, c);
    }
  }

  // Unit eigenvectors with a fixed sign, ordered by decreasing eigenvalue; equal
  // eigenvalues keep the solver's order.
  const math_Jacobi jacobi(covariance);
  struct Axis
  {
    double value;
    gp_XYZ vector;
  };
  std::array<Axis, 3> axes;
  for (int k = 1; k <= 3; ++k)
  {
    const gp_XYZ v(jacobi.Vectors()(1, k), jacobi.Vectors()(2, k), jacobi.Vectors()(3, k));
    axes[k - 1] = {jacobi.Value(k), withPositiveLead(v)};
  }
  std::stable_sort(axes.begin(), axes.end(),
                   [](const Axis& a, const Axis& b) { return a.value > b.value; });

  // A left-handed triple becomes right-handed by exchanging the two larger axes.
  if (axes[0].vector.Crossed(axes[1].vector).Dot(axes[2].vector) < 0.0)
  {
    std::swap(axes[0], axes[1]);
  }

  centre = gp_Pnt(mean);
  axis1  = gp_Dir(axes[0].vector);
  axis2  = gp_Dir(axes[1].vector);
  axis3  = gp_Dir(axes[2].vector);
}

bool algoMesh_BuildOBB::computeShapeAxes(gp_Pnt& centre,
                                         gp_Dir& axis1,
                                         gp_Dir& axis2,
                                         gp_Dir& axis3) const
{
  bool done = false;
  try
  {
    // Solids give volume properties; shells and faces only surface ones; wires only
    // linear ones. A reversed solid has a negative volume and also falls through.
    GProp_GProps props;
    BRepGProp::VolumeProperties(m_shape, props, THE_PROPS_TOLERANCE, true);
    if (props.Mass() < std::numeric_limits<double>::min())
    {
      BRepGProp::SurfaceProperties(m_shape, props, THE_PROPS_TOLERANCE);
    }
    if (props.Mass() < std::numeric_limits<double>::min())
    {
      BRepGProp::LinearProperties(m_shape, props);
    }

    // Faces that carry only a triangulation (read from mesh files) have no surface to
    // integrate; the kernel then answers a zero mass with a meaningless centre and axes,
    // which is no better than a failure.
    if (props.Mass() >= std::numeric_limits<double>::min())
    {
      // The kernel's first axis belongs to the largest moment of inertia, i.e. the
      // direction of least spread, which becomes the box's Z.
      const GProp_PrincipalProps principal = props.PrincipalProperties();
      centre                               = props.CentreOfMass();
      axis1                                = gp_Dir(principal.ThirdAxisOfInertia());
      axis2                                = gp_Dir(principal.SecondAxisOfInertia().Reversed());
      axis3                                = gp_Dir(principal.FirstAxisOfInertia());
      done                                 = true;
    }
  }
  catch (const Standard_Failure&)
  {
    done = false;
  }
  if (!done)
  {
    ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Warning);
    message << "Cannot calculate properties.";
    m_progress.SendLogMessage(message);
  }
  return done;
}

int algoMesh_BuildOBB::findNonFiniteNode() const
{
  const Handle(Poly_Triangulation)& mesh = m_conglomerate.GetPlain();
  for (int i = 1; i <= mesh->NbNodes(); ++i)
  {
    const gp_Pnt p = mesh->Node(i);
    if (!std::isfinite(p.X()) || !std::isfinite(p.Y()) || !std::isfinite(p.Z()))
    {
      return i;
    }
  }
  return 0;
}
