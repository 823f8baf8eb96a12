// Card reading of NASTRAN bulk data: the three field formats give the same fields,
// continuations keep field positions, comments and blank lines are skipped, and the
// NASTRAN forms of reals are read.
#include <MorvTools_NASParser.hxx>

#include <MeshBuilders.hxx>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace
{

//! The cards of a deck: keyword and trimmed fields of each.
struct Card
{
  std::string              keyword;
  std::vector<std::string> fields;
  bool                     isLarge = false;
  int                      line    = 0;
};

//! A large-format field: 16 columns, right-aligned.
std::string wide(const std::string& text)
{
  return std::string(16 - text.size(), ' ') + text;
}

std::vector<Card> cardsOf(const std::string& name, const std::string& text)
{
  const std::string path = testmesh::TempPath(name);
  std::ofstream(path, std::ios::binary) << text;
  MorvTools_NASParser         parser;
  MorvTools_NASParser::Record record;
  std::vector<Card>           cards;
  EXPECT_TRUE(parser.Open(path.c_str()));
  while (parser.NextRecord(record))
  {
    Card card;
    card.keyword = record.KeyWord();
    card.isLarge = record.IsLargeField();
    card.line    = record.GetNbLine();
    for (int i = 0; i < record.NbFields(); ++i)
    {
      card.fields.emplace_back(record.Field(i));
    }
    cards.push_back(card);
  }
  parser.Close();
  return cards;
}

} // namespace

TEST(MorvTools_NASParser, FreeSmallAndLargeFieldsGiveTheSameGrid)
{
  const std::vector<Card> cards =
      cardsOf("formats.bdf", "$ one node in each format\n"
                             "GRID,1,,1.5,2.5,3.5\n"
                             "GRID           2            1.5     2.5     3.5\n"
                             "GRID*   " +
                                 wide("3") + wide("") + wide("1.5") + wide("2.5") + "\n" +
                                 "*       " + wide("3.5") +
                                 "\n"
                                 "\n"
                                 "ENDDATA\n"
                                 "GRID,4,,9.,9.,9.\n");
  ASSERT_EQ(3u, cards.size()) << "nothing is read after ENDDATA";
  for (int k = 0; k < 3; ++k)
  {
    SCOPED_TRACE(k);
    EXPECT_EQ("GRID", cards[k].keyword);
    ASSERT_GE(cards[k].fields.size(), 5u);
    EXPECT_EQ(std::to_string(k + 1), cards[k].fields[0]);
    EXPECT_EQ("", cards[k].fields[1]);
    EXPECT_EQ("1.5", cards[k].fields[2]);
    EXPECT_EQ("2.5", cards[k].fields[3]);
    EXPECT_EQ("3.5", cards[k].fields[4]);
  }
  EXPECT_FALSE(cards[0].isLarge);
  EXPECT_TRUE(cards[2].isLarge);
  EXPECT_EQ(2, cards[0].line);
  EXPECT_EQ(4, cards[2].line);
}

TEST(MorvTools_NASParser, ContinuationsKeepFieldPositionsAcrossCommentsAndCrlf)
{
  // A CHEXA needs a continuation; its second line's fields come after the eight of the
  // first, and a comment between the two lines does not break the card.
  const std::vector<Card> cards =
      cardsOf("continued.bdf", "CHEXA         10       1       1       2       3"
                               "       4       5       6+\r\n"
                               "$ comment inside the card\r\n"
                               "+              7       8\r\n"
                               "cquad4,11,1,1,2,3,4\r\n");
  ASSERT_EQ(2u, cards.size());
  EXPECT_EQ("CHEXA", cards[0].keyword);
  ASSERT_GE(cards[0].fields.size(), 10u);
  EXPECT_EQ("6", cards[0].fields[7]);
  EXPECT_EQ("7", cards[0].fields[8]);
  EXPECT_EQ("8", cards[0].fields[9]);
  EXPECT_EQ("CQUAD4", cards[1].keyword) << "keywords are upper-cased";
}

TEST(MorvTools_NASParser, RealsInNastranFormsAndMalformedFields)
{
  const std::string path = testmesh::TempPath("reals.bdf");
  std::ofstream(path) << "GRID,1,,1.5-3,2.+4,1.D2,,abc,7\n";
  MorvTools_NASParser         parser;
  MorvTools_NASParser::Record record;
  ASSERT_TRUE(parser.Open(path.c_str()));
  ASSERT_TRUE(parser.NextRecord(record));
  int id = 0;
  ASSERT_TRUE(record.ReadInteger(id));
  EXPECT_EQ(1, id);
  int coordinateSystem = -1;
  EXPECT_TRUE(record.ReadInteger(coordinateSystem, true, 0)) << "blank allowed";
  EXPECT_EQ(0, coordinateSystem);
  double x = 0.0, y = 0.0, z = 0.0, blank = -1.0, bad = 0.0;
  EXPECT_TRUE(record.ReadReal(x));
  EXPECT_TRUE(record.ReadReal(y));
  EXPECT_TRUE(record.ReadReal(z));
  EXPECT_DOUBLE_EQ(1.5e-3, x);
  EXPECT_DOUBLE_EQ(2.0e4, y);
  EXPECT_DOUBLE_EQ(100.0, z);
  EXPECT_TRUE(record.ReadReal(blank));
  EXPECT_EQ(0.0, blank);
  EXPECT_FALSE(record.ReadReal(bad));
  int last = 0;
  EXPECT_TRUE(record.ReadInteger(last));
  EXPECT_EQ(7, last);
  EXPECT_TRUE(record.IsEnd());
  EXPECT_FALSE(record.ReadInteger(last)) << "past the last field";
}
