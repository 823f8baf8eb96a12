#include <MeshBuilders.hxx>

#include <algoMesh_Info.hxx>

#include <gtest/gtest.h>

TEST(algoMesh_Info, NullTriangulationGivesZeros)
{
  quorin::algoMesh_Info info;
  info.NbNodes = 5;
  info.ExtractInfoFrom(Handle(Poly_Triangulation)());
  EXPECT_EQ(0, info.NbNodes);
  EXPECT_EQ(0, info.NbTriangles);
  EXPECT_EQ(0.0, info.MaxDeviation);
}
