// A linear pre-scan of STEP text that bounds the time the kernel's STEP parser will take.
// That parser is quadratic in two places: its scanner re-reads a token from its start
// whenever it needs more input, so a value of L characters costs about L^2 steps, and each
// parameter list is extended by walking it to its end (and its references checked against
// all earlier ones), so a list of n items costs about n^2 steps. A one-megabyte file made
// of one long list or of long strings would keep the parser busy for minutes. The scan
// estimates that work in one pass over the file and refuses a file whose estimate exceeds
// a budget proportional to its size; real files, whose lists are small beside the whole
// file, stay far below it. The same pass checks the text against the record grammar and
// refuses any departure: parentheses that do not pair up, a value where a comma belongs, a
// malformed value, a control character, a string or comment still open at the end of the
// file. The parser recovers from such text with records that it later reads without
// setting them, which ran for minutes on a reused heap.
#ifndef Exchange_STEPScan_HeaderFile
#define Exchange_STEPScan_HeaderFile

#include <algoMesh.hxx>

#include <cstdint>
#include <string>

namespace quorin
{

namespace Exchange_STEPScan
{

//! Estimated parser work, in steps of about a nanosecond: the squared length of every
//! value, weighted by THE_VALUE_WEIGHT, plus the squared weighted item count of every
//! list.
const double THE_VALUE_WEIGHT = 6.0;

//! Parser steps allowed for any file, and per byte of the file: about one second plus three
//! seconds per megabyte. A faceted model of 30,000 triangles in one shell written as
//! compactly as STEP allows (a list of 30,000 references in a file of 3.2 MB) stays within
//! it.
const double THE_BASE_BUDGET     = 1e9;
const double THE_BUDGET_PER_BYTE = 3e3;

//! Scans the STEP file at `path` and estimates the parser's work.
//! @param[out] reason  when the estimate exceeds the budget: the largest list or value, in
//!                     words, with its line ("a list of 300000 items on line 7"); or the
//!                     reason the file cannot be read
//! @return false when the file cannot be read, its estimate exceeds the budget or its
//!         text departs from the record grammar
algoMesh_EXPORT bool CheckParseCost(const std::string& path, std::string& reason);

} // namespace Exchange_STEPScan

} // namespace quorin

#endif
