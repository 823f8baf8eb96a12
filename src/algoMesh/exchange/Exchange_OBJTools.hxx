// Line-wise parsing of OBJ and MTL files: a guard that owns the open file and the line,
// token and rest-of-line buffers, and helpers that scan one value kind from the current
// line at a given offset (the length of the keyword and its blank) and validate it.
#ifndef Exchange_OBJTools_HeaderFile
#define Exchange_OBJTools_HeaderFile

#include <algoMesh.hxx>

#include <gp_Pnt.hxx>

#include <cstdio>
#include <string>
#include <vector>

namespace quorin
{

namespace Exchange_OBJTools
{

//! Size of each buffer of the guard; a line is read with fgets limited to this size and
//! every scan stores at most this size minus one characters plus the terminator.
const int THE_BUFFER_SIZE = 8192;

//! State of line-wise reading. Owns the file and the buffers: the file is closed and the
//! buffers are freed when the guard goes out of scope, on every path.
class algoMesh_EXPORT ReadGuard
{
public:
  //! Takes ownership of an open file (may be null: IsOpen() then answers false).
  explicit ReadGuard(FILE* file);
  ~ReadGuard();
  ReadGuard(const ReadGuard&)            = delete;
  ReadGuard& operator=(const ReadGuard&) = delete;

  bool IsOpen() const { return File != nullptr; }

  //! Reads the next line into Line with fgets. @return false at end of file.
  bool NextLine();

public:
  FILE* File;
  char* Line;  //!< the line most recently read (terminated, may end with '\n')
  char* Token; //!< scan buffer of one word
  char* Rest;  //!< scan buffer of the rest of a line
};

//! Vertex references of an "f" line, scanned from the third character: each reference is
//! reduced to its leading integer (v/vt/vn gives v; negative references stay negative,
//! unresolved). Polygons are returned whole.
//! @return false (indices untouched) unless the line holds at least two references.
algoMesh_EXPORT bool ReadFace(ReadGuard& guard, std::vector<int>& indices);

//! First whitespace-delimited word after `offset` characters. @return false if none.
algoMesh_EXPORT bool ReadString(ReadGuard& guard, const int offset, std::string& out);

//! The rest of the line after `offset` characters, up to the newline.
//! @return false when it is empty.
algoMesh_EXPORT bool ReadWholeString(ReadGuard& guard, const int offset, std::string& out);

//! Three doubles after `offset` characters. @return false unless all three are read.
algoMesh_EXPORT bool ReadVertex(const ReadGuard& guard, const int offset, gp_Pnt& p);

//! Three floats after `offset` characters. @return true only if all three are read and
//! each lies in [0, 1]; the outputs may hold scanned values on failure.
algoMesh_EXPORT bool
ReadValidateColor(const ReadGuard& guard, const int offset, float& r, float& g, float& b);

//! One float after `offset` characters. @return true only if read and in [0, 1000].
algoMesh_EXPORT bool ReadValidateShininess(const ReadGuard& guard, const int offset, float& v);

//! One float after `offset` characters. @return true only if read and in [0, 1].
algoMesh_EXPORT bool ReadValidateTransparency(const ReadGuard& guard, const int offset, float& v);

} // namespace Exchange_OBJTools

} // namespace quorin

#endif
