// Replaces sub-shapes of a shape by other shapes and rebuilds the shape around them.
//
// Replacements are registered one by one (AskReplace) and performed together (Apply). The
// rebuild walks the shape from its root: a sub-shape that is replaced is swapped for its
// replacement, a sub-shape with a rebuilt descendant is rebuilt as an empty copy of
// itself (same kind, flags and geometry of its own) holding the rebuilt children, and any
// other sub-shape is kept as it stands, shared with the input. A sub-shape met several
// times (an edge of two faces) is rebuilt once, so the result keeps the sharing of the
// input: faces that bounded a common edge still do. Cost: O(number of sub-shape
// occurrences) with hashed look-ups.
#ifndef algoBase_TopoKill_HeaderFile
#define algoBase_TopoKill_HeaderFile

#include <algoBase_Export.hxx>

#include <ActAPI_IAlgorithm.hxx>

#include <TopLoc_Location.hxx>
#include <TopTools_DataMapOfShapeShape.hxx>
#include <TopTools_IndexedMapOfShape.hxx>
#include <TopoDS_Shape.hxx>

class algoBase_EXPORT algoBase_TopoKill : public ActAPI_IAlgorithm
{
  DEFINE_STANDARD_RTTIEXT(algoBase_TopoKill, ActAPI_IAlgorithm)
public:
  //! Works on `shape`, which is never modified. Both entries may be empty.
  algoBase_TopoKill(const TopoDS_Shape&  shape,
                    ActAPI_ProgressEntry progress = ActAPI_ProgressEntry(),
                    ActAPI_PlotterEntry  plotter  = ActAPI_PlotterEntry());

  //! Registers the replacement of every occurrence of `oldShape` (compared by underlying
  //! shape and location) by `newShape`. An occurrence oriented like `oldShape` becomes
  //! `newShape` as given; an occurrence of the opposite orientation becomes it reversed.
  //! Replacing the whole shape makes `newShape` the result.
  //! @return false, registering nothing, when either shape is null, `oldShape` is
  //!         neither the whole shape nor one of its sub-shapes, the two are of different kinds
  //!         (a face is replaced by a face), or `oldShape` already has another
  //!         replacement. Asking for the same replacement twice answers true.
  bool AskReplace(const TopoDS_Shape& oldShape, const TopoDS_Shape& newShape);

  //! Performs all registered replacements and keeps the rebuilt shape (GetResult). With
  //! no replacement registered the result is the shape itself.
  //! @return false when the shape is null.
  bool Apply();

  //! Whether Apply succeeded since construction.
  bool IsDone() const { return m_isDone; }

  //! The rebuilt shape; null before a successful Apply.
  const TopoDS_Shape& GetResult() const { return m_result; }

  //! Number of registered replacements.
  int NbReplacements() const { return m_replacements.Extent(); }

protected:
  //! The rebuilt form of `occurrence`, a sub-shape placed and oriented as in the whole
  //! shape; the occurrence itself when nothing below it changed.
  TopoDS_Shape rebuild(const TopoDS_Shape& occurrence);

  //! `occurrence` rebuilt as an empty copy holding its rebuilt children, forward
  //! oriented; the occurrence itself (forward) when none changed.
  TopoDS_Shape rebuildChildren(const TopoDS_Shape& occurrence);

private:
  TopoDS_Shape                 m_shape;
  TopTools_IndexedMapOfShape   m_subShapes;    //!< every sub-shape, for AskReplace
  TopTools_DataMapOfShapeShape m_replacements; //!< old (forward) -> new, as registered
  TopTools_DataMapOfShapeShape m_rebuilt;      //!< forward occurrence -> forward result
  TopoDS_Shape                 m_result;
  bool                         m_isDone = false;
};

DEFINE_STANDARD_HANDLE(algoBase_TopoKill, ActAPI_IAlgorithm)

#endif
