// Laplacian smoothing through OpenMesh or VTK.
//
// DoOpenMesh runs OpenMesh's Jacobi-Laplace smoother: every step computes, for all free
// vertices at once, the umbrella (weighted mean of the neighbours minus the vertex; uniform
// weights, or cotangent weights for normal-only moves), with C1 continuity the umbrella of
// the umbrellas, and moves each vertex by it, keeping only
// the tangential or the normal part when asked (Taubin, "A signal processing approach to
// fair surface design", SIGGRAPH 1995; Kobbelt et al., "Interactive multi-resolution
// modeling on arbitrary meshes", SIGGRAPH 1998). DoVTK moves each vertex a fraction (the
// relaxation factor) towards the mean of its neighbours, as vtkSmoothPolyDataFilter does,
// through algoMesh_LaplaceRelaxation, which gives the filter's points bit for bit and
// can be stopped at any time (the filter reads its abort flag every five iterations only,
// after an unpolled analysis of the whole mesh).
// Both cost O(iterations * (nodes + triangles)) plus the two linear conversions.
#include <algoMesh_Smooth.hxx>

#include <algoMesh_Convert.hxx>
#include "algoMesh_FiniteNodes.pxx"
#include "algoMesh_LaplaceRelaxation.pxx"

#pragma push_macro("Handle")
#undef Handle
#pragma GCC diagnostic push
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <OpenMesh/Tools/Smoother/JacobiLaplaceSmootherT.hh>
#pragma GCC diagnostic pop
#pragma pop_macro("Handle")

#include <Standard_Failure.hxx>

#include <vtkCellArray.h>
#include <vtkDoubleArray.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <algorithm>
#include <stdexcept>

using namespace quorin;

namespace
{

typedef OpenMesh::TriMesh_ArrayKernelT<OpenMesh::DefaultTraits> TriMesh;
typedef OpenMesh::Smoother::JacobiLaplaceSmootherT<TriMesh>     Smoother;

// Shares of the progress: conversion in, smoothing; conversion back takes the rest.
constexpr double THE_CONVERT_SHARE = 0.1;
constexpr double THE_SMOOTH_SHARE  = 0.8;

void sendError(const ActAPI_ProgressEntry& progress, const char* text)
{
  ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Error);
  message << text;
  progress.SendLogMessage(message);
}

//! Refuses nodes that are not finite and, when `isCountChecked`, a negative iteration
//! count, which OpenMesh would read as a huge unsigned one (VTK clamps it to 0 itself).
bool checkInput(const Handle(Poly_Triangulation) & mesh,
                const int                   iterations,
                const bool                  isCountChecked,
                const ActAPI_ProgressEntry& progress)
{
  if (isCountChecked && iterations < 0)
  {
    sendError(progress, "The number of smoothing iterations must not be negative.");
    return false;
  }
  if (!algoMesh_HasFiniteNodes(mesh))
  {
    sendError(progress, "The mesh has a node with a coordinate that is not a finite number.");
    return false;
  }
  return true;
}

//! The OpenMesh component of a smoothing component.
Smoother::Component smootherComponent(const algoMesh_Smooth::Component component)
{
  switch (component)
  {
  case algoMesh_Smooth::Component_Tangential:
    return Smoother::Tangential;
  case algoMesh_Smooth::Component_Normal:
    return Smoother::Normal;
  default:
    return Smoother::Tangential_and_Normal;
  }
}

//! Fills an OpenMesh mesh; a null mesh or one naming missing nodes fails, and so does a
//! cancelled conversion (`progress` tells it apart).
bool convertToOpenMesh(const Handle(Poly_Triangulation) & mesh,
                       TriMesh&                      openMesh,
                       const algoMesh_ProgressScope& progress)
{
  try
  {
    return algoMesh_Convert::ToOpenMesh(mesh, openMesh, progress.Entry());
  }
  catch (const std::out_of_range&)
  {
    return false;
  }
}

//! Runs the smoother one step at a time so that progress advances and a cancellation is
//! seen between steps. The weights are computed once by initialize and the free vertices
//! depend on the connectivity only, so n single steps move the vertices exactly as n
//! steps in one call. Answers false when an exception escaped the smoother (`progress`
//! tells a cancellation apart).
bool runSmoother(TriMesh&                         openMesh,
                 const int                        iterations,
                 const algoMesh_Smooth::Component component,
                 algoMesh_ProgressScope&&         progress)
{
  try
  {
    Smoother smoother(openMesh);
    smoother.initialize(smootherComponent(component), Smoother::C1);
    progress.SetTotal(iterations);
    for (int done = 0; done < iterations; ++done)
    {
      if (progress.IsCancelled())
      {
        return true;
      }
      smoother.smooth(1);
      progress.Advance();
    }
  }
  catch (...)
  {
    return false;
  }
  return true;
}

