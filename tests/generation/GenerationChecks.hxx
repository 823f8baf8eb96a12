// Helpers of the generation tests: shapes from files and the measures a generated mesh is
// judged by (closedness after welding, edge lengths, angles).
#ifndef GenerationChecks_HeaderFile
#define GenerationChecks_HeaderFile

#include <MeshBuilders.hxx>

#include <algoMesh_Conglomerate.hxx>

#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <STEPControl_Reader.hxx>

#include <algorithm>
#include <cmath>
#include <string>

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

} // namespace gentest

#endif
