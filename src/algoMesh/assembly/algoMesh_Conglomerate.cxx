// Welding of face triangulations.
//
// Faces are visited in explorer order; each node, placed by its face's location, is looked
// up in a cell grid of cell size = tolerance holding the nodes stored so far
// (algoMesh_CellGrid). A node within the tolerance of stored nodes takes the number of the
// last one in the grid's visiting order; otherwise it becomes a new node. Triangles are
// mapped through the face's node map, flipped for reversed faces, and dropped when two
// corners coincide. Without the coherent triangulation (Mode_Plain) nodes and triangles
// go to flat arrays, about 40 bytes per triangle instead of the coherent structure's
// several hundred. A shape of a single face whose nodes are pairwise farther apart than
// twice the tolerance (algoMesh_PointSeparation: a radix sort by cell and one sweep) keeps
// its nodes in their order without the grid, which is what the grid would answer: on a
// mesh of millions of nodes the grid's random slot accesses and fresh pages cost more than
// the sort. Cost: O(1) expected per node and per triangle, O(N + T) overall.
#include <algoMesh_Conglomerate.hxx>

#include <algoMesh_CellGrid.hxx>
#include <algoMesh_PointSeparation.hxx>

#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <Precision.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>

#include <algorithm>
#include <cmath>
#include <optional>

using namespace quorin;

namespace
{
// Nodes or triangles between two progress steps and cancellation polls.
constexpr int THE_POLL_STRIDE = 4096;

// How many nodes ahead of its look-up a node's index memory is requested.
constexpr int THE_LOOK_AHEAD = 16;

// A face without surface carrying the triangulation, identity location.
TopoDS_Face faceOf(const Handle(Poly_Triangulation) & mesh)
{
  TopoDS_Face  face;
  BRep_Builder builder;
  builder.MakeFace(face, mesh);
  return face;
}

// Faces of the triangulations in vector order, in one compound.
TopoDS_Shape compoundOf(const std::vector<Handle(Poly_Triangulation)>& meshes,
                        const std::vector<TopLoc_Location>&            locations)
{
  TopoDS_Compound compound;
  BRep_Builder    builder;
  builder.MakeCompound(compound);
  for (size_t i = 0; i < meshes.size(); ++i)
  {
    TopoDS_Face face = faceOf(meshes[i]);
    if (i < locations.size())
    {
      face.Location(locations[i]);
    }
    builder.Add(compound, face);
  }
  return compound;
}
} // namespace

algoMesh_Conglomerate::algoMesh_Conglomerate()
    : m_tolerance(algoMesh_Tolerance), m_mode(Mode_CoherentAndPlain)
{
}

algoMesh_Conglomerate::algoMesh_Conglomerate(const TopoDS_Shape& shape,
                                             const Mode          mode,
                                             const double        tolerance)
    : m_tolerance(algoMesh_CellGrid::ValidTolerance(tolerance)), m_mode(mode)
{
  Build(shape, mode, false);
}

algoMesh_Conglomerate::algoMesh_Conglomerate(const Handle(Poly_Triangulation) & mesh,
                                             const Mode   mode,
                                             const double tolerance)
    : m_tolerance(algoMesh_CellGrid::ValidTolerance(tolerance)), m_mode(mode)
{
  Build(faceOf(mesh), mode, false);
}

algoMesh_Conglomerate::algoMesh_Conglomerate(const std::vector<Handle(Poly_Triangulation)>& meshes,
                                             const Mode                                     mode,
                                             const double tolerance)
    : m_tolerance(algoMesh_CellGrid::ValidTolerance(tolerance)), m_mode(mode)
{
  Build(compoundOf(meshes, {}), mode, false);
}

algoMesh_Conglomerate::algoMesh_Conglomerate(const std::vector<Handle(Poly_Triangulation)>& meshes,
                                             const std::vector<TopLoc_Location>& locations,
                                             const Mode                          mode,
                                             const double                        tolerance)
    : m_tolerance(algoMesh_CellGrid::ValidTolerance(tolerance)), m_mode(mode)
{
  Build(compoundOf(meshes, locations), mode, false);
}

void algoMesh_Conglomerate::Build(const TopoDS_Shape& shape,
                                  const Mode          mode,
                                  const bool          fillFaceMap)
{
  Build(shape, mode, fillFaceMap, ActAPI_ProgressEntry());
}

