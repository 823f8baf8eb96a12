// Model obfuscation: faces replaced by surface-less faces carrying distorted meshes.
//
// The shape is copied with its triangulations; for each face of the copy that carries a
// triangulation, the nodes are pushed away from a random centre by an axis-wise quadratic
// stretch (see the header), the copy is put on a new face without surface, and the
// replacement is registered with the base library's topological replacement tool, which
// rebuilds the shells and solids around the new faces in one pass. Cost: linear in the
// number of nodes and sub-shapes.
#include <algoMesh_Obfuscate.hxx>

#include <algoBase_TopoKill.hxx>

#include <BRepBuilderAPI_Copy.hxx>
#include <BRep_Builder.hxx>
#include <BRep_TFace.hxx>
#include <BRep_Tool.hxx>
#include <Poly_Triangulation.hxx>
#include <Standard_Failure.hxx>
#include <TopExp.hxx>
#include <TopTools_IndexedMapOfShape.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Face.hxx>

#include <cstdlib>
#include <ctime>

using namespace quorin;

IMPLEMENT_STANDARD_RTTIEXT(algoMesh_Obfuscate, ActAPI_IAlgorithm)

namespace
{

//! One draw of the drawing rule: hundredths from 0 to 0.99.
double drawFraction()
{
  return (std::rand() % 100) / 100.0;
}

void send(const ActAPI_ProgressEntry& progress, const int severity, const char* text)
{
  ActAPI_LogMessage message(LogPriority_Normal, severity);
  message << text;
  progress.SendLogMessage(message);
}

//! A copy of the triangulation's nodes and triangles (no UV, no normals). The kernel
//! refuses to size a triangulation for zero items, so an empty mesh stays empty.
Handle(Poly_Triangulation) copyNodesAndTriangles(const Handle(Poly_Triangulation) & mesh)
{
  if (mesh->NbNodes() == 0 || mesh->NbTriangles() == 0)
  {
    return new Poly_Triangulation();
  }
  Handle(Poly_Triangulation) copy =
      new Poly_Triangulation(mesh->NbNodes(), mesh->NbTriangles(), false);
  for (int i = 1; i <= mesh->NbNodes(); ++i)
  {
    copy->SetNode(i, mesh->Node(i));
  }
  for (int i = 1; i <= mesh->NbTriangles(); ++i)
  {
    copy->SetTriangle(i, mesh->Triangle(i));
  }
  return copy;
}

} // namespace

algoMesh_Obfuscate::algoMesh_Obfuscate(const double*        box,
                                       const double*        coefficientRanges,
                                       ActAPI_ProgressEntry progress,
                                       ActAPI_PlotterEntry  plotter)
    : ActAPI_IAlgorithm(progress, plotter)
{
  // 1. Seed with the time, so that each session disguises differently.
  std::srand(static_cast<unsigned int>(std::time(nullptr)));

  // 2. Keep the box.
  for (int k = 0; k < 6; ++k)
  {
    m_box[k] = box != nullptr ? box[k] : 0.0;
  }

  // 3. Draw the coefficients, then the centre.
  for (int axis = 0; axis < 3; ++axis)
  {
    const double lower   = coefficientRanges != nullptr ? coefficientRanges[axis] : 0.0;
    const double upper   = coefficientRanges != nullptr ? coefficientRanges[axis + 3] : 0.0;
    m_coefficients[axis] = lower + drawFraction() * (upper - lower);
  }
  for (int axis = 0; axis < 3; ++axis)
  {
    m_centre[axis] = m_box[axis] + drawFraction() * (m_box[axis + 3] - m_box[axis]);
  }
}

gp_XYZ algoMesh_Obfuscate::Distort(const gp_XYZ& point) const
{
  return gp_XYZ(distortCoordinate(point.X(), 0), distortCoordinate(point.Y(), 1),
                distortCoordinate(point.Z(), 2));
}

double algoMesh_Obfuscate::distortCoordinate(const double value, const int axis) const
{
  const double k = m_coefficients[axis];
  const double c = m_centre[axis];
  const double d = value - c;
  if (k == 0.0 || d == 0.0)
  {
    return value;
  }
  const double bound = d < 0.0 ? m_box[axis] : m_box[axis + 3];
  // A centre drawn on the bound itself (a flat box, or f = 0) leaves nothing to scale by
  // on that side; the coordinate is kept rather than sent to infinity.
  if (bound == c)
  {
    return value;
  }
  const double t = d / (bound - c);
  return c + d * (1.0 + k * t);
}

bool algoMesh_Obfuscate::Perform(const TopoDS_Shape& shape)
{
  // 1. Copy the shape with its geometry and triangulations.
  TopoDS_Shape copy;
  try
  {
    if (!shape.IsNull())
    {
      BRepBuilderAPI_Copy copier(shape, true, true);
      if (copier.IsDone())
      {
        copy = copier.Shape();
      }
    }
  }
  catch (const Standard_Failure&)
  {
    copy.Nullify();
  }
  if (copy.IsNull())
  {
    send(m_progress, LogSeverity_Error, "Failed to copy shape.");
    return false;
  }

  // 2. A new history and the replacement tool on the copy.
  m_history = new BRepTools_History();
  Handle(algoBase_TopoKill) killer =
      new algoBase_TopoKill(copy, ActAPI_ProgressEntry(), ActAPI_PlotterEntry());

  // 3. Index the faces; face i of the copy is the copy of face i of the input.
  TopTools_IndexedMapOfShape inputFaces, copyFaces;
  TopExp::MapShapes(shape, TopAbs_FACE, inputFaces);
  TopExp::MapShapes(copy, TopAbs_FACE, copyFaces);

  // 4. Replace each meshed face by a surface-less face with the distorted mesh.
  m_progress.Init("Obfuscating faces", copyFaces.Extent());
  for (int i = 1; i <= copyFaces.Extent(); ++i)
  {
    m_progress.StepProgress(1);
    const TopoDS_Face& face = TopoDS::Face(copyFaces(i));
    TopLoc_Location    location;
    const Handle(Poly_Triangulation)& mesh = BRep_Tool::Triangulation(face, location);
    if (mesh.IsNull())
    {
      continue;
    }
    const TopoDS_Face newFace = makeDistortedFace(face, mesh);
    if (!killer->AskReplace(face, newFace))
    {
      send(m_progress, LogSeverity_Warning, "Face replacement is impossible.");
      return false;
    }
    m_history->AddModified(inputFaces.FindKey(i), newFace);
  }

  // 5. Rebuild the shape around the new faces.
  if (!killer->Apply())
  {
    send(m_progress, LogSeverity_Warning, "Face replacement was not performed.");
    return false;
  }

  // 6. Keep the result.
  m_result = killer->GetResult();
  m_progress.Complete();
  return true;
}

TopoDS_Face algoMesh_Obfuscate::makeDistortedFace(const TopoDS_Face& face,
                                                  const Handle(Poly_Triangulation) & mesh) const
{
  Handle(Poly_Triangulation) distorted = copyNodesAndTriangles(mesh);
  for (int i = 1; i <= distorted->NbNodes(); ++i)
  {
    distorted->SetNode(i, gp_Pnt(Distort(distorted->Node(i).XYZ())));
  }
  TopoDS_Face newFace;
  newFace.TShape(new BRep_TFace());
  newFace.Orientation(face.Orientation());
  BRep_Builder().UpdateFace(newFace, distorted);
  return newFace;
}
