#include <MeshBuilders.hxx>

#include <algoMesh_VTK_XML.hxx>

#include <ActAPI_RecordingNotifier.hxx>
#include <MorvDS_MeshElementsIterator.hxx>

#include <gp_Trsf.hxx>

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

using namespace quorin;

namespace
{

typedef NCollection_Vector<Handle(algoMesh_Field)> Fields;

const Standard_GUID THE_OWNER("5b8e2c4a-1d3f-4a6b-8c9d-0e1f2a3b4c5d");

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

//! Result of one read.
struct VtkRead
{
  bool IsOk = false;
  Handle(MorvDS_Mesh) Mesh;
  Fields Fields_;
  Handle(ActAPI_RecordingNotifier) Notifier = new ActAPI_RecordingNotifier();

  //! The field of that name and association, or null.
  Handle(algoMesh_Field) Field(const std::string& name, const int association) const
  {
    for (int f = 0; f < Fields_.Length(); ++f)
    {
      if (name == Fields_.Value(f)->Name().ToCString() &&
          Fields_.Value(f)->Association() == association)
      {
        return Fields_.Value(f);
      }
    }
    return Handle(algoMesh_Field)();
  }
};

VtkRead read(const std::string& path, const bool isPoly)
{
  VtkRead result;
  result.IsOk = isPoly ? algoMesh_VTK_XML::ReadVTP(path.c_str(), result.Mesh, result.Fields_,
                                                   THE_OWNER, result.Notifier)
                       : algoMesh_VTK_XML::ReadVTU(path.c_str(), result.Mesh, result.Fields_,
                                                   THE_OWNER, result.Notifier);
  return result;
}

//! An ASCII unstructured grid file.
std::string gridText(const std::string& points,
                     const int          nbPoints,
                     const std::string& connectivity,
                     const std::string& offsets,
                     const std::string& types,
                     const int          nbCells,
                     const std::string& cellData = "")
{
  return "<?xml version=\"1.0\"?>\n<VTKFile type=\"UnstructuredGrid\" version=\"0.1\" "
         "byte_order=\"LittleEndian\">\n<UnstructuredGrid>\n<Piece NumberOfPoints=\"" +
         std::to_string(nbPoints) + "\" NumberOfCells=\"" + std::to_string(nbCells) +
         "\">\n<Points>\n<DataArray type=\"Float64\" NumberOfComponents=\"3\" "
         "format=\"ascii\">" +
         points +
         "</DataArray>\n</Points>\n<Cells>\n<DataArray type=\"Int64\" Name=\"connectivity\" "
         "format=\"ascii\">" +
         connectivity +
         "</DataArray>\n<DataArray type=\"Int64\" Name=\"offsets\" format=\"ascii\">" + offsets +
         "</DataArray>\n<DataArray type=\"UInt8\" Name=\"types\" format=\"ascii\">" + types +
         "</DataArray>\n</Cells>\n<CellData>" + cellData +
         "</CellData>\n</Piece>\n</UnstructuredGrid>\n</VTKFile>\n";
}

//! One element of each kind over nodes 1..8 of a unit cube (ids 1..7 in this order:
//! edge, triangle, quadrangle, tetrahedron, pyramid, prism, hexahedron), and a one-node
//! element (id 8).
Handle(MorvDS_Mesh) everyKind()
{
  Handle(MorvDS_Mesh) mesh = new MorvDS_Mesh(10, 10, 10, 10);
  for (int i = 0; i < 8; ++i)
  {
    mesh->AddNode(i & 1, (i >> 1) & 1, 0.1 * ((i >> 2) & 1) + 1.0 / 3.0);
  }
  mesh->AddEdge(1, 2);
  mesh->AddFace(1, 2, 4);
  mesh->AddFace(1, 2, 4, 3);
  mesh->AddVolume(1, 2, 3, 5);
  mesh->AddVolume(1, 2, 4, 3, 5);
  mesh->AddVolume(1, 2, 3, 5, 6, 7);
  mesh->AddVolume(1, 2, 4, 3, 5, 6, 8, 7);
  mesh->Add0DElement(8);
  return mesh;
}

//! VTK cell type of each element kind, for cross-checks.
int vtkTypeOf(const Handle(MorvDS_MeshElement) & element)
{
  const std::map<std::string, int> types = {
      {"MorvDS_Mesh0DElement", 1},  {"MorvDS_MeshEdge", 3},         {"MorvDS_MeshTriangle", 5},
      {"MorvDS_MeshQuadrangle", 9}, {"MorvDS_MeshTetrahedron", 10}, {"MorvDS_MeshHexahedron", 12},
      {"MorvDS_MeshPrism", 13},     {"MorvDS_MeshPyramid", 14}};
  return types.at(element->DynamicType()->Name());
}

} // namespace

