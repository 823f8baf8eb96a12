#include <algoMesh_Convert.hxx>
#include <algoMesh_Smooth.hxx>

#include <MeshBuilders.hxx>

#include <ActAPI_RecordingNotifier.hxx>

#include <gtest/gtest.h>

#include <vtkNew.h>
#include <vtkPolyData.h>
#include <vtkSmoothPolyDataFilter.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace Smooth = quorin::algoMesh_Smooth;

namespace
{
// The sphere of radius 1 with every node moved radially by up to +-5 %, reproducibly.
Handle(Poly_Triangulation) noisySphere()
{
  Handle(Poly_Triangulation) mesh = testmesh::Sphere(1.0, 24, 12);
  std::mt19937                           random(7);
  std::uniform_real_distribution<double> noise(-0.05, 0.05);
  for (int i = 1; i <= mesh->NbNodes(); ++i)
  {
    mesh->SetNode(i, gp_Pnt(mesh->Node(i).XYZ() * (1.0 + noise(random))));
  }
  return mesh;
}

// Standard deviation of the nodes' distances from the origin.
double radialSpread(const Handle(Poly_Triangulation) & mesh)
{
  double sum = 0.0, sum2 = 0.0;
  for (int i = 1; i <= mesh->NbNodes(); ++i)
  {
    const double r = mesh->Node(i).XYZ().Modulus();
    sum += r;
    sum2 += r * r;
  }
  const double n = mesh->NbNodes();
  return std::sqrt(std::max(0.0, sum2 / n - (sum / n) * (sum / n)));
}

// A flat 12 x 12 grid of unit squares with reproducible height noise on its inner nodes.
Handle(Poly_Triangulation) noisyPatch()
{
  const int                              n = 13;
  std::vector<gp_Pnt>                    nodes;
  std::vector<std::array<int, 3>>        triangles;
  std::mt19937                           random(3);
  std::uniform_real_distribution<double> noise(-0.2, 0.2);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i)
    {
      const bool isBorder = i == 0 || j == 0 || i == n - 1 || j == n - 1;
      nodes.emplace_back(i, j, isBorder ? 0.0 : noise(random));
    }
  for (int j = 0; j + 1 < n; ++j)
    for (int i = 0; i + 1 < n; ++i)
    {
      const int a = j * n + i + 1, b = a + 1, c = a + n, d = c + 1;
      triangles.push_back({a, b, d});
      triangles.push_back({a, d, c});
    }
  return testmesh::Make(nodes, triangles);
}

// Root mean square of the node heights.
double height(const Handle(Poly_Triangulation) & mesh)
{
  double sum2 = 0.0;
  for (int i = 1; i <= mesh->NbNodes(); ++i)
    sum2 += mesh->Node(i).Z() * mesh->Node(i).Z();
  return std::sqrt(sum2 / mesh->NbNodes());
}

// Distance from `p` to the nearest node of the mesh.
double nearestNode(const gp_Pnt& p, const Handle(Poly_Triangulation) & mesh)
{
  double nearest = 1e300;
  for (int k = 1; k <= mesh->NbNodes(); ++k)
    nearest = std::min(nearest, p.Distance(mesh->Node(k)));
  return nearest;
}

std::vector<double> nodesOf(const Handle(Poly_Triangulation) & mesh)
{
  std::vector<double> coordinates;
  for (int i = 1; i <= mesh->NbNodes(); ++i)
    for (int k = 1; k <= 3; ++k)
      coordinates.push_back(mesh->Node(i).Coord(k));
  return coordinates;
}

