// Meshing of a B-rep shape with the surface tessellator of TKZeltMesh, welded into one mesh.
#ifndef algoMesh_ZeltMesh_HeaderFile
#define algoMesh_ZeltMesh_HeaderFile

#include <algoMesh_SurfOptions.hxx>

#include <Poly_Triangulation.hxx>
#include <TopoDS_Shape.hxx>

class QMData_MeshParameters;

namespace quorin
{

//! Meshes a copy of a shape with QMShape_Tessellator (so the caller's shape keeps its own
//! triangulations) and welds the face meshes into one triangulation at tolerance 1e-7.
//! The options give the maximum edge size (Real1), the minimum size and chordal tolerance
//! (Real2) and the angle (Real5, degrees); see algoMesh_SurfOptions.
class algoMesh_EXPORT algoMesh_ZeltMesh
{
public:
  //! @param[in] shape the shape to mesh; copied when Perform runs, never modified.
  algoMesh_ZeltMesh(const TopoDS_Shape& shape);

  //! Meshes the shape.
  //! @param[in]  options sizes and angle; a null handle fails
  //! @param[out] result  the welded mesh (1-based), written only on success
  //! @return false, with `result` untouched, when the options are null, the shape cannot
  //!         be copied (no message), the tessellator throws (the line
  //!         "algoMesh_ZeltMesh.MeshingCrashed" on standard output) or does not finish
  //!         (a null or face-less shape, a face the tessellator could not mesh, or a size
  //!         that would give more than 20 million triangles; no message).
  bool Perform(const Handle(algoMesh_SurfOptions) & options, Handle(Poly_Triangulation) & result);

  //! Writes the tessellator's parameters from the options: MaxSize = Real1,
  //! Angle = Real5 in radians (HasAngle set), MinSize = Real2 raised to 1e-7 (HasMinSize
  //! set), SkipOptimisation false, three optimisation passes, silent; then Update().
  //! Fields the options do not name keep the values `parameters` holds.
  static void FillParameters(const algoMesh_SurfOptions& options,
                             QMData_MeshParameters&      parameters);

  const TopoDS_Shape& Shape() const { return m_shape; }

private:
  TopoDS_Shape m_shape;
};

} // namespace quorin

#endif