TEST(algoMesh_VTK_XML, LinearCellFixturesMapEveryCellType)
{
  for (const char* file : {"vtk/linear_cells_ascii.vtu", "vtk/linear_cells_appended_zlib.vtu"})
  {
    const VtkRead result = read(testmesh::DataFile(file), false);
    ASSERT_TRUE(result.IsOk) << file;
    EXPECT_EQ(33, result.Mesh->NbNodes());
    const testmesh::ElementCounts counts = testmesh::CountElements(result.Mesh);
    for (const int count : {counts.zeroD, counts.edges, counts.triangles, counts.quadrangles,
                            counts.tetrahedra, counts.pyramids, counts.prisms, counts.hexahedra})
    {
      EXPECT_EQ(1, count) << file;
    }
    EXPECT_EQ(7, result.Fields_.Length());
    // The file's "cell_type" array gives each cell's VTK type: every element carries its own.
    const Handle(algoMesh_Field) cellType = result.Field("cell_type", 1);
    ASSERT_FALSE(cellType.IsNull());
    for (MorvDS_MeshElementsIterator it(result.Mesh, MorvAbs_All); it.More(); it.Next())
    {
      ASSERT_NE(nullptr, cellType->Value(it.Value()->GetID()));
      EXPECT_EQ(vtkTypeOf(it.Value()), cellType->Value(it.Value()->GetID())[0]) << file;
    }
    ASSERT_FALSE(result.Field("stress", 0).IsNull());
    EXPECT_EQ(9, result.Field("stress", 0)->NbComponents());
    EXPECT_EQ(33, result.Field("node_id", 0)->NbTuples());
    EXPECT_EQ(3, result.Field("flux", 1)->NbComponents());
    EXPECT_TRUE(result.Field("flux", 1)->OwnerID() == THE_OWNER);
  }
}

TEST(algoMesh_VTK_XML, SharedFilesReadWithTheirCounts)
{
  const std::string hinge = testmesh::SharedDataFile("vtk/hinge_surface_appended_zlib.vtp");
  const std::string tets  = testmesh::SharedDataFile("vtk/t20_step_tets_meshio.vtu");
  if (hinge.empty() || tets.empty())
  {
    GTEST_SKIP() << "shared data folder /work/shared/data/vtk is absent";
  }
  VtkRead result = read(hinge, true);
  ASSERT_TRUE(result.IsOk);
  EXPECT_EQ(598, result.Mesh->NbNodes());
  EXPECT_EQ(1212, testmesh::CountElements(result.Mesh).triangles);
  ASSERT_EQ(4, result.Fields_.Length());
  EXPECT_EQ(3, result.Field("Normals", 1)->NbComponents());
  EXPECT_EQ(1212, result.Field("Quality", 1)->NbTuples());
  EXPECT_EQ(3, result.Field("Normals", 0)->NbComponents());
  EXPECT_EQ(598, result.Field("Mean_Curvature", 0)->NbTuples());

  result = read(tets, false);
  ASSERT_TRUE(result.IsOk);
  EXPECT_EQ(306, result.Mesh->NbNodes());
  EXPECT_EQ(860, testmesh::CountElements(result.Mesh).tetrahedra);
  EXPECT_EQ(612, testmesh::CountElements(result.Mesh).triangles);
  EXPECT_EQ(306, result.Field("temperature", 0)->NbTuples());
  EXPECT_EQ(3, result.Field("displacement", 0)->NbComponents());
}

