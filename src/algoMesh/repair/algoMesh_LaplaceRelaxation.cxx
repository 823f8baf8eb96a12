#include "algoMesh_LaplaceRelaxation.pxx"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace quorin
{

namespace
{

// Kinds of points, in the filter's numbering: free, fixed, on non-manifold edges, on
// boundary edges.
constexpr unsigned char THE_SIMPLE   = 0;
constexpr unsigned char THE_FIXED    = 1;
constexpr unsigned char THE_FEATURE  = 2;
constexpr unsigned char THE_BOUNDARY = 3;

// The filter's defaults: the move towards the neighbours' mean, and the largest bend of
// the two edges a point on non-manifold edges may slide along (15 degrees, converted as
// VTK converts it).
constexpr double THE_RELAXATION_FACTOR = 0.01;
constexpr double THE_EDGE_ANGLE        = 15.0 * 0.017453292519943295;

// Items (polygons or points) between two polls: a millisecond or so of work.
constexpr int64_t THE_POLL_MASK = 0x3FFF;

// Share of the progress taken by the classification; the iterations take the rest.
constexpr double THE_CLASSIFY_SHARE = 0.5;

//! Length of `v`, which becomes a unit vector unless it is zero.
double normalize(double v[3])
{
  const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (length != 0.0)
  {
    for (int k = 0; k < 3; ++k)
    {
      v[k] /= length;
    }
  }
  return length;
}

} // namespace

algoMesh_LaplaceRelaxation::algoMesh_LaplaceRelaxation(const int64_t               nbPoints,
                                                       const std::vector<int64_t>& offsets,
                                                       const std::vector<int64_t>& corners)
    : m_nbPoints(nbPoints), m_offsets(offsets), m_corners(corners)
{
}

bool algoMesh_LaplaceRelaxation::Perform(double*                 coords,
                                         const int               iterations,
                                         algoMesh_ProgressScope& progress)
{
  // 1. Nothing moves without iterations: the analysis is skipped, as the filter skips it.
  if (iterations <= 0 || m_nbPoints <= 0)
  {
    progress.Complete();
    return true;
  }

  // 2. Classify the points and collect their neighbours.
  if (!classifyPoints(coords, progress.Next(THE_CLASSIFY_SHARE)))
  {
    return false;
  }

  // 3. Relax until the count is reached or no point moves any more.
  algoMesh_ProgressScope moves = progress.Next(1.0);
  moves.SetTotal(iterations);
  double largestMove = DBL_MAX;
  for (int iteration = 0; iteration < iterations && largestMove > 0.0; ++iteration)
  {
    if (moves.IsCancelled())
    {
      return false;
    }
    largestMove = relax(coords, moves);
    if (largestMove < 0.0)
    {
      return false;
    }
    moves.Advance();
  }
  progress.Complete();
  return true;
}

bool algoMesh_LaplaceRelaxation::classifyPoints(const double*            coords,
                                                algoMesh_ProgressScope&& progress)
{
  m_kind.assign(static_cast<size_t>(m_nbPoints), THE_SIMPLE);
  m_hasList.assign(static_cast<size_t>(m_nbPoints), 0);
  buildLinks();
  // A corner of a polygon starts one edge and ends one: a point has at most twice as many
  // edges as polygon corners.
  m_nbEdges.assign(static_cast<size_t>(m_nbPoints), 0);
  m_edges.assign(2 * m_corners.size(), 0);

  // Each edge is met once per polygon on it. It is recorded by the first of them: a shared
  // manifold edge by the polygon whose neighbour comes later, a non-manifold one by the
  // polygon all of whose neighbours come later (the others record it as a plain edge,
  // which the points' kinds then ignore), a boundary edge by its only polygon.
  const int64_t nbPolygons = static_cast<int64_t>(m_offsets.size()) - 1;
  progress.SetTotal(nbPolygons);
  for (int64_t polygon = 0; polygon < nbPolygons; ++polygon)
  {
    if ((polygon & THE_POLL_MASK) == 0)
    {
      progress.SetDone(polygon);
      if (progress.IsCancelled())
      {
        return false;
      }
    }
    const int64_t  first = m_offsets[polygon];
    const int64_t  size  = m_offsets[polygon + 1] - first;
    const int64_t* pts   = m_corners.data() + first;
    for (int64_t i = 0; i < size; ++i)
    {
      const int64_t p1     = pts[i];
      const int64_t p2     = pts[(i + 1) % size];
      m_hasList[p1]        = 1;
      m_hasList[p2]        = 1;
      int64_t nbNeighbours = 0;
      bool    hasEarlier   = false;
      int64_t neighbour    = -1;
      countEdgeNeighbours(polygon, p1, p2, nbNeighbours, hasEarlier, neighbour);

      int edge = THE_SIMPLE;
      if (nbNeighbours == 0)
      {
        edge = THE_BOUNDARY;
      }
      else if (nbNeighbours >= 2)
      {
        edge = hasEarlier ? THE_SIMPLE : THE_FEATURE;
      }
      else if (neighbour < polygon)
      {
        continue; // recorded by the neighbour already
      }
      addEdge(p1, p2, edge);
      addEdge(p2, p1, edge);
    }
  }
  m_links = std::vector<int64_t>();

  checkEdgePoints(coords);
  progress.Complete();
  return true;
}

void algoMesh_LaplaceRelaxation::checkEdgePoints(const double* coords)
{
  const double cosEdgeAngle = std::cos(THE_EDGE_ANGLE);
  for (int64_t p = 0; p < m_nbPoints; ++p)
  {
    unsigned char& kind = m_kind[p];
    if (kind == THE_BOUNDARY)
    {
      kind = THE_FIXED; // boundaries are held
    }
    else if (kind == THE_FEATURE)
    {
      const int32_t* edges = m_edges.data() + 2 * m_linkStart[p];
      if (m_nbEdges[p] != 2)
      {
        kind = THE_FIXED;
        continue;
      }
      const double* x1 = coords + 3 * edges[0];
      const double* x2 = coords + 3 * p;
      const double* x3 = coords + 3 * edges[1];
      double        l1[3];
      double        l2[3];
      for (int k = 0; k < 3; ++k)
      {
        l1[k] = x2[k] - x1[k];
        l2[k] = x3[k] - x2[k];
      }
      if (normalize(l1) >= 0.0 && normalize(l2) >= 0.0 &&
          l1[0] * l2[0] + l1[1] * l2[1] + l1[2] * l2[2] < cosEdgeAngle)
      {
        kind = THE_FIXED;
      }
    }
  }
}

void algoMesh_LaplaceRelaxation::buildLinks()
{
  m_linkStart.assign(static_cast<size_t>(m_nbPoints) + 1, 0);
  for (const int64_t p : m_corners)
  {
    ++m_linkStart[p + 1];
  }
  for (int64_t p = 0; p < m_nbPoints; ++p)
  {
    m_linkStart[p + 1] += m_linkStart[p];
  }
  m_links.resize(m_corners.size());
  std::vector<int64_t> next(m_linkStart.begin(), m_linkStart.end() - 1);
  const int64_t        nbPolygons = static_cast<int64_t>(m_offsets.size()) - 1;
  for (int64_t polygon = 0; polygon < nbPolygons; ++polygon)
  {
    for (int64_t c = m_offsets[polygon]; c < m_offsets[polygon + 1]; ++c)
    {
      m_links[next[m_corners[c]]++] = polygon;
    }
  }
}

void algoMesh_LaplaceRelaxation::countEdgeNeighbours(const int64_t polygon,
                                                     const int64_t p1,
                                                     const int64_t p2,
                                                     int64_t&      nbNeighbours,
                                                     bool&         hasEarlier,
                                                     int64_t&      first) const
{
  // Polygons of p1 (once per corner they have there) that also use p2.
  const int64_t* links2    = m_links.data() + m_linkStart[p2];
  const int64_t* links2End = m_links.data() + m_linkStart[p2 + 1];
  for (int64_t l = m_linkStart[p1]; l < m_linkStart[p1 + 1]; ++l)
  {
    const int64_t other = m_links[l];
    if (other == polygon)
    {
      continue;
    }
    bool isShared = false;
    for (const int64_t* it = links2; it != links2End && !isShared; ++it)
    {
      isShared = *it == other;
    }
    if (isShared)
    {
      if (nbNeighbours == 0)
      {
        first = other;
      }
      ++nbNeighbours;
      hasEarlier = hasEarlier || other < polygon;
    }
  }
}

void algoMesh_LaplaceRelaxation::addEdge(const int64_t p, const int64_t other, const int edge)
{
  unsigned char& kind    = m_kind[p];
  int32_t*       edges   = m_edges.data() + 2 * m_linkStart[p];
  int32_t&       nbEdges = m_nbEdges[p];
  if (edge != THE_SIMPLE && kind == THE_SIMPLE)
  {
    // The first special edge: the point now moves along special edges only.
    edges[0] = static_cast<int32_t>(other);
    nbEdges  = 1;
    kind     = static_cast<unsigned char>(edge);
  }
  else if ((edge != THE_SIMPLE && (kind == THE_BOUNDARY || kind == THE_FEATURE)) ||
           (edge == THE_SIMPLE && kind == THE_SIMPLE))
  {
    edges[nbEdges++] = static_cast<int32_t>(other);
    if (kind != THE_SIMPLE && edge == THE_BOUNDARY)
    {
      kind = THE_BOUNDARY;
    }
  }
}

double algoMesh_LaplaceRelaxation::relax(double* coords, algoMesh_ProgressScope& progress)
{
  double largestMove = 0.0;
  for (int64_t p = 0; p < m_nbPoints; ++p)
  {
    if ((p & THE_POLL_MASK) == 0 && progress.IsCancelled())
    {
      return -1.0;
    }
    const int32_t nbEdges = m_nbEdges[p];
    if (m_kind[p] == THE_FIXED || m_hasList[p] == 0 || nbEdges == 0)
    {
      continue;
    }
    const int32_t* edges = m_edges.data() + 2 * m_linkStart[p];
    // The neighbours' mean, summed in list order, then the move towards it. The norm of
    // the sum is the filter's convergence measure: the run ends when it is zero everywhere.
    double*      x      = coords + 3 * p;
    const double count  = static_cast<double>(nbEdges);
    double       sum[3] = {0.0, 0.0, 0.0};
    for (int32_t e = 0; e < nbEdges; ++e)
    {
      const double* y = coords + 3 * static_cast<int64_t>(edges[e]);
      for (int k = 0; k < 3; ++k)
      {
        sum[k] += y[k];
      }
    }
    for (int k = 0; k < 3; ++k)
    {
      x[k] = (sum[k] / count - x[k]) * THE_RELAXATION_FACTOR + x[k];
    }
    largestMove =
        std::max(largestMove, std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]));
  }
  return largestMove;
}

} // namespace quorin
