// VTK filter simplifying a triangle mesh by edge collapse in the order of least quadric error.
#ifndef algoMesh_vtkQuadricDecimation_HeaderFile
#define algoMesh_vtkQuadricDecimation_HeaderFile

#include <algoMesh.hxx>

#include <algoMesh_DecimationMesh.hxx>
#include <algoMesh_EdgeCostQueue.hxx>
#include <algoMesh_EdgeTable.hxx>
#include <algoMesh_MemoryAdvice.hxx>

#include <Standard_Integer.hxx>

#include <vtkPolyDataAlgorithm.h>

#include <cmath>
#include <cstdint>
#include <vector>

class vtkDataArray;
class vtkIdList;

//! Simplifies a triangle mesh by repeated edge collapse, cheapest edge first, where the cost
//! of an edge is the quadric error of its best placement (Garland and Heckbert, "Surface
//! Simplification Using Quadric Error Metrics", SIGGRAPH 1997). Optionally point attributes
//! take part in the cost (Hoppe, "New Quadric Metric for Simplifying Meshes with Appearance
//! Attributes", 1999) and a volume-preservation constraint keeps the enclosed volume.
//!
//! The filter consumes its input: the input poly data's points are moved, its triangles
//! deleted or rewired, and its cells and links built on it; the surviving cells are then
//! copied to the output with points renumbered compactly. Hand it a poly data that may be
//! consumed (the output of an upstream filter such as vtkCleanPolyData).
//!
//! The run works on the input's points rounded to single precision, and stores each new point
//! so rounded: a single- and a double-precision input give the same mesh. In every collapse
//! the first end of the edge survives, in the order of its first appearance (the corner order
//! of the first triangle that has it; an edge moved to a survivor gets (other end, survivor)).
//! Boundary edges are pinned by quadrics of planes perpendicular to their triangle; a collapse
//! that would fold a triangle over is postponed (its cost set to 1e299, which ends the run
//! when only such edges are left). Only triangle cells take part; other cells of the input
//! are carried along.
//!
//! Cost: O(n log n) for n triangles (a binary heap of edge costs, a hash map of edges, and
//! point-to-cell links so that a collapse touches only the neighbourhood of its edge).
//! Memory: about 250 bytes per triangle besides the poly data itself.
class algoMesh_EXPORT algoMesh_vtkQuadricDecimation : public vtkPolyDataAlgorithm
{
public:
  //! Key of an edge: two point ids, the smaller first. It is also the hasher of the edge map.
  struct Edge
  {
    int32_t First  = 0;
    int32_t Second = 0;

    Edge() = default;
    //! Orders the two ids so that the smaller comes first.
    Edge(const vtkIdType a, const vtkIdType b)
        : First(static_cast<int32_t>(a < b ? a : b)), Second(static_cast<int32_t>(a < b ? b : a))
    {
    }

    //! Bucket of `edge` in a table of `upperBound` buckets, in [1, upperBound].
    static Standard_Integer HashCode(const Edge& edge, const Standard_Integer upperBound);

    static Standard_Boolean IsEqual(const Edge& a, const Edge& b)
    {
      return a.First == b.First && a.Second == b.Second;
    }
  };

  static algoMesh_vtkQuadricDecimation* New();
  vtkTypeMacro(algoMesh_vtkQuadricDecimation, vtkPolyDataAlgorithm);
  void PrintSelf(ostream& os, vtkIndent indent) override;

  //! Wanted fraction of triangles to remove, clamped to [0, 1]; default 0.9. The run stops
  //! as soon as the fraction removed reaches it, or earlier when no edge can be collapsed
  //! without folding a triangle.
  vtkSetClampMacro(TargetReduction, double, 0.0, 1.0);
  vtkGetMacro(TargetReduction, double);

  //! When on, the point attributes selected below take part in the cost and are
  //! interpolated at the new points; default off.
  vtkSetMacro(AttributeErrorMetric, int);
  vtkGetMacro(AttributeErrorMetric, int);
  vtkBooleanMacro(AttributeErrorMetric, int);

  //! When on, collapses keep the enclosed volume (needs the attribute error metric on to take
  //! effect); default off.
  vtkSetMacro(VolumePreservation, int);
  vtkGetMacro(VolumePreservation, int);
  vtkBooleanMacro(VolumePreservation, int);

  //! Attributes used by the attribute error metric; all on by default.
  vtkSetMacro(ScalarsAttribute, int);
  vtkGetMacro(ScalarsAttribute, int);
  vtkBooleanMacro(ScalarsAttribute, int);
  vtkSetMacro(VectorsAttribute, int);
  vtkGetMacro(VectorsAttribute, int);
  vtkBooleanMacro(VectorsAttribute, int);
  vtkSetMacro(NormalsAttribute, int);
  vtkGetMacro(NormalsAttribute, int);
  vtkBooleanMacro(NormalsAttribute, int);
  vtkSetMacro(TCoordsAttribute, int);
  vtkGetMacro(TCoordsAttribute, int);
  vtkBooleanMacro(TCoordsAttribute, int);
  vtkSetMacro(TensorsAttribute, int);
  vtkGetMacro(TensorsAttribute, int);
  vtkBooleanMacro(TensorsAttribute, int);

