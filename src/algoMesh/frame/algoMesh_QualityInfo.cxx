#include <algoMesh_QualityInfo.hxx>

#include <algoMesh_QualityMetric.hxx>

using namespace quorin;

IMPLEMENT_STANDARD_RTTIEXT(quorin::algoMesh_QualityInfo, Standard_Transient)

void algoMesh_QualityInfo::SetMetric(const int                        elementId,
                                     const algoMesh_QualityMetricType type,
                                     const double                     value,
                                     const Standard_GUID&             owner)
{
  if (Handle(algoMesh_Field)* field = m_fields.ChangeSeek(type))
  {
    (*field)->SetValue(elementId, value);
    return;
  }
  const TCollection_AsciiString name = MetricName(type);
  if (name.IsEmpty())
  {
    if (!m_notifier.IsNull())
    {
      ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Error);
      message << "Unresolved metric type. Cannot set metric for element.";
      m_notifier->Notify(message);
    }
    return;
  }
  Handle(algoMesh_Field) field =
      new algoMesh_Field(name, algoMesh_Field::Association_Element, 1, owner);
  if (m_nbElementsHint > 0)
  {
    field->Reserve(m_nbElementsHint);
  }
  m_fields.Bind(type, field);
  field->SetValue(elementId, value);
}

Handle(algoMesh_Field) algoMesh_QualityInfo::Field(const algoMesh_QualityMetricType type) const
{
  const Handle(algoMesh_Field)* field = m_fields.Seek(type);
  return field != nullptr ? *field : Handle(algoMesh_Field)();
}
