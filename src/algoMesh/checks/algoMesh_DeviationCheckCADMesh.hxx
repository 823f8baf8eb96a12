// Per-triangle deviation of a mesh from the B-rep shape it stands for: how far each
// triangle's centroid lies from the shape, so that a host can show where a decimated or
// wrapped mesh departs from its CAD model.
//
//   Handle(quorin::algoMesh_DeviationCheckCADMesh) check =
//     new quorin::algoMesh_DeviationCheckCADMesh(meshedShape, progress, nullptr);
//   if (check->Perform(mesh, quorin::algoMesh_DeviationCheckCADMesh::DistType_Signed))
//     colour(mesh, check->Deviations()); // element k belongs to triangle k + 1
#ifndef algoMesh_DeviationCheckCADMesh_HeaderFile
#define algoMesh_DeviationCheckCADMesh_HeaderFile

#include <algoMesh.hxx>
#include <algoMesh_ProgressScope.hxx>

#include <algoBase_Algorithm.hxx>

#include <BVHTools_ProjectPntMesh.hxx>
#include <BVHTools_TriangleSet.hxx>

#include <Poly_Triangulation.hxx>
#include <TopoDS_Shape.hxx>

#include <memory>
#include <vector>

namespace quorin
{

//! The shape is represented by the triangulations of its faces (each placed by its face's
//! location, reversed faces turned over), so the measure is the distance to those face
//! meshes: mesh the shape first, finely enough for the deviations that matter. The face
//! meshes are gathered into a bounding-volume hierarchy on the first Perform and kept for
//! the lifetime of the object; a shape meshed again afterwards needs a new object.
class algoMesh_EXPORT algoMesh_DeviationCheckCADMesh : public algoBase_Algorithm
{
  DEFINE_STANDARD_RTTIEXT(algoMesh_DeviationCheckCADMesh, algoBase_Algorithm)
public:
  //! Which distance a deviation is. The underlying type is fixed so that any int value is a
  //! valid argument (values other than these measure nothing, see Perform).
  enum distType : int
  {
    //! Distance from the centroid to the nearest triangle of the shape's face meshes,
    //! never negative.
    DistType_Unsigned = 0,
    //! The same distance, negative when the centroid lies behind the nearest face triangle
    //! (inside a closed, outward-oriented solid), positive in front of it.
    DistType_Signed = 1
  };

public:
  //! @param[in] shape     the B-rep shape whose face triangulations the meshes are measured
  //!                      against; fixed for the lifetime of the object
  //! @param[in] progress  receives the messages and the cancellation request; may be empty
  //! @param[in] plotter   imaging sink; may be empty
  algoMesh_DeviationCheckCADMesh(const TopoDS_Shape&  shape,
                                 ActAPI_ProgressEntry progress = ActAPI_ProgressEntry(),
                                 ActAPI_PlotterEntry  plotter  = ActAPI_PlotterEntry());

  //! Measures the deviation of every triangle of `mesh` from the shape: the distance of the
  //! triangle's centroid (the mean of its three nodes, taken as stored: the mesh's own
  //! location is not applied) to the shape's face meshes, in model units. The hierarchy of
  //! the face meshes is built on the first call, then reused; its build and the
  //! projections run on NbThreadsFor() threads, with the same results for any thread
  //! count.
  //!
  //! Deviations() is resized to the mesh's triangle count (new elements 0.0) and each
  //! element is overwritten by its triangle's value. A triangle whose centroid has a
  //! coordinate that is not finite gets NaN, and a warning tells how many did.
  //!
  //! Cancellation, polled from the loop's threads: the triangles not measured yet are
  //! skipped and keep their earlier elements; the answer is still true.
  //! @param[in] mesh  triangulation to measure, 1-based
  //! @param[in] type  DistType_Unsigned or DistType_Signed; any other value gives 0.0 for
  //!                  every triangle
  //! @return true when the deviations were computed (also for a mesh without triangles,
  //!         and on cancellation); false, with Deviations() untouched, when the mesh is null
  //!         or the shape is null or an empty compound, compound solid, solid or shell (no
  //!         message), and with an error message when no face of the shape carries a
  //!         usable triangulation or a triangle of the mesh refers to a node outside it.
  bool Perform(const Handle(Poly_Triangulation) & mesh, const distType type);

  //! One value per triangle of the mesh of the last run: element k belongs to triangle
  //! k + 1. Empty before the first successful run.
  const std::vector<double>& Deviations() const { return m_deviations; }

  //! The shape given at construction.
  const TopoDS_Shape& Shape() const { return m_shape; }

  //! The triangles of the shape's face meshes; null until the first Perform that got past
  //! the input checks, then the same set for every later run. The searches run on a compact
  //! hierarchy of their own: the set's hierarchy is built only if the caller asks for it.
  const Handle(BVHTools::TriangleSet) & TriangleSet() const { return m_triangleSet; }

  //! Whether a shape has nothing to measure against: a null shape, or a compound, compound
  //! solid, solid or shell without a direct sub-shape. Faces, wires, edges and vertices are
  //! never empty.
  static bool IsEmptyShape(const TopoDS_Shape& shape);

protected:
  //! Builds the triangle set of the shape's face meshes and prepares its builder, once;
  //! warns about face triangles left out.
  void prepareTriangleSet();

  //! True when every triangle of the mesh refers to nodes of the mesh; sends the error
  //! message otherwise.
  bool checkMesh(const Poly_Triangulation& mesh) const;

  //! Runs the projections of all triangles of `mesh` on `nbThreads` threads; answers the
  //! number of triangles whose centroid is not finite.
  int measureTriangles(const Poly_Triangulation& mesh,
                       const distType            type,
                       const int                 nbThreads,
                       algoMesh_ProgressScope    progress);

private:
  std::vector<double> m_deviations;
  Handle(BVHTools::TriangleSet) m_triangleSet;
  //! Searches a compact hierarchy of the set; made once and shared by the loop's threads.
  std::shared_ptr<const BVHTools::ProjectPntMesh> m_projector;
  TopoDS_Shape                                    m_shape;
};

} // namespace quorin

#endif
