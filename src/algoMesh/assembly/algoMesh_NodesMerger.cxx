// Coincident-node merging over a uniform cell grid.
//
// Each point is looked up in a cell grid whose cell size equals the tolerance
// (algoMesh_CellGrid): the first stored node within the tolerance, in the grid's fixed
// visiting order, is the point's node. A point with no such node becomes a new node and is
// registered in its own cell. Cost: O(1) expected per point for well-spread input, O(n)
// for n points.
#include <algoMesh_NodesMerger.hxx>

#include <cmath>

using namespace quorin;

namespace
{
double validTolerance(const double tolerance)
{
  return (std::isfinite(tolerance) && tolerance > 0.0) ? tolerance : algoMesh_Tolerance;
}
} // namespace

algoMesh_NodesMerger::algoMesh_NodesMerger(const double tolerance)
    : m_tolerance(validTolerance(tolerance)), m_grid(m_tolerance), m_isLastNew(false)
{
}

void algoMesh_NodesMerger::Clear()
{
  m_nodes.clear();
  m_indices.clear();
  m_grid.Clear();
  m_isLastNew = false;
}

void algoMesh_NodesMerger::Reserve(const size_t nbPoints, const size_t nbNodes)
{
  m_nodes.reserve(nbNodes);
  m_indices.reserve(nbPoints);
  m_grid.Reserve(nbNodes);
}

void algoMesh_NodesMerger::Perform(const std::vector<gp_Pnt>& points)
{
  Clear();
  m_indices.assign(points.size(), 0);
  for (size_t i = 0; i < points.size(); ++i)
  {
    m_indices[i] = lookUp(points[i]);
  }
}

bool algoMesh_NodesMerger::Perform(const gp_Pnt& point, int& index)
{
  index = lookUp(point);
  m_indices.push_back(index);
  return m_isLastNew;
}

int algoMesh_NodesMerger::lookUp(const gp_Pnt& point)
{
  // 1. The first stored node within the tolerance wins (not necessarily the nearest).
  const int found = m_grid.FindFirst(point.XYZ(), m_tolerance);
  if (found > 0)
  {
    m_isLastNew = false;
    return found;
  }

  // 2. Otherwise the point becomes a new node. A non-finite point gets no cell and thus
  //    never absorbs a later point.
  m_nodes.push_back(point);
  const int index = static_cast<int>(m_nodes.size());
  m_grid.Add(point.XYZ(), index);
  m_isLastNew = true;
  return index;
}
