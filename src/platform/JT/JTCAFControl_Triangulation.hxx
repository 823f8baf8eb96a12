// Placeholder triangulation left on each face by the JT document reader: it holds no
// triangles itself, only the levels of detail of its shape, each a list of late-loaded
// properties that read the level's geometry from the file when asked.
#ifndef JTCAFControl_Triangulation_HeaderFile
#define JTCAFControl_Triangulation_HeaderFile

#include <JT_Export.hxx>
#include <JtProperty_LateLoaded.hxx>

#include <NCollection_Array1.hxx>
#include <NCollection_Vector.hxx>
#include <Poly_Triangulation.hxx>

class JTCAFControl_Triangulation;
DEFINE_STANDARD_HANDLE(JTCAFControl_Triangulation, Poly_Triangulation)

class JT_EXPORT JTCAFControl_Triangulation : public Poly_Triangulation
{
public:
  //! One level of detail of the shape: the properties that hold its geometry (normally one).
  class Level : public Standard_Transient
  {
  public:
    NCollection_Vector<Handle(JtProperty_LateLoaded)> LateLoaded;

    DEFINE_STANDARD_RTTI_INLINE(Level, Standard_Transient)
  };

  typedef NCollection_Array1<opencascade::handle<Level>> ArrayOfLevels;

  //! An empty placeholder with levels 0 .. nbLevels - 1, all null (nbLevels >= 1).
  explicit JTCAFControl_Triangulation(const int nbLevels) : myLevels(0, nbLevels - 1) {}

  const ArrayOfLevels& Levels() const { return myLevels; }
  ArrayOfLevels&       ChangeLevels() { return myLevels; }

  DEFINE_STANDARD_RTTIEXT(JTCAFControl_Triangulation, Poly_Triangulation)

private:
  ArrayOfLevels myLevels;
};

#endif
