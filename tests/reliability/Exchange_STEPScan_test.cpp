// The STEP pre-scan: files whose lists or values would keep the kernel's parser busy for
// minutes are refused at once, naming the largest; compact real structures pass.
#include <MeshBuilders.hxx>

#include <Exchange_STEPScan.hxx>
#include <algoMesh_CADReader.hxx>

#include <ActAPI_RecordingNotifier.hxx>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

using namespace quorin;

namespace
{

const char* const THE_HEAD = "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION((''),'2;1');\n"
                             "FILE_NAME('t','',(''),(''),'','','');\n"
                             "FILE_SCHEMA(('AUTOMOTIVE_DESIGN'));\nENDSEC;\nDATA;\n";
const char* const THE_TAIL = "ENDSEC;\nEND-ISO-10303-21;\n";

std::string writeStep(const std::string& name, const std::string& data)
{
  const std::string path = testmesh::TempPath(name);
  std::ofstream(path, std::ios::binary) << THE_HEAD << data << THE_TAIL;
  return path;
}

std::string joined(const std::string& item, const int count)
{
  std::string text;
  for (int k = 0; k < count; ++k)
  {
    text += (k == 0 ? "" : ",") + item;
  }
  return text;
}

} // namespace

TEST(Exchange_STEPScan, LongListsAndValuesAreRefusedAtOnceNamingTheLargest)
{
  // Each keeps the kernel's parser busy from 4 s to many minutes; the line is the one the
  // list or value starts on (the head takes seven lines).
  const struct
  {
    std::string Data;
    const char* Largest;
  } cases[] = {
      {"#1=CARTESIAN_POINT('',(0.,0.,0.));\n#2=CLOSED_SHELL('',(" + joined("#1", 300000) + "));\n",
       "a list of 300000 items on line 9"},
      {"#1=CARTESIAN_POINT('',(" + joined("(1.5)", 20000) + "));\n",
       "a list of 20000 items on line 8"},
      {"#1=CARTESIAN_POINT('" + std::string(40000, 'x') + "',(0.,0.,0.));\n",
       "a string of 40002 characters on line 8"},
      {"/*" + std::string(3000000, '-') + "*/\n", "a comment of 3000004 characters on line 8"},
      // Fifty values of 10,000 characters cost the parser about 20 s together.
      {[]
       {
         std::string many;
         for (int k = 1; k <= 50; ++k)
         {
           many += "#" + std::to_string(k) + "=CARTESIAN_POINT('',(0." + std::string(10000, '0') +
                   ",0.,0.));\n";
         }
         return many;
       }(),
       "a value of 10002 characters on line 8"},
  };
  for (const auto& c : cases)
  {
    const std::string path = writeStep("long.step", c.Data);
    std::string       reason;
    EXPECT_FALSE(Exchange_STEPScan::CheckParseCost(path, reason)) << c.Largest;
    EXPECT_EQ(std::string("it has ") + c.Largest + ", too long to read in reasonable time", reason);
  }

  // Through the reader: one message, before the kernel sees the file. The kernel would take
  // minutes; the bound leaves room for sanitizer builds on a loaded machine.
  const std::string path                    = writeStep("long-list.step", cases[0].Data);
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  TopoDS_Shape shape;
  const auto   start = std::chrono::steady_clock::now();
  EXPECT_FALSE(algoMesh_CADReader::ReadSTEP(path, shape, ActAPI_ProgressEntry(notifier)));
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 30.0);
  ASSERT_EQ(1u, notifier->Messages().size());
  EXPECT_EQ("The STEP file cannot be read: it has a list of 300000 items on line 9, too long to "
            "read in reasonable time.",
            std::string(notifier->Messages().front().Formatted().ToCString()));
}

TEST(Exchange_STEPScan, CompactRealStructuresPass)
{
  // A faceted model of 30,000 triangles in one shell (the most compact real encoding of a
  // long list), and a list of 400 strings and comments holding 200,000 commas, which are
  // no items of the list (counted as items, they would make it far too long).
  std::string faceted = "#1=CARTESIAN_POINT('',(0.,0.,0.));\n#2=CARTESIAN_POINT('',(1.,0.,0.));\n"
                        "#3=CARTESIAN_POINT('',(0.,1.,0.));\n";
  std::string faces;
  for (int k = 0; k < 30000; ++k)
  {
    const int loop = 10 + 3 * k;
    faceted += "#" + std::to_string(loop) + "=POLY_LOOP('',(#1,#2,#3));\n#" +
               std::to_string(loop + 1) + "=FACE_OUTER_BOUND('',#" + std::to_string(loop) +
               ",.T.);\n#" + std::to_string(loop + 2) + "=FACE('',(#" + std::to_string(loop + 1) +
               "));\n";
    faces += (k == 0 ? "#" : ",#") + std::to_string(loop + 2);
  }
  faceted += "#5=CLOSED_SHELL('',(" + faces + "));\n";
  std::string quoted = "#1=NAMES('',(";
  for (int k = 0; k < 400; ++k)
  {
    quoted += (k == 0 ? "'it''s" : ",'it''s") + std::string(500, ',') + "' /*" +
              std::string(500, ',') + "*/";
  }
  quoted += "));\n";
  for (const std::string& data : {faceted, quoted})
  {
    std::string reason;
    EXPECT_TRUE(Exchange_STEPScan::CheckParseCost(writeStep("compact.step", data), reason))
        << reason;
  }
}

