// Helpers of the generation tests: shapes from files (built ones in GeneratedParts.hxx),
// and the measures a generated mesh is judged by (closedness after welding, edge lengths, angles).
#ifndef GenerationChecks_HeaderFile
#define GenerationChecks_HeaderFile

#include <GeneratedParts.hxx>
#include <MeshBuilders.hxx>

#include <QMData_MeshParameters.hxx>
#include <QMShape_Tessellator.hxx>
#include <algoMesh_CheckSelfIntersections.hxx>
#include <algoMesh_Conglomerate.hxx>

#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <STEPControl_Reader.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

namespace gentest
{

//! The shape of a BREP or STEP file under the shared data folder; null when absent.
inline TopoDS_Shape ReadSharedShape(const std::string& relative)
{
  const std::string path = testmesh::SharedDataFile(relative);
  TopoDS_Shape      shape;
  if (path.empty())
  {
    return shape;
  }
  if (path.size() > 5 && path.substr(path.size() - 5) == ".step")
  {
    STEPControl_Reader reader;
    if (reader.ReadFile(path.c_str()) == IFSelect_RetDone && reader.TransferRoots() > 0)
    {
      shape = reader.OneShape();
    }
  }
  else
  {
    BRepTools::Read(shape, path.c_str(), BRep_Builder());
  }
  return shape;
}

//! Median of the distinct edge lengths and share (0..1) of triangles whose smallest angle
//! is under 20 degrees.
struct SizeShape
{
  double medianEdge = 0.0;
  double under20    = 0.0;
};

inline SizeShape MeasureSizeAndShape(const Handle(Poly_Triangulation) & mesh)
{
  std::map<std::pair<int, int>, double> edges;
  int                                   slivers = 0;
  for (int i = 1; i <= mesh->NbTriangles(); ++i)
  {
    int n[3];
    mesh->Triangle(i).Get(n[0], n[1], n[2]);
    double smallest = M_PI;
    for (int k = 0; k < 3; ++k)
    {
      const gp_Pnt a = mesh->Node(n[k]), b = mesh->Node(n[(k + 1) % 3]),
                   c                           = mesh->Node(n[(k + 2) % 3]);
      edges[std::minmax(n[k], n[(k + 1) % 3])] = a.Distance(b);
      const gp_Vec u(a, b), v(a, c);
      smallest = u.Magnitude() > 0.0 && v.Magnitude() > 0.0 ? std::min(smallest, u.Angle(v)) : 0.0;
    }
    slivers += smallest < 20.0 * M_PI / 180.0;
  }
  std::vector<double> lengths;
  for (const auto& edge : edges)
  {
    lengths.push_back(edge.second);
  }
  std::sort(lengths.begin(), lengths.end());
  SizeShape result;
  result.medianEdge = lengths.empty() ? 0.0 : lengths[lengths.size() / 2];
  result.under20    = mesh->NbTriangles() > 0 ? double(slivers) / mesh->NbTriangles() : 0.0;
  return result;
}

//! Longest edge and smallest angle (radians) over the triangles of a mesh.
struct EdgeAngleStats
{
  double maxEdge  = 0.0;
  double minAngle = M_PI;
};

inline EdgeAngleStats MeasureEdgesAndAngles(const Handle(Poly_Triangulation) & mesh)
{
  EdgeAngleStats stats;
  for (int i = 1; i <= mesh->NbTriangles(); ++i)
  {
    int n[3];
    mesh->Triangle(i).Get(n[0], n[1], n[2]);
    for (int k = 0; k < 3; ++k)
    {
      const gp_Pnt a = mesh->Node(n[k]), b = mesh->Node(n[(k + 1) % 3]),
                   c = mesh->Node(n[(k + 2) % 3]);
      stats.maxEdge  = std::max(stats.maxEdge, a.Distance(b));
      const gp_Vec u(a, b), v(a, c);
      if (u.Magnitude() > 0.0 && v.Magnitude() > 0.0)
      {
        stats.minAngle = std::min(stats.minAngle, u.Angle(v));
      }
    }
  }
  return stats;
}

//! The face meshes of a shape welded at 1e-7.
inline Handle(Poly_Triangulation) Weld(const TopoDS_Shape& shape)
{
  quorin::algoMesh_Conglomerate conglomerate(shape);
  return conglomerate.GetPlain();
}

//! Meshes the shape at `size` and expects what every tessellation must have whatever the
//! part: no fold left, closed and manifold after welding, no edge above the size, no
//! triangle crossing another. Answers the welded mesh, or null (a failure) when the
//! tessellator fails.
inline Handle(Poly_Triangulation)
    ExpectSoundTessellation(const TopoDS_Shape& shape, const double size)
{
  QMData_MeshParameters parameters;
  parameters.MaxSize = size;
  parameters.Update();
  QMShape_Tessellator tessellator;
  tessellator.SetShape(shape);
  tessellator.SetParameters(parameters);
  tessellator.Perform();
  if (!tessellator.IsDone())
  {
    ADD_FAILURE() << "the tessellator failed";
    return Handle(Poly_Triangulation)();
  }
  EXPECT_EQ(tessellator.NbFolds(), 0);
  const Handle(Poly_Triangulation) mesh = Weld(shape);
  const testmesh::EdgeCounts edges      = testmesh::CountEdges(mesh);
  EXPECT_EQ(edges.boundary, 0);
  EXPECT_EQ(edges.nonManifold, 0);
  EXPECT_LE(MeasureEdgesAndAngles(mesh).maxEdge, size * (1.0 + 1e-9));
  Handle(quorin::algoMesh_CheckSelfIntersections) check =
      new quorin::algoMesh_CheckSelfIntersections();
  check->SaveSelfIntersections(true);
  EXPECT_FALSE(check->Perform(mesh))
      << check->IntersectingTriangles().Extent() << " triangles cross others";
  return mesh;
}

} // namespace gentest

#endif
