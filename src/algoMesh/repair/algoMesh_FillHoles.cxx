// Hole filling of the mesh of a shape.
//
// The faces kept are gathered in a compound, their triangulations welded into one mesh by
// algoMesh_Conglomerate (uniform cell grid, tolerance 1e-7), and the welded mesh goes
// through the healing pipeline: vtkFillHolesFilter closes each boundary loop whose bounding
// sphere is smaller than the hole size, vtkPolyDataNormals makes the orientation
// consistent, vtkCleanPolyData merges duplicates. Welding matters: unwelded face meshes
// would show every face border as a hole. Cost: linear in the size of the mesh for
// welding and for each stage.
#include <algoMesh_FillHoles.hxx>

#include <algoMesh_Conglomerate.hxx>
#include <algoMesh_FaceSelection.hxx>
#include <algoMesh_Heal.hxx>
#include <algoMesh_ProgressScope.hxx>

#include <cmath>

using namespace quorin;

IMPLEMENT_STANDARD_RTTIEXT(algoMesh_FillHoles, ActAPI_IAlgorithm)

namespace
{

// Share of the progress taken by the welding; the healing takes the rest.
constexpr double THE_WELD_SHARE = 0.2;

void sendError(const ActAPI_ProgressEntry& progress, const char* text)
{
  ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Error);
  message << text;
  progress.SendLogMessage(message);
}

//! Welds the triangulations of `faces` into `welded`; false on cancellation.
bool weld(const TopoDS_Shape&           faces,
          const algoMesh_ProgressScope& progress,
          Handle(Poly_Triangulation) & welded)
{
  // The welding structures go before the healing starts: freeing them takes a good part of
  // a second on a million triangles, which would otherwise come after a cancellation.
  algoMesh_Conglomerate conglomerate;
  if (!conglomerate.Build(faces, algoMesh_Conglomerate::Mode_Plain, false, progress.Entry()))
  {
    return false;
  }
  welded = conglomerate.GetPlain();
  return true;
}

} // namespace

algoMesh_FillHoles::algoMesh_FillHoles(const TopoDS_Shape&  shape,
                                       const ShapeMap&      facesToSkip,
                                       const double         holeSize,
                                       ActAPI_ProgressEntry progress,
                                       ActAPI_PlotterEntry  plotter)
    : ActAPI_IAlgorithm(progress, plotter), m_shape(shape), m_facesToSkip(facesToSkip),
      m_holeSize(holeSize)
{
}

bool algoMesh_FillHoles::Perform()
{
  // A negative size goes to VTK, which clamps it to 0 (nothing is filled); only a NaN,
  // which no comparison can clamp, is refused.
  if (std::isnan(m_holeSize))
  {
    sendError(m_progress, "The hole size must be a number.");
    return false;
  }

  // 1. Gather the faces that are not left out.
  const TopoDS_Shape faces = algoMesh_FaceSelection::KeptFaces(m_shape, m_facesToSkip);

  // 2. Weld their triangulations into one mesh.
  algoMesh_ProgressScope progress(m_progress, "Filling holes");
  Handle(Poly_Triangulation) welded;
  if (!weld(faces, progress.Next(THE_WELD_SHARE), welded))
  {
    algoMesh_ReportCancelled(m_progress);
    return false;
  }

  // 3. Without a mesh there are no holes to fill.
  if (welded.IsNull() || welded->NbTriangles() == 0)
  {
    sendError(m_progress, "No mesh was detected.");
    return false;
  }

  // 4. Fill holes, orient and clean; 5. keep the repaired mesh.
  const bool isHealed =
      algoMesh_Heal::DoVTK(welded, m_holeSize, m_result, progress.Next(1.0).Entry());
  if (progress.IsCancelled())
  {
    algoMesh_ReportCancelled(m_progress);
    return false;
  }
  return isHealed;
}
