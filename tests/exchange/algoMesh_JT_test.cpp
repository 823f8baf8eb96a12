// JT reading end to end: real files of versions 8, 9 and 10 through the document reader,
// agreement between versions of one model, levels of detail, and damaged files.
#include <algoMesh_JT.hxx>

#include <MeshBuilders.hxx>

#include <BRep_Tool.hxx>
#include <Bnd_Box.hxx>
#include <Message_ProgressIndicator.hxx>
#include <Message_ProgressRange.hxx>
#include <Message_ProgressScope.hxx>
#include <TDocStd_Document.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

using quorin::algoMesh_JT;

namespace
{

//! Reads a file at a level into a new document; null reader when reading fails.
Handle(algoMesh_JT) readJT(const std::string& path, const int level)
{
  Handle(algoMesh_JT) reader = new algoMesh_JT();
  reader->SetLodIndex(level);
  reader->SetDocument(new TDocStd_Document(""));
  return reader->Perform(path.c_str(), Message_ProgressRange()) ? reader : Handle(algoMesh_JT)();
}

//! Triangles of the placed model (every instance counted) and faces still without any.
struct Placed
{
  long    Triangles   = 0;
  int     EmptyFaces  = 0;
  int     WithNormals = 0;
  Bnd_Box Box; //!< of the placed nodes
};

Placed placedTriangles(const Handle(algoMesh_JT) & reader)
{
  Placed            placed;
  TDF_LabelSequence roots;
  XCAFDoc_DocumentTool::ShapeTool(reader->Document()->Main())->GetFreeShapes(roots);
  for (TDF_LabelSequence::Iterator it(roots); it.More(); it.Next())
    for (TopExp_Explorer exp(XCAFDoc_ShapeTool::GetShape(it.Value()), TopAbs_FACE); exp.More();
         exp.Next())
    {
      TopLoc_Location location;
      const Handle(Poly_Triangulation) mesh =
          BRep_Tool::Triangulation(TopoDS::Face(exp.Current()), location);
      const int nbTriangles = mesh.IsNull() ? 0 : mesh->NbTriangles();
      placed.Triangles += nbTriangles;
      placed.EmptyFaces += nbTriangles == 0 ? 1 : 0;
      placed.WithNormals += !mesh.IsNull() && mesh->HasNormals() ? 1 : 0;
      for (int i = 1; nbTriangles > 0 && i <= mesh->NbNodes(); ++i)
        placed.Box.Add(mesh->Node(i).Transformed(location.Transformation()));
    }
  return placed;
}

//! Triangles at one level of each part (each part once, however often placed), sorted.
std::vector<long> trianglesPerPart(const Handle(algoMesh_JT) & reader, const int level)
{
  std::vector<long> parts;
  auto              stream = std::make_shared<std::ifstream>();
  for (const JTCAFControl_Reader::Product& product : reader->Products())
  {
    if (!product.IsPart)
      continue;
    long count = 0;
    for (const Handle(JTCAFControl_Triangulation) & face : product.Faces)
    {
      if (level > face->Levels().Upper() || face->Levels().Value(level).IsNull())
        continue;
      for (const Handle(JtProperty_LateLoaded) & property : face->Levels().Value(level)->LateLoaded)
      {
        if (property->Load(nullptr, Message_ProgressRange(), stream))
          count += property->Object()->NbTriangles();
        property->Release();
      }
    }
    parts.push_back(count);
  }
  std::sort(parts.begin(), parts.end());
  return parts;
}

//! Records the names of the scopes it shows; once a scope of `breakName` has advanced, it
//! reports a user break.
class BreakingIndicator : public Message_ProgressIndicator
{
public:
  explicit BreakingIndicator(const std::string& breakName) : myBreakName(breakName) {}

  std::set<std::string> Names;

  Standard_Boolean UserBreak() Standard_OVERRIDE { return Names.count(myBreakName) > 0; }
  void Show(const Message_ProgressScope& scope, const Standard_Boolean) Standard_OVERRIDE
  {
    if (scope.Name() != nullptr)
      Names.insert(scope.Name());
  }

private:
  std::string myBreakName;
};

std::string sharedJT(const std::string& name)
{
  return testmesh::SharedDataFile("jt/" + name);
}

} // namespace

