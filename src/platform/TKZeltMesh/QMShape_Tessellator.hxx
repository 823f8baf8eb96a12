// Surface tessellator: meshes the faces of a B-rep shape to a maximum edge size with
// well-shaped triangles, every face mesh conforming with its neighbours along shared edges.
#ifndef QMShape_Tessellator_HeaderFile
#define QMShape_Tessellator_HeaderFile

#include <QMData_MeshParameters.hxx>

#include <NCollection_DataMap.hxx>
#include <TopTools_IndexedMapOfShape.hxx>
#include <TopTools_ShapeMapHasher.hxx>
#include <TopoDS_Shape.hxx>

#include <vector>

//! Meshes every face of a shape and stores the result in the faces themselves (their
//! triangulations, and the polygons of their edges on them), as the kernel's mesher does.
//!
//! Method, per Perform:
//! 1. A first pass with the kernel's incremental mesher, in parallel, at the chordal
//!    deflection of the parameters (QMData_MeshParameters::Deflection, or derived from the
//!    maximum size or the shape's size) and the effective angle: this resolves curvature,
//!    discretises every edge once for all the faces that share it, and gives each face a
//!    valid triangulation of its parameter domain. A pass that leaves a face without a
//!    mesh is run again at 0.7 and 0.49 times the deflection.
//! 2. Edges the first pass divided more finely than their size, its edge deflection and
//!    its angle ask lose the extra polygon nodes in every face that shares them, where all
//!    those faces can collapse the nodes along the edge without a fold (rounds of trials
//!    settle which; the others are kept everywhere).
//! 3. Remeshing of each face to the effective maximum size (QMShape_FaceRefiner): boundary
//!    segments divided on their edge curves by a rule that depends on the edge alone (so
//!    neighbouring faces stay conforming), Delaunay refinement by off-centre insertion
//!    measured in 3D, collapse of short edges where the surface allows, angle-raising flips
//!    and tangential smoothing, and a last longest-edge bisection. A narrow face (a fillet
//!    strip) is remeshed to about twice its width instead (its width taken as twice its
//!    area over its perimeter; at least a quarter of the maximum size), and its edges with
//!    it, so that it is not filled with slivers. No edit may fold a triangle in the parameter plane
//!    or turn it away from the surface. Where two boundary curves of a face are tangent
//!    (a crescent's tip), edges are first divided where a chord would cut a node of the
//!    other curve off the face, so that the face's border stays a simple polygon.
//! Faces are remeshed in parallel. The result meets: every edge at most EffMaxSize long
//! (edges of the first pass included), most edges between half and the whole of it where
//! curvature does not ask for less, triangles' distance to the surface within the first
//! pass's deflection or better, the same points on both sides of a shared edge.
//!
//! Guards. The chordal deflection is raised to 1e-5 of the shape's box diagonal at least,
//! and a run whose size would give more than 20 million triangles fails before refining,
//! so that a size given in the wrong unit fails instead of exhausting memory.
class TKZeltMesh_EXPORT QMShape_Tessellator
{
public:
  //! No shape, default parameters, not done, all hardware threads.
  QMShape_Tessellator();

  //! The shape to mesh; its faces receive the triangulations.
  void                SetShape(const TopoDS_Shape& shape) { m_shape = shape; }
  const TopoDS_Shape& Shape() const { return m_shape; }

  //! The parameters, copied; call QMData_MeshParameters::Update() on them first.
  void                         SetParameters(const QMData_MeshParameters& parameters);
  const QMData_MeshParameters& Parameters() const { return m_parameters; }
  QMData_MeshParameters&       ChangeParameters() { return m_parameters; }

  //! Threads of the face refinement; 0 or less: all the hardware has. The kernel's pass
  //! uses its own parallel mode.
  void SetNbThreads(const int nbThreads) { m_nbThreads = nbThreads; }
  int  NbThreads() const { return m_nbThreads; }

  //! Whether the last Perform meshed every face.
  bool IsDone() const { return m_isDone; }
  void SetDone(const bool isDone) { m_isDone = isDone; }

  //! Meshes the shape. Done when every face carrying a surface got a mesh. Not done for a
  //! null shape or a shape without faces, when the kernel's pass (and its two retries) left a face
  //! without a mesh, or when the size guard above stopped the run; the faces may then hold the
  //! kernel pass's meshes. Kernel exceptions pass through.
  void Perform();

  //! Statistics of the last Perform.
  int NbTriangles() const { return m_nbTriangles; }
  int NbSplits() const { return m_nbSplits; }
  int NbFlips() const { return m_nbFlips; }
  int NbMoves() const { return m_nbMoves; }
  int NbCollapses() const { return m_nbCollapses; }
  //! First-pass polygon nodes removed from edges divided more finely than they need.
  int NbRemovedNodes() const { return m_nbRemovedNodes; }
  //! Triangles left folded (see QMShape_FaceRefiner); 0 on a sound result.
  int    NbFolds() const { return m_nbFolds; }
  double UsedDeflection() const { return m_deflection; }

protected:
  //! The chordal deflection of the first pass; 0 when the shape has no extent.
  double chooseDeflection() const;

  //! Runs the refinement of all faces and stores the results; false when a face failed.
  bool refineFaces();

  //! Parameters at which edge polygons must be divided, besides their division to the
  //! edge sizes, so that no chord cuts a border node of its face off the face (the polygons
  //! taken without the nodes in removals); see the source.
  void findCuttingChords(
      const TopTools_IndexedMapOfShape&                                         faces,
      const NCollection_DataMap<TopoDS_Shape, double, TopTools_ShapeMapHasher>& sizes,
      const NCollection_DataMap<TopoDS_Shape, std::vector<double>, TopTools_ShapeMapHasher>&
                                                                                       removals,
      NCollection_DataMap<TopoDS_Shape, std::vector<double>, TopTools_ShapeMapHasher>& splits)
      const;

  //! The first-pass polygon nodes each edge can do without: those whose removal leaves
  //! chords within the edge's size, the first pass's edge deflection and its angle; see the
  //! source.
  void
  chooseRemovals(const NCollection_DataMap<TopoDS_Shape, double, TopTools_ShapeMapHasher>& sizes,
                 NCollection_DataMap<TopoDS_Shape, std::vector<double>, TopTools_ShapeMapHasher>&
                     removals) const;

private:
  TopoDS_Shape          m_shape;
  QMData_MeshParameters m_parameters;
  int                   m_nbThreads;
  bool                  m_isDone;
  int                   m_nbTriangles;
  int                   m_nbSplits;
  int                   m_nbFlips;
  int                   m_nbMoves;
  int                   m_nbCollapses;
  int                   m_nbFolds;
  int                   m_nbRemovedNodes;
  double                m_deflection;
  double                m_edgeDeflection; //!< chordal deflection of the first pass's edges
  double                m_edgeAngle;      //!< angle of the first pass's edges
};

#endif
