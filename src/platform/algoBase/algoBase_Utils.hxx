// Small geometric helpers shared by the algorithms.
#ifndef algoBase_Utils_HeaderFile
#define algoBase_Utils_HeaderFile

#include <algoBase_Export.hxx>

#include <Bnd_Box.hxx>
#include <Poly_Triangulation.hxx>
#include <TopLoc_Location.hxx>
#include <TopoDS_Shape.hxx>

class algoBase_EXPORT algoBase_Utils
{
public:
  //! Adds the nodes of a triangulation, placed by a location, to a box.
  //! @return false for a null or node-less triangulation (the box is then unchanged)
  static bool Bounds(const Handle(Poly_Triangulation)& mesh,
                     const TopLoc_Location&            location,
                     Bnd_Box&                          box);

  //! Adds the bounding box of a shape to a box.
  //! @param[in] useTriangulation  use the faces' triangulations where they exist
  //! @param[in] isOptimal         compute a tight box from the geometry (slower) instead
  //!                              of the control-point box of each surface
  //! @return false for a null shape or when the box stays void
  static bool Bounds(const TopoDS_Shape& shape,
                     const bool          useTriangulation,
                     const bool          isOptimal,
                     Bnd_Box&            box);
};

#endif
