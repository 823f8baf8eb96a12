// vtkDecimatePro run on a kernel mesh: convert, clean, decimate, convert back.
// Cost: that of vtkDecimatePro, O(n log n) for n triangles, plus linear conversions.
#include <algoMesh_VTKDecimatePro.hxx>

#include <algoMesh_Convert.hxx>
#include <algoMesh_VTKProgress.pxx>

#include <vtkCleanPolyData.h>
#include <vtkDecimatePro.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

namespace quorin
{

namespace
{
// Shares of the progress: conversion, cleaning, decimation; conversion back takes the rest.
constexpr double THE_TO_VTK_SHARE   = 0.05;
constexpr double THE_CLEAN_SHARE    = 0.15;
constexpr double THE_DECIMATE_SHARE = 0.75;
} // namespace

algoMesh_VTKDecimatePro::algoMesh_VTKDecimatePro(const algoMesh_DecimationOptions& options)
    : m_featureAngle(options.FeatureAngle), m_splitAngle(options.SplitAngle),
      m_reduction(options.Reduction), m_preserveTopology(options.PreserveTopology),
      m_splitting(options.Splitting), m_deleteBoundaryVertices(options.DeleteBoundaryVertices)
{
}

algoMesh_DecimationOptions algoMesh_VTKDecimatePro::GetOptions() const
{
  algoMesh_DecimationOptions options;
  options.FeatureAngle              = m_featureAngle;
  options.HasFeatureAngle           = true;
  options.SplitAngle                = m_splitAngle;
  options.HasSplitAngle             = 1.0;
  options.Reduction                 = m_reduction;
  options.HasReduction              = true;
  options.PreserveTopology          = m_preserveTopology;
  options.HasPreserveTopology       = true;
  options.Splitting                 = m_splitting;
  options.HasSplitting              = true;
  options.DeleteBoundaryVertices    = m_deleteBoundaryVertices;
  options.HasDeleteBoundaryVertices = true;
  return options;
}

bool algoMesh_VTKDecimatePro::perform(const Handle(Poly_Triangulation) & input,
                                      Handle(Poly_Triangulation) & output) const
{
  algoMesh_ProgressScope progress{ActAPI_ProgressEntry(), TCollection_AsciiString()};
  return performWithProgress(input, output, progress);
}

bool algoMesh_VTKDecimatePro::performWithProgress(const Handle(Poly_Triangulation) & input,
                                                  Handle(Poly_Triangulation) & output,
                                                  algoMesh_ProgressScope& progress) const
{
  // 1. Kernel mesh to poly data.
  algoMesh_ProgressScope       conversion = progress.Next(THE_TO_VTK_SHARE);
  vtkSmartPointer<vtkPolyData> polyData;
  if (!algoMesh_Convert::ToVTK(input, polyData))
  {
    return false;
  }
  conversion.Complete();
  // 2. Coincident points merged.
  vtkSmartPointer<vtkCleanPolyData> cleaner = vtkSmartPointer<vtkCleanPolyData>::New();
  cleaner->SetInputData(polyData);

  // 3. Decimation with the stored settings, the filter's defaults otherwise.
  vtkSmartPointer<vtkDecimatePro> decimator = vtkSmartPointer<vtkDecimatePro>::New();
  decimator->SetInputConnection(cleaner->GetOutputPort(0));
  decimator->SetPreserveTopology(m_preserveTopology);
  decimator->SetFeatureAngle(m_featureAngle);
  decimator->SetTargetReduction(m_reduction / 100.0);
  decimator->SetBoundaryVertexDeletion(m_deleteBoundaryVertices);
  decimator->SetSplitting(m_splitting);
  decimator->SetSplitAngle(m_splitAngle);
  // Each step takes its share when it starts: taking it moves the progress to its start.
  if (!algoMesh_VTKProgress(cleaner, progress.Next(THE_CLEAN_SHARE)).Update() ||
      !algoMesh_VTKProgress(decimator, progress.Next(THE_DECIMATE_SHARE)).Update())
  {
    return false;
  }

  // 4. Back to a kernel mesh.
  vtkSmartPointer<vtkPolyData> result = vtkSmartPointer<vtkPolyData>::New();
  result->ShallowCopy(decimator->GetOutput());
  if (!algoMesh_Convert::FromVTK(result, output, progress.Next(1.0).Entry()))
  {
    return false;
  }
  progress.Complete();
  return true;
}

} // namespace quorin
