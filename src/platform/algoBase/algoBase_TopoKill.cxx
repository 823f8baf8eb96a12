// Replacement of sub-shapes with a rebuild of every shape above them (see the header for
// the method and its cost).
#include <algoBase_TopoKill.hxx>

#include <TopExp.hxx>
#include <TopoDS_Builder.hxx>
#include <TopoDS_Iterator.hxx>

IMPLEMENT_STANDARD_RTTIEXT(algoBase_TopoKill, ActAPI_IAlgorithm)

namespace
{

//! `shape` given the orientation of an occurrence whose forward form it replaces.
TopoDS_Shape orientedLike(const TopoDS_Shape& shape, const TopAbs_Orientation orientation)
{
  switch (orientation)
  {
  case TopAbs_FORWARD:
    return shape;
  case TopAbs_REVERSED:
    return shape.Reversed();
  default:
    return shape.Oriented(orientation);
  }
}

} // namespace

algoBase_TopoKill::algoBase_TopoKill(const TopoDS_Shape&  shape,
                                     ActAPI_ProgressEntry progress,
                                     ActAPI_PlotterEntry  plotter)
    : ActAPI_IAlgorithm(progress, plotter), m_shape(shape)
{
  if (!m_shape.IsNull())
  {
    TopExp::MapShapes(m_shape, m_subShapes);
  }
}

bool algoBase_TopoKill::AskReplace(const TopoDS_Shape& oldShape, const TopoDS_Shape& newShape)
{
  if (oldShape.IsNull() || newShape.IsNull() || !m_subShapes.Contains(oldShape) ||
      oldShape.ShapeType() != newShape.ShapeType())
  {
    return false;
  }
  // Stored for the forward occurrence, so that any occurrence finds it by its own
  // orientation.
  const TopoDS_Shape key = oldShape.Oriented(TopAbs_FORWARD);
  const TopoDS_Shape replacement =
      oldShape.Orientation() == TopAbs_REVERSED ? newShape.Reversed() : newShape;
  if (const TopoDS_Shape* registered = m_replacements.Seek(key))
  {
    return registered->IsEqual(replacement);
  }
  m_replacements.Bind(key, replacement);
  return true;
}

bool algoBase_TopoKill::Apply()
{
  if (m_shape.IsNull())
  {
    return false;
  }
  m_rebuilt.Clear();
  m_result = rebuild(m_shape);
  m_rebuilt.Clear();
  m_isDone = true;
  return true;
}

TopoDS_Shape algoBase_TopoKill::rebuild(const TopoDS_Shape& occurrence)
{
  const TopoDS_Shape forward = occurrence.Oriented(TopAbs_FORWARD);
  if (const TopoDS_Shape* replacement = m_replacements.Seek(forward))
  {
    return orientedLike(*replacement, occurrence.Orientation());
  }
  const TopoDS_Shape base = rebuildChildren(forward);
  return base.IsSame(forward) ? occurrence : base.Oriented(occurrence.Orientation());
}

TopoDS_Shape algoBase_TopoKill::rebuildChildren(const TopoDS_Shape& forward)
{
  if (const TopoDS_Shape* done = m_rebuilt.Seek(forward))
  {
    return *done;
  }
  // Children come placed and oriented as in the whole shape (the iterator composes the
  // parent's location; the parent is forward, so orientations are the children's own).
  TopoDS_ListOfShape children;
  bool               isChanged = false;
  for (TopoDS_Iterator it(forward); it.More(); it.Next())
  {
    const TopoDS_Shape child = rebuild(it.Value());
    isChanged                = isChanged || !child.IsEqual(it.Value());
    children.Append(child);
  }
  TopoDS_Shape result = forward;
  if (isChanged)
  {
    // The empty copy keeps the kind, location and geometry of the shape; the builder
    // turns each absolute child back into one relative to the copy's location.
    result = forward.EmptyCopied();
    TopoDS_Builder builder;
    for (TopoDS_ListOfShape::Iterator it(children); it.More(); it.Next())
    {
      builder.Add(result, it.Value());
    }
    result.Closed(forward.Closed());
    result.Orientable(forward.Orientable());
    result.Convex(forward.Convex());
  }
  m_rebuilt.Bind(forward, result);
  return result;
}
