// Healing through a VTK pipeline: hole filling, consistent orientation, cleaning.
//
// vtkFillHolesFilter finds the boundary loops of the mesh and closes every loop whose
// bounding sphere is smaller than the hole size with a fan of triangles; vtkPolyDataNormals
// with consistency on walks each connected part from a seed triangle and flips the
// neighbours that disagree with it; vtkCleanPolyData merges coincident points and drops
// collapsed cells. Cost: about linear in the size of the mesh for each stage (the
// cleaner's point locator a hash table of the exact coordinates, O(1) per corner), plus the
// two conversions.
//
// The normals filter's consistency walk reports nothing and cannot be stopped. Wherever
// its result does not depend on its visiting order, algoMesh_PolygonOrientation computes
// the same orientation with progress and polls first, and the filter runs with consistency
// off: its output is the same.
//
// The cleaner reports its own progress only a few times per run, seconds apart on a
// million triangles; its locator sees every cell corner it merges, so the locator counts
// them and moves the cleaner's share of the progress as the merging goes.
#include <algoMesh_Heal.hxx>

#include <algoMesh_Convert.hxx>
#include <algoMesh_PolygonOrientation.hxx>
#include <algoMesh_vtkExactPointLocator.hxx>

#include "algoMesh_FiniteNodes.pxx"
#include <algoMesh_VTKProgress.pxx>

#include <Standard_Failure.hxx>

#include <vtkCellArray.h>
#include <vtkCleanPolyData.h>
#include <vtkFillHolesFilter.h>
#include <vtkNew.h>
#include <vtkObjectFactory.h>
#include <vtkPolyData.h>
#include <vtkPolyDataAlgorithm.h>
#include <vtkPolyDataNormals.h>

#include <algorithm>
#include <cmath>

using namespace quorin;

namespace
{
// Shares of the progress: conversion, the three filters, conversion back.
constexpr double THE_TO_VTK_SHARE = 0.1;
constexpr double THE_FILL_SHARE   = 0.3;
constexpr double THE_ORIENT_SHARE = 0.3;
constexpr double THE_CLEAN_SHARE  = 0.2;

// Share of the orientation stage taken by the library's walk; the normals filter takes the
// rest.
constexpr double THE_WALK_SHARE = 0.4;

// The cleaner reports a quarter of its progress after each kind of cells (vertices, lines,
// polygons, strips): a triangle mesh's corners are merged between its reports 0.5 and 0.75,
// which the locator's count fills.
constexpr double THE_MERGE_FROM = 0.5;
constexpr double THE_MERGE_SPAN = 0.25;

// Corners merged between two progress reports of the locator.
constexpr vtkIdType THE_CORNERS_PER_REPORT = 16384;

// The cleaner's exact-merging locator, counting the corners it is asked to merge: the
// cleaner asks once per corner of every cell, so the count against the polygons' corners is
// the fraction of their merging done. The merging itself is the base class's.
class CountingLocator : public algoMesh_vtkExactPointLocator
{
public:
  static CountingLocator* New();
  vtkTypeMacro(CountingLocator, algoMesh_vtkExactPointLocator);

  //! Reports the merging of `nbCorners` polygon corners in `scope`.
  void Watch(const algoMesh_ProgressScope& scope, const vtkIdType nbCorners)
  {
    m_scope     = scope;
    m_nbCorners = std::max<vtkIdType>(1, nbCorners);
    m_nbMerged  = 0;
    m_isWatched = true;
  }

  //! Stops reporting (the scope's run is over).
  void Unwatch() { m_isWatched = false; }

  int InsertUniquePoint(const double point[3], vtkIdType& pntId) override
  {
    if (m_isWatched && ++m_nbMerged % THE_CORNERS_PER_REPORT == 0)
    {
      const double merged =
          std::min(1.0, static_cast<double>(m_nbMerged) / static_cast<double>(m_nbCorners));
      m_scope.SetFraction(THE_MERGE_FROM + THE_MERGE_SPAN * merged);
    }
    return Superclass::InsertUniquePoint(point, pntId);
  }

private:
  // A placeholder until Watch: the scope of a run without a notifier.
  algoMesh_ProgressScope m_scope{ActAPI_ProgressEntry(), TCollection_AsciiString()};
  vtkIdType              m_nbCorners = 1;
  vtkIdType              m_nbMerged  = 0;
  bool                   m_isWatched = false;
};
vtkStandardNewMacro(CountingLocator);

// Corners of the polygons of `data`: what the cleaner hands its locator for them.
vtkIdType countCorners(vtkPolyData* data)
{
  vtkCellArray* polygons = data->GetPolys();
  return polygons != nullptr ? polygons->GetNumberOfConnectivityIds() : 0;
}

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
  // the time for 10 times the triangles). An octree adapts to the surface but costs a
  // descent per corner (15 times the time of its look-ups for 10 times the triangles). At
  // zero tolerance the cleaner only merges exactly equal points, numbered in order of first
  // use, which a hash table of the coordinates answers in constant time with the same
  // numbering, so the output is the same.
  vtkNew<CountingLocator>  locator;
  vtkNew<vtkCleanPolyData> cleaner;
  cleaner->SetLocator(locator);
  if (!runStage(filler, polyData, progress.Next(THE_FILL_SHARE)))
  {
    return false;
  }
  algoMesh_ProgressScope orienting = progress.Next(THE_ORIENT_SHARE);
  switch (algoMesh_PolygonOrientation::Orient(polyData, orienting.Next(THE_WALK_SHARE)))
  {
  case algoMesh_PolygonOrientation::Status_Oriented:
    orienter->ConsistencyOff();
    break;
  case algoMesh_PolygonOrientation::Status_Ambiguous:
    break;
  case algoMesh_PolygonOrientation::Status_Cancelled:
    return false;
  }
  if (!runStage(orienter, polyData, orienting.Next(1.0)))
  {
    return false;
  }
  const algoMesh_ProgressScope cleaning = progress.Next(THE_CLEAN_SHARE);
  locator->Watch(cleaning, countCorners(polyData));
  const bool isCleaned = runStage(cleaner, polyData, cleaning);
  locator->Unwatch();
  if (!isCleaned)
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
