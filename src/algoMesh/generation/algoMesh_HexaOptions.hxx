// Options of the hexahedral volume mesher.
#ifndef algoMesh_HexaOptions_HeaderFile
#define algoMesh_HexaOptions_HeaderFile

#include <algoMesh.hxx>

#include <Standard_Transient.hxx>
#include <Standard_Type.hxx>

namespace quorin
{

//! Two reals reserved for the external hexahedral mesher; no mesher of this library reads them.
class algoMesh_EXPORT algoMesh_HexaOptions : public Standard_Transient
{
  DEFINE_STANDARD_RTTIEXT(algoMesh_HexaOptions, Standard_Transient)
public:
  //! Both values -1.0 ("not given").
  algoMesh_HexaOptions() : Real1(-1.0), Real2(-1.0) {}

  //! A new record with the defaults of the constructor.
  static Handle(algoMesh_HexaOptions) Default() { return new algoMesh_HexaOptions(); }

public:
  double Real1;
  double Real2;
};

} // namespace quorin

#endif