  //! Weights of the attributes against geometry (default 0.1 each, not clamped). An
  //! attribute's values are divided by their largest component range, then multiplied by the
  //! weight; normals are multiplied by half the weight.
  vtkSetMacro(ScalarsWeight, double);
  vtkSetMacro(VectorsWeight, double);
  vtkSetMacro(NormalsWeight, double);
  vtkSetMacro(TCoordsWeight, double);
  vtkSetMacro(TensorsWeight, double);
  vtkGetMacro(ScalarsWeight, double);
  vtkGetMacro(VectorsWeight, double);
  vtkGetMacro(NormalsWeight, double);
  vtkGetMacro(TCoordsWeight, double);
  vtkGetMacro(TensorsWeight, double);

  //! Triangles removed by the last run divided by the triangles of its input (0 before).
  vtkGetMacro(ActualReduction, double);

  //! One collapse of a run: `Removed` merged into `Survivor`, which moved to `Position`.
  struct Collapse
  {
    int32_t Survivor;
    int32_t Removed;
    float   Position[3];
  };

  //! When set, the collapses of every following run are appended to `log` (not owned), in
  //! the order they were made; the run itself is unchanged. Null stops the logging.
  void SetCollapseLog(std::vector<Collapse>* log) { CollapseLog = log; }

protected:
  //! Working arrays are read at random: on huge pages they spare the address-translation
  //! misses (see algoMesh_MemoryAdvice).
  template <class T> using LargeArray = std::vector<T, quorin::algoMesh_LargeAllocator<T>>;

  algoMesh_vtkQuadricDecimation();
  ~algoMesh_vtkQuadricDecimation() override;

  //! Decimates the input into the output. Errors ("Nothing to decimate", "Can only decimate
  //! triangles", "Unable to factor attribute matrix!") go through VTK's error reporting;
  //! answers 1 on every path.
  int RequestData(vtkInformation*, vtkInformationVector**, vtkInformationVector*) override;

  //! Zero quadrics for `numPts` points, then the area-weighted plane quadric of every triangle
  //! added to its three corners (with attribute and volume terms when switched on).
  void InitializeQuadrics(vtkIdType numPts);
  //! Adds to both ends of every boundary edge the quadric of the plane through the edge
  //! perpendicular to its triangle, weighted by the edge length.
  void AddBoundaryConstraints();
  //! Geometric cost of collapsing edge `edgeId`; writes the optimal point into `x`.
  double ComputeCost(vtkIdType edgeId, double* x);
  //! Cost with attributes (and the volume constraint); `x` receives 3 + NC (+ 1) values.
  double ComputeCost2(vtkIdType edgeId, double* x);
  //! 1 when moving `pt0Id` and `pt1Id` to `x` folds no triangle around them over.
  int IsGoodPlacement(vtkIdType pt0Id, vtkIdType pt1Id, const double* x);
  //! 1 when `x` lies strictly on `t0`'s side of the line through `t1`, `t2` in the plane of
  //! the triangle.
  int TrianglePlaneCheck(const double  t0[3],
                         const double  t1[3],
                         const double  t2[3],
                         const double* x);
  //! Adds the quadric (and volume constraint) of `sourceId` to that of `destinationId`.
  void AddQuadric(vtkIdType sourceId, vtkIdType destinationId);
  //! Re-keys and re-costs the edges touched by collapsing `pt1Id` into `pt0Id`.
  void UpdateEdgeData(vtkIdType pt0Id, vtkIdType pt1Id);
  //! Ids of the edges that end at `pt0Id` or `pt1Id`, apart from the collapsing one.
  void FindAffectedEdges(vtkIdType p0, vtkIdType p1, std::vector<int32_t>& edges);
  //! Merges `pt1Id` into `pt0Id`; answers the number of triangles deleted.
  int CollapseEdge(vtkIdType pt0Id, vtkIdType pt1Id);
  //! Chooses the attributes of the metric and their scales; sets NC.
  void ComputeNumberOfComponents();
  //! Coordinates of point `ptId`, then its NC scaled attribute components.
  void GetPointAttributeArray(vtkIdType ptId, double* x);
  //! Inverse of GetPointAttributeArray: moves the point and sets its attributes.
  void SetPointAttributeArray(vtkIdType ptId, const double* x);

  double TargetReduction;
  int    AttributeErrorMetric;
  int    VolumePreservation;
  int    ScalarsAttribute;
  int    VectorsAttribute;
  int    NormalsAttribute;
  int    TCoordsAttribute;
  int    TensorsAttribute;
  double ScalarsWeight;
  double VectorsWeight;
  double NormalsWeight;
  double TCoordsWeight;
  double TensorsWeight;
  double ActualReduction;

