// Incremental quickhull in three dimensions (Barber, Dobkin, Huhdanpaa, "The Quickhull
// Algorithm for Convex Hulls", ACM TOMS 22(4), 1996) on a half-edge mesh.
//
// A tetrahedron spanned by extreme points starts the hull; every other point is kept in the
// outside list of one face that sees it. Each pass takes a face's farthest outside point,
// floods the faces visible from it, replaces them by a cone of new faces from the point to
// the horizon, and hands the points of the removed faces to the new ones. Points are only
// kept outside a face when their distance exceeds a tolerance of 1e-9 times the extent of
// the cloud; the visibility flood itself uses no tolerance. Faces, half-edges and outside
// lists are recycled, so memory follows the size of the hull, not the number of passes.
// Expected cost O(n log h) for n points and h hull vertices; worst case O(n h).
#include <algoMesh_HullBuilder.hxx>

#include <algorithm>
#include <cmath>
#include <iostream>

using namespace quorin;

namespace
{
// Squared distance between two points.
double squaredDistance(const double* a, const double* b)
{
  const double dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
  return dx * dx + dy * dy + dz * dz;
}

// Triangle normal (a - c) x (b - c), not normalised.
void triangleNormal(const double* a, const double* b, const double* c, double n[3])
{
  const double u[3] = {a[0] - c[0], a[1] - c[1], a[2] - c[2]};
  const double v[3] = {b[0] - c[0], b[1] - c[1], b[2] - c[2]};
  n[0]              = u[1] * v[2] - u[2] * v[1];
  n[1]              = u[2] * v[0] - u[0] * v[2];
  n[2]              = u[0] * v[1] - u[1] * v[0];
}

bool samePoint(const double* a, const double* b)
{
  return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

// Outside lists this many times larger than needed are freed rather than pooled: the first
// passes need huge lists, later ones small lists, and pooling the huge ones would hold on to
// memory for the rest of the build.
constexpr size_t THE_POOL_SLACK = 128;
} // namespace

algoMesh_HullBuilder::algoMesh_HullBuilder(const double* coords, const size_t nbPoints)
    : m_coords(coords), m_inputCoords(coords), m_nbPoints(nbPoints), m_nbInputPoints(nbPoints)
{
}

bool algoMesh_HullBuilder::Build(algoMesh_ProgressScope* progress)
{
  m_progress  = progress;
  m_nbSettled = 0;

  // 1. Extreme points and the tolerance.
  size_t extremes[6];
  findExtremes(extremes);

  // 2. Initial tetrahedron, lifted off the plane when the cloud is flat for the tolerance.
  createInitialTetrahedron(extremes);

  // 3. Distribute the points over the four faces.
  assignInitialPoints();

  // 4. Grow the hull until no face has outside points.
  if (!expand())
  {
    return false;
  }

  // 5. Bring the lifted point of a planar build back onto the cloud.
  undoPlanarLift();
  return true;
}

void algoMesh_HullBuilder::findExtremes(size_t extremes[6])
{
  std::fill(extremes, extremes + 6, size_t(0));
  for (size_t i = 1; i < m_nbPoints; ++i)
  {
    const double* p = point(i);
    for (int axis = 0; axis < 3; ++axis)
    {
      if (p[axis] > point(extremes[2 * axis])[axis])
      {
        extremes[2 * axis] = i;
      }
      else if (p[axis] < point(extremes[2 * axis + 1])[axis])
      {
        extremes[2 * axis + 1] = i;
      }
    }
  }
  m_scale = 0.0;
  for (int k = 0; k < 6; ++k)
  {
    m_scale = std::max(m_scale, std::abs(point(extremes[k])[k / 2]));
  }
  m_eps  = 1e-9 * m_scale;
  m_eps2 = m_eps * m_eps;
}

void algoMesh_HullBuilder::createInitialTetrahedron(const size_t extremes[6])
{
  const size_t n = m_nbPoints;
  if (n <= 4)
  {
    createTetrahedron(0, std::min<size_t>(1, n - 1), std::min<size_t>(2, n - 1),
                      std::min<size_t>(3, n - 1), true);
    return;
  }

  // The two extremes farthest apart (first pair wins ties).
  double best = m_eps2;
  size_t e1 = THE_NONE, e2 = THE_NONE;
  for (int i = 0; i < 6; ++i)
  {
    for (int j = i + 1; j < 6; ++j)
    {
      const double d = squaredDistance(point(extremes[i]), point(extremes[j]));
      if (d > best)
      {
        best = d;
        e1   = extremes[i];
        e2   = extremes[j];
      }
    }
  }
  if (e1 == THE_NONE)
  {
    // All extremes coincide for the tolerance: nothing to orient by.
    createTetrahedron(0, 1, 2, 3, false);
    return;
  }

  // The point farthest from the line E1-E2.
  const double* p1   = point(e1);
  const double* p2   = point(e2);
  const double  u[3] = {p2[0] - p1[0], p2[1] - p1[1], p2[2] - p1[2]};
  const double  uu   = u[0] * u[0] + u[1] * u[1] + u[2] * u[2];
  best               = m_eps2;
  size_t third       = THE_NONE;
  for (size_t i = 0; i < n; ++i)
  {
    const double* p    = point(i);
    const double  w[3] = {p[0] - p1[0], p[1] - p1[1], p[2] - p1[2]};
    const double  wu   = w[0] * u[0] + w[1] * u[1] + w[2] * u[2];
    const double  d    = w[0] * w[0] + w[1] * w[1] + w[2] * w[2] - wu * wu / uu;
    if (d > best)
    {
      best  = d;
      third = i;
    }
  }
  if (third == THE_NONE)
  {
    // All points on one line for the tolerance: take any distinct points, unoriented.
    size_t c = e1, d = e1;
    for (size_t i = 0; i < n && c == e1; ++i)
    {
      if (!samePoint(point(i), p1) && !samePoint(point(i), p2))
      {
        c = i;
      }
    }
    for (size_t i = 0; i < n && d == e1; ++i)
    {
      if (!samePoint(point(i), p1) && !samePoint(point(i), p2) && !samePoint(point(i), point(c)))
      {
        d = i;
      }
    }
    createTetrahedron(e1, e2, c, d, false);
    return;
  }

  // The point farthest from the plane E1-E2-M, in units of the unnormalised normal.
  double normal[3];
  triangleNormal(p1, p2, point(third), normal);
  const double offset = -(normal[0] * p1[0] + normal[1] * p1[1] + normal[2] * p1[2]);
  best                = m_eps;
  size_t fourth       = THE_NONE;
  for (size_t i = 0; i < n; ++i)
  {
    const double* p = point(i);
    const double  s = std::abs(normal[0] * p[0] + normal[1] * p[1] + normal[2] * p[2] + offset);
    if (s > best)
    {
      best   = s;
      fourth = i;
    }
  }
  if (fourth == THE_NONE)
  {
    // Flat for the tolerance: lift one extra point off the plane so that the hull has
    // volume; it is merged back into point 0 at the end.
    m_isPlanar = true;
    m_planarCoords.assign(m_coords, m_coords + 3 * n);
    double lift[3];
    triangleNormal(p2, point(third), p1, lift);
    for (int k = 0; k < 3; ++k)
    {
      m_planarCoords.push_back(lift[k] + m_coords[k]);
    }
    m_coords = m_planarCoords.data();
    fourth   = m_nbPoints++;
  }
  createTetrahedron(e1, e2, third, fourth, true);
}

void algoMesh_HullBuilder::createTetrahedron(
    size_t a, size_t b, const size_t c, const size_t d, const bool orient)
{
  // With the fourth vertex on the positive side of the base, swapping the base's first two
  // vertices turns every face normal away from the vertex opposite to it.
  if (orient)
  {
    double n[3];
    triangleNormal(point(a), point(b), point(c), n);
    const double* pa = point(a);
    const double* pd = point(d);
    const double  s  = n[0] * (pd[0] - pa[0]) + n[1] * (pd[1] - pa[1]) + n[2] * (pd[2] - pa[2]);
    if (s >= 0.0)
    {
      std::swap(a, b);
    }
  }

  const size_t corners[4][3] = {{a, b, c}, {a, c, d}, {b, a, d}, {c, b, d}};
  m_faces.resize(4);
  m_halfEdges.resize(12);
  for (size_t f = 0; f < 4; ++f)
  {
    for (size_t k = 0; k < 3; ++k)
    {
      HalfEdge& e = m_halfEdges[3 * f + k];
      e.endVertex = corners[f][(k + 1) % 3];
      e.opposite  = THE_NONE;
      e.face      = f;
      e.next      = 3 * f + (k + 1) % 3;
    }
    m_faces[f].halfEdge = 3 * f; // the half-edge ending at the second listed vertex
    setPlane(m_faces[f], point(corners[f][0]), point(corners[f][1]), point(corners[f][2]));
  }
  // Each edge is used once in each direction: pair the half-edges by their end points.
  for (size_t e = 0; e < 12; ++e)
  {
    const size_t from = corners[e / 3][e % 3];
    const size_t to   = m_halfEdges[e].endVertex;
    for (size_t o = 0; o < 12; ++o)
    {
      if (corners[o / 3][o % 3] == to && m_halfEdges[o].endVertex == from)
      {
        m_halfEdges[e].opposite = o;
        break;
      }
    }
  }
}

void algoMesh_HullBuilder::setPlane(Face& f, const double* a, const double* b, const double* c)
{
  double n[3];
  triangleNormal(a, b, c, n);
  f.nx = n[0];
  f.ny = n[1];
  f.nz = n[2];
  f.d  = -(n[0] * a[0] + n[1] * a[1] + n[2] * a[2]);
  f.nn = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
}

void algoMesh_HullBuilder::assignInitialPoints()
{
  m_candidates.clear();
  for (size_t f = 0; f < 4; ++f)
  {
    addCandidate(f);
  }
  size_t nbOutside = 0;
  for (size_t i = 0; i < m_nbPoints; ++i)
  {
    nbOutside += assignToCandidates(i) ? 1 : 0;
  }
  if (m_progress != nullptr)
  {
    m_progress->SetTotal(static_cast<int64_t>(nbOutside));
  }
}

void algoMesh_HullBuilder::addCandidate(const size_t f)
{
  const Face& face = m_faces[f];
  m_candidates.push_back(Candidate{face.nx, face.ny, face.nz, face.d, m_eps2 * face.nn, f});
}

bool algoMesh_HullBuilder::assignToCandidates(const size_t p)
{
  // A point is outside a face when s = N.p + D > 0 and its true distance s / |N| exceeds
  // eps, tested as s^2 > eps^2 |N|^2 to avoid a square root. The first face that has it
  // outside takes it.
  const double* xyz = point(p);
  const double  x = xyz[0], y = xyz[1], z = xyz[2];
  for (const Candidate& c : m_candidates)
  {
    const double s = c.nx * x + c.ny * y + c.nz * z + c.d;
    if (s > 0.0 && s * s > c.limit)
    {
      Face& face = m_faces[c.face];
      if (!face.outside)
      {
        face.outside = takeList();
      }
      face.outside->push_back(p);
      if (s > face.farDist)
      {
        face.farDist  = s;
        face.farPoint = p;
      }
      return true;
    }
  }
  return false;
}

bool algoMesh_HullBuilder::expand()
{
  for (size_t f = 0; f < m_faces.size(); ++f)
  {
    if (m_faces[f].outside)
    {
      m_faces[f].queued = 1;
      m_queue.push_back(f);
    }
  }

  m_iteration = 0;
  while (!m_queue.empty())
  {
    // 1. Next pass; the largest counter value is kept for faces never tested.
    if (++m_iteration == THE_NONE)
    {
      m_iteration = 0;
    }
    if (m_progress != nullptr)
    {
      m_progress->SetDone(static_cast<int64_t>(m_nbSettled));
      if (m_progress->IsCancelled())
      {
        return false;
      }
    }
    const size_t top = m_queue.front();
    m_queue.pop_front();
    m_faces[top].queued = 0;
    if (m_faces[top].IsDisabled() || !m_faces[top].outside)
    {
      continue;
    }

    // 2. The farthest outside point is the next hull vertex.
    const size_t q = m_faces[top].farPoint;

    // 3. Faces that see it, and the horizon around them.
    findVisibleFaces(top, point(q));

    // 4. The horizon as a loop; a point whose horizon is not a loop is dropped.
    if (!orderHorizon())
    {
      ++m_nbFailedHorizons;
      ++m_nbSettled;
      std::cerr << "Failed to solve horizon edge." << std::endl;
      IndexList& list = *m_faces[top].outside;
      list.erase(std::find(list.begin(), list.end(), q));
      if (list.empty())
      {
        returnList(m_faces[top].outside);
      }
      continue;
    }

    // 5. Remove the visible faces, keeping their half-edges for the cone.
    recycleVisibleFaces();

    // 6. Cone of new faces from the point to the horizon.
    createConeFaces(q);

    // 7. Points of the removed faces go to the new faces or are inside.
    reassignPoints(q);

    // 8. Queue the new faces that have outside points.
    for (const size_t f : m_newFaces)
    {
      if (m_faces[f].outside && !m_faces[f].queued)
      {
        m_faces[f].queued = 1;
        m_queue.push_back(f);
      }
    }
  }
  return true;
}

void algoMesh_HullBuilder::findVisibleFaces(const size_t start, const double* q)
{
  m_visible.clear();
  m_horizon.clear();
  m_flood.clear();
  m_flood.emplace_back(start, THE_NONE);
  while (!m_flood.empty())
  {
    const auto [g, h] = m_flood.back();
    m_flood.pop_back();
    Face& face = m_faces[g];
    if (face.testedIter == m_iteration)
    {
      if (face.visible)
      {
        continue;
      }
    }
    else
    {
      face.testedIter = m_iteration;
      face.visible    = signedDistance(face, q) > 0.0 ? 1 : 0;
      if (face.visible)
      {
        face.horizonMask = 0;
        m_visible.push_back(g);
        const size_t e0 = face.halfEdge;
        const size_t e1 = m_halfEdges[e0].next;
        const size_t e2 = m_halfEdges[e1].next;
        for (const size_t e : {e0, e1, e2})
        {
          const size_t o = m_halfEdges[e].opposite;
          if (o != h)
          {
            m_flood.emplace_back(m_halfEdges[o].face, e);
          }
        }
        continue;
      }
    }
    // Not visible: the half-edge we came through separates the visible region from it.
    // (The start face always sees its own farthest point, so h is a real half-edge.)
    if (h == THE_NONE)
    {
      continue;
    }
    m_horizon.push_back(h);
    Face&  owner    = m_faces[m_halfEdges[h].face];
    size_t position = 0;
    for (size_t e = owner.halfEdge; e != h; e = m_halfEdges[e].next)
    {
      ++position;
    }
    owner.horizonMask |= uint8_t(1u << position);
  }
}

bool algoMesh_HullBuilder::orderHorizon()
{
  const size_t nb = m_horizon.size();
  if (nb < 3)
  {
    return false;
  }
  for (size_t i = 0; i + 1 < nb; ++i)
  {
    const size_t end   = m_halfEdges[m_horizon[i]].endVertex;
    bool         found = false;
    for (size_t j = i + 1; j < nb; ++j)
    {
      if (m_halfEdges[m_halfEdges[m_horizon[j]].opposite].endVertex == end)
      {
        std::swap(m_horizon[i + 1], m_horizon[j]);
        found = true;
        break;
      }
    }
    if (!found)
    {
      return false;
    }
  }
  // A chain that does not close (the visible faces touch at a vertex) would link the cone
  // faces wrongly; it is as unsolvable as a chain that breaks.
  return m_halfEdges[m_horizon[nb - 1]].endVertex ==
         m_halfEdges[m_halfEdges[m_horizon[0]].opposite].endVertex;
}

void algoMesh_HullBuilder::recycleVisibleFaces()
{
  const size_t needed = 2 * m_horizon.size();
  m_taken.clear();
  m_setAside.clear();
  for (const size_t f : m_visible)
  {
    Face&        face     = m_faces[f];
    const size_t e0       = face.halfEdge;
    const size_t e1       = m_halfEdges[e0].next;
    const size_t e2       = m_halfEdges[e1].next;
    const size_t edges[3] = {e0, e1, e2};
    for (size_t k = 0; k < 3; ++k)
    {
      if (face.horizonMask & (1u << k))
      {
        continue;
      }
      if (m_taken.size() < needed)
      {
        m_taken.push_back(edges[k]);
      }
      else
      {
        disableHalfEdge(edges[k]);
      }
    }
    face.halfEdge = THE_NONE;
    m_disabledFaces.push_back(f);
    if (face.outside)
    {
      m_setAside.push_back(std::move(face.outside));
    }
  }
  while (m_taken.size() < needed)
  {
    m_taken.push_back(addHalfEdge());
  }
}

void algoMesh_HullBuilder::createConeFaces(const size_t q)
{
  const size_t nb = m_horizon.size();
  m_newFaces.clear();
  for (size_t i = 0; i < nb; ++i)
  {
    const size_t ab = m_horizon[i];
    const size_t a  = m_halfEdges[m_halfEdges[ab].opposite].endVertex;
    const size_t b  = m_halfEdges[ab].endVertex;
    const size_t bq = m_taken[2 * i + 1];
    const size_t qa = m_taken[2 * i];
    const size_t f  = addFace();
    m_newFaces.push_back(f);

    m_halfEdges[ab].face      = f;
    m_halfEdges[ab].next      = bq;
    m_halfEdges[bq].endVertex = q;
    m_halfEdges[bq].face      = f;
    m_halfEdges[bq].next      = qa;
    m_halfEdges[qa].endVertex = a;
    m_halfEdges[qa].face      = f;
    m_halfEdges[qa].next      = ab;

    Face& face    = m_faces[f];
    face.halfEdge = ab;
    double        n[3];
    const double* pq = point(q);
    triangleNormal(point(a), point(b), pq, n);
    face.nx = n[0];
    face.ny = n[1];
    face.nz = n[2];
    face.d  = -(n[0] * pq[0] + n[1] * pq[1] + n[2] * pq[2]);
    face.nn = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
  }
  // Around the loop, the Q->A half-edge of face i is the twin of the B->Q of face i-1.
  for (size_t i = 0; i < nb; ++i)
  {
    const size_t qa          = m_taken[2 * i];
    const size_t bq          = m_taken[2 * ((i + nb - 1) % nb) + 1];
    m_halfEdges[qa].opposite = bq;
    m_halfEdges[bq].opposite = qa;
  }
}

void algoMesh_HullBuilder::reassignPoints(const size_t q)
{
  m_candidates.clear();
  for (const size_t f : m_newFaces)
  {
    addCandidate(f);
  }
  for (std::unique_ptr<IndexList>& list : m_setAside)
  {
    for (const size_t p : *list)
    {
      if (p != q && !assignToCandidates(p))
      {
        ++m_nbSettled;
      }
    }
    returnList(list);
  }
  m_setAside.clear();
  ++m_nbSettled; // q itself
}

void algoMesh_HullBuilder::undoPlanarLift()
{
  if (!m_isPlanar)
  {
    return;
  }
  const size_t lifted = m_nbPoints - 1;
  for (HalfEdge& e : m_halfEdges)
  {
    if (e.endVertex == lifted)
    {
      e.endVertex = 0;
    }
  }
  m_coords   = m_inputCoords;
  m_nbPoints = m_nbInputPoints;
}

size_t algoMesh_HullBuilder::addFace()
{
  if (!m_disabledFaces.empty())
  {
    const size_t f = m_disabledFaces.back();
    m_disabledFaces.pop_back();
    m_faces[f].farDist = 0.0;
    return f;
  }
  m_faces.emplace_back();
  return m_faces.size() - 1;
}

size_t algoMesh_HullBuilder::addHalfEdge()
{
  if (!m_disabledHalfEdges.empty())
  {
    const size_t e = m_disabledHalfEdges.back();
    m_disabledHalfEdges.pop_back();
    return e;
  }
  m_halfEdges.push_back(HalfEdge{THE_NONE, THE_NONE, THE_NONE, THE_NONE});
  return m_halfEdges.size() - 1;
}

void algoMesh_HullBuilder::disableHalfEdge(const size_t e)
{
  m_halfEdges[e].endVertex = THE_NONE;
  m_disabledHalfEdges.push_back(e);
}

std::unique_ptr<algoMesh_HullBuilder::IndexList> algoMesh_HullBuilder::takeList()
{
  if (m_pool.empty())
  {
    return std::make_unique<IndexList>();
  }
  std::unique_ptr<IndexList> list = std::move(m_pool.back());
  m_pool.pop_back();
  return list;
}

void algoMesh_HullBuilder::returnList(std::unique_ptr<IndexList>& list)
{
  if (list->capacity() > THE_POOL_SLACK * (list->size() + 1))
  {
    list.reset();
    return;
  }
  list->clear();
  m_pool.push_back(std::move(list));
}

Handle(Poly_Triangulation) algoMesh_HullBuilder::Triangulation() const
{
  std::vector<int>    number(m_nbPoints, -1);
  std::vector<size_t> order; // hull vertices in order of first appearance
  std::vector<int>    corners;
  for (const Face& face : m_faces)
  {
    if (face.IsDisabled())
    {
      continue;
    }
    size_t e = face.halfEdge;
    for (int k = 0; k < 3; ++k, e = m_halfEdges[e].next)
    {
      const size_t v = m_halfEdges[e].endVertex;
      if (number[v] < 0)
      {
        number[v] = static_cast<int>(order.size());
        order.push_back(v);
      }
      corners.push_back(number[v] + 1);
    }
  }
  const int nbTriangles = static_cast<int>(corners.size() / 3);
  Handle(Poly_Triangulation) mesh =
      new Poly_Triangulation(static_cast<int>(order.size()), nbTriangles, false);
  for (size_t k = 0; k < order.size(); ++k)
  {
    const double* p = point(order[k]);
    mesh->SetNode(static_cast<int>(k) + 1, gp_Pnt(p[0], p[1], p[2]));
  }
  for (int t = 0; t < nbTriangles; ++t)
  {
    mesh->SetTriangle(t + 1, Poly_Triangle(corners[3 * t], corners[3 * t + 1], corners[3 * t + 2]));
  }
  return mesh;
}