// Three noisy sheets of 10 x 3 squares hinged on one zig-zag spine: the spine's edges are
// non-manifold, its points bend by about 6 degrees (they slide along the spine) or by
// about 27 degrees (they stay). A degenerate triangle and a node no triangle uses are added.
Handle(Poly_Triangulation) noisyBook()
{
  std::vector<gp_Pnt>                    nodes;
  std::vector<std::array<int, 3>>        triangles;
  std::mt19937                           random(11);
  std::uniform_real_distribution<double> noise(-0.1, 0.1);
  const int                              n = 11;
  for (int i = 0; i < n; ++i)
  {
    nodes.emplace_back(i, 0.0, (i % 4 < 2 ? 0.05 : 0.25) * (i % 2)); // spine: 1 .. n
  }
  const gp_Vec directions[3] = {gp_Vec(0, 1, 0), gp_Vec(0, -1, 0.2), gp_Vec(0.1, 0.3, 1)};
  for (const gp_Vec& direction : directions)
  {
    const int rowStart = static_cast<int>(nodes.size()) + 1;
    for (int j = 1; j <= 3; ++j)
    {
      for (int i = 0; i < n; ++i)
      {
        nodes.push_back(gp_Pnt(i, 0, 0)
                            .Translated(direction * j)
                            .Translated(gp_Vec(noise(random), noise(random), noise(random))));
      }
    }
    auto id = [&](int j, int i) { return j == 0 ? i + 1 : rowStart + (j - 1) * n + i; };
    for (int j = 0; j < 3; ++j)
    {
      for (int i = 0; i + 1 < n; ++i)
      {
        triangles.push_back({id(j, i), id(j, i + 1), id(j + 1, i + 1)});
        triangles.push_back({id(j, i), id(j + 1, i + 1), id(j + 1, i)});
      }
    }
  }
  triangles.push_back({n + 5, n + 5, n + 6});
  nodes.emplace_back(50.0, 50.0, 50.0);
  return testmesh::Make(nodes, triangles);
}

void expectSingleError(const Handle(ActAPI_RecordingNotifier) & notifier, const char* text)
{
  const std::vector<ActAPI_LogMessage> messages = notifier->Messages();
  ASSERT_EQ(1u, messages.size());
  EXPECT_STREQ(text, messages[0].Text.ToCString());
  EXPECT_EQ(LogSeverity_Error, messages[0].Severity);
  EXPECT_EQ(LogPriority_Normal, messages[0].Priority);
}
} // namespace

TEST(algoMesh_Smooth, BothPathsReduceNoiseKeepCountsAndLeaveInputAlone)
{
  const Handle(Poly_Triangulation) mesh = noisySphere();
  const std::vector<double> before      = nodesOf(mesh);
  const double              spread      = radialSpread(mesh);

  Handle(Poly_Triangulation) byOpenMesh, byVTK;
  ASSERT_TRUE(Smooth::DoOpenMesh(mesh, 10, Smooth::Component_TangentialNormal, byOpenMesh,
                                 ActAPI_ProgressEntry()));
  ASSERT_TRUE(Smooth::DoVTK(mesh, 200, byVTK, ActAPI_ProgressEntry()));
  for (const Handle(Poly_Triangulation) & smoothed : {byOpenMesh, byVTK})
  {
    EXPECT_EQ(mesh->NbNodes(), smoothed->NbNodes());
    EXPECT_EQ(mesh->NbTriangles(), smoothed->NbTriangles());
    EXPECT_EQ(0, testmesh::CountEdges(smoothed).boundary);
    EXPECT_LT(radialSpread(smoothed), 0.75 * spread);
    EXPECT_GT(testmesh::SignedVolume(smoothed), 0.0); // orientation kept
  }
  EXPECT_EQ(before, nodesOf(mesh));
}

