// Box-volume objective over three rotation angles. An evaluation turns the frame, takes the
// extremes of the hull nodes along each axis and then the depth of the deepest node along
// it. Both are searches for a maximum of a function of a node's projection, so clusters
// of nodes whose bounding sphere cannot beat the best value found so far are skipped
// (branch and bound over a flat list of clusters), starting from the previous evaluation's
// best nodes. Clusters are the leaves of a median split of the nodes, which keeps each one
// compact: O(h log h) once, then typically a fraction of O(h) per evaluation.
#include <algoMesh_FuncOBB.hxx>

#include <algoMesh_UtilsOBB.hxx>

#include <gp_Ax1.hxx>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

using namespace quorin;

namespace
{
// Step of the central differences, radians.
constexpr double THE_STEP = 1e-4;

// Most nodes per cluster: small enough to bound tightly, large enough to make the bound
// test cheap next to the scan it saves.
constexpr int THE_CLUSTER_SIZE = 16;

// Clusters per group: groups are tested first, so that far clusters cost one test per 16.
constexpr size_t THE_GROUP_SIZE = 16;

// Largest value of min(l - lo, hi - l) for l in [u, v].
double tentMaximum(const double u, const double v, const double lo, const double hi)
{
  const double middle = 0.5 * (lo + hi);
  if (v < middle)
  {
    return v - lo;
  }
  if (u > middle)
  {
    return hi - u;
  }
  return std::min(middle - lo, hi - middle);
}
} // namespace

algoMesh_FuncOBB::algoMesh_FuncOBB(const gp_Ax3& placement, const Handle(Poly_Triangulation) & hull)
    : m_placement(placement), m_hull(hull), m_volume0(0.0)
{
  gp_Pnt minCorner, maxCorner;
  algoMesh_UtilsOBB::BuildCorners(m_placement, m_hull, minCorner, maxCorner);
  const gp_XYZ extents = maxCorner.XYZ() - minCorner.XYZ();
  m_volume0            = extents.X() * extents.Y() * extents.Z();

  const int nbNodes = m_hull.IsNull() ? 0 : m_hull->NbNodes();
  m_x.reserve(nbNodes);
  m_y.reserve(nbNodes);
  m_z.reserve(nbNodes);
  for (int i = 1; i <= nbNodes; ++i)
  {
    const gp_XYZ d = m_hull->Node(i).XYZ() - m_placement.Location().XYZ();
    m_x.push_back(d.X());
    m_y.push_back(d.Y());
    m_z.push_back(d.Z());
  }
  buildClusters();
  for (int k = 0; k < 3; ++k)
  {
    m_seedLo[k] = m_seedHi[k] = m_seedDeep[k] = 0;
  }
}

void algoMesh_FuncOBB::buildClusters()
{
  const int nbNodes = static_cast<int>(m_x.size());
  if (nbNodes == 0)
  {
    return;
  }
  // 1. Split the nodes at the median of the longest side of their box until a part holds
  //    few enough nodes: compact clusters even where the nodes are sparse and uneven.
  std::vector<int> order(nbNodes);
  std::iota(order.begin(), order.end(), 0);
  const std::vector<double>*       coords[3] = {&m_x, &m_y, &m_z};
  std::vector<std::pair<int, int>> parts     = {{0, nbNodes}}, leaves;
  while (!parts.empty())
  {
    const std::pair<int, int> part = parts.back();
    parts.pop_back();
    if (part.second - part.first <= THE_CLUSTER_SIZE)
    {
      leaves.push_back(part);
      continue;
    }
    int    axis    = 0;
    double longest = -1.0;
    for (int c = 0; c < 3; ++c)
    {
      const auto range = std::minmax_element(
          order.begin() + part.first, order.begin() + part.second,
          [&](const int a, const int b) { return (*coords[c])[a] < (*coords[c])[b]; });
      const double extent = (*coords[c])[*range.second] - (*coords[c])[*range.first];
      if (extent > longest)
      {
        longest = extent;
        axis    = c;
      }
    }
    const int middle = (part.first + part.second) / 2;
    std::nth_element(
        order.begin() + part.first, order.begin() + middle, order.begin() + part.second,
        [&](const int a, const int b) { return (*coords[axis])[a] < (*coords[axis])[b]; });
    parts.push_back({part.first, middle});
    parts.push_back({middle, part.second});
  }
  std::sort(leaves.begin(), leaves.end()); // in node order: neighbours stay together
  std::vector<double> x(nbNodes), y(nbNodes), z(nbNodes);
  for (int i = 0; i < nbNodes; ++i)
  {
    x[i] = m_x[order[i]];
    y[i] = m_y[order[i]];
    z[i] = m_z[order[i]];
  }
  m_x.swap(x);
  m_y.swap(y);
  m_z.swap(z);

  // 2. Bound each cluster by a sphere, then each run of consecutive clusters (neighbours
  //    in the split, hence in space) by another, so that far groups cost one test.
  for (const std::pair<int, int>& leaf : leaves)
  {
    m_clusters.push_back(boundingSphere(leaf.first, leaf.second));
  }
  for (size_t first = 0; first < m_clusters.size(); first += THE_GROUP_SIZE)
  {
    const size_t last  = std::min(m_clusters.size(), first + THE_GROUP_SIZE);
    Cluster      group = boundingSphere(m_clusters[first].first, m_clusters[last - 1].last);
    group.first        = static_cast<int>(first);
    group.last         = static_cast<int>(last);
    m_groups.push_back(group);
  }
}

