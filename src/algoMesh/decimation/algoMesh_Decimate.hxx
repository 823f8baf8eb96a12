// Common entry point of the decimation drivers.
#ifndef algoMesh_Decimate_HeaderFile
#define algoMesh_Decimate_HeaderFile

#include <algoMesh.hxx>
#include <algoMesh_DecimationOptions.hxx>
#include <algoMesh_ProgressScope.hxx>

#include <Poly_Triangulation.hxx>

namespace quorin
{

//! A decimation driver: reduces the triangles of a mesh into a new mesh, never modifying its
//! input. Derived drivers implement `perform`; callers use the guarded `Perform`.
class algoMesh_EXPORT algoMesh_Decimate
{
public:
  virtual ~algoMesh_Decimate();

  //! The options this driver was built with, the values it uses marked as given.
  virtual algoMesh_DecimationOptions GetOptions() const = 0;

  //! The unguarded work of the driver: may throw. Use Perform.
  virtual bool perform(const Handle(Poly_Triangulation) & input,
                       Handle(Poly_Triangulation) & output) const = 0;

  //! Decimates `input` into a new mesh.
  //! @param[in]  input  the mesh; null or without triangles answers false.
  //! @param[out] output the decimated mesh (coincident nodes merged at 1e-7).
  //! @return false for a null or empty input, when a conversion or the filter fails, or when
  //!         the work throws; a thrown failure also prints "Error: decimation crashed" on
  //!         standard output. Never throws.
  bool Perform(const Handle(Poly_Triangulation) & input, Handle(Poly_Triangulation) & output) const;

  //! The same, reporting the filters' progress on `progress` and stopping them when the
  //! host asks to; a cancelled run answers false and sends "Operation cancelled.".
  bool Perform(const Handle(Poly_Triangulation) & input,
               Handle(Poly_Triangulation) & output,
               ActAPI_ProgressEntry progress) const;

  //! The work of `perform` with progress and cancellation; answers false when cancelled.
  //! The default runs `perform` and only reports its end.
  virtual bool performWithProgress(const Handle(Poly_Triangulation) & input,
                                   Handle(Poly_Triangulation) & output,
                                   algoMesh_ProgressScope& progress) const;
};

} // namespace quorin

#endif
