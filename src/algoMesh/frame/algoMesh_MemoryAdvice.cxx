#include <algoMesh_MemoryAdvice.hxx>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

using namespace quorin;

void algoMesh_MemoryAdvice::UseHugePages(const void* begin, const size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  const uintptr_t hugePage = uintptr_t(1) << 21;
  const uintptr_t first    = (reinterpret_cast<uintptr_t>(begin) + hugePage - 1) & ~(hugePage - 1);
  const uintptr_t last     = (reinterpret_cast<uintptr_t>(begin) + bytes) & ~(hugePage - 1);
  if (begin != nullptr && last > first)
  {
    madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
  }
#else
  (void)begin;
  (void)bytes;
#endif
}

void* algoMesh_MemoryAdvice::AllocateLarge(const size_t bytes, const size_t alignment)
{
  const size_t hugePage = size_t(1) << 21;
  void*        memory   = nullptr;
  if (bytes >= hugePage)
  {
    memory = std::aligned_alloc(hugePage, (bytes + hugePage - 1) & ~(hugePage - 1));
    UseHugePages(memory, bytes);
  }
  else if (alignment > alignof(std::max_align_t))
  {
    memory = std::aligned_alloc(alignment,
                                (std::max<size_t>(bytes, 1) + alignment - 1) & ~(alignment - 1));
  }
  else
  {
    memory = std::malloc(bytes > 0 ? bytes : 1);
  }
  if (memory == nullptr)
  {
    throw std::bad_alloc();
  }
  return memory;
}
