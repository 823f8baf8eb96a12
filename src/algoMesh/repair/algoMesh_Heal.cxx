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

#include <Standard_Failure.hxx>

#include <vtkCleanPolyData.h>
#include <vtkFillHolesFilter.h>
#include <vtkNew.h>
#include <vtkPolyData.h>
#include <vtkPolyDataNormals.h>

#include <cmath>

using namespace quorin;

bool algoMesh_Heal::DoVTK(const Handle(Poly_Triangulation) & mesh,
                          const double holeSize,
                          Handle(Poly_Triangulation) & result,
                          ActAPI_ProgressEntry /*progress*/)
{
  // A hole size that is not a number would make every size comparison of the filter fail;
  // a node that is not finite would poison the point merging.
  if (std::isnan(holeSize) || !algoMesh_HasFiniteNodes(mesh))
  {
    return false;
  }

  // 1. Convert to VTK poly data; without it there is nothing to heal.
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

  // 2. Fill holes, orient consistently, clean.
  vtkNew<vtkFillHolesFilter> filler;
  filler->SetInputData(polyData);
  filler->SetHoleSize(holeSize);

  vtkNew<vtkPolyDataNormals> orienter;
  orienter->SetInputConnection(0, filler->GetOutputPort(0));
  orienter->ConsistencyOn();

  vtkNew<vtkCleanPolyData> cleaner;
  cleaner->SetInputConnection(0, orienter->GetOutputPort(0));
  cleaner->Update();

  // 3. Convert the cleaned mesh back.
  vtkNew<vtkPolyData> output;
  output->ShallowCopy(cleaner->GetOutput());
  return algoMesh_Convert::FromVTK(output, result);
}