  int                     NumberOfEdgeCollapses;
  algoMesh_EdgeTable      Edges;     //!< edge id = insertion order, emptied after every run
  algoMesh_EdgeCostQueue  EdgeCosts; //!< cheapest edge first
  int                     NumberOfComponents;
  vtkPolyData*            Mesh; //!< the input during a run, not owned
  algoMesh_DecimationMesh Work; //!< the input's cells and links during a run
  //! A working point: single precision (see loadWorkingMesh), padded so that a point never
  //! straddles two cache lines.
  struct alignas(16) WorkPoint
  {
    float Coord[4];
  };
  //! A working point's coordinates, widened for computing.
  struct Coords
  {
    double Value[3];
  };
  LargeArray<WorkPoint>  Points;            //!< the input's points during a run
  std::vector<uint8_t>   MovedPoints;       //!< 1 for each point that a collapse moved
  LargeArray<double>     ErrorQuadrics;     //!< 11 + 4 NC doubles per point
  std::vector<double>    VolumeConstraints; //!< 4 doubles per point
  int                    AttributeComponents[6];
  double                 AttributeScale[6];
  vtkDataArray*          AttributeArrays[6]; //!< not owned, valid during a run
  std::vector<int32_t>   ChangedEdges;       //!< scratch of UpdateEdgeData
  std::vector<int32_t>   CollapseCellIds;    //!< scratch of CollapseEdge
  std::vector<int32_t>   MovedCellPoints;    //!< scratch of CollapseEdge and FindAffectedEdges
  std::vector<double>    TargetPoint;
  std::vector<double>    TempQuad;
  std::vector<double>    TempB;
  std::vector<double>    TempAStorage;
  std::vector<double*>   TempA;                 //!< row pointers into TempAStorage
  std::vector<Collapse>* CollapseLog = nullptr; //!< not owned

private:
  //! Doubles of one point quadric.
  int     quadricSize() const { return 11 + 4 * NumberOfComponents; }
  double* quadric(const vtkIdType ptId)
  {
    return ErrorQuadrics.data() + static_cast<size_t>(ptId) * quadricSize();
  }
  //! Cost (either metric) of edge `edgeId`, target into `x`. A cost that is not a number
  //! (points that are not finite) becomes the never-collapse cost: in the queue it would
  //! end the run early, since it compares false with everything.
  double edgeCost(const vtkIdType edgeId, double* x)
  {
    const double cost = AttributeErrorMetric ? ComputeCost2(edgeId, x) : ComputeCost(edgeId, x);
    return std::isnan(cost) ? 1.0e299 : cost;
  }
  //! Coordinates of point `ptId` during a run.
  Coords point(const vtkIdType ptId) const
  {
    const float* c = Points[ptId].Coord;
    return {{c[0], c[1], c[2]}};
  }
  //! Sets point `ptId` to `x` rounded to single precision.
  void setPoint(vtkIdType ptId, const double* x);
  //! True when a cell other than `cellId` uses both `a` and `b`.
  bool hasEdgeNeighbour(int32_t cellId, int32_t a, int32_t b) const;
  //! Starts fetching the quadrics and link records of the ends of `edgeId`.
  void prefetchEnds(int32_t edgeId);
  //! True when a triangle over the three `corners` (in any order) exists; `around` is one
  //! of them, whose links are searched.
  bool hasTriangle(int32_t around, const int32_t* corners) const;
  //! Poll of the set-up loops: at every THE_SETUP_POLL-th item of `count`, reports the
  //! progress between `from` and `to` and answers whether the run was asked to stop.
  bool isSetUpStopped(int64_t item, int64_t count, double from, double to);
  //! Steps of RequestData, in order.
  //! Reports the errors of an input that cannot be decimated; false for those.
  bool checkInput(vtkPolyData* input, vtkPolyData* output);
  bool loadWorkingMesh();
  //! Edge map and cost queue sized to it.
  void enumerateEdges();
  void buildEdges();
  //! Attribute components of the metric, when it is on.
  void chooseAttributes();
  void allocateScratch();
  //! Triangle and boundary quadrics.
  void computeQuadrics(vtkIdType numPts);
  void queueEdges();
  void collapseCheapestEdges(vtkIdType numPts, vtkIdType numTris);
  //! Writes the edits back into the input and releases the per-run structures.
  void releaseRunData();
  void copySurvivors(vtkPolyData* output);
  //! Unit-length normals in the output when the metric interpolated them.
  void renormalizeNormals(vtkPolyData* output);
  //! The input points listed in `sources`, in that order, and their data into the output.
  void copySurvivingPoints(vtkIdList* sources, vtkPolyData* output);
  //! Reports `text` through VTK's error reporting of this object.
  void reportError(const char* text, int line);
  //! Fills the dense system of ComputeCost2 from TempQuad and the volume constraints.
  void fillAttributeSystem(vtkIdType p0, vtkIdType p1, int n, int m);

  algoMesh_vtkQuadricDecimation(const algoMesh_vtkQuadricDecimation&) = delete;
  void operator=(const algoMesh_vtkQuadricDecimation&)                = delete;
};

#endif
