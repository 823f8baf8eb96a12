#include <MeshBuilders.hxx>

#include <algoMesh_NAS.hxx>

#include <ActAPI_RecordingNotifier.hxx>
#include <MorvDS_MeshFacesIterator.hxx>
#include <MorvDS_MeshNodesIterator.hxx>
#include <MorvTools_NASReader.hxx>
#include <MorvTools_NASWriter.hxx>

#include <gp_Trsf.hxx>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace quorin;

namespace
{

std::string spit(const std::string& name, const std::string& text)
{
  const std::string path = testmesh::TempPath(name);
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

std::string slurp(const std::string& path)
{
  std::ifstream     file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

Handle(MorvDS_Mesh) read(const std::string& path, const ActAPI_ProgressEntry& progress = {})
{
  Handle(MorvDS_Mesh) mesh;
  return algoMesh_NAS::Read(path.c_str(), mesh, progress) ? mesh : Handle(MorvDS_Mesh)();
}

gp_Pnt nodeAt(const Handle(MorvDS_Mesh) & mesh, const int id)
{
  const Handle(MorvDS_MeshNode) node = mesh->FindNode(id);
  return node.IsNull() ? gp_Pnt(-1e9, -1e9, -1e9) : node->Pnt();
}

std::vector<int> elementNodes(const Handle(MorvDS_Mesh) & mesh, const int id)
{
  std::vector<int> ids;
  const Handle(MorvDS_MeshElement) element = mesh->FindElement(id);
  for (int i = 0; !element.IsNull() && i < element->NbNodes(); ++i)
  {
    ids.push_back(element->NodeID(i));
  }
  return ids;
}

//! Facts of a shared NASTRAN file: grid points, elements by kind, node box.
struct NasFacts
{
  const char* File;
  int         Grids, Edges, Triangles, Quadrangles, Tetrahedra, Pyramids, Prisms, Hexahedra;
  std::array<double, 6> Box;
};

} // namespace

TEST(algoMesh_NAS, SharedFilesReadWithTheirCounts)
{
  const NasFacts facts[] = {
      {"freecad_GRIDSTAR_CQUAD4_large.bdf", 4, 0, 0, 1, 0, 0, 0, 0, {0, -1, 0, 1, 1, 0}},
      {"freecad_GRID_CTRIA3_small.bdf", 3, 0, 1, 0, 0, 0, 0, 0, {0, 0, 0, 1, 1, 0}},
      {"pynastran_ac10804.bdf", 1923, 0, 0, 1600, 0, 0, 0, 100, {0, 0, -1, 10, 10, 0}},
      {"pynastran_cantilevered_plate_3D_mixed_fields.bdf",
       312,
       0,
       0,
       0,
       0,
       0,
       0,
       125,
       {0, 0, -10, 5000, 1000, 0}},
      {"pynastran_cc508a_free.bdf", 34, 0, 0, 0, 0, 0, 1, 1, {0, 0, 0, 12.5, 90, 90}},
      {"pynastran_contact.bdf",
       789,
       0,
       0,
       414,
       1137,
       0,
       0,
       0,
       {-5, 22.3149, -60.7034, 112.002, 96.8988, 63.6567}},
      {"pynastran_dmg401ns_large.bdf", 12, 0, 0, 0, 0, 0, 2, 1, {0, 0, 0, 1, 1, 1}},
      {"pynastran_ehbus69.bdf", 310, 0, 10, 8, 20, 0, 8, 6, {0, 0, 0, 1, 1, 1}},
      // The folder's facts leave out its CTRIAR and CQUADR, read here as a triangle and a
      // quadrangle: one more of each.
      {"pynastran_geom_all_elements.inc", 40, 4, 10, 7, 2, 0, 2, 1, {-1, 0, -4, 2, 1, 3}},
      {"pynastran_plate.bdf", 36, 0, 0, 25, 0, 0, 0, 0, {0, 0, 0, 10, 10, 0}},
      {"pynastran_plate_mixed_tabs.bdf", 36, 0, 2, 24, 0, 0, 0, 0, {0, 0, 0, 10, 10, 0}},
      {"pynastran_pload4_chexa_free.bdf", 8, 0, 0, 0, 0, 0, 0, 1, {0, 0, 0, 1, 1, 2}},
      {"pynastran_pload4_cpenta_free.bdf", 6, 0, 0, 0, 0, 0, 1, 0, {0, 0, 0, 1, 1, 2}},
      {"pynastran_pload4_cquad4_free.bdf", 4, 0, 0, 1, 0, 0, 0, 0, {0, 0, 0, 1, 1, 0}},
      {"pynastran_pload4_ctetra10_free.bdf", 10, 0, 0, 0, 1, 0, 0, 0, {0, 0, 0, 1, 1, 1}},
      {"pynastran_pload4_ctetra_free.bdf", 4, 0, 0, 0, 1, 0, 0, 0, {0, 0, 0, 1, 1, 1}},
      {"pynastran_pload4_ctria3_free.bdf", 3, 0, 1, 0, 0, 0, 0, 0, {0, 0, 0, 1, 1, 0}},
      {"pynastran_sample_model_mixed.inc",
       55,
       0,
       4,
       11,
       50,
       16,
       1,
       3,
       {-0.03, 0, -0.01, 0.035, 0.04, 0.015}},
      {"pynastran_solid_bending.bdf", 72, 0, 0, 0, 186, 0, 0, 0, {0, 0, 0, 1, 2, 3}},
      {"pynastran_test_vba_large.bdf",
       35,
       0,
       0,
       4,
       66,
       0,
       0,
       0,
       {-1150.07, -775.06, -155, 1150.06, 775.066, 155}},
      {"t3_tets_prisms_small.bdf",
       1708,
       24,
       92,
       0,
       2760,
       0,
       1564,
       0,
       {-0.3, -0.0081, 0, 0.1, 0.308109, 0.408109}}};
  if (testmesh::SharedDataFile("nas/pynastran_plate.bdf").empty())
  {
    GTEST_SKIP() << "shared data folder /work/shared/data/nas is absent";
  }
  for (const NasFacts& fact : facts)
  {
    const std::string path = testmesh::SharedDataFile(std::string("nas/") + fact.File);
    Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
    const Handle(MorvDS_Mesh) mesh            = read(path, notifier);
    ASSERT_FALSE(mesh.IsNull()) << fact.File << ": "
                                << (notifier->Texts().empty() ? "" : notifier->Texts().back());
    EXPECT_EQ(fact.Grids, mesh->NbNodes()) << fact.File;
    const testmesh::ElementCounts counts = testmesh::CountElements(mesh);
    EXPECT_EQ(fact.Edges, counts.edges) << fact.File;
    EXPECT_EQ(fact.Triangles, counts.triangles) << fact.File;
    EXPECT_EQ(fact.Quadrangles, counts.quadrangles) << fact.File;
    EXPECT_EQ(fact.Tetrahedra, counts.tetrahedra) << fact.File;
    EXPECT_EQ(fact.Pyramids, counts.pyramids) << fact.File;
    EXPECT_EQ(fact.Prisms, counts.prisms) << fact.File;
    EXPECT_EQ(fact.Hexahedra, counts.hexahedra) << fact.File;
    const std::array<double, 6> box = testmesh::NodeBounds(mesh);
    for (int k = 0; k < 6; ++k)
    {
      EXPECT_NEAR(fact.Box[k], box[k], 1e-5 * std::max(1.0, std::fabs(fact.Box[k]))) << fact.File;
    }
  }
}

TEST(algoMesh_NAS, BundledFixturesRead)
{
  // Large field with CRLF; large field with '+' continuations; free field.
  const Handle(MorvDS_Mesh) quad =
      read(testmesh::DataFile("nas/freecad_GRIDSTAR_CQUAD4_large.bdf"));
  ASSERT_FALSE(quad.IsNull());
  EXPECT_EQ(4, quad->NbNodes());
  EXPECT_EQ(1, testmesh::CountElements(quad).quadrangles);
  EXPECT_TRUE(nodeAt(quad, 2).IsEqual(gp_Pnt(1, -1, 0), 1e-12));
  const Handle(MorvDS_Mesh) mixed = read(testmesh::DataFile("nas/pynastran_dmg401ns_large.bdf"));
  ASSERT_FALSE(mixed.IsNull());
  EXPECT_EQ(12, mixed->NbNodes());
  EXPECT_EQ(2, testmesh::CountElements(mixed).prisms);
  EXPECT_EQ((std::vector<int>{1, 2, 4, 3, 15, 16, 18, 17}), elementNodes(mixed, 3));
  const Handle(MorvDS_Mesh) hexa = read(testmesh::DataFile("nas/pynastran_pload4_chexa_free.bdf"));
  ASSERT_FALSE(hexa.IsNull());
  EXPECT_EQ((std::vector<int>{21, 22, 23, 24, 25, 26, 27, 28}), elementNodes(hexa, 9));
}

TEST(algoMesh_NAS, FreeSmallAndLargeCardsWithContinuationsAndTabs)
{
  // The same kind of grid point in every layout, NASTRAN real forms, a CHEXA continued in
  // free field, a CQUAD4 given before its grid points, CRLF ends and comments between lines.
  const std::string text         = "$ comment\r\n"
                                   "SOL 101\r\nCEND\r\nBEGIN BULK\r\n"
                                   "CQUAD4  20      1       1       2       3       4\r\n"
                                   "GRID,1,,0.,0.,0.\r\n"
                                   "GRID    2               1.5     -2.5-1  3.+2\r\n"
                                   "GRID*   3                               1.25            2.5D0\r\n"
                                   "$ between\r\n"
                                   "*       -7.5E-3\r\n"
                                   "GRID\t4\t\t1.\t1.\t1.\r\n"
                                   "grid,5,,.5,+1,-1\r\n"
                                   "GRID,6,,0,0,1\nGRID,7,,1,0,1\nGRID,8,,1,1,1\n"
                                   "CHEXA,30,1,1,2,3,4,5,6,\n,7,8\n"
                                   "ENDDATA\nGRID,99,,0,0,0\n";
  const Handle(MorvDS_Mesh) mesh = read(spit("layouts.bdf", text));
  ASSERT_FALSE(mesh.IsNull());
  EXPECT_EQ(8, mesh->NbNodes()); // grid 99 comes after ENDDATA
  EXPECT_TRUE(nodeAt(mesh, 2).IsEqual(gp_Pnt(1.5, -0.25, 300.0), 1e-12));
  EXPECT_TRUE(nodeAt(mesh, 3).IsEqual(gp_Pnt(1.25, 2.5, -7.5e-3), 1e-12));
  EXPECT_TRUE(nodeAt(mesh, 4).IsEqual(gp_Pnt(1.0, 1.0, 1.0), 1e-12));
  EXPECT_TRUE(nodeAt(mesh, 5).IsEqual(gp_Pnt(0.5, 1.0, -1.0), 1e-12));
  EXPECT_EQ((std::vector<int>{1, 2, 3, 4}), elementNodes(mesh, 20));
  EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}), elementNodes(mesh, 30));
}

