// The JT document reader on small files built here: scene graph layout, transforms and
// their order along a path, names and instances, late-loaded levels, and headers or tables
// that lie about the file.
#include <JTCAFControl_Reader.hxx>

#include <MeshBuilders.hxx>

#include <BRep_Tool.hxx>
#include <Bnd_Box.hxx>
#include <Message_ProgressRange.hxx>
#include <TDocStd_Document.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace
{

//! Little-endian JT 8.1 file content.
class Writer
{
public:
  std::vector<uint8_t> Data;

  Writer& U8(const int v)
  {
    Data.push_back(static_cast<uint8_t>(v));
    return *this;
  }
  Writer& U16(const int v) { return U8(v & 0xFF).U8((v >> 8) & 0xFF); }
  Writer& I32(const int64_t v)
  {
    for (int k = 0; k < 4; ++k)
      U8(static_cast<int>((static_cast<uint64_t>(v) >> (8 * k)) & 0xFF));
    return *this;
  }
  Writer& F32(const float v)
  {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    return I32(bits);
  }
  //! A GUID given as its text form, stored in little-endian order.
  Writer& Guid(const char* text)
  {
    std::vector<int> bytes;
    for (const char* c = text; *c != '\0'; c += (*c == '-') ? 1 : 2)
      if (*c != '-')
        bytes.push_back(std::stoi(std::string(c, 2), nullptr, 16));
    const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (const int k : order)
      U8(bytes[k]);
    return *this;
  }
  Writer& Vec(const std::vector<int>& values)
  {
    I32(values.size());
    for (const int v : values)
      I32(v);
    return *this;
  }
  Writer& Text(const std::string& text)
  {
    I32(text.size());
    for (const char c : text)
      U16(c);
    return *this;
  }
  //! An element: length, type GUID, base type, then the body.
  Writer& Element(const char* type, const int baseType, const Writer& body)
  {
    I32(17 + body.Data.size()).Guid(type).U8(baseType);
    Data.insert(Data.end(), body.Data.begin(), body.Data.end());
    return *this;
  }
  Writer& EndOfElements() { return I32(16).Guid("ffffffff-ffff-ffff-ffff-ffffffffffff"); }
};

const char* const THE_PARTITION = "10dd103e-2ac8-11d1-9b6b-0080c7bb5997";
const char* const THE_INSTANCE  = "10dd102a-2ac8-11d1-9b6b-0080c7bb5997";
const char* const THE_PART      = "ce357244-38fb-11d1-a506-006097bdc6e1";
const char* const THE_SHAPE     = "10dd1077-2ac8-11d1-9b6b-0080c7bb5997";
const char* const THE_TRANSFORM = "10dd1083-2ac8-11d1-9b6b-0080c7bb5997";
const char* const THE_STRING    = "10dd106e-2ac8-11d1-9b6b-0080c7bb5997";
const char* const THE_LATE      = "e0b05be5-fbbd-11d1-a3a7-00aa00d10954";
const char* const THE_LOD_ELEM  = "10dd10ab-2ac8-11d1-9b6b-0080c7bb5997";
const char* const THE_LSG_SEG   = "00000001-0000-0000-0000-000000000001";
const char* const THE_SHAPE_SEG = "00000002-0000-0000-0000-000000000002";

Writer node(const int id, const std::vector<int>& attributes)
{
  Writer body;
  body.I32(id).I32(0).Vec(attributes);
  return body;
}

//! A transform attribute of 8.x (single floats): `values` for the elements whose mask bit is
//! set, bit 15 being element 0.
Writer transform(const int id, const int mask, const std::vector<float>& values)
{
  Writer body;
  body.I32(id).U8(0).I32(0).U16(mask);
  for (const float v : values)
    body.F32(v);
  return body;
}

//! One quad strip in the xy unit square, stored losslessly.
Writer stripShape()
{
  Writer body;
  body.U16(1).I32(0).I32(0).U16(1);     // level headers
  body.U16(1).U8(0).U8(0).U8(0).I32(0); // no normals, lossless vertices
  body.U8(0).I32(2).I32(0).I32(4);      // strip boundaries, null codec
  body.I32(48).I32(-48);                // 12 raw floats
  for (const float v : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f, 1.f, 1.f, 0.f})
    body.F32(v);
  Writer element;
  element.Element(THE_LOD_ELEM, 4, body);
  return element;
}

