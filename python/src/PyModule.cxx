// The extension module _quorin: the value types, file exchange and the algorithms. The
// functions take every argument positionally; quorin/__init__.py names them, gives the
// defaults and documents them.
#include "PyAlgorithms.hxx"
#include "PyExchange.hxx"
#include "PyRun.hxx"

#include <pybind11/stl.h>

namespace py = pybind11;
using namespace quorinpy;

PYBIND11_MODULE(_quorin, m)
{
  m.doc() = "Bindings of the quorinAlgoMesh library; use the quorin package.";
  py::register_exception<Error>(m, "Error", PyExc_RuntimeError);
  BindTypes(m);

  m.def("read", &ReadMesh);
  m.def("write", &WriteMesh);
  m.def("read_cad", &ReadCad);
  m.def("mesh_shape", &MeshShape);

  m.def("quality", &Quality);
  m.def("metric_names", &MetricNames);
  m.def("merge_nodes", &MergeNodes);
  m.def("weld", &Weld);
  m.def("self_intersections", &SelfIntersections);
  m.def("deviation", &Deviation);
  m.def("overlap", &Overlap);
  m.def("convex_hull", &ConvexHull);
  m.def("obb", &OrientedBox);
  m.def("decimate",
        [](const PyMesh& mesh, const double reduction, const std::string& method,
           const double featureAngle, const bool preserveTopology,
           const bool deleteBoundaryVertices, const bool splitting, const double splitAngle,
           const py::object& progress)
        {
          DecimateArguments arguments;
          arguments.Reduction              = reduction;
          arguments.Method                 = method;
          arguments.FeatureAngle           = featureAngle;
          arguments.PreserveTopology       = preserveTopology;
          arguments.DeleteBoundaryVertices = deleteBoundaryVertices;
          arguments.Splitting              = splitting;
          arguments.SplitAngle             = splitAngle;
          return Decimate(mesh, arguments, progress);
        });
  m.def("smooth", &Smooth);
  m.def("fill_holes", &FillHoles);
  m.def("heal", &Heal);
  m.def("wrap", &Wrap);
  m.def("obfuscate", &Obfuscate);
}