bool algoMesh_Conglomerate::Build(const TopoDS_Shape&         shape,
                                  const Mode                  mode,
                                  const bool                  fillFaceMap,
                                  const ActAPI_ProgressEntry& progressEntry)
{
  m_shape = shape;
  m_mode  = mode;
  m_plain.Nullify();
  m_faceTriangles.Clear();

  // 1. Fresh coherent result (or flat arrays) and welding index.
  m_coherent.Nullify();
  if (m_mode != Mode_Plain)
  {
    m_coherent = new Poly_CoherentTriangulation();
  }
  // Held through the welding only: the plain copy below need not share the peak with it.
  // A single face whose nodes are all farther apart than the welding reaches (a mesh read
  // from a file, whose reader shared its nodes already) keeps every node as it is: the
  // welding would merge none and number them in their order, so the index is not built.
  std::optional<algoMesh_CellGrid> index;
  if (!hasSeparatedNodes(shape))
  {
    index.emplace(m_tolerance);
  }
  // Such a face's plain mesh is its own, less the triangles that collapse and the nodes
  // no triangle uses: in Mode_Plain it is copied at once, without the flat arrays.
  const bool isCopied    = !index && m_mode == Mode_Plain && !fillFaceMap;
  int        nbNodes     = 0;
  int        nbTriangles = 0;

  // 2. Weld the nodes and add the triangles of every triangulated face; the progress
  //    counts both.
  algoMesh_ProgressScope progress(progressEntry, "Welding face meshes");
  progress.SetTotal(countItems(shape));
  reserve(shape, index ? &*index : nullptr, !isCopied);
  for (TopExp_Explorer exp(shape, TopAbs_FACE); exp.More(); exp.Next())
  {
    const TopoDS_Face& face = TopoDS::Face(exp.Current());
    TopLoc_Location    location;
    const Handle(Poly_Triangulation)& mesh = BRep_Tool::Triangulation(face, location);
    if (mesh.IsNull())
    {
      continue;
    }
    if (isCopied)
    {
      copyPlain(face, mesh, location, progress);
    }
    else
    {
      const std::vector<int> nodeMap = index ? weldNodes(mesh, location, *index, nbNodes, &progress)
                                             : keepNodes(mesh, location, nbNodes, &progress);
      if (!progress.IsCancelled())
      {
        addTriangles(face, mesh, nodeMap, fillFaceMap, nbTriangles, &progress);
      }
    }
    if (progress.IsCancelled())
    {
      m_coherent.Nullify();
      m_faceTriangles.Clear();
      std::vector<gp_XYZ>().swap(m_nodes);
      std::vector<int>().swap(m_triangles);
      m_plain.Nullify();
      return false;
    }
  }

  // 3. The plain copy. The kernel answers null for a structure without triangles and
  //    drops nodes that no triangle uses.
  index.reset();
  if (m_mode == Mode_Plain && !isCopied)
  {
    makePlain();
  }
  else if (m_mode == Mode_CoherentAndPlain)
  {
    const Handle(Poly_Triangulation) plain = m_coherent->GetTriangulation();
    if (!plain.IsNull())
    {
      m_plain = new Poly_Triangulation(plain);
    }
  }
  progress.Complete();
  return true;
}

int64_t algoMesh_Conglomerate::countItems(const TopoDS_Shape& shape)
{
  int64_t nbItems = 0;
  for (TopExp_Explorer exp(shape, TopAbs_FACE); exp.More(); exp.Next())
  {
    TopLoc_Location location;
    const Handle(Poly_Triangulation)& mesh =
        BRep_Tool::Triangulation(TopoDS::Face(exp.Current()), location);
    if (!mesh.IsNull())
    {
      nbItems += mesh->NbNodes() + mesh->NbTriangles();
    }
  }
  return nbItems;
}

