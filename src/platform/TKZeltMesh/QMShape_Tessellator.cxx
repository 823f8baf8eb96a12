// Surface tessellation of a B-rep shape: the kernel's incremental mesher for curvature and
// conformity, then per-face remeshing to the size (QMShape_FaceRefiner) on parallel
// threads, the results stored back into the faces in one sequential pass.
// Cost: the kernel pass, then O(n log n) for n final nodes spread over the faces.
#include <QMShape_Tessellator.hxx>

#include <QMShape_FaceRefiner.hxx>

#include <BRepAdaptor_Curve.hxx>
#include <BRepAdaptor_Curve2d.hxx>
#include <BRepBndLib.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepTools.hxx>
#include <IMeshTools_Parameters.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <Bnd_Box.hxx>
#include <NCollection_DataMap.hxx>
#include <Standard_Failure.hxx>
#include <TopExp.hxx>
#include <TopExp_Explorer.hxx>
#include <TopTools_IndexedDataMapOfShapeListOfShape.hxx>
#include <TopTools_ListIteratorOfListOfShape.hxx>
#include <TopoDS.hxx>

#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>
#include <vector>

namespace
{
const double THE_MAX_TRIANGLES = 2.0e7;

// Area of the triangles of a face mesh, in its own frame (lengths do not change with it).
double meshArea(const Handle(Poly_Triangulation) & mesh)
{
  double area = 0.0;
  for (int i = 1; i <= mesh->NbTriangles(); ++i)
  {
    int a, b, c;
    mesh->Triangle(i).Get(a, b, c);
    const gp_Vec ab(mesh->Node(a), mesh->Node(b)), ac(mesh->Node(a), mesh->Node(c));
    area += 0.5 * ab.Crossed(ac).Magnitude();
  }
  return area;
}
// Length of the edge polygons of a face on its mesh (seams count twice, as the face's
// boundary runs along them twice).
double meshPerimeter(const TopoDS_Face& face,
                     const Handle(Poly_Triangulation) & mesh,
                     const TopLoc_Location& location)
{
  double length = 0.0;
  for (TopExp_Explorer edges(face, TopAbs_EDGE); edges.More(); edges.Next())
  {
    const Handle(Poly_PolygonOnTriangulation)& polygon =
        BRep_Tool::PolygonOnTriangulation(TopoDS::Edge(edges.Current()), mesh, location);
    if (polygon.IsNull())
    {
      continue;
    }
    for (int i = 1; i < polygon->NbNodes(); ++i)
    {
      const int a = polygon->Node(i), b = polygon->Node(i + 1);
      if (a >= 1 && b >= 1 && a <= mesh->NbNodes() && b <= mesh->NbNodes())
      {
        length += mesh->Node(a).Distance(mesh->Node(b));
      }
    }
  }
  return length;
}

// Further runs of the kernel's pass, at finer deflections, when it left a face unmeshed.
const int THE_FIRST_PASS_RETRIES = 2;

// Whether every face that has a surface carries a mesh.
bool isEveryFaceMeshed(const TopoDS_Shape& shape)
{
  for (TopExp_Explorer faces(shape, TopAbs_FACE); faces.More(); faces.Next())
  {
    const TopoDS_Face& face = TopoDS::Face(faces.Current());
    TopLoc_Location    location;
    if (BRep_Tool::Triangulation(face, location).IsNull() && !BRep_Tool::Surface(face).IsNull())
    {
      return false;
    }
  }
  return true;
}

// Rounds in which the faces of the edges to coarsen say which polygon nodes they cannot
// give up; without agreement by then, every edge keeps the first pass's polygon.
const int THE_REMOVAL_ROUNDS = 4;

// Distance from p to the segment [a, b].
double segmentDistance(const gp_Pnt& p, const gp_Pnt& a, const gp_Pnt& b)
{
  const gp_Vec ab(a, b), ap(a, p);
  const double squared = ab.SquareMagnitude();
  const double along   = squared > 0.0 ? std::max(0.0, std::min(1.0, ap.Dot(ab) / squared)) : 0.0;
  return p.Distance(a.Translated(along * ab));
}

// Rounds of the search for chords that cut border nodes off: each round's divisions can put
// a node into another chord's cap, and near a tangent tip the caps shrink no faster than the
// gap between the curves, so a bounded number of rounds is tried.
const int THE_CHORD_ROUNDS = 6;

// One edge occurrence of a face: its parameter curve and its polygon's parameters, sorted.
struct BorderChain
{
  Handle(BRepAdaptor_Curve2d) PCurve;
  TopoDS_Edge         Edge;
  std::vector<double> Parameters;
  std::vector<gp_XY>  UV;
};

// The point of the curve between t0 and t1 nearest to p: samples, then a golden-section
// search around the best.
double
nearestParameter(const BRepAdaptor_Curve2d& curve, const double t0, const double t1, const gp_XY& p)
{
  const auto distance = [&](const double t) { return (curve.Value(t).XY() - p).SquareModulus(); };
  const int  samples  = 16;
  int        best     = 0;
  double     smallest = distance(t0);
  for (int i = 1; i <= samples; ++i)
  {
    const double d = distance(t0 + (t1 - t0) * i / samples);
    if (d < smallest)
    {
      smallest = d;
      best     = i;
    }
  }
  double       low   = t0 + (t1 - t0) * std::max(best - 1, 0) / samples;
  double       high  = t0 + (t1 - t0) * std::min(best + 1, samples) / samples;
  const double ratio = 0.5 * (std::sqrt(5.0) - 1.0);
  for (int i = 0; i < 40; ++i)
  {
    const double x1 = high - ratio * (high - low), x2 = low + ratio * (high - low);
    if (distance(x1) < distance(x2))
    {
      high = x2;
    }
    else
    {
      low = x1;
    }
  }
  return 0.5 * (low + high);
}

// The list bound to the edge in the map, bound empty first when there is none.
std::vector<double>&
listOf(NCollection_DataMap<TopoDS_Shape, std::vector<double>, TopTools_ShapeMapHasher>& map,
       const TopoDS_Shape&                                                              edge)
{
  std::vector<double>* list = map.ChangeSeek(edge);
  return list != nullptr ? *list : *map.Bound(edge, std::vector<double>());
}

// Settles which of the proposed polygon node removals every face can make. Each round the
// faces that have an edge in the list try the removals (QMShape_FaceRefiner::Prepare) and
// report those they cannot make, which leave the list; the rounds end when one is refused
// nothing, and each face then makes the same collapses again when it is refined, since it
// starts from the same mesh with the same list. Without agreement within the rounds no
// polygon changes.
void agreeOnRemovals(
    const TopTools_IndexedMapOfShape&                                                faces,
    const std::vector<QMShape_FaceRefiner::Settings>&                                settings,
    tbb::task_arena&                                                                 arena,
    NCollection_DataMap<TopoDS_Shape, std::vector<double>, TopTools_ShapeMapHasher>& removals)
{
  for (int round = 0; !removals.IsEmpty(); ++round)
  {
    if (round == THE_REMOVAL_ROUNDS)
    {
      removals.Clear();
      return;
    }
    std::vector<int> concerned;
    for (int i = 1; i <= faces.Extent(); ++i)
    {
      bool touches = false;
      for (TopExp_Explorer edges(faces(i), TopAbs_EDGE); edges.More() && !touches; edges.Next())
      {
        touches = removals.IsBound(edges.Current());
      }
      if (touches)
      {
        concerned.push_back(i);
      }
    }
    std::vector<std::vector<std::pair<TopoDS_Edge, double>>> refused(concerned.size());
    arena.execute(
        [&]
        {
          tbb::parallel_for(0, static_cast<int>(concerned.size()),
                            [&](const int k)
                            {
                              const int           i = concerned[k];
                              QMShape_FaceRefiner trial(TopoDS::Face(faces(i)), settings[i - 1]);
                              trial.Prepare();
                              refused[k] = trial.Refused();
                            });
        });
    NCollection_DataMap<TopoDS_Shape, std::vector<double>, TopTools_ShapeMapHasher> kept;
    for (const auto& list : refused)
    {
      for (const std::pair<TopoDS_Edge, double>& item : list)
      {
        listOf(kept, item.first).push_back(item.second);
      }
    }
    if (kept.IsEmpty())
    {
      return;
    }
    for (NCollection_DataMap<TopoDS_Shape, std::vector<double>, TopTools_ShapeMapHasher>::Iterator
             item(kept);
         item.More(); item.Next())
    {
      std::vector<double>& list   = item.ChangeValue();
      std::vector<double>* params = removals.ChangeSeek(item.Key());
      if (params == nullptr)
      {
        continue;
      }
      std::sort(list.begin(), list.end());
      params->erase(std::remove_if(params->begin(), params->end(),
                                   [&](const double t)
                                   { return QMShape_FaceMesh::IsListed(list, t); }),
                    params->end());
      if (params->empty())
      {
        removals.UnBind(item.Key());
      }
    }
  }
}
} // namespace