TEST(algoMesh_NAS, RealsTakeTheFormWithMostDigits)
{
  EXPECT_EQ("0.", MorvTools_NASFormatter::FormatReal(0.0, 8));
  EXPECT_EQ(".5", MorvTools_NASFormatter::FormatReal(0.5, 8));
  EXPECT_EQ("-.5", MorvTools_NASFormatter::FormatReal(-0.5, 8));
  EXPECT_EQ("1234568.", MorvTools_NASFormatter::FormatReal(1234567.8, 8));
  EXPECT_EQ("1.2346+9", MorvTools_NASFormatter::FormatReal(1234567890.0, 8));
  EXPECT_EQ("1.-10", MorvTools_NASFormatter::FormatReal(1e-10, 8));
  EXPECT_EQ("-1.23-5", MorvTools_NASFormatter::FormatReal(-1.23e-5, 8));
  EXPECT_EQ("6.02+23", MorvTools_NASFormatter::FormatReal(6.02e23, 16));
  EXPECT_EQ(".333333333333333", MorvTools_NASFormatter::FormatReal(1.0 / 3.0, 16));
  EXPECT_EQ("3.", MorvTools_NASFormatter::FormatReal(3.0, 0));
  EXPECT_EQ("1.e-07", MorvTools_NASFormatter::FormatReal(1e-7, 0));
  EXPECT_EQ("0.1", MorvTools_NASFormatter::FormatReal(0.1, 0));
  // Every printed form reads back.
  for (const double v : {1e-10, -1.23e-5, 6.02e23, 1234567.8, 1.0 / 3.0})
  {
    for (const int width : {0, 8, 16})
    {
      double back = 0.0;
      ASSERT_TRUE(
          MorvTools_NASParser::ParseReal(MorvTools_NASFormatter::FormatReal(v, width), back));
      EXPECT_NEAR(v, back, std::fabs(v) * (width == 8 ? 1e-4 : (width == 16 ? 1e-13 : 0.0)));
    }
  }
}

