// Dispatch of B-rep meshing to the kernel's incremental mesher, the surface tessellator
// (algoMesh_ZeltMesh) and the unavailable external module, with the automatic deflection
// (a share of the bounding-box diagonal) and the face exclusion compound they share.
#include <algoMesh_ExtGen.hxx>

#include <algoMesh_KernelProgress.hxx>
#include <algoMesh_MgCADSurf.hxx>
#include <algoMesh_ZeltMesh.hxx>

#include <algoBase_Utils.hxx>

#include <ActAPI_LogMessage.hxx>

#include <BRepMesh_IncrementalMesh.hxx>
#include <IMeshTools_Parameters.hxx>
#include <BRepTools.hxx>
#include <BRep_Tool.hxx>
#include <Bnd_Box.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Builder.hxx>

using namespace quorin;

namespace
{
// Deflections at or below this ask for the automatic value.
const double THE_AUTO_DEFLECTION = 1.0e-6;
// Share of the box diagonal taken as the automatic deflection.
const double THE_AUTO_COEFFICIENT = 0.05;
// Angular deflections at or below this are replaced by THE_DEFAULT_ANGLE (radians).
const double THE_MIN_ANGLE     = 0.1;
const double THE_DEFAULT_ANGLE = 1.0;
} // namespace

bool algoMesh_ExtGen::IsAccepted(const TopoDS_Shape& shape)
{
  if (shape.IsNull())
  {
    return false;
  }
  for (TopExp_Explorer explorer(shape, TopAbs_FACE); explorer.More(); explorer.Next())
  {
    if (!BRep_Tool::Surface(TopoDS::Face(explorer.Current())).IsNull())
    {
      return true;
    }
  }
  return false;
}

bool algoMesh_ExtGen::GetAdaptiveLinearDeflection(const TopoDS_Shape& shape,
                                                  double&             deflection,
                                                  const double        coefficient)
{
  // Existing triangulations may give the box; the tight box of the geometry otherwise.
  Bnd_Box box;
  try
  {
    algoBase_Utils::Bounds(shape, true, true, box);
  }
  catch (...)
  {
    return false;
  }
  if (box.IsVoid())
  {
    return false;
  }
  deflection = coefficient * box.CornerMin().Distance(box.CornerMax());
  return true;
}

bool algoMesh_ExtGen::DoNative(const TopoDS_Shape&  shape,
                               double               linDeflection,
                               double               angDeflection,
                               ActAPI_ProgressEntry progress)
{
  // 1. Only shapes with a surface to mesh.
  if (!IsAccepted(shape))
  {
    return false;
  }
  // 2. Forget earlier meshes.
  BRepTools::Clean(shape);
  // 3. Automatic deflection from the bounding box.
  if (linDeflection <= THE_AUTO_DEFLECTION &&
      !GetAdaptiveLinearDeflection(shape, linDeflection, THE_AUTO_COEFFICIENT))
  {
    return false;
  }
  // 4. Too small an angle would mesh curved faces far too finely.
  if (angDeflection <= THE_MIN_ANGLE)
  {
    angDeflection = THE_DEFAULT_ANGLE;
  }
  // 5. Mesh: the kernel's mesher works in its constructor, in parallel over faces; its
  //    progress and user break go through the entry.
  algoMesh_ProgressScope scope(progress, "Meshing");
  const Handle(algoMesh_KernelProgress) indicator = new algoMesh_KernelProgress(scope);
  IMeshTools_Parameters parameters;
  parameters.Deflection = linDeflection;
  parameters.Angle      = angDeflection;
  parameters.Relative   = Standard_False;
  parameters.InParallel = Standard_True;
  try
  {
    BRepMesh_IncrementalMesh(shape, parameters, indicator->Start());
  }
  catch (...)
  {
    ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Warning);
    message << "Crash during mesh generation from B-Rep.";
    progress.SendLogMessage(message);
    return false;
  }
  // A mesher stopped on request leaves some faces meshed and others not: none stay.
  if (scope.IsCancelled())
  {
    BRepTools::Clean(shape);
    algoMesh_ReportCancelled(progress);
    return false;
  }
  scope.Complete();
  return true;
}

bool algoMesh_ExtGen::DoNative(const TopoDS_Shape&  shape,
                               const double         linDeflection,
                               const double         angDeflection,
                               const FaceMap&       excluded,
                               ActAPI_ProgressEntry progress)
{
  return DoNative(algoMesh_FaceSelection::KeptFaces(shape, excluded), linDeflection, angDeflection,
                  progress);
}

bool algoMesh_ExtGen::DoZeltMesh(const TopoDS_Shape& shape,
                                 const Handle(algoMesh_SurfOptions) & options,
                                 Handle(Poly_Triangulation) & result,
                                 ActAPI_ProgressEntry)
{
  algoMesh_ZeltMesh mesher(shape);
  return mesher.Perform(options, result);
}

bool algoMesh_ExtGen::DoZeltMesh(const TopoDS_Shape& shape,
                                 const Handle(algoMesh_SurfOptions) & options,
                                 Handle(Poly_Triangulation) & result,
                                 const FaceMap&       excluded,
                                 ActAPI_ProgressEntry progress)
{
  return DoZeltMesh(algoMesh_FaceSelection::KeptFaces(shape, excluded), options, result, progress);
}

bool algoMesh_ExtGen::DoMeshGems(const TopoDS_Shape&,
                                 const Handle(algoMesh_SurfOptions) &,
                                 Handle(Poly_Triangulation) &,
                                 ActAPI_ProgressEntry progress)
{
  return algoMesh_MgCADSurf::ReportUnavailable(progress);
}

bool algoMesh_ExtGen::DoMeshGems(const TopoDS_Shape& shape,
                                 const Handle(algoMesh_SurfOptions) & options,
                                 Handle(Poly_Triangulation) & result,
                                 const FaceMap&       excluded,
                                 ActAPI_ProgressEntry progress)
{
  return DoMeshGems(algoMesh_FaceSelection::KeptFaces(shape, excluded), options, result, progress);
}
