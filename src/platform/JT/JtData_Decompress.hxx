// Inflation of the compressed blocks of a JT file: zlib streams (segments of versions 8 and
// 9, lossless vertex data of version 8) and xz containers (segments of version 10). The
// output is bounded by the caller, so a block that claims or inflates to more than the
// bound fails instead of exhausting memory. Cost: linear in the output size.
#ifndef JtData_Decompress_HeaderFile
#define JtData_Decompress_HeaderFile

#include <JT_Export.hxx>

#include <cstddef>
#include <cstdint>
#include <vector>

class JT_EXPORT JtData_Decompress
{
public:
  //! Inflates a complete zlib stream. @return false on corrupt or truncated data or when
  //! the output would exceed `maxSize` bytes
  static bool
  Zlib(const uint8_t* data, const size_t size, const size_t maxSize, std::vector<uint8_t>& out);

  //! Decodes a complete xz container (run to its stream end).
  static bool
  Xz(const uint8_t* data, const size_t size, const size_t maxSize, std::vector<uint8_t>& out);
};

#endif