algoMesh_FuncOBB::Cluster algoMesh_FuncOBB::boundingSphere(const int first, const int last) const
{
  // The sphere about the box centre of the nodes. Its margin covers the rounding of the
  // projections compared against it (relative 1e-15 at most on these magnitudes) many
  // times over.
  double lo[3] = {m_x[first], m_y[first], m_z[first]};
  double hi[3] = {lo[0], lo[1], lo[2]};
  for (int i = first; i < last; ++i)
  {
    const double p[3] = {m_x[i], m_y[i], m_z[i]};
    for (int c = 0; c < 3; ++c)
    {
      lo[c] = std::min(lo[c], p[c]);
      hi[c] = std::max(hi[c], p[c]);
    }
  }
  Cluster sphere;
  for (int c = 0; c < 3; ++c)
  {
    sphere.centre[c] = 0.5 * (lo[c] + hi[c]);
  }
  double radius2 = 0.0;
  for (int i = first; i < last; ++i)
  {
    const double dx = m_x[i] - sphere.centre[0], dy = m_y[i] - sphere.centre[1],
                 dz = m_z[i] - sphere.centre[2];
    radius2         = std::max(radius2, dx * dx + dy * dy + dz * dz);
  }
  const double size = std::fabs(sphere.centre[0]) + std::fabs(sphere.centre[1]) +
                      std::fabs(sphere.centre[2]) + std::sqrt(radius2);
  sphere.radius = std::sqrt(radius2) + 1e-12 * size;
  // Non-finite coordinates give no bound: such a sphere is always searched.
  if (!std::isfinite(sphere.radius))
  {
    sphere.radius = std::numeric_limits<double>::infinity();
  }
  sphere.first = first;
  sphere.last  = last;
  return sphere;
}

Standard_Integer algoMesh_FuncOBB::NbVariables() const
{
  return 3;
}

Standard_Boolean algoMesh_FuncOBB::Value(const math_Vector& X, Standard_Real& F)
{
  gp_Ax3 frame;
  Rotate(X, frame);
  const gp_XYZ axes[3] = {frame.XDirection().XYZ(), frame.YDirection().XYZ(),
                          frame.Direction().XYZ()};

  double volume = 1.0, depths = 1.0;
  for (int k = 0; k < 3; ++k)
  {
    double lo, hi;
    projectedExtremes(k, axes[k], lo, hi);
    volume *= hi - lo;
    depths *= deepestNode(k, axes[k], lo, hi);
  }
  F = (volume + depths) / m_volume0;
  return Standard_True;
}

Standard_Boolean algoMesh_FuncOBB::Gradient(const math_Vector& X, math_Vector& G)
{
  math_Vector shifted(X);
  for (int i = 0; i < 3; ++i)
  {
    double fPlus = 0.0, fMinus = 0.0;
    shifted(X.Lower() + i) = X(X.Lower() + i) + THE_STEP;
    Value(shifted, fPlus);
    shifted(X.Lower() + i) = X(X.Lower() + i) - THE_STEP;
    Value(shifted, fMinus);
    shifted(X.Lower() + i) = X(X.Lower() + i);
    G(G.Lower() + i)       = (fPlus - fMinus) / (2.0 * THE_STEP);
  }
  return Standard_True;
}

