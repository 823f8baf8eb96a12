// Checks shared by the file readers, applied before a file's content is trusted: whether a
// path names a readable regular file of bounded size, the UTF-8 byte-order mark some
// editors put before text, and the range of coordinates a mesh may carry.
#ifndef Exchange_InputCheck_HeaderFile
#define Exchange_InputCheck_HeaderFile

#include <algoMesh.hxx>

#include <cstdint>
#include <cstdio>
#include <string>

namespace quorin
{

namespace Exchange_InputCheck
{

//! Largest coordinate magnitude accepted: beyond it a value does not fit the single
//! precision that STL and PLY files store, and bounding boxes and normals overflow.
const double THE_COORDINATE_LIMIT = 3.4028234663852886e38;

//! Size limit of files a mesh file refers to (material libraries, included decks).
const std::uintmax_t THE_REFERENCE_LIMIT = std::uintmax_t(64) << 20;

//! Warnings of one kind a reader tells one by one for a file; past them, one line tells how
//! many more there were (a file of 20,000 bad lines must not print 20,000 lines).
const size_t THE_WARNING_LIMIT = 5;

//! True for a finite value within THE_COORDINATE_LIMIT.
inline bool IsValidCoordinate(const double value)
{
  return value >= -THE_COORDINATE_LIMIT && value <= THE_COORDINATE_LIMIT;
}

//! Outcome of scanning one number of a coordinate.
enum class Number
{
  Valid,     //!< a finite number within THE_COORDINATE_LIMIT (underflow counts as 0)
  Invalid,   //!< NaN, an infinity, or beyond the limit (1e400 included)
  NotANumber //!< no number at all
};

//! Scans the number at `p` (leading blanks and a '+' skipped) and moves `p` past it.
algoMesh_EXPORT Number ScanNumber(const char*& p, const char* end);

//! True when `tail`, the rest of a word after the number a strtod-based reader takes from
//! it, spells an infinity or a NaN as some runtimes print them ("1.#INF", "-1.#IND",
//! "1.#QNAN", "1.#SNAN"): such readers take the 1 and drop the rest.
algoMesh_EXPORT bool IsNonFiniteTail(const char* tail, const char* end);

//! True when the file at `path` holds the byte `c` anywhere (false when it cannot be read).
algoMesh_EXPORT bool FileHoldsByte(const std::string& path, char c);

//! Checks that `path` names a regular file that this process may read and that is at most
//! `maxBytes` long. @return false with the reason in words ("permission denied", "not a
//! regular file", "no such file", "larger than N MB") otherwise.
algoMesh_EXPORT bool
CheckRegularFile(const std::string& path, std::uintmax_t maxBytes, std::string& reason);

//! Length of the UTF-8 byte-order mark at the start of `text` (3), or 0 when there is none.
inline size_t ByteOrderMarkLength(const char* text, const size_t size)
{
  return size >= 3 && static_cast<unsigned char>(text[0]) == 0xEF &&
                 static_cast<unsigned char>(text[1]) == 0xBB &&
                 static_cast<unsigned char>(text[2]) == 0xBF
             ? 3
             : 0;
}

//! Moves a stream positioned at the start of a file past a UTF-8 byte-order mark, or back
//! to the start when there is none. @return true when a mark was skipped.
algoMesh_EXPORT bool SkipByteOrderMark(FILE* file);

//! Copies a file that starts with a UTF-8 byte-order mark, without the mark, into the
//! temporary folder, for readers of the kernel that take only paths.
//! @return the copy's path (the caller removes it), or "" when the file has no mark or
//!         cannot be copied
algoMesh_EXPORT std::string CopyWithoutByteOrderMark(const std::string& path);

} // namespace Exchange_InputCheck

} // namespace quorin

#endif
