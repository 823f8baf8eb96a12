#include <JtData_Decompress.hxx>

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <climits>

namespace
{
//! Next output size: doubling, at least 64 KiB, never beyond the bound.
size_t grownSize(const size_t current, const size_t maxSize)
{
  return std::min(maxSize, std::max<size_t>(current * 2, 1 << 16));
}
} // namespace

bool JtData_Decompress::Zlib(const uint8_t*        data,
                             const size_t          size,
                             const size_t          maxSize,
                             std::vector<uint8_t>& out)
{
  out.clear();
  if (size > UINT_MAX)
    return false;
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK)
    return false;
  stream.next_in  = const_cast<Bytef*>(data);
  stream.avail_in = static_cast<uInt>(size);
  int status      = Z_OK;
  while (status == Z_OK)
  {
    if (stream.total_out == out.size())
    {
      if (out.size() >= maxSize)
        break;
      out.resize(grownSize(out.size(), maxSize));
    }
    stream.next_out  = out.data() + stream.total_out;
    stream.avail_out = static_cast<uInt>(std::min<size_t>(out.size() - stream.total_out, UINT_MAX));
    status           = inflate(&stream, Z_NO_FLUSH);
    if (status == Z_BUF_ERROR && stream.avail_out != 0)
      break; // input ended before the stream did
    if (status == Z_BUF_ERROR)
      status = Z_OK;
  }
  out.resize(stream.total_out);
  inflateEnd(&stream);
  return status == Z_STREAM_END;
}

bool JtData_Decompress::Xz(const uint8_t*        data,
                           const size_t          size,
                           const size_t          maxSize,
                           std::vector<uint8_t>& out)
{
  out.clear();
  lzma_stream stream = LZMA_STREAM_INIT;
  // The decoder's own memory is bounded too (dictionary sizes come from the data).
  if (lzma_stream_decoder(&stream, uint64_t(256) << 20, 0) != LZMA_OK)
    return false;
  stream.next_in   = data;
  stream.avail_in  = size;
  lzma_ret status  = LZMA_OK;
  size_t   written = 0;
  while (status == LZMA_OK)
  {
    if (written == out.size())
    {
      if (out.size() >= maxSize)
        break;
      out.resize(grownSize(out.size(), maxSize));
    }
    stream.next_out  = out.data() + written;
    stream.avail_out = out.size() - written;
    status           = lzma_code(&stream, stream.avail_in == 0 ? LZMA_FINISH : LZMA_RUN);
    written          = out.size() - stream.avail_out;
    if (status == LZMA_BUF_ERROR)
      break;
  }
  out.resize(written);
  lzma_end(&stream);
  return status == LZMA_STREAM_END;
}
