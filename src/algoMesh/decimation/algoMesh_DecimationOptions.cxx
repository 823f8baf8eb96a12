// Decimation options and their command-line form.
#include <algoMesh_DecimationOptions.hxx>

#include <Standard_ProgramError.hxx>
#include <Standard_TypeMismatch.hxx>

namespace quorin
{

namespace
{

//! The word after key `i`, or throws the key's missing-value error.
TCollection_AsciiString
valueAfter(const int i, const int argc, const char** argv, const char* const missingMessage)
{
  if (i + 1 >= argc)
  {
    throw Standard_ProgramError(missingMessage);
  }
  return TCollection_AsciiString(argv[i + 1]);
}

double realValue(const TCollection_AsciiString& word, const char* const wrongMessage)
{
  if (!word.IsRealValue())
  {
    throw Standard_TypeMismatch(wrongMessage);
  }
  return word.RealValue();
}

bool onOffValue(TCollection_AsciiString word, const char* const wrongMessage)
{
  word.LowerCase();
  if (word.IsEqual("on"))
  {
    return true;
  }
  if (word.IsEqual("off"))
  {
    return false;
  }
  throw Standard_ProgramError(wrongMessage);
}

const char* onOff(const bool flag)
{
  return flag ? "on" : "off";
}

} // namespace

algoMesh_DecimationOptions::algoMesh_DecimationOptions()
    : Reduction(50.0), HasReduction(false), FeatureAngle(0.0), HasFeatureAngle(false),
      PreserveTopology(true), HasPreserveTopology(false), DeleteBoundaryVertices(true),
      HasDeleteBoundaryVertices(false), Splitting(false), HasSplitting(false), SplitAngle(0.0),
      HasSplitAngle(0.0)
{
}

int algoMesh_DecimationOptions::FromCmdLine(const int                   argc,
                                            const char**                argv,
                                            algoMesh_DecimationOptions& options)
{
  if (argc < 1)
  {
    return 0;
  }
  // Keys are matched in lower case, so "-REDUCTION" reads as "-reduction".
  TCollection_AsciiString keyFeatureAngle("-featureAngle"), keyReduction("-reduction"),
      keyPreserveTopo("-preserveTopo"), keySplitting("-splitting"), keySplitAngle("-splitAngle"),
      keyDelBndVertices("-delBndVertices");
  for (TCollection_AsciiString* key : {&keyFeatureAngle, &keyReduction, &keyPreserveTopo,
                                       &keySplitting, &keySplitAngle, &keyDelBndVertices})
  {
    key->LowerCase();
  }

  for (int i = 0; i < argc; ++i)
  {
    TCollection_AsciiString word(argv[i]);
    word.LowerCase();
    if (word.IsEqual(keyFeatureAngle))
    {
      options.FeatureAngle =
          realValue(valueAfter(i, argc, argv, "Value is expected for feature angle option."),
                    "Incorrect argument for feature angle option. Real value is expected.");
      options.HasFeatureAngle = true;
      ++i;
    }
    else if (word.IsEqual(keyReduction))
    {
      options.Reduction =
          realValue(valueAfter(i, argc, argv, "Value is expected for reduction option."),
                    "Incorrect argument for reduction option. Real value is expected.");
      options.HasReduction = true;
      ++i;
    }
    else if (word.IsEqual(keyPreserveTopo))
    {
      options.PreserveTopology =
          onOffValue(valueAfter(i, argc, argv, "Value is expected for preserve topo option."),
                     "Key '-preserveTopo' takes two values 'on' or 'off'. Check help for details.");
      options.HasPreserveTopology = true;
      ++i;
    }
    else if (word.IsEqual(keySplitting))
    {
      options.Splitting =
          onOffValue(valueAfter(i, argc, argv, "Value is expected for splitting option."),
                     "Key '-splitting' takes two values 'on' or 'off'. Check help for details.");
      options.HasSplitting = true;
      ++i;
    }
    else if (word.IsEqual(keySplitAngle))
    {
      options.SplitAngle =
          realValue(valueAfter(i, argc, argv, "Value is expected for split angle option."),
                    "Incorrect argument for split angle option. Real value is expected.");
      options.HasSplitAngle = 1.0;
      ++i;
    }
    else if (word.IsEqual(keyDelBndVertices))
    {
      options.DeleteBoundaryVertices = onOffValue(
          valueAfter(i, argc, argv, "Value is expected for boundary vertices deletion option."),
          "Key '-delBndVertices' takes two values 'on' or 'off'. Check help for details.");
      options.HasDeleteBoundaryVertices = true;
      ++i;
    }
  }
  return argc;
}

TCollection_AsciiString algoMesh_DecimationOptions::GetCmdLine() const
{
  TCollection_AsciiString text;
  if (HasReduction)
  {
    text += " -reduction ";
    text += TCollection_AsciiString(Reduction);
  }
  if (HasFeatureAngle)
  {
    text += " -featureAngle ";
    text += TCollection_AsciiString(FeatureAngle);
  }
  if (HasPreserveTopology)
  {
    text += " -preserveTopo ";
    text += onOff(PreserveTopology);
  }
  if (HasDeleteBoundaryVertices)
  {
    text += " -delBndVertices ";
    text += onOff(DeleteBoundaryVertices);
  }
  if (HasSplitting)
  {
    text += " -splitting ";
    text += onOff(Splitting);
  }
  if (HasSplitAngle != 0.0)
  {
    text += " -splitAngle ";
    text += TCollection_AsciiString(SplitAngle);
  }
  return text;
}

} // namespace quorin
