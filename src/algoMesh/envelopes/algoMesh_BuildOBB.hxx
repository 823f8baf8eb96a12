// Oriented bounding box of a shape's triangulation.
//
//   quorin::algoMesh_BuildOBB builder(shape, quorin::algoMesh_BuildOBB::Mode_FromMesh, true,
//                                     progress, nullptr);
//   if (builder.Perform())
//     ... builder.GetResult()->Placement(), MinCorner(), MaxCorner() ...
#ifndef algoMesh_BuildOBB_HeaderFile
#define algoMesh_BuildOBB_HeaderFile

#include <algoMesh.hxx>
#include <algoMesh_Conglomerate.hxx>
#include <algoMesh_OBB.hxx>

#include <ActAPI_IAlgorithm.hxx>

#include <TopoDS_Shape.hxx>
#include <gp_Dir.hxx>
#include <gp_Pnt.hxx>

#include <cstdint>

namespace quorin
{

//! Builds an oriented bounding box of the welded triangulation of a shape's faces. The box
//! axes are principal axes, either of the mesh nodes (eigenvectors of their covariance) or
//! of the B-rep shape (axes of inertia); the box extents are the extremes of the mesh nodes
//! along those axes. The placement's origin is the centre of the nodes (or the centre of
//! mass), not the box centre, so the corners are in general not symmetric about 0.
//! Optionally the box is then improved by algoMesh_OptimizeOBB.
class algoMesh_EXPORT algoMesh_BuildOBB : public ActAPI_IAlgorithm
{
  DEFINE_STANDARD_RTTIEXT(algoMesh_BuildOBB, ActAPI_IAlgorithm)
public:
  //! Where the box axes come from.
  enum Mode
  {
    Mode_FromMesh  = 0, //!< principal axes of the mesh nodes
    Mode_FromShape = 1  //!< principal axes of inertia of the shape (any non-zero value)
  };

public:
  //! Stores the inputs and welds the shape's face triangulations into one mesh at once
  //! (tolerance 1e-7); faces without triangulation contribute nothing.
  //! @param[in] shape     the shape, meshed beforehand; copied
  //! @param[in] mode      source of the box axes
  //! @param[in] optimize  run algoMesh_OptimizeOBB on the principal-axes box
  //! @param[in] progress  receives the messages; may be empty
  //! @param[in] plotter   imaging sink, only carried; may be empty
  algoMesh_BuildOBB(const TopoDS_Shape&  shape,
                    const Mode           mode,
                    const bool           optimize,
                    ActAPI_ProgressEntry progress = ActAPI_ProgressEntry(),
                    ActAPI_PlotterEntry  plotter  = ActAPI_PlotterEntry());

  //! Computes the box; a previous result is dropped first.
  //! @return false, with the error "Cannot build an OBB without triangulation.", when the
  //!         welded mesh is null or has no nodes, and with an error naming the node when a
  //!         node has an infinite or NaN coordinate. With Mode_FromShape, shape properties
  //!         that the kernel cannot compute, or that have no mass (no solid, no face area
  //!         and no edge length), give the warning "Cannot calculate properties." and
  //!         the info "The OBB will be computed from mesh.", and the mesh axes are used. A
  //!         failed optimisation keeps the principal-axes box (its reason is reported by
  //!         the optimiser).
  bool Perform();

  //! The box of the last successful Perform; null before it or after a failure.
  const Handle(algoMesh_OBB) & GetResult() const { return m_result; }

  //! The welded mesh whose nodes bound the box; null when the shape has no triangles.
  const Handle(Poly_Triangulation) & GetMesh() const { return m_conglomerate.GetPlain(); }

  //! The axis mode as given.
  Mode GetMode() const { return m_mode == Mode_FromMesh ? Mode_FromMesh : Mode_FromShape; }

protected:
  //! Centre and principal axes of the mesh nodes: axis1 of greatest spread, axis3 of least,
  //! forming a right-handed frame.
  void computeMeshAxes(gp_Pnt& centre, gp_Dir& axis1, gp_Dir& axis2, gp_Dir& axis3) const;

  //! Centre of mass and principal axes of inertia of the shape, from its volume, else
  //! surface, else linear properties. False, with a warning, when the kernel fails or all
  //! three have no mass. Faces without a surface are integrated over their triangulation.
  bool computeShapeAxes(gp_Pnt& centre, gp_Dir& axis1, gp_Dir& axis2, gp_Dir& axis3) const;

  //! Index (1-based) of the first node with an infinite or NaN coordinate, or 0.
  int findNonFiniteNode() const;

private:
  TopoDS_Shape          m_shape;
  int32_t               m_mode;
  bool                  m_optimize;
  algoMesh_Conglomerate m_conglomerate;
  Handle(algoMesh_OBB) m_result;
};

} // namespace quorin

#endif
