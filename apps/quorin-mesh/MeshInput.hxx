// Loading of the files the commands work on: mesh files (STL, PLY, OBJ, and the data model
// formats NASTRAN, MSH, VTP and VTU, whose surface is taken) are read as one triangulation
// by the library's readers, B-rep files are read as a shape and meshed by the
// kernel's incremental mesher, point clouds as nodes without triangles. The format is
// chosen by the file's content, else by its extension; readers of further formats plug
// in here.
#ifndef quorinMesh_MeshInput_HeaderFile
#define quorinMesh_MeshInput_HeaderFile

#include "VertexAttributes.hxx"

#include <ActAPI_ProgressEntry.hxx>

#include <Poly_Triangulation.hxx>
#include <TopoDS_Shape.hxx>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cli
{

//! A loaded file.
struct MeshInput
{
  std::string Path;
  std::string Format; //!< "STL", "PLY", "OBJ", "NASTRAN", "MSH", "VTP", "VTU", "JT", "STEP", "BREP"
  std::string Encoding; //!< "binary" or "ASCII" (STL, PLY), empty otherwise
  //! What the format tells beyond the mesh, one line each ("Elements: vertex 8, face 6").
  std::vector<std::string> Facts;
  std::uintmax_t           FileSize = 0; //!< bytes
  bool                     IsBRep   = false;
  //! The file holds points and no triangles (a PLY without faces, .xyz, .pts): Mesh has
  //! nodes only.
  bool IsPointCloud = false;

  //! B-rep inputs: the shape as read, with a triangulation on each meshed face; JT inputs:
  //! the assembly with the chosen level on each face.
  TopoDS_Shape Shape;

  //! Linear deflection the shape was meshed with (model units); 0 for mesh files.
  double Deflection = 0.0;

  //! The whole mesh as one triangulation: the file's mesh, or the face meshes of the
  //! shape welded where their nodes coincide.
  Handle(Poly_Triangulation) Mesh;

  //! Colours, normals and texture coordinates of the nodes, from a PLY file's vertices.
  VertexAttributes Attributes;
};

//! Options of the loading.
struct MeshInputOptions
{
  //! Linear deflection for meshing B-rep inputs, model units; 0 or less takes
  //! DeflectionRatio times the bounding-box diagonal.
  double Deflection = 0.0;

  //! Share of the bounding-box diagonal used as the automatic deflection.
  double DeflectionRatio = 0.001;

  //! Level of detail read from JT files (0 the finest; above the last reads the last).
  int Lod = 0;

  //! The command works on points: point clouds are read instead of refused.
  bool AcceptsPoints = false;
};

//! The extensions LoadMeshInput understands, for help texts.
const char* SupportedExtensions();

//! Takes the value of a "--lod N" option (N a whole number, 0 or more) into options.Lod;
//! answers Exit_Ok, or prints the error and answers Exit_Usage.
int ApplyLodOption(const std::string& value, MeshInputOptions& options);

//! The point cloud files LoadMeshInput reads when the options accept points, for help texts.
const char* PointCloudExtensions();

//! Reads a file chosen by its content when it shows a known format other than its
//! extension's (a note on standard error tells), else by its extension (case ignored):
//! .stl, .ply and .obj as a mesh, a PLY without faces, .xyz and .pts as a point cloud;
//! .nas/.bdf, .msh, .vtp and .vtu as a data model mesh whose triangles and quadrangles (cut
//! in two), or else the unshared faces of its volumes, become the mesh; .jt as an assembly
//! whose placed faces at level `options.Lod`, welded, become the mesh;
//! .step, .stp and .brep as a shape, then meshed. Progress and Ctrl-C go through the entry.
//! @return false with a one-line reason in `error` when the file is missing, unreadable,
//!         of an unknown extension, holds no triangles (or only points when the options
//!         do not accept them), or the user interrupted
bool LoadMeshInput(const std::string&          path,
                   const MeshInputOptions&     options,
                   const ActAPI_ProgressEntry& progress,
                   MeshInput&                  input,
                   std::string&                error);

//! LoadMeshInput for a command: on failure prints the reason and answers the exit code
//! (Exit_Interrupted after Ctrl-C); on success answers nothing and clears the progress
//! bar for the command's own output.
std::optional<int> LoadForCommand(const std::string&          path,
                                  const MeshInputOptions&     options,
                                  const ActAPI_ProgressEntry& progress,
                                  MeshInput&                  input);

//! Seconds the kernel may spend translating or meshing the CAD file `path` before the
//! tool gives up on it: 30 s and 20 s per MB, far beyond what valid files take (a 90 KB
//! STEP part takes well under a second) but a bound on damaged geometry the kernel loops on.
double KernelDeadline(const std::string& path);

//! Meshes a shape with the kernel's incremental mesher (angular deflection 0.5 rad).
//! @param[in,out] deflection  linear deflection; 0 or less is replaced by `ratio` times
//!                            the bounding-box diagonal
//! @return false for a null or empty shape, or when the user interrupted
bool MeshShape(const TopoDS_Shape&         shape,
               double&                     deflection,
               const double                ratio,
               const ActAPI_ProgressEntry& progress);

//! Welds the face triangulations of a shape into one triangulation with
//! algoMesh_Conglomerate at tolerance 1e-7: faces placed by their locations, reversed
//! faces turned over, nodes closer than the tolerance shared so that faces meet along
//! their common edges. Null when no triangle results.
Handle(Poly_Triangulation) JoinFaceMeshes(const TopoDS_Shape& shape);

//! Reads a CAD file (.step, .stp, .brep; case ignored) as a shape, without meshing it.
//! @return false with a one-line reason in `error` when the file is missing, of another
//!         extension, unreadable, holds no faces, or the user interrupted
bool LoadShapeInput(const std::string&          path,
                    const ActAPI_ProgressEntry& progress,
                    MeshInput&                  input,
                    std::string&                error);

} // namespace cli

#endif
