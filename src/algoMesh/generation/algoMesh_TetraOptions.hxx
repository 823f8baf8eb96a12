// Options of the tetrahedral volume mesher.
#ifndef algoMesh_TetraOptions_HeaderFile
#define algoMesh_TetraOptions_HeaderFile

#include <algoMesh.hxx>

#include <Standard_Transient.hxx>
#include <Standard_Type.hxx>

namespace quorin
{

//! Two reals reserved for the external tetrahedral mesher; no mesher of this library reads them.
class algoMesh_EXPORT algoMesh_TetraOptions : public Standard_Transient
{
  DEFINE_STANDARD_RTTIEXT(algoMesh_TetraOptions, Standard_Transient)
public:
  //! Both values -1.0 ("not given").
  algoMesh_TetraOptions() : Real1(-1.0), Real2(-1.0) {}

  //! A new record with the defaults of the constructor.
  static Handle(algoMesh_TetraOptions) Default() { return new algoMesh_TetraOptions(); }

public:
  double Real1;
  double Real2;
};

} // namespace quorin

#endif
