// Solid voxelization on a uniform grid: cells are solid inside a closed surface and empty
// well outside it, the solid volume is the true one within a layer of cells, gaps narrower
// than a voxel are bridged and wide ones let the outside in, and the solid is
// well-composed.
#include <Algo_VoxelizationGSF.hxx>

#include <MeshBuilders.hxx>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>

namespace
{

class Notifier : public SurfWrap_ProgressNotifier
{
public:
  explicit Notifier(const int stopAfter = -1)
      : SurfWrap_ProgressNotifier("voxels"), m_stopAfter(stopAfter)
  {
  }
  void ProcessEvents() override {}
  bool IsInterrupted() override { return m_stopAfter >= 0 && m_polls++ >= m_stopAfter; }

private:
  int              m_stopAfter;
  std::atomic<int> m_polls{0};
};

SurfWrap_VoxelGrid
voxelize(const Handle(Poly_Triangulation) & mesh, const double size, const int nbThreads = 2)
{
  Algo_VoxelizationGSF voxelization(mesh, nullptr);
  voxelization.SetVoxelSize(size);
  voxelization.SetNbThreads(nbThreads);
  EXPECT_TRUE(voxelization.Perform());
  return voxelization.Grid();
}

gp_Pnt centreOf(const SurfWrap_VoxelGrid& grid, const int x, const int y, const int z)
{
  return gp_Pnt(grid.Origin.x + (x + 0.5) * grid.Size, grid.Origin.y + (y + 0.5) * grid.Size,
                grid.Origin.z + (z + 0.5) * grid.Size);
}

// Counts the cells that disagree with a signed distance (negative inside): a cell whose
// centre is deeper inside than half its diagonal must be solid; one farther outside than
// `reach` cells must not be.
struct Misplaced
{
  int emptyInside = 0, solidOutside = 0, solid = 0;
};

Misplaced classify(const SurfWrap_VoxelGrid&                   grid,
                   const std::function<double(const gp_Pnt&)>& distance,
                   const double                                reach)
{
  const double halfDiagonal = 0.5 * std::sqrt(3.0) * grid.Size;
  Misplaced    result;
  for (int z = 0; z < grid.Nz; ++z)
    for (int y = 0; y < grid.Ny; ++y)
      for (int x = 0; x < grid.Nx; ++x)
      {
        const double d     = distance(centreOf(grid, x, y, z));
        const bool   solid = grid.Solid[grid.Index(x, y, z)] != 0;
        result.solid += solid;
        result.emptyInside += !solid && d < -halfDiagonal;
        result.solidOutside += solid && d > halfDiagonal + reach * grid.Size;
      }
  return result;
}

// A 2 x 2 x 2 block or a 2 x 2 square holding two cells of one kind that meet only along an
// edge or at a corner, the others being of the other kind.
int nonWellComposedBlocks(const SurfWrap_VoxelGrid& grid)
{
  const auto at    = [&grid](int x, int y, int z) { return grid.Solid[grid.Index(x, y, z)] != 0; };
  int        count = 0;
  for (int z = 0; z + 1 < grid.Nz; ++z)
    for (int y = 0; y + 1 < grid.Ny; ++y)
      for (int x = 0; x + 1 < grid.Nx; ++x)
      {
        bool c[2][2][2];
        int  nbSolid = 0;
        for (int k = 0; k < 8; ++k)
        {
          c[k & 1][(k >> 1) & 1][k >> 2] = at(x + (k & 1), y + ((k >> 1) & 1), z + (k >> 2));
          nbSolid += c[k & 1][(k >> 1) & 1][k >> 2];
        }
        // Two opposite corners alone, of either kind.
        for (int k = 0; k < 4; ++k)
        {
          const int  i = k & 1, j = (k >> 1) & 1;
          const bool a = c[i][j][0], b = c[1 - i][1 - j][1];
          if (a == b && (nbSolid == (a ? 2 : 6)))
            ++count;
        }
        // A checkerboard on the three faces through the block's first corner.
        const bool faces[3][4] = {{c[0][0][0], c[1][1][0], c[1][0][0], c[0][1][0]},
                                  {c[0][0][0], c[1][0][1], c[1][0][0], c[0][0][1]},
                                  {c[0][0][0], c[0][1][1], c[0][1][0], c[0][0][1]}};
        for (const auto& f : faces)
          if (f[0] == f[1] && f[2] == f[3] && f[0] != f[2])
            ++count;
      }
  return count;
}

} // namespace

