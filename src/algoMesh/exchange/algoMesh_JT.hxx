// Reader of JT files into an XDE document with one chosen level of detail triangulated on
// every face. The base reader builds the product structure with late-loaded placeholder
// triangulations; Transfer then loads the chosen level of each face through one shared file
// stream, converts it to a Poly_Triangulation (normals normalised when the level has one per
// node) and releases the decoded data. Cost: linear in the size of the loaded level.
#ifndef algoMesh_JT_HeaderFile
#define algoMesh_JT_HeaderFile

#include <algoMesh.hxx>

#include <JTCAFControl_Reader.hxx>

namespace quorin
{

class algoMesh_JT;
DEFINE_STANDARD_HANDLE(algoMesh_JT, JTCAFControl_Reader)

class algoMesh_EXPORT algoMesh_JT : public JTCAFControl_Reader
{
public:
  algoMesh_JT() = default;

  DEFINE_STANDARD_RTTIEXT(algoMesh_JT, JTCAFControl_Reader)

protected:
  //! Runs the base transfer without loading triangles, then loads level
  //! min(NbTriangulationLods() - 1, requested level) onto every late-loaded face in a
  //! progress scope "Loading JT triangulation" of max(faces, 1) steps. A face whose level
  //! is missing, cannot be decoded or is empty keeps its placeholder. Afterwards the level
  //! index holds the clamped value.
  //! @return false when the base transfer fails or the user interrupts; faces handled
  //! before an interruption keep their new triangulation
  bool Transfer(Handle(TDocStd_Document) & document,
                const Message_ProgressRange& progress) Standard_OVERRIDE;

private:
  //! The triangulation of one level of a placeholder, or null (see Transfer).
  Handle(Poly_Triangulation)
      levelTriangulation(const Handle(JTCAFControl_Triangulation) & placeholder,
                         const Message_ProgressRange&          progress,
                         const std::shared_ptr<std::ifstream>& stream) const;
};

} // namespace quorin

#endif
