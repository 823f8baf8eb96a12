// The quadric filter's result stands in for the topology-preserving collapses only where it
// keeps their guarantees: taken as it is on a smooth closed solid, refused where it pushes
// one surface through another or opens a solid, never tried on an open input.
#include <algoMesh_Conglomerate.hxx>
#include <algoMesh_ExtGen.hxx>
#include <algoMesh_TopoDecimation.hxx>
#include <algoMesh_VTKQuadricDecimation.hxx>
#include <algoMesh_VerifiedQuadricFilter.hxx>

#include <MeshBuilders.hxx>
#include <ReductionOptions.hxx>

#include <BRepTools.hxx>
#include <BRep_Builder.hxx>

#include <gtest/gtest.h>

using namespace quorin;

namespace
{

algoMesh_VerifiedQuadricFilter::Verdict verify(const Handle(Poly_Triangulation) & input,
                                               const double reduction,
                                               Handle(Poly_Triangulation) & output,
                                               TCollection_AsciiString& reason)
{
  algoMesh_ProgressScope progress{ActAPI_ProgressEntry(), TCollection_AsciiString()};
  return algoMesh_VerifiedQuadricFilter::Perform(input, reduction, output, progress, &reason);
}

void expectSameMesh(const Handle(Poly_Triangulation) & a, const Handle(Poly_Triangulation) & b)
{
  ASSERT_EQ(a->NbNodes(), b->NbNodes());
  ASSERT_EQ(a->NbTriangles(), b->NbTriangles());
  for (int i = 1; i <= a->NbNodes(); ++i)
  {
    EXPECT_EQ(a->Node(i).Distance(b->Node(i)), 0.0);
  }
  for (int t = 1; t <= a->NbTriangles(); ++t)
  {
    int a1, a2, a3, b1, b2, b3;
    a->Triangle(t).Get(a1, a2, a3);
    b->Triangle(t).Get(b1, b2, b3);
    EXPECT_TRUE(a1 == b1 && a2 == b2 && a3 == b3);
  }
}

} // namespace

TEST(algoMesh_VerifiedQuadricFilter, AcceptedResultIsTheFiltersOnASmoothSolid)
{
  const Handle(Poly_Triangulation) torus = testmesh::Torus(3.0, 1.0, 48, 24);
  Handle(Poly_Triangulation) verified, filter, topo;
  TCollection_AsciiString reason;
  ASSERT_EQ(verify(torus, 80, verified, reason), algoMesh_VerifiedQuadricFilter::Verdict_Accepted)
      << reason;
  EXPECT_TRUE(reason.IsEmpty());
  ASSERT_TRUE(algoMesh_VTKQuadricDecimation(testmesh::WithReduction(80)).Perform(torus, filter));
  expectSameMesh(verified, filter);
  // The topology-preserving decimation asked to try the filter first hands back that result.
  algoMesh_TopoDecimation filterFirst(testmesh::WithReduction(80));
  filterFirst.SetFilterFirst(true);
  ASSERT_TRUE(filterFirst.Perform(torus, topo));
  EXPECT_EQ(filterFirst.LastPath(), algoMesh_TopoDecimation::Path_FilterAccepted);
  expectSameMesh(topo, filter);
}

TEST(algoMesh_VerifiedQuadricFilter, RefusedWhereTheFilterBreaksAGuarantee)
{
  // A ball in a shell 0.01 thicker: at 95 % the filter pushes one surface through the other.
  const Handle(Poly_Triangulation) nested =
      testmesh::Combine(testmesh::Sphere(1.0, 96, 64), testmesh::Sphere(1.01, 96, 64));
  Handle(Poly_Triangulation) output;
  TCollection_AsciiString reason;
  EXPECT_EQ(verify(nested, 95, output, reason), algoMesh_VerifiedQuadricFilter::Verdict_Refused);
  EXPECT_EQ(reason, TCollection_AsciiString("the result has crossing triangles"));
  EXPECT_TRUE(output.IsNull());

  // A tetrahedron cannot lose a triangle and stay a closed surface: one collapse leaves two
  // triangles on the same three nodes, the whole reduction nothing.
  EXPECT_EQ(verify(testmesh::Tetra(), 50, output, reason),
            algoMesh_VerifiedQuadricFilter::Verdict_Refused);
  EXPECT_EQ(reason,
            TCollection_AsciiString("the result is not a closed, oriented, manifold surface"));
  EXPECT_EQ(verify(testmesh::Tetra(), 100, output, reason),
            algoMesh_VerifiedQuadricFilter::Verdict_Refused);
  EXPECT_EQ(reason, TCollection_AsciiString("the result has no triangle"));
  EXPECT_TRUE(output.IsNull());
}