TEST(algoMesh_VTK_XML, TwoTrianglesWithNodeFieldRoundTripThroughVTP)
{
  Handle(MorvDS_Mesh) mesh = new MorvDS_Mesh(10, 10, 10, 10);
  mesh->AddNode(0, 0, 0);
  mesh->AddNode(1, 0, 0);
  mesh->AddNode(0, 1, 0);
  mesh->AddNode(1, 1, 0);
  mesh->AddFace(1, 2, 3);
  mesh->AddFace(2, 4, 3);
  Handle(algoMesh_Field) field = new algoMesh_Field("heat", 0, 1, THE_OWNER);
  for (int n = 1; n <= 4; ++n)
  {
    field->SetValue(n, 0.1 * n);
  }
  Fields fields;
  fields.Append(field);
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  const std::string path                    = testmesh::TempPath("two.vtp");
  ASSERT_EQ(ExportStatus_Ok, algoMesh_VTK_XML::WriteVTP(mesh, fields, TopLoc_Location(),
                                                        path.c_str(), notifier, true));
  EXPECT_EQ("Saving VTK XML file", std::string(notifier->ProgressMessage().ToCString()));
  const std::string text = slurp(path);
  EXPECT_NE(std::string::npos, text.find("NumberOfPolys=\"2\""));
  EXPECT_NE(std::string::npos, text.find("<PointData>"));
  EXPECT_NE(std::string::npos, text.find("Name=\"heat\""));

  const VtkRead result = read(path, true);
  ASSERT_TRUE(result.IsOk);
  EXPECT_EQ(2, testmesh::CountElements(result.Mesh).triangles);
  ASSERT_EQ(1, result.Fields_.Length());
  const Handle(algoMesh_Field)& back = result.Fields_.Value(0);
  EXPECT_EQ(algoMesh_Field::Association_Node, back->Association());
  for (int n = 1; n <= 4; ++n)
  {
    EXPECT_EQ(0.1 * n, back->Value(n)[0]);
  }
  EXPECT_EQ("Loading VTK XML file", std::string(result.Notifier->ProgressMessage().ToCString()));
}

TEST(algoMesh_VTK_XML, EveryKindRoundTripsThroughVTUAndVolumesLeaveVTP)
{
  const Handle(MorvDS_Mesh) mesh = everyKind();
  Handle(algoMesh_Field) cell    = new algoMesh_Field("id", 1, 1, THE_OWNER);
  Handle(algoMesh_Field) node    = new algoMesh_Field("v", 0, 3, THE_OWNER);
  for (int k = 1; k <= 7; ++k)
  {
    cell->SetValue(k, 10.0 * k);
  }
  for (int n = 1; n <= 8; ++n)
  {
    node->SetValues(n, std::vector<double>{n + 0.1, n + 0.2, n / 3.0});
  }
  Fields fields;
  fields.Append(cell);
  fields.Append(Handle(algoMesh_Field)());
  fields.Append(node);
  gp_Trsf shift;
  shift.SetTranslation(gp_Vec(0, 0, 5));
  const std::string vtu = testmesh::TempPath("kinds.vtu");
  ASSERT_EQ(ExportStatus_Ok,
            algoMesh_VTK_XML::WriteVTU(mesh, fields, TopLoc_Location(shift), vtu.c_str(),
                                       ActAPI_ProgressEntry(), false));
  const VtkRead result = read(vtu, false);
  ASSERT_TRUE(result.IsOk);
  ASSERT_EQ(8, result.Mesh->NbNodes());
  EXPECT_EQ(7, result.Mesh->NbElements());                   // the one-node element has no cell
  EXPECT_EQ(1.0 / 3.0 + 5.0, result.Mesh->FindNode(1)->Z()); // placed, bit for bit
  for (int k = 1; k <= 7; ++k)
  {
    EXPECT_EQ(vtkTypeOf(mesh->FindElement(k)), vtkTypeOf(result.Mesh->FindElement(k)));
    EXPECT_EQ(10.0 * k, result.Field("id", 1)->Value(k)[0]);
  }
  EXPECT_EQ(8 / 3.0, result.Field("v", 0)->Value(8)[2]);

  const std::string vtp = testmesh::TempPath("kinds.vtp");
  ASSERT_EQ(ExportStatus_Ok,
            algoMesh_VTK_XML::WriteVTP(mesh, fields, TopLoc_Location(), vtp.c_str(),
                                       ActAPI_ProgressEntry(), false));
  const VtkRead poly = read(vtp, true);
  ASSERT_TRUE(poly.IsOk);
  EXPECT_EQ(3, poly.Mesh->NbElements()); // edge, triangle, quadrangle
  EXPECT_EQ(30.0, poly.Field("id", 1)->Value(3)[0]);
}