std::vector<int> algoMesh_Conglomerate::weldNodes(const Handle(Poly_Triangulation) & mesh,
                                                  const TopLoc_Location&  location,
                                                  algoMesh_CellGrid&      index,
                                                  int&                    nbNodes,
                                                  algoMesh_ProgressScope* progress)
{
  const bool       toMove  = !location.IsIdentity();
  const gp_Trsf&   trsf    = location.Transformation();
  const int        nbInput = mesh->NbNodes();
  std::vector<int> nodeMap(static_cast<size_t>(nbInput));
  auto             nodeAt = [&](const int i)
  { return toMove ? mesh->Node(i).Transformed(trsf).XYZ() : mesh->Node(i).XYZ(); };

  // Each node is located and its memory requested a few look-ups ahead of its own look-up,
  // which overlaps the cache misses of a large index; the look-ups still run in order.
  algoMesh_CellGrid::Probe probes[THE_LOOK_AHEAD];
  for (int i = 1; i <= std::min(nbInput, THE_LOOK_AHEAD); ++i)
  {
    index.Locate(nodeAt(i), m_tolerance, probes[i % THE_LOOK_AHEAD]);
    index.Prefetch(probes[i % THE_LOOK_AHEAD]);
  }
  for (int i = 1; i <= nbInput; ++i)
  {
    if (progress != nullptr && i % THE_POLL_STRIDE == 0)
    {
      progress->Advance(THE_POLL_STRIDE);
      if (progress->IsCancelled())
      {
        return nodeMap;
      }
    }
    algoMesh_CellGrid::Probe& probe = probes[i % THE_LOOK_AHEAD];
    const gp_XYZ              node  = nodeAt(i);
    const int                 found = index.FindLast(node, m_tolerance, probe);
    if (found >= 0)
    {
      nodeMap[i - 1] = found;
    }
    else
    {
      addNode(node, nbNodes);
      index.Add(node, nbNodes, probe);
      nodeMap[i - 1] = nbNodes++;
    }
    if (i + THE_LOOK_AHEAD <= nbInput)
    {
      index.Locate(nodeAt(i + THE_LOOK_AHEAD), m_tolerance, probe);
      index.Prefetch(probe);
    }
  }
  if (progress != nullptr)
  {
    progress->Advance(nbInput % THE_POLL_STRIDE);
  }
  return nodeMap;
}

std::vector<int> algoMesh_Conglomerate::keepNodes(const Handle(Poly_Triangulation) & mesh,
                                                  const TopLoc_Location&  location,
                                                  int&                    nbNodes,
                                                  algoMesh_ProgressScope* progress)
{
  const bool       toMove  = !location.IsIdentity();
  const gp_Trsf&   trsf    = location.Transformation();
  const int        nbInput = mesh->NbNodes();
  std::vector<int> nodeMap(static_cast<size_t>(nbInput));
  for (int i = 1; i <= nbInput; ++i)
  {
    if (progress != nullptr && i % THE_POLL_STRIDE == 0)
    {
      progress->Advance(THE_POLL_STRIDE);
      if (progress->IsCancelled())
      {
        return nodeMap;
      }
    }
    addNode(toMove ? mesh->Node(i).Transformed(trsf).XYZ() : mesh->Node(i).XYZ(), nbNodes);
    nodeMap[i - 1] = nbNodes++;
  }
  if (progress != nullptr)
  {
    progress->Advance(nbInput % THE_POLL_STRIDE);
  }
  return nodeMap;
}

