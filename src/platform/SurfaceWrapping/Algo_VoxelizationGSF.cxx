// Grid, surface and flood voxelization with a closing and a well-composed repair.
//
// The surface cells are found slab by slab (slabs of a few z layers own their cells, so the
// parallel marking needs no atomics), the closing and the repair scan the grid in parallel
// z layers, and the flood is a scanline fill (runs along x, seeds pushed for the four
// neighbouring rows), which visits each cell a bounded number of times. The repair rests
// on the result of Latecki ("3D well-composed pictures", 1997): without the critical
// 2×2×2 configurations the boundary of the solid cells is a closed 2-manifold.
#include <Algo_VoxelizationGSF.hxx>

#include <SurfWrap_DummyProgressNotifier.hxx>
#include <SurfWrap_TriangleSoup.hxx>

#include <BVHTools_PrimitiveSet.hxx>

#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <array>
#include <atomic>
#include <memory>
#include <cmath>

using SurfWrap_Geometry::Vec;

namespace
{

constexpr int    THE_MARGIN    = 3;
constexpr size_t THE_MAX_CELLS = size_t(1) << 27;
constexpr int    THE_SLAB      = 4;
// Progress steps of the grid work: the surface, its growth, the flood, the growth back and
// the solid made well-composed.
constexpr int THE_NB_GRID_STEPS = 5;

// Whether a 2×2×2 block (bit dx + 2dy + 4dz set for a solid cell) is critical.
std::array<bool, 256> criticalBlocks()
{
  std::array<bool, 256> table{};
  for (int mask = 0; mask < 256; ++mask)
  {
    auto solid = [mask](const int dx, const int dy, const int dz)
    { return ((mask >> (dx | (dy << 1) | (dz << 2))) & 1) != 0; };
    bool critical = false;
    // Two cells meeting along an edge of a face square, the other two not (or the reverse).
    for (int axis = 0; axis < 3 && !critical; ++axis)
    {
      for (int v = 0; v < 2 && !critical; ++v)
      {
        bool c[2][2];
        for (int p = 0; p < 2; ++p)
        {
          for (int q = 0; q < 2; ++q)
          {
            int d[3];
            d[axis]           = v;
            d[(axis + 1) % 3] = p;
            d[(axis + 2) % 3] = q;
            c[p][q]           = solid(d[0], d[1], d[2]);
          }
        }
        critical = c[0][0] == c[1][1] && c[0][1] == c[1][0] && c[0][0] != c[0][1];
      }
    }
    // Two opposite corners alike and all six other cells unlike them.
    int count = 0;
    for (int b = 0; b < 8; ++b)
    {
      count += (mask >> b) & 1;
    }
    for (int b = 0; b < 4 && !critical; ++b)
    {
      const bool a = ((mask >> b) & 1) != 0, o = ((mask >> (7 - b)) & 1) != 0;
      critical = (count == 2 && a && o) || (count == 6 && !a && !o);
    }
    table[mask] = critical;
  }
  return table;
}

} // namespace

Algo_VoxelizationGSF::Algo_VoxelizationGSF(const Handle(Poly_Triangulation) & mesh,
                                           const Handle(SurfWrap_ProgressNotifier) & notifier)
    : m_mesh(mesh),
      m_notifier(notifier.IsNull()
                     ? Handle(SurfWrap_ProgressNotifier)(SurfWrap_DummyProgressNotifier::Instance())
                     : notifier),
      m_size(0.0), m_nbThreads(1)
{
}