class algoMesh_JT_Samples : public testing::TestWithParam<const char*>
{
};

TEST_P(algoMesh_JT_Samples, EveryFaceGetsItsFinestLevel)
{
  const std::string path = sharedJT(GetParam());
  if (path.empty())
    GTEST_SKIP() << "shared JT sample " << GetParam() << " not present";
  const Handle(algoMesh_JT) reader = readJT(path, 0);
  ASSERT_FALSE(reader.IsNull());
  EXPECT_GE(reader->NbTriangulationLods(), 1);
  EXPECT_EQ(reader->LodIndex(), 0);
  ASSERT_GT(reader->LateLoadedFaces().Length(), 0);
  const Placed placed = placedTriangles(reader);
  EXPECT_GT(placed.Triangles, 0);
  EXPECT_EQ(placed.EmptyFaces, 0);
}

INSTANTIATE_TEST_SUITE_P(SharedData,
                         algoMesh_JT_Samples,
                         testing::Values("Fan_v9.0.jt",
                                         "MachineVice_v9.5.jt",
                                         "Pump_v9.5.jt",
                                         "Radial_Engine_v8.2.jt",
                                         "Radial_Engine_v9.5.jt",
                                         "butterflyvalve_v8.0.jt",
                                         "butterflyvalve_v9.5.jt",
                                         "butterflyvalve_v10.0.jt"));

TEST(algoMesh_JT, VersionsOfOneModelAgreePerPart)
{
  const std::vector<std::vector<std::string>> models = {
      {"butterflyvalve_v8.0.jt", "butterflyvalve_v9.5.jt", "butterflyvalve_v10.0.jt"},
      {"Radial_Engine_v8.2.jt", "Radial_Engine_v9.5.jt"}};
  for (const std::vector<std::string>& versions : models)
  {
    std::vector<long> reference;
    Bnd_Box           referenceBox;
    for (const std::string& name : versions)
    {
      const std::string path = sharedJT(name);
      if (path.empty())
        GTEST_SKIP() << "shared JT sample " << name << " not present";
      const Handle(algoMesh_JT) reader = readJT(path, 0);
      ASSERT_FALSE(reader.IsNull()) << name;
      const std::vector<long> parts = trianglesPerPart(reader, 0);
      EXPECT_GT(parts.size(), 1u) << name;
      // The placements of the parts agree too: the placed models share their box.
      const Bnd_Box box = placedTriangles(reader).Box;
      if (reference.empty())
      {
        reference    = parts;
        referenceBox = box;
        continue;
      }
      EXPECT_EQ(parts, reference) << name;
      const double tolerance = 1e-4 * referenceBox.CornerMin().Distance(referenceBox.CornerMax());
      EXPECT_LT(box.CornerMin().Distance(referenceBox.CornerMin()), tolerance) << name;
      EXPECT_LT(box.CornerMax().Distance(referenceBox.CornerMax()), tolerance) << name;
    }
  }
}

TEST(algoMesh_JT, CoarserLevelsHaveFewerTrianglesAndTooHighALevelGivesTheLast)
{
  const std::string path = sharedJT("Pump_v9.5.jt");
  if (path.empty())
    GTEST_SKIP() << "shared JT sample Pump_v9.5.jt not present";
  const Handle(algoMesh_JT) finest = readJT(path, 0);
  ASSERT_FALSE(finest.IsNull());
  const int nbLevels = finest->NbTriangulationLods();
  ASSERT_EQ(nbLevels, 5);
  long previous = placedTriangles(finest).Triangles;
  for (int level = 1; level < nbLevels; ++level)
  {
    const long triangles = placedTriangles(readJT(path, level)).Triangles;
    EXPECT_LT(triangles, previous) << "level " << level;
    previous = triangles;
  }
  const Handle(algoMesh_JT) beyond = readJT(path, 99);
  ASSERT_FALSE(beyond.IsNull());
  EXPECT_EQ(beyond->LodIndex(), nbLevels - 1);
  EXPECT_EQ(placedTriangles(beyond).Triangles, previous);
}

