// A named set of numeric tuples attached to the elements or the nodes of a mesh: the
// quality of each triangle, a quantity read from a solver's result file, an array of a
// VTK data set.
//
// Tuples are kept in one flat array in order of first storage. While IDs arrive in
// increasing order, as they do from every producer that walks a mesh, they are stored as
// runs of consecutive numbers (first ID and first tuple of each run): a field over all
// triangles of a mesh is one run, and a million scalar values cost 8 MB; a few skipped
// elements cost one run each, and an ID is found by a binary search over the runs. The
// first ID that arrives below an earlier one turns the field into its general form: the
// IDs beside the tuples, found through a direct table for compact non-negative IDs and a
// hash map for any other ID (16 bytes per scalar value). The ID-to-tuple map of the record
// is built from the arrays only on request.
#ifndef algoMesh_Field_HeaderFile
#define algoMesh_Field_HeaderFile

#include <algoMesh.hxx>
#include <algoMesh_MemoryAdvice.hxx>

#include <NCollection_DataMap.hxx>
#include <Standard_GUID.hxx>
#include <Standard_Transient.hxx>
#include <TCollection_AsciiString.hxx>

#include <mutex>
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

  //! Makes room for this many tuples so that storing them does not reallocate.
  void Reserve(const int nbTuples);

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

  //! All tuples by ID; the iteration order carries no meaning. The map is built on the
  //! first call after a store (O(number of tuples)); prefer NbTuples(), TupleId() and
  //! TupleAt() to walk a large field. Safe to call from several threads at once.
  const ValueMap& Values() const;

  //! The NbComponents() values of one ID, or nullptr when the ID has none. The pointer
  //! stays valid until the next store.
  const double* Value(const int id) const;

  //! Number of IDs holding a tuple.
  int NbTuples() const { return m_nbTuples; }

  //! ID of the k-th tuple (0-based, in order of first storage).
  int TupleId(const int k) const;

  //! Values of the k-th tuple (0-based, in order of first storage).
  const double* TupleAt(const int k) const { return m_data.data() + size_t(k) * m_nbComponents; }

private:
  //! Slot of an ID's tuple, or -1.
  int slotOf(const int id) const;

  //! Registers a new ID at the next slot; the caller appends its values.
  int newSlot(const int id);

  //! Leaves the run form: lists every ID and indexes it by its slot.
  void makeGeneral();

  //! Enters an ID of the general form into the slot index.
  void indexSlot(const int id, const int slot);

  //! A run of consecutive IDs stored in consecutive slots.
  struct Run
  {
    int FirstId;
    int FirstSlot;
  };

private:
  TCollection_AsciiString m_name;
  //! Arrays of a field over a big mesh take megabytes each, written once.
  template <typename T> using LargeArray = std::vector<T, algoMesh_LargeAllocator<T>>;
  LargeArray<double>            m_data; //!< tuples, NbComponents() values each
  int                           m_nbTuples = 0;
  bool                          m_isRuns   = true; //!< IDs kept as runs (increasing order)
  std::vector<Run>              m_runs;            //!< run form: the runs in slot order
  LargeArray<int>               m_ids;             //!< general form: ID of each tuple
  LargeArray<int>               m_denseSlot;       //!< general form: slot by compact ID, -1 if none
  NCollection_DataMap<int, int> m_sparseSlot;      //!< general form: slot by any other ID
  mutable ValueMap              m_valueMap;        //!< map view, built on request
  mutable bool                  m_isMapValid = true;
  mutable std::mutex            m_mapMutex;
  int                           m_nbComponents;
  double                        m_rangeMin;
  double                        m_rangeMax;
  int                           m_association;
  bool                          m_reserved;
  bool                          m_hasValues;
  Standard_GUID                 m_ownerID;
};

} // namespace quorin

#endif
