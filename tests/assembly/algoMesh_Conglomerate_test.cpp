#include <algoMesh_Conglomerate.hxx>
#include <algoMesh_PointSeparation.hxx>

#include <MeshBuilders.hxx>

#include <BRepGProp.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <GProp_GProps.hxx>
#include <STEPControl_Reader.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>

#include <gtest/gtest.h>

#include <set>

using quorin::algoMesh_Conglomerate;

namespace
{
// Unit box whose six planar faces are meshed with 4 nodes and 2 triangles each.
TopoDS_Shape meshedBox()
{
  TopoDS_Shape box = BRepPrimAPI_MakeBox(1.0, 1.0, 1.0).Shape();
  BRepMesh_IncrementalMesh(box, 1.0);
  return box;
}

void expectClosedOutward(const Handle(Poly_Triangulation) & mesh)
{
  ASSERT_FALSE(mesh.IsNull());
  const testmesh::EdgeCounts edges = testmesh::CountEdges(mesh);
  EXPECT_EQ(0, edges.boundary);
  EXPECT_EQ(0, edges.nonManifold);
  EXPECT_GT(testmesh::SignedVolume(mesh), 0.0);
}
} // namespace

TEST(algoMesh_Conglomerate, MeshedBoxWeldsIntoEightNodes)
{
  const TopoDS_Shape    box = meshedBox();
  algoMesh_Conglomerate weld;
  weld.Build(box, algoMesh_Conglomerate::Mode_CoherentAndPlain, true);
  EXPECT_EQ(8, weld.GetCoherent()->NNodes());
  EXPECT_EQ(12, weld.GetCoherent()->NTriangles());
  expectClosedOutward(weld.GetPlain()); // the box has reversed faces
  EXPECT_NEAR(1.0, testmesh::SignedVolume(weld.GetPlain()), 1e-12);

  // Every triangle number 1..12 appears once over the six faces.
  EXPECT_EQ(6, weld.FaceTriangles().Extent());
  std::set<int> numbers;
  for (algoMesh_Conglomerate::FaceTrianglesMap::Iterator it(weld.FaceTriangles()); it.More();
       it.Next())
  {
    EXPECT_EQ(2, it.Value().Length());
    for (NCollection_Vector<int>::Iterator n(it.Value()); n.More(); n.Next())
      numbers.insert(n.Value());
  }
  EXPECT_EQ(12u, numbers.size());
  EXPECT_EQ(1, *numbers.begin());
  EXPECT_EQ(12, *numbers.rbegin());
}

TEST(algoMesh_Conglomerate, CollapsedTrianglesAreDropped)
{
  // The second triangle has two corners 0.5e-7 apart.
  const Handle(Poly_Triangulation) mesh = testmesh::Make(
      {gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0), gp_Pnt(0, 1, 0), gp_Pnt(1, 0.5e-7, 0), gp_Pnt(1, 1, 0)},
      {{1, 2, 3}, {2, 4, 5}});
  algoMesh_Conglomerate weld(mesh);
  EXPECT_EQ(1, weld.GetCoherent()->NTriangles());
  ASSERT_FALSE(weld.GetPlain().IsNull());
  EXPECT_EQ(1, weld.GetPlain()->NbTriangles());

  // Only collapsed triangles: nothing survives, the plain result is null.
  algoMesh_Conglomerate none(
      testmesh::Triangle(gp_Pnt(0, 0, 0), gp_Pnt(0, 0, 1e-8), gp_Pnt(1, 0, 0)));
  EXPECT_EQ(0, none.GetCoherent()->NTriangles());
  EXPECT_TRUE(none.GetPlain().IsNull());
}

TEST(algoMesh_Conglomerate, ReversedFaceSwapsSecondAndThirdNode)
{
  const TopoDS_Shape    face = testmesh::FaceOf(testmesh::Equilateral()).Reversed();
  algoMesh_Conglomerate weld;
  weld.Build(face);
  ASSERT_FALSE(weld.GetPlain().IsNull());
  int a, b, c;
  weld.GetPlain()->Triangle(1).Get(a, b, c);
  EXPECT_EQ(1, a);
  EXPECT_EQ(3, b);
  EXPECT_EQ(2, c);
}