TEST(algoMesh_VTK_XML, EmptyMeshesAreNotWritten)
{
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  const std::string path                    = testmesh::TempPath("empty.vtu");
  EXPECT_EQ(ExportStatus_Failed,
            algoMesh_VTK_XML::WriteVTU(new MorvDS_Mesh(10, 10, 10, 10), Fields(), TopLoc_Location(),
                                       path.c_str(), notifier, true));
  EXPECT_EQ(ExportStatus_Failed,
            algoMesh_VTK_XML::WriteVTP(Handle(MorvDS_Mesh)(), Fields(), TopLoc_Location(),
                                       path.c_str(), notifier, true));
  EXPECT_FALSE(std::ifstream(path).good());
  EXPECT_EQ("The mesh has no nodes: nothing to write.", notifier->Texts().at(0));
  EXPECT_EQ(ExportStatus_Failed,
            algoMesh_VTK_XML::WriteVTU(everyKind(), Fields(), TopLoc_Location(),
                                       "/nonexistent-dir/a.vtu", notifier, true));
  Handle(ActAPI_RecordingNotifier) cancelling = new ActAPI_RecordingNotifier();
  cancelling->RequestCancel();
  EXPECT_EQ(ExportStatus_Failed,
            algoMesh_VTK_XML::WriteVTU(everyKind(), Fields(), TopLoc_Location(), path.c_str(),
                                       cancelling, true));
  EXPECT_FALSE(std::ifstream(path).good());
}

TEST(algoMesh_VTK_XML, PolygonsStripsAndQuadraticCellsAreSplit)
{
  // A pentagon (7), a pixel (8, skipped), a strip of four points (6), a quadratic triangle
  // (22) and a triangle over a repeated point (skipped with a warning).
  const std::string points = "0 0 0 2 0 0 3 1 0 1 2 0 -1 1 0 1 0 0 2.5 .5 0 .5 .5 0";
  const std::string text   = gridText(
        points, 8, "0 1 2 3 4  0 1 3 4  0 1 4 3  0 1 3 5 6 7  0 0 1", "5 9 13 19 22", "7 8 6 22 5", 5,
        "<DataArray type=\"Float64\" Name=\"q\" format=\"ascii\">1 2 3 4 5</DataArray>");
  const VtkRead result = read(spit("split.vtu", text), false);
  ASSERT_TRUE(result.IsOk);
  EXPECT_EQ(3 + 2 + 4, testmesh::CountElements(result.Mesh).triangles);
  const Handle(algoMesh_Field) q = result.Field("q", 1);
  EXPECT_EQ(9, q->NbTuples());
  EXPECT_EQ(1.0, q->Value(3)[0]); // last triangle of the pentagon
  EXPECT_EQ(3.0, q->Value(4)[0]); // first of the strip
  EXPECT_EQ(4.0, q->Value(9)[0]); // last of the quadratic triangle
  EXPECT_EQ((std::vector<std::string>{"Skipped 1 degenerate cells or cell parts."}),
            result.Notifier->Texts());
}