TEST(Algo_VoxelizationGSF, SolidFillsAClosedSurfaceWithinALayerOfCells)
{
  // Sphere and torus (the torus has a hole the outside must reach through).
  const Handle(Poly_Triangulation) sphere = testmesh::Sphere(1.0, 96, 48);
  const Handle(Poly_Triangulation) torus  = testmesh::Torus(2.0, 0.6, 128, 48);
  const auto sphereDistance = [](const gp_Pnt& p) { return p.Distance(gp::Origin()) - 1.0; };
  const auto torusDistance  = [](const gp_Pnt& p)
  { return std::hypot(std::hypot(p.X(), p.Y()) - 2.0, p.Z()) - 0.6; };
  struct Case
  {
    Handle(Poly_Triangulation) mesh;
    std::function<double(const gp_Pnt&)> distance;
    double                               area;
  };
  for (const Case& c : {Case{sphere, sphereDistance, 4 * M_PI},
                        Case{torus, torusDistance, 4 * M_PI * M_PI * 2.0 * 0.6}})
  {
    for (const double size : {0.1, 0.05})
    {
      const SurfWrap_VoxelGrid grid = voxelize(c.mesh, size);
      ASSERT_EQ(grid.Solid.size(), grid.NbCells());
      EXPECT_DOUBLE_EQ(grid.Size, size);
      // The closing keeps every cell the surface meets and may add one more layer.
      const Misplaced misplaced = classify(grid, c.distance, 1.0);
      EXPECT_EQ(misplaced.emptyInside, 0) << size;
      EXPECT_EQ(misplaced.solidOutside, 0) << size;
      // So the solid volume exceeds the true one by less than a layer and a half of cells
      // over the area (0.8 of a layer is measured).
      const double volume = misplaced.solid * size * size * size;
      const double exact  = testmesh::SignedVolume(c.mesh);
      EXPECT_GE(volume, exact) << size;
      EXPECT_LE(volume, exact + 1.5 * size * c.area) << size;
      EXPECT_EQ(nonWellComposedBlocks(grid), 0) << size;
      // Three empty cells of margin on every side.
      for (int y = 0; y < grid.Ny; ++y)
        for (int z = 0; z < grid.Nz; ++z)
          for (const int x : {0, 1, 2, grid.Nx - 3, grid.Nx - 2, grid.Nx - 1})
            ASSERT_EQ(grid.Solid[grid.Index(x, y, z)], 0);
    }
  }
}

TEST(Algo_VoxelizationGSF, BlockCheckFindsCellsMeetingAtAnEdgeOrACorner)
{
  SurfWrap_VoxelGrid block;
  block.Nx = block.Ny = block.Nz = 2;
  block.Solid                    = {1, 0, 0, 0, 0, 0, 0, 1}; // opposite corners
  EXPECT_GT(nonWellComposedBlocks(block), 0);
  block.Solid = {1, 0, 0, 1, 0, 0, 0, 0}; // along an edge
  EXPECT_GT(nonWellComposedBlocks(block), 0);
  block.Solid = {0, 1, 1, 1, 1, 1, 1, 0}; // the same for the empty cells
  EXPECT_GT(nonWellComposedBlocks(block), 0);
  block.Solid = {1, 1, 0, 0, 1, 1, 0, 0}; // a face-connected slab
  EXPECT_EQ(nonWellComposedBlocks(block), 0);
}

TEST(Algo_VoxelizationGSF, NarrowGapsAreBridgedAndWideOnesLetTheOutsideIn)
{
  // The sides of a unit cube and its top lifted by `gap`, leaving a slit all around.
  const auto slitBox = [](const double gap)
  {
    const Handle(Poly_Triangulation) lid =
        testmesh::Make({gp_Pnt(0, 0, 1), gp_Pnt(1, 0, 1), gp_Pnt(1, 1, 1), gp_Pnt(0, 1, 1)},
                       {{1, 2, 3}, {1, 3, 4}});
    return testmesh::Combine(testmesh::OpenBox(), lid, gp_Vec(0, 0, gap));
  };
  const double size   = 0.05;
  const auto   inside = [&](const SurfWrap_VoxelGrid& grid)
  {
    const gp_Pnt centre(0.5, 0.5, 0.5);
    const int    x = int((centre.X() - grid.Origin.x) / size);
    const int    y = int((centre.Y() - grid.Origin.y) / size);
    const int    z = int((centre.Z() - grid.Origin.z) / size);
    return grid.Solid[grid.Index(x, y, z)] != 0;
  };
  EXPECT_TRUE(inside(voxelize(testmesh::Cube(), size)));
  EXPECT_TRUE(inside(voxelize(slitBox(0.3 * size), size))) << "a slit of a third of a voxel";
  EXPECT_FALSE(inside(voxelize(slitBox(4.0 * size), size))) << "a slit of four voxels";
  EXPECT_FALSE(inside(voxelize(testmesh::OpenBox(), size))) << "no top at all";
}