TEST(algoMesh_Conglomerate, ModesAndEmptyInput)
{
  algoMesh_Conglomerate coherentOnly(testmesh::Cube(), algoMesh_Conglomerate::Mode_Coherent);
  EXPECT_TRUE(coherentOnly.GetPlain().IsNull());
  EXPECT_EQ(12, coherentOnly.GetCoherent()->NTriangles());

  algoMesh_Conglomerate both(testmesh::Cube());
  ASSERT_FALSE(both.GetPlain().IsNull());
  EXPECT_EQ(8, both.GetPlain()->NbNodes());
  EXPECT_EQ(12, both.GetPlain()->NbTriangles());
  expectClosedOutward(both.GetPlain());

  // Nothing triangulated: empty coherent result, null plain result.
  algoMesh_Conglomerate empty(TopoDS_Shape{});
  ASSERT_FALSE(empty.GetCoherent().IsNull());
  EXPECT_EQ(0, empty.GetCoherent()->NNodes());
  EXPECT_TRUE(empty.GetPlain().IsNull());
  algoMesh_Conglomerate nulls(std::vector<Handle(Poly_Triangulation)>{nullptr, nullptr});
  EXPECT_EQ(0, nulls.GetCoherent()->NTriangles());
}

TEST(algoMesh_Conglomerate, LocatedCopiesStaySeparateUnlessWithinTolerance)
{
  const Handle(Poly_Triangulation) tetra = testmesh::Tetra();
  gp_Trsf far, near;
  far.SetTranslation(gp_Vec(10, 0, 0));
  near.SetTranslation(gp_Vec(0.5e-7, 0, 0));

  algoMesh_Conglomerate apart({tetra, tetra}, {TopLoc_Location(), TopLoc_Location(far)});
  EXPECT_EQ(8, apart.GetPlain()->NbNodes());
  EXPECT_EQ(8, apart.GetPlain()->NbTriangles());
  EXPECT_NEAR(10.0, apart.GetPlain()->Node(8).X() - tetra->Node(4).X(), 1e-12);

  algoMesh_Conglomerate together({tetra, tetra}, {TopLoc_Location(), TopLoc_Location(near)});
  EXPECT_EQ(4, together.GetPlain()->NbNodes());
  EXPECT_EQ(8, together.GetPlain()->NbTriangles());
}

