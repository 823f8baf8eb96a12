// Meshes from NASTRAN bulk data: grid points, triangles and quadrangles in the free, small
// and large field formats (continuations included) give the same mesh; elements may come
// before their grid points; groups follow property IDs; malformed cards are refused with a
// message naming the card and its line.
#include <MorvTools_NASMeshReader.hxx>

#include <MeshBuilders.hxx>

#include <MorvDS_MeshNode.hxx>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace
{

//! Keeps the messages instead of printing them.
class Reader : public MorvTools_NASMeshReader
{
public:
  void SendMessage(const char* text, const int line) override { messages.push_back({text, line}); }
  std::vector<std::pair<std::string, int>> messages;
};

struct Outcome
{
  bool isRead = false;
  Handle(MorvDS_Mesh) mesh;
  std::vector<std::pair<std::string, int>> messages;
  std::map<int, std::vector<int>>          groups;
};

Outcome read(const std::string& name, const std::string& deck, const bool withGroups = false)
{
  const std::string path = testmesh::TempPath(name);
  std::ofstream(path, std::ios::binary) << deck;
  Reader reader;
  reader.ModeCreateGroups() = withGroups;
  Outcome outcome;
  outcome.isRead   = reader.Open(path.c_str()) && reader.ReadFile();
  outcome.mesh     = reader.GetMesh();
  outcome.messages = reader.messages;
  outcome.groups   = reader.Groups();
  reader.Close();
  return outcome;
}

// A field of `width` columns, left-aligned.
std::string field(const std::string& text, const size_t width = 8)
{
  return text + std::string(width - text.size(), ' ');
}

// A unit square split into two triangles (elements 1, 2, property 7) and a quadrangle
// above it (element 3, property 5), on grid points 1 .. 6, in each field format, each with
// continuation lines.
const std::string THE_FREE = "GRID,1,,0.,0.,0.\n"
                             "GRID,2,,1.,0.,0.\n"
                             "GRID,3,,1.,1.,0.\n"
                             "GRID,4,,0.,1.,0.\n"
                             "GRID,5,,1.,2.,0.5\n"
                             "GRID,6,,0.,2.,.5\n"
                             "CTRIA3,1,7,1,2,3\n"
                             "CTRIA3,2,7,1,3,4\n"
                             "CQUAD4,3,5,4,3,5,6,0.,,+\n"
                             "+,,1.,1.,1.,1.\n";

std::string smallFieldDeck()
{
  std::string deck;
  const char* coords[6][3] = {{"0.", "0.", "0."}, {"1.", "0.", "0."},   {"1.", "1.", "0."},
                              {"0.", "1.", "0."}, {"1.", "2.", "5.-1"}, {"0.", "2.", ".5"}};
  for (int i = 0; i < 6; ++i)
    deck += field("GRID") + field(std::to_string(i + 1)) + field("") + field(coords[i][0]) +
            field(coords[i][1]) + field(coords[i][2]) + "\n";
  deck += field("CTRIA3") + field("1") + field("7") + field("1") + field("2") + field("3") + "\n";
  deck += field("CTRIA3") + field("2") + field("7") + field("1") + field("3") + field("4") + "\n";
  // The quadrangle's thicknesses on a continuation line (read past, not used).
  deck += field("CQUAD4") + field("3") + field("5") + field("4") + field("3") + field("5") +
          field("6") + field("0.") + field("") + "+C1\n" + field("+C1") + field("") + field("1.") +
          field("1.") + field("1.") + field("1.") + "\n";
  return deck;
}

std::string largeFieldDeck()
{
  std::string deck;
  const char* coords[6][3] = {{"0.", "0.", "0."}, {"1.", "0.", "0."},  {"1.", "1.", "0."},
                              {"0.", "1.", "0."}, {"1.", "2.", "0.5"}, {"0.", "2.", "5.0E-1"}};
  for (int i = 0; i < 6; ++i)
    deck += field("GRID*") + field(std::to_string(i + 1), 16) + field("", 16) +
            field(coords[i][0], 16) + field(coords[i][1], 16) + "\n" + field("*") +
            field(coords[i][2], 16) + "\n";
  deck += field("CTRIA3*") + field("1", 16) + field("7", 16) + field("1", 16) + field("2", 16) +
          "\n" + field("*") + field("3", 16) + "\n";
  deck += field("CTRIA3*") + field("2", 16) + field("7", 16) + field("1", 16) + field("3", 16) +
          "\n" + field("*") + field("4", 16) + "\n";
  deck += field("CQUAD4*") + field("3", 16) + field("5", 16) + field("4", 16) + field("3", 16) +
          "\n" + field("*") + field("5", 16) + field("6", 16) + "\n";
  return deck;
}

} // namespace

