#include "PyMesh.hxx"
#include "PyRun.hxx"

#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Face.hxx>

#include <cmath>
#include <string>

namespace py = pybind11;

namespace quorinpy
{

namespace
{
// An array of `kind` ('f' floating, 'i' integer) and shape (any, 3), made C-contiguous
// with the element type T (a copy only when the input differs).
template <class T>
py::array_t<T, py::array::c_style | py::array::forcecast>
checkedArray(const py::object& object, const char* name, const char kind)
{
  const py::array array = py::array::ensure(object);
  if (!array)
  {
    PyErr_Clear();
    throw py::value_error(std::string(name) + " must be an array of shape (n, 3)");
  }
  // Coordinates may come as integers; indices must not come as reals.
  const char has     = array.dtype().kind();
  const bool isInt   = has == 'i' || has == 'u';
  const bool isRight = kind == 'f' ? (has == 'f' || isInt) : isInt;
  if (!isRight)
  {
    throw py::value_error(std::string(name) + " must hold " +
                          (kind == 'f' ? "real numbers" : "integers") + ", not dtype " +
                          std::string(py::str(array.dtype())));
  }
  if (array.ndim() != 2 || array.shape(1) != 3)
  {
    std::string shape = "(";
    for (py::ssize_t d = 0; d < array.ndim(); ++d)
    {
      shape += (d ? ", " : "") + std::to_string(array.shape(d));
    }
    throw py::value_error(std::string(name) + " must have shape (n, 3), not " + shape + ")");
  }
  return py::array_t<T, py::array::c_style | py::array::forcecast>::ensure(array);
}

void checkFinite(const double* values, const size_t count, const char* name)
{
  for (size_t i = 0; i < count; ++i)
  {
    if (!std::isfinite(values[i]))
    {
      throw py::value_error(std::string(name) + " row " + std::to_string(i / 3) +
                            " has a coordinate that is not a finite number");
    }
  }
}
} // namespace

std::vector<double> PointsFromArray(const py::object& points, const char* name)
{
  const auto   array = checkedArray<double>(points, name, 'f');
  const size_t count = static_cast<size_t>(array.size());
  checkFinite(array.data(), count, name);
  return std::vector<double>(array.data(), array.data() + count);
}

PyMesh::PyMesh(const Handle(Poly_Triangulation) & mesh) : m_mesh(mesh)
{
  if (mesh.IsNull())
  {
    throw Error("the library answered no mesh");
  }
}

PyMesh
PyMesh::FromArrays(const py::object& nodes, const py::object& triangles, const py::object& normals)
{
  // 1. Check everything before building anything.
  const auto   xyz     = checkedArray<double>(nodes, "nodes", 'f');
  const auto   tri     = checkedArray<long long>(triangles, "triangles", 'i');
  const size_t nbNodes = static_cast<size_t>(xyz.shape(0));
  const size_t nbTris  = static_cast<size_t>(tri.shape(0));
  if (nbNodes > static_cast<size_t>(INT_MAX) || nbTris > static_cast<size_t>(INT_MAX))
  {
    throw py::value_error("a mesh holds at most 2147483647 nodes and triangles");
  }
  if (nbTris == 0)
  {
    throw py::value_error("a mesh needs at least one triangle");
  }
  checkFinite(xyz.data(), nbNodes * 3, "nodes");
  const long long* corners = tri.data();
  for (size_t i = 0; i < nbTris * 3; ++i)
  {
    if (corners[i] < 0 || corners[i] >= static_cast<long long>(nbNodes))
    {
      throw py::value_error("triangles row " + std::to_string(i / 3) + " refers to node " +
                            std::to_string(corners[i]) + ", outside 0 .. " +
                            std::to_string(static_cast<long long>(nbNodes) - 1));
    }
  }
  py::array_t<float, py::array::c_style | py::array::forcecast> normal;
  if (!normals.is_none())
  {
    normal = checkedArray<float>(normals, "normals", 'f');
    if (static_cast<size_t>(normal.shape(0)) != nbNodes)
    {
      throw py::value_error("normals must have one row per node");
    }
  }

  // 2. Copy into a new triangulation (1-based triangles).
  Handle(Poly_Triangulation) mesh = new Poly_Triangulation(
      static_cast<int>(nbNodes), static_cast<int>(nbTris), false, !normals.is_none());
  const double* p = xyz.data();
  for (size_t n = 0; n < nbNodes; ++n)
  {
    mesh->SetNode(static_cast<int>(n) + 1, gp_Pnt(p[3 * n], p[3 * n + 1], p[3 * n + 2]));
  }
  for (size_t t = 0; t < nbTris; ++t)
  {
    mesh->SetTriangle(static_cast<int>(t) + 1,
                      Poly_Triangle(static_cast<int>(corners[3 * t]) + 1,
                                    static_cast<int>(corners[3 * t + 1]) + 1,
                                    static_cast<int>(corners[3 * t + 2]) + 1));
  }
  if (!normals.is_none())
  {
    const float* v = normal.data();
    for (size_t n = 0; n < nbNodes; ++n)
    {
      mesh->SetNormal(static_cast<int>(n) + 1, gp_Vec3f(v[3 * n], v[3 * n + 1], v[3 * n + 2]));
    }
  }
  return PyMesh(mesh);
}

py::array PyMesh::Nodes(const py::object& self) const
{
  const py::ssize_t nbNodes = m_mesh->NbNodes();
  py::array         nodes;
  if (nbNodes > 0 && m_mesh->IsDoublePrecision())
  {
    // The kernel keeps gp_Pnt, three packed doubles, one after the other.
    const NCollection_AliasedArray<>& raw  = m_mesh->InternalNodes();
    const double*                     data = raw.Value<gp_Pnt>(0).XYZ().GetData();
    nodes = py::array(py::dtype::of<double>(), {nbNodes, py::ssize_t(3)},
                      {py::ssize_t(sizeof(gp_Pnt)), py::ssize_t(sizeof(double))}, data, self);
  }
  else
  {
    py::array_t<double> copy({nbNodes, py::ssize_t(3)});
    double*             out = copy.mutable_data();
    for (int n = 1; n <= nbNodes; ++n)
    {
      const gp_Pnt p = m_mesh->Node(n);
      out[3 * n - 3] = p.X();
      out[3 * n - 2] = p.Y();
      out[3 * n - 1] = p.Z();
    }
    nodes = copy;
  }
  nodes.attr("setflags")(py::arg("write") = false);
  return nodes;
}

py::array PyMesh::Triangles() const
{
  const py::ssize_t    nbTris = m_mesh->NbTriangles();
  py::array_t<int32_t> triangles({nbTris, py::ssize_t(3)});
  int32_t*             out = triangles.mutable_data();
  for (int t = 1; t <= nbTris; ++t)
  {
    int a, b, c;
    m_mesh->Triangle(t).Get(a, b, c);
    out[3 * t - 3] = a - 1;
    out[3 * t - 2] = b - 1;
    out[3 * t - 1] = c - 1;
  }
  return triangles;
}

py::object PyMesh::Normals(const py::object& self) const
{
  if (!m_mesh->HasNormals())
  {
    return py::none();
  }
  const py::ssize_t nbNodes = m_mesh->NbNodes();
  const float*      data    = m_mesh->InternalNormals().First().GetData();
  py::array         normals(py::dtype::of<float>(), {nbNodes, py::ssize_t(3)},
                            {py::ssize_t(sizeof(gp_Vec3f)), py::ssize_t(sizeof(float))}, data, self);
  normals.attr("setflags")(py::arg("write") = false);
  return std::move(normals);
}

int PyShape::NbFaces() const
{
  int count = 0;
  for (TopExp_Explorer it(m_shape, TopAbs_FACE); it.More(); it.Next())
  {
    ++count;
  }
  return count;
}

bool PyShape::IsMeshed() const
{
  bool hasFace = false;
  for (TopExp_Explorer it(m_shape, TopAbs_FACE); it.More(); it.Next())
  {
    TopLoc_Location location;
    if (BRep_Tool::Triangulation(TopoDS::Face(it.Current()), location).IsNull())
    {
      return false;
    }
    hasFace = true;
  }
  return hasFace;
}

TopoDS_Shape ShapeOf(const py::object& meshOrShape, const char* name)
{
  if (py::isinstance<PyShape>(meshOrShape))
  {
    return meshOrShape.cast<const PyShape&>().Shape();
  }
  if (py::isinstance<PyMesh>(meshOrShape))
  {
    TopoDS_Face  face;
    BRep_Builder builder;
    builder.MakeFace(face, meshOrShape.cast<const PyMesh&>().Triangulation());
    return face;
  }
  throw py::type_error(std::string(name) + " must be a quorin.Mesh or a quorin.Shape");
}

void BindTypes(py::module_& m)
{
  py::class_<PyMesh>(m, "Mesh", R"doc(
A triangle mesh: nodes (n, 3) float64, triangles (m, 3) int32 with 0-based node indices,
optional per-node normals (n, 3) float32.

Mesh(nodes, triangles, normals=None) copies and checks the arrays: nodes must be real
numbers without NaN or infinity, triangles integers within 0 .. n-1, each of shape (k, 3);
anything else raises ValueError. A Mesh never changes once built; the functions of the
package answer new meshes.

`nodes` and `normals` are read-only views of the mesh's own memory (no copy, O(1)); they
keep the mesh alive. `triangles` is a new array on each access (O(m)), because the library
numbers nodes from 1.
)doc")
      .def(py::init(&PyMesh::FromArrays), py::arg("nodes"), py::arg("triangles"),
           py::arg("normals") = py::none())
      .def_property_readonly(
          "nodes", [](const py::object& self) { return self.cast<const PyMesh&>().Nodes(self); },
          "Read-only (n, 3) float64 view of the node coordinates, model units.")
      .def_property_readonly("triangles", &PyMesh::Triangles,
                             "New (m, 3) int32 array of 0-based node indices, one row per "
                             "triangle.")
      .def_property_readonly(
          "normals",
          [](const py::object& self) { return self.cast<const PyMesh&>().Normals(self); },
          "Read-only (n, 3) float32 view of the node normals, or None.")
      .def_property_readonly("nb_nodes", &PyMesh::NbNodes, "Number of nodes.")
      .def_property_readonly("nb_triangles", &PyMesh::NbTriangles, "Number of triangles.")
      .def("__repr__",
           [](const PyMesh& mesh)
           {
             return "<quorin.Mesh " + std::to_string(mesh.NbNodes()) + " nodes, " +
                    std::to_string(mesh.NbTriangles()) + " triangles>";
           });

  py::class_<PyShape>(m, "Shape", R"doc(
A B-rep shape read from a CAD file by read_cad(). Mesh it with Shape.mesh(); functions that
need the shape's own face meshes (weld, deviation, fill_holes, obfuscate) use those.
)doc")
      .def_property_readonly("nb_faces", &PyShape::NbFaces, "Number of faces.")
      .def_property_readonly("is_meshed", &PyShape::IsMeshed,
                             "True when every face carries a triangulation.")
      .def("__repr__",
           [](const PyShape& shape)
           {
             return "<quorin.Shape " + std::to_string(shape.NbFaces()) + " faces" +
                    (shape.IsMeshed() ? ", meshed>" : ">");
           });
}

} // namespace quorinpy
