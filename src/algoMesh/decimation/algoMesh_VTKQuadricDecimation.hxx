// Decimation by quadric edge collapse.
#ifndef algoMesh_VTKQuadricDecimation_HeaderFile
#define algoMesh_VTKQuadricDecimation_HeaderFile

#include <algoMesh_Decimate.hxx>

namespace quorin
{

//! Decimates with the library's quadric edge-collapse filter (algoMesh_vtkQuadricDecimation):
//! the mesh is converted to VTK poly data with coincident nodes merged (algoMesh_DecimationInput,
//! the same poly data as vtkCleanPolyData gives), decimated with geometry alone driving the
//! collapse order, and converted back. Only Reduction is used.
class algoMesh_EXPORT algoMesh_VTKQuadricDecimation : public algoMesh_Decimate
{
public:
  //! Copies Reduction; the other options are ignored.
  explicit algoMesh_VTKQuadricDecimation(const algoMesh_DecimationOptions& options);

  //! Default options with Reduction = the stored reduction, marked as given.
  algoMesh_DecimationOptions GetOptions() const override;

  //! Runs the pipeline; false when a conversion fails. Reductions outside 0 .. 100 percent
  //! are clamped by the filter.
  bool perform(const Handle(Poly_Triangulation) & input,
               Handle(Poly_Triangulation) & output) const override;

  //! The pipeline with each filter reporting on its share of `progress`; false when a
  //! conversion fails or the run was cancelled.
  bool performWithProgress(const Handle(Poly_Triangulation) & input,
                           Handle(Poly_Triangulation) & output,
                           algoMesh_ProgressScope& progress) const override;

private:
  double m_reduction;
};

} // namespace quorin

#endif
