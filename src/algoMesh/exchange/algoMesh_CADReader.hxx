// Reading of B-rep files (STEP, and the kernel's own BREP text format) into a shape, with
// the kernel's translators guarded: the declared counts of a BREP file are checked against
// the file's size before the kernel reads it (it would otherwise loop over billions of
// missing entries), a UTF-8 byte-order mark is skipped, and a translator that throws or
// faults ends as a failed read with one sentence through the progress entry. STEP B-splines
// whose knot spans differ wildly are refused before translation: the kernel's shape repair
// would take hours over them.
// Cost: one pass over a BREP file on top of the kernel's own reading.
#ifndef algoMesh_CADReader_HeaderFile
#define algoMesh_CADReader_HeaderFile

#include <algoMesh.hxx>

#include <ActAPI_ProgressEntry.hxx>

#include <TopoDS_Shape.hxx>

#include <string>

namespace quorin
{

class algoMesh_EXPORT algoMesh_CADReader
{
public:
  //! Reads a STEP file and transfers all its roots into one shape.
  //! @param[in]  path      the file
  //! @param[out] shape     the shape (a compound for several roots); null on failure
  //! @param[in]  progress  progress and cancellation of the transfer; the reason of a
  //!                       failure is sent to it as an error message
  //! @return false when the file cannot be read, is not STEP, the translator failed or
  //!         the user cancelled
  static bool ReadSTEP(const std::string& path, TopoDS_Shape& shape, ActAPI_ProgressEntry progress);

  //! Reads a BREP file (the kernel's text format) into a shape.
  //! @return false when the file cannot be read, declares more items than it can hold,
  //!         holds a number that is not finite, the kernel reader failed or the user
  //!         cancelled; the reason goes to `progress`
  static bool ReadBRep(const std::string& path, TopoDS_Shape& shape, ActAPI_ProgressEntry progress);

  //! Checks the section counts of BREP text ("Curves 12", "TShapes 40", ...) against what
  //! the text after each can hold (at least two characters an item).
  //! @return false with the reason, naming the line, in `reason`
  static bool CheckBRepCounts(const std::string& text, std::string& reason);
};

} // namespace quorin

#endif
