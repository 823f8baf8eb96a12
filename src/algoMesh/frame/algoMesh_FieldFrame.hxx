// A field of one time step of a transient result.
#ifndef algoMesh_FieldFrame_HeaderFile
#define algoMesh_FieldFrame_HeaderFile

#include <algoMesh_Field.hxx>

namespace quorin
{

class algoMesh_EXPORT algoMesh_FieldFrame : public algoMesh_Field
{
  DEFINE_STANDARD_RTTIEXT(algoMesh_FieldFrame, algoMesh_Field)
public:
  //! @param[in] frameIndex  number of the frame in its series
  //! @param[in] time        time value of the frame
  algoMesh_FieldFrame(const TCollection_AsciiString& name,
                      const int                      association,
                      const int                      nbComponents,
                      const Standard_GUID&           owner,
                      const int                      frameIndex,
                      const double                   time)
      : algoMesh_Field(name, association, nbComponents, owner), m_frameIndex(frameIndex),
        m_time(time)
  {
  }

  int    FrameIndex() const { return m_frameIndex; }
  double Time() const { return m_time; }

private:
  int    m_frameIndex;
  double m_time;
};

} // namespace quorin

#endif