//! A JT 8.1 file: a partition holding two instances of part "bolt" (one quad), the first
//! moved by (10, 0, 0), the second by (0, 20, 0); the part itself turned a quarter about z.
std::vector<uint8_t> makeFile(const int shapeType = 7)
{
  Writer graph;
  Writer partition = node(0, {});
  partition.Vec({1, 2});
  graph.Element(THE_PARTITION, 1, partition);
  Writer first = node(1, {10});
  first.I32(3);
  graph.Element(THE_INSTANCE, 0, first);
  Writer second = node(2, {11});
  second.I32(3);
  graph.Element(THE_INSTANCE, 0, second);
  Writer part = node(3, {12});
  part.Vec({4});
  graph.Element(THE_PART, 1, part);
  graph.Element(THE_SHAPE, 2, node(4, {}));
  graph.Element(THE_TRANSFORM, 3, transform(10, 0x000E, {10, 0, 0}));
  graph.Element(THE_TRANSFORM, 3, transform(11, 0x000E, {0, 20, 0}));
  graph.Element(THE_TRANSFORM, 3, transform(12, 0xCC00, {0, 1, -1, 0}));
  graph.EndOfElements();
  for (const auto& atom : std::vector<std::pair<int, std::string>>{
           {20, "JT_PROP_NAME"}, {21, "bolt;1;0:"}, {23, "JT_LLPROP_SHAPEIMPL"}})
  {
    Writer body;
    body.I32(atom.first).I32(0).Text(atom.second);
    graph.Element(THE_STRING, 5, body);
  }
  Writer late;
  late.I32(22).I32(0).Guid(THE_SHAPE_SEG).I32(shapeType);
  graph.Element(THE_LATE, 8, late);
  graph.EndOfElements();
  graph.U16(1).I32(2);
  graph.I32(3).I32(20).I32(21).I32(0);
  graph.I32(4).I32(23).I32(22).I32(0);

  // Header, scene graph segment (not compressed), shape segment, table of contents.
  Writer      file;
  std::string version = "Version 8.1";
  version.resize(80, ' ');
  for (const char c : version)
    file.U8(c);
  file.U8(0).I32(0).I32(0).Guid(THE_LSG_SEG);
  const size_t lsgOffset = file.Data.size();
  file.Guid(THE_LSG_SEG).I32(1).I32(24 + 9 + graph.Data.size());
  file.I32(1).I32(graph.Data.size() + 1).U8(1);
  file.Data.insert(file.Data.end(), graph.Data.begin(), graph.Data.end());
  const Writer shape       = stripShape();
  const size_t shapeOffset = file.Data.size();
  file.Guid(THE_SHAPE_SEG).I32(shapeType).I32(24 + shape.Data.size());
  file.Data.insert(file.Data.end(), shape.Data.begin(), shape.Data.end());
  const size_t tocOffset = file.Data.size();
  file.I32(2);
  file.Guid(THE_LSG_SEG).I32(lsgOffset).I32(shapeOffset - lsgOffset).I32(1 << 24);
  file.Guid(THE_SHAPE_SEG).I32(shapeOffset).I32(tocOffset - shapeOffset).I32(shapeType << 24);
  const uint32_t toc = static_cast<uint32_t>(tocOffset);
  std::memcpy(&file.Data[85], &toc, 4);
  return file.Data;
}

std::string writeFile(const std::string& name, const std::vector<uint8_t>& data)
{
  const std::string path = testmesh::TempPath(name);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
  return path;
}

Handle(JTCAFControl_Reader) read(const std::string& path, const int level)
{
  Handle(JTCAFControl_Reader) reader = new JTCAFControl_Reader();
  reader->SetLodIndex(level);
  reader->SetDocument(new TDocStd_Document(""));
  reader->Perform(path.c_str(), Message_ProgressRange());
  return reader;
}

} // namespace

