// Quadric edge-collapse decimation as a VTK filter.
//
// Every point carries the sum of the squared-distance quadrics of the planes of its triangles
// (weighted by area), plus plane quadrics that pin boundary edges. The cost of an edge is the
// error of the point minimising the sum of its two ends' quadrics; edges sit in a binary heap
// keyed by that cost. The cheapest edge is collapsed (its second end, in the order the edge
// was first met, merged into its first), the quadrics are added, and only the edges around the
// merged point are re-costed. Garland and Heckbert, "Surface Simplification Using Quadric Error
// Metrics", SIGGRAPH 1997; attributes after Hoppe, "New Quadric Metric for Simplifying Meshes with
// Appearance Attributes", IEEE Visualization 1999.
//
// Cost: O(n log n) for n triangles; each collapse costs O(d log n) for the d edges around the
// merged point. The poly data is read once into flat arrays (cells, point-to-cell links, edges
// listed per point, a heap of edge costs) that reproduce its ids and link order, so the run
// makes the same choices as one working on the poly data itself; the edited cells are written
// back once at the end. A run is bound by cache misses (each collapse works on a fresh
// neighbourhood somewhere in the arrays): the arrays sit on huge pages, and the edges a
// collapse re-costs are requested from memory in batches before any is touched.
#include <algoMesh_vtkQuadricDecimation.hxx>

#include <vtkCellArray.h>
#include <vtkCellType.h>
#include <vtkDataArray.h>
#include <vtkDoubleArray.h>
#include <vtkFloatArray.h>
#include <vtkIdList.h>
#include <vtkIdTypeArray.h>
#include <vtkInformation.h>
#include <vtkInformationVector.h>
#include <vtkMath.h>
#include <vtkNew.h>
#include <vtkObjectFactory.h>
#include <vtkOutputWindow.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <algorithm>
#include <cmath>
#include <sstream>

vtkStandardNewMacro(algoMesh_vtkQuadricDecimation);