TEST(algoMesh_NAS, WrittenCardsHaveTheirLayout)
{
  Handle(MorvDS_Mesh) mesh = new MorvDS_Mesh(10, 10, 10, 10);
  mesh->AddNode(0.0, 0.5, -1.25);
  mesh->AddNode(1.0 / 3.0, 1e-9, 2.0);
  mesh->AddNode(3.0, 4.0, 5.0);
  mesh->AddFace(1, 2, 3);
  mesh->AddVolume(1, 2, 3, 3); // refused: repeated node
  const std::string expected[3] = {
      // free
      "$ NASTRAN bulk data; grid points: 3, elements: 1\nBEGIN BULK\n"
      "GRID,1,,0.,0.5,-1.25\nGRID,2,,0.3333333333333333,1.e-09,2.\nGRID,3,,3.,4.,5.\n"
      "CTRIA3,1,1,1,2,3\nENDDATA\n",
      // small
      "$ NASTRAN bulk data; grid points: 3, elements: 1\nBEGIN BULK\n"
      "GRID    1               0.      .5      -1.25\n"
      "GRID    2               .33333331.-9    2.\n"
      "GRID    3               3.      4.      5.\n"
      "CTRIA3  1       1       1       2       3\nENDDATA\n",
      // large
      "$ NASTRAN bulk data; grid points: 3, elements: 1\nBEGIN BULK\n"
      "GRID*   1                               0.              .5\n*       -1.25\n"
      "GRID*   2                               .333333333333333"
      "1.-9\n*       2.\n"
      "GRID*   3                               3.              4.\n*       5.\n"
      "CTRIA3* 1               1               1               2\n*       3\nENDDATA\n"};
  for (int type = 0; type < 3; ++type)
  {
    const std::string   path = testmesh::TempPath("layout" + std::to_string(type) + ".nas");
    MorvTools_NASWriter writer(mesh, path.c_str());
    writer.Type() = type;
    ASSERT_TRUE(writer.Write()) << type;
    EXPECT_EQ(expected[type], slurp(path)) << type;
    // Each layout reads back to the same mesh, within the digits of its fields.
    MorvTools_NASReader reader(path.c_str(), false);
    ASSERT_TRUE(reader.Read()) << type;
    EXPECT_EQ(3, reader.GetMesh()->NbNodes());
    EXPECT_EQ((std::vector<int>{1, 2, 3}), elementNodes(reader.GetMesh(), 1));
    const double tolerance = type == 1 ? 1e-7 : 1e-15;
    EXPECT_NEAR(1.0 / 3.0, nodeAt(reader.GetMesh(), 2).X(), tolerance) << type;
  }
}

