// Typed arguments of a log message. A message text holds numbered placeholders ("%1",
// "%2", ...) that a receiver replaces with these arguments, in order, using ToString().
#ifndef ActAPI_Variables_HeaderFile
#define ActAPI_Variables_HeaderFile

#include <ActAPI_Export.hxx>

#include <Standard_Transient.hxx>
#include <TCollection_AsciiString.hxx>
#include <TColStd_HArray1OfReal.hxx>
#include <TopoDS_Shape.hxx>

//! Base of every message argument.
class ActAPI_EXPORT ActAPI_VariableBase : public Standard_Transient
{
  DEFINE_STANDARD_RTTIEXT(ActAPI_VariableBase, Standard_Transient)
public:
  //! Text that replaces the argument's placeholder.
  virtual TCollection_AsciiString ToString() const = 0;
};

//! Text argument.
class ActAPI_EXPORT ActAPI_VariableString : public ActAPI_VariableBase
{
  DEFINE_STANDARD_RTTIEXT(ActAPI_VariableString, ActAPI_VariableBase)
public:
  explicit ActAPI_VariableString(const TCollection_AsciiString& value) : Value(value) {}
  TCollection_AsciiString ToString() const override { return Value; }

  TCollection_AsciiString Value;
};

//! Integer argument.
class ActAPI_EXPORT ActAPI_VariableInt : public ActAPI_VariableBase
{
  DEFINE_STANDARD_RTTIEXT(ActAPI_VariableInt, ActAPI_VariableBase)
public:
  explicit ActAPI_VariableInt(const int value) : Value(value) {}
  TCollection_AsciiString ToString() const override { return TCollection_AsciiString(Value); }

  int Value;
};

//! Real argument, printed with up to 10 significant digits.
class ActAPI_EXPORT ActAPI_VariableReal : public ActAPI_VariableBase
{
  DEFINE_STANDARD_RTTIEXT(ActAPI_VariableReal, ActAPI_VariableBase)
public:
  explicit ActAPI_VariableReal(const double value) : Value(value) {}
  TCollection_AsciiString ToString() const override;

  double Value;
};

//! Boolean argument, printed as "true" or "false".
class ActAPI_EXPORT ActAPI_VariableBool : public ActAPI_VariableBase
{
  DEFINE_STANDARD_RTTIEXT(ActAPI_VariableBool, ActAPI_VariableBase)
public:
  explicit ActAPI_VariableBool(const bool value) : Value(value) {}
  TCollection_AsciiString ToString() const override { return Value ? "true" : "false"; }

  bool Value;
};

//! Array of reals, printed as "(a, b, c)"; a null array prints as "()".
class ActAPI_EXPORT ActAPI_VariableRealArray : public ActAPI_VariableBase
{
  DEFINE_STANDARD_RTTIEXT(ActAPI_VariableRealArray, ActAPI_VariableBase)
public:
  explicit ActAPI_VariableRealArray(const Handle(TColStd_HArray1OfReal) & value) : Value(value) {}
  TCollection_AsciiString ToString() const override;

  Handle(TColStd_HArray1OfReal) Value;
};

//! Shape argument, printed as its shape type ("FACE", "SOLID", ...) or "null shape".
class ActAPI_EXPORT ActAPI_VariableShape : public ActAPI_VariableBase
{
  DEFINE_STANDARD_RTTIEXT(ActAPI_VariableShape, ActAPI_VariableBase)
public:
  explicit ActAPI_VariableShape(const TopoDS_Shape& value) : Value(value) {}
  TCollection_AsciiString ToString() const override;

  TopoDS_Shape Value;
};

#endif
