// The usable triangles of a mesh as flat corner arrays, for the voxelizers.
#ifndef SurfWrap_TriangleSoup_HeaderFile
#define SurfWrap_TriangleSoup_HeaderFile

#include <SurfWrap_Geometry.hxx>

#include <Poly_Triangulation.hxx>

#include <vector>

//! Corners of the triangles of a mesh, three per triangle. Triangles referring to a node
//! outside the mesh or to a coordinate that is not finite are left out and counted.
struct SurfWrap_TriangleSoup
{
  std::vector<SurfWrap_Geometry::Vec> Corners;
  std::vector<SurfWrap_Geometry::Vec> Boxes; //!< min and max corner of each triangle's box
  int                                 NbRejected = 0;
  SurfWrap_Geometry::Vec              Min{0.0, 0.0, 0.0}; //!< bounding box of the kept corners
  SurfWrap_Geometry::Vec              Max{0.0, 0.0, 0.0};

  //! Reads the triangles of `mesh` (null gives an empty soup), in parallel when called
  //! inside a task arena.
  explicit SurfWrap_TriangleSoup(const Handle(Poly_Triangulation) & mesh);

  int  NbTriangles() const { return static_cast<int>(Corners.size() / 3); }
  bool IsEmpty() const { return Corners.empty(); }
};

#endif