QMShape_Tessellator::QMShape_Tessellator()
    : m_nbThreads(0), m_isDone(false), m_nbTriangles(0), m_nbSplits(0), m_nbFlips(0), m_nbMoves(0),
      m_nbCollapses(0), m_nbFolds(0), m_nbRemovedNodes(0), m_deflection(0.0), m_edgeDeflection(0.0),
      m_edgeAngle(0.0)
{
}

void QMShape_Tessellator::SetParameters(const QMData_MeshParameters& parameters)
{
  m_parameters = parameters;
}

double QMShape_Tessellator::chooseDeflection() const
{
  Bnd_Box box;
  BRepBndLib::Add(m_shape, box, false);
  if (box.IsVoid())
  {
    return 0.0;
  }
  const double diagonal = std::sqrt(box.SquareExtent());
  if (!(diagonal > 0.0) || !std::isfinite(diagonal))
  {
    return 0.0;
  }
  const QMData_MeshParameters& p = m_parameters;
  double                       deflection;
  if (p.Deflection > 0.0 && p.Deflection < QMData_MeshParameters::Unset())
  {
    deflection = p.Deflection;
  }
  else if (p.EffMaxSize < QMData_MeshParameters::Unset())
  {
    deflection = p.EffMaxSize / 12.0;
  }
  else
  {
    deflection = diagonal / 1000.0;
  }
  return std::max({deflection, p.EffMinSize, diagonal * 1.0e-5});
}

