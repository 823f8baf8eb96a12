// Axis-aligned boxes under a bounding-volume hierarchy.
#ifndef BVHTools_BoxSet_HeaderFile
#define BVHTools_BoxSet_HeaderFile

#include <BVHTools_PrimitiveSet.hxx>

#include <vector>

namespace BVHTools
{

//! One box: min corner, max corner (model units) and the caller's index.
struct BoxData
{
  double minX = 0.0, minY = 0.0, minZ = 0.0;
  double maxX = 0.0, maxY = 0.0, maxZ = 0.0;
  int    index = 0;
};

//! A set of boxes; the hierarchy's leaves refer to positions of Element().
class BVHTools_EXPORT BoxSet : public PrimitiveSet
{
  DEFINE_STANDARD_RTTIEXT(BoxSet, PrimitiveSet)
public:
  //! Copies the boxes. A box whose corners are not finite, or whose min exceeds its max
  //! along an axis, is left out and counted by NbRejected().
  explicit BoxSet(const std::vector<BoxData>& boxes);

  int                Size() const override { return static_cast<int>(m_boxes.size()); }
  BVH_Box<double, 3> Box(const int position) const override;
  double             Center(const int position, const int axis) const override;
  void               Swap(const int position1, const int position2) override;

  //! The box at a position of the set (in hierarchy order once BVH() has been called).
  const BoxData& Element(const int position) const { return m_boxes[position]; }

  //! Number of boxes left out.
  int NbRejected() const { return m_nbRejected; }

private:
  std::vector<BoxData> m_boxes;
  int                  m_nbRejected = 0;
};

} // namespace BVHTools

#endif
