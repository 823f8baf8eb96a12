// The fields produced by one run of the mesh checker, at most one per quality metric.
#ifndef algoMesh_QualityInfo_HeaderFile
#define algoMesh_QualityInfo_HeaderFile

#include <algoMesh_Field.hxx>
#include <algoMesh_QualityMetricType.hxx>

#include <ActAPI_IProgressNotifier.hxx>

namespace quorin
{

class algoMesh_EXPORT algoMesh_QualityInfo : public Standard_Transient
{
  DEFINE_STANDARD_RTTIEXT(algoMesh_QualityInfo, Standard_Transient)
public:
  typedef NCollection_DataMap<algoMesh_QualityMetricType, Handle(algoMesh_Field)> FieldMap;

public:
  //! @param[in] notifier  receives the error of an unresolved metric type; may be null
  explicit algoMesh_QualityInfo(const Handle(ActAPI_IProgressNotifier) & notifier)
      : m_notifier(notifier)
  {
  }

  //! Stores the value of one element for a metric, creating the metric's field (named
  //! after the metric, per element, one component, owned by `owner`) on first use. A type
  //! outside 0..10 stores nothing and sends "Unresolved metric type. Cannot set metric
  //! for element." as an error.
  void SetMetric(const int                        elementId,
                 const algoMesh_QualityMetricType type,
                 const double                     value,
                 const Standard_GUID&             owner);

  //! Sizes the value maps of the fields created from now on for this many elements, so
  //! that filling them does not rehash. A hint only: fields still grow beyond it.
  void ReserveElements(const int nbElements) { m_nbElementsHint = nbElements; }

  //! All fields by metric type.
  const FieldMap& Fields() const { return m_fields; }

  //! The field of one metric, or a null handle when no element produced a value for it.
  Handle(algoMesh_Field) Field(const algoMesh_QualityMetricType type) const;

private:
  FieldMap m_fields;
  Handle(ActAPI_IProgressNotifier) m_notifier;
  int m_nbElementsHint = 0;
};

} // namespace quorin

#endif
