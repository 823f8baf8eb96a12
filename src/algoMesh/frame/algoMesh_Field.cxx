#include <algoMesh_Field.hxx>

#include <Precision.hxx>

using namespace quorin;

IMPLEMENT_STANDARD_RTTIEXT(quorin::algoMesh_Field, Standard_Transient)

algoMesh_Field::algoMesh_Field(const TCollection_AsciiString& name,
                               const int                      association,
                               const int                      nbComponents,
                               const Standard_GUID&           owner)
    : m_name(name), m_nbComponents(nbComponents), m_rangeMin(-Precision::Infinite()),
      m_rangeMax(Precision::Infinite()), m_association(association), m_reserved(false),
      m_hasValues(false), m_ownerID(owner)
{
}

bool algoMesh_Field::SetValue(const int id, const double value)
{
  if (m_nbComponents != 1)
  {
    return false;
  }
  // One hash lookup that binds an empty tuple or finds the old one, then one allocation
  // for the value (or none when the old tuple's storage is reused).
  m_values.Bound(id, std::vector<double>())->assign(1, value);
  m_hasValues = true;
  return true;
}

bool algoMesh_Field::SetValues(const int id, const std::vector<double>& tuple)
{
  if (static_cast<int>(tuple.size()) != m_nbComponents)
  {
    return false;
  }
  return SetValues(id, tuple.data());
}

bool algoMesh_Field::SetValues(const int id, const double* tuple)
{
  if (tuple == nullptr || m_nbComponents < 1)
  {
    return false;
  }
  std::vector<double> copy(tuple, tuple + m_nbComponents);
  if (std::vector<double>* stored = m_values.ChangeSeek(id))
  {
    stored->swap(copy);
  }
  else
  {
    m_values.Bind(id, std::move(copy));
  }
  m_hasValues = true;
  return true;
}