void QMShape_Tessellator::Perform()
{
  m_isDone      = false;
  m_nbTriangles = m_nbSplits = m_nbFlips = m_nbMoves = m_nbCollapses = m_nbFolds = 0;
  m_nbRemovedNodes                                                               = 0;
  m_deflection                                                                   = 0.0;

  // 1. Nothing to mesh: not done.
  if (m_shape.IsNull())
  {
    return;
  }
  m_deflection = chooseDeflection();
  if (!(m_deflection > 0.0))
  {
    return;
  }

  // 2. First pass: the kernel's mesher resolves curvature and edge conformity. Meshes of
  // an earlier run are removed first: the kernel's mesher keeps any face mesh finer than it
  // is asked for, so a coarser second run would otherwise end at the first run's size
  // (faces that have no surface keep theirs). With a size
  // to mesh to, the edges are divided by the chordal deflection more than by the angle:
  // their polygon nodes stay fixed through the remeshing, and the angle alone divides a
  // small fillet's arc into many short segments that fan into slivers against edges of
  // the size. So the edges take twice the angle (at most 60 degrees) and half the
  // deflection, which keeps a larger arc as close to its curve as before.
  const bool            sized = m_parameters.EffMaxSize < QMData_MeshParameters::Unset();
  IMeshTools_Parameters first;
  first.Deflection         = sized ? 0.5 * m_deflection : m_deflection;
  first.DeflectionInterior = m_deflection;
  first.AngleInterior      = m_parameters.EffAngle;
  first.Angle =
      sized ? std::max(m_parameters.EffAngle, std::min(2.0 * m_parameters.EffAngle, M_PI / 3.0))
            : m_parameters.EffAngle;
  first.InParallel = Standard_True;
  // The kernel's mesher can leave a face without a mesh at one deflection and mesh it at
  // another (a crescent between nearly tangent curves): the pass is then run again at a
  // finer deflection, twice at most.
  for (int attempt = 0;; ++attempt)
  {
    BRepTools::Clean(m_shape);
    BRepMesh_IncrementalMesh(m_shape, first);
    if (attempt == THE_FIRST_PASS_RETRIES || isEveryFaceMeshed(m_shape))
    {
      break;
    }
    first.Deflection *= 0.7;
    first.DeflectionInterior *= 0.7;
  }
  m_edgeDeflection = first.Deflection;
  m_edgeAngle      = first.Angle;

  // 3. Refine and optimise the faces, and store the results.
  m_isDone = refineFaces();

  if (m_parameters.Verbosity > 0)
  {
    std::cout << "QMShape_Tessellator: " << (m_isDone ? "done" : "failed") << ", " << m_nbTriangles
              << " triangles, deflection " << m_deflection << ", " << m_nbSplits << " splits, "
              << m_nbFlips << " flips, " << m_nbMoves << " moves, " << m_nbCollapses
              << " collapses, " << m_nbRemovedNodes << " edge nodes removed, " << m_nbFolds
              << " folded" << std::endl;
  }
}

