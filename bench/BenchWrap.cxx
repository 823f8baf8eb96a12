// Voxel benchmarks: the overlap check of a mesh and a shifted copy of it, shrink wrapping
// of a closed mesh and of a soup made from it, and the peers on the same voxel size: a
// voxel count of two rasterized copies on one VTK image for the overlap, VTK's distance
// field and iso-surface for the envelope.
#include <BenchCommon.hxx>

#include <algoMesh_Extent.hxx>
#include <algoMesh_CheckMeshesOverlap.hxx>
#include <algoMesh_Wrap.hxx>

#include <BVHTools_ProjectPntMesh.hxx>

#include <Bnd_Box.hxx>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <thread>

#ifdef QUORIN_HAVE_VTK_VOXEL_PEERS
#include <vtkCellArray.h>
#include <vtkFlyingEdges3D.h>
#include <vtkImageData.h>
#include <vtkImageStencilData.h>
#include <vtkImplicitModeller.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataToImageStencil.h>
#endif

namespace bench
{
namespace
{

int threadsOf(const Args& args)
{
  const int hardware = static_cast<int>(std::thread::hardware_concurrency());
  return args.threads > 0 ? args.threads : (hardware > 0 ? hardware : 1);
}

Bnd_Box boxOf(const Handle(Poly_Triangulation) & mesh)
{
  Bnd_Box box;
  for (int n = 1; n <= mesh->NbNodes(); ++n)
  {
    box.Add(mesh->Node(n));
  }
  return box;
}

// A copy of the mesh moved along x by a quarter of its x extent.
Handle(Poly_Triangulation) shiftedCopy(const Handle(Poly_Triangulation) & mesh)
{
  double xmin, ymin, zmin, xmax, ymax, zmax;
  boxOf(mesh).Get(xmin, ymin, zmin, xmax, ymax, zmax);
  Handle(Poly_Triangulation) copy =
      new Poly_Triangulation(mesh->NbNodes(), mesh->NbTriangles(), false);
  for (int n = 1; n <= mesh->NbNodes(); ++n)
  {
    copy->SetNode(n, mesh->Node(n).Translated(gp_Vec(0.25 * (xmax - xmin), 0.0, 0.0)));
  }
  for (int t = 1; t <= mesh->NbTriangles(); ++t)
  {
    copy->SetTriangle(t, mesh->Triangle(t));
  }
  return copy;
}

// Every triangle with three nodes of its own, in shuffled order, each corner moved by up to
// `jitter` along each axis: cracks, overlaps and tiny gaps everywhere.
Handle(Poly_Triangulation) soupOf(const Handle(Poly_Triangulation) & mesh, const double jitter)
{
  std::mt19937                           random(7);
  std::uniform_real_distribution<double> move(-jitter, jitter);
  std::vector<int>                       order(mesh->NbTriangles());
  for (int t = 0; t < mesh->NbTriangles(); ++t)
  {
    order[t] = t + 1;
  }
  std::shuffle(order.begin(), order.end(), random);
  Handle(Poly_Triangulation) soup =
      new Poly_Triangulation(3 * mesh->NbTriangles(), mesh->NbTriangles(), false);
  for (int t = 0; t < mesh->NbTriangles(); ++t)
  {
    int n[3];
    mesh->Triangle(order[t]).Get(n[0], n[1], n[2]);
    for (int c = 0; c < 3; ++c)
    {
      soup->SetNode(3 * t + c + 1,
                    mesh->Node(n[c]).Translated(gp_Vec(move(random), move(random), move(random))));
    }
    soup->SetTriangle(t + 1, Poly_Triangle(3 * t + 1, 3 * t + 2, 3 * t + 3));
  }
  return soup;
}

// Largest distance from a node of `from` to the surface `to`.
double maxDistance(const Handle(Poly_Triangulation) & from, const Handle(Poly_Triangulation) & to)
{
  BVHTools::ProjectPntMesh projector(new BVHTools::TriangleSet(to));
  double                   worst = 0.0;
  for (int n = 1; n <= from->NbNodes(); ++n)
  {
    int triangle = 0;
    worst        = std::max(worst, projector.Distance(from->Node(n), triangle));
  }
  return worst;
}

double ratioOption(const Args& args)
{
  return args.options.empty() ? 0.01 : std::atof(args.options[0].c_str());
}

int overlap(const Args& args)
{
  const Handle(Poly_Triangulation) mesh = ReadMesh(args.input);
  if (mesh.IsNull())
  {
    return 1;
  }
  const Handle(Poly_Triangulation) other = shiftedCopy(mesh);
  const double ratio                     = ratioOption(args);
  double       result                    = -1.0;
  const double seconds                   = BestOf3(
      [&]
      {
        Handle(quorin::algoMesh_CheckMeshesOverlap) check =
            new quorin::algoMesh_CheckMeshesOverlap(ratio);
        check->ChangeParallelOptions().SetNbThreads(threadsOf(args));
        check->Perform(mesh, other);
        result = check->OverlapRatio();
      });
  char metrics[128];
  std::snprintf(metrics, sizeof(metrics), "voxel_ratio=%g overlap=%.4f", ratio, result);
  Report("overlap", args.input, mesh->NbTriangles(), seconds, metrics);
  return result < 0.0 ? 1 : 0;
}

double sizeOption(const Args& args, const Handle(Poly_Triangulation) & mesh)
{
  return args.options.empty() ? quorin::algoMesh_Extent::Diagonal(mesh) / 200.0
                              : std::atof(args.options[0].c_str());
}

int wrapMesh(const Args& args, const Handle(Poly_Triangulation) & input, const char* name)
{
  const double size = sizeOption(args, input);
  Handle(Poly_Triangulation) result;
  const double seconds = BestOf3(
      [&]
      {
        Handle(quorin::algoMesh_Wrap) wrap = new quorin::algoMesh_Wrap();
        wrap->ChangeParallelOptions().SetNbThreads(threadsOf(args));
        wrap->Perform(input, size);
        result = wrap->Result();
      });
  if (result.IsNull())
  {
    std::fprintf(stderr, "wrapping failed\n");
    return 1;
  }
  char metrics[160];
  std::snprintf(metrics, sizeof(metrics), "size=%g triangles=%d max_dist=%.4g max_dist_voxels=%.3f",
                size, result->NbTriangles(), maxDistance(result, input),
                maxDistance(result, input) / size);
  Report(name, args.input, input->NbTriangles(), seconds, metrics);
  return 0;
}

int wrap(const Args& args)
{
  const Handle(Poly_Triangulation) mesh = ReadMesh(args.input);
  return mesh.IsNull() ? 1 : wrapMesh(args, mesh, "wrap");
}

int wrapSoup(const Args& args)
{
  const Handle(Poly_Triangulation) mesh = ReadMesh(args.input);
  if (mesh.IsNull())
  {
    return 1;
  }
  // Jitter of a tenth of a voxel: cracks the wrapping must bridge.
  return wrapMesh(args, soupOf(mesh, 0.1 * sizeOption(args, mesh)), "wrap-soup");
}

#ifdef QUORIN_HAVE_VTK_VOXEL_PEERS

vtkSmartPointer<vtkPolyData> toPolyData(const Handle(Poly_Triangulation) & mesh)
{
  vtkNew<vtkPoints> points;
  points->SetNumberOfPoints(mesh->NbNodes());
  for (int n = 1; n <= mesh->NbNodes(); ++n)
  {
    const gp_Pnt p = mesh->Node(n);
    points->SetPoint(n - 1, p.X(), p.Y(), p.Z());
  }
  vtkNew<vtkCellArray> cells;
  for (int t = 1; t <= mesh->NbTriangles(); ++t)
  {
    int a, b, c;
    mesh->Triangle(t).Get(a, b, c);
    const vtkIdType ids[3] = {a - 1, b - 1, c - 1};
    cells->InsertNextCell(3, ids);
  }
  vtkSmartPointer<vtkPolyData> poly = vtkSmartPointer<vtkPolyData>::New();
  poly->SetPoints(points);
  poly->SetPolys(cells);
  return poly;
}

// Number of voxels of a stencil (inside the closed surface, by scan conversion).
long long countVoxels(vtkImageStencilData* stencil)
{
  int extent[6];
  stencil->GetExtent(extent);
  long long count = 0;
  for (int z = extent[4]; z <= extent[5]; ++z)
  {
    for (int y = extent[2]; y <= extent[3]; ++y)
    {
      int iter = 0, r1 = 0, r2 = 0;
      while (stencil->GetNextExtent(r1, r2, extent[0], extent[1], y, z, iter))
      {
        count += r2 - r1 + 1;
      }
    }
  }
  return count;
}

int overlapVtk(const Args& args)
{
  const Handle(Poly_Triangulation) mesh = ReadMesh(args.input);
  if (mesh.IsNull())
  {
    return 1;
  }
  const Handle(Poly_Triangulation) other = shiftedCopy(mesh);
  const double voxel = ratioOption(args) * quorin::algoMesh_Extent::Diagonal(mesh);
  Bnd_Box      box   = boxOf(mesh);
  box.Add(boxOf(other));
  double xmin, ymin, zmin, xmax, ymax, zmax;
  box.Get(xmin, ymin, zmin, xmax, ymax, zmax);
  const int                          dims[3] = {static_cast<int>((xmax - xmin) / voxel) + 3,
                                                static_cast<int>((ymax - ymin) / voxel) + 3,
                                                static_cast<int>((zmax - zmin) / voxel) + 3};
  const vtkSmartPointer<vtkPolyData> a = toPolyData(mesh), b = toPolyData(other);
  double                             result  = 0.0;
  const double                       seconds = BestOf3(
      [&]
      {
        // Both solids rasterized on one grid; the shared voxels are those of the
        // intersection of the two stencils.
        vtkSmartPointer<vtkImageStencilData> stencils[2];
        vtkPolyData*                         inputs[2] = {a, b};
        for (int k = 0; k < 2; ++k)
        {
          vtkNew<vtkPolyDataToImageStencil> raster;
          raster->SetInputData(inputs[k]);
          raster->SetOutputOrigin(xmin - voxel, ymin - voxel, zmin - voxel);
          raster->SetOutputSpacing(voxel, voxel, voxel);
          raster->SetOutputWholeExtent(0, dims[0] - 1, 0, dims[1] - 1, 0, dims[2] - 1);
          raster->Update();
          stencils[k] = raster->GetOutput();
        }
        const long long             na = countVoxels(stencils[0]), nb = countVoxels(stencils[1]);
        vtkNew<vtkImageStencilData> shared;
        shared->DeepCopy(stencils[0]);
        shared->Clip(stencils[0]->GetExtent());
        // Intersection = A minus (A minus B).
        vtkNew<vtkImageStencilData> aMinusB;
        aMinusB->DeepCopy(stencils[0]);
        aMinusB->Subtract(stencils[1]);
        shared->Subtract(aMinusB);
        result = static_cast<double>(countVoxels(shared)) / std::max(na, nb);
      });
  char metrics[128];
  std::snprintf(metrics, sizeof(metrics), "voxel_ratio=%g overlap=%.4f", ratioOption(args), result);
  Report("overlap-vtk", args.input, mesh->NbTriangles(), seconds, metrics);
  return 0;
}

int wrapVtk(const Args& args)
{
  const Handle(Poly_Triangulation) mesh = ReadMesh(args.input);
  if (mesh.IsNull())
  {
    return 1;
  }
  const double size = sizeOption(args, mesh);
  double       xmin, ymin, zmin, xmax, ymax, zmax;
  boxOf(mesh).Get(xmin, ymin, zmin, xmax, ymax, zmax);
  const vtkSmartPointer<vtkPolyData> poly = toPolyData(mesh);
  Handle(Poly_Triangulation) result;
  const double seconds = BestOf3(
      [&]
      {
        // Unsigned distance sampled on a grid of the same voxel size (with a margin of three
        // voxels), then the iso-surface at one voxel: the envelope offset by one voxel.
        vtkNew<vtkImplicitModeller> distance;
        distance->SetInputData(poly);
        distance->SetModelBounds(xmin - 3 * size, xmax + 3 * size, ymin - 3 * size, ymax + 3 * size,
                                 zmin - 3 * size, zmax + 3 * size);
        distance->SetSampleDimensions(static_cast<int>((xmax - xmin) / size) + 7,
                                      static_cast<int>((ymax - ymin) / size) + 7,
                                      static_cast<int>((zmax - zmin) / size) + 7);
        distance->SetMaximumDistance(3 * size / std::max({xmax - xmin, ymax - ymin, zmax - zmin}));
        distance->SetNumberOfThreads(threadsOf(args));
        vtkNew<vtkFlyingEdges3D> contour;
        contour->SetInputConnection(distance->GetOutputPort());
        contour->SetValue(0, size);
        contour->Update();
        vtkPolyData* out = contour->GetOutput();
        result           = new Poly_Triangulation(std::max<vtkIdType>(1, out->GetNumberOfPoints()),
                                                  std::max<vtkIdType>(1, out->GetNumberOfPolys()), false);
        for (vtkIdType p = 0; p < out->GetNumberOfPoints(); ++p)
        {
          double x[3];
          out->GetPoint(p, x);
          result->SetNode(static_cast<int>(p) + 1, gp_Pnt(x[0], x[1], x[2]));
        }
        vtkIdType        npts  = 0;
        const vtkIdType* ids   = nullptr;
        int              t     = 1;
        vtkCellArray*    polys = out->GetPolys();
        for (polys->InitTraversal(); polys->GetNextCell(npts, ids);)
        {
          result->SetTriangle(t++, Poly_Triangle(ids[0] + 1, ids[1] + 1, ids[2] + 1));
        }
      });
  char metrics[160];
  std::snprintf(metrics, sizeof(metrics), "size=%g triangles=%d max_dist=%.4g max_dist_voxels=%.3f",
                size, result->NbTriangles(), maxDistance(result, mesh),
                maxDistance(result, mesh) / size);
  Report("wrap-vtk", args.input, mesh->NbTriangles(), seconds, metrics);
  return 0;
}

#endif

} // namespace

void AddWrapTasks(std::vector<Task>& tasks)
{
  tasks.push_back({"overlap",
                   "MESH.stl [RATIO]  algoMesh_CheckMeshesOverlap of the mesh and a copy "
                   "shifted by a quarter of its x extent (voxel ratio 0.01)",
                   overlap});
  tasks.push_back({"wrap", "MESH.stl [SIZE]  algoMesh_Wrap (size: diagonal / 200)", wrap});
  tasks.push_back(
      {"wrap-soup",
       "MESH.stl [SIZE]  algoMesh_Wrap of the mesh turned into a shuffled, jittered soup",
       wrapSoup});
#ifdef QUORIN_HAVE_VTK_VOXEL_PEERS
  tasks.push_back({"overlap-vtk",
                   "MESH.stl [RATIO]  peer: both solids scan-converted on one VTK image "
                   "(vtkPolyDataToImageStencil), shared voxels counted",
                   overlapVtk});
  tasks.push_back({"wrap-vtk",
                   "MESH.stl [SIZE]  peer: vtkImplicitModeller distance grid and vtkFlyingEdges3D "
                   "iso-surface at one voxel",
                   wrapVtk});
#endif
}

} // namespace bench
