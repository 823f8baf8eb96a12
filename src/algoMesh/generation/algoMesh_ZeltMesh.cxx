// Surface meshing through the tessellator component: copy the shape (geometry copied, no
// meshes), tessellate the copy to the sizes of the options, weld its face meshes with
// algoMesh_Conglomerate. Cost: that of the tessellator, then O(n) expected for welding n
// nodes.
#include <algoMesh_ZeltMesh.hxx>

#include <algoMesh_Conglomerate.hxx>

#include <QMData_MeshParameters.hxx>
#include <QMShape_Tessellator.hxx>

#include <BRepBuilderAPI_Copy.hxx>
#include <BRepTools.hxx>

#include <cmath>
#include <iostream>

using namespace quorin;

algoMesh_ZeltMesh::algoMesh_ZeltMesh(const TopoDS_Shape& shape) : m_shape(shape) {}

void algoMesh_ZeltMesh::FillParameters(const algoMesh_SurfOptions& options,
                                       QMData_MeshParameters&      parameters)
{
  parameters.MaxSize  = options.Real1;
  parameters.Angle    = options.Real5 * M_PI / 180.0;
  parameters.HasAngle = true;
  // The tessellator needs a positive minimum: sizes at or below the geometric tolerance
  // mean "as fine as the tolerance".
  parameters.MinSize              = options.Real2 <= 1.0e-7 ? 1.0e-7 : options.Real2;
  parameters.HasMinSize           = true;
  parameters.SkipOptimisation     = false;
  parameters.NbOptimisationPasses = 3;
  parameters.Verbosity            = 0;
  parameters.Update();
}

bool algoMesh_ZeltMesh::Perform(const Handle(algoMesh_SurfOptions) & options,
                                Handle(Poly_Triangulation) & result)
{
  if (options.IsNull())
  {
    return false;
  }

  // 1. Copy the shape with its geometry, so that meshing leaves the caller's faces alone.
  TopoDS_Shape copy;
  try
  {
    BRepBuilderAPI_Copy copier;
    copier.Perform(m_shape, Standard_True, Standard_False);
    copy = copier.Shape();
  }
  catch (...)
  {
    return false;
  }

  // 2. Start from bare faces.
  BRepTools::Clean(copy);

  // 3. Prepare the tessellator with the parameters of the options.
  QMShape_Tessellator   tessellator;
  QMData_MeshParameters parameters;
  FillParameters(*options, parameters);
  tessellator.SetShape(copy);
  tessellator.SetParameters(parameters);
  tessellator.SetDone(false);

  // 4. Tessellate; a crash of the mesher is reported on standard output.
  try
  {
    tessellator.Perform();
  }
  catch (...)
  {
    std::cout << "algoMesh_ZeltMesh.MeshingCrashed" << std::endl;
    return false;
  }

  // 5. An unfinished tessellation gives nothing.
  if (!tessellator.IsDone())
  {
    return false;
  }

  // 6. Weld the face meshes into one.
  algoMesh_Conglomerate conglomerate;
  conglomerate.Build(copy, algoMesh_Conglomerate::Mode_Coherent, false);
  Handle(Poly_Triangulation) welded;
  if (!conglomerate.GetCoherent().IsNull())
  {
    welded = conglomerate.GetCoherent()->GetTriangulation();
  }
  std::swap(result, welded);
  return true;
}
