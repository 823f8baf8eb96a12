// Decimation drivers: guarded entry, reductions reached, closed meshes kept closed, and the
// options each driver reports back.
#include <algoMesh_VTKDecimatePro.hxx>
#include <algoMesh_VTKQuadricDecimation.hxx>

#include <MeshBuilders.hxx>
#include <ReductionOptions.hxx>

#include <Standard_ProgramError.hxx>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace quorin;

namespace
{

//! A driver whose work throws, as a failing conversion or filter would.
class ThrowingDriver : public algoMesh_Decimate
{
public:
  algoMesh_DecimationOptions GetOptions() const override { return {}; }
  bool perform(const Handle(Poly_Triangulation) &, Handle(Poly_Triangulation) &) const override
  {
    throw Standard_ProgramError("boom");
  }
};

} // namespace

TEST(algoMesh_Decimate, DecimatedSphereStaysCloseToTheOriginalSurface)
{
  // Both ways: no node of the result strays from the input surface, and no part of the
  // input is left far from the result (a dropped cap or a collapsed fold would).
  const Handle(Poly_Triangulation) sphere = testmesh::Sphere(1.0, 48, 25);
  algoMesh_DecimationOptions options      = testmesh::WithReduction(75);
  options.FeatureAngle                    = 45;
  const algoMesh_VTKDecimatePro       pro(options);
  const algoMesh_VTKQuadricDecimation quadric(options);
  for (const algoMesh_Decimate* driver : {static_cast<const algoMesh_Decimate*>(&pro),
                                          static_cast<const algoMesh_Decimate*>(&quadric)})
  {
    SCOPED_TRACE(driver == &pro ? "vtkDecimatePro" : "quadric");
    Handle(Poly_Triangulation) out;
    ASSERT_TRUE(driver->Perform(sphere, out));
    ASSERT_LT(out->NbTriangles(), sphere->NbTriangles() / 2);
    // A quarter of the triangles of a sphere of radius 1 with 48 segments: chords of about
    // 0.26 sag by less than 0.01. The quadric filter stays within twice that; VTK's
    // vertex-deletion decimation, which re-triangulates the holes it leaves, within 0.05.
    // A dropped cap or a folded band would stray by a tenth of the radius or more.
    const double bound = driver == &pro ? 0.05 : 0.02;
    EXPECT_LT(testmesh::NodeToSurfaceDistances(out, sphere).first, bound);
    EXPECT_LT(testmesh::NodeToSurfaceDistances(sphere, out).first, bound);
  }
}

TEST(algoMesh_Decimate, NullOrTriangleFreeInputAnswersFalse)
{
  const algoMesh_VTKQuadricDecimation quadric(testmesh::WithReduction(50));
  const algoMesh_VTKDecimatePro       pro(testmesh::WithReduction(50));
  Handle(Poly_Triangulation) out;
  EXPECT_FALSE(quadric.Perform(Handle(Poly_Triangulation)(), out));
  EXPECT_FALSE(pro.Perform(Handle(Poly_Triangulation)(), out));
  const Handle(Poly_Triangulation) nodesOnly = new Poly_Triangulation();
  nodesOnly->ResizeNodes(3, false);
  EXPECT_FALSE(quadric.Perform(nodesOnly, out));
  EXPECT_FALSE(pro.Perform(nodesOnly, out));
  EXPECT_TRUE(out.IsNull());
}

TEST(algoMesh_Decimate, ThrownFailureIsReportedOnStandardOutput)
{
  Handle(Poly_Triangulation) out;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(ThrowingDriver().Perform(testmesh::Tetra(), out));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: decimation crashed\n");

  // A triangle naming a missing node makes the conversion throw: same report.
  Handle(Poly_Triangulation) broken = testmesh::Tetra();
  broken->SetTriangle(1, Poly_Triangle(1, 2, 99));
  testing::internal::CaptureStdout();
  EXPECT_FALSE(algoMesh_VTKQuadricDecimation(testmesh::WithReduction(50)).Perform(broken, out));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: decimation crashed\n");
}

TEST(algoMesh_Decimate, QuadricDriverHalvesSphereAndKeepsItClosed)
{
  const Handle(Poly_Triangulation) sphere = testmesh::Sphere(1.0, 48, 25);
  const int nIn                           = sphere->NbTriangles();
  Handle(Poly_Triangulation) out;
  ASSERT_TRUE(algoMesh_VTKQuadricDecimation(testmesh::WithReduction(50)).Perform(sphere, out));
  // Each collapse of a closed mesh removes two triangles; the run stops at the target.
  EXPECT_LE(out->NbTriangles(), nIn / 2);
  EXPECT_GE(out->NbTriangles(), nIn / 2 - 2);
  const testmesh::EdgeCounts edges = testmesh::CountEdges(out);
  EXPECT_EQ(edges.boundary, 0);
  EXPECT_EQ(edges.nonManifold, 0);
  EXPECT_NEAR(testmesh::SignedVolume(out), testmesh::SignedVolume(sphere), 0.02);
  EXPECT_EQ(sphere->NbTriangles(), nIn); // the input is never modified
}

