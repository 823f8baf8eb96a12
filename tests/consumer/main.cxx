// Meshes a box and prints its statistics: the smallest useful host.
#include <algoMesh_Info.hxx>

#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepPrimAPI_MakeBox.hxx>

#include <iostream>

int main()
{
  TopoDS_Shape box = BRepPrimAPI_MakeBox(10.0, 20.0, 30.0).Shape();
  BRepMesh_IncrementalMesh mesher(box, 1.0);

  quorin::algoMesh_Info info;
  info.ExtractInfoFrom(box);
  info.Dump(std::cout);
  return info.NbTriangles > 0 ? 0 : 1;
}
