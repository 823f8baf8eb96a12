// Working structures of one convex hull computation: the point source, the half-edge mesh
// of the growing hull with its recycled slots, and the pools the main loop reuses. One
// builder serves one call of algoMesh_ConvexHull::Perform; it is not part of the public
// interface of the library.
#ifndef algoMesh_HullBuilder_HeaderFile
#define algoMesh_HullBuilder_HeaderFile

#include <algoMesh_ProgressScope.hxx>

#include <Poly_Triangulation.hxx>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <vector>

namespace quorin
{

class algoMesh_HullBuilder
{
public:
  //! Marks a disabled half-edge (as its end vertex), a disabled face (as its reference
  //! half-edge) and an absent half-edge in the visibility flood.
  static constexpr size_t THE_NONE = std::numeric_limits<size_t>::max();

  //! @param[in] coords    x, y, z of each point, consecutive; not copied, must outlive Build
  //! @param[in] nbPoints  number of points; the caller has checked that the cloud is
  //!                      three-dimensional and finite
  algoMesh_HullBuilder(const double* coords, const size_t nbPoints);

  //! Runs the whole computation: extremes, initial tetrahedron, expansion, planar fix-up.
  //! @param[in] progress  optional: counts the points settled (made hull vertices or found
  //!                      inside) and is polled once per new hull vertex
  //! @return false when the run was cancelled through `progress` (the hull is then
  //!         incomplete)
  bool Build(algoMesh_ProgressScope* progress = nullptr);

  //! The hull as a triangulation whose nodes are the hull vertices, numbered in order of
  //! first appearance over the live faces; triangles are counter-clockwise seen from outside.
  Handle(Poly_Triangulation) Triangulation() const;

  //! Number of points dropped because their horizon could not be ordered into a loop.
  size_t NbFailedHorizons() const { return m_nbFailedHorizons; }

private:
  using IndexList = std::vector<size_t>;

  struct HalfEdge
  {
    size_t endVertex;
    size_t opposite;
    size_t face;
    size_t next;
  };

  //! A face's plane packed with its squared tolerance (eps^2 |N|^2) for the tight loop
  //! that distributes points.
  struct Candidate
  {
    double nx, ny, nz, d, limit;
    size_t face;
  };

  struct Face
  {
    size_t                     halfEdge = THE_NONE; //!< reference half-edge; THE_NONE: disabled
    double                     nx = 0.0, ny = 0.0, nz = 0.0; //!< normal, not normalised
    double                     d          = 0.0; //!< offset: -N.P for a point P of the face
    double                     nn         = 0.0; //!< |N|^2
    double                     farDist    = 0.0; //!< N.p + D of the farthest outside point
    size_t                     farPoint   = 0;
    size_t                     testedIter = THE_NONE; //!< THE_NONE: never tested
    uint8_t                    visible : 1;
    uint8_t                    queued : 1;
    uint8_t                    horizonMask : 3; //!< bit k: k-th half-edge from the reference
    std::unique_ptr<IndexList> outside;         //!< absent when empty

    Face() : visible(0), queued(0), horizonMask(0) {}
    bool IsDisabled() const { return halfEdge == THE_NONE; }
  };

private:
  const double* point(const size_t i) const { return m_coords + 3 * i; }

  double signedDistance(const Face& f, const double* p) const
  {
    return f.nx * p[0] + f.ny * p[1] + f.nz * p[2] + f.d;
  }

  //! Indices of the largest and smallest point along +x, -x, +y, -y, +z, -z, and the
  //! tolerances derived from their coordinates.
  void findExtremes(size_t extremes[6]);

  //! Chooses four vertices and creates the tetrahedron; may switch to the planar copy.
  void createInitialTetrahedron(const size_t extremes[6]);

  //! Creates the four faces A-B-C, A-C-D, B-A-D, C-B-D and their twelve half-edges.
  //! With `orient`, first swaps A and B when D lies on the positive side of A-B-C.
  void createTetrahedron(size_t a, size_t b, const size_t c, const size_t d, const bool orient);

  //! Gives every point to the first initial face that has it outside.
  void assignInitialPoints();

  //! Expands the hull towards the farthest point of each queued face until none is left;
  //! false when the run was cancelled (polled once per new hull vertex).
  bool expand();

  //! Collects the faces visible from point q, starting at face f, and the horizon edges.
  void findVisibleFaces(const size_t f, const double* q);

  //! Orders the horizon edges into a closed loop; false when some edge has no successor or
  //! the chain does not close.
  bool orderHorizon();

  //! Disables the visible faces and keeps 2H of their half-edges for the new faces.
  void recycleVisibleFaces();

  //! Creates one face per horizon edge, fanning from point q.
  void createConeFaces(const size_t q);

  //! Gives the points of the removed faces to the new faces, dropping inner ones.
  void reassignPoints(const size_t q);

  //! Makes the extra point of a planar build coincide with point 0 again.
  void undoPlanarLift();

  //! Makes face f one of the faces that the next points are offered to, in call order.
  void addCandidate(const size_t f);

  //! Gives point p to the first candidate face that has it outside beyond the tolerance;
  //! a point no candidate takes is inside the hull and is dropped.
  bool assignToCandidates(const size_t p);

  void   setPlane(Face& f, const double* a, const double* b, const double* through);
  size_t addFace();
  size_t addHalfEdge();
  void   disableHalfEdge(const size_t e);

  std::unique_ptr<IndexList> takeList();
  void                       returnList(std::unique_ptr<IndexList>& list);

private:
  const double*       m_coords; //!< the current point source
  const double*       m_inputCoords;
  size_t              m_nbPoints;
  size_t              m_nbInputPoints;
  std::vector<double> m_planarCoords; //!< the points plus one lifted point, planar builds only
  bool                m_isPlanar = false;

  std::vector<Face>     m_faces;
  std::vector<HalfEdge> m_halfEdges;
  std::vector<size_t>   m_disabledFaces;
  std::vector<size_t>   m_disabledHalfEdges;

  double m_scale = 0.0;
  double m_eps   = 0.0;
  double m_eps2  = 0.0;

  std::vector<std::unique_ptr<IndexList>> m_pool;
  size_t                                  m_nbFailedHorizons = 0;
  size_t                                  m_iteration        = 0;
  size_t                                  m_nbSettled        = 0;
  algoMesh_ProgressScope*                 m_progress         = nullptr;

  // Buffers of the main loop, kept across iterations so that they are allocated once.
  std::deque<size_t>                      m_queue;
  std::vector<std::pair<size_t, size_t>>  m_flood;
  std::vector<size_t>                     m_visible;
  std::vector<size_t>                     m_horizon;
  std::vector<size_t>                     m_taken;
  std::vector<size_t>                     m_newFaces;
  std::vector<Candidate>                  m_candidates;
  std::vector<std::unique_ptr<IndexList>> m_setAside;
};

} // namespace quorin

#endif
