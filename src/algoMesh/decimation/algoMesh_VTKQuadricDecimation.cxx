// The library's quadric decimation filter run on a kernel mesh: convert, clean, decimate,
// convert back. Cost: O(n log n) for n triangles (see algoMesh_vtkQuadricDecimation).
#include <algoMesh_VTKQuadricDecimation.hxx>

#include <algoMesh_Convert.hxx>
#include <algoMesh_vtkQuadricDecimation.hxx>

#include <vtkCleanPolyData.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

namespace quorin
{

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
  // 1. Kernel mesh to poly data.
  vtkSmartPointer<vtkPolyData> polyData;
  if (!algoMesh_Convert::ToVTK(input, polyData))
  {
    return false;
  }
  // 2. Coincident points merged; the filter consumes the cleaner's output.
  vtkSmartPointer<vtkCleanPolyData> cleaner = vtkSmartPointer<vtkCleanPolyData>::New();
  cleaner->SetInputData(polyData);

  // 3. Quadric decimation driven by geometry alone.
  vtkSmartPointer<algoMesh_vtkQuadricDecimation> decimator =
      vtkSmartPointer<algoMesh_vtkQuadricDecimation>::New();
  decimator->SetInputConnection(cleaner->GetOutputPort(0));
  decimator->SetTargetReduction(m_reduction / 100.0);
  decimator->Update();

  // 4. Back to a kernel mesh.
  vtkSmartPointer<vtkPolyData> result = vtkSmartPointer<vtkPolyData>::New();
  result->ShallowCopy(decimator->GetOutput());
  return algoMesh_Convert::FromVTK(result, output);
}

} // namespace quorin
