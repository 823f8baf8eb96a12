// The library's algorithms for Python, one function per capability. Each checks its
// arguments while holding the interpreter's lock, then runs the library through
// RunLibraryCall and turns the result into numpy arrays or new meshes.
#include "PyAlgorithms.hxx"
#include "PyRun.hxx"

#include <algoMesh_BuildOBB.hxx>
#include <algoMesh_CheckMeshesOverlap.hxx>
#include <algoMesh_CheckSelfIntersections.hxx>
#include <algoMesh_Checker.hxx>
#include <algoMesh_Conglomerate.hxx>
#include <algoMesh_Convert.hxx>
#include <algoMesh_ConvexHull.hxx>
#include <algoMesh_DeviationCheckCADMesh.hxx>
#include <algoMesh_Extent.hxx>
#include <algoMesh_FillHoles.hxx>
#include <algoMesh_Heal.hxx>
#include <algoMesh_NodesMerger.hxx>
#include <algoMesh_Obfuscate.hxx>
#include <algoMesh_QualityMetric.hxx>
#include <algoMesh_Smooth.hxx>
#include <algoMesh_Wrap.hxx>
#include <algoMesh_TopoDecimation.hxx>
#include <algoMesh_VTKDecimatePro.hxx>
#include <algoMesh_VTKQuadricDecimation.hxx>

#include <BRepBndLib.hxx>
#include <Bnd_Box.hxx>
#include <TopExp.hxx>
#include <TopTools_IndexedMapOfShape.hxx>

#include <pybind11/stl.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <memory>

namespace py = pybind11;
using namespace quorin;

