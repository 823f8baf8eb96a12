// A zlib compressor for VTK's XML writers that answers cancellation. The writers encode
// their appended data in one call that nothing outside can interrupt, and they crash when
// a compressor reports a failure. This compressor asks the progress entry before each
// block (32 KB by default); once the user has asked to stop, it compresses every further
// block as an empty one, so the writer runs through the rest of its data in moments and
// the caller discards the result. Until then it is VTK's own zlib compressor with its
// default level and its class name, so files are byte for byte what VTK writes.
// Cost: one cancellation poll per block on top of the compression.
#ifndef Exchange_CancellableZLib_HeaderFile
#define Exchange_CancellableZLib_HeaderFile

#include <algoMesh.hxx>

#include <ActAPI_ProgressEntry.hxx>

class vtkDataCompressor;

namespace quorin
{

class algoMesh_EXPORT Exchange_CancellableZLib
{
public:
  //! Creates the compressor; the caller owns one reference (hand it to a writer with
  //! SetCompressor and release it with Delete, or keep it in a vtkSmartPointer with Take).
  //! @param[in] progress  entry asked before each block
  static vtkDataCompressor* New(const ActAPI_ProgressEntry& progress);
};

} // namespace quorin

#endif