TEST(algoMesh_NAS, WriteThenReadKeepsCountsAndCoordinates)
{
  const Handle(Poly_Triangulation) sphere = testmesh::Sphere(123.456, 24, 13);
  const std::string path                  = testmesh::TempPath("sphere.nas");
  ASSERT_EQ(ExportStatus_Ok, algoMesh_NAS::Write(sphere, path.c_str(), ActAPI_ProgressEntry()));
  const Handle(MorvDS_Mesh) mesh = read(path);
  ASSERT_FALSE(mesh.IsNull());
  EXPECT_EQ(sphere->NbNodes(), mesh->NbNodes());
  EXPECT_EQ(sphere->NbTriangles(), testmesh::CountElements(mesh).triangles);
  // Node k of the file is the k-th corner met; compare positions through the triangles.
  int t = 1;
  for (MorvDS_MeshFacesIterator it(mesh); it.More(); it.Next(), ++t)
  {
    int n[3];
    sphere->Triangle(t).Get(n[0], n[1], n[2]);
    for (int k = 0; k < 3; ++k)
    {
      // Large fields keep 15 significant digits.
      EXPECT_LT(sphere->Node(n[k]).Distance(it.Value()->Node(k)->Pnt()), 1e-11);
    }
  }
}

TEST(algoMesh_NAS, MergeAndConvertJoinsPlacedMeshes)
{
  // Two triangles sharing an edge, the second given in its own frame and placed.
  NCollection_Vector<Handle(Poly_Triangulation)> meshes;
  NCollection_Vector<TopLoc_Location>            locations;
  meshes.Append(testmesh::Triangle(gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0), gp_Pnt(0, 1, 0)));
  locations.Append(TopLoc_Location());
  meshes.Append(testmesh::Triangle(gp_Pnt(0, -1, 0), gp_Pnt(-1, 0, 0), gp_Pnt(0, 0, 0)));
  gp_Trsf shift;
  shift.SetTranslation(gp_Vec(1, 1, 0));
  locations.Append(TopLoc_Location(shift));
  Handle(MorvDS_Mesh) mesh;
  ASSERT_EQ(ExportStatus_Ok, algoMesh_NAS::MergeAndConvert(meshes, locations, mesh));
  EXPECT_EQ(4, mesh->NbNodes());
  EXPECT_EQ(2, testmesh::CountElements(mesh).triangles);
  EXPECT_EQ((std::vector<int>{2, 3, 4}), elementNodes(mesh, 2));

  // A triangle whose corners merge is dropped; its nodes stay.
  meshes.Clear();
  locations.Clear();
  meshes.Append(testmesh::Triangle(gp_Pnt(0, 0, 0), gp_Pnt(0, 0, 0), gp_Pnt(0, 1, 0)));
  locations.Append(TopLoc_Location());
  ASSERT_EQ(ExportStatus_Ok, algoMesh_NAS::MergeAndConvert(meshes, locations, mesh));
  EXPECT_EQ(2, mesh->NbNodes());
  EXPECT_EQ(0, mesh->NbElements());

  // Mismatched, empty or null input is nothing to convert or write.
  meshes.Append(testmesh::Equilateral());
  Handle(MorvDS_Mesh) untouched;
  EXPECT_EQ(ExportStatus_NoData, algoMesh_NAS::MergeAndConvert(meshes, locations, untouched));
  EXPECT_TRUE(untouched.IsNull());
  EXPECT_EQ(ExportStatus_NoData,
            algoMesh_NAS::MergeAndConvert(NCollection_Vector<Handle(Poly_Triangulation)>(),
                                          NCollection_Vector<TopLoc_Location>(), untouched));
  const std::string path = testmesh::TempPath("none.nas");
  EXPECT_EQ(ExportStatus_NoData, algoMesh_NAS::Write(Handle(Poly_Triangulation)(), path.c_str(),
                                                     ActAPI_ProgressEntry()));
  EXPECT_FALSE(std::ifstream(path).good());
}

