// The library's algorithms as bound into the module; the Python layer (quorin/__init__.py)
// gives them their keyword arguments, defaults and documentation.
#ifndef PyAlgorithms_HeaderFile
#define PyAlgorithms_HeaderFile

#include "PyMesh.hxx"

#include <string>
#include <vector>

namespace quorinpy
{

//! Values of the decimation keywords.
struct DecimateArguments
{
  double      Reduction              = 50.0;
  std::string Method                 = "quadric";
  double      FeatureAngle           = 0.0;
  bool        PreserveTopology       = true;
  bool        DeleteBoundaryVertices = true;
  bool        Splitting              = false;
  double      SplitAngle             = 0.0;
};

pybind11::dict Quality(const PyMesh&                   mesh,
                       const std::vector<std::string>& metrics,
                       const pybind11::object&         progress);
PyMesh MergeNodes(const PyMesh& mesh, const double tolerance, const pybind11::object& progress);
PyMesh
Weld(const pybind11::object& input, const double tolerance, const pybind11::object& progress);
pybind11::dict            SelfIntersections(const PyMesh& mesh, const pybind11::object& progress);
pybind11::array_t<double> Deviation(const PyMesh&           mesh,
                                    const PyShape&          shape,
                                    const bool              isSigned,
                                    const pybind11::object& progress);
double                    Overlap(const PyMesh&           first,
                                  const PyMesh&           second,
                                  const double            ratio,
                                  const pybind11::object& progress);
PyMesh         ConvexHull(const pybind11::object& pointsOrMesh, const pybind11::object& progress);
pybind11::dict OrientedBox(const pybind11::object& meshOrShape,
                           const bool              optimise,
                           const std::string&      axes,
                           const pybind11::object& progress);
PyMesh
Decimate(const PyMesh& mesh, const DecimateArguments& arguments, const pybind11::object& progress);
PyMesh Smooth(const PyMesh&           mesh,
              const int               iterations,
              const std::string&      method,
              const std::string&      component,
              const pybind11::object& progress);
PyMesh
FillHoles(const pybind11::object& meshOrShape, double holeSize, const pybind11::object& progress);
PyMesh  Heal(const PyMesh& mesh, const double holeSize, const pybind11::object& progress);
PyMesh  Wrap(const pybind11::object& meshOrShape, double size, const pybind11::object& progress);
PyShape Obfuscate(const PyShape&             shape,
                  const std::vector<double>& box,
                  const std::vector<double>& ranges,
                  const pybind11::object&    progress);

//! Names `Quality` understands, in the library's order.
std::vector<std::string> MetricNames();

} // namespace quorinpy

#endif
