// Quadric edge-collapse decimation as a VTK filter.
//
// Every point carries the sum of the squared-distance quadrics of the planes of its triangles
// (weighted by area), plus plane quadrics that pin boundary edges. The cost of an edge is the
// error of the point minimising the sum of its two ends' quadrics; edges sit in a binary heap
// keyed by that cost. The cheapest edge is collapsed (its larger-id end merged into the
// smaller), the quadrics are added, and only the edges around the merged point are re-costed.
// Garland and Heckbert, "Surface Simplification Using Quadric Error Metrics", SIGGRAPH 1997;
// attributes after Hoppe, "New Quadric Metric for Simplifying Meshes with Appearance
// Attributes", IEEE Visualization 1999.
//
// Cost: O(n log n) for n triangles. Edges are found by a hash probe on their pair of point ids,
// neighbourhoods through the poly data's point-to-cell links; each collapse costs
// O(d log n) for the d edges around the merged point.
#include <algoMesh_vtkQuadricDecimation.hxx>

#include <NCollection_IncAllocator.hxx>

#include <vtkCellArray.h>
#include <vtkCellType.h>
#include <vtkDataArray.h>
#include <vtkIdList.h>
#include <vtkInformation.h>
#include <vtkInformationVector.h>
#include <vtkMath.h>
#include <vtkObjectFactory.h>
#include <vtkOutputWindow.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPriorityQueue.h>

#include <algorithm>
#include <cmath>
#include <sstream>

vtkStandardNewMacro(algoMesh_vtkQuadricDecimation);

