// The triangulation of one face while it is being remeshed: nodes with their 3D points and
// parameters, triangles with their edge adjacency, the edge polygons that must stay
// conforming with the neighbouring faces, the face's poles; read from the face's mesh,
// edited by the refiner's operations and written back as a new triangulation.
#ifndef QMShape_FaceMesh_HeaderFile
#define QMShape_FaceMesh_HeaderFile

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
//! polygons of its edges on it; the face itself is not modified.
//!
//! Poles. The nodes of a degenerated edge (a sphere's pole, a cone's apex) are one point
//! in 3D on a whole line of parameters: they are merged into one node, which each triangle
//! at it sees on that line at the triangle's own meridian (cornerUV), so that the fan
//! around a pole is tested for folds and refined like any other triangles.
//!
//! No folds. isUpright() is the test every edit must pass: the triangle keeps the face's
//! orientation in the parameter plane, and its 3D normal does not turn away from the
//! surface normal by more than about 80 degrees.
class QMShape_FaceMesh
{
public:
  struct Settings
  {
    double MaxSize = 1.0e100; //!< maximum edge length; 1e100 or more: no limit
    //! Maximum length of the segments of particular edges (their polygons), below MaxSize;
    //! edges that are not in the map take MaxSize. Every face sharing an edge must be given
    //! the same value for it, or the faces will not conform.
    const NCollection_DataMap<TopoDS_Shape, double, TopTools_ShapeMapHasher>* EdgeSizes = nullptr;
    //! Parameters at which particular edges must be divided besides the size rule (where a
    //! segment's chord would cut another border node off a face), in ascending order. Like
    //! EdgeSizes, every face sharing an edge must be given the same list.
    const NCollection_DataMap<TopoDS_Shape, std::vector<double>, TopTools_ShapeMapHasher>*
        EdgeSplits = nullptr;
    //! Parameters of first-pass polygon nodes to remove from particular edges, in ascending
    //! order (an edge divided more finely than it needs). Like EdgeSizes, every face sharing
    //! an edge must be given the same list; a face that cannot remove a node keeps it and
    //! reports it (Refused()), so that the caller can keep it in every face.
    const NCollection_DataMap<TopoDS_Shape, std::vector<double>, TopTools_ShapeMapHasher>*
           EdgeRemovals = nullptr;
    int    NbPasses     = 3; //!< optimisation passes (flips then smoothing)
    size_t MaxNodes     = 0; //!< node budget of the face; 0: none
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
  //! The division of the segment [ta, tb] of an edge curve (model coordinates) into the
  //! points every face sharing the edge inserts: ta, then the given split parameters
  //! strictly inside the segment (may be null), and between each two of them the fewest
  //! equal parameter steps whose chords are all within size (1e100 or more: none), then tb.
  //! Answers the parameters and their curve points, ta and tb included.
  static void DivideSegment(const Adaptor3d_Curve&     curve,
                            const double               ta,
                            const double               tb,
                            const double               size,
                            const std::vector<double>* splits,
                            std::vector<double>&       parameters,
                            std::vector<gp_Pnt>&       points);

  //! Whether the ascending list holds t (to 1e-12 relative): first-pass parameters are
  //! copied, not computed again, so they match to the last bits.
  static bool IsListed(const std::vector<double>& sorted, const double t);

  //! The new triangulation, in the frame of the face's own (placed by Location()).
  const Handle(Poly_Triangulation) & Result() const { return m_result; }

  //! The triangulation the face carried.
  const Handle(Poly_Triangulation) & Source() const { return m_source; }

  //! Location of the face's triangulation.
  const TopLoc_Location& Location() const { return m_location; }

  //! The edge polygons on the new triangulation, one per edge occurrence that had one.
  const std::vector<EdgePolygon>& Polygons() const { return m_polygons; }

  //! The polygon nodes of Settings::EdgeRemovals this face kept: (edge, parameter).
  const std::vector<std::pair<TopoDS_Edge, double>>& Refused() const { return m_refused; }

  int NbSplits() const { return m_nbSplits; }
  int NbFlips() const { return m_nbFlips; }
  int NbMoves() const { return m_nbMoves; }
  int NbCollapses() const { return m_nbCollapses; }
  int NbFolds() const { return m_nbFolds; }

protected:
  QMShape_FaceMesh(const TopoDS_Face& face, const Settings& settings);

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