TEST(algoMesh_NAS, MalformedCardsFailWithTheLine)
{
  struct Case
  {
    const char* Text;
    const char* Message;
  };
  const Case cases[] = {
      {"GRID,1,,0,0,0\nGRID,2,,abc,0,0\n", "Line 2: GRID 2 has a malformed coordinate field."},
      {"GRID,1,,nan,0,0\n", "Line 1: GRID 1 has a malformed coordinate field."},
      {"GRID,1,,1e999,0,0\n", "Line 1: GRID 1 has a malformed coordinate field."},
      {"GRID,x,,0,0,0\n", "Line 1: GRID card without a valid positive ID."},
      {"GRID,99999999999,,0,0,0\n", "Line 1: GRID card without a valid positive ID."},
      {"GRID,1,,0,0,0\nGRID,1,,1,0,0\n", "Line 2: GRID 1 cannot be added (repeated ID)."},
      {"GRID,1,,0,0,0\nGRID,2,,1,0,0\nCTRIA3,5,1,1,2\n",
       "Line 3: CTRIA3 5 has a missing or malformed grid point number."},
      {"CTRIA3,5,1,1,2,3\nGRID,1,,0,0,0\nGRID,2,,1,0,0\n",
       "Line 1: Element 5 cannot be added: it uses a grid point that is not defined."},
      {"GRID,1,,0,0,0\nGRID,2,,1,0,0\nGRID,3,,0,1,0\nCTRIA3,5,1,1,2,3\nCQUAD4,5,1,1,2,3,1\n",
       "Line 5: Element 5 cannot be added: its ID is repeated or it uses a grid point twice."},
      {"CHEXA,1,x\n", "Line 1: CHEXA 1 has a malformed property ID."}};
  for (const Case& c : cases)
  {
    Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
    Handle(MorvDS_Mesh) mesh;
    EXPECT_FALSE(algoMesh_NAS::Read(spit("bad.bdf", c.Text).c_str(), mesh, notifier)) << c.Text;
    EXPECT_TRUE(mesh.IsNull());
    ASSERT_EQ(1u, notifier->Messages().size()) << c.Text;
    EXPECT_EQ(LogSeverity_Error, notifier->Messages()[0].Severity);
    EXPECT_EQ(c.Message, notifier->Texts()[0]);
  }
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  EXPECT_TRUE(read(testmesh::TempPath("missing.bdf"), notifier).IsNull());
  EXPECT_EQ(std::vector<std::string>{"Cannot open the file for reading."}, notifier->Texts());
  // An empty file and a file without bulk data are empty meshes, not failures.
  EXPECT_TRUE(read(spit("empty.bdf", ""))->IsEmpty());
  EXPECT_TRUE(read(spit("binary.bdf", std::string("\x00\x01\xff\n,,,\n*\n+", 11)))->IsEmpty());
}