namespace
{

//! Cost of an edge that must not be collapsed; also the bound that ends the run.
constexpr double THE_LARGE_COST = 1.0e299;

// Squared cosines just above and below the fold test's threshold of 1e-5, and the range of
// squared lengths over which their products stay normal numbers.
constexpr double THE_FOLD_ABOVE  = 1.0e-10 * (1.0 + 2.0e-6);
constexpr double THE_FOLD_BELOW  = 1.0e-10 * (1.0 - 2.0e-6);
constexpr double THE_TINY_SQUARE = 1.0e-140;
constexpr double THE_HUGE_SQUARE = 1.0e140;

// The set-up loops report progress and read the abort flag every this many items, a few
// milliseconds of work, so that a stop requested before the collapses is seen at once.
constexpr int64_t THE_SETUP_POLL = 65536;

//! Source location reported with the filter's errors.
const char* const THE_SOURCE_FILE = "src/algoMesh/decimation/algoMesh_vtkQuadricDecimation.cxx";

//! 32-bit signed multiply and add that wrap around, as the edge hash is defined on them.
inline int32_t wrapMul(const int32_t a, const int32_t b)
{
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

inline int32_t wrapAdd(const int32_t a, const int32_t b)
{
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

inline double dot3(const double* a, const double* b)
{
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

//! Scales `v` to unit length; a zero vector stays zero.
inline void normalize3(double* v)
{
  const double len = std::sqrt(dot3(v, v));
  if (len > 0.0)
  {
    v[0] /= len;
    v[1] /= len;
    v[2] /= len;
  }
}

//! Normal direction of the edge (t1, t2) in the plane of the triangle, pointing to `t0`
//! (not normalised): the part of t0 - t1 perpendicular to t2 - t1. False for a zero edge.
inline bool inPlaneEdgeNormal(const double* t0, const double* t1, const double* t2, double* n)
{
  const double e0[3] = {t2[0] - t1[0], t2[1] - t1[1], t2[2] - t1[2]};
  const double e1[3] = {t0[0] - t1[0], t0[1] - t1[1], t0[2] - t1[2]};
  const double e0e0  = dot3(e0, e0);
  if (e0e0 == 0.0)
  {
    return false;
  }
  const double c = dot3(e0, e1) / e0e0;
  for (int i = 0; i < 3; ++i)
  {
    n[i] = e1[i] - c * e0[i];
  }
  return true;
}

//! Plane quadric (entries 0..9) of n.x + d = 0, entry 10 = 1.
inline void planeQuadric(const double* n, const double d, double* q)
{
  q[0]  = n[0] * n[0];
  q[1]  = n[0] * n[1];
  q[2]  = n[0] * n[2];
  q[3]  = n[0] * d;
  q[4]  = n[1] * n[1];
  q[5]  = n[1] * n[2];
  q[6]  = n[1] * d;
  q[7]  = n[2] * n[2];
  q[8]  = n[2] * d;
  q[9]  = d * d;
  q[10] = 1.0;
}

// The cell array of `mesh` that holds cells of `type`, made when missing, or replaced by an
// empty one when `renew` is set and it exists.
vtkCellArray* cellArrayOf(vtkPolyData* mesh, const int type, const bool renew = false)
{
  vtkCellArray* (vtkPolyData::*get)()     = &vtkPolyData::GetPolys;
  void (vtkPolyData::*set)(vtkCellArray*) = &vtkPolyData::SetPolys;
  switch (type)
  {
  case VTK_VERTEX:
  case VTK_POLY_VERTEX:
    get = &vtkPolyData::GetVerts, set = &vtkPolyData::SetVerts;
    break;
  case VTK_LINE:
  case VTK_POLY_LINE:
    get = &vtkPolyData::GetLines, set = &vtkPolyData::SetLines;
    break;
  case VTK_TRIANGLE_STRIP:
    get = &vtkPolyData::GetStrips, set = &vtkPolyData::SetStrips;
    break;
  default:
    break;
  }
  if (((mesh->*get)() == nullptr) != renew)
  {
    vtkNew<vtkCellArray> cells;
    (mesh->*set)(cells);
  }
  return (mesh->*get)();
}

} // namespace

Standard_Integer algoMesh_vtkQuadricDecimation::Edge::HashCode(const Edge&            edge,
                                                               const Standard_Integer upperBound)
{
  // Mixes each id on its own with shifts that are arithmetic on negative values, as in
  // 32-bit signed arithmetic.
  int32_t h1 = wrapMul(edge.First, 1025);
  h1         = (h1 >> 6) ^ h1;
  h1         = wrapMul(h1, 9);
  h1         = h1 ^ (h1 >> 11);
  int32_t h2 = wrapMul(edge.Second, 33);
  h2         = (h2 >> 3) ^ h2;
  h2         = wrapMul(h2, 129);
  h2         = h2 ^ (h2 >> 13);
  return ::HashCode(static_cast<Standard_Integer>(wrapAdd(h1, h2)), upperBound);
}

algoMesh_vtkQuadricDecimation::algoMesh_vtkQuadricDecimation()
    : TargetReduction(0.9), AttributeErrorMetric(0), VolumePreservation(0), ScalarsAttribute(1),
      VectorsAttribute(1), NormalsAttribute(1), TCoordsAttribute(1), TensorsAttribute(1),
      ScalarsWeight(0.1), VectorsWeight(0.1), NormalsWeight(0.1), TCoordsWeight(0.1),
      TensorsWeight(0.1), ActualReduction(0.0), NumberOfEdgeCollapses(0), NumberOfComponents(0),
      Mesh(nullptr), AttributeComponents{0, 0, 0, 0, 0, 0},
      AttributeScale{1.0, 1.0, 1.0, 1.0, 1.0, 1.0}, AttributeArrays{nullptr, nullptr, nullptr,
                                                                    nullptr, nullptr, nullptr}
{
}

algoMesh_vtkQuadricDecimation::~algoMesh_vtkQuadricDecimation() = default;

void algoMesh_vtkQuadricDecimation::PrintSelf(ostream& os, vtkIndent indent)
{
  this->Superclass::PrintSelf(os, indent);
  const auto onOff = [](const int flag) { return flag ? "On\n" : "Off\n"; };
  os << indent << "Target Reduction: " << TargetReduction << "\n";
  os << indent << "Actual Reduction: " << ActualReduction << "\n";
  os << indent << "Attribute Error Metric: " << onOff(AttributeErrorMetric);
  os << indent << "Volume Preservation: " << onOff(VolumePreservation);
  os << indent << "Scalars Attribute: " << onOff(ScalarsAttribute);
  os << indent << "Vectors Attribute: " << onOff(VectorsAttribute);
  os << indent << "Normals Attribute: " << onOff(NormalsAttribute);
  os << indent << "TCoords Attribute: " << onOff(TCoordsAttribute);
  os << indent << "Tensors Attribute: " << onOff(TensorsAttribute);
  os << indent << "Scalars Weight: " << ScalarsWeight << "\n";
  os << indent << "Vectors Weight: " << VectorsWeight << "\n";
  os << indent << "Normals Weight: " << NormalsWeight << "\n";
  os << indent << "TCoords Weight: " << TCoordsWeight << "\n";
  os << indent << "Tensors Weight: " << TensorsWeight << "\n";
}

void algoMesh_vtkQuadricDecimation::reportError(const char* text, const int line)
{
  if (!vtkObject::GetGlobalWarningDisplay())
  {
    return;
  }
  std::ostringstream message;
  message << GetClassName() << " (" << static_cast<const void*>(this) << "): " << text;
  vtkOutputWindowDisplayErrorText(THE_SOURCE_FILE, line, message.str().c_str(), this);
  vtkObject::BreakOnError();
}

int algoMesh_vtkQuadricDecimation::RequestData(vtkInformation*,
                                               vtkInformationVector** inputVector,
                                               vtkInformationVector*  outputVector)
{
  // 1-2. Input and output of the pipeline; only triangle meshes with points are decimated.
  vtkPolyData* input  = vtkPolyData::GetData(inputVector[0]);
  vtkPolyData* output = vtkPolyData::GetData(outputVector);
  if (!checkInput(input, output))
  {
    return 1;
  }
  const vtkIdType numPts  = input->GetNumberOfPoints();
  const vtkIdType numTris = input->GetNumberOfPolys();

  // 3. The input itself is the working mesh: its points, cells and links read once.
  Mesh = input;
  if (!loadWorkingMesh())
  {
    reportError("Nothing to decimate", __LINE__);
    Mesh = nullptr;
    return 1;
  }

  // 4-6. Edges in order of first appearance, and the queue sized to them.
  enumerateEdges();

  // 7. Attribute components of the metric.
  chooseAttributes();

  // 8. Scratch buffers shared by all cost evaluations of the run.
  allocateScratch();

  // 9. Quadrics of the triangles and of the boundary edges.
  computeQuadrics(numPts);

  // 10. Every edge queued with its cost.
  queueEdges();

  // 11-12. Collapse the cheapest edge until the target is reached; a stop requested during
  // the set-up leaves the mesh as it came.
  collapseCheapestEdges(numPts, numTris);

  // 13. The edits written back into the input; per-run structures released.
  releaseRunData();

  // 14. Surviving cells copied to the output, points renumbered compactly.
  copySurvivors(output);

  // 15. Interpolated normals back to unit length.
  renormalizeNormals(output);
  Mesh = nullptr;
  return 1;
}

bool algoMesh_vtkQuadricDecimation::checkInput(vtkPolyData* input, vtkPolyData* output)
{
  if (input == nullptr || output == nullptr || input->GetPolys() == nullptr ||
      input->GetPoints() == nullptr || input->GetPointData() == nullptr ||
      input->GetFieldData() == nullptr)
  {
    reportError("Nothing to decimate", __LINE__);
    return false;
  }
  if (input->GetPolys()->GetMaxCellSize() > 3)
  {
    reportError("Can only decimate triangles", __LINE__);
    return false;
  }
  return true;
}

void algoMesh_vtkQuadricDecimation::enumerateEdges()
{
  // The queue never holds more entries than there are edges: a collapse queues at most as
  // many edges as it removes.
  NumberOfComponents = 0;
  buildEdges();
  EdgeCosts.Reset(Edges.Size(), Edges.Size());
  UpdateProgress(0.1);
}

void algoMesh_vtkQuadricDecimation::chooseAttributes()
{
  if (AttributeErrorMetric)
  {
    ComputeNumberOfComponents();
  }
}

void algoMesh_vtkQuadricDecimation::computeQuadrics(const vtkIdType numPts)
{
  InitializeQuadrics(numPts);
  AddBoundaryConstraints();
  UpdateProgress(0.15);
}

void algoMesh_vtkQuadricDecimation::renormalizeNormals(vtkPolyData* output)
{
  vtkDataArray* normals = output->GetPointData()->GetNormals();
  if (AttributeErrorMetric && normals != nullptr)
  {
    for (vtkIdType i = 0; i < normals->GetNumberOfTuples(); ++i)
    {
      double n[3];
      normals->GetTuple(i, n);
      normalize3(n);
      normals->SetTuple(i, n);
    }
  }
  for (vtkDataArray*& array : AttributeArrays)
  {
    array = nullptr;
  }
}

bool algoMesh_vtkQuadricDecimation::isSetUpStopped(const int64_t item,
                                                   const int64_t count,
                                                   const double  from,
                                                   const double  to)
{
  if (item % THE_SETUP_POLL != 0)
  {
    return false;
  }
  UpdateProgress(from + (to - from) * static_cast<double>(item) /
                            static_cast<double>(std::max<int64_t>(1, count)));
  return GetAbortExecute() != 0;
}

bool algoMesh_vtkQuadricDecimation::loadWorkingMesh()
{
  if (!Work.Load(Mesh))
  {
    return false;
  }
  // The run works on single-precision points whatever the input's point type, so that a
  // single- and a double-precision input give the same mesh, and every target is rounded the
  // same way when it is stored.
  const vtkIdType numPts = Mesh->GetNumberOfPoints();
  Points.resize(static_cast<size_t>(numPts));
  MovedPoints.assign(static_cast<size_t>(numPts), 0);
  vtkDataArray* coords = Mesh->GetPoints()->GetData();
  if (vtkFloatArray* floats = vtkFloatArray::FastDownCast(coords))
  {
    const float* values = floats->GetPointer(0);
    for (vtkIdType i = 0; i < numPts; ++i)
    {
      std::copy_n(values + 3 * i, 3, Points[i].Coord);
    }
  }
  else if (vtkDoubleArray* doubles = vtkDoubleArray::FastDownCast(coords))
  {
    const double* values = doubles->GetPointer(0);
    for (vtkIdType i = 0; i < numPts; ++i)
    {
      setPoint(i, values + 3 * i);
    }
  }
  else
  {
    for (vtkIdType i = 0; i < numPts; ++i)
    {
      double p[3];
      coords->GetTuple(i, p);
      setPoint(i, p);
    }
  }
  return true;
}

void algoMesh_vtkQuadricDecimation::setPoint(const vtkIdType ptId, const double* x)
{
  float* c = Points[ptId].Coord;
  for (int k = 0; k < 3; ++k)
  {
    c[k] = static_cast<float>(x[k]);
  }
  c[3] = 0.0f;
}

void algoMesh_vtkQuadricDecimation::buildEdges()
{
  // Each list is sized by the triangle sides starting at its point: twice what a closed
  // manifold needs, so that lists rarely move during the run.
  const int32_t        numCells = Work.NbCells();
  std::vector<int32_t> sizes(static_cast<size_t>(Work.NbPoints()), 0);
  int64_t              sides = 0;
  for (int32_t cell = 0; cell < numCells; ++cell)
  {
    if (isSetUpStopped(cell, numCells, 0.0, 0.05))
    {
      return;
    }
    if (Work.IsTriangle(cell))
    {
      const int32_t* pts = Work.Triangle(cell);
      for (int j = 0; j < 3; ++j)
      {
        ++sizes[std::min(pts[j], pts[(j + 1) % 3])];
      }
      sides += 3;
    }
  }
  Edges.Reset(Work.NbPoints(), sizes, sides / 2 + 16);
  for (int32_t cell = 0; cell < numCells; ++cell)
  {
    if (isSetUpStopped(cell, numCells, 0.05, 0.1))
    {
      return;
    }
    if (Work.IsTriangle(cell))
    {
      const int32_t* pts = Work.Triangle(cell);
      for (int j = 0; j < 3; ++j)
      {
        Edges.Add(pts[j], pts[(j + 1) % 3]);
      }
    }
  }
}

void algoMesh_vtkQuadricDecimation::allocateScratch()
{
  const int vp = VolumePreservation ? 1 : 0;
  const int m  = 3 + NumberOfComponents + vp;
  ChangedEdges.reserve(64);
  TargetPoint.assign(m, 0.0);
  TempQuad.assign(quadricSize(), 0.0);
  TempB.assign(m, 0.0);
  TempAStorage.assign(static_cast<size_t>(m) * m, 0.0);
  TempA.resize(m);
  for (int i = 0; i < m; ++i)
  {
    TempA[i] = TempAStorage.data() + static_cast<size_t>(i) * m;
  }
}

void algoMesh_vtkQuadricDecimation::queueEdges()
{
  double*       x        = TargetPoint.data();
  const int32_t numEdges = Edges.Size();
  for (int32_t e = 0; e < numEdges; ++e)
  {
    if (isSetUpStopped(e, numEdges, 0.15, 0.2))
    {
      return;
    }
    EdgeCosts.Insert(edgeCost(e, x), e);
  }
}

void algoMesh_vtkQuadricDecimation::collapseCheapestEdges(const vtkIdType numPts,
                                                          const vtkIdType numTris)
{
  UpdateProgress(0.2);
  ActualReduction       = 0.0;
  NumberOfEdgeCollapses = 0;
  if (GetAbortExecute())
  {
    return;
  }
  double*   x       = TargetPoint.data();
  vtkIdType deleted = 0;
  double    cost    = 0.0;
  int32_t   edgeId  = EdgeCosts.Pop(cost);
  bool      abort   = false;
  while (edgeId >= 0 && cost < THE_LARGE_COST && ActualReduction < TargetReduction && !abort)
  {
    if (NumberOfEdgeCollapses % 10000 == 0)
    {
      UpdateProgress(0.2 + 0.8 * NumberOfEdgeCollapses / static_cast<double>(numPts));
      abort = GetAbortExecute() != 0;
    }
    const int32_t p0 = Edges.Key(edgeId).first;
    const int32_t p1 = Edges.Key(edgeId).second;
    edgeCost(edgeId, x); // the target from the current quadrics
    if (!IsGoodPlacement(p0, p1, x))
    {
      EdgeCosts.Insert(THE_LARGE_COST, edgeId);
    }
    else
    {
      ++NumberOfEdgeCollapses;
      if (CollapseLog != nullptr)
      {
        CollapseLog->push_back({p0, p1, {float(x[0]), float(x[1]), float(x[2])}});
      }
      SetPointAttributeArray(p0, x);
      AddQuadric(p1, p0);
      UpdateEdgeData(p0, p1);
      // The queue is final for this collapse: its cheapest edge is the next one popped, so
      // its key is requested now and its ends' data while the cells are edited below.
      const int32_t next = EdgeCosts.TopId();
      if (next >= 0)
      {
        Edges.PrefetchKey(next);
      }
      deleted += CollapseEdge(p0, p1);
      if (next >= 0)
      {
        prefetchEnds(next);
      }
      ActualReduction = static_cast<double>(deleted) / static_cast<double>(numTris);
    }
    edgeId = EdgeCosts.Pop(cost);
  }
}

void algoMesh_vtkQuadricDecimation::prefetchEnds(const int32_t edgeId)
{
  for (const int32_t end : {Edges.Key(edgeId).first, Edges.Key(edgeId).second})
  {
    double* q = quadric(end);
    __builtin_prefetch(q);
    __builtin_prefetch(q + 8);
    __builtin_prefetch(q + quadricSize() - 1);
    Work.PrefetchLinks(end);
  }
}

void algoMesh_vtkQuadricDecimation::releaseRunData()
{
  // The collapses moved points of the input too; they are written in one pass here rather
  // than one random access into the input's array per collapse.
  Work.Store(Mesh);
  vtkPoints*      points = Mesh->GetPoints();
  const vtkIdType numPts = static_cast<vtkIdType>(MovedPoints.size());
  for (vtkIdType i = 0; i < numPts; ++i)
  {
    if (MovedPoints[i])
    {
      points->SetPoint(i, point(i).Value);
    }
  }
  MovedPoints       = std::vector<uint8_t>();
  ErrorQuadrics     = LargeArray<double>();
  VolumeConstraints = std::vector<double>();
  TargetPoint       = std::vector<double>();
  TempQuad          = std::vector<double>();
  TempB             = std::vector<double>();
  TempAStorage      = std::vector<double>();
  TempA             = std::vector<double*>();
  ChangedEdges      = std::vector<int32_t>();
  CollapseCellIds   = std::vector<int32_t>();
  MovedCellPoints   = std::vector<int32_t>();
  Edges.Release();
  EdgeCosts.Release();
}

void algoMesh_vtkQuadricDecimation::copySurvivors(vtkPolyData* output)
{
  // What vtkPolyData::CopyCells makes of the surviving cells, in cell order, with points
  // renumbered in the order the cells first use them, built from the flat cell arrays
  // (CopyCells makes a generic cell per survivor and inserts cells and point data one at a
  // time: half a second for a million cells, which a run stopped early would spend).
  // 1. Survivors, and whether they are all triangles (the usual case, written directly).
  const int32_t numCells = Work.NbCells();
  vtkIdType     nbKept = 0, nbTriangles = 0;
  for (int32_t cell = 0; cell < numCells; ++cell)
  {
    nbKept += Work.CellType(cell) != VTK_EMPTY_CELL ? 1 : 0;
    nbTriangles += Work.IsTriangle(cell) ? 1 : 0;
  }
  const bool onlyTriangles = nbTriangles == nbKept && Mesh->GetPolys() != nullptr;

  // 2. Points renumbered in order of first use; for triangles their corners written on the way.
  std::vector<vtkIdType> newIds(static_cast<size_t>(Mesh->GetNumberOfPoints()), -1);
  vtkNew<vtkIdList>      sources; // input point of each output point
  sources->Allocate(Mesh->GetNumberOfPoints());
  vtkNew<vtkIdTypeArray> connectivity;
  connectivity->SetNumberOfValues(onlyTriangles ? 3 * nbKept : 0);
  vtkIdType* corner = connectivity->GetPointer(0);
  for (int32_t cell = 0; cell < numCells; ++cell)
  {
    const int32_t* pts  = nullptr;
    const int32_t  npts = Work.CellPoints(cell, pts);
    for (int32_t i = 0; i < npts; ++i)
    {
      vtkIdType& id = newIds[pts[i]];
      if (id < 0)
      {
        id = sources->GetNumberOfIds();
        sources->InsertNextId(pts[i]);
      }
      if (onlyTriangles)
      {
        *corner++ = id;
      }
    }
  }

  // 3. The output emptied and allocated like the input.
  output->Reset();
  output->Allocate(Mesh, nbKept, 1000);
  if (AttributeErrorMetric)
  {
    // Copy flags act on the receiving side: only the attributes of the metric go out.
    vtkPointData* outPD = output->GetPointData();
    outPD->CopyAllOff();
    for (int j = 0; j < 5; ++j)
    {
      outPD->SetCopyAttribute(j, AttributeArrays[j] != nullptr ? 1 : 0);
    }
  }
  output->GetPointData()->CopyAllocate(Mesh->GetPointData(), 1, 1000);

  // 4. Points (single precision for a new output, as CopyCells makes them) and their data.
  copySurvivingPoints(sources, output);

  // 5. Cells: triangles straight into the polygon array, any other mix each cell into the
  //    cell array of its type (cell ids follow from the arrays' order).
  if (onlyTriangles)
  {
    vtkNew<vtkIdTypeArray> offsets;
    offsets->SetNumberOfValues(nbKept + 1);
    vtkIdType* offset = offsets->GetPointer(0);
    for (vtkIdType k = 0; k <= nbKept; ++k)
    {
      offset[k] = 3 * k;
    }
    output->GetPolys()->SetData(offsets, connectivity);
  }
  else
  {
    // Fresh arrays in place of the allocated ones: VTK 9.1 allocates an array in proportion
    // to the survivors without its leading offset when that rounds to no cell, and cells
    // inserted there would merge.
    for (const int type : {VTK_VERTEX, VTK_LINE, VTK_TRIANGLE, VTK_TRIANGLE_STRIP})
    {
      cellArrayOf(output, type, true);
    }
    std::vector<vtkIdType> ids;
    for (int32_t cell = 0; cell < numCells; ++cell)
    {
      const int32_t* pts  = nullptr;
      const int32_t  npts = Work.CellPoints(cell, pts);
      if (Work.CellType(cell) == VTK_EMPTY_CELL)
      {
        continue;
      }
      ids.resize(static_cast<size_t>(npts));
      for (int32_t i = 0; i < npts; ++i)
      {
        ids[i] = newIds[pts[i]];
      }
      cellArrayOf(output, Work.CellType(cell))->InsertNextCell(npts, ids.data());
    }
  }
  output->Squeeze();
  Work.Release();
  Points = LargeArray<WorkPoint>();
  Mesh->DeleteLinks();
}

void algoMesh_vtkQuadricDecimation::copySurvivingPoints(vtkIdList* sources, vtkPolyData* output)
{
  const vtkIdType nbOut = sources->GetNumberOfIds();
  if (output->GetPoints() == nullptr)
  {
    vtkNew<vtkPoints> points;
    output->SetPoints(points);
  }
  vtkPoints* outPoints = output->GetPoints();
  outPoints->SetNumberOfPoints(nbOut);
  // The working points hold what the input's points hold, rounded to single precision.
  if (vtkFloatArray* to = vtkFloatArray::FastDownCast(outPoints->GetData()))
  {
    // Exact, as SetPoint would store them, without its per-point dispatch.
    float* out = to->GetPointer(0);
    for (vtkIdType k = 0; k < nbOut; ++k)
    {
      std::copy_n(Points[sources->GetId(k)].Coord, 3, out + 3 * k);
    }
  }
  else
  {
    for (vtkIdType k = 0; k < nbOut; ++k)
    {
      outPoints->SetPoint(k, point(sources->GetId(k)).Value);
    }
  }
  vtkNew<vtkIdList> targets;
  targets->SetNumberOfIds(nbOut);
  for (vtkIdType k = 0; k < nbOut; ++k)
  {
    targets->SetId(k, k);
  }
  output->GetPointData()->CopyData(Mesh->GetPointData(), sources, targets);
}

void algoMesh_vtkQuadricDecimation::InitializeQuadrics(const vtkIdType numPts)
{
  const int qs = quadricSize();
  const int nc = NumberOfComponents;
  ErrorQuadrics.assign(static_cast<size_t>(numPts) * qs, 0.0);
  if (VolumePreservation)
  {
    VolumeConstraints.assign(static_cast<size_t>(numPts) * 4, 0.0);
  }

  std::vector<double> q(qs, 0.0);
  // Attribute system of one triangle: rows (P0, 1), (P1, 1), (P2, 1), (n, 0).
  double              a[4][4];
  double*             aRows[4] = {a[0], a[1], a[2], a[3]};
  int                 index[4];
  std::vector<double> corner[3];
  for (std::vector<double>& c : corner)
  {
    c.assign(3 + nc, 0.0);
  }

  const int32_t numCells = Work.NbCells();
  for (int32_t cellId = 0; cellId < numCells; ++cellId)
  {
    if (isSetUpStopped(cellId, numCells, 0.1, 0.14))
    {
      return;
    }
    if (!Work.IsTriangle(cellId))
    {
      continue;
    }
    const int32_t* pts = Work.Triangle(cellId);
    double         p[3][3];
    for (int k = 0; k < 3; ++k)
    {
      const Coords c = point(pts[k]);
      std::copy_n(c.Value, 3, p[k]);
    }
    // Plane of the triangle, its area as the weight.
    const double e1[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
    const double e2[3] = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
    double       n[3];
    vtkMath::Cross(e1, e2, n);
    const double area = std::sqrt(dot3(n, n)) * 0.5;
    normalize3(n);
    const double d = -dot3(n, p[0]);
    planeQuadric(n, d, q.data());

    if (nc > 0)
    {
      for (int r = 0; r < 3; ++r)
      {
        a[r][0] = p[r][0];
        a[r][1] = p[r][1];
        a[r][2] = p[r][2];
        a[r][3] = 1.0;
      }
      a[3][0] = n[0];
      a[3][1] = n[1];
      a[3][2] = n[2];
      a[3][3] = 0.0;
      std::fill(q.begin() + 11, q.end(), 0.0);
      if (!vtkMath::LUFactorLinearSystem(aRows, index, 4))
      {
        // The triangle then adds its geometric entries only.
        reportError("Unable to factor attribute matrix!", __LINE__);
      }
      else
      {
        for (int r = 0; r < 3; ++r)
        {
          GetPointAttributeArray(pts[r], corner[r].data());
        }
        for (int k = 0; k < nc; ++k)
        {
          double g[4] = {corner[0][3 + k], corner[1][3 + k], corner[2][3 + k], 0.0};
          vtkMath::LUSolveLinearSystem(aRows, index, g, 4);
          q[0] += g[0] * g[0];
          q[1] += g[0] * g[1];
          q[2] += g[0] * g[2];
          q[3] += g[0] * g[3];
          q[4] += g[1] * g[1];
          q[5] += g[1] * g[2];
          q[6] += g[1] * g[3];
          q[7] += g[2] * g[2];
          q[8] += g[2] * g[3];
          q[9] += g[3] * g[3];
          q[11 + 4 * k] = -g[0];
          q[12 + 4 * k] = -g[1];
          q[13 + 4 * k] = -g[2];
          q[14 + 4 * k] = -g[3];
        }
      }
    }

    for (int r = 0; r < 3; ++r)
    {
      double* pq = quadric(pts[r]);
      for (int i = 0; i < qs; ++i)
      {
        pq[i] += area * q[i];
      }
      if (VolumePreservation)
      {
        double* vc = VolumeConstraints.data() + 4 * static_cast<size_t>(pts[r]);
        vc[0] += n[0] * area * 2.0;
        vc[1] += n[1] * area * 2.0;
        vc[2] += n[2] * area * 2.0;
        vc[3] -= d * area * 2.0;
      }
    }
  }
}

void algoMesh_vtkQuadricDecimation::AddBoundaryConstraints()
{
  const int32_t numCells = Work.NbCells();
  double        q[11];
  for (int32_t cellId = 0; cellId < numCells; ++cellId)
  {
    if (isSetUpStopped(cellId, numCells, 0.14, 0.15))
    {
      return;
    }
    if (!Work.IsTriangle(cellId))
    {
      continue;
    }
    const int32_t* pts = Work.Triangle(cellId);
    for (int j = 0; j < 3; ++j)
    {
      const int32_t a = pts[j];
      const int32_t b = pts[(j + 1) % 3];
      if (hasEdgeNeighbour(cellId, a, b))
      {
        continue;
      }
      // Plane through the edge, perpendicular to its triangle, weighted by the edge length.
      const Coords  c0 = point(pts[(j + 2) % 3]);
      const Coords  c1 = point(a);
      const Coords  c2 = point(b);
      const double* t0 = c0.Value;
      const double* t1 = c1.Value;
      const double* t2 = c2.Value;
      double        n[3];
      if (!inPlaneEdgeNormal(t0, t1, t2, n))
      {
        continue; // a zero-length edge has no plane
      }
      normalize3(n);
      const double d     = -dot3(n, t1);
      const double e0[3] = {t2[0] - t1[0], t2[1] - t1[1], t2[2] - t1[2]};
      const double w     = std::sqrt(dot3(e0, e0));
      planeQuadric(n, d, q);
      double* qa = quadric(a);
      double* qb = quadric(b);
      for (int i = 0; i < 11; ++i)
      {
        qa[i] += w * q[i];
        qb[i] += w * q[i];
      }
    }
  }
}

bool algoMesh_vtkQuadricDecimation::hasEdgeNeighbour(const int32_t cellId,
                                                     const int32_t a,
                                                     const int32_t b) const
{
  // Any other cell using both ends, whatever its type (a line left by a cleaner counts).
  const int32_t* cells  = Work.PointCells(a);
  const int32_t  ncells = Work.NbPointCells(a);
  for (int32_t i = 0; i < ncells; ++i)
  {
    if (cells[i] != cellId && Work.UsesPoint(cells[i], b))
    {
      return true;
    }
  }
  return false;
}

double algoMesh_vtkQuadricDecimation::ComputeCost(const vtkIdType edgeId, double* x)
{
  const int32_t p0 = Edges.Key(static_cast<int32_t>(edgeId)).first;
  const int32_t p1 = Edges.Key(static_cast<int32_t>(edgeId)).second;
  const int     qs = quadricSize();
  double*       tq = TempQuad.data();
  const double* q0 = quadric(p0);
  const double* q1 = quadric(p1);
  for (int i = 0; i < qs; ++i)
  {
    tq[i] = q0[i] + q1[i];
  }

  const double a[3][3] = {{tq[0], tq[1], tq[2]}, {tq[1], tq[4], tq[5]}, {tq[2], tq[5], tq[7]}};
  const double b[3]    = {-tq[3], -tq[6], -tq[8]};
  double       norm    = 0.0;
  for (const auto& row : a)
  {
    norm = std::max(norm, std::sqrt(dot3(row, row)));
  }
  const double det = vtkMath::Determinant3x3(a);
  if (norm > 0.0 && std::fabs(det) / (norm * norm * norm) > 1e-10)
  {
    // 1. Well-conditioned: the point minimising the quadric.
    vtkMath::LinearSolve3x3(a, b, x);
  }
  else
  {
    // 2. Flat or linear quadric: the least-squares point on the edge line, else its middle.
    const Coords  c0   = point(p0);
    const Coords  c1   = point(p1);
    const double* pt0  = c0.Value;
    const double* pt1  = c1.Value;
    const double  v[3] = {pt1[0] - pt0[0], pt1[1] - pt0[1], pt1[2] - pt0[2]};
    double        av[3], ap0[3];
    vtkMath::Multiply3x3(a, v, av);
    vtkMath::Multiply3x3(a, pt0, ap0);
    const double avav = dot3(av, av);
    if (avav > 1e-10)
    {
      const double r[3] = {b[0] - ap0[0], b[1] - ap0[1], b[2] - ap0[2]};
      const double t    = dot3(av, r) / avav;
      for (int i = 0; i < 3; ++i)
      {
        x[i] = pt0[i] + t * v[i];
      }
    }
    else
    {
      for (int i = 0; i < 3; ++i)
      {
        x[i] = 0.5 * (pt0[i] + pt1[i]);
      }
    }
  }

  // 3. Error of (x, 1) under the 4x4 plane matrix, summed row by row, each row's diagonal
  // term first: on meshes with symmetric regions many costs tie, and the order of this sum
  // decides their last bits, so which of them comes first.
  const double xb[4] = {x[0], x[1], x[2], 1.0};
  double       cost  = 0.0;
  int          k     = 0;
  for (int i = 0; i < 4; ++i)
  {
    cost += tq[k++] * xb[i] * xb[i];
    for (int j = i + 1; j < 4; ++j)
    {
      cost += 2.0 * tq[k++] * xb[i] * xb[j];
    }
  }
  return cost;
}

void algoMesh_vtkQuadricDecimation::fillAttributeSystem(const vtkIdType p0,
                                                        const vtkIdType p1,
                                                        const int       n,
                                                        const int       m)
{
  const double* tq              = TempQuad.data();
  double**      a               = TempA.data();
  double*       b               = TempB.data();
  const int     geometric[3][3] = {{0, 1, 2}, {1, 4, 5}, {2, 5, 7}};
  for (int i = 0; i < 3; ++i)
  {
    for (int j = 0; j < 3; ++j)
    {
      a[i][j] = tq[geometric[i][j]];
    }
  }
  b[0] = -tq[3];
  b[1] = -tq[6];
  b[2] = -tq[8];
  for (int i = 3; i < n; ++i)
  {
    const int k = i - 3;
    a[0][i] = a[i][0] = tq[11 + 4 * k];
    a[1][i] = a[i][1] = tq[12 + 4 * k];
    a[2][i] = a[i][2] = tq[13 + 4 * k];
    b[i]              = -tq[14 + 4 * k];
    for (int j = 3; j < n; ++j)
    {
      a[i][j] = i == j ? tq[10] : 0.0;
    }
  }
  if (m > n)
  {
    // Volume constraint in the last row and column.
    const double* v0 = VolumeConstraints.data() + 4 * static_cast<size_t>(p0);
    const double* v1 = VolumeConstraints.data() + 4 * static_cast<size_t>(p1);
    for (int j = 0; j <= n; ++j)
    {
      a[j][n] = a[n][j] = j < 3 ? v0[j] + v1[j] : 0.0;
    }
    b[n] = v0[3] + v1[3];
  }
}

double algoMesh_vtkQuadricDecimation::ComputeCost2(const vtkIdType edgeId, double* x)
{
  const int32_t p0 = Edges.Key(static_cast<int32_t>(edgeId)).first;
  const int32_t p1 = Edges.Key(static_cast<int32_t>(edgeId)).second;
  const int     qs = quadricSize();
  const int     n  = 3 + NumberOfComponents;
  const int     m  = n + (VolumePreservation ? 1 : 0);
  double*       tq = TempQuad.data();
  const double* q0 = quadric(p0);
  const double* q1 = quadric(p1);
  for (int i = 0; i < qs; ++i)
  {
    tq[i] = q0[i] + q1[i];
  }

  // 1-3. Solve the dense system in place, then rebuild it (the solver destroys it).
  fillAttributeSystem(p0, p1, n, m);
  for (int i = 0; i < m; ++i)
  {
    x[i] = TempB[i];
  }
  // The solver may report success on a singular system after an earlier failure, with a
  // result that is not a number: such a result counts as a failure.
  bool solved = vtkMath::SolveLinearSystem(TempA.data(), x, m) != 0;
  for (int i = 0; i < m && solved; ++i)
  {
    solved = std::isfinite(x[i]);
  }
  fillAttributeSystem(p0, p1, n, m);
  double** a = TempA.data();
  double*  b = TempB.data();

  // 4. Singular system: the least-squares point on the segment between the two ends'
  // attribute vectors, else their middle.
  if (!solved)
  {
    std::vector<double> c0(n), c1(n), v(n), w(n, 0.0);
    GetPointAttributeArray(p0, c0.data());
    GetPointAttributeArray(p1, c1.data());
    for (int i = 0; i < n; ++i)
    {
      v[i] = c1[i] - c0[i];
    }
    double ww = 0.0, wr = 0.0;
    for (int i = 0; i < n; ++i)
    {
      double ac0 = 0.0;
      for (int j = 0; j < n; ++j)
      {
        w[i] += a[i][j] * v[j];
        ac0 += a[i][j] * c0[j];
      }
      ww += w[i] * w[i];
      wr += w[i] * (b[i] - ac0);
    }
    if (ww > 1e-10)
    {
      const double t = wr / ww;
      for (int i = 0; i < n; ++i)
      {
        x[i] = c0[i] + t * v[i];
      }
    }
    else
    {
      for (int i = 0; i < n; ++i)
      {
        x[i] = 0.5 * (c0[i] + c1[i]);
      }
    }
  }

  // 5. x^T A x - 2 b^T x + d^2: the quadratic form row by row (diagonal term first), then the
  // linear terms; as in ComputeCost, this order decides the last bits of tied costs.
  double cost = 0.0;
  for (int i = 0; i < m; ++i)
  {
    cost += a[i][i] * x[i] * x[i];
    for (int j = i + 1; j < m; ++j)
    {
      cost += 2.0 * a[i][j] * x[i] * x[j];
    }
  }
  for (int i = 0; i < m; ++i)
  {
    cost -= 2.0 * b[i] * x[i];
  }
  return cost + tq[9];
}

int algoMesh_vtkQuadricDecimation::IsGoodPlacement(const vtkIdType pt0Id,
                                                   const vtkIdType pt1Id,
                                                   const double*   x)
{
  const int32_t ends[2][2] = {{static_cast<int32_t>(pt0Id), static_cast<int32_t>(pt1Id)},
                              {static_cast<int32_t>(pt1Id), static_cast<int32_t>(pt0Id)}};
  for (const auto& end : ends)
  {
    const int32_t* cells  = Work.PointCells(end[0]);
    const int32_t  ncells = Work.NbPointCells(end[0]);
    for (int32_t i = 0; i < ncells; ++i)
    {
      if (!Work.IsTriangle(cells[i]))
      {
        continue;
      }
      const int32_t* pts = Work.Triangle(cells[i]);
      if (pts[0] == end[1] || pts[1] == end[1] || pts[2] == end[1])
      {
        continue; // triangles on the edge vanish; they cannot fold
      }
      const int k = pts[0] == end[0] ? 0 : (pts[1] == end[0] ? 1 : 2);
      if (!TrianglePlaneCheck(point(pts[k]).Value, point(pts[(k + 1) % 3]).Value,
                              point(pts[(k + 2) % 3]).Value, x))
      {
        return 0;
      }
    }
  }
  return 1;
}

int algoMesh_vtkQuadricDecimation::TrianglePlaneCheck(const double  t0[3],
                                                      const double  t1[3],
                                                      const double  t2[3],
                                                      const double* x)
{
  double n[3];
  if (!inPlaneEdgeNormal(t0, t1, t2, n))
  {
    return 0; // a zero-length opposite edge leaves no side to stay on
  }
  double e2[3] = {x[0] - t1[0], x[1] - t1[1], x[2] - t1[2]};

  // The test asks whether the cosine of the angle between n and e2 exceeds 1e-5. Comparing
  // squares decides it without the two roots and six divisions of normalising, whenever the
  // cosine lies outside a band of 1e-6 of the threshold around it: rounding moves either
  // route's cosine by a few units in the last place of 1, far less than that band. A cosine
  // inside the band, or lengths whose squares leave the safe range, take the normalised route.
  const double dot = dot3(n, e2);
  const double nn  = dot3(n, n);
  const double ee  = dot3(e2, e2);
  if (nn > THE_TINY_SQUARE && nn < THE_HUGE_SQUARE && ee > THE_TINY_SQUARE && ee < THE_HUGE_SQUARE)
  {
    const double lengths = nn * ee;
    if (dot > 0.0 && dot * dot > THE_FOLD_ABOVE * lengths)
    {
      return 1;
    }
    if (dot <= 0.0 || dot * dot < THE_FOLD_BELOW * lengths)
    {
      return 0;
    }
  }
  normalize3(n);
  normalize3(e2);
  return dot3(n, e2) > 1e-5 ? 1 : 0;
}

void algoMesh_vtkQuadricDecimation::AddQuadric(const vtkIdType sourceId,
                                               const vtkIdType destinationId)
{
  const int     qs  = quadricSize();
  const double* src = quadric(sourceId);
  double*       dst = quadric(destinationId);
  for (int i = 0; i < qs; ++i)
  {
    dst[i] += src[i];
  }
  if (VolumePreservation)
  {
    const double* vs = VolumeConstraints.data() + 4 * static_cast<size_t>(sourceId);
    double*       vd = VolumeConstraints.data() + 4 * static_cast<size_t>(destinationId);
    for (int i = 0; i < 4; ++i)
    {
      vd[i] += vs[i];
    }
  }
}

void algoMesh_vtkQuadricDecimation::FindAffectedEdges(const vtkIdType       p0,
                                                      const vtkIdType       p1,
                                                      std::vector<int32_t>& edges)
{
  edges.clear();
  // Edges at p1 first, then at p0, each in order of first meeting its other end. Every
  // neighbour is met twice on a manifold (once per triangle of the edge), so neighbours are
  // made unique before the lookup rather than the edge ids after it.
  std::vector<int32_t>& neighbours = MovedCellPoints;
  for (const vtkIdType end : {p1, p0})
  {
    neighbours.clear();
    const int32_t* cells  = Work.PointCells(static_cast<int32_t>(end));
    const int32_t  ncells = Work.NbPointCells(static_cast<int32_t>(end));
    for (int32_t i = 0; i < ncells; ++i)
    {
      if (!Work.IsTriangle(cells[i]))
      {
        continue;
      }
      const int32_t* pts = Work.Triangle(cells[i]);
      for (int k = 0; k < 3; ++k)
      {
        const int32_t v = pts[k];
        if (v != p0 && v != p1 &&
            std::find(neighbours.begin(), neighbours.end(), v) == neighbours.end())
        {
          neighbours.push_back(v);
          Edges.PrefetchList(v, static_cast<int32_t>(end));
        }
      }
    }
    for (const int32_t v : neighbours)
    {
      const int32_t id = Edges.Find(v, static_cast<int32_t>(end));
      if (id >= 0)
      {
        edges.push_back(id);
      }
    }
  }
}

void algoMesh_vtkQuadricDecimation::UpdateEdgeData(const vtkIdType pt0Id, const vtkIdType pt1Id)
{
  std::vector<int32_t>& changed = ChangedEdges;
  FindAffectedEdges(pt0Id, pt1Id, changed);

  // The edges are known before any is touched: their keys, heap items and far-end quadrics are
  // fetched in two waves first, so that their cache misses overlap.
  for (const int32_t e : changed)
  {
    EdgeCosts.PrefetchLocation(e);
    Edges.PrefetchKey(e);
  }
  for (const int32_t e : changed)
  {
    EdgeCosts.PrefetchItem(e);
    const std::pair<int32_t, int32_t>& key = Edges.Key(e);
    const int32_t other = key.first == pt0Id || key.first == pt1Id ? key.second : key.first;
    __builtin_prefetch(quadric(other));
    __builtin_prefetch(quadric(other) + 8);
    __builtin_prefetch(quadric(other) + quadricSize() - 1); // an entry may touch three lines
  }

  double* x = TargetPoint.data();
  for (const int32_t e : changed)
  {
    const std::pair<int32_t, int32_t> key = Edges.Key(e);
    EdgeCosts.DeleteId(e);
    if (key.first == pt1Id || key.second == pt1Id)
    {
      // An edge of the removed point moves to the survivor, unless the survivor has it
      // already; the old key stays, never queued again.
      const int32_t other = key.first == pt1Id ? key.second : key.first;
      Edges.ForgetEdge(other, static_cast<int32_t>(pt1Id));
      if (Edges.Find(other, static_cast<int32_t>(pt0Id)) >= 0)
      {
        continue;
      }
      const int32_t newId = Edges.AddNew(other, static_cast<int32_t>(pt0Id));
      EdgeCosts.Insert(edgeCost(newId, x), newId);
    }
    else
    {
      EdgeCosts.Insert(edgeCost(e, x), e);
    }
  }
}

int algoMesh_vtkQuadricDecimation::CollapseEdge(const vtkIdType pt0Id, const vtkIdType pt1Id)
{
  const int32_t p0         = static_cast<int32_t>(pt0Id);
  const int32_t p1         = static_cast<int32_t>(pt1Id);
  int           numDeleted = 0;

  // 1. Cells on the edge vanish. They are collected first: removing their references edits
  // the list being walked.
  std::vector<int32_t>& cells = CollapseCellIds;
  cells.assign(Work.PointCells(p0), Work.PointCells(p0) + Work.NbPointCells(p0));
  for (const int32_t cellId : cells)
  {
    if (Work.UsesPoint(cellId, p1))
    {
      numDeleted += Work.IsTriangle(cellId) ? 1 : 0;
      Work.RemoveCellReference(cellId);
      Work.DeleteCell(cellId);
    }
  }

  // 2. The other cells of p1 move to p0; one that would duplicate a triangle of p0 is
  // deleted instead.
  cells.assign(Work.PointCells(p1), Work.PointCells(p1) + Work.NbPointCells(p1));
  Work.ReserveCellList(p0, static_cast<int32_t>(cells.size()));
  std::vector<int32_t>& moved = MovedCellPoints;
  for (const int32_t cellId : cells)
  {
    const int32_t* pts  = nullptr;
    const int32_t  npts = Work.CellPoints(cellId, pts);
    moved.assign(pts, pts + npts);
    std::replace(moved.begin(), moved.end(), p1, p0);
    if (Work.IsTriangle(cellId) && hasTriangle(p0, moved.data()))
    {
      Work.RemoveCellReference(cellId);
      Work.DeleteCell(cellId);
      ++numDeleted;
      continue;
    }
    Work.AddReferenceToCell(p0, cellId);
    Work.ReplaceCellPoints(cellId, moved.data());
  }

  // 3. p1 is gone.
  Work.DeletePoint(p1);
  Edges.ForgetPoint(p1);
  return numDeleted;
}

bool algoMesh_vtkQuadricDecimation::hasTriangle(const int32_t around, const int32_t* corners) const
{
  // A triangle over the corners is in the links of each of them, so the list of any one
  // answers; the collapse passes the survivor, whose list and triangles it has just read.
  const int32_t  a      = corners[0];
  const int32_t  b      = corners[1];
  const int32_t  c      = corners[2];
  const int32_t* cells  = Work.PointCells(around);
  const int32_t  ncells = Work.NbPointCells(around);
  for (int32_t i = 0; i < ncells; ++i)
  {
    if (!Work.IsTriangle(cells[i]))
    {
      continue;
    }
    const int32_t* pts = Work.Triangle(cells[i]);
    const auto has = [pts](const int32_t v) { return pts[0] == v || pts[1] == v || pts[2] == v; };
    if (has(a) && has(b) && has(c))
    {
      return true;
    }
  }
  return false;
}

void algoMesh_vtkQuadricDecimation::ComputeNumberOfComponents()
{
  vtkPointData* pd = Mesh->GetPointData();
  pd->CopyAllOff();
  for (int i = 0; i < 6; ++i)
  {
    AttributeComponents[i] = 0;
    AttributeScale[i]      = 1.0;
    AttributeArrays[i]     = nullptr;
  }
  NumberOfComponents = 0;

  // Scalars, vectors, normals, texture coordinates, tensors, in that order. A ranged
  // attribute is scaled by weight / range and left out when constant; normals are unit
  // vectors and scaled by half their weight.
  vtkDataArray* const arrays[5] = {pd->GetScalars(), pd->GetVectors(), pd->GetNormals(),
                                   pd->GetTCoords(), pd->GetTensors()};
  const int    used[5]    = {ScalarsAttribute, VectorsAttribute, NormalsAttribute, TCoordsAttribute,
                             TensorsAttribute};
  const double weights[5] = {ScalarsWeight, VectorsWeight, NormalsWeight, TCoordsWeight,
                             TensorsWeight};
  for (int j = 0; j < 5; ++j)
  {
    vtkDataArray* array = arrays[j];
    if (array != nullptr && used[j])
    {
      const int nbComp = array->GetNumberOfComponents();
      if (j == 2)
      {
        NumberOfComponents += 3;
        pd->CopyNormalsOn();
        AttributeScale[j]  = 0.5 * weights[j];
        AttributeArrays[j] = array;
      }
      else
      {
        double maxRange = 0.0;
        for (int c = 0; c < nbComp; ++c)
        {
          double range[2];
          array->GetRange(range, c);
          maxRange = std::max(maxRange, range[1] - range[0]);
        }
        if (maxRange != 0.0)
        {
          NumberOfComponents += nbComp;
          pd->SetCopyAttribute(j, 1);
          AttributeScale[j]  = weights[j] / maxRange;
          AttributeArrays[j] = array;
        }
      }
    }
    AttributeComponents[j] = NumberOfComponents;
  }
  AttributeComponents[5] = NumberOfComponents;
}

void algoMesh_vtkQuadricDecimation::GetPointAttributeArray(const vtkIdType ptId, double* x)
{
  const Coords c = point(ptId);
  std::copy_n(c.Value, 3, x);
  int attribute = 0;
  for (int i = 0; i < NumberOfComponents; ++i)
  {
    while (AttributeComponents[attribute] <= i)
    {
      ++attribute;
    }
    const int first = attribute == 0 ? 0 : AttributeComponents[attribute - 1];
    x[3 + i] =
        AttributeArrays[attribute]->GetComponent(ptId, i - first) * AttributeScale[attribute];
  }
}

void algoMesh_vtkQuadricDecimation::SetPointAttributeArray(const vtkIdType ptId, const double* x)
{
  // The target is stored in single precision, as every working point (see loadWorkingMesh);
  // the input's point follows at the end of the run.
  setPoint(ptId, x);
  MovedPoints[ptId] = 1;
  int attribute     = 0;
  for (int i = 0; i < NumberOfComponents; ++i)
  {
    while (AttributeComponents[attribute] <= i)
    {
      ++attribute;
    }
    const int first = attribute == 0 ? 0 : AttributeComponents[attribute - 1];
    AttributeArrays[attribute]->SetComponent(ptId, i - first, x[3 + i] / AttributeScale[attribute]);
  }
}
