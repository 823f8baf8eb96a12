#include <Exchange_CancellableZLib.hxx>

#include <vtkObjectFactory.h>
#include <vtkZLibDataCompressor.h>

namespace quorin
{

namespace
{

//! No type macro on purpose: the writers store the compressor's class name in the file,
//! and readers create their decompressor from it, so it must stay VTK's own name.
class CancellableZLib : public vtkZLibDataCompressor
{
public:
  static CancellableZLib* New();

  void SetProgress(const ActAPI_ProgressEntry& progress) { m_progress = progress; }

protected:
  CancellableZLib() = default;

  size_t CompressBuffer(const unsigned char* uncompressedData,
                        size_t               uncompressedSize,
                        unsigned char*       compressedData,
                        size_t               compressionSpace) override
  {
    // Once stopped, stay stopped without asking the notifier again.
    m_isStopped = m_isStopped || m_progress.IsCancelling();
    return vtkZLibDataCompressor::CompressBuffer(
        uncompressedData, m_isStopped ? 0 : uncompressedSize, compressedData, compressionSpace);
  }

private:
  ActAPI_ProgressEntry m_progress;
  bool                 m_isStopped = false;
};

vtkStandardNewMacro(CancellableZLib);

} // namespace

vtkDataCompressor* Exchange_CancellableZLib::New(const ActAPI_ProgressEntry& progress)
{
  CancellableZLib* compressor = CancellableZLib::New();
  compressor->SetProgress(progress);
  return compressor;
}

} // namespace quorin
