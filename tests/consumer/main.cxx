// The smallest useful host: meshes a box, welds its face meshes, checks the quality of the
// result and prints the statistics, linking the installed package only.
#include <algoMesh_Checker.hxx>
#include <algoMesh_Conglomerate.hxx>
#include <algoMesh_Info.hxx>

#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepPrimAPI_MakeBox.hxx>

#include <iostream>

int main()
{
  TopoDS_Shape             box = BRepPrimAPI_MakeBox(10.0, 20.0, 30.0).Shape();
  BRepMesh_IncrementalMesh mesher(box, 1.0);

  quorin::algoMesh_Info info;
  info.ExtractInfoFrom(box);
  info.Dump(std::cout);

  const quorin::algoMesh_Conglomerate welded(box);
  quorin::algoMesh_Checker            checker(welded.GetPlain(), ActAPI_ProgressEntry(),
                                              ActAPI_PlotterEntry());
  if (!checker.Perform(quorin::QualityMetric_MinAngle))
  {
    return 1;
  }
  const Handle(quorin::algoMesh_Field) angles =
      checker.QualityInfo()->Field(quorin::QualityMetric_MinAngle);
  std::cout << "Welded nodes: " << welded.GetPlain()->NbNodes() << "\n"
            << "Triangles with a minimum angle: " << angles->NbTuples() << "\n";
  return angles->NbTuples() == welded.GetPlain()->NbTriangles() ? 0 : 1;
}
