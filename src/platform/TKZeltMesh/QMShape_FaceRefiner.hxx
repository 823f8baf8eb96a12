// Remeshing of the triangulation of one face to a target edge size: boundary segments
// divided on their curves, Delaunay refinement by off-centre insertion, collapse of short
// edges, angle-raising flips and tangential smoothing, keeping every node on the surface,
// the face's boundary conforming with its neighbours and no triangle folded.
#ifndef QMShape_FaceRefiner_HeaderFile
#define QMShape_FaceRefiner_HeaderFile

#include <QMShape_FaceMesh.hxx>

//! Faces are independent: separate refiners may run on separate threads.
//!
//! Conformity. A segment of an edge polygon whose chord (between the curve points of its two
//! ends) is longer than the edge's size (Settings::EdgeSizes) is divided into the fewest equal
//! parameter steps whose chords are all within the size, at the edge's 3D curve points. That
//! rule depends only on the edge and the parameters of the segment, so every face sharing the
//! edge (and both sides of a seam) inserts the same points, whatever its own interior does.
//! Boundary nodes are never moved or removed.
//!
//! No folds. Every operation (insertion, collapse, flip, move) is refused when it would give
//! a triangle that is not upright (QMShape_FaceMesh::isUpright); NbFolds() counts the
//! triangles that still fail the test at the end (those of the first pass that no operation
//! could repair).
class QMShape_FaceRefiner : public QMShape_FaceMesh
{
public:
  QMShape_FaceRefiner(const TopoDS_Face& face, const Settings& settings);

  //! Refines and optimises. False when the face has no triangulation with UV nodes, or
  //! when the node budget ran out (nothing is produced then).
  bool Perform();

  //! The first steps of Perform alone: reads the face's mesh and polygons and removes the
  //! polygon nodes of Settings::EdgeRemovals, so that Refused() tells which of them this
  //! face keeps. False without a triangulation carrying UV nodes.
  bool Prepare();

protected:
  bool divideSegments();
  bool insertPoints();
  bool needsRefinement(const int t, double& radius) const;
  bool insertFor(const int t);
  void legalise(const int m, std::vector<std::pair<int, int>>& stack);
  void collapseEdges();
  bool tryCollapse(const int a, const int b, std::vector<std::vector<int>>& around);
  //! Collapses the edge (a, b) of two free nodes onto its middle.
  bool collapseToMiddle(const int a, const int b, std::vector<std::vector<int>>& around);
  //! Collapses the shortest edge of each triangle under 20 degrees where it can; true when
  //! any went.
  bool removeSlivers();
  //! Moves the free nodes of the triangles still under 20 degrees to where the smallest
  //! angle around each is largest (a compass search on the surface); true when any moved.
  bool relocateSliverNodes();
  //! One compass search for a node: its ring's smallest angle, upright triangles, edges
  //! within the size.
  bool optimiseNode(const int node, const std::vector<int>& ring);
  bool refine();
  //! Where to split the interior edge (a, b) so that neither side folds: the middle in the
  //! parameter plane, else the surface point nearest to the chord's middle; false when
  //! both fold.
  bool chooseMidpoint(
      const int a, const int b, const EdgeRecord& record, gp_Pnt2d& uv, gp_Pnt& point) const;
  void flipEdges();
  //! @param[in] raiseAngle flip when the pair's smallest angle rises, instead of by the
  //! Delaunay criterion
  bool flipEdge(const uint64_t key, EdgeRecord& record, const bool raiseAngle = false);
  //! @param[in] keepSize refuse moves that stretch an edge beyond the maximum size
  void smoothNodes(const bool keepSize);
  bool moveNode(const int node, const std::vector<int>& ring, const bool keepSize);

private:
  //! Flips may not make an edge longer than the size (the last polish); before it, long
  //! diagonals are allowed because refinement splits them anyway.
  bool m_flipKeepsSize = false;
};

#endif
