// Welding of the face triangulations of a shape into one connected mesh.
#ifndef algoMesh_Conglomerate_HeaderFile
#define algoMesh_Conglomerate_HeaderFile

#include <algoMesh.hxx>
#include <algoMesh_ProgressScope.hxx>

#include <NCollection_DataMap.hxx>
#include <NCollection_Vector.hxx>
#include <Poly_CoherentTriangulation.hxx>
#include <Poly_Triangulation.hxx>
#include <TopLoc_Location.hxx>
#include <TopoDS_Face.hxx>
#include <TopoDS_Shape.hxx>

#include <cstdint>
#include <vector>

namespace quorin
{
class algoMesh_CellGrid;

//! Welds the triangulations of all faces of a shape (or loose triangulations) into one
//! mesh: nodes within the tolerance of a stored node become that node, triangles keep the
//! orientation of their faces (a reversed face contributes (a, c, b) for (a, b, c)), and
//! triangles that collapse under welding (two equal corners) are dropped.
//!
//! The result is a coherent triangulation (0-based) and, in Mode_CoherentAndPlain, a plain
//! Poly_Triangulation copy (1-based). Mode_Plain gives the same plain triangulation without
//! the coherent one, whose links between nodes, triangles and edges cost several times the
//! mesh: callers that only read the welded mesh use it. A plain value class; every
//! constructor but the default one builds at once.
class algoMesh_EXPORT algoMesh_Conglomerate
{
public:
  enum Mode
  {
    Mode_Coherent         = 0, //!< only the coherent triangulation
    Mode_CoherentAndPlain = 1, //!< also the plain triangulation
    Mode_Plain            = 2  //!< only the plain triangulation (null coherent one)
  };

  //! Face to the 1-based numbers of the triangles it contributed, in order of addition.
  //! Faces are told apart by underlying face, location and orientation.
  typedef NCollection_DataMap<TopoDS_Face, NCollection_Vector<int>> FaceTrianglesMap;

public:
  //! Tolerance 1e-7, Mode_CoherentAndPlain, nothing built.
  algoMesh_Conglomerate();

  //! Builds from the faces of a shape (face map not filled).
  //! @param[in] tolerance welding distance, positive; 1e-7 by default.
  algoMesh_Conglomerate(const TopoDS_Shape& shape,
                        const Mode          mode      = Mode_CoherentAndPlain,
                        const double        tolerance = algoMesh_Tolerance);

  //! Builds from one triangulation, wrapped in a face with identity location.
  algoMesh_Conglomerate(const Handle(Poly_Triangulation) & mesh,
                        const Mode   mode      = Mode_CoherentAndPlain,
                        const double tolerance = algoMesh_Tolerance);

  //! Builds from several triangulations, one face each, in vector order. Null handles
  //! give faces without triangulation, which contribute nothing.
  algoMesh_Conglomerate(const std::vector<Handle(Poly_Triangulation)>& meshes,
                        const Mode                                     mode = Mode_CoherentAndPlain,
                        const double tolerance                              = algoMesh_Tolerance);

  //! The same, the i-th triangulation placed by the i-th location; triangulations beyond
  //! the end of `locations` keep the identity location.
  algoMesh_Conglomerate(const std::vector<Handle(Poly_Triangulation)>& meshes,
                        const std::vector<TopLoc_Location>&            locations,
                        const Mode                                     mode = Mode_CoherentAndPlain,
                        const double tolerance                              = algoMesh_Tolerance);

  //! Stores the shape and mode and welds the triangulations of its faces (every face
  //! occurrence met by a face explorer; faces without triangulation are skipped). Starts
  //! over: the previous results and face map are replaced. The tolerance of construction
  //! stays in force. A shape without triangulated faces gives an empty coherent
  //! triangulation and a null plain result.
  //! @param[in] fillFaceMap fill FaceTriangles().
  void Build(const TopoDS_Shape& shape,
             const Mode          mode        = Mode_CoherentAndPlain,
             const bool          fillFaceMap = false);

