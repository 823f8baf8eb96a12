// Options of the surface meshers: sizes and angle of algoMesh_ZeltMesh.
#ifndef algoMesh_SurfOptions_HeaderFile
#define algoMesh_SurfOptions_HeaderFile

#include <algoMesh.hxx>

#include <Standard_Transient.hxx>
#include <Standard_Type.hxx>

namespace quorin
{

//! Option record of the surface meshers (algoMesh_ExtGen::DoZeltMesh). Lengths are in model
//! units, the angle in degrees.
class algoMesh_EXPORT algoMesh_SurfOptions : public Standard_Transient
{
  DEFINE_STANDARD_RTTIEXT(algoMesh_SurfOptions, Standard_Transient)
public:
  //! Flag1 true, Flag2 false, every real 0.0.
  algoMesh_SurfOptions()
      : Flag1(true), Flag2(false), Real1(0.0), Real2(0.0), Real3(0.0), Real4(0.0), Real5(0.0)
  {
  }

  //! A new record with the defaults of the constructor.
  static Handle(algoMesh_SurfOptions) Default() { return new algoMesh_SurfOptions(); }

public:
  bool Flag1; //!< reserved for the external surface mesher; not read by this library
  bool Flag2; //!< reserved for the external surface mesher; not read by this library

  //! Target and maximum edge length; 0 or less: no size limit (the mesh then follows the
  //! deflection and angle only).
  double Real1;

  //! Minimum edge length and chordal tolerance; values up to 1e-7 count as 1e-7.
  double Real2;

  double Real3; //!< reserved for the external surface mesher; not read by this library
  double Real4; //!< reserved for the external surface mesher; not read by this library

  //! Maximum angular deviation of the triangles from the surface, in degrees; 0 or less:
  //! the mesher's default (0.5 rad); above 180: 180.
  double Real5;
};

} // namespace quorin

#endif