bool Algo_VoxelizationGSF::Perform()
{
  m_grid = SurfWrap_VoxelGrid();

  // 1. Read the usable triangles and check the size.
  tbb::task_arena                        arena(BVHTools::ArenaSize(m_nbThreads));
  std::unique_ptr<SurfWrap_TriangleSoup> read;
  arena.execute([&] { read.reset(new SurfWrap_TriangleSoup(m_mesh)); });
  const SurfWrap_TriangleSoup& soup = *read;
  if (soup.IsEmpty())
  {
    m_notifier->NewMessage("SurfWrap.Voxelization.EmptyMesh", SurfWrap_Fail);
    return false;
  }
  if (!(m_size > 0.0) || !std::isfinite(m_size))
  {
    m_notifier->NewMessage("SurfWrap.Voxelization.BadSize", SurfWrap_Fail);
    return false;
  }

  // 2. Lay out the grid with its margin, enlarging the cells when there would be too many.
  double    size   = m_size;
  const Vec extent = soup.Max - soup.Min;
  auto      cells  = [&](const double s, const double e)
  { return static_cast<double>(std::floor(e / s) + 1 + 2 * THE_MARGIN); };
  const auto count = [&](const double s)
  { return cells(s, extent.x) * cells(s, extent.y) * cells(s, extent.z); };
  if (count(size) > static_cast<double>(THE_MAX_CELLS))
  {
    while (count(size) > static_cast<double>(THE_MAX_CELLS))
    {
      size *= 1.02;
    }
    m_notifier->NewMessage("SurfWrap.Voxelization.SizeEnlarged", SurfWrap_Warning,
                           TCollection_AsciiString(size));
  }
  m_grid.Size   = size;
  m_grid.Nx     = static_cast<int>(cells(size, extent.x));
  m_grid.Ny     = static_cast<int>(cells(size, extent.y));
  m_grid.Nz     = static_cast<int>(cells(size, extent.z));
  const Vec mid = 0.5 * (soup.Min + soup.Max);
  m_grid.Origin = mid - 0.5 * Vec{m_grid.Nx * size, m_grid.Ny * size, m_grid.Nz * size};

  // Steps 3 to 7 are the steps of a scope of their own, which covers the caller's step.
  bool isDone = false;
  m_notifier->NewScope(THE_NB_GRID_STEPS, "Voxelizing");
  arena.execute(
      [&]
      {
        const SurfWrap_VoxelGrid& g  = m_grid;
        const int                 nx = g.Nx, ny = g.Ny, nz = g.Nz;

        // 3. Mark the cells the surface meets.
        std::vector<uint8_t> surface(g.NbCells(), 0);
        if (!rasterize(soup.Corners, surface) || !isGoingOn())
        {
          return;
        }

        // 4. Grow the surface cells by one across faces: gaps up to a voxel wide close.
        auto grow = [&](const std::vector<uint8_t>& from, std::vector<uint8_t>& to,
                        const std::vector<uint8_t>* keepFree)
        {
          tbb::parallel_for(0, nz,
                            [&](const int z)
                            {
                              for (int y = 0; y < ny; ++y)
                              {
                                for (int x = 0; x < nx; ++x)
                                {
                                  const size_t i = g.Index(x, y, z);
                                  if (from[i] || (keepFree && (*keepFree)[i]))
                                  {
                                    to[i] = from[i];
                                    continue;
                                  }
                                  to[i] = (x > 0 && from[i - 1]) || (x + 1 < nx && from[i + 1]) ||
                                          (y > 0 && from[i - nx]) || (y + 1 < ny && from[i + nx]) ||
                                          (z > 0 && from[i - size_t(nx) * ny]) ||
                                          (z + 1 < nz && from[i + size_t(nx) * ny]);
                                }
                              }
                            });
        };
        std::vector<uint8_t> blocked(g.NbCells(), 0);
        grow(surface, blocked, nullptr);
        if (!isGoingOn())
        {
          return;
        }

        // 5. Flood the outside from the corner, which the margin keeps free.
        std::vector<uint8_t> outside(g.NbCells(), 0);
        flood(g, blocked, outside);
        blocked = std::vector<uint8_t>();
        if (!isGoingOn())
        {
          return;
        }

        // 6. Grow the outside back by one, but never into a surface cell.
        std::vector<uint8_t> closed(g.NbCells(), 0);
        grow(outside, closed, &surface);
        outside = std::vector<uint8_t>();
        surface = std::vector<uint8_t>();
        if (!isGoingOn())
        {
          return;
        }

        // 7. Solid is what the outside does not reach; repair it to be well-composed.
        m_grid.Solid.assign(g.NbCells(), 0);
        tbb::parallel_for(size_t(0), g.NbCells(),
                          [&](const size_t i) { m_grid.Solid[i] = !closed[i]; });
        closed = std::vector<uint8_t>();
        isDone = makeWellComposed();
      });
  m_notifier->EndScope();
  if (!isDone)
  {
    m_grid = SurfWrap_VoxelGrid();
  }
  return isDone;
}

bool Algo_VoxelizationGSF::isGoingOn() const
{
  m_notifier->Increment();
  m_notifier->ProcessEvents();
  return !m_notifier->IsInterrupted();
}

