// All-or-nothing file output. The content goes to a temporary file in the target's folder
// (so that the final rename stays on one file system); only when every write, the flush
// and the close succeeded is it renamed onto the target. On any failure, on cancellation
// and when the object dies uncommitted the temporary is removed, so a pre-existing target
// is never left half-written, a full disk is reported as an error and two writers of one
// path leave one complete file (the last rename wins).
#ifndef Exchange_AtomicFile_HeaderFile
#define Exchange_AtomicFile_HeaderFile

#include <algoMesh.hxx>

#include <cstdio>
#include <string>

namespace quorin
{

class algoMesh_EXPORT Exchange_AtomicFile
{
public:
  //! How the content is written.
  enum Access
  {
    Access_Stream, //!< through File(), a stdio stream opened for binary writing
    Access_Path    //!< by a writer that opens TempPath() itself; File() stays null
  };

  //! Creates the temporary file beside `target`. A target that exists and is not a regular
  //! file (a device, a pipe) is written in place, since it cannot be replaced.
  //! IsOpen() answers false, with the reason in Error(), when nothing could be created.
  explicit Exchange_AtomicFile(const std::string& target, Access access = Access_Stream);

  //! Removes the temporary file unless Commit succeeded.
  ~Exchange_AtomicFile();

  Exchange_AtomicFile(const Exchange_AtomicFile&)            = delete;
  Exchange_AtomicFile& operator=(const Exchange_AtomicFile&) = delete;

  bool IsOpen() const { return m_isOpen; }

  //! The stream to write to (Access_Stream), null otherwise or when not open.
  FILE* File() const { return m_file; }

  //! The file a writer of Access_Path mode opens and fills.
  const std::string& TempPath() const { return m_tempPath; }

  //! Writes `size` bytes to File(); false once any write has failed.
  bool Write(const void* data, size_t size);

  //! Writes a text to File().
  bool Write(const std::string& text) { return Write(text.data(), text.size()); }

  //! Marks the output as failed: Commit will refuse it.
  void Fail() { m_isFailed = true; }

  //! Flushes and closes the stream, checking both, then replaces the target by the
  //! temporary file. @return false with the reason in Error() when any step failed; the
  //! temporary is then removed and the target is as it was.
  bool Commit();

  //! Abandons the output: the temporary file is removed now.
  void Discard();

  //! The reason of the last failure in words ("permission denied", "no space left on the
  //! device"), empty when none.
  const std::string& Error() const { return m_error; }

  //! A system error code in the words of Error(); "writing failed" for 0.
  static std::string ErrorText(int code);

private:
  void setSystemError(int code);
  bool copyToTarget();

  std::string m_target;
  std::string m_tempPath;
  std::string m_error;
  FILE*       m_file      = nullptr;
  bool        m_isOpen    = false;
  bool        m_isFailed  = false;
  bool        m_isInPlace = false;
  bool        m_isDone    = false;
};

} // namespace quorin

#endif
