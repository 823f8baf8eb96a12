// The peer's self-intersection search behind an interface free of kernel headers: the
// peer's headers and the kernel's `Handle` macro cannot meet in one translation unit.
#ifndef BenchCgal_HeaderFile
#define BenchCgal_HeaderFile

#include <cstddef>
#include <memory>
#include <vector>

namespace bench
{

class PeerSelfIntersections
{
public:
  //! @param[in] xyz        node coordinates, three per node
  //! @param[in] triangles  0-based node indices, three per triangle
  PeerSelfIntersections(const std::vector<double>& xyz, const std::vector<int>& triangles);
  ~PeerSelfIntersections();

  //! Runs the search, the peer's sequential mode for one thread, its parallel mode with up
  //! to `nbThreads` otherwise; answers the number of pairs found.
  std::size_t Run(const int nbThreads);

  std::size_t NbFaces() const;

private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

//! The peer's AABB tree over a triangle soup, for unsigned point-to-surface distances.
class PeerDistance
{
public:
  //! @param[in] xyz        node coordinates, three per node
  //! @param[in] triangles  0-based node indices, three per triangle
  PeerDistance(const std::vector<double>& xyz, const std::vector<int>& triangles);
  ~PeerDistance();

  //! Builds the tree and its distance accelerator (a previous tree is dropped), then answers
  //! the distance of each point (three coordinates per point) on up to `nbThreads` threads.
  void Run(const std::vector<double>& points, int nbThreads, std::vector<double>& distances);

private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

} // namespace bench

#endif