bool QMShape_Tessellator::refineFaces()
{
  TopTools_IndexedMapOfShape faces;
  TopExp::MapShapes(m_shape, TopAbs_FACE, faces);
  if (faces.IsEmpty())
  {
    return false;
  }

  // Every face with a surface must have been meshed by the first pass.
  std::vector<double> areas(faces.Extent(), 0.0), perimeters(faces.Extent(), 0.0);
  for (int i = 1; i <= faces.Extent(); ++i)
  {
    const TopoDS_Face& face = TopoDS::Face(faces(i));
    TopLoc_Location    location;
    const Handle(Poly_Triangulation)& mesh = BRep_Tool::Triangulation(face, location);
    if (mesh.IsNull())
    {
      if (!BRep_Tool::Surface(face).IsNull())
      {
        return false;
      }
      continue;
    }
    areas[i - 1]      = meshArea(mesh);
    perimeters[i - 1] = meshPerimeter(face, mesh, location);
  }

  // Sizes: a narrow face (a fillet strip) gets edges about twice as long as it is wide,
  // which gives its triangles angles of 45 degrees or more instead of slivers; its width is
  // estimated as twice its area over its perimeter (exact for a long strip), and the size
  // never goes below a quarter of the maximum size, where a strip's triangles still keep
  // angles of 20 degrees or more while its neighbours are not graded down around it. Each
  // edge takes the smallest size of its faces, so that all of them split it alike. A strip
  // so narrow that even the floor gives its triangles angles under 20 degrees keeps the
  // full size instead (as a tiny step between two faces leaves): its slivers cannot be
  // avoided at this size, so there should be as few of them as possible. Where the nodes
  // of its two sides face each other its triangles are right-angled, with legs of the
  // floor and the width, so that bound is a width of tan(20 degrees) times the floor. The
  // size guard then counts the triangles these sizes give.
  const double        maxSize = m_parameters.EffMaxSize;
  const bool          hasSize = maxSize < QMData_MeshParameters::Unset();
  std::vector<double> faceSizes(faces.Extent(), maxSize);
  NCollection_DataMap<TopoDS_Shape, double, TopTools_ShapeMapHasher> edgeSizes;
  double                                                             nbTriangles = 0.0;
  if (hasSize)
  {
    const double floor = std::max(maxSize / 4.0, 2.0 * m_parameters.EffMinSize);
    for (int i = 0; i < faces.Extent(); ++i)
    {
      const double width = perimeters[i] > 0.0 ? 2.0 * areas[i] / perimeters[i] : maxSize;
      if (width >= std::tan(20.0 * M_PI / 180.0) * floor)
      {
        faceSizes[i] = std::min(maxSize, std::max(floor, 2.0 * width));
      }
      nbTriangles += areas[i] / (0.25 * std::sqrt(3.0) * faceSizes[i] * faceSizes[i]);
      for (TopExp_Explorer edges(faces(i + 1), TopAbs_EDGE); edges.More(); edges.Next())
      {
        double* size = edgeSizes.ChangeSeek(edges.Current());
        if (size == nullptr)
        {
          edgeSizes.Bind(edges.Current(), faceSizes[i]);
        }
        else
        {
          *size = std::min(*size, faceSizes[i]);
        }
      }
    }
    if (nbTriangles > THE_MAX_TRIANGLES)
    {
      return false;
    }
  }

  // The face settings; every face of an edge sees the same size, splits and removals.
  NCollection_DataMap<TopoDS_Shape, std::vector<double>, TopTools_ShapeMapHasher> edgeSplits,
      edgeRemovals;
  std::vector<QMShape_FaceRefiner::Settings> settings(faces.Extent());
  for (int i = 0; i < faces.Extent(); ++i)
  {
    settings[i].MaxSize      = faceSizes[i];
    settings[i].EdgeSizes    = &edgeSizes;
    settings[i].EdgeSplits   = &edgeSplits;
    settings[i].EdgeRemovals = &edgeRemovals;
    settings[i].Deflection   = m_deflection;
    settings[i].NbPasses = m_parameters.SkipOptimisation ? 0 : m_parameters.NbOptimisationPasses;
    // Bisection of a face mesh needs about twice its area over the ideal triangle in nodes;
    // ten times that (and a floor) is a run-away, not a refinement.
    const double size     = faceSizes[i];
    const double expected = hasSize ? 10.0 * areas[i] / (0.43 * size * size) : 0.0;
    settings[i].MaxNodes  = static_cast<size_t>(std::min(expected, 1.0e9)) + 100000;
  }
  const int       hardware = static_cast<int>(tbb::this_task_arena::max_concurrency());
  tbb::task_arena arena(m_nbThreads > 0 ? std::min(m_nbThreads, std::max(hardware, 1))
                                        : tbb::task_arena::automatic);

  // Edges the first pass divided far more finely than their size, deflection and angle ask
  // (as it does along the two tangent curves of a crescent) lose their extra polygon nodes,
  // where every face of the edge can take the removal: polygon nodes stay fixed, and a
  // strip between two such edges is all slivers, one per node.
  if (hasSize)
  {
    chooseRemovals(edgeSizes, edgeRemovals);
    agreeOnRemovals(faces, settings, arena, edgeRemovals);
    for (NCollection_DataMap<TopoDS_Shape, std::vector<double>, TopTools_ShapeMapHasher>::Iterator
             item(edgeRemovals);
         item.More(); item.Next())
    {
      m_nbRemovedNodes += static_cast<int>(item.Value().size());
    }
    findCuttingChords(faces, edgeSizes, edgeRemovals, edgeSplits);
  }

  std::vector<std::unique_ptr<QMShape_FaceRefiner>> refiners(faces.Extent());
  for (int i = 1; i <= faces.Extent(); ++i)
  {
    refiners[i - 1].reset(new QMShape_FaceRefiner(TopoDS::Face(faces(i)), settings[i - 1]));
  }
  arena.execute(
      [&]
      {
        // A face without a mesh of the first pass gives no result; it is judged below.
        tbb::parallel_for(0, faces.Extent(), [&](const int i) { refiners[i]->Perform(); });
      });

  // Store sequentially: faces share edges, whose representation lists are not guarded.
  BRep_Builder builder;
  bool         allDone = true;
  for (int i = 0; i < faces.Extent(); ++i)
  {
    const QMShape_FaceRefiner& refiner = *refiners[i];
    if (refiner.Result().IsNull())
    {
      // Faces without a mesh of the first pass are those without surface (checked above).
      allDone = allDone && refiner.Source().IsNull();
      continue;
    }
    const TopoDS_Face& face = TopoDS::Face(faces(i + 1));
    for (const QMShape_FaceRefiner::EdgePolygon& polygon : refiner.Polygons())
    {
      builder.UpdateEdge(polygon.Edge, Handle(Poly_PolygonOnTriangulation)(), refiner.Source(),
                         refiner.Location());
    }
    builder.UpdateFace(face, refiner.Result());
    for (const QMShape_FaceRefiner::EdgePolygon& polygon : refiner.Polygons())
    {
      // A seam's two polygons are stored together. An edge can be closed on the face's
      // surface and still bound the face once (a seam line that Booleans made the border
      // between two faces of one cylinder): its single polygon is stored alone.
      Handle(Poly_PolygonOnTriangulation) twin;
      for (const QMShape_FaceRefiner::EdgePolygon& other : refiner.Polygons())
      {
        if (other.Edge.IsSame(polygon.Edge) &&
            other.Edge.Orientation() != polygon.Edge.Orientation())
        {
          twin = other.Result;
        }
      }
      if (twin.IsNull())
      {
        builder.UpdateEdge(polygon.Edge, polygon.Result, refiner.Result(), refiner.Location());
      }
      else if (polygon.Edge.Orientation() == TopAbs_FORWARD)
      {
        builder.UpdateEdge(polygon.Edge, polygon.Result, twin, refiner.Result(),
                           refiner.Location());
      }
    }
    m_nbTriangles += refiner.Result()->NbTriangles();
    m_nbSplits += refiner.NbSplits();
    m_nbFlips += refiner.NbFlips();
    m_nbMoves += refiner.NbMoves();
    m_nbCollapses += refiner.NbCollapses();
    m_nbFolds += refiner.NbFolds();
  }
  return allDone;
}

