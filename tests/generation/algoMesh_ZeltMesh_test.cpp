#include "GenerationChecks.hxx"

#include <algoMesh_ExtGen.hxx>
#include <algoMesh_ZeltMesh.hxx>

#include <QMData_MeshParameters.hxx>

#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRep_Tool.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>

#include <gtest/gtest.h>

#include <cstring>

using namespace quorin;

namespace
{
template <class T> T fieldAt(const QMData_MeshParameters& p, const size_t offset)
{
  T value;
  std::memcpy(&value, reinterpret_cast<const unsigned char*>(&p) + offset, sizeof(T));
  return value;
}

bool anyFaceMeshed(const TopoDS_Shape& shape)
{
  for (TopExp_Explorer faces(shape, TopAbs_FACE); faces.More(); faces.Next())
  {
    TopLoc_Location location;
    if (!BRep_Tool::Triangulation(TopoDS::Face(faces.Current()), location).IsNull())
    {
      return true;
    }
  }
  return false;
}
} // namespace

TEST(algoMesh_ZeltMesh, ParametersReachTheMesherAsTheRecordSays)
{
  algoMesh_SurfOptions options; // Real2 = 0: the minimum becomes 1e-7
  options.Real1 = 2.5;
  options.Real5 = 180.0;
  QMData_MeshParameters p;
  algoMesh_ZeltMesh::FillParameters(options, p);
  EXPECT_EQ(fieldAt<double>(p, 0), 2.5);
  EXPECT_DOUBLE_EQ(fieldAt<double>(p, 8), M_PI);
  EXPECT_EQ(fieldAt<double>(p, 16), 1e-7);
  EXPECT_EQ(fieldAt<double>(p, 24), 1e100); // untouched
  EXPECT_TRUE(fieldAt<bool>(p, 56));
  EXPECT_TRUE(fieldAt<bool>(p, 57));
  EXPECT_FALSE(fieldAt<bool>(p, 58));
  EXPECT_EQ(fieldAt<int>(p, 60), 3);
  EXPECT_EQ(fieldAt<int16_t>(p, 64), 0);
  // Update() ran: the effective values follow the fields.
  EXPECT_EQ(p.EffMaxSize, 2.5);
  EXPECT_DOUBLE_EQ(p.EffAngle, M_PI);
  EXPECT_EQ(p.EffMinSize, 1e-7);

  options.Real2 = 1e-7; // at the threshold: still 1e-7
  algoMesh_ZeltMesh::FillParameters(options, p);
  EXPECT_EQ(p.MinSize, 1e-7);
  options.Real2 = 0.01;
  algoMesh_ZeltMesh::FillParameters(options, p);
  EXPECT_EQ(p.MinSize, 0.01);
}

TEST(algoMesh_ZeltMesh, CallersShapeKeepsItsOwnTriangulations)
{
  const TopoDS_Shape box               = BRepPrimAPI_MakeBox(3.0, 2.0, 1.0).Shape();
  Handle(algoMesh_SurfOptions) options = algoMesh_SurfOptions::Default();
  options->Real1                       = 0.4;
  Handle(Poly_Triangulation) result;
  ASSERT_TRUE(algoMesh_ZeltMesh(box).Perform(options, result));
  EXPECT_FALSE(anyFaceMeshed(box));
  ASSERT_FALSE(result.IsNull());
  EXPECT_LE(gentest::MeasureEdgesAndAngles(result).maxEdge, 0.4 * (1.0 + 1e-9));
  EXPECT_NEAR(testmesh::SignedVolume(result), 6.0, 1e-9);

  // A shape meshed before keeps that very mesh.
  BRepMesh_IncrementalMesh(box, 0.5);
  TopLoc_Location   location;
  const TopoDS_Face face               = TopoDS::Face(TopExp_Explorer(box, TopAbs_FACE).Current());
  const Handle(Poly_Triangulation) own = BRep_Tool::Triangulation(face, location);
  ASSERT_TRUE(algoMesh_ZeltMesh(box).Perform(options, result));
  EXPECT_EQ(BRep_Tool::Triangulation(face, location), own);
}

TEST(algoMesh_ZeltMesh, FailuresLeaveTheResultAlone)
{
  const Handle(Poly_Triangulation) before = testmesh::Tetra();
  Handle(Poly_Triangulation) result       = before;
  const TopoDS_Shape box                  = BRepPrimAPI_MakeBox(1.0, 1.0, 1.0).Shape();
  EXPECT_FALSE(algoMesh_ZeltMesh(box).Perform(nullptr, result));
  EXPECT_FALSE(algoMesh_ZeltMesh(TopoDS_Shape()).Perform(algoMesh_SurfOptions::Default(), result));
  // A size in the wrong unit would give far too many triangles: refused, not attempted.
  Handle(algoMesh_SurfOptions) tiny = algoMesh_SurfOptions::Default();
  tiny->Real1                       = 1e-5;
  EXPECT_FALSE(algoMesh_ZeltMesh(box).Perform(tiny, result));
  EXPECT_EQ(result, before);
}

TEST(algoMesh_ZeltMesh, DefaultOptionsMeshAClosedCylinder)
{
  // No size: the mesh follows the first pass's deflection and the default angle.
  const TopoDS_Shape cylinder = BRepPrimAPI_MakeCylinder(1.0, 3.0).Shape();
  Handle(Poly_Triangulation) result;
  ASSERT_TRUE(algoMesh_ExtGen::DoZeltMesh(cylinder, algoMesh_SurfOptions::Default(), result,
                                          ActAPI_ProgressEntry()));
  const testmesh::EdgeCounts edges = testmesh::CountEdges(result);
  EXPECT_EQ(edges.boundary, 0);
  EXPECT_EQ(edges.nonManifold, 0);
  EXPECT_NEAR(testmesh::SignedVolume(result), 3.0 * M_PI, 0.01 * 3.0 * M_PI);
}

TEST(algoMesh_ZeltMesh, RealPartsAreWatertightAfterWelding)
{
  for (const char* file : {"cad/occt_bottle.brep", "cad/screw.step"})
  {
    SCOPED_TRACE(file);
    const TopoDS_Shape shape = gentest::ReadSharedShape(file);
    if (shape.IsNull())
    {
      GTEST_SKIP() << "shared data file " << file << " is absent";
    }
    Handle(algoMesh_SurfOptions) options = algoMesh_SurfOptions::Default();
    options->Real1                       = 1.5;
    options->Real5                       = 20.0;
    Handle(Poly_Triangulation) result;
    ASSERT_TRUE(algoMesh_ExtGen::DoZeltMesh(shape, options, result, ActAPI_ProgressEntry()));
    const testmesh::EdgeCounts edges = testmesh::CountEdges(result);
    EXPECT_EQ(edges.boundary, 0);
    EXPECT_EQ(edges.nonManifold, 0);
    EXPECT_LE(gentest::MeasureEdgesAndAngles(result).maxEdge, 1.5 * (1.0 + 1e-9));

    // The kernel's mesher on the same part welds into a closed mesh too.
    ASSERT_TRUE(algoMesh_ExtGen::DoNative(shape, 0.05, 0.3, ActAPI_ProgressEntry()));
    EXPECT_EQ(testmesh::CountEdges(gentest::Weld(shape)).boundary, 0);
  }
}