TEST(algoMesh_JT, NormalsAreUnitLength)
{
  for (const char* name : {"butterflyvalve_v9.5.jt", "butterflyvalve_v10.0.jt", "Fan_v9.0.jt"})
  {
    const std::string path = sharedJT(name);
    if (path.empty())
      GTEST_SKIP() << "shared JT sample " << name << " not present";
    const Handle(algoMesh_JT) reader = readJT(path, 0);
    ASSERT_FALSE(reader.IsNull());
    EXPECT_GT(placedTriangles(reader).WithNormals, 0) << name;
    for (const TopoDS_Face& face : reader->LateLoadedFaces())
    {
      TopLoc_Location location;
      const Handle(Poly_Triangulation) mesh = BRep_Tool::Triangulation(face, location);
      for (int i = 1; !mesh.IsNull() && mesh->HasNormals() && i <= mesh->NbNodes(); ++i)
      {
        gp_Vec3f normal;
        mesh->Normal(i, normal);
        ASSERT_NEAR(normal.Modulus(), 1.0, 1e-5) << name;
      }
    }
  }
}

TEST(algoMesh_JT, BundledSampleReadsWithoutSharedData)
{
  const std::string path = std::string(QUORIN_TEST_DATA_DIR) + "/jt/butterflyvalve_v8.0.jt";
  const Handle(algoMesh_JT) reader = readJT(path, 0);
  ASSERT_FALSE(reader.IsNull());
  EXPECT_EQ(reader->Model()->MajorVersion(), 8);
  EXPECT_EQ(reader->NbTriangulationLods(), 1);
  const Placed placed = placedTriangles(reader);
  // 9,499 triangles in the parts; one part placed three times.
  EXPECT_EQ(placed.Triangles, 10534);
  EXPECT_EQ(placed.EmptyFaces, 0);
  EXPECT_EQ(trianglesPerPart(reader, 0),
            (std::vector<long>{48, 308, 345, 345, 488, 806, 828, 1046, 5285}));

  // The base reader loads the same level itself when asked, and nothing at level -1.
  for (const int level : {0, -1})
  {
    Handle(JTCAFControl_Reader) base = new JTCAFControl_Reader();
    base->SetLodIndex(level);
    base->SetDocument(new TDocStd_Document(""));
    ASSERT_TRUE(base->Perform(path.c_str(), Message_ProgressRange()));
    long triangles = 0;
    for (const TopoDS_Face& face : base->LateLoadedFaces())
    {
      TopLoc_Location location;
      triangles += BRep_Tool::Triangulation(face, location)->NbTriangles();
    }
    EXPECT_EQ(triangles, level == 0 ? 9499 : 0);
  }
}

TEST(algoMesh_JT, DamagedFilesFailOrKeepPlaceholders)
{
  const std::string source = std::string(QUORIN_TEST_DATA_DIR) + "/jt/butterflyvalve_v8.0.jt";
  std::ifstream     in(source, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 1000u);
  const auto write = [](const std::string& name, const std::vector<char>& data)
  {
    const std::string path = testmesh::TempPath(name);
    std::ofstream(path, std::ios::binary).write(data.data(), std::streamsize(data.size()));
    return path;
  };

  // Cut short: the table of contents or the scene graph no longer fit the file.
  for (const size_t size : {size_t(50), size_t(104), bytes.size() / 2})
  {
    Handle(algoMesh_JT) reader = new algoMesh_JT();
    reader->SetDocument(new TDocStd_Document(""));
    EXPECT_FALSE(reader->Perform(
        write("cut.jt", std::vector<char>(bytes.begin(), bytes.begin() + size)).c_str(),
        Message_ProgressRange()));
    EXPECT_FALSE(reader->ErrorMessage().empty());
  }

  // A shape segment whose element length is zeroed: that face keeps its placeholder.
  const Handle(algoMesh_JT) intact = readJT(source, 0);
  ASSERT_FALSE(intact.IsNull());
  std::vector<char> damaged   = bytes;
  int               nbDamaged = 0;
  for (JtData_Model::SegmentsWriter::MapOfSegments::Iterator it(intact->Model()->Segments().TOC());
       it.More(); it.Next())
    if (it.Value().Type >= 6 && nbDamaged++ == 0)
      std::fill_n(damaged.begin() + long(it.Value().Offset) + 24, 4, 0);
  const Handle(algoMesh_JT) reader = readJT(write("damaged.jt", damaged), 0);
  ASSERT_FALSE(reader.IsNull());
  const Placed placed = placedTriangles(reader);
  EXPECT_GE(placed.EmptyFaces, 1);
  EXPECT_LT(placed.Triangles, 10534);
  EXPECT_GT(placed.Triangles, 0);
}