TEST(Exchange_STEPScan, RecordsWhoseParenthesesDoNotPairUpAreRefused)
{
  // The kernel's parser recovers from these with records it later reads without setting
  // them: on a reused heap, a hang in its entity numbering (found by fuzzing).
  const struct
  {
    const char* Data;
    const char* Reason;
  } cases[] = {
      {"#1=B_SPLINE_CURVE_WITH_KNOTS('',3,(#2,#3,\n#2=CARTESIAN_POINT('',(0.,0.,0.));\n",
       "it has an entity inside the parameters of another on line 8"},
      {"#1=CARTESIAN_POINT('',(0.,0.,0.)));\n",
       "it has a parenthesis that closes no list on line 8"},
      {"#1=CARTESIAN_POINT('',(0.,0.,0.);\n",
       "it has a record whose parameter list is not closed on line 8"},
      // One quote too many: every later string and record swaps sides up to the end.
      {"#1=CARTESIAN_POINT('',(0.,0.,0.));\n#2=NAME(');\n",
       "it has a string that is not closed on line 9"},
      {"#1=CARTESIAN_POINT('',(0.,0.,0.));\n/* a note\n",
       "it has a comment that is not closed on line 9"},
      // A coordinate at infinity keeps the kernel's shape processing busy for good.
      {"#1=CARTESIAN_POINT('',(1.,-2.449293899E525-16,2.));\n",
       "it has a real out of range on line 8"},
  };
  for (const auto& c : cases)
  {
    std::string reason;
    EXPECT_FALSE(Exchange_STEPScan::CheckParseCost(writeStep("unpaired.step", c.Data), reason));
    EXPECT_EQ(c.Reason, reason);
  }

  // Parentheses and '=' inside strings and comments are text.
  std::string reason;
  EXPECT_TRUE(Exchange_STEPScan::CheckParseCost(
      writeStep("paired.step", "#1=NAME('a)=(b''');\n/* ) = ( */\n#2=VERTEX_POINT('',#1);\n"),
      reason))
      << reason;
}

TEST(Exchange_STEPScan, RecordsOutsideTheGrammarAreRefusedAndEveryFormOfValuePasses)
{
  // Each of these sends the kernel's parser into its recovery; the first was cut down from
  // a fuzzing input that hung on a reused heap.
  const struct
  {
    const char* Data;
    const char* Reason;
  } cases[] = {
      {"#1=CARTESIAN_POINT('',(-7.97','','');\n FILE_SCHEMA(('AUTOMOTIVE_DESIGN'));\n",
       "it has a misplaced string on line 8"},
      {"#1=CARTESIAN_POINT('' (0.,0.,0.));\n", "it has a misplaced opening parenthesis on line 8"},
      {"#1=CARTESIAN_POINT('',(0.,0.,0.,));\n", "it has a misplaced closing parenthesis on line 8"},
      {"#1 CARTESIAN_POINT('',(0.,0.,0.));\n", "it has a misplaced value on line 8"},
      {"#1=CARTESIAN_POINT('',(0.,0.,0.))\n#2=VERTEX_POINT('',#1);\n",
       "it has a misplaced value on line 9"},
      {"#1=CARTESIAN_POINT('',(0.5ISO,0.,0.));\n", "it has a malformed value on line 8"},
      {"#1=CARTESIAN_POINT('',(0.,\x01\x02,0.));\n", "it has a control character on line 8"},
  };
  for (const auto& c : cases)
  {
    std::string reason;
    EXPECT_FALSE(Exchange_STEPScan::CheckParseCost(writeStep("grammar.step", c.Data), reason))
        << c.Reason;
    EXPECT_EQ(c.Reason, reason);
  }

  // Complex entities, typed values, enumerations, binaries, unset and derived values,
  // reals as exporters write them, empty lists, non-ASCII names and a byte-order mark.
  const std::string path = testmesh::TempPath("forms.step");
  std::ofstream(path, std::ios::binary)
      << "\xEF\xBB\xBF" << THE_HEAD
      << "#3=( LENGTH_UNIT() NAMED_UNIT(*) SI_UNIT(.MILLI.,.METRE.) );\n"
         "#4=UNCERTAINTY_MEASURE_WITH_UNIT(LENGTH_MEASURE(1.E-006),#3,'accuracy','Z\xC3\xBCrich');"
         "\n"
         "#5=B_SPLINE_CURVE_WITH_KNOTS('',3,(#6,#6),.UNSPECIFIED.,.F.,.U.,(4,4),(-.5,+2.5e+1),$,"
         "\"0F\");\n"
         "#6=CARTESIAN_POINT('',(1.,-2.,3));\n"
      << THE_TAIL;
  std::string reason;
  EXPECT_TRUE(Exchange_STEPScan::CheckParseCost(path, reason)) << reason;
}