void algoMesh_Conglomerate::copyPlain(const TopoDS_Face& face,
                                      const Handle(Poly_Triangulation) & mesh,
                                      const TopLoc_Location&  location,
                                      algoMesh_ProgressScope& progress)
{
  const bool reversed    = face.Orientation() == TopAbs_REVERSED;
  const int  nbInput     = mesh->NbNodes();
  const int  nbTriangles = mesh->NbTriangles();
  // The triangle's nodes in the face's orientation, or false when it names a node the face
  // does not have or two of them are the same (it collapses).
  auto cornersOf = [&](const int k, int& a, int& b, int& c)
  {
    mesh->Triangle(k).Get(a, b, c);
    if (reversed)
    {
      std::swap(b, c);
    }
    return a >= 1 && b >= 1 && c >= 1 && a <= nbInput && b <= nbInput && c <= nbInput && a != b &&
           b != c && a != c;
  };

  // 1. The nodes the kept triangles use, numbered from 1 in their order.
  std::vector<int> numberOf(static_cast<size_t>(nbInput), 0);
  int              nbKept = 0;
  for (int k = 1; k <= nbTriangles; ++k)
  {
    if (k % THE_POLL_STRIDE == 0)
    {
      progress.Advance(THE_POLL_STRIDE);
      if (progress.IsCancelled())
      {
        return;
      }
    }
    int a, b, c;
    if (cornersOf(k, a, b, c))
    {
      numberOf[a - 1] = numberOf[b - 1] = numberOf[c - 1] = 1;
      ++nbKept;
    }
  }
  progress.Advance(nbTriangles % THE_POLL_STRIDE);
  if (nbKept == 0)
  {
    return;
  }
  int nbUsed = 0;
  for (int& number : numberOf)
  {
    number = number != 0 ? ++nbUsed : 0;
  }

  // 2. Nodes placed by the face's location, with the unset UV nodes of the coherent route,
  //    then the kept triangles.
  m_plain               = new Poly_Triangulation(nbUsed, nbKept, true);
  const bool     toMove = !location.IsIdentity();
  const gp_Trsf& trsf   = location.Transformation();
  const gp_Pnt2d unsetUV(Precision::Infinite(), Precision::Infinite());
  for (int i = 1; i <= nbInput; ++i)
  {
    if (i % THE_POLL_STRIDE == 0)
    {
      progress.Advance(THE_POLL_STRIDE);
      if (progress.IsCancelled())
      {
        return;
      }
    }
    if (const int number = numberOf[i - 1])
    {
      m_plain->SetNode(number, toMove ? mesh->Node(i).Transformed(trsf) : mesh->Node(i));
      m_plain->SetUVNode(number, unsetUV);
    }
  }
  progress.Advance(nbInput % THE_POLL_STRIDE);
  int t = 0;
  for (int k = 1; k <= nbTriangles; ++k)
  {
    int a, b, c;
    if (cornersOf(k, a, b, c))
    {
      m_plain->SetTriangle(++t, Poly_Triangle(numberOf[a - 1], numberOf[b - 1], numberOf[c - 1]));
    }
  }
}

bool algoMesh_Conglomerate::hasSeparatedNodes(const TopoDS_Shape& shape) const
{
  Handle(Poly_Triangulation) single;
  TopLoc_Location singleLocation;
  for (TopExp_Explorer exp(shape, TopAbs_FACE); exp.More(); exp.Next())
  {
    TopLoc_Location location;
    const Handle(Poly_Triangulation)& mesh =
        BRep_Tool::Triangulation(TopoDS::Face(exp.Current()), location);
    if (mesh.IsNull())
    {
      continue;
    }
    if (!single.IsNull())
    {
      return false; // faces of one shape share the nodes of their common edges
    }
    single         = mesh;
    singleLocation = location;
  }
  // Nodes match within the tolerance (squared distances compared); twice the tolerance in
  // every coordinate leaves a wide margin for the rounding of either test.
  return !single.IsNull() &&
         algoMesh_PointSeparation::IsSeparated(
             single, singleLocation.IsIdentity() ? nullptr : &singleLocation.Transformation(),
             2.0 * m_tolerance);
}

void algoMesh_Conglomerate::addTriangles(const TopoDS_Face& face,
                                         const Handle(Poly_Triangulation) & mesh,
                                         const std::vector<int>& nodeMap,
                                         const bool              fillFaceMap,
                                         int&                    nbTriangles,
                                         algoMesh_ProgressScope* progress)
{
  const bool               reversed = face.Orientation() == TopAbs_REVERSED;
  const int                nbNodes  = static_cast<int>(nodeMap.size());
  NCollection_Vector<int>* numbers  = nullptr;
  for (int k = 1; k <= mesh->NbTriangles(); ++k)
  {
    if (progress != nullptr && k % THE_POLL_STRIDE == 0)
    {
      progress->Advance(THE_POLL_STRIDE);
      if (progress->IsCancelled())
      {
        return;
      }
    }
    int a, b, c;
    mesh->Triangle(k).Get(a, b, c);
    if (reversed)
    {
      std::swap(b, c);
    }
    // A triangle naming a node the face does not have is malformed input: skip it rather
    // than read outside the node map.
    if (a < 1 || b < 1 || c < 1 || a > nbNodes || b > nbNodes || c > nbNodes)
    {
      continue;
    }
    const int n0 = nodeMap[a - 1];
    const int n1 = nodeMap[b - 1];
    const int n2 = nodeMap[c - 1];
    if (n0 == n1 || n1 == n2 || n0 == n2)
    {
      continue; // collapsed under welding
    }
    if (m_coherent.IsNull())
    {
      m_triangles.insert(m_triangles.end(), {n0, n1, n2});
    }
    else
    {
      m_coherent->AddTriangle(n0, n1, n2);
    }
    if (fillFaceMap)
    {
      if (numbers == nullptr)
      {
        numbers = m_faceTriangles.ChangeSeek(face);
        if (numbers == nullptr)
        {
          numbers = m_faceTriangles.Bound(face, NCollection_Vector<int>());
        }
      }
      numbers->Append(nbTriangles + 1);
    }
    ++nbTriangles;
  }
  if (progress != nullptr)
  {
    progress->Advance(mesh->NbTriangles() % THE_POLL_STRIDE);
  }
}

