// Preparation of an OBJ file for the kernel's OBJ reader. One linear pass over the file
// refuses what must not be read (vertex coordinates that are not finite or overflow single
// precision, named by their line) and finds what the kernel reader cannot take as it
// stands: a UTF-8 byte-order mark, a last line without newline (the reader parses past
// it), polygons longer than its polygon buffers (which it overruns) and material libraries
// that are not regular files of bounded size (a device would never end). Only then a
// second pass writes a prepared copy in the temporary folder: the mark dropped, long
// polygons cut into a fan of triangles from their first corner (linear in their length),
// unusable libraries left out and the others named relative to the copy, one per line
// (the kernel reader takes the rest of an `mtllib` line as one name).
#ifndef Exchange_OBJScan_HeaderFile
#define Exchange_OBJScan_HeaderFile

#include <algoMesh.hxx>
#include <algoMesh_ProgressScope.hxx>

#include <string>
#include <vector>

namespace quorin
{

class algoMesh_EXPORT Exchange_OBJScan
{
public:
  //! Polygons with more corners than this are cut into triangles before the kernel
  //! reader sees them.
  static const int THE_POLYGON_LIMIT = 1024;

  Exchange_OBJScan() = default;

  //! Removes the prepared copy, if any.
  ~Exchange_OBJScan();

  Exchange_OBJScan(const Exchange_OBJScan&)            = delete;
  Exchange_OBJScan& operator=(const Exchange_OBJScan&) = delete;

  //! Scans the file and prepares a copy when needed.
  //! @return false with the reason in Error() when the file cannot be opened, holds an
  //!         invalid coordinate, or the copy cannot be written
  bool Perform(const std::string& path);

  //! As Perform(path), counting the bytes scanned in `progress` and polling it every
  //! 65536 lines: a large file takes most of a second to scan.
  //! @return false also when the run was cancelled, then with an empty Error()
  bool Perform(const std::string& path, algoMesh_ProgressScope progress);

  //! The file to hand to the kernel reader: the original or the prepared copy.
  const std::string& ReadPath() const { return m_readPath; }

  //! Reason of a failed Perform, naming the line where one is at fault.
  const std::string& Error() const { return m_error; }

  //! Things left out of the prepared copy, one sentence each.
  const std::vector<std::string>& Warnings() const { return m_warnings; }

  //! The material libraries one `mtllib` line names, given the text after the keyword and
  //! the OBJ file's folder. The line may list several files separated by blanks; a line
  //! whose whole text names an existing file is that one file, since exporters write names
  //! with blanks unquoted.
  static std::vector<std::string> LibraryNames(const std::string& text, const std::string& folder);

private:
  bool writeCopy(const std::string& path);

  std::string              m_readPath;
  std::string              m_copyPath;
  std::string              m_error;
  std::vector<std::string> m_warnings;
  std::vector<std::string> m_badLibraries; //!< mtllib lines left out
};

} // namespace quorin

#endif
