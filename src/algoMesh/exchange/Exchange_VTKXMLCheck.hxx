// Validation of VTK XML files for the reader: the file text before VTK parses it, and the
// parsed points and cells before any cell is walked. VTK's XML readers allocate what a file
// declares and trust the cell arrays they decode, so what a damaged or hostile file says
// must be bounded by what it can hold.
#ifndef Exchange_VTKXMLCheck_HeaderFile
#define Exchange_VTKXMLCheck_HeaderFile

#include <algoMesh.hxx>

#include <vtkType.h>

#include <string>

class vtkCellArray;
class vtkPointSet;

namespace quorin
{

class algoMesh_EXPORT Exchange_VTKXMLCheck
{
public:
  //! Checks the text of a whole file: lengths of numeric tokens, the counts its XML
  //! attributes declare (bounded by the file's size), the types of its data arrays and the
  //! headers of its base64 binary blocks.
  //! @return false with the reason, one English sentence, in `reason`
  static bool CheckText(const std::string& text, std::string& reason);

  //! True when every point id of the cell array lies in [0, nbPoints) and its offsets are
  //! consistent; a null or empty array is valid.
  static bool IsValidCellArray(vtkCellArray* cells, const vtkIdType nbPoints);

  //! Index of the first point with a coordinate that is not finite or beyond single
  //! precision, or -1.
  static vtkIdType FirstInvalidPoint(vtkPointSet* dataSet);

  //! Sums the point and cell counts the Piece elements of a file declare (for poly data,
  //! its verts, lines, strips and polys); -1 for a count no piece declares.
  static void DeclaredCounts(const std::string& text, long long& nbPoints, long long& nbCells);
};

} // namespace quorin

#endif