// The VTK path moves the points as vtkSmoothPolyDataFilter does (boundary and feature-edge
// smoothing off), bit for bit: closed, open, non-manifold and degenerate meshes.
TEST(algoMesh_Smooth, VTKPathGivesTheFilterPointsExactly)
{
  for (const Handle(Poly_Triangulation) & mesh : {noisySphere(), noisyPatch(), noisyBook()})
  {
    for (const int iterations : {1, 7, 60})
    {
      vtkSmartPointer<vtkPolyData> polyData;
      ASSERT_TRUE(quorin::algoMesh_Convert::ToVTK(mesh, polyData));
      vtkNew<vtkSmoothPolyDataFilter> filter;
      filter->SetInputData(polyData);
      filter->SetFeatureEdgeSmoothing(0);
      filter->SetBoundarySmoothing(0);
      filter->SetNumberOfIterations(iterations);
      filter->Update();
      Handle(Poly_Triangulation) expected;
      ASSERT_TRUE(quorin::algoMesh_Convert::FromVTK(filter->GetOutput(), expected));

      Handle(Poly_Triangulation) smoothed;
      ASSERT_TRUE(Smooth::DoVTK(mesh, iterations, smoothed, ActAPI_ProgressEntry()));
      ASSERT_EQ(expected->NbTriangles(), smoothed->NbTriangles());
      EXPECT_EQ(nodesOf(expected), nodesOf(smoothed)) << iterations << " iterations";
      EXPECT_NE(nodesOf(expected), nodesOf(mesh));
    }
  }
}

TEST(algoMesh_Smooth, NormalComponentFlattensWhatTangentialKeeps)
{
  const Handle(Poly_Triangulation) patch = noisyPatch();
  Handle(Poly_Triangulation) normal, tangential;
  ASSERT_TRUE(
      Smooth::DoOpenMesh(patch, 20, Smooth::Component_Normal, normal, ActAPI_ProgressEntry()));
  ASSERT_TRUE(Smooth::DoOpenMesh(patch, 20, Smooth::Component_Tangential, tangential,
                                 ActAPI_ProgressEntry()));
  EXPECT_LT(height(normal), 0.75 * height(patch));
  // Tangential moves stay in the tangent planes: the bumps remain.
  EXPECT_GT(height(tangential), 0.95 * height(patch));
}

TEST(algoMesh_Smooth, BoundaryNodesOfAnOpenPatchStayInPlace)
{
  const Handle(Poly_Triangulation) patch = noisyPatch();
  Handle(Poly_Triangulation) byOpenMesh, byVTK;
  ASSERT_TRUE(Smooth::DoOpenMesh(patch, 20, Smooth::Component_TangentialNormal, byOpenMesh,
                                 ActAPI_ProgressEntry()));
  ASSERT_TRUE(Smooth::DoVTK(patch, 100, byVTK, ActAPI_ProgressEntry()));
  for (const Handle(Poly_Triangulation) & smoothed : {byOpenMesh, byVTK})
  {
    ASSERT_EQ(patch->NbNodes(), smoothed->NbNodes());
    EXPECT_LT(height(smoothed), height(patch));
    // Conversions may renumber nodes: each boundary node must still be found in place.
    for (int i = 1; i <= patch->NbNodes(); ++i)
    {
      const gp_Pnt& p = patch->Node(i);
      if (p.X() != 0 && p.Y() != 0 && p.X() != 12 && p.Y() != 12)
        continue;
      EXPECT_LT(nearestNode(p, smoothed), 1e-6) << "boundary node " << i;
    }
  }
}

TEST(algoMesh_Smooth, ZeroIterationsCopyTheGeometry)
{
  const Handle(Poly_Triangulation) mesh = noisySphere();
  Handle(Poly_Triangulation) copy;
  ASSERT_TRUE(Smooth::DoOpenMesh(mesh, 0, Smooth::Component_Normal, copy, ActAPI_ProgressEntry()));
  ASSERT_EQ(mesh->NbNodes(), copy->NbNodes());
  for (int i = 1; i <= mesh->NbNodes(); ++i) // single precision on the way
    EXPECT_LT(nearestNode(mesh->Node(i), copy), 1e-6);
}

