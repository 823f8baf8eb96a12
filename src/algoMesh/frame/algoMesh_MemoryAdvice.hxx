// Paging hints for large working arrays.
#ifndef algoMesh_MemoryAdvice_HeaderFile
#define algoMesh_MemoryAdvice_HeaderFile

#include <algoMesh.hxx>

#include <cstddef>

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
};

} // namespace quorin

#endif