TEST(algoMesh_VerifiedQuadricFilter, RefusedWhereATriangleTurnsOverOnACadPart)
{
  // The bottle's kernel mesh at deflection 0.05, as `quorin-mesh mesh` makes it: at 90 % the
  // filter moves triangles across the thin neck (one ends up facing away from the triangle
  // it descends from), and leaves 2 boundary edges, a non-manifold edge and 12 crossing
  // pairs. The turn is found first; the collapses then keep the part a closed solid.
  const std::string path = testmesh::SharedDataFile("cad/occt_bottle.brep");
  if (path.empty())
  {
    GTEST_SKIP() << "shared data cad/occt_bottle.brep is absent";
  }
  TopoDS_Shape bottle;
  ASSERT_TRUE(BRepTools::Read(bottle, path.c_str(), BRep_Builder()));
  ASSERT_TRUE(algoMesh_ExtGen::DoNative(bottle, 0.05, 1.0, ActAPI_ProgressEntry()));
  const Handle(Poly_Triangulation) mesh = algoMesh_Conglomerate(bottle).GetPlain();
  ASSERT_FALSE(mesh.IsNull());
  ASSERT_TRUE(testmesh::IsClosedAndOriented(mesh));
  Handle(Poly_Triangulation) output, result;
  TCollection_AsciiString reason;
  EXPECT_EQ(verify(mesh, 90, output, reason), algoMesh_VerifiedQuadricFilter::Verdict_Refused);
  EXPECT_EQ(reason, TCollection_AsciiString(
                        "a triangle of the result turned beyond the limit from its ancestor"));
  ASSERT_TRUE(algoMesh_TopoDecimation(testmesh::WithReduction(90)).Perform(mesh, result));
  EXPECT_TRUE(testmesh::IsClosedAndOriented(result));
  const testmesh::EdgeCounts edges = testmesh::CountEdges(result);
  EXPECT_EQ(edges.boundary, 0);
  EXPECT_EQ(edges.nonManifold, 0);
  EXPECT_TRUE(testmesh::BruteSelfIntersections(result).empty());
  EXPECT_LE(result->NbTriangles(), mesh->NbTriangles() / 9);
}

TEST(algoMesh_VerifiedQuadricFilter, OpenOrInconsistentInputIsNotTried)
{
  // The tetrahedron less one face has a boundary; with one face turned, its edges run the
  // same way twice.
  const Handle(Poly_Triangulation) tetra = testmesh::Tetra();
  Handle(Poly_Triangulation) open        = new Poly_Triangulation(4, 3, false);
  Handle(Poly_Triangulation) turned      = new Poly_Triangulation(4, 4, false);
  for (int i = 1; i <= 4; ++i)
  {
    open->SetNode(i, tetra->Node(i));
    turned->SetNode(i, tetra->Node(i));
  }
  for (int t = 1; t <= 4; ++t)
  {
    int a, b, c;
    tetra->Triangle(t).Get(a, b, c);
    if (t < 4)
    {
      open->SetTriangle(t, Poly_Triangle(a, b, c));
    }
    turned->SetTriangle(t, t == 4 ? Poly_Triangle(a, c, b) : Poly_Triangle(a, b, c));
  }
  Handle(Poly_Triangulation) output;
  TCollection_AsciiString reason;
  for (const Handle(Poly_Triangulation) & input : {open, turned})
  {
    EXPECT_EQ(verify(input, 50, output, reason),
              algoMesh_VerifiedQuadricFilter::Verdict_NotApplicable);
    EXPECT_EQ(reason,
              TCollection_AsciiString("the input is not a closed, oriented, manifold surface"));
  }
}

