// Allocator of large arrays read at random, backed by huge pages where the system allows.
#ifndef algoMesh_HugePageAllocator_HeaderFile
#define algoMesh_HugePageAllocator_HeaderFile

#include <cstddef>
#include <cstdlib>
#include <new>
#include <vector>

#ifdef __linux__
#include <sys/mman.h>
#endif

//! Standard allocator that places every array of 2 MB or more on 2 MB boundaries and asks the
//! kernel to back it with transparent huge pages. A decimation reads its per-point and per-edge
//! arrays at random, hundreds of megabytes of them on large meshes: with 4 kB pages nearly every
//! such read also misses the translation buffer, with 2 MB pages almost none does. Where huge
//! pages are off (or on other systems) the arrays are ordinary memory. Smaller arrays come from
//! the ordinary heap.
template <class T> class algoMesh_HugePageAllocator
{
public:
  using value_type = T;

  algoMesh_HugePageAllocator() noexcept = default;
  template <class U> algoMesh_HugePageAllocator(const algoMesh_HugePageAllocator<U>&) noexcept {}

  T* allocate(const std::size_t n)
  {
    const std::size_t bytes     = n * sizeof(T);
    const bool        large     = bytes >= THE_HUGE_PAGE;
    const std::size_t alignment = large ? THE_HUGE_PAGE : alignmentOfT();
    const std::size_t rounded =
        large ? (bytes + THE_HUGE_PAGE - 1) / THE_HUGE_PAGE * THE_HUGE_PAGE : bytes;
    void* memory = nullptr;
    if (posix_memalign(&memory, alignment, rounded == 0 ? alignment : rounded) != 0)
    {
      throw std::bad_alloc();
    }
#ifdef __linux__
    if (large)
    {
      madvise(memory, rounded, MADV_HUGEPAGE); // advice only: failure leaves ordinary pages
    }
#endif
    return static_cast<T*>(memory);
  }

  void deallocate(T* memory, std::size_t) noexcept
  {
    std::free(memory);
  }

  template <class U> bool operator==(const algoMesh_HugePageAllocator<U>&) const noexcept
  {
    return true;
  }
  template <class U> bool operator!=(const algoMesh_HugePageAllocator<U>&) const noexcept
  {
    return false;
  }

private:
  static constexpr std::size_t THE_HUGE_PAGE = std::size_t(2) << 20;

  static constexpr std::size_t alignmentOfT()
  {
    return alignof(T) < sizeof(void*) ? sizeof(void*) : alignof(T);
  }
};

//! Vector whose storage comes from algoMesh_HugePageAllocator.
template <class T> using algoMesh_HugePageVector = std::vector<T, algoMesh_HugePageAllocator<T>>;

#endif
