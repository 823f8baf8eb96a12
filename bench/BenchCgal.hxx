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

  //! Runs the search with up to `nbThreads` threads; answers the number of pairs found.
  std::size_t Run(const int nbThreads);

  std::size_t NbFaces() const;

private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

} // namespace bench

#endif