void QMShape_Tessellator::findCuttingChords(
    const TopTools_IndexedMapOfShape&                                                      faces,
    const NCollection_DataMap<TopoDS_Shape, double, TopTools_ShapeMapHasher>&              sizes,
    const NCollection_DataMap<TopoDS_Shape, std::vector<double>, TopTools_ShapeMapHasher>& removals,
    NCollection_DataMap<TopoDS_Shape, std::vector<double>, TopTools_ShapeMapHasher>& splits) const
{
  // Two boundary curves of a face tangent at a tip (a crescent left by Booleans between
  // nearly tangent surfaces) are divided by the first pass each at its own places. Near the
  // tip the gap between the curves is smaller than the distance from a chord to its arc, so
  // the chord of one curve passes beyond a node of the other: the face's border is no
  // longer a simple polygon in the parameter plane, no triangulation of it is upright, and
  // its triangles cross those of the neighbouring faces. Such a segment is divided at the
  // curve point nearest to the node it cuts off: the nodes of the two curves then face each
  // other, and chords between facing nodes do not cross. The divisions belong to the edge,
  // so every face sharing it makes the same ones.
  for (int round = 0; round < THE_CHORD_ROUNDS; ++round)
  {
    NCollection_DataMap<TopoDS_Shape, std::vector<double>, TopTools_ShapeMapHasher> found;
    for (int f = 1; f <= faces.Extent(); ++f)
    {
      const TopoDS_Face& face = TopoDS::Face(faces(f));
      TopLoc_Location    location;
      const Handle(Poly_Triangulation)& mesh = BRep_Tool::Triangulation(face, location);
      if (mesh.IsNull())
      {
        continue;
      }
      // 1. The chains of the face's border: seams and degenerated edges are left out (they
      // run along the parameter domain's own border).
      std::vector<BorderChain> chains;
      for (TopExp_Explorer edges(face, TopAbs_EDGE); edges.More(); edges.Next())
      {
        const TopoDS_Edge& edge = TopoDS::Edge(edges.Current());
        if (BRep_Tool::Degenerated(edge) || BRep_Tool::IsClosed(edge, face))
        {
          continue;
        }
        const Handle(Poly_PolygonOnTriangulation)& polygon =
            BRep_Tool::PolygonOnTriangulation(edge, mesh, location);
        if (polygon.IsNull() || !polygon->HasParameters() || polygon->NbNodes() < 2)
        {
          continue;
        }
        // The polygon as the faces will divide it (QMShape_FaceMesh::DivideSegment).
        BorderChain chain;
        chain.Edge                       = edge;
        const double*              size  = sizes.Seek(edge);
        const std::vector<double>* extra = splits.Seek(edge);
        std::vector<double>        parameters;
        std::vector<gp_Pnt>        points;
        try
        {
          const BRepAdaptor_Curve    curve(edge);
          const std::vector<double>* removed = removals.Seek(edge);
          std::vector<double>        kept;
          for (int i = 1; i <= polygon->NbNodes(); ++i)
          {
            const double t = polygon->Parameter(i);
            if (i == 1 || i == polygon->NbNodes() || removed == nullptr ||
                !QMShape_FaceMesh::IsListed(*removed, t))
            {
              kept.push_back(t);
            }
          }
          chain.Parameters.push_back(kept.front());
          for (size_t i = 0; i + 1 < kept.size(); ++i)
          {
            QMShape_FaceMesh::DivideSegment(curve, kept[i], kept[i + 1],
                                            size != nullptr ? *size : 1.0e100, extra, parameters,
                                            points);
            chain.Parameters.insert(chain.Parameters.end(), parameters.begin() + 1,
                                    parameters.end());
          }
        }
        catch (const Standard_Failure&)
        {
          continue;
        }
        try
        {
          chain.PCurve = new BRepAdaptor_Curve2d(edge, face);
          for (const double t : chain.Parameters)
          {
            chain.UV.push_back(chain.PCurve->Value(t).XY());
          }
        }
        catch (const Standard_Failure&)
        {
          continue;
        }
        chains.push_back(std::move(chain));
      }
      // 2. The border nodes sorted by their first parameter, for range look-ups.
      struct Node
      {
        gp_XY UV;
        int   Chain, Index;
      };
      std::vector<Node> nodes;
      for (int c = 0; c < static_cast<int>(chains.size()); ++c)
      {
        for (int i = 0; i < static_cast<int>(chains[c].UV.size()); ++i)
        {
          nodes.push_back({chains[c].UV[i], c, i});
        }
      }
      std::sort(nodes.begin(), nodes.end(),
                [](const Node& x, const Node& y) { return x.UV.X() < y.UV.X(); });
      // 3. Every segment whose cap (between the chord and the arc) holds another node.
      for (int c = 0; c < static_cast<int>(chains.size()); ++c)
      {
        const BorderChain& chain = chains[c];
        for (int j = 0; j + 1 < static_cast<int>(chain.UV.size()); ++j)
        {
          const double t0 = chain.Parameters[j], t1 = chain.Parameters[j + 1];
          const gp_XY  a = chain.UV[j], b = chain.UV[j + 1];
          const gp_XY  middle = chain.PCurve->Value(0.5 * (t0 + t1)).XY();
          const gp_XY  ab     = b - a;
          const double length = ab.Modulus();
          if (!(length > 0.0))
          {
            continue;
          }
          const double bulge = (ab ^ (middle - a)) / length; // signed arc height
          if (!(std::abs(bulge) > 1.0e-9 * length))
          {
            continue; // straight: no cap
          }
          const double lowU  = std::min({a.X(), b.X(), middle.X()});
          const double highU = std::max({a.X(), b.X(), middle.X()});
          const double lowV  = std::min({a.Y(), b.Y(), middle.Y()});
          const double highV = std::max({a.Y(), b.Y(), middle.Y()});
          auto         first = std::lower_bound(nodes.begin(), nodes.end(), lowU,
                                                [](const Node& n, const double u) { return n.UV.X() < u; });
          for (auto node = first; node != nodes.end() && node->UV.X() <= highU; ++node)
          {
            if (node->UV.Y() < lowV || node->UV.Y() > highV ||
                (node->Chain == c && (node->Index == j || node->Index == j + 1)) ||
                (node->UV - a).Modulus() < 1.0e-9 * length ||
                (node->UV - b).Modulus() < 1.0e-9 * length)
            {
              continue;
            }
            const gp_XY  p      = node->UV;
            const double along  = (p - a).Dot(ab) / (length * length);
            const double offset = (ab ^ (p - a)) / length;
            const double inward = bulge > 0.0 ? offset : -offset;
            if (!(along > 0.0 && along < 1.0 && inward > 0.0 && inward < 1.2 * std::abs(bulge)))
            {
              continue;
            }
            // In the cap when the arc at the node's foot stands further from the chord.
            const double t     = nearestParameter(*chain.PCurve, t0, t1, p);
            const gp_XY  foot  = chain.PCurve->Value(t).XY();
            const double arc   = (ab ^ (foot - a)) / length;
            const double reach = bulge > 0.0 ? arc : -arc;
            if (reach > inward && (foot - a).Modulus() > 1.0e-3 * length &&
                (foot - b).Modulus() > 1.0e-3 * length)
            {
              listOf(found, chain.Edge).push_back(t);
            }
          }
        }
      }
    }
    if (found.IsEmpty())
    {
      return;
    }
    for (NCollection_DataMap<TopoDS_Shape, std::vector<double>, TopTools_ShapeMapHasher>::Iterator
             item(found);
         item.More(); item.Next())
    {
      std::vector<double>& list = listOf(splits, item.Key());
      list.insert(list.end(), item.Value().begin(), item.Value().end());
      std::sort(list.begin(), list.end());
      list.erase(std::unique(list.begin(), list.end()), list.end());
    }
  }
}