bool Algo_VoxelizationGSF::rasterize(const std::vector<Vec>& corners,
                                     std::vector<uint8_t>&   surface) const
{
  const SurfWrap_VoxelGrid& g           = m_grid;
  const int                 nbTriangles = static_cast<int>(corners.size() / 3);
  const int                 nbSlabs     = (g.Nz + THE_SLAB - 1) / THE_SLAB;
  auto                      cellOf      = [&](const double v, const double o, const int n)
  { return std::min(n - 1, std::max(0, static_cast<int>(std::floor((v - o) / g.Size)))); };

  // Cell ranges of the triangles' boxes, then the triangles binned by slab (counting sort).
  std::vector<std::array<int, 6>> ranges(nbTriangles);
  tbb::parallel_for(0, nbTriangles,
                    [&](const int t)
                    {
                      const Vec* c = &corners[3 * size_t(t)];
                      ranges[t]    = {cellOf(std::min({c[0].x, c[1].x, c[2].x}), g.Origin.x, g.Nx),
                                      cellOf(std::min({c[0].y, c[1].y, c[2].y}), g.Origin.y, g.Ny),
                                      cellOf(std::min({c[0].z, c[1].z, c[2].z}), g.Origin.z, g.Nz),
                                      cellOf(std::max({c[0].x, c[1].x, c[2].x}), g.Origin.x, g.Nx),
                                      cellOf(std::max({c[0].y, c[1].y, c[2].y}), g.Origin.y, g.Ny),
                                      cellOf(std::max({c[0].z, c[1].z, c[2].z}), g.Origin.z, g.Nz)};
                    });
  std::vector<int> start(nbSlabs + 1, 0);
  for (const std::array<int, 6>& r : ranges)
  {
    for (int s = r[2] / THE_SLAB; s <= r[5] / THE_SLAB; ++s)
    {
      ++start[s + 1];
    }
  }
  for (int s = 0; s < nbSlabs; ++s)
  {
    start[s + 1] += start[s];
  }
  std::vector<int> binned(start[nbSlabs]);
  std::vector<int> fill(start.begin(), start.end() - 1);
  for (int t = 0; t < nbTriangles; ++t)
  {
    for (int s = ranges[t][2] / THE_SLAB; s <= ranges[t][5] / THE_SLAB; ++s)
    {
      binned[fill[s]++] = t;
    }
  }

  // Each slab marks its own layers. A hair of tolerance keeps triangles lying exactly on a
  // cell face in the cells on both sides.
  const Vec         half{0.5 * g.Size * (1.0 + 1e-9), 0.5 * g.Size * (1.0 + 1e-9),
                 0.5 * g.Size * (1.0 + 1e-9)};
  std::atomic<bool> isStopped{false};
  tbb::parallel_for(
      0, nbSlabs,
      [&](const int s)
      {
        // A slab marks a few layers: polling before each keeps a stop within milliseconds.
        if (isStopped.load(std::memory_order_relaxed) || m_notifier->IsInterrupted())
        {
          isStopped.store(true, std::memory_order_relaxed);
          return;
        }
        const int zLo = s * THE_SLAB, zHi = std::min(g.Nz, zLo + THE_SLAB) - 1;
        for (int b = start[s]; b < start[s + 1]; ++b)
        {
          const int                 t         = binned[b];
          const std::array<int, 6>& r         = ranges[t];
          const Vec*                c         = &corners[3 * size_t(t)];
          const bool                isOneCell = r[0] == r[3] && r[1] == r[4] && r[2] == r[5];
          for (int z = std::max(r[2], zLo); z <= std::min(r[5], zHi); ++z)
          {
            for (int y = r[1]; y <= r[4]; ++y)
            {
              for (int x = r[0]; x <= r[3]; ++x)
              {
                const size_t i = g.Index(x, y, z);
                if (surface[i])
                {
                  continue;
                }
                const Vec center =
                    g.Origin + Vec{(x + 0.5) * g.Size, (y + 0.5) * g.Size, (z + 0.5) * g.Size};
                if (isOneCell ||
                    SurfWrap_Geometry::TriangleBoxOverlap(center, half, c[0], c[1], c[2]))
                {
                  surface[i] = 1;
                }
              }
            }
          }
        }
      });
  return !isStopped.load();
}

