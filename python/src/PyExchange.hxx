// File exchange and meshing of shapes, as bound into the module.
#ifndef PyExchange_HeaderFile
#define PyExchange_HeaderFile

#include "PyMesh.hxx"

#include <string>

namespace quorinpy
{

//! Reads a mesh file (the surface of data model files; CAD files meshed by the kernel).
PyMesh ReadMesh(const std::string& path, int lod, const pybind11::object& progress);

//! Writes a mesh in the format of the extension.
void WriteMesh(const PyMesh&           mesh,
               const std::string&      path,
               const bool              binary,
               const pybind11::object& progress);

//! Reads a STEP or BREP file as a shape.
PyShape ReadCad(const std::string& path, const pybind11::object& progress);

//! Meshes a shape: with the kernel's mesher (in place: the faces keep their new meshes) by
//! deflection (0: 0.1 % of the bounding-box diagonal) and angle (degrees), or with the
//! surface tessellator by edge size and angle; answers the welded mesh.
PyMesh MeshShape(const PyShape&          shape,
                 const double            deflection,
                 const double            angle,
                 const double            size,
                 const std::string&      mesher,
                 const pybind11::object& progress);

//! The extensions ReadMesh understands, for messages.
std::string ReadableExtensions();

} // namespace quorinpy

#endif
