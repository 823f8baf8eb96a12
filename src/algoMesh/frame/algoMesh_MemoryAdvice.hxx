// Paging hints for large working arrays.
#ifndef algoMesh_MemoryAdvice_HeaderFile
#define algoMesh_MemoryAdvice_HeaderFile

#include <algoMesh.hxx>

#include <cstddef>
#include <cstdlib>

namespace quorin
{

//! Hints to the operating system about fresh large arrays.
//!
//! A freshly allocated array of many megabytes costs one page fault per 4 KiB page at its
//! first write, and in a virtual machine a fault costs microseconds: for the arrays of a
//! million-triangle mesh that is a quarter of a file read. Asking for transparent huge
//! pages on the array before it is first written turns 512 of those faults into one.
class algoMesh_EXPORT algoMesh_MemoryAdvice
{
public:
  //! Asks for huge pages on the whole 2 MiB pages inside [begin, begin + bytes). Only
  //! pages not yet written benefit. A hint: it changes no content, does nothing for
  //! arrays smaller than a huge page or on systems without the feature, and never fails.
  static void UseHugePages(const void* begin, const size_t bytes);

  //! Allocates `bytes` with std::free as its release: blocks of 2 MiB and more are aligned
  //! to 2 MiB and offered huge pages from the start, smaller ones come from malloc, or are
  //! aligned to `alignment` (a power of two) when that is stricter than malloc's.
  //! @throw std::bad_alloc when no memory is left
  static void* AllocateLarge(const size_t bytes,
                             const size_t alignment = alignof(std::max_align_t));
};

//! Allocator of large working arrays (std::vector<T, algoMesh_LargeAllocator<T>>) through
//! algoMesh_MemoryAdvice::AllocateLarge: arrays that are written at random, or written
//! once and big, cost a fraction of the page faults and address-translation misses.
template <typename T> struct algoMesh_LargeAllocator
{
  typedef T value_type;
  algoMesh_LargeAllocator() = default;
  template <typename U> algoMesh_LargeAllocator(const algoMesh_LargeAllocator<U>&) {}
  T* allocate(const size_t n)
  {
    return static_cast<T*>(algoMesh_MemoryAdvice::AllocateLarge(n * sizeof(T), alignof(T)));
  }
  void                       deallocate(T* p, const size_t) { std::free(p); }
  template <typename U> bool operator==(const algoMesh_LargeAllocator<U>&) const { return true; }
  template <typename U> bool operator!=(const algoMesh_LargeAllocator<U>&) const { return false; }
};

} // namespace quorin

#endif
