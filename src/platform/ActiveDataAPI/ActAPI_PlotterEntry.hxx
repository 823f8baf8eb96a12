// Value handle through which an algorithm may image intermediate geometry. Every operation
// does nothing without a plotter and forwards its arguments unchanged otherwise.
#ifndef ActAPI_PlotterEntry_HeaderFile
#define ActAPI_PlotterEntry_HeaderFile

#include <ActAPI_IPlotter.hxx>

#include <type_traits>

class ActAPI_EXPORT ActAPI_PlotterEntry
{
public:
  ActAPI_PlotterEntry() = default;
  ActAPI_PlotterEntry(const Handle(ActAPI_IPlotter) & plotter) : m_plotter(plotter) {}

  //! Lets a handle of any plotter class stand where an entry is expected.
  template <class T,
            class = typename std::enable_if<std::is_base_of<ActAPI_IPlotter, T>::value>::type>
  ActAPI_PlotterEntry(const Handle(T) & plotter) : m_plotter(plotter)
  {
  }
  virtual ~ActAPI_PlotterEntry() = default;

  const Handle(ActAPI_IPlotter) & Access() const { return m_plotter; }

  virtual void DrawPoint(const gp_XYZ& point, const TCollection_AsciiString& name) const
  {
    if (!m_plotter.IsNull())
    {
      m_plotter->DrawPoint(point, name);
    }
  }

  virtual void
  DrawLink(const gp_XYZ& start, const gp_XYZ& end, const TCollection_AsciiString& name) const
  {
    if (!m_plotter.IsNull())
    {
      m_plotter->DrawLink(start, end, name);
    }
  }

  virtual void DrawShape(const TopoDS_Shape& shape, const TCollection_AsciiString& name) const
  {
    if (!m_plotter.IsNull())
    {
      m_plotter->DrawShape(shape, name);
    }
  }

  virtual void DrawTriangulation(const Handle(Poly_Triangulation) & mesh,
                                 const TCollection_AsciiString& name) const
  {
    if (!m_plotter.IsNull())
    {
      m_plotter->DrawTriangulation(mesh, name);
    }
  }

  virtual void DrawMessage(const TCollection_AsciiString& text) const
  {
    if (!m_plotter.IsNull())
    {
      m_plotter->DrawMessage(text);
    }
  }

private:
  Handle(ActAPI_IPlotter) m_plotter;
};

#endif