TEST(MorvTools_NASMeshReader, EveryFieldFormatGivesTheSameMesh)
{
  const std::string decks[] = {THE_FREE, smallFieldDeck(), largeFieldDeck()};
  for (size_t k = 0; k < 3; ++k)
  {
    SCOPED_TRACE("format " + std::to_string(k));
    const Outcome outcome = read("formats" + std::to_string(k) + ".bdf", decks[k], true);
    ASSERT_TRUE(outcome.isRead) << (outcome.messages.empty() ? "" : outcome.messages[0].first);
    EXPECT_TRUE(outcome.messages.empty());
    const testmesh::ElementCounts counts = testmesh::CountElements(outcome.mesh);
    EXPECT_EQ(outcome.mesh->NbNodes(), 6);
    EXPECT_EQ(counts.triangles, 2);
    EXPECT_EQ(counts.quadrangles, 1);
    EXPECT_EQ((testmesh::NodeBounds(outcome.mesh)), (std::array<double, 6>{0, 0, 0, 1, 2, 0.5}));
    const Handle(MorvDS_MeshNode) five = outcome.mesh->FindNode(5);
    ASSERT_FALSE(five.IsNull());
    EXPECT_DOUBLE_EQ(five->Z(), 0.5);
    EXPECT_EQ(outcome.groups, (std::map<int, std::vector<int>>{{5, {3}}, {7, {1, 2}}}));
  }
}

TEST(MorvTools_NASMeshReader, ElementsMayComeBeforeTheirGridPoints)
{
  const Outcome outcome = read("order.bdf", "CTRIA3,10,1,3,1,2\n"
                                            "GRID,1,,0.,0.,0.\n"
                                            "GRID,2,,1.,0.,0.\n"
                                            "GRID,3,,0.,1.,0.\n");
  ASSERT_TRUE(outcome.isRead);
  EXPECT_EQ(testmesh::CountElements(outcome.mesh).triangles, 1);
}

TEST(MorvTools_NASMeshReader, MalformedCardsAreRefusedWithTheirLine)
{
  const std::string grids = "GRID,1,,0.,0.,0.\nGRID,2,,1.,0.,0.\nGRID,3,,0.,1.,0.\n";
  struct Case
  {
    std::string deck, message;
    int         line;
  };
  const Case cases[] = {
      {grids + "GRID,x,,0.,0.,0.\n", "GRID card without a valid positive ID.", 4},
      {grids + "GRID,-4,,0.,0.,0.\n", "GRID card without a valid positive ID.", 4},
      {grids + "GRID,4,,0.,1.0.5,0.\n", "GRID 4 has a malformed coordinate field.", 4},
      {grids + "GRID,4,,0.,1.+39,0.\n", "GRID 4 has a coordinate beyond 3.4e38.", 4},
      {grids + "GRID,2,,5.,5.,5.\n", "GRID 2 cannot be added (repeated ID).", 4},
      {grids + "CTRIA3,0,1,1,2,3\n", "CTRIA3 card without a valid positive element ID.", 4},
      {grids + "CQUAD4,9,p,1,2,3,4\n", "CQUAD4 9 has a malformed property ID.", 4},
      {grids + "CTRIA3,9,1,1,2\n", "CTRIA3 9 has a missing or malformed grid point number.", 4},
      {grids + "$ a comment\nCTRIA3,9,1,1,2,7\n",
       "Element 9 cannot be added: it uses a grid point that is not defined.", 5},
      {grids + "CTRIA3,9,1,1,2,2\n",
       "Element 9 cannot be added: its ID is repeated or it uses a grid point twice.", 4},
      {grids + "CTRIA3,9,1,1,2,3\nCTRIA3,9,1,3,2,1\n",
       "Element 9 cannot be added: its ID is repeated or it uses a grid point twice.", 5},
  };
  for (const Case& c : cases)
  {
    const Outcome outcome = read("bad.bdf", c.deck);
    EXPECT_FALSE(outcome.isRead) << c.deck;
    ASSERT_EQ(outcome.messages.size(), 1u) << c.deck;
    EXPECT_EQ(outcome.messages[0].first, c.message) << c.deck;
    EXPECT_EQ(outcome.messages[0].second, c.line) << c.deck;
  }
}