TEST(algoMesh_VerifiedQuadricFilter, RefusedRunLeavesACheckedStateToContinueFrom)
{
  // The ball in a thin shell: the filter's result crosses, but the run passes through states
  // that keep every guarantee until late. The latest such state is found by replaying the
  // run's collapses, and the topology-preserving decimation goes on from it.
  const Handle(Poly_Triangulation) nested =
      testmesh::Combine(testmesh::Sphere(1.0, 96, 64), testmesh::Sphere(1.01, 96, 64));
  const int                              nbInput = nested->NbTriangles();
  algoMesh_VerifiedQuadricFilter::Prefix prefix;
  Handle(Poly_Triangulation) output;
  algoMesh_ProgressScope progress{ActAPI_ProgressEntry(), TCollection_AsciiString()};
  ASSERT_EQ(algoMesh_VerifiedQuadricFilter::Perform(nested, 95, output, progress, nullptr, &prefix),
            algoMesh_VerifiedQuadricFilter::Verdict_Refused);
  // Two triangles go with each collapse of a closed manifold.
  EXPECT_NEAR(2.0 * double(prefix.Log.size()), 0.95 * nbInput, 4.0);
  ASSERT_TRUE(algoMesh_VerifiedQuadricFilter::FindPrefix(nested, 95, prefix, progress));
  ASSERT_FALSE(prefix.Triangles.empty());
  EXPECT_LT(prefix.NbCollapses, prefix.Log.size());
  EXPECT_GT(prefix.Triangles.size(), size_t(0.05 * nbInput));
  EXPECT_LE(prefix.Triangles.size(), size_t(0.1 * nbInput) + 2);
  ASSERT_EQ(prefix.NodeOf.size(), prefix.InputNodes.size());
  EXPECT_EQ(prefix.InputTriangles.size(), size_t(nbInput));
  for (const int node : prefix.NodeOf)
  {
    ASSERT_GE(node, 0);
    ASSERT_LT(node, int(prefix.Nodes.size()));
  }
  Handle(Poly_Triangulation) state =
      new Poly_Triangulation(int(prefix.Nodes.size()), int(prefix.Triangles.size()), false);
  for (size_t i = 0; i < prefix.Nodes.size(); ++i)
  {
    state->SetNode(int(i) + 1, gp_Pnt(prefix.Nodes[i][0], prefix.Nodes[i][1], prefix.Nodes[i][2]));
  }
  for (size_t t = 0; t < prefix.Triangles.size(); ++t)
  {
    const std::array<int, 3>& tri = prefix.Triangles[t];
    state->SetTriangle(int(t) + 1, Poly_Triangle(tri[0] + 1, tri[1] + 1, tri[2] + 1));
  }
  EXPECT_TRUE(testmesh::IsClosedAndOriented(state));
  EXPECT_TRUE(testmesh::BruteSelfIntersections(state).empty());

  // Continued: closed, apart, at the reduction asked, and at about the filter's error (its
  // mean below the filter's, its largest within a tenth above).
  Handle(Poly_Triangulation) topo, filter;
  algoMesh_TopoDecimation filterFirst(testmesh::WithReduction(95));
  filterFirst.SetFilterFirst(true);
  ASSERT_TRUE(filterFirst.Perform(nested, topo));
  EXPECT_EQ(filterFirst.LastPath(), algoMesh_TopoDecimation::Path_FilterContinued);
  ASSERT_TRUE(algoMesh_VTKQuadricDecimation(testmesh::WithReduction(95)).Perform(nested, filter));
  EXPECT_TRUE(testmesh::IsClosedAndOriented(topo));
  EXPECT_TRUE(testmesh::BruteSelfIntersections(topo).empty());
  EXPECT_LE(topo->NbTriangles(), int(0.05 * nbInput) + 4);
  const std::pair<double, double> ours   = testmesh::NodeToSurfaceDistances(nested, topo);
  const std::pair<double, double> theirs = testmesh::NodeToSurfaceDistances(nested, filter);
  EXPECT_LT(ours.second, theirs.second);
  EXPECT_LT(ours.first, 1.1 * theirs.first);
}