TEST(algoMesh_VTK_XML, MalformedFilesAreRefusedBeforeVTKSeesThem)
{
  const std::string points = "0 0 0 1 0 0 0 1 0";
  struct Case
  {
    std::string Text;
    const char* Message;
  };
  const Case cases[] = {
      {gridText(points, 3, "0 1 5", "3", "5", 1),
       "The file's cells name points that do not exist."},
      {gridText(points, 3, "0 1 -2", "3", "5", 1),
       "The file's cells name points that do not exist."},
      {gridText(points, 3, "0 1 2", "7", "5", 1), nullptr}, // VTK's own check of the offsets
      {gridText(points, 2000000000, "0 1 2", "3", "5", 1),
       "The file declares an impossible NumberOfPoints value."},
      {gridText(points, -3, "0 1 2", "3", "5", 1),
       "The file declares an impossible NumberOfPoints value."},
      {gridText("0 0 0 1 0 0 0 nan 0", 3, "0 1 2", "3", "5", 1),
       "Point 2 of the file (counted from 0) has a coordinate that is not a finite number of at "
       "most 3.4e38."},
      {"<VTKFile type=\"UnstructuredGrid\"><UnstructuredGrid><Piece NumberOfPoints=\"3\"", nullptr},
      {"not xml at all", nullptr},
      {std::string("\x00\x01\x02", 3), nullptr}};
  for (const Case& c : cases)
  {
    const VtkRead result = read(spit("bad.vtu", c.Text), false);
    EXPECT_FALSE(result.IsOk) << c.Text;
    ASSERT_FALSE(result.Notifier->Texts().empty()) << c.Text;
    EXPECT_EQ(LogSeverity_Error, result.Notifier->Messages().back().Severity);
    if (c.Message != nullptr)
    {
      EXPECT_EQ(c.Message, result.Notifier->Texts().back()) << c.Text;
    }
    else
    {
      EXPECT_EQ(0u, result.Notifier->Texts().back().rfind("VTK could not read the file: ", 0))
          << result.Notifier->Texts().back();
    }
  }
  // A grid read as poly data, and a missing file.
  EXPECT_FALSE(read(testmesh::DataFile("vtk/linear_cells_ascii.vtu"), true).IsOk);
  const VtkRead missing = read(testmesh::TempPath("missing.vtp"), true);
  EXPECT_FALSE(missing.IsOk);
  EXPECT_EQ("Cannot read the file '" + testmesh::TempPath("missing.vtp") + "': no such file.",
            missing.Notifier->Texts().at(0));
}

TEST(algoMesh_VTK_XML, FuzzingFindsAreRefused)
{
  // Found by fuzzing: a field-data array of type "Float63" crashed VTK's reader.
  const VtkRead result = read(testmesh::DataFile("vtk/regressions/unknown-array-type.vtp"), true);
  EXPECT_FALSE(result.IsOk);
  EXPECT_EQ("The file has a data array of unknown type 'Float63'.", result.Notifier->Texts().at(0));
  // Found by fuzzing: a compressed block header declaring gigabytes made VTK allocate them.
  const VtkRead huge = read(testmesh::DataFile("vtk/regressions/huge-block-size.vtu"), false);
  EXPECT_FALSE(huge.IsOk);
  EXPECT_EQ("The file declares more data than a file of its size can hold.",
            huge.Notifier->Texts().at(0));
  // Found by fuzzing: a block's compressed size of 1.6 GB, allocated before it is read.
  const VtkRead block =
      read(testmesh::DataFile("vtk/regressions/huge-compressed-block.vtu"), false);
  EXPECT_FALSE(block.IsOk);
  EXPECT_EQ("The file declares more data than a file of its size can hold.",
            block.Notifier->Texts().at(0));
  // Found by fuzzing: a control byte instead of the blank before the appended data's '_'
  // moved VTK's start of the data and its block headers onto blanks.
  const VtkRead shifted =
      read(testmesh::DataFile("vtk/regressions/appended-data-without-underscore.vtu"), false);
  EXPECT_FALSE(shifted.IsOk);
  EXPECT_EQ("The file's appended data does not start with '_'.", shifted.Notifier->Texts().at(0));
  // Found by fuzzing: an array with an offset but an unknown format, read by VTK as appended
  // data from the middle of another array.
  const VtkRead unformatted =
      read(testmesh::DataFile("vtk/regressions/offset-without-appended-format.vtu"), false);
  EXPECT_FALSE(unformatted.IsOk);
  EXPECT_EQ("The file declares more data than a file of its size can hold.",
            unformatted.Notifier->Texts().at(0));
  // Found by fuzzing: two cell arrays of one name crashed VTK's reader.
  const VtkRead twice =
      read(testmesh::DataFile("vtk/regressions/duplicate-cell-array-name.vtu"), false);
  EXPECT_FALSE(twice.IsOk);
  EXPECT_EQ("The file has two data arrays named 'velocity' in one CellData section.",
            twice.Notifier->Texts().at(0));
}
