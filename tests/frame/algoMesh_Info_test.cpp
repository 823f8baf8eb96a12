#include <MeshBuilders.hxx>

#include <algoMesh_Info.hxx>

#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRep_Builder.hxx>
#include <TopoDS_Compound.hxx>

#include <gtest/gtest.h>

#include <sstream>

namespace
{
Handle(Poly_Triangulation)
    withDeflection(const Handle(Poly_Triangulation) & mesh, const double deflection)
{
  mesh->Deflection(deflection);
  return mesh;
}

TopoDS_Compound compoundOf(const std::vector<TopoDS_Shape>& shapes)
{
  TopoDS_Compound compound;
  BRep_Builder    builder;
  builder.MakeCompound(compound);
  for (const TopoDS_Shape& shape : shapes)
  {
    builder.Add(compound, shape);
  }
  return compound;
}
} // namespace

TEST(algoMesh_Info, NullTriangulationGivesZeros)
{
  quorin::algoMesh_Info info;
  info.NbNodes      = 5;
  info.NbTriangles  = 3;
  info.MaxDeviation = 0.1;
  info.ExtractInfoFrom(Handle(Poly_Triangulation)());
  EXPECT_EQ(0, info.NbNodes);
  EXPECT_EQ(0, info.NbTriangles);
  EXPECT_EQ(0.0, info.MaxDeviation);
}

TEST(algoMesh_Info, TriangulationReplacesEarlierValues)
{
  quorin::algoMesh_Info info;
  info.ExtractInfoFrom(withDeflection(testmesh::Cube(), 0.3));
  info.ExtractInfoFrom(withDeflection(testmesh::TwoEquilaterals(), 0.01));
  EXPECT_EQ(4, info.NbNodes);
  EXPECT_EQ(2, info.NbTriangles);
  EXPECT_EQ(0.01, info.MaxDeviation); // replaced, not the larger of the two
}

TEST(algoMesh_Info, NullShapeLeavesRecordUnchanged)
{
  quorin::algoMesh_Info info;
  info.ExtractInfoFrom(testmesh::Cube());
  info.ExtractInfoFrom(TopoDS_Shape());
  EXPECT_EQ(8, info.NbNodes);
  EXPECT_EQ(12, info.NbTriangles);
}

TEST(algoMesh_Info, UnmeshedShapeGivesZeros)
{
  quorin::algoMesh_Info info;
  info.ExtractInfoFrom(testmesh::Cube());
  info.ExtractInfoFrom(BRepPrimAPI_MakeBox(1.0, 1.0, 1.0).Shape());
  EXPECT_EQ(0, info.NbNodes);
  EXPECT_EQ(0, info.NbTriangles);
  EXPECT_EQ(0.0, info.MaxDeviation);
}

TEST(algoMesh_Info, FaceMetTwiceCountsTwiceAndLargestDeflectionWins)
{
  const TopoDS_Face first  = testmesh::FaceOf(withDeflection(testmesh::TwoEquilaterals(), 0.5));
  const TopoDS_Face second = testmesh::FaceOf(withDeflection(testmesh::Equilateral(), 0.25));

  quorin::algoMesh_Info info;
  info.ExtractInfoFrom(compoundOf({first, first, second}));
  EXPECT_EQ(4 + 4 + 3, info.NbNodes);
  EXPECT_EQ(2 + 2 + 1, info.NbTriangles);
  EXPECT_EQ(0.5, info.MaxDeviation);

  std::ostringstream out;
  info.Dump(out);
  EXPECT_EQ("Num. triangles: 5\nNum. nodes: 11\nMax surface deviation: 0.5\n", out.str());
}

TEST(algoMesh_Info, MeshedSolidSumsItsFaces)
{
  const TopoDS_Shape       box = BRepPrimAPI_MakeBox(1.0, 2.0, 3.0).Shape();
  BRepMesh_IncrementalMesh mesher(box, 0.1);
  quorin::algoMesh_Info    info;
  info.ExtractInfoFrom(box);
  // Six planar rectangles, each meshed on its own four corners.
  EXPECT_EQ(24, info.NbNodes);
  EXPECT_EQ(12, info.NbTriangles);
}

TEST(algoMesh_Info, DumpPrintsTrianglesBeforeNodes)
{
  quorin::algoMesh_Info info;
  info.ExtractInfoFrom(withDeflection(testmesh::TwoEquilaterals(), 0.001234567));
  std::ostringstream out;
  info.Dump(out);
  EXPECT_EQ("Num. triangles: 2\nNum. nodes: 4\nMax surface deviation: 0.00123457\n", out.str());

  // The stream's own formatting applies to the deviation.
  std::ostringstream fixed;
  fixed.setf(std::ios::fixed);
  fixed.precision(2);
  info.Dump(fixed);
  EXPECT_EQ("Num. triangles: 2\nNum. nodes: 4\nMax surface deviation: 0.00\n", fixed.str());
}