TEST(algoMesh_NAS, IncludedFilesAreReadInPlaceOrRefusedNamingTheLine)
{
  // Relative to the including file, nested, any case of the keyword.
  const Handle(MorvDS_Mesh) mesh = read(testmesh::DataFile("nas/include/main.bdf"));
  ASSERT_FALSE(mesh.IsNull());
  EXPECT_EQ(4, mesh->NbNodes());
  EXPECT_EQ(2, mesh->NbElements());

  const std::pair<const char*, const char*> cases[] = {
      {"cycle.bdf", "Line 2: The file '%cycle.bdf' that INCLUDE names is already being read."},
      {"missing.bdf", "Line 2: The file '%parts/nothere.bdf' that INCLUDE names does not exist."},
      {"device.bdf", "Line 1: The file '/dev/zero' that INCLUDE names is not a regular file."},
      {"bad-included.bdf", "Line 2 of the included file '%parts/bad.bdf': GRID 3 has a "
                           "malformed coordinate field."}};
  const std::string folder = testmesh::DataFile("nas/include/");
  for (const auto& [name, pattern] : cases)
  {
    std::string  expected = pattern;
    const size_t at       = expected.find('%');
    if (at != std::string::npos)
    {
      expected.replace(at, 1, folder);
    }
    Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
    EXPECT_TRUE(read(folder + name, notifier).IsNull()) << name;
    EXPECT_EQ(std::vector<std::string>{expected}, notifier->Texts());
  }
  // Two symbolic links naming each other: the loop is named, not reported as a missing file.
  const std::string loop = testmesh::TempPath("include-loop-a.inc");
  std::filesystem::remove(loop);
  std::filesystem::remove(testmesh::TempPath("include-loop-b.inc"));
  std::filesystem::create_symlink("include-loop-b.inc", loop);
  std::filesystem::create_symlink("include-loop-a.inc", testmesh::TempPath("include-loop-b.inc"));
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  EXPECT_TRUE(read(spit("include-loop.bdf", "INCLUDE 'include-loop-a.inc'\n"), notifier).IsNull());
  EXPECT_EQ(std::vector<std::string>{"Line 1: The file '" + loop +
                                     "' that INCLUDE names is a loop of symbolic links."},
            notifier->Texts());
}

TEST(algoMesh_NAS, CancellationStopsReading)
{
  std::string text;
  for (int i = 1; i <= 5000; ++i)
  {
    text += "GRID," + std::to_string(i) + ",,0,0," + std::to_string(i) + "\n";
  }
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  notifier->RequestCancel();
  EXPECT_TRUE(read(spit("long.bdf", text), notifier).IsNull());
  EXPECT_EQ(std::vector<std::string>{"Line 1024: Reading was cancelled."}, notifier->Texts());
}

TEST(algoMesh_NAS, UnwritablePathFails)
{
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  EXPECT_EQ(ExportStatus_Failed,
            algoMesh_NAS::Write(testmesh::Tetra(), "/nonexistent-dir/a.nas", notifier));
  EXPECT_EQ(std::vector<std::string>{"Cannot write the file: no such directory."},
            notifier->Texts());
}
