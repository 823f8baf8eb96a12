// Decimation options: command-line keys in, command-line text out, and the exact errors of
// malformed arguments.
#include <algoMesh_DecimationOptions.hxx>

#include <Standard_ProgramError.hxx>
#include <Standard_TypeMismatch.hxx>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

using namespace quorin;

namespace
{

//! Runs FromCmdLine over the words of `line`; answers its result.
int parse(const std::string& line, algoMesh_DecimationOptions& options)
{
  std::istringstream       in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;)
  {
    words.push_back(w);
  }
  std::vector<const char*> argv;
  for (const std::string& w : words)
  {
    argv.push_back(w.c_str());
  }
  return algoMesh_DecimationOptions::FromCmdLine(static_cast<int>(argv.size()), argv.data(),
                                                 options);
}

void expectSame(const algoMesh_DecimationOptions& a, const algoMesh_DecimationOptions& b)
{
  EXPECT_EQ(a.Reduction, b.Reduction);
  EXPECT_EQ(a.HasReduction, b.HasReduction);
  EXPECT_EQ(a.FeatureAngle, b.FeatureAngle);
  EXPECT_EQ(a.HasFeatureAngle, b.HasFeatureAngle);
  EXPECT_EQ(a.PreserveTopology, b.PreserveTopology);
  EXPECT_EQ(a.HasPreserveTopology, b.HasPreserveTopology);
  EXPECT_EQ(a.DeleteBoundaryVertices, b.DeleteBoundaryVertices);
  EXPECT_EQ(a.HasDeleteBoundaryVertices, b.HasDeleteBoundaryVertices);
  EXPECT_EQ(a.Splitting, b.Splitting);
  EXPECT_EQ(a.HasSplitting, b.HasSplitting);
  EXPECT_EQ(a.SplitAngle, b.SplitAngle);
  EXPECT_EQ(a.HasSplitAngle, b.HasSplitAngle);
}

} // namespace

TEST(algoMesh_DecimationOptions, DefaultsWriteNothing)
{
  const algoMesh_DecimationOptions options;
  EXPECT_EQ(options.Reduction, 50.0);
  EXPECT_TRUE(options.PreserveTopology);
  EXPECT_TRUE(options.DeleteBoundaryVertices);
  EXPECT_FALSE(options.Splitting);
  EXPECT_EQ(options.HasSplitAngle, 0.0);
  EXPECT_STREQ(options.GetCmdLine().ToCString(), "");
}

TEST(algoMesh_DecimationOptions, GivenFieldsWrittenInFixedOrder)
{
  algoMesh_DecimationOptions options;
  options.Reduction    = 75;
  options.HasReduction = true;
  EXPECT_STREQ(options.GetCmdLine().ToCString(), " -reduction 75");

  // delBndVertices comes before splitting; reals in %g form.
  options.FeatureAngle              = 12.5;
  options.HasFeatureAngle           = true;
  options.PreserveTopology          = false;
  options.HasPreserveTopology       = true;
  options.DeleteBoundaryVertices    = false;
  options.HasDeleteBoundaryVertices = true;
  options.Splitting                 = true;
  options.HasSplitting              = true;
  options.SplitAngle                = 1e-7;
  options.HasSplitAngle             = 1.0;
  EXPECT_STREQ(options.GetCmdLine().ToCString(),
               " -reduction 75 -featureAngle 12.5 -preserveTopo off -delBndVertices off"
               " -splitting on -splitAngle 1e-07");
}

TEST(algoMesh_DecimationOptions, CommandLineRoundTripsExactly)
{
  algoMesh_DecimationOptions options;
  options.Reduction                 = 33.25;
  options.HasReduction              = true;
  options.FeatureAngle              = 170;
  options.HasFeatureAngle           = true;
  options.PreserveTopology          = false;
  options.HasPreserveTopology       = true;
  options.DeleteBoundaryVertices    = true;
  options.HasDeleteBoundaryVertices = true;
  options.Splitting                 = true;
  options.HasSplitting              = true;
  options.SplitAngle                = 45;
  options.HasSplitAngle             = 1.0;

  algoMesh_DecimationOptions parsed;
  const std::string          text = options.GetCmdLine().ToCString();
  EXPECT_EQ(parse(text, parsed), 12);
  expectSame(parsed, options);
  EXPECT_STREQ(parsed.GetCmdLine().ToCString(), text.c_str());

  // Fields not named keep their values; only the named ones are marked.
  algoMesh_DecimationOptions partial;
  parse("-splitting on", partial);
  EXPECT_STREQ(partial.GetCmdLine().ToCString(), " -splitting on");
}

TEST(algoMesh_DecimationOptions, KeysAndSwitchesIgnoreCaseAndStrayWordsAreSkipped)
{
  algoMesh_DecimationOptions options;
  EXPECT_EQ(parse("-REDUCTION 30 stray -Splitting ON -delbndvertices Off", options), 7);
  EXPECT_EQ(options.Reduction, 30.0);
  EXPECT_TRUE(options.HasReduction);
  EXPECT_TRUE(options.Splitting);
  EXPECT_FALSE(options.DeleteBoundaryVertices);
  EXPECT_FALSE(options.HasFeatureAngle);

  // No words: nothing read, nothing changed.
  algoMesh_DecimationOptions untouched;
  EXPECT_EQ(algoMesh_DecimationOptions::FromCmdLine(0, nullptr, untouched), 0);
  expectSame(untouched, algoMesh_DecimationOptions());
}

TEST(algoMesh_DecimationOptions, MalformedArgumentsThrowTheirMessages)
{
  struct Case
  {
    const char* line;
    bool        typeMismatch;
    const char* message;
  };
  const Case cases[] = {
      {"-featureAngle", false, "Value is expected for feature angle option."},
      {"-featureAngle x", true,
       "Incorrect argument for feature angle option. Real value is expected."},
      {"-reduction", false, "Value is expected for reduction option."},
      {"-reduction abc", true, "Incorrect argument for reduction option. Real value is expected."},
      {"-preserveTopo", false, "Value is expected for preserve topo option."},
      {"-preserveTopo yes", false,
       "Key '-preserveTopo' takes two values 'on' or 'off'. Check help for details."},
      {"-splitting", false, "Value is expected for splitting option."},
      {"-splitting 1", false,
       "Key '-splitting' takes two values 'on' or 'off'. Check help for details."},
      {"-splitAngle", false, "Value is expected for split angle option."},
      {"-splitAngle ?", true, "Incorrect argument for split angle option. Real value is expected."},
      {"-delBndVertices", false, "Value is expected for boundary vertices deletion option."},
      {"-delBndVertices no", false,
       "Key '-delBndVertices' takes two values 'on' or 'off'. Check help for details."},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.line);
    algoMesh_DecimationOptions options;
    try
    {
      parse(c.line, options);
      ADD_FAILURE() << "no exception";
    }
    catch (const Standard_TypeMismatch& e)
    {
      EXPECT_TRUE(c.typeMismatch);
      EXPECT_STREQ(e.GetMessageString(), c.message);
    }
    catch (const Standard_ProgramError& e)
    {
      EXPECT_FALSE(c.typeMismatch);
      EXPECT_STREQ(e.GetMessageString(), c.message);
    }
  }

  // What was read before the error stays.
  algoMesh_DecimationOptions options;
  EXPECT_THROW(parse("-reduction 20 -splitting maybe", options), Standard_ProgramError);
  EXPECT_EQ(options.Reduction, 20.0);
  EXPECT_TRUE(options.HasReduction);
}
