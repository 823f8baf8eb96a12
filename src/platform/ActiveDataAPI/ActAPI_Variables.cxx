#include <ActAPI_Variables.hxx>

#include <TopAbs.hxx>

#include <cstdio>

IMPLEMENT_STANDARD_RTTIEXT(ActAPI_VariableBase, Standard_Transient)
IMPLEMENT_STANDARD_RTTIEXT(ActAPI_VariableString, ActAPI_VariableBase)
IMPLEMENT_STANDARD_RTTIEXT(ActAPI_VariableInt, ActAPI_VariableBase)
IMPLEMENT_STANDARD_RTTIEXT(ActAPI_VariableReal, ActAPI_VariableBase)
IMPLEMENT_STANDARD_RTTIEXT(ActAPI_VariableBool, ActAPI_VariableBase)
IMPLEMENT_STANDARD_RTTIEXT(ActAPI_VariableRealArray, ActAPI_VariableBase)
IMPLEMENT_STANDARD_RTTIEXT(ActAPI_VariableShape, ActAPI_VariableBase)

namespace
{
TCollection_AsciiString realToString(const double value)
{
  char buffer[64];
  std::snprintf(buffer, sizeof(buffer), "%.10g", value);
  return TCollection_AsciiString(buffer);
}
} // namespace

TCollection_AsciiString ActAPI_VariableReal::ToString() const
{
  return realToString(Value);
}

TCollection_AsciiString ActAPI_VariableRealArray::ToString() const
{
  TCollection_AsciiString text("(");
  if (!Value.IsNull())
  {
    for (int i = Value->Lower(); i <= Value->Upper(); ++i)
    {
      if (i > Value->Lower())
      {
        text += ", ";
      }
      text += realToString(Value->Value(i));
    }
  }
  text += ")";
  return text;
}

TCollection_AsciiString ActAPI_VariableShape::ToString() const
{
  if (Value.IsNull())
  {
    return "null shape";
  }
  return TopAbs::ShapeTypeToString(Value.ShapeType());
}