void QMShape_Tessellator::chooseRemovals(
    const NCollection_DataMap<TopoDS_Shape, double, TopTools_ShapeMapHasher>&        sizes,
    NCollection_DataMap<TopoDS_Shape, std::vector<double>, TopTools_ShapeMapHasher>& removals) const
{
  // Along each edge, greedily: an inner polygon node goes when the chord from the last node
  // kept to the node after it stays within the edge's size, within the first pass's edge
  // deflection of the curve (at the nodes between and at the middles of their segments)
  // and turns the curve's tangent by no more than the first pass's angle. An edge divided
  // as the first pass was asked loses nothing; one divided for another face's sake (or
  // twice as finely) loses the extra nodes. Seams and degenerated edges, and edges whose
  // faces do not share one polygon, keep theirs.
  TopTools_IndexedDataMapOfShapeListOfShape edgeFaces;
  TopExp::MapShapesAndAncestors(m_shape, TopAbs_EDGE, TopAbs_FACE, edgeFaces);
  for (int e = 1; e <= edgeFaces.Extent(); ++e)
  {
    const TopoDS_Edge& edge = TopoDS::Edge(edgeFaces.FindKey(e));
    const double*      size = sizes.Seek(edge);
    if (size == nullptr || BRep_Tool::Degenerated(edge) || edgeFaces(e).IsEmpty())
    {
      continue;
    }
    // 1. The polygon's parameters, the same on every face.
    std::vector<double> parameters;
    bool                usable = true;
    for (TopTools_ListIteratorOfListOfShape it(edgeFaces(e)); it.More() && usable; it.Next())
    {
      const TopoDS_Face& face = TopoDS::Face(it.Value());
      TopLoc_Location    location;
      const Handle(Poly_Triangulation)& mesh = BRep_Tool::Triangulation(face, location);
      if (mesh.IsNull() || BRep_Tool::IsClosed(edge, face))
      {
        usable = false;
        break;
      }
      const Handle(Poly_PolygonOnTriangulation)& polygon =
          BRep_Tool::PolygonOnTriangulation(edge, mesh, location);
      if (polygon.IsNull() || !polygon->HasParameters())
      {
        usable = false;
        break;
      }
      std::vector<double> own(polygon->NbNodes());
      for (int i = 1; i <= polygon->NbNodes(); ++i)
      {
        own[i - 1] = polygon->Parameter(i);
      }
      usable = parameters.empty() || own == parameters;
      parameters.swap(own);
    }
    if (!usable || parameters.size() < 3)
    {
      continue;
    }
    // 2. The greedy walk.
    std::vector<double> removed;
    try
    {
      const BRepAdaptor_Curve curve(edge);
      // The polygon's points and the curve's points amid them, evaluated once: the walk
      // measures every chord against all the nodes and middles it spans.
      std::vector<gp_Pnt> points, middles;
      points.reserve(parameters.size());
      middles.reserve(parameters.size() - 1);
      for (size_t k = 0; k < parameters.size(); ++k)
      {
        points.push_back(curve.Value(parameters[k]));
        if (k + 1 < parameters.size())
        {
          middles.push_back(curve.Value(0.5 * (parameters[k] + parameters[k + 1])));
        }
      }
      const auto fits = [&](const size_t a, const size_t b)
      {
        // A chord back to its start (around a closed edge) leaves no polygon at all.
        const gp_Pnt& start  = points[a];
        const gp_Pnt& end    = points[b];
        const double  length = start.Distance(end);
        if (length > *size || !(length > 0.0))
        {
          return false;
        }
        for (size_t k = a; k < b; ++k)
        {
          if ((k > a && segmentDistance(points[k], start, end) > m_edgeDeflection) ||
              segmentDistance(middles[k], start, end) > m_edgeDeflection)
          {
            return false;
          }
        }
        gp_Pnt point;
        gp_Vec first, last;
        curve.D1(parameters[a], point, first);
        curve.D1(parameters[b], point, last);
        return first.Magnitude() > 0.0 && last.Magnitude() > 0.0 &&
               first.Angle(last) <= m_edgeAngle;
      };
      for (size_t anchor = 0, j = 1; j + 1 < parameters.size(); ++j)
      {
        if (fits(anchor, j + 1))
        {
          removed.push_back(parameters[j]);
        }
        else
        {
          anchor = j;
        }
      }
    }
    catch (const Standard_Failure&)
    {
      continue;
    }
    if (!removed.empty())
    {
      std::sort(removed.begin(), removed.end());
      removals.Bind(edge, removed);
    }
  }
}
