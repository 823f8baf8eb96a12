// The wrapping surface while it is shrunk and refined, and the projection onto the input.
#ifndef SurfWrap_WorkMesh_HeaderFile
#define SurfWrap_WorkMesh_HeaderFile

#include <SurfWrap_Geometry.hxx>

#include <BVHTools_ProjectPntMesh.hxx>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

//! A closed quadrilateral surface: every quad turns counter-clockwise seen from outside.
//! Each vertex keeps its voxel-corner position (Rest) beside its current one (Points), so
//! that a move can be undone; attached vertices are held on the input surface.
struct SurfWrap_WorkMesh
{
  std::vector<SurfWrap_Geometry::Vec> Rest;
  std::vector<SurfWrap_Geometry::Vec> Points;
  std::vector<uint8_t>                Attached;
  std::vector<std::array<int, 4>>     Quads;
  std::vector<int>                    NeighbourStart; //!< CSR offsets into Neighbours
  std::vector<int>                    Neighbours;     //!< vertices sharing a quad edge

  int NbVertices() const { return static_cast<int>(Rest.size()); }

  //! Fills NeighbourStart and Neighbours from the quads' edges.
  void BuildAdjacency();
};

//! Nearest points of the input surface, safe for concurrent queries.
class SurfWrap_Projector
{
public:
  explicit SurfWrap_Projector(const Handle(Poly_Triangulation) & mesh, const int nbThreads);

  //! The point of the input surface nearest to `p` and its distance; false when the input
  //! has no usable triangle.
  bool
  Project(const SurfWrap_Geometry::Vec& p, SurfWrap_Geometry::Vec& nearest, double& distance) const;

private:
  Handle(Poly_Triangulation) m_mesh;
  std::unique_ptr<BVHTools::ProjectPntMesh> m_projector;
};

#endif
