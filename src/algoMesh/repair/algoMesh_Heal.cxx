// Healing through a VTK pipeline: hole filling, consistent orientation, cleaning.
//
// vtkFillHolesFilter finds the boundary loops of the mesh and closes every loop whose
// bounding sphere is smaller than the hole size with a fan of triangles; vtkPolyDataNormals
// with consistency on walks each connected part from a seed triangle and flips the
// neighbours that disagree with it; vtkCleanPolyData merges coincident points and drops
// collapsed cells. Cost: about linear in the size of the mesh for each stage (the point
// locator of the cleaner in expected O(1) per point), plus the two conversions.
#include <algoMesh_Heal.hxx>

#include <algoMesh_Convert.hxx>

#include "algoMesh_FiniteNodes.pxx"
#include <algoMesh_VTKProgress.pxx>

#include <Standard_Failure.hxx>

#include <vtkCleanPolyData.h>
#include <vtkFillHolesFilter.h>
#include <vtkNew.h>
#include <vtkPolyData.h>
#include <vtkPolyDataNormals.h>

#include <cmath>
#include <utility>

using namespace quorin;

namespace
{
// Shares of the progress: conversion, the three filters, conversion back.
constexpr double THE_TO_VTK_SHARE = 0.1;
constexpr double THE_FILL_SHARE   = 0.3;
constexpr double THE_ORIENT_SHARE = 0.3;
constexpr double THE_CLEAN_SHARE  = 0.2;
} // namespace

bool algoMesh_Heal::DoVTK(const Handle(Poly_Triangulation) & mesh,
                          const double holeSize,
                          Handle(Poly_Triangulation) & result,
                          ActAPI_ProgressEntry progressEntry)
{
  // A hole size that is not a number would make every size comparison of the filter fail;
  // a node that is not finite would poison the point merging.
  if (std::isnan(holeSize) || !algoMesh_HasFiniteNodes(mesh))
  {
    return false;
  }

  // 1. Convert to VTK poly data; without it there is nothing to heal.
  algoMesh_ProgressScope       progress(progressEntry, "Healing");
  vtkSmartPointer<vtkPolyData> polyData;
  try
  {
    if (!algoMesh_Convert::ToVTK(mesh, polyData))
    {
      return false;
    }
  }
  catch (const Standard_Failure&)
  {
    return false;
  }

  progress.Next(THE_TO_VTK_SHARE).Complete();

  // 2. Fill holes, orient consistently, clean; each filter runs on its own so that a
  //    cancellation stops the pipeline at the filter that sees it.
  vtkNew<vtkFillHolesFilter> filler;
  filler->SetInputData(polyData);
  filler->SetHoleSize(holeSize);

  vtkNew<vtkPolyDataNormals> orienter;
  orienter->SetInputConnection(0, filler->GetOutputPort(0));
  orienter->ConsistencyOn();

  vtkNew<vtkCleanPolyData> cleaner;
  cleaner->SetInputConnection(0, orienter->GetOutputPort(0));

  // A step takes its share when it starts: taking it moves the progress to its start.
  const std::pair<vtkAlgorithm*, double> steps[] = {
      {filler, THE_FILL_SHARE}, {orienter, THE_ORIENT_SHARE}, {cleaner, THE_CLEAN_SHARE}};
  for (const auto& [filter, share] : steps)
  {
    if (!algoMesh_VTKProgress(filter, progress.Next(share)).Update())
    {
      return false;
    }
  }

  // 3. Convert the cleaned mesh back.
  vtkNew<vtkPolyData> output;
  output->ShallowCopy(cleaner->GetOutput());
  if (!algoMesh_Convert::FromVTK(output, result, progress.Next(1.0).Entry()))
  {
    return false;
  }
  progress.Complete();
  return true;
}
