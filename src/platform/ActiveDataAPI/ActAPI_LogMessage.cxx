#include <ActAPI_LogMessage.hxx>

#include <Standard_ProgramError.hxx>

ActAPI_LogMessage& ActAPI_LogMessage::operator<<(const TCollection_AsciiString& text)
{
  if (IsMuted)
  {
    return *this;
  }
  if (!IsTextSet)
  {
    Text      = text;
    IsTextSet = true;
    return *this;
  }
  Arguments.Append(new ActAPI_VariableString(text));
  return *this;
}

ActAPI_LogMessage& ActAPI_LogMessage::operator<<(const int value)
{
  return appendArgument(new ActAPI_VariableInt(value));
}

ActAPI_LogMessage& ActAPI_LogMessage::operator<<(const double value)
{
  return appendArgument(new ActAPI_VariableReal(value));
}

ActAPI_LogMessage& ActAPI_LogMessage::operator<<(const bool value)
{
  return appendArgument(new ActAPI_VariableBool(value));
}

ActAPI_LogMessage& ActAPI_LogMessage::operator<<(const Handle(TColStd_HArray1OfReal) & value)
{
  return appendArgument(new ActAPI_VariableRealArray(value));
}

ActAPI_LogMessage& ActAPI_LogMessage::operator<<(const TopoDS_Shape& value)
{
  return appendArgument(new ActAPI_VariableShape(value));
}

ActAPI_LogMessage& ActAPI_LogMessage::appendArgument(const Handle(ActAPI_VariableBase) & argument)
{
  if (IsMuted)
  {
    return *this;
  }
  if (!IsTextSet)
  {
    throw Standard_ProgramError("Message must be initialized first");
  }
  Arguments.Append(argument);
  return *this;
}

TCollection_AsciiString ActAPI_LogMessage::Formatted() const
{
  const char*             text = Text.ToCString();
  const int               size = Text.Length();
  TCollection_AsciiString result;
  for (int i = 0; i < size; ++i)
  {
    if (text[i] == '%' && i + 1 < size && text[i + 1] >= '1' && text[i + 1] <= '9')
    {
      int j     = i + 1;
      int index = 0;
      while (j < size && text[j] >= '0' && text[j] <= '9' && index < 100000)
      {
        index = index * 10 + (text[j] - '0');
        ++j;
      }
      if (index >= 1 && index <= Arguments.Length() && !Arguments.Value(index).IsNull())
      {
        result += Arguments.Value(index)->ToString();
        i = j - 1;
        continue;
      }
    }
    result += text[i];
  }
  return result;
}
