// Mesh statistics: one pass over the face triangulations of a shape, O(number of faces).
#include <algoMesh_Info.hxx>

#include <BRep_Tool.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>

using namespace quorin;

void algoMesh_Info::ExtractInfoFrom(const Handle(Poly_Triangulation)& mesh)
{
  if (mesh.IsNull())
  {
    NbNodes      = 0;
    NbTriangles  = 0;
    MaxDeviation = 0.0;
    return;
  }
  NbNodes      = mesh->NbNodes();
  NbTriangles  = mesh->NbTriangles();
  MaxDeviation = mesh->Deflection();
}

void algoMesh_Info::ExtractInfoFrom(const TopoDS_Shape& shape)
{
  if (shape.IsNull())
  {
    return;
  }
  NbNodes      = 0;
  NbTriangles  = 0;
  MaxDeviation = 0.0;
  for (TopExp_Explorer exp(shape, TopAbs_FACE); exp.More(); exp.Next())
  {
    TopLoc_Location                   location;
    const Handle(Poly_Triangulation)& mesh =
      BRep_Tool::Triangulation(TopoDS::Face(exp.Current()), location);
    if (mesh.IsNull())
    {
      continue;
    }
    NbNodes += mesh->NbNodes();
    NbTriangles += mesh->NbTriangles();
    if (mesh->Deflection() > MaxDeviation)
    {
      MaxDeviation = mesh->Deflection();
    }
  }
}

void algoMesh_Info::Dump(std::ostream& out) const
{
  out << "Num. triangles: " << NbTriangles << "\n";
  out << "Num. nodes: " << NbNodes << "\n";
  out << "Max surface deviation: " << MaxDeviation << "\n";
}
