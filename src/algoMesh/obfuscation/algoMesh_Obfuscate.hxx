// Disguises a meshed B-rep model so that it can be shared without revealing its exact
// geometry: every face that carries a triangulation is replaced by a face without surface
// that carries a distorted copy of that triangulation. Faces, edges and vertices keep
// bounding one another as before; the history tells which new face took the place of
// which face of the input.
//
//   const double box[6]    = {xmin, ymin, zmin, xmax, ymax, zmax};
//   const double ranges[6] = {0.1, 0.1, 0.1, 0.3, 0.3, 0.3}; // lower kx ky kz, upper kx ky kz
//   Handle(quorin::algoMesh_Obfuscate) obfuscate =
//     new quorin::algoMesh_Obfuscate(box, ranges, progress, nullptr);
//   if (obfuscate->Perform(meshedShape))
//     share(obfuscate->GetResult());
#ifndef algoMesh_Obfuscate_HeaderFile
#define algoMesh_Obfuscate_HeaderFile

#include <algoMesh.hxx>

#include <ActAPI_IAlgorithm.hxx>

#include <BRepTools_History.hxx>
#include <gp_XYZ.hxx>
#include <Poly_Triangulation.hxx>
#include <TopoDS_Face.hxx>
#include <TopoDS_Shape.hxx>

namespace quorin
{

//! The distortion: with a centre c drawn inside the box and a coefficient k per axis, each
//! coordinate x of a node with d = x - cx != 0 moves to cx + d * (1 + kx * t), where
//! t = d / (B - cx) and B is the box's lower bound on the side d < 0 and its upper bound
//! otherwise. A node on the box boundary moves away from the centre by the factor 1 + k;
//! the centre stays; the map is quadratic in d on each side of the centre. On a side
//! where the bound equals the centre (a flat box) coordinates are kept.
//!
//! Randomness: the constructor seeds the C library's generator with the current time
//! (srand(time(nullptr))) and draws kx, ky, kz, then cx, cy, cz, each as
//! lower + f * (upper - lower) with f = (rand() % 100) / 100 (0, 0.01, ... 0.99). Two
//! objects built within the same second with the same arguments distort alike. Not safe
//! to construct from several threads at once (one process-wide generator).
class algoMesh_EXPORT algoMesh_Obfuscate : public ActAPI_IAlgorithm
{
  DEFINE_STANDARD_RTTIEXT(algoMesh_Obfuscate, ActAPI_IAlgorithm)
public:
  //! Draws the coefficients and the centre (see the class comment).
  //! @param[in] box               six values: minimum x, y, z, then maximum x, y, z of the
  //!                              region the model occupies, model units; null counts as
  //!                              all zero.
  //! @param[in] coefficientRanges six values: lower bounds of kx, ky, kz, then their upper
  //!                              bounds (0 leaves an axis alone, 1 doubles the distance
  //!                              of the box boundary from the centre); null counts as
  //!                              all zero.
  //! @param[in] progress          receives the messages; may be empty.
  //! @param[in] plotter           imaging sink; may be empty.
  algoMesh_Obfuscate(const double*        box,
                     const double*        coefficientRanges,
                     ActAPI_ProgressEntry progress,
                     ActAPI_PlotterEntry  plotter);

  //! Copies the shape (geometry and triangulations) and replaces each face of the copy
  //! that has a triangulation by a new face: no surface, identity location, the face's
  //! orientation, and the triangulation with every node distorted (its coordinates as
  //! stored). Faces without triangulation are kept. Each Perform whose copy succeeds
  //! starts a new history. The nodes are not moved by the face's location, so the mesh
  //! of a face placed by a location (an instance of an assembly) ends up in that face's
  //! own frame.
  //! @param[in] shape the meshed shape; not modified.
  //! @return false with "Failed to copy shape." (error) when the shape is null or cannot
  //!         be copied; with "Face replacement is impossible." (warning) when a face
  //!         cannot be replaced (the remaining faces are not visited); with "Face
  //!         replacement was not performed." (warning) when the rebuild fails. GetResult
  //!         changes only on true. A shape without triangulated faces answers true with
  //!         an unchanged copy.
  bool Perform(const TopoDS_Shape& shape);

  //! The disguised shape of the last successful Perform; null before.
  const TopoDS_Shape& GetResult() const { return m_result; }

  //! Which input face became which new face (modifications); null before the first
  //! Perform whose copy succeeded.
  const Handle(BRepTools_History) & GetHistory() const { return m_history; }

  //! The distorted position of a point (see the class comment).
  gp_XYZ Distort(const gp_XYZ& point) const;

  //! Coefficients kx, ky, kz drawn at construction.
  gp_XYZ GetCoefficients() const
  {
    return gp_XYZ(m_coefficients[0], m_coefficients[1], m_coefficients[2]);
  }

  //! Centre cx, cy, cz drawn at construction.
  gp_XYZ GetCentre() const { return gp_XYZ(m_centre[0], m_centre[1], m_centre[2]); }

protected:
  //! One coordinate of Distort along `axis` (0, 1, 2).
  double distortCoordinate(const double value, const int axis) const;

  //! A new face without surface, identity location and the orientation of `face`,
  //! carrying a copy of `mesh` with every node distorted.
  TopoDS_Face makeDistortedFace(const TopoDS_Face& face,
                                const Handle(Poly_Triangulation) & mesh) const;

private:
  Handle(BRepTools_History) m_history;
  TopoDS_Shape m_result;
  double       m_box[6];
  double       m_coefficients[3];
  double       m_centre[3];
};

DEFINE_STANDARD_HANDLE(algoMesh_Obfuscate, ActAPI_IAlgorithm)

} // namespace quorin

#endif