TEST(JTCAFControl_Reader, InstancesPlaceTheTurnedPartTwice)
{
  const Handle(JTCAFControl_Reader) reader = read(writeFile("two.jt", makeFile()), 0);
  ASSERT_TRUE(reader->ErrorMessage().empty()) << reader->ErrorMessage();
  EXPECT_EQ(reader->Model()->MajorVersion(), 8);
  EXPECT_EQ(reader->Model()->MinorVersion(), 1);
  EXPECT_EQ(reader->NbTriangulationLods(), 1);
  ASSERT_EQ(reader->LateLoadedFaces().Length(), 1);

  // One part, named without the exporter's suffix in the document, placed twice.
  ASSERT_GE(reader->RootProduct(), 0);
  const JTCAFControl_Reader::Product& root = reader->Products()[reader->RootProduct()];
  ASSERT_EQ(root.Children.size(), 2u);
  EXPECT_EQ(root.Children[0], root.Children[1]);
  const JTCAFControl_Reader::Product& part = reader->Products()[root.Children[0]];
  EXPECT_TRUE(part.IsPart);
  EXPECT_EQ(part.Name, "bolt;1;0:");

  // The part's own quarter turn applies first, then each instance's move: the unit square
  // becomes [-1, 0] x [0, 1], then lies at x + 10 and at y + 20.
  int     nbFaces = 0, nbTriangles = 0;
  Bnd_Box box;
  for (TopExp_Explorer exp(reader->SingleShape(), TopAbs_FACE); exp.More(); exp.Next())
  {
    TopLoc_Location location;
    const Handle(Poly_Triangulation) mesh =
        BRep_Tool::Triangulation(TopoDS::Face(exp.Current()), location);
    ++nbFaces;
    nbTriangles += mesh->NbTriangles();
    for (int i = 1; i <= mesh->NbNodes(); ++i)
      box.Add(mesh->Node(i).Transformed(location.Transformation()));
  }
  EXPECT_EQ(nbFaces, 2);
  EXPECT_EQ(nbTriangles, 4);
  double xmin, ymin, zmin, xmax, ymax, zmax;
  box.Get(xmin, ymin, zmin, xmax, ymax, zmax);
  EXPECT_NEAR(xmin, -1.0, 1e-12);
  EXPECT_NEAR(xmax, 10.0, 1e-12);
  EXPECT_NEAR(ymin, 0.0, 1e-12);
  EXPECT_NEAR(ymax, 21.0, 1e-12);
}

TEST(JTCAFControl_Reader, LevelsLoadOnlyWhenAsked)
{
  const std::string path = writeFile("levels.jt", makeFile());
  // Level -1: placeholders only; a level above the last: the last.
  for (const int level : {-1, 3})
  {
    const Handle(JTCAFControl_Reader) reader = read(path, level);
    ASSERT_TRUE(reader->ErrorMessage().empty());
    TopLoc_Location location;
    const Handle(JTCAFControl_Triangulation) placeholder =
        Handle(JTCAFControl_Triangulation)::DownCast(
            BRep_Tool::Triangulation(reader->LateLoadedFaces().First(), location));
    EXPECT_EQ(placeholder.IsNull(), level >= 0);
    if (level < 0)
    {
      ASSERT_EQ(placeholder->Levels().Length(), 1);
      EXPECT_EQ(placeholder->Levels().First()->LateLoaded.Length(), 1);
      EXPECT_EQ(placeholder->NbTriangles(), 0);
    }
  }
}

TEST(JTCAFControl_Reader, LyingHeadersAndTablesAreRefused)
{
  const std::vector<uint8_t> good    = makeFile();
  const auto                 refused = [](const std::string& name, std::vector<uint8_t> data)
  {
    const Handle(JTCAFControl_Reader) reader = read(writeFile(name, data), 0);
    EXPECT_FALSE(reader->ErrorMessage().empty()) << name;
    EXPECT_EQ(reader->RootProduct(), -1) << name;
  };

  std::vector<uint8_t> version = good;
  version[8]                   = '7';
  refused("version.jt", version);

  std::vector<uint8_t> toc = good;
  toc[85] = toc[86] = toc[87] = 0x7F; // table of contents beyond the end
  refused("toc.jt", toc);

  std::vector<uint8_t> count = good;
  uint32_t             offset;
  std::memcpy(&offset, &good[85], 4);
  count[offset + 3] = 0x40; // a billion entries
  refused("count.jt", count);

  std::vector<uint8_t> segment     = good;
  segment[offset + 4 + 16 + 4 + 3] = 0x40; // scene graph length beyond the file
  refused("segment.jt", segment);

  refused("cut.jt", std::vector<uint8_t>(good.begin(), good.begin() + offset + 10));
}

TEST(JTCAFControl_Reader, GeometryOfOtherSegmentTypesIsNotLoaded)
{
  // A late-loaded property of type 4 (meta data) is no geometry: the part gets no face.
  const Handle(JTCAFControl_Reader) reader = read(writeFile("meta.jt", makeFile(4)), 0);
  ASSERT_TRUE(reader->ErrorMessage().empty());
  ASSERT_EQ(reader->LateLoadedFaces().Length(), 1);
  TopLoc_Location location;
  EXPECT_EQ(BRep_Tool::Triangulation(reader->LateLoadedFaces().First(), location)->NbTriangles(),
            0);
}
