// The Python value types: Mesh, a triangulation of the kernel seen through numpy arrays,
// and Shape, a B-rep shape read from a CAD file.
//
// Memory: a Mesh owns one Poly_Triangulation. `nodes` is a read-only (n, 3) float64 view of
// its node array (no copy; the view keeps the mesh alive) and `normals` a read-only (n, 3)
// float32 view of its normals, when it has them. `triangles` is a new (m, 3) int32 array
// of 0-based indices on every access, since the kernel stores its triangles 1-based.
// Building a Mesh from arrays copies them into a new triangulation, after checking them.
#ifndef PyMesh_HeaderFile
#define PyMesh_HeaderFile

#include <Poly_Triangulation.hxx>
#include <TopoDS_Shape.hxx>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <vector>

namespace quorinpy
{

class PyMesh
{
public:
  //! @throw Error for a null mesh, so that no Python object ever holds one
  explicit PyMesh(const Handle(Poly_Triangulation) & mesh);

  //! Checks and copies the arrays into a new triangulation.
  //! @throw pybind11::value_error for arrays of another shape or kind (nodes: floating
  //!        point, (n, 3); triangles: integer, (m, 3); normals: floating point, (n, 3)),
  //!        for coordinates that are not finite, and for indices outside 0 .. n-1
  static PyMesh FromArrays(const pybind11::object& nodes,
                           const pybind11::object& triangles,
                           const pybind11::object& normals);

  const Handle(Poly_Triangulation) & Triangulation() const { return m_mesh; }
  int NbNodes() const { return m_mesh->NbNodes(); }
  int NbTriangles() const { return m_mesh->NbTriangles(); }

  //! The views and the copy described in the file comment; `self` is the owning Python
  //! object the views keep alive.
  pybind11::array  Nodes(const pybind11::object& self) const;
  pybind11::array  Triangles() const;
  pybind11::object Normals(const pybind11::object& self) const;

private:
  Handle(Poly_Triangulation) m_mesh;
};

class PyShape
{
public:
  explicit PyShape(const TopoDS_Shape& shape) : m_shape(shape) {}
  const TopoDS_Shape& Shape() const { return m_shape; }
  int                 NbFaces() const;
  //! True when every face carries a triangulation.
  bool IsMeshed() const;

private:
  TopoDS_Shape m_shape;
};

//! Checked (n, 3) floating-point coordinates, flattened x0, y0, z0, x1, ...
//! @throw pybind11::value_error as PyMesh::FromArrays for nodes
std::vector<double> PointsFromArray(const pybind11::object& points, const char* name);

//! The argument as a shape: a Shape as it stands, a Mesh as one face carrying it.
//! @throw pybind11::type_error for anything else
TopoDS_Shape ShapeOf(const pybind11::object& meshOrShape, const char* name);

//! Registers Mesh and Shape in the module.
void BindTypes(pybind11::module_& m);

} // namespace quorinpy

#endif
