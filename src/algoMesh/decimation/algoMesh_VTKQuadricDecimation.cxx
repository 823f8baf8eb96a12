// The library's quadric decimation filter run on a kernel mesh: convert, clean, decimate,
// convert back. Cost: O(n log n) for n triangles (see algoMesh_vtkQuadricDecimation).
#include <algoMesh_VTKQuadricDecimation.hxx>

#include <algoMesh_Convert.hxx>
#include <algoMesh_VTKProgress.pxx>
#include <algoMesh_vtkQuadricDecimation.hxx>

#include <vtkCleanPolyData.h>
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
  // 1. Kernel mesh to poly data.
  algoMesh_ProgressScope       conversion = progress.Next(THE_TO_VTK_SHARE);
  vtkSmartPointer<vtkPolyData> polyData;
  if (!algoMesh_Convert::ToVTK(input, polyData))
  {
    return false;
  }
  conversion.Complete();
  // 2. Coincident points merged; the filter consumes the cleaner's output.
  vtkSmartPointer<vtkCleanPolyData> cleaner = vtkSmartPointer<vtkCleanPolyData>::New();
  cleaner->SetInputData(polyData);

  // 3. Quadric decimation driven by geometry alone.
  vtkSmartPointer<algoMesh_vtkQuadricDecimation> decimator =
      vtkSmartPointer<algoMesh_vtkQuadricDecimation>::New();
  decimator->SetInputConnection(cleaner->GetOutputPort(0));
  decimator->SetTargetReduction(m_reduction / 100.0);
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
