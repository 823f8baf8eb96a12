// Decimation by VTK's topology-aware vertex removal.
#ifndef algoMesh_VTKDecimatePro_HeaderFile
#define algoMesh_VTKDecimatePro_HeaderFile

#include <algoMesh_Decimate.hxx>

namespace quorin
{

//! Decimates with vtkDecimatePro (vertex removal with re-triangulation of the hole, ordered
//! by distance to the average plane; Schroeder, Zarge and Lorensen, "Decimation of Triangle
//! Meshes", SIGGRAPH 1992). The mesh is converted to VTK poly data, cleaned (coincident
//! points merged), decimated and converted back. All six option values are used.
class algoMesh_EXPORT algoMesh_VTKDecimatePro : public algoMesh_Decimate
{
public:
  //! Copies FeatureAngle, SplitAngle, Reduction, PreserveTopology, Splitting and
  //! DeleteBoundaryVertices; the markers are not looked at.
  explicit algoMesh_VTKDecimatePro(const algoMesh_DecimationOptions& options);

  //! Default options with the six stored values, all six marked as given.
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
  double m_featureAngle;
  double m_splitAngle;
  double m_reduction;
  bool   m_preserveTopology;
  bool   m_splitting;
  bool   m_deleteBoundaryVertices;
};

} // namespace quorin

#endif