  //! Build with progress: counts the nodes and triangles welded on `progress` and stops
  //! when the host asks to.
  //! @return false when cancelled; the results are then cleared (null coherent and plain
  //!         triangulations, empty face map)
  bool Build(const TopoDS_Shape&         shape,
             const Mode                  mode,
             const bool                  fillFaceMap,
             const ActAPI_ProgressEntry& progress);

  //! Welded mesh with connectivity, 0-based; null before the first build and in
  //! Mode_Plain.
  const Handle(Poly_CoherentTriangulation) & GetCoherent() const { return m_coherent; }

  //! Welded mesh, 1-based; null in Mode_Coherent and when no triangle survived.
  const Handle(Poly_Triangulation) & GetPlain() const { return m_plain; }

  //! Triangles contributed by each face; empty unless the last Build asked for it.
  const FaceTrianglesMap& FaceTriangles() const { return m_faceTriangles; }

  //! The shape of the last build (a compound of generated faces for triangulation input).
  const TopoDS_Shape& GetShape() const { return m_shape; }

  //! Welding distance.
  double Tolerance() const { return m_tolerance; }

  //! Mode of the last build.
  Mode GetMode() const { return static_cast<Mode>(m_mode); }

protected:
  //! Welds the nodes of one face into the result; answers the face's node map (node i of
  //! the face is element i-1).
  std::vector<int> weldNodes(const Handle(Poly_Triangulation) & mesh,
                             const TopLoc_Location&  location,
                             algoMesh_CellGrid&      index,
                             int&                    nbNodes,
                             algoMesh_ProgressScope* progress = nullptr);

  //! Stores the nodes of one face unwelded, each under the next number; answers the
  //! face's node map as weldNodes() does.
  std::vector<int> keepNodes(const Handle(Poly_Triangulation) & mesh,
                             const TopLoc_Location&  location,
                             int&                    nbNodes,
                             algoMesh_ProgressScope* progress = nullptr);

  //! True when `shape` has a single triangulated face whose placed nodes are all farther
  //! apart than the welding merges, so that welding would keep every node as it is.
  bool hasSeparatedNodes(const TopoDS_Shape& shape) const;

  //! Nodes plus triangles of the triangulated faces of `shape`.
  static int64_t countItems(const TopoDS_Shape& shape);

  //! Stores a welded node under the next number.
  void addNode(const gp_XYZ& node, const int number);

  //! Sizes the welding index (when there is one) for the shape's nodes once, and in
  //! Mode_Plain the flat arrays (when asked) for every node and triangle of the shape.
  void reserve(const TopoDS_Shape& shape, algoMesh_CellGrid* index, const bool toFlatArrays);

  //! Mode_Plain for a single face whose nodes are all apart: the plain triangulation made
  //! from the face directly, as the welding and makePlain() would make it; stays null when
  //! no triangle survives or the host cancels.
  void copyPlain(const TopoDS_Face& face,
                 const Handle(Poly_Triangulation) & mesh,
                 const TopLoc_Location&  location,
                 algoMesh_ProgressScope& progress);

  //! Makes the plain triangulation of Mode_Plain from the welded nodes and triangles,
  //! leaving out nodes that no triangle uses, as the coherent triangulation's copy does.
  void makePlain();

  //! Adds the face's triangles that do not collapse, in the face's orientation.
  void addTriangles(const TopoDS_Face& face,
                    const Handle(Poly_Triangulation) & mesh,
                    const std::vector<int>& nodeMap,
                    const bool              fillFaceMap,
                    int&                    nbTriangles,
                    algoMesh_ProgressScope* progress = nullptr);

private:
  double       m_tolerance;
  TopoDS_Shape m_shape;
  int32_t      m_mode;
  Handle(Poly_CoherentTriangulation) m_coherent;
  Handle(Poly_Triangulation) m_plain;
  FaceTrianglesMap m_faceTriangles;
  //! Mode_Plain, during a build: welded nodes, and three node numbers per triangle.
  std::vector<gp_XYZ> m_nodes;
  std::vector<int>    m_triangles;
};

} // namespace quorin

#endif