TEST(algoMesh_Smooth, RefusalsAnswerFalseWithTheirMessages)
{
  const Handle(Poly_Triangulation) mesh      = testmesh::Tetra();
  Handle(Poly_Triangulation) result          = testmesh::Cube(); // must survive every refusal
  const Handle(Poly_Triangulation) untouched = result;

  // An unknown component: false without a word.
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  EXPECT_FALSE(Smooth::DoOpenMesh(mesh, 5, static_cast<Smooth::Component>(3), result, notifier));
  EXPECT_TRUE(notifier->Messages().empty());

  // Null meshes and triangles naming missing nodes cannot be converted.
  const Handle(Poly_Triangulation) broken =
      testmesh::Make({gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0), gp_Pnt(0, 1, 0)}, {{1, 2, 9}});
  for (const Handle(Poly_Triangulation) & bad : {Handle(Poly_Triangulation)(), broken})
  {
    notifier = new ActAPI_RecordingNotifier();
    EXPECT_FALSE(Smooth::DoOpenMesh(bad, 5, Smooth::Component_Normal, result, notifier));
    expectSingleError(notifier, "Cannot convert to OpenMesh polygonal data.");
    notifier = new ActAPI_RecordingNotifier();
    EXPECT_FALSE(Smooth::DoVTK(bad, 5, result, notifier));
    expectSingleError(notifier, "Cannot convert to VTK polygonal data.");
  }

  // A negative count would be a near endless run for OpenMesh; VTK clamps it to 0, so the
  // geometry comes back unchanged.
  notifier = new ActAPI_RecordingNotifier();
  EXPECT_FALSE(Smooth::DoOpenMesh(mesh, -1, Smooth::Component_Normal, result, notifier));
  expectSingleError(notifier, "The number of smoothing iterations must not be negative.");
  {
    Handle(Poly_Triangulation) unsmoothed;
    ASSERT_TRUE(Smooth::DoVTK(mesh, -3, unsmoothed, {}));
    ASSERT_EQ(mesh->NbNodes(), unsmoothed->NbNodes());
    for (int k = 1; k <= mesh->NbNodes(); ++k)
    {
      EXPECT_LT(mesh->Node(k).Distance(unsmoothed->Node(k)), 1e-12) << "node " << k;
    }
  }

  // A node that is not finite would spread through every step.
  Handle(Poly_Triangulation) poisoned = testmesh::Tetra();
  poisoned->SetNode(2, gp_Pnt(0, std::nan(""), 0));
  notifier = new ActAPI_RecordingNotifier();
  EXPECT_FALSE(Smooth::DoOpenMesh(poisoned, 5, Smooth::Component_Normal, result, notifier));
  expectSingleError(notifier, "The mesh has a node with a coordinate that is not a finite number.");
  notifier = new ActAPI_RecordingNotifier();
  EXPECT_FALSE(Smooth::DoVTK(poisoned, 5, result, notifier));
  expectSingleError(notifier, "The mesh has a node with a coordinate that is not a finite number.");

  // Nothing comes out of VTK for a mesh without triangles.
  notifier = new ActAPI_RecordingNotifier();
  EXPECT_FALSE(Smooth::DoVTK(new Poly_Triangulation(), 5, result, notifier));
  expectSingleError(notifier, "Cannot convert the smoothed mesh to a persistent form.");

  // A cancelled run answers false and says why.
  notifier = new ActAPI_RecordingNotifier();
  notifier->RequestCancel();
  EXPECT_FALSE(Smooth::DoOpenMesh(mesh, 5, Smooth::Component_Normal, result, notifier));
  EXPECT_EQ(std::vector<std::string>{"Operation cancelled."}, notifier->Texts());
  notifier = new ActAPI_RecordingNotifier();
  notifier->RequestCancel();
  EXPECT_FALSE(Smooth::DoVTK(noisySphere(), 50, result, notifier));
  EXPECT_EQ(std::vector<std::string>{"Operation cancelled."}, notifier->Texts());

  EXPECT_EQ(untouched, result);
}

TEST(algoMesh_Smooth, EmptyMeshGivesEmptyResultThroughOpenMesh)
{
  Handle(Poly_Triangulation) result;
  ASSERT_TRUE(Smooth::DoOpenMesh(new Poly_Triangulation(), 3, Smooth::Component_Normal, result,
                                 ActAPI_ProgressEntry()));
  EXPECT_EQ(0, result->NbTriangles());
}