  //! Copies the face's triangulation; false without one carrying UV nodes.
  bool loadMesh();
  //! Reads the edge polygons: their nodes are fixed, their segments constrained.
  void loadPolygons();
  //! Makes the nodes of each degenerated edge one pole node; the node each node became.
  std::vector<int> mergePoles();
  void             choosePCurve(Slot& slot, const int nbNodes) const;
  //! Records the pole line of a degenerated edge; its index, -1 when it has no parameters.
  int addPoleLine(const TopoDS_Edge& edge, const Poly_PolygonOnTriangulation& polygon);
  //! Connects triangles through their edges, and fixes the nodes of free borders.
  void buildEdges();
  //! Puts back the polygon nodes a first-pass mesh left out: where a border edge of a
  //! triangle is no polygon segment but its ends are joined by a run of segments whose
  //! inner nodes no triangle uses (a tip cut off between two tangent boundary curves), the
  //! triangle is replaced by a fan from its third node through those nodes, so that the
  //! face's border matches its neighbours' again. Answers the number of nodes put back.
  int restoreSkippedNodes();
  //! Removes the polygon nodes listed in Settings::EdgeRemovals, each by collapsing it along
  //! its polygon onto the previous node, else the next one, where that keeps every triangle
  //! upright and the link condition holds; the others are kept and listed in Refused(). The
  //! edges must be connected (buildEdges) before, and are connected again after.
  void removeBorderNodes();
  //! Collapses the border node onto its polygon neighbour target; false when that would
  //! fold a triangle or pinch the face.
  bool collapseBorderNode(const int node, const int target, std::vector<std::vector<int>>& around);
  //! The triangles on the edge (a, b), in `shared`, and the number of nodes both ends
  //! neighbour: the collapse of the edge keeps the surface a manifold only when these are
  //! just the nodes opposite it (link condition).
  size_t edgeLink(const int                            a,
                  const int                            b,
                  const std::vector<std::vector<int>>& around,
                  std::vector<int>&                    shared) const;
  //! Whether a polygon segment is no triangle's edge (a first-pass mesh whose triangles
  //! cut across the face instead of following its border); the edges must be connected.
  bool isBorderUncovered() const;
  //! Triangulates anew, by ear clipping in the parameter plane, a face whose mesh has a
  //! folded triangle or does not cover its border (isBorderUncovered), and whose border is
  //! one loop of polygon segments (a crescent between tangent curves, where a border node
  //! put on the curve fell beyond the opposite side of a thin triangle, and whose triangles
  //! can then only be flipped; or whose first-pass triangles spanned the bore beside it,
  //! leaving border nodes out that no fan can put back): each step cuts the
  //! upright ear with the largest smallest angle that holds no other border node. The
  //! face's free interior nodes are left out (refinement inserts what the size asks for).
  //! Only a loop of at most 4000 nodes without a pole, and interior nodes that are not
  //! fixed, are handled. Answers whether the triangles were replaced (the edges must then
  //! be connected again).
  bool retriangulateFolded();
  //! The live triangles at each node.
  std::vector<std::vector<int>> trianglesAround() const;
  void                          countFolds();
  //! Writes the live nodes and triangles as the new triangulation, and the edge polygons.
  void storeResult();

  int  addNode(const gp_Pnt& point, const gp_Pnt2d& uv, const bool fixed);
  void splitEdge(const int a, const int b, const int m);
  void splitTriangle(const int t, const int m);
  void attach(const uint64_t key, const int triangle);
  void replace(const uint64_t key, const int from, const int to);
  //! Walks from triangle start to the triangle holding uv; false when the walk meets the
  //! face boundary or a constrained segment. edge: -1 inside, k when uv is on the edge
  //! (tri[k], tri[k+1]).
  bool locate(const int start, const gp_XY& uv, int& found, int& edge) const;
  //! The surface point nearest to target, searched from uv (updated); false where the
  //! surface is singular on the way.
  bool projectToSurface(const gp_Pnt& target, gp_Pnt2d& uv, gp_Pnt& point) const;

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
  //! Distance between the middle of the chord (a, b) and the surface point at its
  //! parameter middle.
  double deviation(const int a, const int b) const;
  bool   isLive(const int t) const { return m_triangles[t][0] >= 0; }

  static uint64_t keyOf(const int a, const int b);

protected:
  TopoDS_Face m_face;
  Settings    m_settings;
  Handle(Poly_Triangulation) m_source;
  Handle(Poly_Triangulation) m_result;
  TopLoc_Location m_location;
  gp_Trsf         m_toLocal;
  bool            m_isIdentity = true;
  Handle(BRepAdaptor_Surface) m_surface;

  std::vector<gp_Pnt>                         m_points;
  std::vector<gp_Pnt2d>                       m_uv;
  std::vector<char>                           m_fixed;
  std::vector<int>                            m_pole; //!< per node: its pole line, -1 off the poles
  std::vector<PoleLine>                       m_poleLines; //!< one per degenerated edge of the face
  std::vector<std::array<int, 3>>             m_triangles;
  std::unordered_map<uint64_t, EdgeRecord>    m_edges;
  std::unordered_map<uint64_t, Segment>       m_segments;
  std::vector<Slot>                           m_slots;
  std::vector<EdgePolygon>                    m_polygons;
  std::vector<int>                            m_touched; //!< triangles changed by the last edit
  std::vector<std::pair<TopoDS_Edge, double>> m_refused; //!< removals this face could not make
  gp_Pnt2d                                    m_uvMin;   //!< lower parameter bounds of the face
  double m_orientation = 1.0; //!< sign of the parameter-plane area of the face's triangles

  int m_nbSplits    = 0;
  int m_nbFlips     = 0;
  int m_nbMoves     = 0;
  int m_nbCollapses = 0;
  int m_nbFolds     = 0;
};

#endif
