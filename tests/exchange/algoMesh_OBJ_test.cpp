#include <MeshBuilders.hxx>

#include <Exchange_OBJMaterials.hxx>
#include <Exchange_OBJScan.hxx>
#include <Exchange_OBJTools.hxx>
#include <algoMesh_OBJ.hxx>

#include <TDF_LabelSequence.hxx>
#include <TDocStd_Document.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_VisMaterialTool.hxx>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace quorin;

namespace
{

std::string tempPath(const std::string& name)
{
  return testmesh::TempPath(name);
}

std::string slurp(const std::string& path)
{
  std::ifstream     file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

void spit(const std::string& path, const std::string& text)
{
  std::ofstream(path) << text;
}

//! A guard positioned on the first line of a temporary file holding `line`.
struct LineFixture
{
  explicit LineFixture(const std::string& line)
      : path(tempPath("line.txt")), guard((spit(path, line), std::fopen(path.c_str(), "r")))
  {
    guard.NextLine();
  }
  Exchange_OBJTools::ReadGuard& G() { return guard; }
  std::string                   path;
  Exchange_OBJTools::ReadGuard  guard;
};

} // namespace

TEST(algoMesh_OBJ, ColoursBecomeSharedMaterialsInOrderOfAppearance)
{
  const std::string        path = tempPath("coloured.obj");
  algoMesh_OBJ             writer;
  const Quantity_ColorRGBA red(1.0f, 0.0f, 0.0f, 0.25f), blue(0.0f, 0.0f, 1.0f, 1.0f);
  writer.AddMesh(testmesh::Equilateral(), gp_Trsf(), red, "first");
  writer.AddMesh(testmesh::Equilateral(), gp_Trsf(), red);
  writer.AddMesh(Handle(Poly_Triangulation)(), gp_Trsf(), "hole");
  writer.AddMesh(testmesh::Equilateral(), gp_Trsf(), blue);
  ASSERT_TRUE(writer.Write(path));

  const std::string obj = slurp(path);
  EXPECT_EQ(0u, obj.find("# Exported by Halvard Quorin\n# Vertices: 9\n# Faces: 3\n"
                         "mtllib coloured.mtl\ng first\nusemtl mat_1\nv 0.000000 0.000000 "
                         "0.000000\n"));
  // The null mesh keeps its group and material lines; indices after it are not shifted.
  EXPECT_NE(std::string::npos, obj.find("g hole\nusemtl mat_default\ng default\nusemtl mat_2\n"));
  EXPECT_NE(std::string::npos, obj.find("f 4 5 6\ng hole"));
  EXPECT_NE(std::string::npos, obj.find("f 7 8 9\n"));

  const std::string mtl = slurp(tempPath("coloured.mtl"));
  EXPECT_EQ(0u, mtl.find("# Exported by Halvard Quorin\nnewmtl mat_default\n"
                         "Ka 0.200000 0.200000 0.200000\nKd 0.800000 0.800000 0.800000\n"
                         "Ks 1.000000 1.000000 1.000000\nnewmtl mat_1\n"));
  EXPECT_NE(std::string::npos, mtl.find("Kd 1.000000 0.000000 0.000000\n"
                                        "Ks 1.000000 1.000000 1.000000\nTr 0.750000\n"
                                        "newmtl mat_2\n"));
  EXPECT_EQ(std::string::npos, mtl.find("Ns "));
}

TEST(algoMesh_OBJ, UncolouredMeshesWriteNoMaterialLines)
{
  const std::string path = tempPath("plain.v1.obj");
  std::remove(tempPath("plain.v1.mtl").c_str());
  gp_Trsf shift;
  shift.SetTranslation(gp_Vec(0.5, 0, 0));
  algoMesh_OBJ writer;
  writer.AddMesh(testmesh::Tetra(), shift);
  ASSERT_TRUE(writer.Write(path));
  const std::string obj = slurp(path);
  EXPECT_EQ(std::string::npos, obj.find("mtllib"));
  EXPECT_EQ(std::string::npos, obj.find("usemtl"));
  EXPECT_NE(std::string::npos, obj.find("g default\nv 1.500000 1.000000 1.000000\n"));
  EXPECT_FALSE(std::ifstream(tempPath("plain.v1.mtl")).good());
}

TEST(algoMesh_OBJ, RefusesNothingToWriteAndUnwritablePaths)
{
  algoMesh_OBJ writer;
  EXPECT_FALSE(writer.Write(tempPath("empty.obj")));
  writer.AddMesh(Handle(Poly_Triangulation)(), gp_Trsf());
  EXPECT_FALSE(writer.Write(tempPath("empty.obj")));
  writer.Clear();
  writer.AddMesh(testmesh::Tetra(), gp_Trsf());
  EXPECT_FALSE(writer.Write("/nonexistent/dir/t.obj"));
}

TEST(algoMesh_OBJ, RoundTripKeepsCountsAndCoordinatesToSixDecimals)
{
  const std::string path   = tempPath("roundtrip.obj");
  const auto        sphere = testmesh::Sphere(3.0, 12, 7);
  const auto        cube   = testmesh::Cube();
  algoMesh_OBJ      writer;
  writer.AddMesh(sphere, gp_Trsf(), "sphere");
  writer.AddMesh(cube, gp_Trsf(), "cube");
  ASSERT_TRUE(writer.Write(path));

  Handle(Poly_Triangulation) back;
  ASSERT_TRUE(algoMesh_OBJ().Read(path, back));
  ASSERT_EQ(sphere->NbNodes() + cube->NbNodes(), back->NbNodes());
  ASSERT_EQ(sphere->NbTriangles() + cube->NbTriangles(), back->NbTriangles());
  // The kernel reader renumbers nodes in order of use: every node read back lies within
  // the six-decimal rounding of a written one, and the enclosed volume is kept.
  for (int i = 1; i <= back->NbNodes(); ++i)
  {
    double nearest = 1e9;
    for (const auto& mesh : {sphere, cube})
    {
      for (int k = 1; k <= mesh->NbNodes(); ++k)
      {
        nearest = std::min(nearest, mesh->Node(k).Distance(back->Node(i)));
      }
    }
    EXPECT_LT(nearest, 1e-6);
  }
  EXPECT_NEAR(testmesh::SignedVolume(sphere) + 1.0, testmesh::SignedVolume(back), 1e-4);
}

TEST(algoMesh_OBJ, ReadsRealFilesAndRejectsMissingOnes)
{
  Handle(Poly_Triangulation) mesh;
  ASSERT_TRUE(algoMesh_OBJ().Read(testmesh::DataFile("obj/box.obj"), mesh));
  EXPECT_EQ(8, mesh->NbNodes());
  EXPECT_EQ(12, mesh->NbTriangles());
  ASSERT_TRUE(algoMesh_OBJ().Read(testmesh::DataFile("obj/cube_usemtl.obj"), mesh));
  EXPECT_EQ(28, mesh->NbNodes());
  EXPECT_EQ(12, mesh->NbTriangles());

  const std::string spider = testmesh::SharedDataFile("obj/spider.obj");
  if (!spider.empty())
  {
    ASSERT_TRUE(algoMesh_OBJ().Read(spider, mesh));
    EXPECT_EQ(1718, mesh->NbNodes());
    EXPECT_EQ(1368, mesh->NbTriangles());
    Handle(TDocStd_Document) document = new TDocStd_Document("");
    EXPECT_TRUE(algoMesh_OBJ().Read(spider, document));
  }

  const Handle(Poly_Triangulation) before = mesh;
  EXPECT_FALSE(algoMesh_OBJ().Read("/nonexistent/dir/t.obj", mesh));
  EXPECT_EQ(before, mesh) << "result untouched on failure";
}

TEST(algoMesh_OBJ, EveryLibraryOfAnMtllibLineIsRead)
{
  // One line may list several libraries; a whole line naming an existing file is one
  // library even with blanks in its name, as exporters write such names unquoted.
  spit(tempPath("first lib.mtl"), "newmtl red\nKd 1 0 0\n");
  spit(tempPath("second.mtl"), "newmtl blue\nKd 0 0 1\n");
  spit(tempPath("empty.mtl"), "");
  const std::string folder = testmesh::TempPath("");
  EXPECT_EQ((std::vector<std::string>{"first lib.mtl"}),
            Exchange_OBJScan::LibraryNames(" first lib.mtl \t", folder));
  EXPECT_EQ((std::vector<std::string>{"second.mtl", "first", "lib.mtl"}),
            Exchange_OBJScan::LibraryNames("second.mtl first lib.mtl", folder));

  const std::string faces = "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\n"
                            "usemtl red\nf 1 2 3\nusemtl blue\nf 2 4 3\n";
  const struct
  {
    const char* libraries;
    int         nbMaterials;
  } cases[] = {{"mtllib first lib.mtl", 1},
               {"mtllib missing.mtl second.mtl", 1},
               {"mtllib second.mtl empty.mtl\nmtllib first lib.mtl", 2}};
  for (const auto& c : cases)
  {
    const std::string path = tempPath("libraries.obj");
    spit(path, std::string(c.libraries) + "\n" + faces);
    Handle(TDocStd_Document) document = new TDocStd_Document("");
    ASSERT_TRUE(algoMesh_OBJ().Read(path, document)) << c.libraries;
    TDF_LabelSequence materials;
    XCAFDoc_DocumentTool::VisMaterialTool(document->Main())->GetMaterials(materials);
    EXPECT_EQ(c.nbMaterials, materials.Length()) << c.libraries;
  }
}

TEST(Exchange_OBJMaterials, ValidationSkipsBadValuesAndIndentedLines)
{
  const std::string path = tempPath("validate.mtl");
  spit(path, "Kd 0.5 0.5 0.5\n" // before any material: ignored
             "newmtl first\n"
             "  Kd 0.1 0.2 0.3\n" // indented: ignored
             "Kd 1.5 0.2 0.3\n"   // out of range: ignored
             "Ka 0.1 0.2 0.3\n"
             "Ns 1000\n"
             "d 0.5\n"
             "newmtl second\n"
             "Ns 1001\n" // out of range: ignored
             "Tr 0.25\n"
             "newmtl\n"); // no blank after the keyword: ignored
  Exchange_OBJMaterials materials;
  ASSERT_TRUE(materials.ReadMaterials(path));
  ASSERT_EQ(2u, materials.Materials().size());
  const Exchange_OBJMaterial& first = materials.Materials()[0];
  EXPECT_EQ("first", first.Name);
  EXPECT_NEAR(0.8, first.Diffuse.Red(), 1e-6);
  EXPECT_NEAR(0.3, first.Ambient.Blue(), 1e-6);
  EXPECT_EQ(1000.0f, first.Shininess);
  EXPECT_EQ(0.5f, first.Opacity);
  EXPECT_EQ(0.0f, materials.Materials()[1].Shininess);
  EXPECT_EQ(0.75f, materials.Materials()[1].Opacity);
  EXPECT_FALSE(materials.ReadMaterials("/nonexistent/dir/m.mtl"));
  EXPECT_TRUE(materials.Materials().empty());
}

TEST(Exchange_OBJMaterials, ReadsRealMaterialFiles)
{
  Exchange_OBJMaterials materials;
  ASSERT_TRUE(materials.ReadMaterials(testmesh::DataFile("obj/cube_usemtl.mtl")));
  ASSERT_EQ(2u, materials.Materials().size());
  EXPECT_EQ("mtl", materials.Materials()[0].Name);
  EXPECT_EQ("mtl2", materials.Materials()[1].Name);
  const std::string spider = testmesh::SharedDataFile("obj/spider.mtl");
  if (!spider.empty())
  {
    ASSERT_TRUE(materials.ReadMaterials(spider));
    ASSERT_EQ(5u, materials.Materials().size());
    EXPECT_EQ("Augentex", materials.Materials()[4].Name);
  }
}

TEST(Exchange_OBJTools, FaceReferencesReduceToVertexNumbers)
{
  std::vector<int> indices;
  EXPECT_TRUE(Exchange_OBJTools::ReadFace(LineFixture("f 1/1/1 2/2/2 3/3/3 4/4/4\n").G(), indices));
  EXPECT_EQ((std::vector<int>{1, 2, 3, 4}), indices);
  EXPECT_TRUE(Exchange_OBJTools::ReadFace(LineFixture("f -1//2 -2//3 -3\n").G(), indices));
  EXPECT_EQ((std::vector<int>{1, 2, 3, 4, -1, -2, -3}), indices);
  EXPECT_FALSE(Exchange_OBJTools::ReadFace(LineFixture("f 7\n").G(), indices));
  EXPECT_FALSE(Exchange_OBJTools::ReadFace(LineFixture("f").G(), indices));
  EXPECT_EQ(7u, indices.size());
}

TEST(Exchange_OBJTools, ScalarsAndStringsFromAnOffset)
{
  std::string word;
  EXPECT_TRUE(Exchange_OBJTools::ReadString(LineFixture("usemtl red paint\n").G(), 7, word));
  EXPECT_EQ("red", word);
  EXPECT_TRUE(Exchange_OBJTools::ReadWholeString(LineFixture("usemtl red paint\n").G(), 7, word));
  EXPECT_EQ("red paint", word);
  EXPECT_FALSE(Exchange_OBJTools::ReadWholeString(LineFixture("g \n").G(), 2, word));
  EXPECT_FALSE(Exchange_OBJTools::ReadString(LineFixture("g").G(), 40, word));

  gp_Pnt p;
  EXPECT_TRUE(Exchange_OBJTools::ReadVertex(LineFixture("v 1 -2.5 3e2\n").G(), 2, p));
  EXPECT_EQ(300.0, p.Z());
  EXPECT_FALSE(Exchange_OBJTools::ReadVertex(LineFixture("v 1 2\n").G(), 2, p));
  float r, g, b, v;
  EXPECT_TRUE(Exchange_OBJTools::ReadValidateColor(LineFixture("Kd 0 1 0.5").G(), 3, r, g, b));
  EXPECT_FALSE(Exchange_OBJTools::ReadValidateColor(LineFixture("Kd 0 1 -0.5").G(), 3, r, g, b));
  EXPECT_TRUE(Exchange_OBJTools::ReadValidateShininess(LineFixture("Ns 1000").G(), 3, v));
  EXPECT_FALSE(Exchange_OBJTools::ReadValidateShininess(LineFixture("Ns 1001").G(), 3, v));
  EXPECT_FALSE(Exchange_OBJTools::ReadValidateTransparency(LineFixture("d 1.01").G(), 2, v));
}

TEST(algoMesh_OBJ, FileWithoutFinalNewlineReadsWithoutOverrun)
{
  // The kernel's line reader parsed past the unterminated last line (found by fuzzing).
  Handle(Poly_Triangulation) mesh;
  ASSERT_TRUE(
      algoMesh_OBJ().Read(testmesh::DataFile("obj/regressions/no_final_newline.obj"), mesh));
  EXPECT_EQ(3, mesh->NbNodes());
  EXPECT_EQ(1, mesh->NbTriangles());
}
