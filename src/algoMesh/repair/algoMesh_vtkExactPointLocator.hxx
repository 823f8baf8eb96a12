// Point insertion that merges exactly equal points, for vtkCleanPolyData at zero tolerance.
#ifndef algoMesh_vtkExactPointLocator_HeaderFile
#define algoMesh_vtkExactPointLocator_HeaderFile

#include <algoMesh.hxx>

#include <vtkIncrementalPointLocator.h>

#include <cstdint>
#include <vector>

class vtkIdList;
class vtkPoints;

//! An incremental point locator that merges only points with exactly equal coordinates (as
//! stored in the point array, so a float array compares the coordinates rounded to float),
//! numbering the distinct points in order of first insertion. That is what the octree and
//! the uniform-grid locators answer at zero tolerance, found here through a hash table of
//! the coordinates' bits: O(1) expected per insertion, whatever the size and the spread of
//! the points, where a tree costs a descent and a bucket grid a scan of a bucket whose
//! population grows with the mesh on a surface.
//!
//! Only insertion is supported: the queries for the nearest points of a search locator
//! report an error and find nothing. Zero is the only tolerance; another one is refused at
//! InitPointInsertion.
class algoMesh_EXPORT algoMesh_vtkExactPointLocator : public vtkIncrementalPointLocator
{
public:
  static algoMesh_vtkExactPointLocator* New();
  vtkTypeMacro(algoMesh_vtkExactPointLocator, vtkIncrementalPointLocator);

  //! Starts inserting into `newPts` (its present points are indexed too); 0 with an error
  //! for a tolerance other than zero or a point type other than float and double.
  int InitPointInsertion(vtkPoints* newPts, const double bounds[6]) override;
  int InitPointInsertion(vtkPoints* newPts, const double bounds[6], vtkIdType estSize) override;

  //! Index of the point with exactly these coordinates, or -1.
  vtkIdType IsInsertedPoint(const double x[3]) override;
  vtkIdType IsInsertedPoint(double x, double y, double z) override;

  //! 1 and the new index when the point is new, 0 and the existing index otherwise.
  int InsertUniquePoint(const double x[3], vtkIdType& ptId) override;

  //! Inserts without looking for an equal point (an equal point inserted later is then
  //! merged with the earlier of the two).
  void      InsertPoint(vtkIdType ptId, const double x[3]) override;
  vtkIdType InsertNextPoint(const double x[3]) override;

  //! The same as IsInsertedPoint: only exact matches are known.
  vtkIdType FindClosestInsertedPoint(const double x[3]) override;

  //! Search queries are not supported (an error, no point).
  vtkIdType FindClosestPoint(const double x[3]) override;
  vtkIdType FindClosestPointWithinRadius(double radius, const double x[3], double& dist2) override;
  void      FindClosestNPoints(int N, const double x[3], vtkIdList* result) override;
  void      FindPointsWithinRadius(double R, const double x[3], vtkIdList* result) override;

  //! The table is built by the insertions; nothing to build or draw.
  void BuildLocator() override {}
  void FreeSearchStructure() override;
  void GenerateRepresentation(int, vtkPolyData*) override {}

protected:
  algoMesh_vtkExactPointLocator();
  ~algoMesh_vtkExactPointLocator() override;

  //! Slot of the point equal to `x` (cast to the array's type), or of the empty slot where
  //! it would go.
  size_t slotOf(const double x[3]) const;

  //! Records point `id`, stored in the array, in the table (growing it when half full).
  void index(vtkIdType id);

  //! Sizes the table to `nbSlots` (a power of two) and records the points again.
  void rehash(size_t nbSlots);

  //! Stores point `id` in its slot unless an equal point is stored already.
  void record(vtkIdType id);

private:
  algoMesh_vtkExactPointLocator(const algoMesh_vtkExactPointLocator&) = delete;
  void operator=(const algoMesh_vtkExactPointLocator&)                = delete;

  vtkPoints*            m_points; //!< the array inserted into, not owned
  std::vector<uint32_t> m_slots;  //!< point index + 1, 0 for an empty slot
  size_t                m_nbIndexed;
};

#endif