TEST(algoMesh_Decimate, ProDriverReachesTargetOnSphere)
{
  const Handle(Poly_Triangulation) sphere = testmesh::Sphere(1.0, 48, 25);
  Handle(Poly_Triangulation) out;
  // The default feature angle 0 makes every vertex a corner: with topology preserved,
  // nothing may go.
  ASSERT_TRUE(algoMesh_VTKDecimatePro(testmesh::WithReduction(75)).Perform(sphere, out));
  EXPECT_EQ(out->NbTriangles(), sphere->NbTriangles());

  algoMesh_DecimationOptions options = testmesh::WithReduction(75);
  options.FeatureAngle               = 45;
  ASSERT_TRUE(algoMesh_VTKDecimatePro(options).Perform(sphere, out));
  EXPECT_NEAR(out->NbTriangles(), sphere->NbTriangles() / 4.0, 0.02 * sphere->NbTriangles());
  EXPECT_EQ(testmesh::CountEdges(out).boundary, 0); // topology preserved by default
  EXPECT_GT(testmesh::SignedVolume(out), 0.0);
}

TEST(algoMesh_Decimate, ReductionOutsidePercentRangeIsClamped)
{
  const Handle(Poly_Triangulation) sphere = testmesh::Sphere(1.0, 16, 9);
  Handle(Poly_Triangulation) out;
  ASSERT_TRUE(algoMesh_VTKQuadricDecimation(testmesh::WithReduction(-10)).Perform(sphere, out));
  EXPECT_EQ(out->NbTriangles(), sphere->NbTriangles());
  // Above 100 percent acts as 100: the sphere collapses as far as folds allow, possibly to
  // nothing (then false).
  Handle(Poly_Triangulation) all, beyond;
  const bool allDone =
      algoMesh_VTKQuadricDecimation(testmesh::WithReduction(100)).Perform(sphere, all);
  const bool beyondDone =
      algoMesh_VTKQuadricDecimation(testmesh::WithReduction(150)).Perform(sphere, beyond);
  ASSERT_EQ(allDone, beyondDone);
  if (allDone)
  {
    EXPECT_EQ(all->NbTriangles(), beyond->NbTriangles());
    EXPECT_LT(all->NbTriangles(), sphere->NbTriangles() / 4);
  }
  ASSERT_TRUE(algoMesh_VTKDecimatePro(testmesh::WithReduction(-10)).Perform(sphere, out));
  EXPECT_EQ(out->NbTriangles(), sphere->NbTriangles());
}

TEST(algoMesh_Decimate, DriversReportTheOptionsTheyUse)
{
  algoMesh_DecimationOptions options = testmesh::WithReduction(40);
  options.Splitting                  = true; // not given, still used by the Pro driver
  const TCollection_AsciiString pro  = algoMesh_VTKDecimatePro(options).GetOptions().GetCmdLine();
  EXPECT_STREQ(pro.ToCString(), " -reduction 40 -featureAngle 0 -preserveTopo on"
                                " -delBndVertices on -splitting on -splitAngle 0");

  const algoMesh_DecimationOptions quadric = algoMesh_VTKQuadricDecimation(options).GetOptions();
  EXPECT_STREQ(quadric.GetCmdLine().ToCString(), " -reduction 40");
  EXPECT_FALSE(quadric.Splitting);
}

TEST(algoMesh_Decimate, AwkwardMeshesGiveValidMeshesOrFalse)
{
  Handle(Poly_Triangulation) withNaN = testmesh::Sphere(1.0, 16, 9);
  withNaN->SetNode(5, gp_Pnt(std::nan(""), 0.0, 0.0));
  const Handle(Poly_Triangulation) meshes[] = {
      testmesh::NonManifoldFin(), testmesh::OpenBox(), testmesh::Unwelded(testmesh::Cube()),
      testmesh::Triangle(gp_Pnt(0, 0, 0), gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0)), withNaN};
  for (const Handle(Poly_Triangulation) & mesh : meshes)
  {
    for (const double percent : {50.0, 90.0})
    {
      Handle(Poly_Triangulation) out;
      const algoMesh_VTKQuadricDecimation quadric(testmesh::WithReduction(percent));
      const algoMesh_VTKDecimatePro       pro(testmesh::WithReduction(percent));
      for (const algoMesh_Decimate* driver : {static_cast<const algoMesh_Decimate*>(&quadric),
                                              static_cast<const algoMesh_Decimate*>(&pro)})
      {
        out.Nullify();
        if (!driver->Perform(mesh, out))
        {
          continue;
        }
        ASSERT_FALSE(out.IsNull());
        EXPECT_LE(out->NbTriangles(), mesh->NbTriangles());
        for (int t = 1; t <= out->NbTriangles(); ++t)
        {
          int n[3];
          out->Triangle(t).Get(n[0], n[1], n[2]);
          for (const int node : n)
          {
            EXPECT_TRUE(node >= 1 && node <= out->NbNodes());
          }
        }
      }
    }
  }
}

TEST(algoMesh_Decimate, UnweldedInputIsWeldedBeforeDecimation)
{
  // The cleaner merges the soup's coincident corners, so the sphere decimates as a closed
  // surface instead of as separate triangles.
  const Handle(Poly_Triangulation) soup = testmesh::Unwelded(testmesh::Sphere(1.0, 24, 13));
  Handle(Poly_Triangulation) out;
  ASSERT_TRUE(algoMesh_VTKQuadricDecimation(testmesh::WithReduction(50)).Perform(soup, out));
  EXPECT_LE(out->NbTriangles(), soup->NbTriangles() / 2);
  EXPECT_EQ(testmesh::CountEdges(out).boundary, 0);
}
