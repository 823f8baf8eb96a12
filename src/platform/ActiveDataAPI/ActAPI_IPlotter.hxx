// Receiver of intermediate geometry that an algorithm may image for debugging.
#ifndef ActAPI_IPlotter_HeaderFile
#define ActAPI_IPlotter_HeaderFile

#include <ActAPI_Export.hxx>

#include <Poly_Triangulation.hxx>
#include <Standard_Transient.hxx>
#include <TCollection_AsciiString.hxx>
#include <TopoDS_Shape.hxx>
#include <gp_XYZ.hxx>

class ActAPI_EXPORT ActAPI_IPlotter : public Standard_Transient
{
  DEFINE_STANDARD_RTTIEXT(ActAPI_IPlotter, Standard_Transient)
public:
  virtual void DrawPoint(const gp_XYZ& point, const TCollection_AsciiString& name) = 0;
  virtual void
  DrawLink(const gp_XYZ& start, const gp_XYZ& end, const TCollection_AsciiString& name)  = 0;
  virtual void DrawShape(const TopoDS_Shape& shape, const TCollection_AsciiString& name) = 0;
  virtual void DrawTriangulation(const Handle(Poly_Triangulation) & mesh,
                                 const TCollection_AsciiString& name)                    = 0;
  virtual void DrawMessage(const TCollection_AsciiString& text)                          = 0;
};

#endif