void Algo_VoxelizationGSF::flood(const SurfWrap_VoxelGrid&   grid,
                                 const std::vector<uint8_t>& blocked,
                                 std::vector<uint8_t>&       outside)
{
  const int           nx = grid.Nx, ny = grid.Ny, nz = grid.Nz;
  auto                isFree = [&](const size_t i) { return !blocked[i] && !outside[i]; };
  std::vector<size_t> seeds;
  if (isFree(0))
  {
    seeds.push_back(0);
  }
  while (!seeds.empty())
  {
    const size_t seed = seeds.back();
    seeds.pop_back();
    if (!isFree(seed))
    {
      continue;
    }
    const int    y  = static_cast<int>((seed / nx) % ny);
    const int    z  = static_cast<int>(seed / (size_t(nx) * ny));
    int          x0 = static_cast<int>(seed % nx), x1 = x0;
    const size_t row = grid.Index(0, y, z);
    while (x0 > 0 && isFree(row + x0 - 1))
    {
      --x0;
    }
    while (x1 + 1 < nx && isFree(row + x1 + 1))
    {
      ++x1;
    }
    for (int x = x0; x <= x1; ++x)
    {
      outside[row + x] = 1;
    }
    // One seed per free run of each neighbouring row.
    const int rows[4][2] = {{y - 1, z}, {y + 1, z}, {y, z - 1}, {y, z + 1}};
    for (const auto& r : rows)
    {
      if (r[0] < 0 || r[0] >= ny || r[1] < 0 || r[1] >= nz)
      {
        continue;
      }
      const size_t other = grid.Index(0, r[0], r[1]);
      bool         inRun = false;
      for (int x = x0; x <= x1; ++x)
      {
        const bool isFreeHere = isFree(other + x);
        if (isFreeHere && !inRun)
        {
          seeds.push_back(other + x);
        }
        inRun = isFreeHere;
      }
    }
  }
}

bool Algo_VoxelizationGSF::makeWellComposed()
{
  static const std::array<bool, 256> isCritical = criticalBlocks();
  SurfWrap_VoxelGrid&                g          = m_grid;
  const int                          nx = g.Nx, ny = g.Ny, nz = g.Nz;
  auto                               maskOf = [&](const int x, const int y, const int z)
  {
    const size_t i = g.Index(x, y, z), sy = nx, sz = size_t(nx) * ny;
    return g.Solid[i] | (g.Solid[i + 1] << 1) | (g.Solid[i + sy] << 2) |
           (g.Solid[i + sy + 1] << 3) | (g.Solid[i + sz] << 4) | (g.Solid[i + sz + 1] << 5) |
           (g.Solid[i + sz + sy] << 6) | (g.Solid[i + sz + sy + 1] << 7);
  };
  auto fillBlock = [&](const int x, const int y, const int z)
  {
    for (int d = 0; d < 8; ++d)
    {
      g.Solid[g.Index(x + (d & 1), y + ((d >> 1) & 1), z + ((d >> 2) & 1))] = 1;
    }
  };

  for (;;)
  {
    // 1. Find the critical blocks over the whole grid, layer by layer in parallel.
    std::vector<std::vector<std::array<int, 3>>> found(std::max(0, nz - 1));
    tbb::parallel_for(0, nz - 1,
                      [&](const int z)
                      {
                        for (int y = 0; y + 1 < ny; ++y)
                        {
                          for (int x = 0; x + 1 < nx; ++x)
                          {
                            if (isCritical[maskOf(x, y, z)])
                            {
                              found[z].push_back({x, y, z});
                            }
                          }
                        }
                      });
    std::vector<std::array<int, 3>> pending;
    for (const auto& layer : found)
    {
      pending.insert(pending.end(), layer.begin(), layer.end());
    }
    if (pending.empty())
    {
      return true;
    }

    // 2. Fill them, then recheck only the blocks around the filled ones, until none is left.
    while (!pending.empty())
    {
      if (m_notifier->IsInterrupted())
      {
        return false;
      }
      std::vector<std::array<int, 3>> next;
      for (const std::array<int, 3>& b : pending)
      {
        if (!isCritical[maskOf(b[0], b[1], b[2])])
        {
          continue;
        }
        fillBlock(b[0], b[1], b[2]);
        for (int dz = -1; dz <= 1; ++dz)
        {
          for (int dy = -1; dy <= 1; ++dy)
          {
            for (int dx = -1; dx <= 1; ++dx)
            {
              const int x = b[0] + dx, y = b[1] + dy, z = b[2] + dz;
              if (x >= 0 && y >= 0 && z >= 0 && x + 1 < nx && y + 1 < ny && z + 1 < nz &&
                  isCritical[maskOf(x, y, z)])
              {
                next.push_back({x, y, z});
              }
            }
          }
        }
      }
      pending.swap(next);
    }

    // 3. Filling may have closed off pockets of the outside: make them solid too, and
    //    check the whole grid again when there were any.
    std::vector<uint8_t> outside(g.NbCells(), 0);
    flood(g, g.Solid, outside);
    bool hasPocket = false;
    for (size_t i = 0; i < g.NbCells(); ++i)
    {
      if (!g.Solid[i] && !outside[i])
      {
        g.Solid[i] = 1;
        hasPocket  = true;
      }
    }
    if (!hasPocket)
    {
      return true;
    }
  }
}
