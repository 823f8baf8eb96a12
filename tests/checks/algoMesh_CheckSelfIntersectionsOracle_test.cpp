// The self-intersection check and the two-mesh pair search against an all-pairs oracle
// written here from scratch. The meshes have small integer coordinates, so the oracle
// decides every pair exactly in 64-bit integer arithmetic, with a method of its own (a
// separating-axis test, and a test of the corner cones for triangles meeting at a node)
// that shares no code with the library's orientation predicates.
//
// The convention matched is the library's: two closed triangles intersect when they share
// a point, except that touching only at a common node or along a common edge (the same
// node indices) is the normal contact of neighbours and does not count. Distinct nodes at
// one position do not share anything, so their contact counts. Degenerate triangles are
// never reported.
#include <algoMesh_CheckSelfIntersections.hxx>

#include <BVHTools_IntersectMeshMesh.hxx>

#include <MeshBuilders.hxx>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <numeric>
#include <random>

using quorin::algoMesh_CheckSelfIntersections;

namespace
{

// With coordinates within +-4096 every product below stays under 2^56.
constexpr long long THE_MAX_COORD = 4096;

using Vec = std::array<long long, 3>;

Vec sub(const Vec& a, const Vec& b)
{
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

Vec cross(const Vec& a, const Vec& b)
{
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

long long dot(const Vec& a, const Vec& b)
{
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

bool isZero(const Vec& v)
{
  return v[0] == 0 && v[1] == 0 && v[2] == 0;
}

int sign(const long long v)
{
  return (v > 0) - (v < 0);
}

struct Tri
{
  std::array<Vec, 3> p;
  std::array<int, 3> node;
  bool               boxesApart(const Tri& o) const
  {
    for (int x = 0; x < 3; ++x)
      if (std::max({p[0][x], p[1][x], p[2][x]}) < std::min({o.p[0][x], o.p[1][x], o.p[2][x]}) ||
          std::max({o.p[0][x], o.p[1][x], o.p[2][x]}) < std::min({p[0][x], p[1][x], p[2][x]}))
        return true;
    return false;
  }
  Vec normal() const { return cross(sub(p[1], p[0]), sub(p[2], p[0])); }
  Vec edge(const int k) const { return sub(p[(k + 1) % 3], p[k]); }
};

// Closed triangles share a point exactly when no axis separates their projections. For two
// convex polygons in space the candidate axes are the two normals, the cross products of
// their edges and, for coplanar ones, the in-plane normals of the edges.
bool trianglesMeet(const Tri& a, const Tri& b)
{
  const Vec           na = a.normal(), nb = b.normal();
  std::array<Vec, 17> axes;
  int                 nbAxes = 0;
  axes[nbAxes++]             = na;
  axes[nbAxes++]             = nb;
  for (int i = 0; i < 3; ++i)
  {
    for (int j = 0; j < 3; ++j)
      axes[nbAxes++] = cross(a.edge(i), b.edge(j));
    axes[nbAxes++] = cross(na, a.edge(i));
    axes[nbAxes++] = cross(nb, b.edge(i));
  }
  for (const Vec& axis : axes)
  {
    if (isZero(axis))
      continue;
    long long minA = dot(axis, a.p[0]), maxA = minA, minB = dot(axis, b.p[0]), maxB = minB;
    for (int k = 1; k < 3; ++k)
    {
      minA = std::min(minA, dot(axis, a.p[k]));
      maxA = std::max(maxA, dot(axis, a.p[k]));
      minB = std::min(minB, dot(axis, b.p[k]));
      maxB = std::max(maxB, dot(axis, b.p[k]));
    }
    if (maxA < minB || maxB < minA)
      return false;
  }
  return true;
}

// Direction d (in the plane of u1, u2 with normal n = u1 x u2) lies in the closed sector
// spanned by u1 and u2.
bool inSector(const Vec& d, const Vec& u1, const Vec& u2, const Vec& n)
{
  return dot(cross(u1, d), n) >= 0 && dot(cross(d, u2), n) >= 0;
}

// The direction in which the sector of u1, u2 meets the plane through the origin with
// normal m; false when the sector lies strictly on one side.
bool sectorOnPlane(const Vec& u1, const Vec& u2, const Vec& m, Vec& ray)
{
  const long long s1 = dot(m, u1), s2 = dot(m, u2);
  if (sign(s1) * sign(s2) > 0)
    return false;
  if (s1 == 0)
    ray = u1;
  else if (s2 == 0)
    ray = u2;
  else
    for (int k = 0; k < 3; ++k)
      ray[k] = std::llabs(s2) * u1[k] + std::llabs(s1) * u2[k];
  return true;
}

// Two triangles with exactly one common node v share another point exactly when their
// corner cones at v share a direction.
bool conesMeet(const Tri& a, const int ia, const Tri& b, const int ib)
{
  const Vec& v  = a.p[ia];
  const Vec  u1 = sub(a.p[(ia + 1) % 3], v), u2 = sub(a.p[(ia + 2) % 3], v);
  const Vec  w1 = sub(b.p[(ib + 1) % 3], v), w2 = sub(b.p[(ib + 2) % 3], v);
  const Vec  na = cross(u1, u2), nb = cross(w1, w2);
  if (isZero(cross(na, nb)))
  {
    // One plane: two convex sectors overlap when a side of one lies in the other.
    return inSector(w1, u1, u2, na) || inSector(w2, u1, u2, na) || inSector(u1, w1, w2, nb) ||
           inSector(u2, w1, w2, nb);
  }
  // Two planes: both sectors must reach the same side of their common line.
  Vec ra{}, rb{};
  if (!sectorOnPlane(u1, u2, nb, ra) || !sectorOnPlane(w1, w2, na, rb))
    return false;
  for (int k = 0; k < 3; ++k)
    if (ra[k] != 0)
      return sign(ra[k]) == sign(rb[k]);
  return false;
}

// Two triangles with the common edge (v, w) share another point only when they lie in one
// plane with their third corners on the same side of the edge (folded onto each other).
bool foldedOverEdge(const Tri& a, const Tri& b, const int v, const int w)
{
  int av = -1, aw = -1, bv = -1, bw = -1;
  for (int k = 0; k < 3; ++k)
  {
    av = a.node[k] == v ? k : av;
    aw = a.node[k] == w ? k : aw;
    bv = b.node[k] == v ? k : bv;
    bw = b.node[k] == w ? k : bw;
  }
  const Vec& pv = a.p[av];
  const Vec  e  = sub(a.p[aw], pv);
  const Vec  ca = cross(e, sub(a.p[3 - av - aw], pv));
  const Vec  cb = cross(e, sub(b.p[3 - bv - bw], pv));
  return isZero(cross(ca, cb)) && dot(ca, cb) > 0;
}

bool selfPairMeets(const Tri& a, const Tri& b)
{
  std::array<std::pair<int, int>, 9> common; // corner of a, corner of b on one node
  int                                nbCommon = 0;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      if (a.node[i] == b.node[j])
        common[nbCommon++] = {i, j};
  switch (nbCommon)
  {
  case 0:
    return trianglesMeet(a, b);
  case 1:
    return conesMeet(a, common[0].first, b, common[0].second);
  case 2:
    return foldedOverEdge(a, b, a.node[common[0].first], a.node[common[1].first]);
  default:
    return true; // the same three nodes
  }
}

std::vector<Tri> trianglesOf(const Handle(Poly_Triangulation) & mesh)
{
  std::vector<Tri> tris(mesh->NbTriangles());
  for (int t = 0; t < mesh->NbTriangles(); ++t)
  {
    mesh->Triangle(t + 1).Get(tris[t].node[0], tris[t].node[1], tris[t].node[2]);
    for (int k = 0; k < 3; ++k)
      for (int x = 0; x < 3; ++x)
      {
        const double c = mesh->Node(tris[t].node[k]).Coord(x + 1);
        EXPECT_TRUE(c == std::round(c) && std::abs(c) <= THE_MAX_COORD) << c;
        tris[t].p[k][x] = static_cast<long long>(c);
      }
  }
  return tris;
}

// All intersecting pairs (a, b), a < b, 1-based, sorted.
std::vector<int> oracleSelfPairs(const Handle(Poly_Triangulation) & mesh)
{
  const std::vector<Tri> tris = trianglesOf(mesh);
  std::vector<int>       pairs;
  for (size_t a = 0; a < tris.size(); ++a)
    for (size_t b = a + 1; b < tris.size(); ++b)
      if (!isZero(tris[a].normal()) && !isZero(tris[b].normal()) && selfPairMeets(tris[a], tris[b]))
      {
        pairs.push_back(int(a) + 1);
        pairs.push_back(int(b) + 1);
      }
  return pairs;
}

// All intersecting pairs (a of first, b of second), sorted by a then b.
std::vector<int> oracleMeshPairs(const Handle(Poly_Triangulation) & first,
                                 const Handle(Poly_Triangulation) & second)
{
  const std::vector<Tri> as = trianglesOf(first), bs = trianglesOf(second);
  std::vector<int>       pairs;
  for (size_t a = 0; a < as.size(); ++a)
    for (size_t b = 0; b < bs.size(); ++b)
      if (!as[a].boxesApart(bs[b]) && !isZero(as[a].normal()) && !isZero(bs[b].normal()) &&
          trianglesMeet(as[a], bs[b]))
      {
        pairs.push_back(int(a) + 1);
        pairs.push_back(int(b) + 1);
      }
  return pairs;
}

// The connected components of the pairs, each listed when its first pair comes.
std::list<std::set<int>> componentsOf(const std::vector<int>& pairs, const int nbTriangles)
{
  std::vector<int> parent(nbTriangles + 1);
  std::iota(parent.begin(), parent.end(), 0);
  const auto root = [&parent](int i)
  {
    while (parent[i] != i)
      i = parent[i] = parent[parent[i]];
    return i;
  };
  for (size_t k = 0; k < pairs.size(); k += 2)
    parent[root(pairs[k])] = root(pairs[k + 1]);
  std::map<int, std::set<int>> byRoot;
  std::vector<int>             order;
  for (size_t k = 0; k < pairs.size(); k += 2)
    for (const int t : {pairs[k], pairs[k + 1]})
    {
      std::set<int>& group = byRoot[root(t)];
      if (group.empty())
        order.push_back(root(t));
      group.insert(t);
    }
  std::list<std::set<int>> groups;
  for (const int r : order)
    groups.push_back(byRoot[r]);
  return groups;
}

std::vector<int> searchPairs(const Handle(Poly_Triangulation) & first,
                             const Handle(Poly_Triangulation) & second,
                             const int nbThreads)
{
  Handle(BVHTools::TriangleSet) a = new BVHTools::TriangleSet(first);
  Handle(BVHTools::TriangleSet) b = second == first ? a : new BVHTools::TriangleSet(second);
  BVHTools::IntersectMeshMesh search(nbThreads, a, b, second == first);
  EXPECT_TRUE(search.Perform());
  return search.Result();
}

// The self check on `mesh` agrees with the oracle: the same pairs from the search, the
// same clusters in the same order from the check, with one and with several threads.
// Answers the oracle's pairs.
std::vector<int> expectAgreement(const Handle(Poly_Triangulation) & mesh, const std::string& name)
{
  SCOPED_TRACE(name);
  const std::vector<int> expected = oracleSelfPairs(mesh);
  for (const int nbThreads : {1, 3})
  {
    EXPECT_EQ(searchPairs(mesh, mesh, nbThreads), expected) << nbThreads << " threads";
    Handle(algoMesh_CheckSelfIntersections) check = new algoMesh_CheckSelfIntersections();
    check->SaveSelfIntersections(true);
    check->ChangeParallelOptions().SetParallelMode(nbThreads > 1);
    check->ChangeParallelOptions().SetNbThreads(nbThreads);
    EXPECT_EQ(check->Perform(mesh), !expected.empty());
    EXPECT_EQ(check->Groups(), componentsOf(expected, mesh->NbTriangles()));
  }
  return expected;
}

// The mesh with every coordinate multiplied by `scale` and rounded to an integer.
Handle(Poly_Triangulation) snapped(const Handle(Poly_Triangulation) & mesh, const double scale)
{
  Handle(Poly_Triangulation) copy = testmesh::Combine(mesh, new Poly_Triangulation());
  for (int i = 1; i <= copy->NbNodes(); ++i)
  {
    const gp_Pnt p = copy->Node(i);
    copy->SetNode(
        i, gp_Pnt(std::round(p.X() * scale), std::round(p.Y() * scale), std::round(p.Z() * scale)));
  }
  return copy;
}

Handle(Poly_Triangulation) moved(const Handle(Poly_Triangulation) & mesh, const gp_Trsf& trsf)
{
  Handle(Poly_Triangulation) copy = testmesh::Combine(mesh, new Poly_Triangulation());
  for (int i = 1; i <= copy->NbNodes(); ++i)
    copy->SetNode(i, copy->Node(i).Transformed(trsf));
  return copy;
}

// Small triangles in a box of side 24, every other one sharing an edge with the one
// before (and so often touching or overlapping it exactly).
Handle(Poly_Triangulation) randomIntegerMesh(const int nbTriangles, const unsigned seed)
{
  std::mt19937                       random(seed);
  std::uniform_int_distribution<int> coord(0, 24), step(-4, 4);
  std::vector<gp_Pnt>                nodes;
  std::vector<std::array<int, 3>>    triangles;
  for (int t = 0; t < nbTriangles; ++t)
  {
    std::array<int, 3> tri{};
    int                first = 0;
    gp_Pnt             anchor(coord(random), coord(random), coord(random));
    if (t % 2 == 1)
    {
      tri    = {triangles.back()[2], triangles.back()[1], 0};
      first  = 2;
      anchor = nodes[tri[0] - 1];
    }
    for (int k = first; k < 3; ++k)
    {
      nodes.emplace_back(anchor.X() + step(random), anchor.Y() + step(random),
                         anchor.Z() + step(random));
      tri[k] = static_cast<int>(nodes.size());
    }
    triangles.push_back(tri);
  }
  return testmesh::Make(nodes, triangles);
}

// A strip of n x 2 squares of side 4 along x in the plane z = 0 whose second half folds
// back over the first in steps of 3, at the height height(k) at its k-th column from the fold.
Handle(Poly_Triangulation) foldedSheet(const int n, const std::function<int(int)>& height)
{
  std::vector<gp_Pnt>             nodes;
  std::vector<std::array<int, 3>> triangles;
  for (int i = 0; i <= 2 * n; ++i)
    for (int j = 0; j <= 2; ++j)
    {
      const int back = std::max(0, i - n);
      nodes.emplace_back(back == 0 ? 4 * i : 4 * n - 3 * back, 4 * j, height(back));
    }
  for (int i = 0; i < 2 * n; ++i)
    for (int j = 0; j < 2; ++j)
    {
      const int a = 3 * i + j + 1, b = a + 3;
      triangles.push_back({a, b, b + 1});
      triangles.push_back({a, b + 1, a + 1});
    }
  return testmesh::Make(nodes, triangles);
}

// Triangles of equal angle around node 1 at (0, 0, centre), their rim nodes at radius 60
// in the plane z = 0; a fan of a full turn closes on its first rim node. With `tent`, a
// second fan over the same rim from a node at (tentX, 0, tentZ).
Handle(Poly_Triangulation) fan(const int    nbTriangles,
                               const double turn,
                               const int    centre,
                               const bool   tent  = false,
                               const int    tentX = 0,
                               const int    tentZ = 0)
{
  const bool                      closed = std::abs(turn - 2 * M_PI) < 1e-12;
  const int                       nbRim  = closed ? nbTriangles : nbTriangles + 1;
  std::vector<gp_Pnt>             nodes  = {gp_Pnt(0, 0, centre)};
  std::vector<std::array<int, 3>> triangles;
  for (int k = 0; k < nbRim; ++k)
  {
    const double angle = turn * k / nbTriangles;
    nodes.emplace_back(std::round(60 * std::cos(angle)), std::round(60 * std::sin(angle)), 0);
  }
  for (int k = 0; k < nbTriangles; ++k)
    triangles.push_back({1, 2 + k, 2 + (k + 1) % nbRim});
  if (tent)
  {
    nodes.emplace_back(tentX, 0, tentZ);
    const int apex = static_cast<int>(nodes.size());
    for (int k = 0; k < nbTriangles; ++k)
      triangles.push_back({apex, 2 + (k + 1) % nbRim, 2 + k});
  }
  return testmesh::Make(nodes, triangles);
}

} // namespace

TEST(algoMesh_CheckSelfIntersectionsOracle, OracleDecidesHandPickedContacts)
{
  // The oracle itself, on pairs whose answers are known by construction.
  const auto tri  = [](Vec a, Vec b, Vec c, std::array<int, 3> n) { return Tri{{a, b, c}, n}; };
  const Tri  base = tri({0, 0, 0}, {4, 0, 0}, {0, 4, 0}, {1, 2, 3});
  // Crossing, touching at a corner, an edge on the face, a near miss, apart in the plane.
  EXPECT_TRUE(selfPairMeets(base, tri({1, 1, -1}, {1, 1, 1}, {2, 2, 1}, {4, 5, 6})));
  EXPECT_TRUE(selfPairMeets(base, tri({1, 1, 0}, {1, 1, 3}, {2, 3, 3}, {4, 5, 6})));
  EXPECT_TRUE(selfPairMeets(base, tri({1, 0, 0}, {3, 0, 0}, {2, 0, 5}, {4, 5, 6})));
  EXPECT_FALSE(selfPairMeets(base, tri({1, 1, 1}, {1, 1, 3}, {2, 3, 3}, {4, 5, 6})));
  EXPECT_FALSE(selfPairMeets(base, tri({3, 3, 0}, {5, 3, 0}, {3, 5, 0}, {4, 5, 6})));
  EXPECT_TRUE(selfPairMeets(base, tri({2, 2, 0}, {5, 3, 0}, {3, 5, 0}, {4, 5, 6})));
  // Neighbours: over a common edge flat or bent, folded onto each other, at one node.
  EXPECT_FALSE(selfPairMeets(base, tri({4, 0, 0}, {0, 4, 0}, {4, 4, 0}, {2, 3, 4})));
  EXPECT_FALSE(selfPairMeets(base, tri({4, 0, 0}, {0, 4, 0}, {4, 4, 3}, {2, 3, 4})));
  EXPECT_TRUE(selfPairMeets(base, tri({4, 0, 0}, {0, 4, 0}, {1, 1, 0}, {2, 3, 4})));
  EXPECT_FALSE(selfPairMeets(base, tri({0, 0, 0}, {-4, 0, 0}, {0, -4, 0}, {1, 4, 5})));
  EXPECT_FALSE(selfPairMeets(base, tri({0, 0, 0}, {0, 0, 4}, {4, 0, 4}, {1, 4, 5})));
  EXPECT_TRUE(selfPairMeets(base, tri({0, 0, 0}, {1, 1, 0}, {4, 4, 4}, {1, 4, 5})));
  EXPECT_TRUE(selfPairMeets(base, tri({0, 0, 0}, {1, 1, -2}, {1, 1, 2}, {1, 4, 5})));
  // The same positions under other node numbers meet.
  EXPECT_TRUE(selfPairMeets(base, tri({0, 0, 0}, {-4, 0, 0}, {0, -4, 0}, {7, 4, 5})));
}

TEST(algoMesh_CheckSelfIntersectionsOracle, RandomMeshesMatchTheOracle)
{
  for (unsigned seed = 1; seed <= 6; ++seed)
  {
    const Handle(Poly_Triangulation) mesh = randomIntegerMesh(200, seed);
    EXPECT_FALSE(expectAgreement(mesh, "random mesh, seed " + std::to_string(seed)).empty());
  }
}

TEST(algoMesh_CheckSelfIntersectionsOracle, FoldedSheetsMatchTheOracle)
{
  // Flat onto itself (coplanar overlaps, and neighbours folded over the fold's edges),
  // bent down through itself (touching the base exactly at the third column), and bent up
  // away from it (neighbours only).
  const Handle(Poly_Triangulation) flat = foldedSheet(6, [](int) { return 0; });
  const Handle(Poly_Triangulation) bent = foldedSheet(6, [](int k) { return k * (k - 3); });
  const Handle(Poly_Triangulation) away = foldedSheet(6, [](int k) { return 2 * k; });
  EXPECT_FALSE(expectAgreement(flat, "sheet folded flat onto itself").empty());
  EXPECT_FALSE(expectAgreement(bent, "sheet folded through itself").empty());
  EXPECT_TRUE(expectAgreement(away, "sheet folded away from itself").empty());
}

TEST(algoMesh_CheckSelfIntersectionsOracle, ToriApartTouchingLinkedAndCrossingMatchTheOracle)
{
  // Integer tori of ring radius 800 and tube radius 240. The node at angles (0, 0) lies at
  // x = 1040 exactly, so a copy moved by 2080 touches it there at one point.
  const Handle(Poly_Triangulation) torus = snapped(testmesh::Torus(2.0, 0.6, 16, 6), 400.0);
  EXPECT_TRUE(expectAgreement(torus, "one torus").empty());

  gp_Trsf shift;
  shift.SetTranslation(gp_Vec(2100, 0, 0));
  EXPECT_TRUE(expectAgreement(testmesh::Combine(torus, moved(torus, shift)), "apart").empty());
  shift.SetTranslation(gp_Vec(2080, 0, 0));
  const Handle(Poly_Triangulation) touching = testmesh::Combine(torus, moved(torus, shift));
  EXPECT_FALSE(expectAgreement(touching, "touching").empty());

  // Chain links: the second ring stands in the xz plane through the first one's hole,
  // clear of its tube; moved towards the first ring's centre it cuts through the tube.
  gp_Trsf stand;
  stand.SetRotation(gp::OX(), M_PI / 2);
  for (const double x : {800.0, 400.0})
  {
    gp_Trsf place;
    place.SetTranslation(gp_Vec(x, 0, 0));
    const Handle(Poly_Triangulation) pair =
        testmesh::Combine(torus, snapped(moved(torus, place * stand), 1.0));
    EXPECT_EQ(expectAgreement(pair, x == 800.0 ? "linked" : "crossing").empty(), x == 800.0);
  }
}

TEST(algoMesh_CheckSelfIntersectionsOracle, FansAroundOneNodeMatchTheOracle)
{
  // Six triangles around a node fill the plane once: neighbours only. Eight of the same
  // angle wrap past a full turn and overlap the first ones. A tent under a raised fan over
  // the same rim stays inside it; with its apex off-centre and high it pokes through.
  const Handle(Poly_Triangulation) once = fan(6, 2 * M_PI, 0), wrapped = fan(8, 8 * M_PI / 3, 0);
  const Handle(Poly_Triangulation) nested = fan(6, 2 * M_PI, 20, true, 0, 10);
  const Handle(Poly_Triangulation) poking = fan(6, 2 * M_PI, 20, true, 40, 10);
  EXPECT_TRUE(expectAgreement(once, "fan once around").empty());
  EXPECT_FALSE(expectAgreement(wrapped, "fan past a full turn").empty());
  EXPECT_TRUE(expectAgreement(nested, "tent inside a fan").empty());
  EXPECT_FALSE(expectAgreement(poking, "tent poking through a fan").empty());
  expectAgreement(fan(5, 2 * M_PI, -30, true, -20, 15), "fan and tent on both sides");
}

TEST(algoMesh_CheckSelfIntersectionsOracle, TwoMeshSearchMatchesTheOracle)
{
  // Two different sets share no node: every contact counts, including the touching tori's
  // single common point and the coplanar faces of two boxes side by side.
  const Handle(Poly_Triangulation) torus = snapped(testmesh::Torus(2.0, 0.6, 16, 6), 400.0);
  const Handle(Poly_Triangulation) box   = snapped(testmesh::Cube(), 500.0);
  for (const double dx : {2080.0, 1500.0, 2500.0})
  {
    gp_Trsf shift;
    shift.SetTranslation(gp_Vec(dx, 0, 0));
    const Handle(Poly_Triangulation) other = moved(torus, shift);
    const std::vector<int> expected        = oracleMeshPairs(torus, other);
    EXPECT_EQ(expected.empty(), dx == 2500.0);
    for (const int nbThreads : {1, 2})
      EXPECT_EQ(searchPairs(torus, other, nbThreads), expected) << dx;
  }
  for (const gp_Vec& offset :
       {gp_Vec(500, 0, 0), gp_Vec(500, 500, 500), gp_Vec(250, 250, 250), gp_Vec(501, 0, 0)})
  {
    gp_Trsf shift;
    shift.SetTranslation(offset);
    const Handle(Poly_Triangulation) other = moved(box, shift);
    const std::vector<int> expected        = oracleMeshPairs(box, other);
    EXPECT_EQ(expected.empty(), offset.X() == 501.0);
    EXPECT_EQ(searchPairs(box, other, 2), expected) << offset.X() << " " << offset.Y();
  }
  const Handle(Poly_Triangulation) first  = randomIntegerMesh(150, 7),
                                   second = randomIntegerMesh(150, 8);
  const std::vector<int> expected         = oracleMeshPairs(first, second);
  EXPECT_FALSE(expected.empty());
  EXPECT_EQ(searchPairs(first, second, 2), expected);
}
