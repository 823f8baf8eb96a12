// A property whose value lives in another segment of the file and is read on demand: here
// the segment of one level of a triangle-set shape. Load reads the segment through a stream
// shared by all loads of a pass (opened on first use), decodes its element, and keeps it
// until Release.
#ifndef JtProperty_LateLoaded_HeaderFile
#define JtProperty_LateLoaded_HeaderFile

#include <JT_Export.hxx>
#include <JtData_Model.hxx>
#include <JtElement_ShapeLOD_TriStripSet.hxx>

#include <Message_ProgressRange.hxx>

#include <fstream>
#include <memory>

class JtProperty_LateLoaded;
DEFINE_STANDARD_HANDLE(JtProperty_LateLoaded, Standard_Transient)

class JT_EXPORT JtProperty_LateLoaded : public Standard_Transient
{
public:
  JtProperty_LateLoaded(const Handle(JtData_Model) & model,
                        const Jt_GUID& segment,
                        const int      segmentType)
      : myModel(model), mySegment(segment), mySegmentType(segmentType)
  {
  }

  const Jt_GUID& Segment() const { return mySegment; }
  int            SegmentType() const { return mySegmentType; }

  //! Reads and decodes the segment. `stream` is opened on the model's file when it is not
  //! open yet, so that one stream serves many loads; a null stream pointer makes a private
  //! one. @return false on a user break, an unreadable segment or an element that cannot be
  //! decoded; the property then holds no element
  bool Load(const Handle(NCollection_BaseAllocator) & allocator,
            const Message_ProgressRange&          progress,
            const std::shared_ptr<std::ifstream>& stream);

  //! The decoded element, or null before Load and after Release.
  const Handle(JtElement_ShapeLOD_TriStripSet) & Object() const { return myObject; }

  //! Drops the decoded element.
  void Release() { myObject.Nullify(); }

  DEFINE_STANDARD_RTTIEXT(JtProperty_LateLoaded, Standard_Transient)

private:
  Handle(JtData_Model) myModel;
  Jt_GUID mySegment;
  int     mySegmentType;
  Handle(JtElement_ShapeLOD_TriStripSet) myObject;
};

#endif
