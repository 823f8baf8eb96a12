// Remeshing of the triangulation of one face to a target edge size: boundary segments
// divided on their curves, Delaunay refinement by off-centre insertion, collapse of short
// edges, angle-raising flips and tangential smoothing, keeping every node on the surface,
// the face's boundary conforming with its neighbours and no triangle folded.
#ifndef QMShape_FaceRefiner_HeaderFile
#define QMShape_FaceRefiner_HeaderFile

#include <TKZeltMesh_Export.hxx>

#include <BRepAdaptor_Curve.hxx>
#include <BRepAdaptor_Curve2d.hxx>
#include <BRepAdaptor_Surface.hxx>
#include <NCollection_DataMap.hxx>
#include <TopTools_ShapeMapHasher.hxx>
#include <Poly_PolygonOnTriangulation.hxx>
#include <Poly_Triangulation.hxx>
#include <TopLoc_Location.hxx>
#include <TopoDS_Edge.hxx>
#include <TopoDS_Face.hxx>
#include <gp_Pnt2d.hxx>
#include <gp_Trsf.hxx>

#include <array>
#include <cstdint>
#include <unordered_map>
#include <vector>

//! Works on a copy of the face's triangulation (which must carry UV nodes) and the
//! polygons of its edges on it; the face itself is not modified. Faces are independent:
//! separate refiners may run on separate threads.
//!
//! Conformity. A segment of an edge polygon whose chord (between the curve points of its two
//! ends) is longer than the edge's size (Settings::EdgeSizes) is divided into the fewest equal
//! parameter steps whose chords are all within the size, at the edge's 3D curve points. That
//! rule depends only on the edge and the parameters of the segment, so every face sharing the
//! edge (and both sides of a seam) inserts the same points, whatever its own interior does.
//! Boundary nodes are never moved or removed.
//!
//! No folds. Every operation (insertion, collapse, flip, move) is refused when it would give
//! a triangle whose orientation in the parameter plane differs from the face's, or whose 3D
//! normal turns away from the surface normal by more than about 80 degrees; NbFolds() counts
//! the triangles that still fail these tests at the end (those of the first pass that no
//! operation could repair).
class QMShape_FaceRefiner
{
public:
  struct Settings
  {
    double MaxSize = 1.0e100; //!< maximum edge length; 1e100 or more: no limit
    //! Maximum length of the segments of particular edges (their polygons), below MaxSize;
    //! edges that are not in the map take MaxSize. Every face sharing an edge must be given
    //! the same value for it, or the faces will not conform.
    const NCollection_DataMap<TopoDS_Shape, double, TopTools_ShapeMapHasher>* EdgeSizes = nullptr;
    int    NbPasses = 3; //!< optimisation passes (flips then smoothing)
    size_t MaxNodes = 0; //!< node budget of the face; 0: none
    //! Distance to the surface a flip may give the new diagonal's middle (the chordal
    //! deflection the mesh was made for); a flip never raises it above the old one's
    //! otherwise.
    double Deflection = 0.0;
  };

  //! The polygon of one edge occurrence of the face on the new triangulation.
  struct EdgePolygon
  {
    TopoDS_Edge Edge; //!< as it occurs in the face (orientation picks a seam's side)
    Handle(Poly_PolygonOnTriangulation) Result;
  };

public:
  QMShape_FaceRefiner(const TopoDS_Face& face, const Settings& settings);

  //! Refines and optimises. False when the face has no triangulation with UV nodes, or
  //! when the node budget ran out (nothing is produced then).
  bool Perform();

  //! The new triangulation, in the frame of the face's own (placed by Location()).
  const Handle(Poly_Triangulation) & Result() const { return m_result; }

  //! The triangulation the face carried.
  const Handle(Poly_Triangulation) & Source() const { return m_source; }

  //! Location of the face's triangulation.
  const TopLoc_Location& Location() const { return m_location; }

  //! The edge polygons on the new triangulation, one per edge occurrence that had one.
  const std::vector<EdgePolygon>& Polygons() const { return m_polygons; }

  int NbSplits() const { return m_nbSplits; }
  int NbFlips() const { return m_nbFlips; }
  int NbMoves() const { return m_nbMoves; }
  int NbCollapses() const { return m_nbCollapses; }
  int NbFolds() const { return m_nbFolds; }

protected:
  //! One edge occurrence of the face: curves and the (parameter, node) pairs on it.
  struct Slot
  {
    TopoDS_Edge Edge;
    Handle(Poly_PolygonOnTriangulation) Source;
    Handle(BRepAdaptor_Curve) Curve;    //!< 3D, model coordinates
    Handle(BRepAdaptor_Curve2d) PCurve; //!< on this face
    bool                                Splittable = false;
    double                              Size       = 1.0e100; //!< longest segment allowed
    std::vector<std::pair<double, int>> Nodes;                //!< (parameter, 0-based node)
  };

  //! A segment of an edge polygon between two nodes.
  struct Segment
  {
    int    Slot;
    int    A, B;   //!< 0-based nodes
    double Ta, Tb; //!< their parameters on the edge
  };

  //! The line of the parameter plane that a pole (a degenerated edge) occupies: the
  //! parameter that runs along it (0: U, 1: V) and its range on the edge.
  struct PoleLine
  {
    int    Along = 0;
    double First = 0.0, Last = 0.0;
  };

  //! The triangles on an undirected edge; -1 where none.
  struct EdgeRecord
  {
    int T[2] = {-1, -1};
  };

