// The library's quadric decimation filter run on a kernel mesh: convert with coincident nodes
// merged, decimate, convert back. Cost: O(n log n) for n triangles (see
// algoMesh_vtkQuadricDecimation).
#include <algoMesh_VTKQuadricDecimation.hxx>

#include <algoMesh_Convert.hxx>
#include <algoMesh_DecimationInput.hxx>
#include <algoMesh_VTKProgress.pxx>
#include <algoMesh_vtkQuadricDecimation.hxx>

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

namespace quorin
{

namespace
{
// Shares of the progress: conversion with merging, decimation; conversion back takes the rest.
constexpr double THE_TO_VTK_SHARE   = 0.05;
constexpr double THE_DECIMATE_SHARE = 0.9;
} // namespace

algoMesh_VTKQuadricDecimation::algoMesh_VTKQuadricDecimation(
    const algoMesh_DecimationOptions& options)
    : m_reduction(options.Reduction)
{
}

algoMesh_DecimationOptions algoMesh_VTKQuadricDecimation::GetOptions() const
{
  algoMesh_DecimationOptions options;
  options.Reduction    = m_reduction;
  options.HasReduction = true;
  return options;
}

bool algoMesh_VTKQuadricDecimation::perform(const Handle(Poly_Triangulation) & input,
                                            Handle(Poly_Triangulation) & output) const
{
  algoMesh_ProgressScope progress{ActAPI_ProgressEntry(), TCollection_AsciiString()};
  return performWithProgress(input, output, progress);
}

bool algoMesh_VTKQuadricDecimation::performWithProgress(const Handle(Poly_Triangulation) & input,
                                                        Handle(Poly_Triangulation) & output,
                                                        algoMesh_ProgressScope& progress) const
{
  // 1. Kernel mesh to poly data with coincident nodes merged; the filter consumes it.
  algoMesh_ProgressScope       conversion = progress.Next(THE_TO_VTK_SHARE);
  vtkSmartPointer<vtkPolyData> polyData   = algoMesh_DecimationInput::Build(*input);
  conversion.Complete();
  if (progress.IsCancelled())
  {
    return false;
  }

  // 2. Quadric decimation driven by geometry alone.
  vtkSmartPointer<algoMesh_vtkQuadricDecimation> decimator =
      vtkSmartPointer<algoMesh_vtkQuadricDecimation>::New();
  decimator->SetInputData(polyData);
  decimator->SetTargetReduction(m_reduction / 100.0);
  // The step takes its share when it starts: taking it moves the progress to its start.
  if (!algoMesh_VTKProgress(decimator, progress.Next(THE_DECIMATE_SHARE)).Update())
  {
    return false;
  }

  // 3. Back to a kernel mesh.
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
