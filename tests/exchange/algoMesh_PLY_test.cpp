#include <MeshBuilders.hxx>

#include <algoMesh_NodesMerger.hxx>
#include <algoMesh_PLY.hxx>

#include <ActAPI_RecordingNotifier.hxx>

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

using namespace quorin;

namespace
{

std::string tempPath(const std::string& name)
{
  return testmesh::TempPath(name);
}

std::string spit(const std::string& name, const std::string& text)
{
  const std::string path = tempPath(name);
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

Handle(Poly_Triangulation) read(const std::string& path, const ActAPI_ProgressEntry& progress = {})
{
  Handle(Poly_Triangulation) mesh;
  return algoMesh_PLY::Read(path.c_str(), mesh, progress) ? mesh : Handle(Poly_Triangulation)();
}

ActAPI_ProgressEntry entryOf(const Handle(ActAPI_RecordingNotifier) & notifier)
{
  return ActAPI_ProgressEntry(notifier);
}

const NCollection_Vector<NCollection_DataMap<int, Quantity_Color>> THE_NO_COLOURS;

const std::string THE_ASCII_HEAD = "ply\nformat ascii 1.0\n";

} // namespace

TEST(algoMesh_PLY, QuadCubeReadsAsEightNodesAndTwelveClosedTriangles)
{
  for (const char* file : {"ply/cube.ply", "ply/cube_binary.ply"})
  {
    const Handle(Poly_Triangulation) mesh = read(testmesh::DataFile(file));
    ASSERT_FALSE(mesh.IsNull()) << file;
    EXPECT_EQ(8, mesh->NbNodes()) << file;
    EXPECT_EQ(12, mesh->NbTriangles()) << file;
    const testmesh::EdgeCounts edges = testmesh::CountEdges(mesh);
    EXPECT_EQ(0, edges.boundary) << file;
    EXPECT_NEAR(1.0, std::fabs(testmesh::SignedVolume(mesh)), 1e-6) << file;
  }
}

TEST(algoMesh_PLY, CoincidentVerticesBecomeOneNode)
{
  // Two triangles whose shared edge is written twice, once 1e-8 off.
  const Handle(Poly_Triangulation) mesh = read(
      spit("dup.ply", THE_ASCII_HEAD + "element vertex 6\nproperty double x\nproperty double y\n"
                                       "property double z\nelement face 2\n"
                                       "property list uchar int vertex_indices\nend_header\n"
                                       "0 0 0\n1 0 0\n0 1 0\n1 0 0\n0 1.00000001 0\n1 1 0\n"
                                       "3 0 1 2\n3 3 5 4\n"));
  ASSERT_FALSE(mesh.IsNull());
  EXPECT_EQ(4, mesh->NbNodes());
  EXPECT_EQ(2, mesh->NbTriangles());
  EXPECT_EQ(1, testmesh::CountEdges(mesh).manifold);
}

TEST(algoMesh_PLY, VertexIndexNameAndPropertyOrderAreAccepted)
{
  // "vertex_index", coordinates listed z, x, y, an extra property, a big-endian body.
  std::string text     = "ply\nformat binary_big_endian 1.0\ncomment z first\n"
                         "element vertex 3\nproperty float z\nproperty float x\nproperty uchar "
                         "flag\nproperty float y\nelement face 1\n"
                         "property list uchar uint vertex_index\nend_header\n";
  auto        putFloat = [&](const float v)
  {
    unsigned char b[4];
    std::memcpy(b, &v, 4);
    text.append({char(b[3]), char(b[2]), char(b[1]), char(b[0])});
  };
  const float coords[3][3] = {{0, 0, 5}, {1, 0, 5}, {0, 1, 5}}; // x, y, z
  for (const auto& c : coords)
  {
    putFloat(c[2]);
    putFloat(c[0]);
    text.push_back('\x07');
    putFloat(c[1]);
  }
  text += std::string("\x03", 1) + std::string("\0\0\0\0\0\0\0\x01\0\0\0\x02", 12);
  const Handle(Poly_Triangulation) mesh = read(spit("be.ply", text));
  ASSERT_FALSE(mesh.IsNull());
  ASSERT_EQ(3, mesh->NbNodes());
  EXPECT_EQ(1, mesh->NbTriangles());
  EXPECT_EQ(gp_Pnt(1, 0, 5).Distance(mesh->Node(2)), 0.0);
}

TEST(algoMesh_PLY, VerticesWithoutFacesGiveOneDefaultTriangle)
{
  const Handle(Poly_Triangulation) mesh = read(
      spit("points.ply", THE_ASCII_HEAD + "element vertex 2\nproperty float x\nproperty float y\n"
                                          "property float z\nend_header\n0 0 0\n1 1 1\n"));
  ASSERT_FALSE(mesh.IsNull());
  EXPECT_EQ(2, mesh->NbNodes());
  ASSERT_EQ(1, mesh->NbTriangles());
  int a, b, c;
  mesh->Triangle(1).Get(a, b, c);
  EXPECT_EQ(0, a + b + c);

  // Without an "x" property there are no nodes at all.
  const Handle(Poly_Triangulation) empty =
      read(spit("nox.ply", THE_ASCII_HEAD + "element vertex 2\nproperty float u\nproperty float y\n"
                                            "property float z\nend_header\n0 0 0\n1 1 1\n"));
  ASSERT_FALSE(empty.IsNull());
  EXPECT_EQ(0, empty->NbNodes());
}

TEST(algoMesh_PLY, BadPolygonsAreDroppedNotGuessed)
{
  // A face with an index past the vertices, a negative one, a NaN one, a collinear quad,
  // a two-corner face and one good pentagon (3 triangles).
  const Handle(Poly_Triangulation) mesh = read(spit(
      "bad_faces.ply",
      THE_ASCII_HEAD + "element vertex 5\nproperty float x\nproperty float y\nproperty float z\n"
                       "element face 6\nproperty list uchar float vertex_indices\nend_header\n"
                       "0 0 0\n2 0 0\n2 2 0\n1 3 0\n0 2 0\n"
                       "3 0 1 9\n3 0 -1 2\n3 0 nan 2\n4 0 0 0 0\n2 0 1\n5 0 1 2 3 4\n"));
  ASSERT_FALSE(mesh.IsNull());
  EXPECT_EQ(3, mesh->NbTriangles());
}

TEST(algoMesh_PLY, FailuresSendTheirMessages)
{
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  Handle(Poly_Triangulation) mesh           = testmesh::Tetra();
  const Handle(Poly_Triangulation) before   = mesh;
  EXPECT_FALSE(algoMesh_PLY::Read("/nonexistent/dir/x.ply", mesh, entryOf(notifier)));
  EXPECT_FALSE(algoMesh_PLY::Read(spit("bad.ply", "plx\n").c_str(), mesh, entryOf(notifier)));
  EXPECT_FALSE(algoMesh_PLY::Read(
      spit("cut.ply", THE_ASCII_HEAD + "element vertex 3\nproperty float x\nend_header\n1 2\n")
          .c_str(),
      mesh, entryOf(notifier)));
  EXPECT_EQ(before, mesh) << "result untouched on failure";
  const std::vector<std::string> texts = notifier->Texts();
  ASSERT_EQ(3u, texts.size());
  EXPECT_EQ("Cannot open the file for reading.", texts[0]);
  EXPECT_EQ("Cannot read the PLY header.", texts[1]);
  EXPECT_EQ(0u, texts[2].find("Cannot read the PLY data: "));
  EXPECT_EQ(LogSeverity_Error, notifier->Messages()[0].Severity);
}

TEST(algoMesh_PLY, BinaryDataLongerThanTheHeaderDeclaresIsRefused)
{
  // One byte inserted into the vertices shifts everything after it: read as declared, the
  // cube became 11 triangles on 3 nodes. The bytes left over are what gives it away; a
  // final line end alone is not.
  const std::string cube                    = slurp(testmesh::DataFile("ply/cube_binary.ply"));
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  Handle(Poly_Triangulation) mesh;
  EXPECT_FALSE(algoMesh_PLY::Read(
      testmesh::DataFile("ply/regressions/byte_inserted_in_binary_data.ply").c_str(), mesh,
      entryOf(notifier)));
  ASSERT_EQ(1u, notifier->Texts().size());
  EXPECT_EQ("Cannot read the PLY data: Data follows the last element the header declares: the "
            "binary data does not match the header.",
            notifier->Texts()[0]);
  EXPECT_TRUE(read(spit("cube_tail.ply", cube + "X")).IsNull());
  for (const char* end : {"\n", "\r\n"})
  {
    const Handle(Poly_Triangulation) ended = read(spit("cube_line_end.ply", cube + end));
    ASSERT_FALSE(ended.IsNull()) << "a final line end is tolerated";
    EXPECT_EQ(12, ended->NbTriangles());
  }
}

TEST(algoMesh_PLY, CancelledReadHasNoResult)
{
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  notifier->CancelAfterPolls(5);
  Handle(Poly_Triangulation) mesh;
  EXPECT_FALSE(
      algoMesh_PLY::Read(testmesh::DataFile("ply/cube.ply").c_str(), mesh, entryOf(notifier)));
  EXPECT_TRUE(mesh.IsNull());
}

TEST(algoMesh_PLY, WriteDeclaresTheLayoutAndRoundTrips)
{
  const Handle(Poly_Triangulation) sphere = testmesh::Sphere(2.0, 10, 6);
  const Handle(Poly_Triangulation) cube   = testmesh::Cube();
  gp_Trsf shift;
  shift.SetTranslation(gp_Vec(10, 0, 0));
  NCollection_Vector<Handle(Poly_Triangulation)> meshes;
  NCollection_Vector<TopLoc_Location>            locations;
  meshes.Append(sphere);
  meshes.Append(cube);
  locations.Append(TopLoc_Location());
  locations.Append(TopLoc_Location(shift));

  for (const bool binary : {true, false})
  {
    const std::string path                    = tempPath(binary ? "out_b.ply" : "out_a.ply");
    Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
    ASSERT_EQ(ExportStatus_Ok, algoMesh_PLY::Write(meshes, locations, path.c_str(),
                                                   entryOf(notifier), binary, THE_NO_COLOURS));
    EXPECT_EQ(200, notifier->Value());
    const std::string text = slurp(path);
    EXPECT_EQ(0u, text.find(std::string("ply\nformat ") +
                            (binary ? "binary_little_endian" : "ascii") + " 1.0\n"));
    EXPECT_NE(std::string::npos,
              text.find("element face " +
                        std::to_string(sphere->NbTriangles() + cube->NbTriangles()) +
                        "\nproperty list uchar uint vertex_index\n"));
    EXPECT_EQ(std::string::npos, text.find("red"));

    const Handle(Poly_Triangulation) back = read(path);
    ASSERT_FALSE(back.IsNull());
    EXPECT_EQ(sphere->NbNodes() + cube->NbNodes(), back->NbNodes());
    EXPECT_EQ(sphere->NbTriangles() + cube->NbTriangles(), back->NbTriangles());
    // Coordinates are written as 32-bit floats; the cube is translated.
    for (int i = 1; i <= sphere->NbNodes(); ++i)
    {
      EXPECT_LT(sphere->Node(i).Distance(back->Node(i)), 1e-6);
    }
    EXPECT_NEAR(10.0, back->Node(sphere->NbNodes() + 1).X(), 1e-6);
    EXPECT_NEAR(testmesh::SignedVolume(sphere) + 1.0, testmesh::SignedVolume(back), 1e-5);
  }
}

TEST(algoMesh_PLY, NodeColoursAreWrittenAsRoundedBytes)
{
  NCollection_Vector<Handle(Poly_Triangulation)>               meshes;
  NCollection_Vector<TopLoc_Location>                          locations;
  NCollection_Vector<NCollection_DataMap<int, Quantity_Color>> colours;
  meshes.Append(testmesh::Equilateral());
  locations.Append(TopLoc_Location());
  NCollection_DataMap<int, Quantity_Color> map;
  map.Bind(1, Quantity_Color(1.0, 0.5, 0.0, Quantity_TOC_RGB)); // 127.5 rounds up
  map.Bind(2, Quantity_Color(0.0, 1.0, 0.0, Quantity_TOC_RGB));
  map.Bind(3, Quantity_Color(0.0, 0.0, 1.0, Quantity_TOC_RGB));
  colours.Append(map);
  const std::string path = tempPath("colours.ply");
  ASSERT_EQ(ExportStatus_Ok,
            algoMesh_PLY::Write(meshes, locations, path.c_str(), {}, false, colours));
  const std::string text = slurp(path);
  EXPECT_NE(std::string::npos,
            text.find("property uchar red\nproperty uchar green\nproperty uchar blue\n"));
  EXPECT_NE(std::string::npos, text.find("end_header\n0 0 0 255 128 0\n1 0 0 0 255 0\n"));

  // A node without a colour is a failed write, not a silent black.
  colours.ChangeValue(0).UnBind(3);
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  EXPECT_EQ(ExportStatus_Failed,
            algoMesh_PLY::Write(meshes, locations, path.c_str(), entryOf(notifier), true, colours));
  EXPECT_EQ(std::vector<std::string>{"Could not write the vertices to PLY."}, notifier->Texts());
}

TEST(algoMesh_PLY, EmptyListAndUnwritablePath)
{
  NCollection_Vector<Handle(Poly_Triangulation)> meshes;
  NCollection_Vector<TopLoc_Location>            locations;
  const std::string                              path = tempPath("empty.ply");
  EXPECT_EQ(ExportStatus_NoData,
            algoMesh_PLY::Write(meshes, locations, path.c_str(), {}, true, THE_NO_COLOURS));
  EXPECT_NE(std::string::npos, slurp(path).find("element vertex 0\n"));

  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  meshes.Append(testmesh::Tetra());
  locations.Append(TopLoc_Location());
  EXPECT_EQ(ExportStatus_Failed, algoMesh_PLY::Write(meshes, locations, "/nonexistent/dir/x.ply",
                                                     entryOf(notifier), true, THE_NO_COLOURS));
  EXPECT_EQ(std::vector<std::string>{"Could not open the file for writing: no such directory."},
            notifier->Texts());
}

TEST(algoMesh_PLY, SharedDataFilesMatchTheirMeasuredCounts)
{
  const struct
  {
    const char* file;
    int         nodes, triangles;
  } cases[] = {{"ply/cgal_sphere.ply", 162, 320},
               {"ply/cube.ply", 8, 12},
               {"ply/cube_binary.ply", 8, 12},
               {"ply/elephant_vtk_binary_le.ply", 2775, 5558}};
  int found = 0;
  for (const auto& c : cases)
  {
    const std::string path = testmesh::SharedDataFile(c.file);
    if (path.empty())
    {
      continue;
    }
    ++found;
    const Handle(Poly_Triangulation) mesh = read(path);
    ASSERT_FALSE(mesh.IsNull()) << c.file;
    EXPECT_EQ(c.nodes, mesh->NbNodes()) << c.file;
    EXPECT_EQ(c.triangles, mesh->NbTriangles()) << c.file;
    EXPECT_EQ(0, testmesh::CountEdges(mesh).boundary) << c.file << " is closed";
  }
  if (found == 0)
  {
    GTEST_SKIP() << "shared data folder absent";
  }
}

TEST(algoMesh_PLY, SoupReadsAsTheMergerMergesIt)
{
  // A facet soup whose corners repeat exactly, within and just beyond the tolerance, across
  // the reader's merge batches (the node array sized for every vertex is then trimmed): the
  // nodes and triangles must be what the merger gives on the same points in file order.
  std::mt19937                           random(7);
  std::uniform_int_distribution<int>     pick(0, 199);
  std::uniform_real_distribution<double> jitter(-1.5e-7, 1.5e-7);
  std::vector<gp_Pnt>                    base;
  for (int i = 0; i < 200; ++i)
  {
    base.emplace_back(i % 7, (i / 7) % 5, i / 35);
  }
  std::vector<gp_Pnt> corners;
  for (int k = 0; k < 3 * 400; ++k)
  {
    const gp_Pnt& p = base[pick(random)];
    corners.push_back(k % 3 == 0 ? p : gp_Pnt(p.X() + jitter(random), p.Y(), p.Z()));
  }
  std::ostringstream text;
  text.precision(17);
  text << THE_ASCII_HEAD << "element vertex " << corners.size()
       << "\nproperty double x\nproperty double y\nproperty double z\nelement face 400\n"
          "property list uchar int vertex_indices\nend_header\n";
  for (const gp_Pnt& p : corners)
  {
    text << p.X() << " " << p.Y() << " " << p.Z() << "\n";
  }
  for (int f = 0; f < 400; ++f)
  {
    text << "3 " << 3 * f << " " << 3 * f + 1 << " " << 3 * f + 2 << "\n";
  }
  const Handle(Poly_Triangulation) mesh = read(spit("soup.ply", text.str()));
  ASSERT_FALSE(mesh.IsNull());

  algoMesh_NodesMerger merger;
  merger.Perform(corners);
  ASSERT_EQ(merger.NbNodes(), mesh->NbNodes());
  for (int k = 1; k <= mesh->NbNodes(); ++k)
  {
    ASSERT_TRUE(mesh->Node(k).IsEqual(merger.Nodes()[k - 1], 0.0)) << k;
  }
  ASSERT_EQ(400, mesh->NbTriangles());
  for (int f = 0; f < 400; ++f)
  {
    int a, b, c;
    mesh->Triangle(f + 1).Get(a, b, c);
    EXPECT_EQ(merger.Indices()[3 * f], a);
    EXPECT_EQ(merger.Indices()[3 * f + 1], b);
    EXPECT_EQ(merger.Indices()[3 * f + 2], c);
  }
}