  bool loadMesh();
  void loadPolygons();
  //! Makes the nodes of each degenerated edge one pole node; the node each node became.
  std::vector<int> mergePoles();
  void             choosePCurve(Slot& slot, const int nbNodes) const;
  void             buildEdges();
  bool             divideSegments();
  bool             insertPoints();
  void             collapseEdges();
  //! Collapses the shortest edge of each triangle under 20 degrees where it can; true when
  //! any went.
  bool removeSlivers();
  //! The live triangles at each node.
  std::vector<std::vector<int>> trianglesAround() const;
  bool                          refine();
  void                          flipEdges();
  //! @param[in] keepSize refuse moves that stretch an edge beyond the maximum size
  void smoothNodes(const bool keepSize);
  void countFolds();
  void storeResult();

  int  addNode(const gp_Pnt& point, const gp_Pnt2d& uv, const bool fixed);
  void splitEdge(const int a, const int b, const int m);
  void splitTriangle(const int t, const int m);
  bool flipEdge(const uint64_t key, EdgeRecord& record);
  bool moveNode(const int node, const std::vector<int>& ring, const bool keepSize);
  bool insertFor(const int t);
  //! Where to split the interior edge (a, b) so that neither side folds: the middle in the
  //! parameter plane, else the surface point nearest to the chord's middle; false when
  //! both fold.
  bool chooseMidpoint(
      const int a, const int b, const EdgeRecord& record, gp_Pnt2d& uv, gp_Pnt& point) const;
  //! The surface point nearest to target, searched from uv (updated); false where the
  //! surface is singular on the way.
  bool projectToSurface(const gp_Pnt& target, gp_Pnt2d& uv, gp_Pnt& point) const;
  //! Walks from triangle start to the triangle holding uv; false when the walk meets the
  //! face boundary or a constrained segment. edge: -1 inside, k when uv is on the edge
  //! (tri[k], tri[k+1]).
  bool locate(const int start, const gp_XY& uv, int& found, int& edge) const;
  void legalise(const int m, std::vector<std::pair<int, int>>& stack);
  bool needsRefinement(const int t, double& radius) const;
  bool tryCollapse(const int a, const int b, std::vector<std::vector<int>>& around);

  //! Records the pole line of a degenerated edge; its index, -1 when it has no parameters.
  int    addPoleLine(const TopoDS_Edge& edge, const Poly_PolygonOnTriangulation& polygon);
  gp_Pnt surfacePoint(const gp_Pnt2d& uv) const;
  double uvArea(const std::array<int, 3>& t) const;
  bool   isPole(const int node) const { return node >= 0 && m_pole[node] >= 0; }
  //! The position of pole node in the parameter plane as seen from a point: on the pole's
  //! line at that point's meridian. A pole is one 3D point for a whole line of parameters,
  //! so each triangle at it sees it where the triangle's own meridian meets the line; with
  //! a single position every triangle of the fan but one would be stretched or turned over.
  gp_XY poleUV(const int pole, const gp_XY& seenFrom) const;
  //! The parameters of a triangle's corners (node -1: a node not created yet), a pole corner
  //! placed at the meridian of the other two.
  std::array<gp_XY, 3> cornerUV(const std::array<int, 3>& t, std::array<gp_XY, 3> uv) const;
  std::array<gp_XY, 3> cornerUV(const std::array<int, 3>& t) const;
  //! The middle of the edge (a, b) in the parameter plane, a pole end seen from the other.
  gp_XY middleUV(const int a, const int b) const;
  //! The triangle keeps the face's orientation in the parameter plane and its normal
  //! stays on the surface normal's side (see the class comment).
  bool   isUpright(const std::array<int, 3>& t) const;
  bool   isUpright(const std::array<gp_XY, 3>& uv, const std::array<gp_Pnt, 3>& points) const;
  double minAngle(const std::array<int, 3>& t) const;
  double minAngle(const gp_Pnt& a, const gp_Pnt& b, const gp_Pnt& c) const;
  double deviation(const int a, const int b) const;
  bool   isLive(const int t) const { return m_triangles[t][0] >= 0; }

  void attach(const uint64_t key, const int triangle);
  void replace(const uint64_t key, const int from, const int to);

  static uint64_t keyOf(const int a, const int b);

private:
  TopoDS_Face m_face;
  Settings    m_settings;
  Handle(Poly_Triangulation) m_source;
  Handle(Poly_Triangulation) m_result;
  TopLoc_Location m_location;
  gp_Trsf         m_toLocal;
  bool            m_isIdentity = true;
  Handle(BRepAdaptor_Surface) m_surface;

  std::vector<gp_Pnt>                      m_points;
  std::vector<gp_Pnt2d>                    m_uv;
  std::vector<char>                        m_fixed;
  std::vector<int>                         m_pole; //!< per node: its pole line, -1 off the poles
  std::vector<PoleLine>                    m_poleLines; //!< one per degenerated edge of the face
  std::vector<std::array<int, 3>>          m_triangles;
  std::unordered_map<uint64_t, EdgeRecord> m_edges;
  std::unordered_map<uint64_t, Segment>    m_segments;
  std::vector<Slot>                        m_slots;
  std::vector<EdgePolygon>                 m_polygons;
  std::vector<int>                         m_touched; //!< triangles changed by the last edit
  gp_Pnt2d                                 m_uvMin;   //!< lower parameter bounds of the face
  double m_orientation = 1.0; //!< sign of the parameter-plane area of the face's triangles
  //! Flips may not make an edge longer than the size (the last polish); before it, long
  //! diagonals are allowed because refinement splits them anyway.
  bool m_flipKeepsSize = false;

  int m_nbSplits    = 0;
  int m_nbFlips     = 0;
  int m_nbMoves     = 0;
  int m_nbCollapses = 0;
  int m_nbFolds     = 0;
};

#endif