namespace quorinpy
{

namespace
{
// Python names of the triangle metrics, in the order of their type numbers 0 .. 8.
const char* const THE_METRIC_NAMES[] = {
    "area",       "area_ratio", "aspect_ratio", "aspect_frobenius", "condition",
    "edge_ratio", "max_angle",  "min_angle",    "scaled_jacobian"};

// The library marks an open end of a range with the largest double; Python sees infinity.
double openEnd(const double bound)
{
  const double inf = std::numeric_limits<double>::infinity();
  return bound >= DBL_MAX ? inf : (bound <= -DBL_MAX ? -inf : bound);
}

template <int N> std::pair<double, double> acceptable()
{
  return {openEnd(algoMesh_QualityMetric<N>::RangeAcceptable[0]),
          openEnd(algoMesh_QualityMetric<N>::RangeAcceptable[1])};
}

std::pair<double, double> acceptableRange(const int type)
{
  static const std::pair<double, double> THE_RANGES[] = {
      acceptable<0>(), acceptable<1>(), acceptable<2>(), acceptable<3>(), acceptable<4>(),
      acceptable<5>(), acceptable<6>(), acceptable<7>(), acceptable<8>()};
  return THE_RANGES[type];
}

algoMesh_QualityMetricType metricOf(const std::string& name)
{
  for (int type = 0; type < 9; ++type)
  {
    if (name == THE_METRIC_NAMES[type])
    {
      return static_cast<algoMesh_QualityMetricType>(type);
    }
  }
  std::string known;
  for (const char* metric : THE_METRIC_NAMES)
  {
    known += (known.empty() ? "" : ", ") + std::string(metric);
  }
  throw py::value_error("unknown metric '" + name + "'; known: " + known);
}

void requirePositive(const double value, const char* name)
{
  if (!(value > 0.0) || !std::isfinite(value))
  {
    throw py::value_error(std::string(name) + " must be a positive finite number");
  }
}

py::array_t<int32_t> indicesOf(const std::set<int>& triangles)
{
  py::array_t<int32_t> indices(static_cast<py::ssize_t>(triangles.size()));
  int32_t*             out = indices.mutable_data();
  for (const int t : triangles)
  {
    *out++ = t - 1;
  }
  return indices;
}
} // namespace

py::dict
Quality(const PyMesh& mesh, const std::vector<std::string>& metrics, const py::object& progress)
{
  std::vector<algoMesh_QualityMetricType> types;
  for (const std::string& name : metrics)
  {
    types.push_back(metricOf(name));
  }
  if (types.empty())
  {
    for (int type = 0; type < 9; ++type)
    {
      types.push_back(static_cast<algoMesh_QualityMetricType>(type));
    }
  }
  Handle(algoMesh_Checker) checker = nullptr;
  RunLibraryCall(progress, "the quality check failed",
                 [&](const ActAPI_ProgressEntry& entry)
                 {
                   checker = new algoMesh_Checker(mesh.Triangulation(), entry);
                   return checker->Perform(types);
                 });
  // One array per metric, NaN for the triangles the metric refuses as degenerate.
  py::dict     result;
  py::dict     ranges;
  const size_t nbTris = static_cast<size_t>(mesh.NbTriangles());
  for (const algoMesh_QualityMetricType type : types)
  {
    py::array_t<double> values(static_cast<py::ssize_t>(nbTris));
    double*             out = values.mutable_data();
    std::fill(out, out + nbTris, std::numeric_limits<double>::quiet_NaN());
    const Handle(algoMesh_Field) field = checker->QualityInfo()->Field(type);
    for (int k = 0; !field.IsNull() && k < field->NbTuples(); ++k)
    {
      const int id = field->TupleId(k);
      if (id >= 1 && static_cast<size_t>(id) <= nbTris)
      {
        out[id - 1] = *field->TupleAt(k);
      }
    }
    result[THE_METRIC_NAMES[type]] = values;
    ranges[THE_METRIC_NAMES[type]] =
        py::make_tuple(acceptableRange(type).first, acceptableRange(type).second);
  }
  result["ranges"] = ranges;
  return result;
}

PyMesh MergeNodes(const PyMesh& mesh, const double tolerance, const py::object& progress)
{
  requirePositive(tolerance, "tolerance");
  Handle(Poly_Triangulation) merged;
  RunLibraryCall(progress, "merging nodes left no triangle",
                 [&](const ActAPI_ProgressEntry&)
                 {
                   // Triangles that collapse onto fewer than three nodes are dropped.
                   merged = algoMesh_NodesMerger::Weld(mesh.Triangulation(), tolerance, true);
                   return !merged.IsNull();
                 });
  return PyMesh(merged);
}

PyMesh Weld(const py::object& input, const double tolerance, const py::object& progress)
{
  requirePositive(tolerance, "tolerance");
  std::vector<Handle(Poly_Triangulation)> meshes;
  TopoDS_Shape                            shape;
  if (py::isinstance<py::list>(input) || py::isinstance<py::tuple>(input))
  {
    for (const py::handle item : input)
    {
      if (!py::isinstance<PyMesh>(item))
      {
        throw py::type_error("weld takes a Shape, a Mesh or a list of Mesh");
      }
      meshes.push_back(item.cast<const PyMesh&>().Triangulation());
    }
  }
  else
  {
    shape = ShapeOf(input, "weld's input");
  }
  Handle(Poly_Triangulation) welded;
  RunLibraryCall(progress, "welding left no triangle",
                 [&](const ActAPI_ProgressEntry&)
                 {
                   const algoMesh_Conglomerate conglomerate =
                       shape.IsNull()
                           ? algoMesh_Conglomerate(
                                 meshes, algoMesh_Conglomerate::Mode_CoherentAndPlain, tolerance)
                           : algoMesh_Conglomerate(
                                 shape, algoMesh_Conglomerate::Mode_CoherentAndPlain, tolerance);
                   welded = conglomerate.GetPlain();
                   return !welded.IsNull();
                 });
  return PyMesh(welded);
}

py::dict SelfIntersections(const PyMesh& mesh, const py::object& progress)
{
  Handle(algoMesh_CheckSelfIntersections) check;
  bool isFound = false;
  RunLibraryCall(progress, "the self-intersection check failed",
                 [&](const ActAPI_ProgressEntry& entry)
                 {
                   check = new algoMesh_CheckSelfIntersections(entry);
                   check->SaveSelfIntersections(true);
                   isFound = check->Perform(mesh.Triangulation());
                   // No pair found answers false too: only an error message is a failure.
                   return isFound || (!entry.IsCancelling() && !HasError(entry));
                 });
  py::dict      result;
  py::list      groups;
  std::set<int> all;
  for (const std::set<int>& group : check->Groups())
  {
    groups.append(indicesOf(group));
    all.insert(group.begin(), group.end());
  }
  if (!isFound && !all.empty())
  {
    throw Error("the self-intersection check failed");
  }
  result["triangles"] = indicesOf(all);
  result["groups"]    = groups;
  result["mesh"] = isFound ? py::cast(PyMesh(check->SelfIntersections())) : py::object(py::none());
  return result;
}

py::array_t<double>
Deviation(const PyMesh& mesh, const PyShape& shape, const bool isSigned, const py::object& progress)
{
  if (!shape.IsMeshed())
  {
    throw Error("the shape carries no face meshes: call shape.mesh() first");
  }
  std::vector<double> deviations;
  RunLibraryCall(progress, "the deviation check failed",
                 [&](const ActAPI_ProgressEntry& entry)
                 {
                   algoMesh_DeviationCheckCADMesh check(shape.Shape(), entry);
                   if (!check.Perform(mesh.Triangulation(),
                                      isSigned ? algoMesh_DeviationCheckCADMesh::DistType_Signed
                                               : algoMesh_DeviationCheckCADMesh::DistType_Unsigned))
                   {
                     return false;
                   }
                   deviations = check.Deviations();
                   return !entry.IsCancelling();
                 });
  return py::array_t<double>(static_cast<py::ssize_t>(deviations.size()), deviations.data());
}

double
Overlap(const PyMesh& first, const PyMesh& second, const double ratio, const py::object& progress)
{
  requirePositive(ratio, "voxel_size_ratio");
  double overlap = -1.0;
  RunLibraryCall(progress,
                 "the overlap cannot be computed (an open mesh, or voxels too coarse for an "
                 "interior)",
                 [&](const ActAPI_ProgressEntry& entry)
                 {
                   Handle(algoMesh_CheckMeshesOverlap) check =
                       new algoMesh_CheckMeshesOverlap(ratio, entry);
                   const bool isDone =
                       check->Perform(first.Triangulation(), second.Triangulation());
                   overlap = check->OverlapRatio();
                   return isDone;
                 });
  return overlap;
}

PyMesh ConvexHull(const py::object& pointsOrMesh, const py::object& progress)
{
  std::vector<double> coords;
  if (py::isinstance<PyMesh>(pointsOrMesh))
  {
    const Handle(Poly_Triangulation)& mesh = pointsOrMesh.cast<const PyMesh&>().Triangulation();
    coords.reserve(3 * static_cast<size_t>(mesh->NbNodes()));
    for (int n = 1; n <= mesh->NbNodes(); ++n)
    {
      const gp_Pnt p = mesh->Node(n);
      coords.insert(coords.end(), {p.X(), p.Y(), p.Z()});
    }
  }
  else
  {
    coords = PointsFromArray(pointsOrMesh, "points");
  }
  Handle(Poly_Triangulation) hull;
  RunLibraryCall(progress,
                 "no convex hull: fewer than 4 points, or all on one plane, line or point",
                 [&](const ActAPI_ProgressEntry& entry)
                 { return algoMesh_ConvexHull(entry).Perform(coords, hull); });
  return PyMesh(hull);
}

py::dict OrientedBox(const py::object&  meshOrShape,
                     const bool         optimise,
                     const std::string& axes,
                     const py::object&  progress)
{
  if (axes != "mesh" && axes != "shape")
  {
    throw py::value_error("axes must be 'mesh' or 'shape', not '" + axes + "'");
  }
  const TopoDS_Shape shape = ShapeOf(meshOrShape, "obb's input");
  Handle(algoMesh_OBB) box;
  RunLibraryCall(progress, "the oriented bounding box cannot be built",
                 [&](const ActAPI_ProgressEntry& entry)
                 {
                   algoMesh_BuildOBB builder(shape,
                                             axes == "mesh" ? algoMesh_BuildOBB::Mode_FromMesh
                                                            : algoMesh_BuildOBB::Mode_FromShape,
                                             optimise, entry);
                   if (!builder.Perform())
                   {
                     return false;
                   }
                   box = builder.GetResult();
                   return !box.IsNull();
                 });
  const gp_Ax3&       frame = box->Placement();
  py::array_t<double> directions({3, 3});
  double*             d       = directions.mutable_data();
  const gp_Dir        dirs[3] = {frame.XDirection(), frame.YDirection(), frame.Direction()};
  for (int i = 0; i < 3; ++i)
  {
    d[3 * i] = dirs[i].X(), d[3 * i + 1] = dirs[i].Y(), d[3 * i + 2] = dirs[i].Z();
  }
  // The eight corners in global coordinates, x varying fastest.
  const gp_Trsf       toGlobal = box->BuildTrsf();
  py::array_t<double> corners({8, 3});
  double*             c  = corners.mutable_data();
  const gp_Pnt&       lo = box->MinCorner();
  const gp_Pnt&       hi = box->MaxCorner();
  for (int k = 0; k < 8; ++k)
  {
    gp_Pnt p((k & 1) ? hi.X() : lo.X(), (k & 2) ? hi.Y() : lo.Y(), (k & 4) ? hi.Z() : lo.Z());
    p.Transform(toGlobal);
    c[3 * k] = p.X(), c[3 * k + 1] = p.Y(), c[3 * k + 2] = p.Z();
  }
  const gp_Pnt origin = frame.Location();
  py::dict     result;
  result["origin"]     = py::make_tuple(origin.X(), origin.Y(), origin.Z());
  result["axes"]       = directions;
  result["min_corner"] = py::make_tuple(lo.X(), lo.Y(), lo.Z());
  result["max_corner"] = py::make_tuple(hi.X(), hi.Y(), hi.Z());
  result["extents"]    = py::make_tuple(hi.X() - lo.X(), hi.Y() - lo.Y(), hi.Z() - lo.Z());
  result["volume"]     = (hi.X() - lo.X()) * (hi.Y() - lo.Y()) * (hi.Z() - lo.Z());
  result["corners"]    = corners;
  return result;
}

PyMesh Decimate(const PyMesh& mesh, const DecimateArguments& a, const py::object& progress)
{
  if (a.Method != "quadric" && a.Method != "pro" && a.Method != "topo")
  {
    throw py::value_error("method must be 'quadric', 'topo' or 'pro', not '" + a.Method + "'");
  }
  if (!(a.Reduction >= 0.0 && a.Reduction <= 100.0))
  {
    throw py::value_error("reduction must be a percentage from 0 to 100");
  }
  Handle(Poly_Triangulation) result;
  RunLibraryCall(progress, "decimation failed",
                 [&](const ActAPI_ProgressEntry& entry)
                 {
                   algoMesh_DecimationOptions options;
                   options.Reduction              = a.Reduction;
                   options.PreserveTopology       = a.PreserveTopology;
                   options.FeatureAngle           = a.FeatureAngle;
                   options.DeleteBoundaryVertices = a.DeleteBoundaryVertices;
                   options.Splitting              = a.Splitting;
                   options.SplitAngle             = a.SplitAngle;
                   std::unique_ptr<algoMesh_Decimate> driver;
                   if (a.Method == "quadric")
                   {
                     driver = std::make_unique<algoMesh_VTKQuadricDecimation>(options);
                   }
                   else if (a.Method == "topo")
                   {
                     driver = std::make_unique<algoMesh_TopoDecimation>(options);
                   }
                   else
                   {
                     driver = std::make_unique<algoMesh_VTKDecimatePro>(options);
                   }
                   const bool isDone = driver->Perform(mesh.Triangulation(), result, entry);
                   return isDone && !result.IsNull() && result->NbTriangles() > 0;
                 });
  return PyMesh(result);
}

PyMesh Smooth(const PyMesh&      mesh,
              const int          iterations,
              const std::string& method,
              const std::string& component,
              const py::object&  progress)
{
  if (method != "openmesh" && method != "vtk")
  {
    throw py::value_error("method must be 'openmesh' or 'vtk', not '" + method + "'");
  }
  if (iterations < 0)
  {
    throw py::value_error("iterations must not be negative");
  }
  algoMesh_Smooth::Component part = algoMesh_Smooth::Component_TangentialNormal;
  if (component == "tangential")
  {
    part = algoMesh_Smooth::Component_Tangential;
  }
  else if (component == "normal")
  {
    part = algoMesh_Smooth::Component_Normal;
  }
  else if (component != "both")
  {
    throw py::value_error("component must be 'both', 'tangential' or 'normal', not '" + component +
                          "'");
  }
  Handle(Poly_Triangulation) result;
  RunLibraryCall(progress, "smoothing failed",
                 [&](const ActAPI_ProgressEntry& entry)
                 {
                   return method == "vtk"
                              ? algoMesh_Smooth::DoVTK(mesh.Triangulation(), iterations, result,
                                                       entry)
                              : algoMesh_Smooth::DoOpenMesh(mesh.Triangulation(), iterations, part,
                                                            result, entry);
                 });
  return PyMesh(result);
}

PyMesh FillHoles(const py::object& meshOrShape, double holeSize, const py::object& progress)
{
  const TopoDS_Shape shape = ShapeOf(meshOrShape, "fill_holes' input");
  if (std::isnan(holeSize) || holeSize < 0.0)
  {
    throw py::value_error("hole_size must be a non-negative number");
  }
  if (holeSize == 0.0)
  {
    holeSize = algoMesh_Extent::Diagonal(shape);
  }
  Handle(Poly_Triangulation) result;
  RunLibraryCall(progress, "hole filling failed",
                 [&](const ActAPI_ProgressEntry& entry)
                 {
                   algoMesh_FillHoles filler(shape, algoMesh_FillHoles::ShapeMap(), holeSize, entry,
                                             ActAPI_PlotterEntry());
                   if (!filler.Perform())
                   {
                     return false;
                   }
                   result = filler.GetResult();
                   return true;
                 });
  return PyMesh(result);
}

PyMesh Heal(const PyMesh& mesh, const double holeSize, const py::object& progress)
{
  if (std::isnan(holeSize))
  {
    throw py::value_error("hole_size must be a number");
  }
  Handle(Poly_Triangulation) result;
  RunLibraryCall(progress, "healing failed",
                 [&](const ActAPI_ProgressEntry& entry)
                 { return algoMesh_Heal::DoVTK(mesh.Triangulation(), holeSize, result, entry); });
  return PyMesh(result);
}

PyMesh Wrap(const py::object& meshOrShape, double size, const py::object& progress)
{
  const bool         isMesh = py::isinstance<PyMesh>(meshOrShape);
  const TopoDS_Shape shape  = isMesh ? TopoDS_Shape() : ShapeOf(meshOrShape, "wrap's input");
  Handle(Poly_Triangulation) mesh =
      isMesh ? meshOrShape.cast<const PyMesh&>().Triangulation() : Handle(Poly_Triangulation)();
  if (std::isnan(size) || size < 0.0)
  {
    throw py::value_error("size must be a positive number");
  }
  if (size == 0.0)
  {
    size = 0.005 * (isMesh ? algoMesh_Extent::Diagonal(mesh) : algoMesh_Extent::Diagonal(shape));
  }
  Handle(Poly_Triangulation) result;
  RunLibraryCall(progress, "wrapping failed",
                 [&](const ActAPI_ProgressEntry& entry)
                 {
                   Handle(algoMesh_Wrap) wrap = new algoMesh_Wrap(entry);
                   const bool isDone =
                       isMesh ? wrap->Perform(mesh, size) : wrap->Perform(shape, size);
                   result = wrap->Result();
                   return isDone && !result.IsNull();
                 });
  return PyMesh(result);
}

PyShape Obfuscate(const PyShape&             shape,
                  const std::vector<double>& box,
                  const std::vector<double>& ranges,
                  const py::object&          progress)
{
  if (!shape.IsMeshed())
  {
    throw Error("the shape carries no face meshes: call shape.mesh() first");
  }
  if ((!box.empty() && box.size() != 6) || ranges.size() != 6)
  {
    throw py::value_error("box and ranges take six numbers each");
  }
  double bounds[6];
  if (box.empty())
  {
    Bnd_Box extent;
    BRepBndLib::Add(shape.Shape(), extent);
    extent.Get(bounds[0], bounds[1], bounds[2], bounds[3], bounds[4], bounds[5]);
  }
  else
  {
    std::copy(box.begin(), box.end(), bounds);
  }
  TopoDS_Shape result;
  RunLibraryCall(progress, "obfuscation failed",
                 [&](const ActAPI_ProgressEntry& entry)
                 {
                   algoMesh_Obfuscate obfuscate(bounds, ranges.data(), entry,
                                                ActAPI_PlotterEntry());
                   if (!obfuscate.Perform(shape.Shape()))
                   {
                     return false;
                   }
                   result = obfuscate.GetResult();
                   return true;
                 });
  return PyShape(result);
}

std::vector<std::string> MetricNames()
{
  return std::vector<std::string>(std::begin(THE_METRIC_NAMES), std::end(THE_METRIC_NAMES));
}

} // namespace quorinpy