// The flat welding gives the coherent route's plain mesh node for node: faces with
// locations and reversed orientation, a collapsed triangle whose node becomes unused, and a
// node no triangle ever uses.
TEST(algoMesh_Conglomerate, PlainModeMatchesTheCoherentCopy)
{
  gp_Trsf near;
  near.SetTranslation(gp_Vec(0.5e-7, 0, 0));
  const Handle(Poly_Triangulation) withUnused =
      testmesh::Make({gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0), gp_Pnt(0, 1, 0), gp_Pnt(5, 5, 5),
                      gp_Pnt(1, 0.5e-7, 0), gp_Pnt(1, 1, 0), gp_Pnt(2, 2, 0)},
                     {{1, 2, 3}, {2, 5, 6}, {3, 6, 7}});
  std::vector<TopoDS_Shape> inputs = {
      meshedBox(), testmesh::FaceOf(testmesh::Sphere(1.0, 12, 7)).Reversed(),
      testmesh::FaceOf(withUnused),
      algoMesh_Conglomerate({testmesh::Tetra(), testmesh::Cube(), testmesh::Tetra()},
                            {TopLoc_Location(), TopLoc_Location(), TopLoc_Location(near)},
                            algoMesh_Conglomerate::Mode_Coherent)
          .GetShape()};
  for (const TopoDS_Shape& input : inputs)
  {
    algoMesh_Conglomerate coherent, flat;
    coherent.Build(input, algoMesh_Conglomerate::Mode_CoherentAndPlain, true);
    flat.Build(input, algoMesh_Conglomerate::Mode_Plain, true);
    EXPECT_TRUE(flat.GetCoherent().IsNull());
    const Handle(Poly_Triangulation)& a = coherent.GetPlain();
    const Handle(Poly_Triangulation)& b = flat.GetPlain();
    ASSERT_FALSE(a.IsNull());
    ASSERT_FALSE(b.IsNull());
    ASSERT_EQ(a->NbNodes(), b->NbNodes());
    ASSERT_EQ(a->NbTriangles(), b->NbTriangles());
    EXPECT_EQ(a->HasUVNodes(), b->HasUVNodes());
    EXPECT_EQ(a->HasNormals(), b->HasNormals());
    for (int i = 1; i <= a->NbNodes(); ++i)
    {
      EXPECT_TRUE(a->Node(i).XYZ().IsEqual(b->Node(i).XYZ(), 0.0)) << "node " << i;
      EXPECT_TRUE(a->UVNode(i).XY().IsEqual(b->UVNode(i).XY(), 0.0)) << "node " << i;
    }
    for (int t = 1; t <= a->NbTriangles(); ++t)
    {
      int a1, a2, a3, b1, b2, b3;
      a->Triangle(t).Get(a1, a2, a3);
      b->Triangle(t).Get(b1, b2, b3);
      EXPECT_TRUE(a1 == b1 && a2 == b2 && a3 == b3) << "triangle " << t;
    }
    EXPECT_EQ(coherent.FaceTriangles().Extent(), flat.FaceTriangles().Extent());
  }
  // Nothing survives: null in both.
  algoMesh_Conglomerate none(
      testmesh::Triangle(gp_Pnt(0, 0, 0), gp_Pnt(0, 0, 1e-8), gp_Pnt(1, 0, 0)),
      algoMesh_Conglomerate::Mode_Plain);
  EXPECT_TRUE(none.GetPlain().IsNull());
}

// Real models: every face meshed by the kernel, welded; a closed solid must give a closed,
// outward mesh whose volume is that of the solid within what the deflection allows.
class algoMesh_ConglomerateRealData : public ::testing::TestWithParam<const char*>
{
};

TEST_P(algoMesh_ConglomerateRealData, ClosedSolidGivesClosedOutwardMesh)
{
  const std::string path = testmesh::SharedDataFile(GetParam());
  if (path.empty())
  {
    GTEST_SKIP() << "shared data file " << GetParam() << " is absent";
  }
  TopoDS_Shape shape;
  if (path.size() > 5 && path.substr(path.size() - 5) == ".step")
  {
    STEPControl_Reader reader;
    ASSERT_EQ(IFSelect_RetDone, reader.ReadFile(path.c_str()));
    reader.TransferRoots();
    shape = reader.OneShape();
  }
  else
  {
    BRep_Builder builder;
    ASSERT_TRUE(BRepTools::Read(shape, path.c_str(), builder));
  }
  const double deflection = 0.01;
  BRepMesh_IncrementalMesh(shape, deflection, false, 0.5);

  int nbFaceNodes = 0;
  for (TopExp_Explorer exp(shape, TopAbs_FACE); exp.More(); exp.Next())
  {
    TopLoc_Location loc;
    nbFaceNodes += BRep_Tool::Triangulation(TopoDS::Face(exp.Current()), loc)->NbNodes();
  }
  algoMesh_Conglomerate weld(shape);
  const Handle(Poly_Triangulation)& mesh = weld.GetPlain();
  expectClosedOutward(mesh);
  // Both solids are spheres topologically: V - E + F = 2 with E = 3F/2 gives V = F/2 + 2.
  EXPECT_EQ(mesh->NbTriangles() / 2 + 2, mesh->NbNodes());
  EXPECT_LT(mesh->NbNodes(), nbFaceNodes);
  std::printf("%s: %d face nodes -> %d welded nodes, %d triangles\n", GetParam(), nbFaceNodes,
              mesh->NbNodes(), mesh->NbTriangles());

  GProp_GProps props;
  BRepGProp::SurfaceProperties(shape, props);
  const double expected =
      std::string(GetParam()).find("screw") != std::string::npos ? 3788.27 : 6962.86;
  EXPECT_NEAR(expected, testmesh::SignedVolume(mesh), props.Mass() * deflection);
}

