// Objective of the box optimisation: the volume of the box of a convex hull's nodes in a
// rotated frame, relative to the volume in the initial frame.
#ifndef algoMesh_FuncOBB_HeaderFile
#define algoMesh_FuncOBB_HeaderFile

#include <algoMesh.hxx>

#include <Poly_Triangulation.hxx>
#include <gp_Ax3.hxx>
#include <gp_XYZ.hxx>
#include <math_MultipleVarFunctionWithGradient.hxx>
#include <math_Vector.hxx>

#include <vector>

namespace quorin
{

//! F(a1, a2, a3) for three rotation angles in radians: the frame is the initial placement
//! turned about its own origin by a1 about the initial X axis, then a2 about the initial Y
//! axis, then a3 about the initial Z axis. With (min, max) the box of the hull nodes in that
//! frame and c_k the largest distance of a node from the nearer of the two box faces across
//! axis k,
//!
//!   F = (dx dy dz + c_x c_y c_z) / V0,
//!
//! V0 being dx dy dz in the initial frame (positive for the nodes of a solid hull). The c
//! term is 0 when on some axis every node touches one of the two faces, and grows as nodes
//! sink inside the box on all three axes. The gradient is by central differences (six
//! evaluations).
//!
//! An evaluation costs O(h) for h hull nodes at worst, but most nodes are never touched:
//! they are grouped at construction into clusters of nearby nodes with a bounding sphere,
//! and a cluster whose sphere projects inside the extremes (or below the depth) found so
//! far cannot change them and is skipped. The extreme and deepest nodes of the previous
//! evaluation seed the next one; successive evaluations of a minimiser turn the frame only
//! a little, so the seeds are nearly right and a few clusters are scanned. The skipping is
//! exact (the sphere bounds carry a rounding margin): the values are those of a full scan.
//! As it remembers its seeds, an instance is used by one thread at a time.
class algoMesh_EXPORT algoMesh_FuncOBB : public math_MultipleVarFunctionWithGradient
{
public:
  //! @param[in] placement  the initial frame; its origin stays fixed under every rotation
  //! @param[in] hull       nodes to bound (normally a convex hull's); at least one node.
  //!                       The nodes are read once, here.
  algoMesh_FuncOBB(const gp_Ax3& placement, const Handle(Poly_Triangulation) & hull);

  //! 3: the three angles.
  Standard_Integer NbVariables() const override;

  //! The objective at the angles X (indices X.Lower() ... X.Lower() + 2).
  //! @return true
  Standard_Boolean Value(const math_Vector& X, Standard_Real& F) override;

  //! Central differences with step 1e-4 rad.
  //! @return true
  Standard_Boolean Gradient(const math_Vector& X, math_Vector& G) override;

  //! Value and gradient together.
  //! @return true
  Standard_Boolean Values(const math_Vector& X, Standard_Real& F, math_Vector& G) override;

  //! The frame for the angles X (see the class comment).
  //! @param[out] placement  the rotated initial placement
  void Rotate(const math_Vector& X, gp_Ax3& placement) const;

  //! V0: the volume of the hull's box in the initial frame.
  double ReferenceVolume() const { return m_volume0; }

protected:
  //! Smallest and largest projection of the hull nodes (relative to the origin) on the
  //! direction of frame axis k; remembers the nodes that reach them as the next seeds.
  void projectedExtremes(const int k, const gp_XYZ& axis, double& lo, double& hi);

  //! The largest distance of a node from the nearer of the planes at lo and hi across the
  //! direction of frame axis k; 0 for no nodes. Remembers the deepest node as the next seed.
  double deepestNode(const int k, const gp_XYZ& axis, const double lo, const double hi);

  //! Groups the nodes into clusters of neighbours, and the clusters into groups.
  void buildClusters();

private:
  //! A bounding sphere: `radius` about `centre` (relative to the frame origin), with a
  //! margin for rounding. For a cluster it holds nodes [first, last) of the node arrays;
  //! for a group, clusters [first, last).
  struct Cluster
  {
    double centre[3];
    double radius;
    int    first, last;
  };

  //! The bounding sphere of nodes [first, last).
  Cluster boundingSphere(const int first, const int last) const;

  gp_Ax3 m_placement;
  Handle(Poly_Triangulation) m_hull;
  double m_volume0;
  //! Hull nodes minus the frame origin (which no rotation moves), one array per coordinate,
  //! ordered cluster by cluster.
  std::vector<double>  m_x, m_y, m_z;
  std::vector<Cluster> m_clusters;
  std::vector<Cluster> m_groups;
  //! Per frame axis, the nodes that were lowest, highest and deepest at the last evaluation.
  int m_seedLo[3], m_seedHi[3], m_seedDeep[3];
};

} // namespace quorin

#endif