namespace
{

//! Cost of an edge that must not be collapsed; also the bound that ends the run.
constexpr double THE_LARGE_COST = 1.0e299;

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

//! Triangle corners of cell `cellId`, or false for any other cell (lines and vertices that
//! an upstream cleaner made of degenerate triangles, deleted cells).
inline bool triangleOf(vtkPolyData* mesh, const vtkIdType cellId, const vtkIdType*& pts)
{
  vtkIdType npts = 0;
  return mesh->GetCellPoints(cellId, npts, pts) == VTK_TRIANGLE && npts == 3;
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

//! True when a triangle over the points a, b, c (in any order) exists; only the triangles
//! around `a` need to be looked at.
inline bool hasTriangle(vtkPolyData* mesh, const vtkIdType a, const vtkIdType b, const vtkIdType c)
{
  vtkIdType  ncells = 0;
  vtkIdType* cells  = nullptr;
  mesh->GetPointCells(a, ncells, cells);
  for (vtkIdType i = 0; i < ncells; ++i)
  {
    const vtkIdType* pts = nullptr;
    if (!triangleOf(mesh, cells[i], pts))
    {
      continue;
    }
    const auto has = [pts](const vtkIdType v) { return pts[0] == v || pts[1] == v || pts[2] == v; };
    if (has(a) && has(b) && has(c))
    {
      return true;
    }
  }
  return false;
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
      TensorsWeight(0.1), ActualReduction(0.0), NumberOfEdgeCollapses(0),
      EdgeCosts(vtkPriorityQueue::New()), NumberOfComponents(0),
      Mesh(nullptr), AttributeComponents{0, 0, 0, 0, 0, 0},
      AttributeScale{1.0, 1.0, 1.0, 1.0, 1.0, 1.0}, AttributeArrays{nullptr, nullptr, nullptr,
                                                                    nullptr, nullptr, nullptr},
      CollapseCellIds(nullptr), ChangedEdges(nullptr)
{
}

algoMesh_vtkQuadricDecimation::~algoMesh_vtkQuadricDecimation()
{
  EdgeCosts->Delete();
}

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
  // 1. Input and output of the pipeline.
  vtkPolyData* input  = vtkPolyData::GetData(inputVector[0]);
  vtkPolyData* output = vtkPolyData::GetData(outputVector);
  if (input == nullptr || output == nullptr)
  {
    reportError("Nothing to decimate", __LINE__);
    return 1;
  }

  // 2. Only triangle meshes with points can be decimated.
  if (input->GetPolys() == nullptr || input->GetPoints() == nullptr ||
      input->GetPointData() == nullptr || input->GetFieldData() == nullptr)
  {
    reportError("Nothing to decimate", __LINE__);
    return 1;
  }
  if (input->GetPolys()->GetMaxCellSize() > 3)
  {
    reportError("Can only decimate triangles", __LINE__);
    return 1;
  }
  const vtkIdType numPts  = input->GetNumberOfPoints();
  const vtkIdType numTris = input->GetNumberOfPolys();

  // 3. The input itself is the working mesh, with cells and links.
  Mesh = input;
  if (Mesh->NeedToBuildCells())
  {
    Mesh->BuildCells();
  }
  Mesh->BuildLinks();

  // 4-5. Queue pre-sized to three entries per triangle.
  NumberOfComponents = 0;
  EdgeCosts->Reset();
  EdgeCosts->Allocate(3 * numTris, 1000);

  // 6. Edges in order of first appearance, keyed by their two point ids. The nodes come
  // from one incremental allocator dropped at the end of the run.
  // (A raw pointer would pick Clear(bool) and leak.)
  const Handle(NCollection_BaseAllocator) nodeAllocator = new NCollection_IncAllocator(1 << 20);
  EdgeMap.Clear(nodeAllocator);
  EdgeMap.ReSize(static_cast<Standard_Integer>(std::min<vtkIdType>(3 * numTris / 2 + 16, 1 << 30)));
  const vtkIdType numCells = Mesh->GetNumberOfCells();
  for (vtkIdType cellId = 0; cellId < numCells; ++cellId)
  {
    const vtkIdType* pts = nullptr;
    if (!triangleOf(Mesh, cellId, pts))
    {
      continue;
    }
    for (int j = 0; j < 3; ++j)
    {
      EdgeMap.Add(Edge(pts[j], pts[(j + 1) % 3]));
    }
  }

  // 7. Attribute components of the metric.
  UpdateProgress(0.1);
  if (AttributeErrorMetric)
  {
    ComputeNumberOfComponents();
  }

  // 8. Scratch buffers shared by all cost evaluations of the run.
  const int vp    = VolumePreservation ? 1 : 0;
  const int m     = 3 + NumberOfComponents + vp;
  CollapseCellIds = vtkIdList::New();
  CollapseCellIds->Allocate(64);
  ChangedEdges = vtkIdList::New();
  ChangedEdges->Allocate(64);
  TargetPoint.assign(m, 0.0);
  TempQuad.assign(quadricSize(), 0.0);
  TempB.assign(m, 0.0);
  TempAStorage.assign(static_cast<size_t>(m) * m, 0.0);
  TempA.resize(m);
  for (int i = 0; i < m; ++i)
  {
    TempA[i] = TempAStorage.data() + static_cast<size_t>(i) * m;
  }
  double* x = TargetPoint.data();

  // 9. Quadrics of the triangles and of the boundary edges.
  InitializeQuadrics(numPts);
  AddBoundaryConstraints();
  UpdateProgress(0.15);

  // 10. Every edge queued with its cost.
  const vtkIdType numEdges = EdgeMap.Extent();
  for (vtkIdType e = 0; e < numEdges; ++e)
  {
    EdgeCosts->Insert(edgeCost(e, x), e);
  }

  // 11-12. Collapse the cheapest edge until the target is reached.
  UpdateProgress(0.2);
  ActualReduction       = 0.0;
  NumberOfEdgeCollapses = 0;
  vtkIdType deleted     = 0;
  double    cost        = 0.0;
  vtkIdType edgeId      = EdgeCosts->Pop(0, cost);
  bool      abort       = false;
  while (edgeId >= 0 && cost < THE_LARGE_COST && ActualReduction < TargetReduction && !abort)
  {
    if (NumberOfEdgeCollapses % 10000 == 0)
    {
      UpdateProgress(0.2 + 0.8 * NumberOfEdgeCollapses / static_cast<double>(numPts));
      abort = GetAbortExecute() != 0;
    }
    const Edge&     key = EdgeMap.FindKey(static_cast<Standard_Integer>(edgeId + 1));
    const vtkIdType p0  = key.First;
    const vtkIdType p1  = key.Second;
    edgeCost(edgeId, x); // the target from the current quadrics
    if (!IsGoodPlacement(p0, p1, x))
    {
      EdgeCosts->Insert(THE_LARGE_COST, edgeId);
    }
    else
    {
      ++NumberOfEdgeCollapses;
      SetPointAttributeArray(p0, x);
      AddQuadric(p1, p0);
      UpdateEdgeData(p0, p1);
      deleted += CollapseEdge(p0, p1);
      ActualReduction = static_cast<double>(deleted) / static_cast<double>(numTris);
    }
    edgeId = EdgeCosts->Pop(0, cost);
  }

  // 13. Per-run structures released.
  ErrorQuadrics     = std::vector<double>();
  VolumeConstraints = std::vector<double>();
  TargetPoint       = std::vector<double>();
  TempQuad          = std::vector<double>();
  TempB             = std::vector<double>();
  TempAStorage      = std::vector<double>();
  TempA             = std::vector<double*>();
  CollapseCellIds->Delete();
  CollapseCellIds = nullptr;
  ChangedEdges->Delete();
  ChangedEdges    = nullptr;
  MovedCellPoints = std::vector<vtkIdType>();
  EdgeMap.Clear(NCollection_BaseAllocator::CommonBaseAllocator());
  EdgeCosts->Reset();

  // 14. Surviving cells copied to the output, points renumbered compactly.
  vtkIdList* kept = vtkIdList::New();
  kept->Allocate(numCells);
  for (vtkIdType cellId = 0; cellId < numCells; ++cellId)
  {
    if (Mesh->GetCellType(cellId) != VTK_EMPTY_CELL)
    {
      kept->InsertNextId(cellId);
    }
  }
  output->Reset();
  output->Allocate(Mesh, kept->GetNumberOfIds(), 1000);
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
  output->CopyCells(Mesh, kept);
  kept->Delete();
  Mesh->DeleteLinks();

  // 15. Interpolated normals back to unit length.
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
  Mesh = nullptr;
  return 1;
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

  const vtkIdType numCells = Mesh->GetNumberOfCells();
  for (vtkIdType cellId = 0; cellId < numCells; ++cellId)
  {
    const vtkIdType* pts = nullptr;
    if (!triangleOf(Mesh, cellId, pts))
    {
      continue;
    }
    double p[3][3];
    for (int k = 0; k < 3; ++k)
    {
      Mesh->GetPoint(pts[k], p[k]);
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
  vtkIdList*      neighbours = vtkIdList::New();
  const vtkIdType numCells   = Mesh->GetNumberOfCells();
  double          q[11];
  for (vtkIdType cellId = 0; cellId < numCells; ++cellId)
  {
    const vtkIdType* pts = nullptr;
    if (!triangleOf(Mesh, cellId, pts))
    {
      continue;
    }
    for (int j = 0; j < 3; ++j)
    {
      const vtkIdType a = pts[j];
      const vtkIdType b = pts[(j + 1) % 3];
      Mesh->GetCellEdgeNeighbors(cellId, a, b, neighbours);
      if (neighbours->GetNumberOfIds() != 0)
      {
        continue;
      }
      // Plane through the edge, perpendicular to its triangle, weighted by the edge length.
      double t0[3], t1[3], t2[3], n[3];
      Mesh->GetPoint(pts[(j + 2) % 3], t0);
      Mesh->GetPoint(a, t1);
      Mesh->GetPoint(b, t2);
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
  neighbours->Delete();
}

double algoMesh_vtkQuadricDecimation::ComputeCost(const vtkIdType edgeId, double* x)
{
  const Edge&     key = EdgeMap.FindKey(static_cast<Standard_Integer>(edgeId + 1));
  const vtkIdType p0  = key.First;
  const vtkIdType p1  = key.Second;
  const int       qs  = quadricSize();
  double*         tq  = TempQuad.data();
  const double*   q0  = quadric(p0);
  const double*   q1  = quadric(p1);
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
    double pt0[3], pt1[3];
    Mesh->GetPoint(p0, pt0);
    Mesh->GetPoint(p1, pt1);
    const double v[3] = {pt1[0] - pt0[0], pt1[1] - pt0[1], pt1[2] - pt0[2]};
    double       av[3], ap0[3];
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

  // 3. Error of (x, 1) under the 4x4 plane matrix.
  const double xb[4] = {x[0], x[1], x[2], 1.0};
  double       cost  = 0.0;
  int          k     = 0;
  for (int i = 0; i < 4; ++i)
  {
    for (int j = i; j < 4; ++j, ++k)
    {
      cost += (i == j ? 1.0 : 2.0) * xb[i] * xb[j] * tq[k];
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
  const Edge&     key = EdgeMap.FindKey(static_cast<Standard_Integer>(edgeId + 1));
  const vtkIdType p0  = key.First;
  const vtkIdType p1  = key.Second;
  const int       qs  = quadricSize();
  const int       n   = 3 + NumberOfComponents;
  const int       m   = n + (VolumePreservation ? 1 : 0);
  double*         tq  = TempQuad.data();
  const double*   q0  = quadric(p0);
  const double*   q1  = quadric(p1);
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

  // 5. x^T A x - 2 b^T x + d^2.
  double cost = 0.0;
  for (int i = 0; i < m; ++i)
  {
    cost += a[i][i] * x[i] * x[i];
    for (int j = i + 1; j < m; ++j)
    {
      cost += 2.0 * a[i][j] * x[i] * x[j];
    }
    cost -= 2.0 * b[i] * x[i];
  }
  return cost + tq[9];
}

int algoMesh_vtkQuadricDecimation::IsGoodPlacement(const vtkIdType pt0Id,
                                                   const vtkIdType pt1Id,
                                                   const double*   x)
{
  const vtkIdType ends[2][2] = {{pt0Id, pt1Id}, {pt1Id, pt0Id}};
  for (const auto& end : ends)
  {
    vtkIdType  ncells = 0;
    vtkIdType* cells  = nullptr;
    Mesh->GetPointCells(end[0], ncells, cells);
    for (vtkIdType i = 0; i < ncells; ++i)
    {
      const vtkIdType* pts = nullptr;
      if (!triangleOf(Mesh, cells[i], pts) || pts[0] == end[1] || pts[1] == end[1] ||
          pts[2] == end[1])
      {
        continue; // triangles on the edge vanish; they cannot fold
      }
      const int k = pts[0] == end[0] ? 0 : (pts[1] == end[0] ? 1 : 2);
      double    t0[3], t1[3], t2[3];
      Mesh->GetPoint(pts[k], t0);
      Mesh->GetPoint(pts[(k + 1) % 3], t1);
      Mesh->GetPoint(pts[(k + 2) % 3], t2);
      if (!TrianglePlaneCheck(t0, t1, t2, x))
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

void algoMesh_vtkQuadricDecimation::FindAffectedEdges(const vtkIdType p0,
                                                      const vtkIdType p1,
                                                      vtkIdList*      edges)
{
  edges->Reset();
  // Edges at p1 first, then at p0, each in order of first meeting its other end. Every
  // neighbour is met twice on a manifold (once per triangle of the edge), so neighbours are
  // made unique before the hash probe rather than the edge ids after it.
  std::vector<vtkIdType>& neighbours = MovedCellPoints;
  for (const vtkIdType end : {p1, p0})
  {
    neighbours.clear();
    vtkIdType  ncells = 0;
    vtkIdType* cells  = nullptr;
    Mesh->GetPointCells(end, ncells, cells);
    for (vtkIdType i = 0; i < ncells; ++i)
    {
      const vtkIdType* pts = nullptr;
      if (!triangleOf(Mesh, cells[i], pts))
      {
        continue;
      }
      for (int k = 0; k < 3; ++k)
      {
        const vtkIdType v = pts[k];
        if (v != p0 && v != p1 &&
            std::find(neighbours.begin(), neighbours.end(), v) == neighbours.end())
        {
          neighbours.push_back(v);
        }
      }
    }
    for (const vtkIdType v : neighbours)
    {
      const Standard_Integer index = EdgeMap.FindIndex(Edge(v, end));
      if (index > 0)
      {
        edges->InsertNextId(index - 1);
      }
    }
  }
}

void algoMesh_vtkQuadricDecimation::UpdateEdgeData(const vtkIdType pt0Id, const vtkIdType pt1Id)
{
  vtkIdList* changed = ChangedEdges;
  FindAffectedEdges(pt0Id, pt1Id, changed);
  double* x = TargetPoint.data();
  for (vtkIdType i = 0; i < changed->GetNumberOfIds(); ++i)
  {
    const vtkIdType e   = changed->GetId(i);
    const Edge      key = EdgeMap.FindKey(static_cast<Standard_Integer>(e + 1));
    EdgeCosts->DeleteId(e);
    if (key.First == pt1Id || key.Second == pt1Id)
    {
      // An edge of the removed point moves to the survivor, unless the survivor has it
      // already; the old key stays in the map, never queued again.
      const vtkIdType other = key.First == pt1Id ? key.Second : key.First;
      const Edge      moved(other, pt0Id);
      if (EdgeMap.Contains(moved))
      {
        continue;
      }
      const vtkIdType newId = EdgeMap.Add(moved) - 1;
      EdgeCosts->Insert(edgeCost(newId, x), newId);
    }
    else
    {
      EdgeCosts->Insert(edgeCost(e, x), e);
    }
  }
}

int algoMesh_vtkQuadricDecimation::CollapseEdge(const vtkIdType pt0Id, const vtkIdType pt1Id)
{
  int        numDeleted = 0;
  vtkIdType  ncells     = 0;
  vtkIdType* cells      = nullptr;

  // 1. Cells on the edge vanish. They are collected first: removing their references edits
  // the list being walked.
  CollapseCellIds->Reset();
  Mesh->GetPointCells(pt0Id, ncells, cells);
  for (vtkIdType i = 0; i < ncells; ++i)
  {
    if (Mesh->IsPointUsedByCell(pt1Id, cells[i]))
    {
      CollapseCellIds->InsertNextId(cells[i]);
    }
  }
  for (vtkIdType i = 0; i < CollapseCellIds->GetNumberOfIds(); ++i)
  {
    const vtkIdType cellId = CollapseCellIds->GetId(i);
    numDeleted += Mesh->GetCellType(cellId) == VTK_TRIANGLE ? 1 : 0;
    Mesh->RemoveCellReference(cellId);
    Mesh->DeleteCell(cellId);
  }

  // 2. The other cells of p1 move to p0; one that would duplicate a triangle of p0 is
  // deleted instead.
  CollapseCellIds->Reset();
  Mesh->GetPointCells(pt1Id, ncells, cells);
  for (vtkIdType i = 0; i < ncells; ++i)
  {
    CollapseCellIds->InsertNextId(cells[i]);
  }
  Mesh->ResizeCellList(pt0Id, static_cast<int>(ncells));
  for (vtkIdType i = 0; i < CollapseCellIds->GetNumberOfIds(); ++i)
  {
    const vtkIdType         cellId = CollapseCellIds->GetId(i);
    vtkIdType               npts   = 0;
    const vtkIdType*        pts    = nullptr;
    const int               type   = Mesh->GetCellPoints(cellId, npts, pts);
    std::vector<vtkIdType>& moved  = MovedCellPoints;
    moved.assign(pts, pts + npts);
    std::replace(moved.begin(), moved.end(), pt1Id, pt0Id);
    if (type == VTK_TRIANGLE && npts == 3 && hasTriangle(Mesh, moved[0], moved[1], moved[2]))
    {
      Mesh->RemoveCellReference(cellId);
      Mesh->DeleteCell(cellId);
      ++numDeleted;
      continue;
    }
    Mesh->AddReferenceToCell(pt0Id, cellId);
    Mesh->ReplaceCell(cellId, static_cast<int>(npts), moved.data());
  }

  // 3. p1 is gone.
  Mesh->DeletePoint(pt1Id);
  return numDeleted;
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
  Mesh->GetPoint(ptId, x);
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
  Mesh->GetPoints()->SetPoint(ptId, x);
  int attribute = 0;
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
