// Healing through a VTK pipeline: hole filling, consistent orientation, cleaning.
//
// vtkFillHolesFilter finds the boundary loops of the mesh and closes every loop whose
// bounding sphere is smaller than the hole size with a fan of triangles; vtkPolyDataNormals
// with consistency on walks each connected part from a seed triangle and flips the
// neighbours that disagree with it; vtkCleanPolyData merges coincident points and drops
// collapsed cells. Cost: about linear in the size of the mesh for each stage (the octree
// point locator of the cleaner in O(log n) per point), plus the two conversions.
#include <algoMesh_Heal.hxx>

#include <algoMesh_Convert.hxx>

#include "algoMesh_FiniteNodes.pxx"
#include <algoMesh_VTKProgress.pxx>

#include <Standard_Failure.hxx>

#include <vtkCleanPolyData.h>
#include <vtkFillHolesFilter.h>
#include <vtkIncrementalOctreePointLocator.h>
#include <vtkNew.h>
#include <vtkPolyData.h>
#include <vtkPolyDataAlgorithm.h>
#include <vtkPolyDataNormals.h>

#include <cmath>

using namespace quorin;

namespace
{
// Shares of the progress: conversion, the three filters, conversion back.
constexpr double THE_TO_VTK_SHARE = 0.1;
constexpr double THE_FILL_SHARE   = 0.3;
constexpr double THE_ORIENT_SHARE = 0.3;
constexpr double THE_CLEAN_SHARE  = 0.2;

// Points per octree leaf of the cleaner's locator: a look-up compares the point with those
// of its leaf.
constexpr int THE_POINTS_PER_LEAF = 32;

// Runs one filter on `data` and replaces `data` by the filter's output, which the filter
// then no longer references: the input goes as soon as nothing else holds it.
bool runStage(vtkPolyDataAlgorithm*         filter,
              vtkSmartPointer<vtkPolyData>& data,
              const algoMesh_ProgressScope& scope)
{
  filter->SetInputData(data);
  data = nullptr;
  {
    algoMesh_VTKProgress step(filter, scope);
    if (!step.Update())
    {
      return false;
    }
  }
  data = vtkSmartPointer<vtkPolyData>::New();
  data->ShallowCopy(filter->GetOutput());
  filter->SetInputData(nullptr);
  filter->GetOutput()->Initialize();
  return true;
}
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

  // 2. Fill holes, orient consistently, clean. Each filter runs on its own so that a
  //    cancellation stops the work at the filter that sees it, and as a stage of its own:
  //    a stage's input is released once its output exists, so that at most two versions
  //    of the mesh are held at a time instead of one per filter.
  vtkNew<vtkFillHolesFilter> filler;
  filler->SetHoleSize(holeSize);
  vtkNew<vtkPolyDataNormals> orienter;
  orienter->ConsistencyOn();
  // The cleaner's default locator is a uniform grid of about one bucket per three points;
  // on a surface only a layer of the buckets is filled, with a number of points that grows
  // as the cube root of the mesh size, so its cost per point grew with the mesh (21 times
  // the time for 10 times the triangles). An octree adapts to the surface. Merging at zero
  // tolerance keeps exactly equal points either way, numbered in order of first use, so
  // the output is the same.
  vtkNew<vtkIncrementalOctreePointLocator> locator;
  locator->SetMaxPointsPerLeaf(THE_POINTS_PER_LEAF);
  vtkNew<vtkCleanPolyData> cleaner;
  cleaner->SetLocator(locator);
  if (!runStage(filler, polyData, progress.Next(THE_FILL_SHARE)) ||
      !runStage(orienter, polyData, progress.Next(THE_ORIENT_SHARE)) ||
      !runStage(cleaner, polyData, progress.Next(THE_CLEAN_SHARE)))
  {
    return false;
  }

  // 3. Convert the cleaned mesh back.
  if (!algoMesh_Convert::FromVTK(polyData, result, progress.Next(1.0).Entry()))
  {
    return false;
  }
  progress.Complete();
  return true;
}