TEST(Algo_VoxelizationGSF, OverlappingPartsMergeAndThreadsAgree)
{
  // Two interpenetrating spheres: one solid, the union, whatever the thread count.
  const Handle(Poly_Triangulation) pair = testmesh::Combine(
      testmesh::Sphere(1.0, 64, 32), testmesh::Sphere(1.0, 64, 32), gp_Vec(1.0, 0, 0));
  const SurfWrap_VoxelGrid one = voxelize(pair, 0.08, 1), many = voxelize(pair, 0.08, 3);
  EXPECT_EQ(one.Solid, many.Solid);
  const auto distance = [](const gp_Pnt& p)
  { return std::min(p.Distance(gp::Origin()), p.Distance(gp_Pnt(1, 0, 0))) - 1.0; };
  const Misplaced misplaced = classify(one, distance, 1.0);
  EXPECT_EQ(misplaced.emptyInside, 0);
  EXPECT_EQ(misplaced.solidOutside, 0);
}

TEST(Algo_VoxelizationGSF, BadInputAndStoppingFail)
{
  const Handle(Notifier) notifier = new Notifier();
  Algo_VoxelizationGSF empty(new Poly_Triangulation(), notifier);
  empty.SetVoxelSize(0.1);
  EXPECT_FALSE(empty.Perform());
  for (const double size : {0.0, -1.0, std::nan(""), HUGE_VAL})
  {
    Algo_VoxelizationGSF bad(testmesh::Cube(), notifier);
    bad.SetVoxelSize(size);
    EXPECT_FALSE(bad.Perform()) << size;
  }
  EXPECT_EQ(notifier->Messages().size(), 5u);
  for (const SurfWrap_Message& message : notifier->Messages())
    EXPECT_EQ(message.Gravity, SurfWrap_Fail) << message.Text;

  // A triangle naming a missing node is left out; the rest is voxelized.
  Handle(Poly_Triangulation) broken = testmesh::Combine(testmesh::Cube(), testmesh::Tetra());
  broken->SetTriangle(13, Poly_Triangle(1, 2, 99));
  EXPECT_GT(classify(
                voxelize(broken, 0.1), [](const gp_Pnt&) { return 0.0; }, 0.0)
                .solid,
            0);

  // A notifier that asks to stop ends the run without a message.
  const Handle(Notifier) stopping = new Notifier(0);
  Algo_VoxelizationGSF stopped(testmesh::Sphere(1.0, 64, 32), stopping);
  stopped.SetVoxelSize(0.02);
  EXPECT_FALSE(stopped.Perform());
  EXPECT_TRUE(stopping->Messages().empty());
}

// The grid work counts its steps in a scope of its own over the caller's step, and polls
// within the surface marking: a stop at every poll count ends the run without a grid.
TEST(Algo_VoxelizationGSF, GridStepsMoveTheProgressAndEveryPollCanStop)
{
  const Handle(Poly_Triangulation) sphere = testmesh::Sphere(1.0, 64, 32);
  const Handle(Notifier) whole            = new Notifier();
  whole->NewScope(2, "caller");
  Algo_VoxelizationGSF voxelization(sphere, whole);
  voxelization.SetVoxelSize(0.05);
  ASSERT_TRUE(voxelization.Perform());
  EXPECT_DOUBLE_EQ(0.5, whole->GetPosition()); // the caller's first step, and no more

  for (const int stopAfter : {1, 6, 12})
  {
    const Handle(Notifier) stopping = new Notifier(stopAfter);
    Algo_VoxelizationGSF stopped(sphere, stopping);
    stopped.SetVoxelSize(0.05);
    stopped.SetNbThreads(2);
    EXPECT_FALSE(stopped.Perform()) << stopAfter;
    EXPECT_EQ(0, stopped.Grid().NbCells()) << stopAfter;
  }
}
