// OBJ exchange: writes a list of placed triangle meshes, each with an optional colour and
// group name, into one Wavefront OBJ file with a companion MTL file for the colours, and
// reads OBJ files back through the kernel's OBJ document reader, either into one merged
// triangulation or into an XDE document. Writing costs O(nodes + triangles) plus a colour
// lookup per mesh.
#ifndef algoMesh_OBJ_HeaderFile
#define algoMesh_OBJ_HeaderFile

#include <algoMesh.hxx>

#include <ActAPI_IAlgorithm.hxx>

#include <Poly_Triangulation.hxx>
#include <Quantity_ColorRGBA.hxx>
#include <TCollection_AsciiString.hxx>
#include <TDocStd_Document.hxx>
#include <gp_Trsf.hxx>

#include <string>
#include <vector>

namespace quorin
{

class algoMesh_EXPORT algoMesh_OBJ : public ActAPI_IAlgorithm
{
  DEFINE_STANDARD_RTTIEXT(algoMesh_OBJ, ActAPI_IAlgorithm)
public:
  //! The progress entry receives the progress of Read and Write; both may be empty.
  algoMesh_OBJ(ActAPI_ProgressEntry progress = ActAPI_ProgressEntry(),
               ActAPI_PlotterEntry  plotter  = ActAPI_PlotterEntry())
      : ActAPI_IAlgorithm(progress, plotter)
  {
  }

  //! Appends a mesh (null allowed: it still gets its group line) placed by `placement`,
  //! without colour and name.
  void AddMesh(const Handle(Poly_Triangulation) & mesh, const gp_Trsf& placement);

  //! Appends a coloured mesh; its colour becomes an MTL material.
  void AddMesh(const Handle(Poly_Triangulation) & mesh,
               const gp_Trsf&            placement,
               const Quantity_ColorRGBA& colour);

  //! Appends a coloured mesh with a group name.
  void AddMesh(const Handle(Poly_Triangulation) & mesh,
               const gp_Trsf&                 placement,
               const Quantity_ColorRGBA&      colour,
               const TCollection_AsciiString& name);

  //! Appends a mesh with a group name, without colour.
  void AddMesh(const Handle(Poly_Triangulation) & mesh,
               const gp_Trsf&                 placement,
               const TCollection_AsciiString& name);

  //! Forgets every added mesh.
  void Clear();

  //! Writes the OBJ file, and "<base name>.mtl" beside it when some mesh has a colour.
  //! Coordinates are written with six decimals. The lists are kept.
  //! @return false for no mesh, a single null mesh, a file that cannot be created or a
  //! path without a file name; no message is sent.
  bool Write(const std::string& path);

  //! Reads an OBJ file and concatenates the triangulations of all its faces into one
  //! mesh (face locations are not applied). A file without faces gives an empty mesh.
  //! @return false when the kernel reader fails; `result` is then untouched.
  bool Read(const std::string& path, Handle(Poly_Triangulation) & result);

  //! Reads an OBJ file into a document. @return the kernel reader's outcome.
  bool Read(const std::string& path, Handle(TDocStd_Document) & document);

private:
  bool materialFileName(const std::string& path, std::string& directory, std::string& name) const;

private:
  std::vector<Handle(Poly_Triangulation)> m_meshes;
  std::vector<gp_Trsf>                    m_placements;
  std::vector<bool>                       m_hasColour;
  std::vector<Quantity_ColorRGBA>         m_colours;
  std::vector<bool>                       m_hasName;
  std::vector<TCollection_AsciiString>    m_names;
};

} // namespace quorin

#endif
