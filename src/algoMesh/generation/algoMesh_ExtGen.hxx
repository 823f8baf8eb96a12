// Meshing of B-rep shapes through one of the library's meshers: the kernel's incremental
// mesher, the surface tessellator, or the external MeshGems module (unavailable).
//
//   if (quorin::algoMesh_ExtGen::DoNative(shape, 0.0, 0.0, progress)) // 5 % of the box
//     quorin::algoMesh_Conglomerate welded(shape);                      // one mesh
#ifndef algoMesh_ExtGen_HeaderFile
#define algoMesh_ExtGen_HeaderFile

#include <algoMesh_FaceSelection.hxx>
#include <algoMesh_SurfOptions.hxx>

#include <ActAPI_ProgressEntry.hxx>

#include <Poly_Triangulation.hxx>
#include <TopoDS_Compound.hxx>
#include <TopoDS_Shape.hxx>

namespace quorin
{

//! Free functions; each call is independent. The mesher is the caller's choice: a failing
//! mesher does not fall back on another. The map forms leave out the faces of the map:
//! they mesh a compound of the other faces, which shares those faces with the shape.
namespace algoMesh_ExtGen
{

//! Faces to leave out; a face matches when it has the same underlying face, location and
//! orientation.
typedef algoMesh_FaceSelection::FaceMap FaceMap;

//! Meshes the shape with the kernel's incremental mesher (in parallel over faces); the
//! triangulations are stored in the faces of `shape` itself, replacing any it had.
//! @param[in] linDeflection  largest distance between a triangle and its surface, in model
//!                           units, absolute; 1e-6 or less asks for 5 % of the diagonal of
//!                           the shape's bounding box
//! @param[in] angDeflection  largest angle between the normals along a triangle, in
//!                           radians; 0.1 or less gives 1.0
//! @return false without a message when IsAccepted(shape) is false or the automatic
//!         deflection cannot be computed; false with the warning "Crash during mesh
//!         generation from B-Rep." when the mesher throws (the faces have then lost their
//!         earlier triangulations).
algoMesh_EXPORT bool DoNative(const TopoDS_Shape&  shape,
                              double               linDeflection,
                              double               angDeflection,
                              ActAPI_ProgressEntry progress);

//! DoNative on the faces of `shape` that are not in `excluded`; false when no face
//! remains.
algoMesh_EXPORT bool DoNative(const TopoDS_Shape&  shape,
                              const double         linDeflection,
                              const double         angDeflection,
                              const FaceMap&       excluded,
                              ActAPI_ProgressEntry progress);

//! Meshes a copy of the shape with the surface tessellator (algoMesh_ZeltMesh) and welds
//! the result into one mesh; the shape keeps its own triangulations. The progress entry
//! is not used.
//! @param[out] result the welded mesh, written only on success
//! @return algoMesh_ZeltMesh::Perform's answer
algoMesh_EXPORT bool DoZeltMesh(const TopoDS_Shape& shape,
                                const Handle(algoMesh_SurfOptions) & options,
                                Handle(Poly_Triangulation) & result,
                                ActAPI_ProgressEntry progress);

//! DoZeltMesh on the faces of `shape` that are not in `excluded`.
algoMesh_EXPORT bool DoZeltMesh(const TopoDS_Shape& shape,
                                const Handle(algoMesh_SurfOptions) & options,
                                Handle(Poly_Triangulation) & result,
                                const FaceMap&       excluded,
                                ActAPI_ProgressEntry progress);

//! The external MeshGems surface mesher, not part of this library: sends "The MeshGems
//! integrated module is not available. Please contact support for details." (high
//! priority, error) and answers false; `result` is not touched.
algoMesh_EXPORT bool DoMeshGems(const TopoDS_Shape& shape,
                                const Handle(algoMesh_SurfOptions) & options,
                                Handle(Poly_Triangulation) & result,
                                ActAPI_ProgressEntry progress);

//! The same for the map form.
algoMesh_EXPORT bool DoMeshGems(const TopoDS_Shape& shape,
                                const Handle(algoMesh_SurfOptions) & options,
                                Handle(Poly_Triangulation) & result,
                                const FaceMap&       excluded,
                                ActAPI_ProgressEntry progress);

//! Sets `deflection` to `coefficient` times the diagonal of the shape's bounding box.
//! @return false, with `deflection` unchanged, when the box cannot be computed or is void
//!         (a null shape, an empty compound).
algoMesh_EXPORT bool GetAdaptiveLinearDeflection(const TopoDS_Shape& shape,
                                                 double&             deflection,
                                                 const double        coefficient);

//! True when the shape has at least one face with a geometric surface; false for a null
//! shape and for shapes of edges, vertices or surface-less faces only.
algoMesh_EXPORT bool IsAccepted(const TopoDS_Shape& shape);

} // namespace algoMesh_ExtGen

} // namespace quorin

#endif