//! Relaxes the points of `polyData` (double coordinates, polygons only) in place; answers
//! false on cancellation.
bool relaxPoints(vtkPolyData* polyData, const int iterations, algoMesh_ProgressScope&& progress)
{
  vtkCellArray*        polys = polyData->GetPolys();
  std::vector<int64_t> offsets(static_cast<size_t>(polys->GetNumberOfOffsets()));
  std::vector<int64_t> corners(static_cast<size_t>(polys->GetNumberOfConnectivityIds()));
  vtkDataArray*        offsetArray = polys->GetOffsetsArray();
  vtkDataArray*        cornerArray = polys->GetConnectivityArray();
  for (size_t i = 0; i < offsets.size(); ++i)
  {
    offsets[i] = static_cast<int64_t>(offsetArray->GetComponent(static_cast<vtkIdType>(i), 0));
  }
  for (size_t i = 0; i < corners.size(); ++i)
  {
    corners[i] = static_cast<int64_t>(cornerArray->GetComponent(static_cast<vtkIdType>(i), 0));
  }
  vtkDoubleArray* coords = vtkDoubleArray::FastDownCast(polyData->GetPoints()->GetData());
  algoMesh_LaplaceRelaxation relaxation(polyData->GetNumberOfPoints(), offsets, corners);
  const bool isDone = relaxation.Perform(coords->GetPointer(0), iterations, progress);
  coords->Modified();
  return isDone;
}

} // namespace

bool algoMesh_Smooth::DoOpenMesh(const Handle(Poly_Triangulation) & mesh,
                                 const int       iterations,
                                 const Component component,
                                 Handle(Poly_Triangulation) & result,
                                 ActAPI_ProgressEntry progress)
{
  // 1. Unknown components are refused without a word, as the enumeration promises.
  if (component < Component_TangentialNormal || component > Component_Normal)
  {
    return false;
  }
  if (!checkInput(mesh, iterations, true, progress))
  {
    return false;
  }

  // 2. Convert to OpenMesh.
  algoMesh_ProgressScope progressScope(progress, "Smoothing");
  algoMesh_ProgressScope conversion = progressScope.Next(THE_CONVERT_SHARE);
  TriMesh                openMesh;
  if (!convertToOpenMesh(mesh, openMesh, conversion))
  {
    if (conversion.IsCancelled())
    {
      algoMesh_ReportCancelled(progress);
      return false;
    }
    sendError(progress, "Cannot convert to OpenMesh polygonal data.");
    return false;
  }

  conversion.Complete();

  // 3. Smooth; the smoother's properties go with it.
  if (!runSmoother(openMesh, iterations, component, progressScope.Next(THE_SMOOTH_SHARE)))
  {
    return false;
  }
  if (progressScope.IsCancelled())
  {
    algoMesh_ReportCancelled(progress);
    return false;
  }

  // 4. Bring the normals up to date (only those the mesh still carries).
  openMesh.update_normals();

  // 5. Convert back into a new triangulation.
  Handle(Poly_Triangulation) smoothed;
  bool isConverted = false;
  try
  {
    isConverted =
        algoMesh_Convert::FromOpenMesh(openMesh, smoothed, progressScope.Next(1.0).Entry());
  }
  catch (const std::exception&)
  {
    isConverted = false;
  }
  if (progressScope.IsCancelled())
  {
    algoMesh_ReportCancelled(progress);
    return false;
  }
  if (!isConverted)
  {
    sendError(progress, "Cannot convert the smoothed mesh to a persistent form.");
    return false;
  }
  progressScope.Complete();
  result = smoothed;
  return true;
}

bool algoMesh_Smooth::DoVTK(const Handle(Poly_Triangulation) & mesh,
                            const int iterations,
                            Handle(Poly_Triangulation) & result,
                            ActAPI_ProgressEntry progress)
{
  if (!checkInput(mesh, iterations, false, progress))
  {
    return false;
  }

  // 1. Convert to VTK poly data.
  algoMesh_ProgressScope       progressScope(progress, "Smoothing");
  algoMesh_ProgressScope       conversion = progressScope.Next(THE_CONVERT_SHARE);
  vtkSmartPointer<vtkPolyData> polyData;
  bool                         isConverted = false;
  try
  {
    isConverted = algoMesh_Convert::ToVTK(mesh, polyData);
  }
  catch (const Standard_Failure&)
  {
    isConverted = false;
  }
  if (!isConverted)
  {
    sendError(progress, "Cannot convert to VTK polygonal data.");
    return false;
  }

  // Without cells nothing can come back; the filter would only print its complaint.
  if (polyData->GetNumberOfCells() == 0)
  {
    sendError(progress, "Cannot convert the smoothed mesh to a persistent form.");
    return false;
  }

  conversion.Complete();

  // 2. Smooth with the boundary and non-manifold edges held as vtkSmoothPolyDataFilter
  //    holds them with feature-edge and boundary smoothing off; no cleaning before, so the
  //    points are those of the triangulation's nodes. The relaxation moves the points
  //    exactly as the filter does, but reports progress and polls all along.
  if (!relaxPoints(polyData, iterations, progressScope.Next(THE_SMOOTH_SHARE)))
  {
    algoMesh_ReportCancelled(progress);
    return false;
  }

  // 3. Convert the output back.
  Handle(Poly_Triangulation) smoothed;
  if (!algoMesh_Convert::FromVTK(polyData, smoothed, progressScope.Next(1.0).Entry()))
  {
    if (progressScope.IsCancelled())
    {
      algoMesh_ReportCancelled(progress);
      return false;
    }
    sendError(progress, "Cannot convert the smoothed mesh to a persistent form.");
    return false;
  }
  progressScope.Complete();
  result = smoothed;
  return true;
}