INSTANTIATE_TEST_SUITE_P(Models,
                         algoMesh_ConglomerateRealData,
                         ::testing::Values("cad/screw.step", "cad/occt_bottle.brep"));

// A single face whose nodes are all apart keeps them without the welding index; the result
// must be what the index gives. The index route is forced by a second face far away, whose
// nodes and triangles come after those of the first in both results.
TEST(algoMesh_Conglomerate, SeparatedFaceKeepsItsNodesAsWeldingWould)
{
  gp_Trsf placed;
  placed.SetRotation(gp_Ax1(gp_Pnt(0, 0, 0), gp_Dir(1, 1, 0)), 0.3);
  placed.SetTranslationPart(gp_Vec(3, -2, 1));
  // The torus gains an unused node and a triangle that collapses (two equal corners).
  const Handle(Poly_Triangulation) torus = testmesh::Torus(1.0, 0.3, 40, 20);
  std::vector<gp_Pnt>             nodes;
  std::vector<std::array<int, 3>> triangles;
  for (int i = 1; i <= torus->NbNodes(); ++i)
  {
    nodes.push_back(torus->Node(i));
  }
  nodes.emplace_back(7, 7, 7);
  for (int t = 1; t <= torus->NbTriangles(); ++t)
  {
    int a, b, c;
    torus->Triangle(t).Get(a, b, c);
    triangles.push_back({a, b, c});
  }
  triangles.push_back({1, 2, 1});
  const Handle(Poly_Triangulation) mesh = testmesh::Make(nodes, triangles);
  const Handle(Poly_Triangulation) far =
      testmesh::Triangle(gp_Pnt(100, 0, 0), gp_Pnt(101, 0, 0), gp_Pnt(100, 1, 0));
  ASSERT_TRUE(quorin::algoMesh_PointSeparation::IsSeparated(mesh, nullptr, 2e-7));

  for (const TopLoc_Location& location : {TopLoc_Location(), TopLoc_Location(placed)})
  {
    for (const bool reversed : {false, true})
    {
      for (const auto mode :
           {algoMesh_Conglomerate::Mode_Plain, algoMesh_Conglomerate::Mode_CoherentAndPlain})
      {
        TopoDS_Face face = testmesh::FaceOf(mesh);
        face.Location(location);
        if (reversed)
        {
          face.Reverse();
        }
        TopoDS_Compound withFar;
        BRep_Builder    builder;
        builder.MakeCompound(withFar);
        builder.Add(withFar, face);
        builder.Add(withFar, testmesh::FaceOf(far));

        algoMesh_Conglomerate alone, indexed;
        alone.Build(face, mode, false);
        indexed.Build(withFar, mode, false);
        const Handle(Poly_Triangulation)& a = alone.GetPlain();
        const Handle(Poly_Triangulation)& b = indexed.GetPlain();
        ASSERT_FALSE(a.IsNull());
        ASSERT_FALSE(b.IsNull());
        ASSERT_EQ(torus->NbNodes(), a->NbNodes());
        ASSERT_EQ(a->NbNodes() + 3, b->NbNodes());
        ASSERT_EQ(torus->NbTriangles(), a->NbTriangles());
        ASSERT_EQ(a->NbTriangles() + 1, b->NbTriangles());
        for (int i = 1; i <= a->NbNodes(); ++i)
        {
          ASSERT_TRUE(a->Node(i).XYZ().IsEqual(b->Node(i).XYZ(), 0.0)) << "node " << i;
          ASSERT_TRUE(a->UVNode(i).XY().IsEqual(b->UVNode(i).XY(), 0.0)) << "node " << i;
        }
        for (int t = 1; t <= a->NbTriangles(); ++t)
        {
          int a1, a2, a3, b1, b2, b3;
          a->Triangle(t).Get(a1, a2, a3);
          b->Triangle(t).Get(b1, b2, b3);
          ASSERT_TRUE(a1 == b1 && a2 == b2 && a3 == b3) << "triangle " << t;
        }
      }
    }
  }
}
