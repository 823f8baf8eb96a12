// Closes the holes of the mesh a B-rep shape carries: the face triangulations (less the
// faces the host leaves out) are welded into one mesh and healed by VTK's hole filling,
// orientation and cleaning pipeline.
//
//   quorin::algoMesh_FillHoles filler(shape, facesToSkip, 5.0, progress, {});
//   if (filler.Perform())
//     show(filler.GetResult());
#ifndef algoMesh_FillHoles_HeaderFile
#define algoMesh_FillHoles_HeaderFile

#include <algoMesh.hxx>
#include <algoMesh_FaceSelection.hxx>

#include <ActAPI_IAlgorithm.hxx>

#include <Poly_Triangulation.hxx>
#include <TopoDS_Shape.hxx>

namespace quorin
{

class algoMesh_EXPORT algoMesh_FillHoles : public ActAPI_IAlgorithm
{
  DEFINE_STANDARD_RTTIEXT(algoMesh_FillHoles, ActAPI_IAlgorithm)
public:
  //! Faces compared by underlying face, location and orientation.
  typedef algoMesh_FaceSelection::FaceMap ShapeMap;

public:
  //! Keeps copies of the shape and of the map, so the caller may drop its own.
  //! @param[in] shape        the shape whose faces carry triangulations (mesh it first).
  //! @param[in] facesToSkip  faces whose triangulations are left out of the mesh.
  //! @param[in] holeSize     largest hole to close, as the radius of its bounding sphere in
  //!                         model units; 0 closes nothing (the mesh is only oriented and
  //!                         cleaned).
  //! @param[in] progress     receives the messages; may be empty.
  //! @param[in] plotter      imaging sink; may be empty.
  algoMesh_FillHoles(const TopoDS_Shape&  shape,
                     const ShapeMap&      facesToSkip,
                     const double         holeSize,
                     ActAPI_ProgressEntry progress,
                     ActAPI_PlotterEntry  plotter);

  //! Welds the triangulations of the faces not left out (tolerance 1e-7, each face placed
  //! by its location, reversed faces turned over) and runs the hole filling pipeline of
  //! algoMesh_Heal::DoVTK on the welded mesh. May be called again; the result is replaced
  //! only when the answer is true.
  //! @return false with "No mesh was detected." (error) when no face outside the map
  //!         carries a triangle, or with "The hole size must be a number." (error) for a
  //!         NaN hole size; false without a message when the healed mesh has no triangle.
  //!         VTK clamps a negative hole size to 0: nothing is filled.
  bool Perform();

  //! The welded mesh with its holes closed; null before a successful Perform.
  const Handle(Poly_Triangulation) & GetResult() const { return m_result; }

  //! The hole size given at construction.
  double GetHoleSize() const { return m_holeSize; }

private:
  TopoDS_Shape m_shape;
  ShapeMap     m_facesToSkip;
  double       m_holeSize;
  Handle(Poly_Triangulation) m_result;
};

DEFINE_STANDARD_HANDLE(algoMesh_FillHoles, ActAPI_IAlgorithm)

} // namespace quorin

#endif
