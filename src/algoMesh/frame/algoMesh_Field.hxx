// A named set of numeric tuples attached to the elements or the nodes of a mesh: the
// quality of each triangle, a quantity read from a solver's result file, an array of a
// VTK data set.
#ifndef algoMesh_Field_HeaderFile
#define algoMesh_Field_HeaderFile

#include <algoMesh.hxx>

#include <NCollection_DataMap.hxx>
#include <Standard_GUID.hxx>
#include <Standard_Transient.hxx>
#include <TCollection_AsciiString.hxx>

#include <vector>

namespace quorin
{

class algoMesh_EXPORT algoMesh_Field : public Standard_Transient
{
  DEFINE_STANDARD_RTTIEXT(algoMesh_Field, Standard_Transient)
public:
  typedef NCollection_DataMap<int, std::vector<double>> ValueMap;

  //! Association of the tuples.
  enum
  {
    Association_Node    = 0,
    Association_Element = 1
  };

public:
  //! Empty field with range [-2e100, 2e100].
  //! @param[in] name          display name
  //! @param[in] association   1 for elements (cells, triangles), 0 for nodes (points)
  //! @param[in] nbComponents  values per tuple (1 scalar, 3 vector, ...)
  //! @param[in] owner         identifies the data the field is attached to
  algoMesh_Field(const TCollection_AsciiString& name,
                 const int                      association,
                 const int                      nbComponents,
                 const Standard_GUID&           owner);

  //! Sizes the value map for this many tuples so that storing them does not rehash.
  void Reserve(const int nbTuples) { m_values.ReSize(nbTuples); }

  //! Stores the tuple {value} for an ID, replacing an earlier one.
  //! @return false, storing nothing, when the field does not have exactly one component
  bool SetValue(const int id, const double value);

  //! Stores a copy of the tuple for an ID, replacing an earlier one.
  //! @return false, storing nothing, when the tuple's size differs from NbComponents()
  bool SetValues(const int id, const std::vector<double>& tuple);

  //! Stores the first NbComponents() values read from the pointer.
  //! @return false, storing nothing, for a null pointer or a field without components
  bool SetValues(const int id, const double* tuple);

  const TCollection_AsciiString& Name() const { return m_name; }
  int                            Association() const { return m_association; }
  int                            NbComponents() const { return m_nbComponents; }
  double                         RangeMin() const { return m_rangeMin; }
  double                         RangeMax() const { return m_rangeMax; }
  bool                           IsReserved() const { return m_reserved; }
  bool                           HasValues() const { return m_hasValues; }
  const Standard_GUID&           OwnerID() const { return m_ownerID; }

  //! All tuples by ID; the iteration order carries no meaning.
  const ValueMap& Values() const { return m_values; }

  //! The tuple of one ID, or nullptr when the ID has none.
  const std::vector<double>* Value(const int id) const { return m_values.Seek(id); }

private:
  TCollection_AsciiString m_name;
  ValueMap                m_values;
  int                     m_nbComponents;
  double                  m_rangeMin;
  double                  m_rangeMax;
  int                     m_association;
  bool                    m_reserved;
  bool                    m_hasValues;
  Standard_GUID           m_ownerID;
};

} // namespace quorin

#endif