void algoMesh_Conglomerate::addNode(const gp_XYZ& node, const int number)
{
  if (m_coherent.IsNull())
  {
    m_nodes.push_back(node);
  }
  else
  {
    m_coherent->SetNode(node, number);
  }
}

void algoMesh_Conglomerate::reserve(const TopoDS_Shape& shape,
                                    algoMesh_CellGrid*  index,
                                    const bool          toFlatArrays)
{
  size_t nbNodes = 0, nbTriangles = 0;
  for (TopExp_Explorer exp(shape, TopAbs_FACE); exp.More(); exp.Next())
  {
    TopLoc_Location location;
    const Handle(Poly_Triangulation)& mesh =
        BRep_Tool::Triangulation(TopoDS::Face(exp.Current()), location);
    if (!mesh.IsNull())
    {
      nbNodes += static_cast<size_t>(mesh->NbNodes());
      nbTriangles += static_cast<size_t>(mesh->NbTriangles());
    }
  }
  // The index grown by doubling ends with a table of two to four slots per node, which
  // made a mesh ten times larger cost up to sixteen times the memory and page clearing,
  // and held the old and the new arrays at each step. A welded mesh has about one node
  // per two triangles (closed) to one per triangle (open strips), and a triangle soup
  // three corners per triangle but no more distinct nodes: sized for the smaller of the
  // input nodes and the triangles, the index rarely grows and a soup does not reserve
  // three times what it needs.
  if (index != nullptr)
  {
    index->Reserve(std::min(nbNodes, std::max<size_t>(nbTriangles, 1)));
  }

  // Sized for the input once: growing by doubling could leave half of each array unused.
  if (m_mode == Mode_Plain && toFlatArrays)
  {
    m_nodes.reserve(nbNodes);
    m_triangles.reserve(3 * nbTriangles);
  }
}

void algoMesh_Conglomerate::makePlain()
{
  // Used nodes keep their order and are numbered from 1; the arrays are released as soon
  // as they are copied, so that the welded mesh is held once at the end.
  const int nbTriangles = static_cast<int>(m_triangles.size() / 3);
  if (nbTriangles > 0)
  {
    std::vector<int> numberOf(m_nodes.size(), 0);
    for (const int node : m_triangles)
    {
      numberOf[static_cast<size_t>(node)] = 1;
    }
    int nbUsed = 0;
    for (int& number : numberOf)
    {
      number = number != 0 ? ++nbUsed : 0;
    }
    // The coherent copy carries UV nodes, left at the coherent node's unset value; the
    // flat route gives hosts the same triangulation.
    m_plain = new Poly_Triangulation(nbUsed, nbTriangles, true);
    const gp_Pnt2d unsetUV(Precision::Infinite(), Precision::Infinite());
    for (size_t i = 0; i < m_nodes.size(); ++i)
    {
      if (numberOf[i] != 0)
      {
        m_plain->SetNode(numberOf[i], m_nodes[i]);
        m_plain->SetUVNode(numberOf[i], unsetUV);
      }
    }
    std::vector<gp_XYZ>().swap(m_nodes);
    for (int t = 0; t < nbTriangles; ++t)
    {
      const int* n = &m_triangles[3 * static_cast<size_t>(t)];
      m_plain->SetTriangle(t + 1, Poly_Triangle(numberOf[n[0]], numberOf[n[1]], numberOf[n[2]]));
    }
  }
  std::vector<gp_XYZ>().swap(m_nodes);
  std::vector<int>().swap(m_triangles);
}
