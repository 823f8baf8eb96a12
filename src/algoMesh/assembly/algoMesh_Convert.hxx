// Conversions of triangle meshes between the kernel's triangulation, the mesh data model,
// OpenMesh and VTK.
#ifndef algoMesh_Convert_HeaderFile
#define algoMesh_Convert_HeaderFile

#include <algoMesh.hxx>

#include <ActAPI_ProgressEntry.hxx>
#include <MorvDS_Mesh.hxx>

#include <Poly_Triangulation.hxx>
#include <TopLoc_Location.hxx>

// OpenMesh names a template parameter `Handle`, which the kernel's Handle() macro would
// rewrite: the macro is lifted while OpenMesh's headers are read. Its default-constructed
// points are left uninitialised on purpose, which GCC reports wherever they are copied.
#pragma push_macro("Handle")
#undef Handle
#pragma GCC diagnostic push
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <OpenMesh/Core/Mesh/TriMesh_ArrayKernelT.hh>
#include <OpenMesh/Core/System/omstream.hh>
#pragma GCC diagnostic pop
#pragma pop_macro("Handle")

#include <vtkSmartPointer.h>

class vtkPolyData;
class vtkUnstructuredGrid;

namespace quorin
{

//! Triangle meshes moved between representations. Index bases: triangulation nodes and
//! triangles, and data model numbers, count from 1; OpenMesh vertex handles and VTK point
//! ids count from 0. OpenMesh points are single precision, the others double.
//!
//! Every function is independent and re-entrant (ToOpenMesh also silences OpenMesh's
//! message streams for the whole process). Each answers true when the output was produced
//! and then replaces the output argument; on false the output is left as it was. Cost:
//! linear in the size of the input; the conversions toward the kernel merge coincident
//! nodes (algoMesh_NodesMerger, tolerance 1e-7) in expected O(1) per corner.
namespace algoMesh_Convert
{

//! Triangulation to mesh data model: node i (placed by `location`) becomes node i,
//! triangle (a, b, c) a triangle face over nodes a, b, c; triangles with two equal node
//! numbers are dropped, all nodes kept. Inverse connections are rebuilt.
//! @param[in]  triangulation the mesh; null answers false.
//! @param[in]  location      placement applied to the nodes.
//! @param[out] mesh          a new MorvDS_Mesh.
//! @return false for a null triangulation, or one whose triangle names a node outside
//!         1 .. NbNodes.
algoMesh_EXPORT bool ToMorv(const Handle(Poly_Triangulation) & triangulation,
                            const TopLoc_Location& location,
                            Handle(MorvDS_Mesh) & mesh);

//! Triangulation to OpenMesh: one vertex per node (coordinates rounded to float) in node
//! order, then one face per triangle in triangle order with the same vertex order. A
//! triangle OpenMesh refuses (non-manifold) or with two equal node numbers is left out
//! silently. OpenMesh's error, log and output streams are switched off for the process.
//! @param[in]  triangulation the mesh; null answers false and leaves `mesh` as it was.
//! @param[out] mesh          cleared, then filled.
//! @return true unless the triangulation is null.
//! @throw std::out_of_range ("invalid vector<T> subscript") when a triangle names a node
//!        outside 1 .. NbNodes; `mesh` is not touched then.
algoMesh_EXPORT bool ToOpenMesh(const Handle(Poly_Triangulation) & triangulation,
                                OpenMesh::TriMesh_ArrayKernelT<OpenMesh::DefaultTraits>& mesh);

//! ToOpenMesh reporting its progress per triangle to `progress` and polling it: a
//! cancellation answers false and leaves `mesh` partly filled.
algoMesh_EXPORT bool ToOpenMesh(const Handle(Poly_Triangulation) & triangulation,
                                OpenMesh::TriMesh_ArrayKernelT<OpenMesh::DefaultTraits>& mesh,
                                const ActAPI_ProgressEntry&                              progress);

//! Triangulation to VTK poly data: the nodes used by triangles become points (double
//! precision) in order of first use, each triangle a VTK triangle cell in triangle order.
//! The triangulation's own coordinates are used (no location); unused nodes are left out.
//! @param[in]  triangulation the mesh; null answers false.
//! @param[out] polyData      a new vtkPolyData.
//! @throw Standard_OutOfRange when a triangle names a node outside 1 .. NbNodes.
algoMesh_EXPORT bool ToVTK(const Handle(Poly_Triangulation) & triangulation,
                           vtkSmartPointer<vtkPolyData>& polyData);

//! Mesh data model to VTK unstructured grid: every node becomes a point (double
//! precision) in iteration order; then cells in the order edges (VTK line), faces
//! (triangles and quadrangles as VTK triangle and quad) and volumes (tetrahedra and
//! hexahedra as VTK tetra and hexahedron), each in iteration order with its nodes in
//! element order. Pyramids, prisms and one-node elements have no cell.
//! @param[in]  mesh the mesh; null answers false.
//! @param[out] grid a new vtkUnstructuredGrid.
//! @throw Standard_NoSuchObject ("NCollection_DataMap::Find") for an element whose node has
//!        no point.
algoMesh_EXPORT bool ToVTK(const Handle(MorvDS_Mesh) & mesh,
                           vtkSmartPointer<vtkUnstructuredGrid>& grid);

//! OpenMesh to triangulation: for each face in face order, the first three vertices of its
//! half-edge loop (in loop order, so orientation is kept) become a triangle; coincident
//! points (closer than 1e-7) become one node, nodes numbered in order of first use.
//! Faces marked deleted are left out.
//! @param[in]  mesh          the mesh; an empty one gives an empty triangulation.
//! @param[out] triangulation a new Poly_Triangulation without UV nodes.
//! @return true.
//! @throw std::out_of_range ("invalid vector<T> subscript") for a face with fewer than three
//!        vertices; `triangulation` is not touched then.
algoMesh_EXPORT bool
FromOpenMesh(const OpenMesh::TriMesh_ArrayKernelT<OpenMesh::DefaultTraits>& mesh,
             Handle(Poly_Triangulation) & triangulation);

//! FromOpenMesh reporting its progress per face to `progress` and polling it: a
//! cancellation answers false and leaves `triangulation` as it was.
algoMesh_EXPORT bool
FromOpenMesh(const OpenMesh::TriMesh_ArrayKernelT<OpenMesh::DefaultTraits>& mesh,
             Handle(Poly_Triangulation) & triangulation,
             const ActAPI_ProgressEntry& progress);

//! VTK poly data to triangulation: every triangle cell (VTK type 5), in cell order,
//! becomes a triangle over merged nodes as in FromOpenMesh; other cells are skipped.
//! @param[in]  polyData      the data set; null or without cells answers false.
//! @param[out] triangulation a new Poly_Triangulation without UV nodes (empty when there
//!                           is no triangle cell).
//! @return false as well when a triangle cell names a point the data set does not have.
algoMesh_EXPORT bool FromVTK(vtkPolyData* polyData, Handle(Poly_Triangulation) & triangulation);

//! FromVTK reporting its progress per cell to `progress` and polling it: a cancellation
//! answers false and leaves `triangulation` as it was.
algoMesh_EXPORT bool FromVTK(vtkPolyData* polyData,
                             Handle(Poly_Triangulation) & triangulation,
                             const ActAPI_ProgressEntry& progress);

} // namespace algoMesh_Convert

} // namespace quorin

#endif
