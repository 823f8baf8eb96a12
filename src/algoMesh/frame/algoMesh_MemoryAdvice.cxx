#include <algoMesh_MemoryAdvice.hxx>

#include <cstdint>

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