Standard_Boolean algoMesh_FuncOBB::Values(const math_Vector& X, Standard_Real& F, math_Vector& G)
{
  Value(X, F);
  Gradient(X, G);
  return Standard_True;
}

void algoMesh_FuncOBB::projectedExtremes(const int k, const gp_XYZ& axis, double& lo, double& hi)
{
  const double  a1 = axis.X(), a2 = axis.Y(), a3 = axis.Z();
  const double *x = m_x.data(), *y = m_y.data(), *z = m_z.data();
  const double  big = std::numeric_limits<double>::max();
  lo                = big;
  hi                = -big;
  if (m_x.empty())
  {
    return;
  }
  int argLo = m_seedLo[k], argHi = m_seedHi[k];
  for (const int seed : {argLo, argHi})
  {
    const double l = x[seed] * a1 + y[seed] * a2 + z[seed] * a3;
    lo             = std::min(lo, l);
    hi             = std::max(hi, l);
  }
  // Every node of a sphere projects within its radius of the centre's projection.
  const auto isInside = [&](const Cluster& sphere)
  {
    const double centre = sphere.centre[0] * a1 + sphere.centre[1] * a2 + sphere.centre[2] * a3;
    return centre - sphere.radius >= lo && centre + sphere.radius <= hi;
  };
  for (const Cluster& group : m_groups)
  {
    if (isInside(group))
    {
      continue;
    }
    for (int c = group.first; c < group.last; ++c)
    {
      const Cluster& cluster = m_clusters[c];
      if (isInside(cluster))
      {
        continue;
      }
      for (int i = cluster.first; i < cluster.last; ++i)
      {
        const double l = x[i] * a1 + y[i] * a2 + z[i] * a3;
        if (l < lo)
        {
          lo    = l;
          argLo = i;
        }
        if (l > hi)
        {
          hi    = l;
          argHi = i;
        }
      }
    }
  }
  m_seedLo[k] = argLo;
  m_seedHi[k] = argHi;
}

double
algoMesh_FuncOBB::deepestNode(const int k, const gp_XYZ& axis, const double lo, const double hi)
{
  const double  a1 = axis.X(), a2 = axis.Y(), a3 = axis.Z();
  const double *x = m_x.data(), *y = m_y.data(), *z = m_z.data();
  if (m_x.empty())
  {
    return 0.0;
  }
  int          argDeep        = m_seedDeep[k];
  const double seed           = x[argDeep] * a1 + y[argDeep] * a2 + z[argDeep] * a3;
  double       deepest        = std::max(0.0, std::min(seed - lo, hi - seed));
  const auto   cannotBeDeeper = [&](const Cluster& sphere)
  {
    const double centre = sphere.centre[0] * a1 + sphere.centre[1] * a2 + sphere.centre[2] * a3;
    return tentMaximum(centre - sphere.radius, centre + sphere.radius, lo, hi) <= deepest;
  };
  for (const Cluster& group : m_groups)
  {
    if (cannotBeDeeper(group))
    {
      continue;
    }
    for (int c = group.first; c < group.last; ++c)
    {
      const Cluster& cluster = m_clusters[c];
      if (cannotBeDeeper(cluster))
      {
        continue;
      }
      for (int i = cluster.first; i < cluster.last; ++i)
      {
        const double l     = x[i] * a1 + y[i] * a2 + z[i] * a3;
        const double depth = std::min(l - lo, hi - l);
        if (depth > deepest)
        {
          deepest = depth;
          argDeep = i;
        }
      }
    }
  }
  m_seedDeep[k] = argDeep;
  return deepest;
}

void algoMesh_FuncOBB::Rotate(const math_Vector& X, gp_Ax3& placement) const
{
  // Every turn is about an axis of the initial frame, not of the turned one.
  const gp_Pnt& origin = m_placement.Location();
  placement            = m_placement;
  placement.Rotate(gp_Ax1(origin, m_placement.XDirection()), X(X.Lower()));
  placement.Rotate(gp_Ax1(origin, m_placement.YDirection()), X(X.Lower() + 1));
  placement.Rotate(gp_Ax1(origin, m_placement.Direction()), X(X.Lower() + 2));
  // The origin lies on every axis; rounding in the turns must not move it.
  placement.SetLocation(origin);
}