TEST(algoMesh_JT, UserBreakWhileLoadingKeepsTheFacesDoneSoFar)
{
  const std::string path = std::string(QUORIN_TEST_DATA_DIR) + "/jt/butterflyvalve_v8.0.jt";

  // Without a break the levels load in a scope of their own.
  Handle(BreakingIndicator) watching = new BreakingIndicator("no such scope");
  Handle(algoMesh_JT) reader         = new algoMesh_JT();
  reader->SetDocument(new TDocStd_Document(""));
  ASSERT_TRUE(reader->Perform(path.c_str(), watching->Start()));
  EXPECT_EQ(watching->Names.count("Loading JT triangulation"), 1u);

  // A break after the first face: false, that face triangulated, the others placeholders.
  Handle(BreakingIndicator) breaking = new BreakingIndicator("Loading JT triangulation");
  reader                             = new algoMesh_JT();
  reader->SetDocument(new TDocStd_Document(""));
  EXPECT_FALSE(reader->Perform(path.c_str(), breaking->Start()));
  int nbLoaded = 0;
  for (const TopoDS_Face& face : reader->LateLoadedFaces())
  {
    TopLoc_Location location;
    nbLoaded += BRep_Tool::Triangulation(face, location)->NbTriangles() > 0 ? 1 : 0;
  }
  EXPECT_EQ(nbLoaded, 1);
  EXPECT_EQ(reader->LateLoadedFaces().Length(), 9);
}

// Inputs found by fuzzing: shape elements (".bin": a version byte, then the element) and
// whole files, which must decode or fail without harm, in bounded time.
TEST(algoMesh_JT, FuzzingFindsDecodeSafely)
{
  const std::filesystem::path folder =
      std::filesystem::path(QUORIN_TEST_DATA_DIR) / "jt/regressions";
  int nbFiles = 0;
  for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(folder))
  {
    ++nbFiles;
    const std::string path = entry.path().string();
    if (entry.path().extension() == ".bin")
    {
      std::ifstream        in(path, std::ios::binary);
      std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
      ASSERT_FALSE(bytes.empty()) << path;
      Handle(JtElement_ShapeLOD_TriStripSet) element = new JtElement_ShapeLOD_TriStripSet(nullptr);
      const bool isDecoded =
          element->Decode(bytes.data() + 1, bytes.size() - 1, false, 8 + bytes[0] % 3,
                          JtData_Model::DecodeLimit(bytes.size()));
      // Refused, or decoded into triangles over existing vertices only.
      if (!isDecoded)
      {
        EXPECT_EQ(element->NbTriangles(), 0) << path;
      }
      for (const int32_t corner : element->Triangles())
        ASSERT_LT(corner, element->NbVertices()) << path;
    }
    else
    {
      Handle(algoMesh_JT) reader = new algoMesh_JT();
      reader->SetDocument(new TDocStd_Document(""));
      if (!reader->Perform(path.c_str(), Message_ProgressRange()))
      {
        EXPECT_FALSE(reader->ErrorMessage().empty()) << path;
      }
    }
  }
  EXPECT_GT(nbFiles, 0);
}
