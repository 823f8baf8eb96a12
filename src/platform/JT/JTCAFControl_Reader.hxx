// Reader of JT files into an XDE document. Reading parses the file's header, table of
// contents and scene graph; Transfer then builds the product structure: assemblies as
// compounds of located children, instances as located references, parts as compounds of
// faces, one face per triangle-set shape. Each face carries a JTCAFControl_Triangulation
// placeholder whose levels of detail are late-loaded; when the level index is 0 or more,
// Transfer also loads that level (clamped to the last one) onto every face. Cost: linear in
// the scene graph, plus the decoding of the loaded level.
#ifndef JTCAFControl_Reader_HeaderFile
#define JTCAFControl_Reader_HeaderFile

#include <JT_Export.hxx>
#include <JTCAFControl_Triangulation.hxx>
#include <JtData_Model.hxx>

#include <NCollection_Vector.hxx>
#include <RWMesh_CafReader.hxx>
#include <TDocStd_Document.hxx>
#include <TopoDS_Face.hxx>

#include <string>
#include <unordered_map>
#include <vector>

class JTCAFControl_Reader;
DEFINE_STANDARD_HANDLE(JTCAFControl_Reader, RWMesh_CafReader)

class JT_EXPORT JTCAFControl_Reader : public RWMesh_CafReader
{
public:
  //! A node of the product structure as built by Transfer: an assembly with its instances
  //! (children, one entry per instance) or a part with its face placeholders.
  struct Product
  {
    std::string                                     Name;
    bool                                            IsPart = false;
    std::vector<int>                                Children;
    std::vector<Handle(JTCAFControl_Triangulation)> Faces;
  };

public:
  JTCAFControl_Reader();

  //! Level of detail to load (0 is the finest); -1 loads none.
  void SetLodIndex(const int index) { myLodIndex = index; }
  int  LodIndex() const { return myLodIndex; }

  //! Number of levels of detail in the file (the most any shape has); valid after reading.
  int NbTriangulationLods() const { return myNbTriangulationLods; }

  //! The faces whose triangulation is a late-loaded placeholder, each once.
  const NCollection_Vector<TopoDS_Face>& LateLoadedFaces() const { return myLateLoadedFaces; }

  //! The parsed file; null before reading.
  const Handle(JtData_Model) & Model() const { return myModel; }

  //! The product structure; RootProduct() is -1 before Transfer or for an empty file.
  const std::vector<Product>& Products() const { return myProducts; }
  int                         RootProduct() const { return myRootProduct; }

  //! Decodes one level of every late-loaded face ahead of its use, the faces shared out
  //! over at most `nbThreads` threads (0: as many as the machine has), each thread reading
  //! through a stream of its own. Properties already loaded are left as they are; one that
  //! cannot be decoded stays empty. Runs sequentially for fewer than two properties.
  //! @return false when the user interrupts (some properties may then be loaded)
  bool PreloadLevel(const int level, const int nbThreads, const Message_ProgressRange& progress);

  //! Why the last read failed (one line), empty after success.
  const std::string& ErrorMessage() const { return myError; }

  DEFINE_STANDARD_RTTIEXT(JTCAFControl_Reader, RWMesh_CafReader)

protected:
  //! Reads the file, then calls Transfer with the reader's document.
  Standard_Boolean perform(const TCollection_AsciiString& file,
                           const Message_ProgressRange&   progress,
                           const Standard_Boolean         toProbe) Standard_OVERRIDE;

  //! Parses header, table of contents and scene graph.
  Standard_Boolean performMesh(const TCollection_AsciiString& file,
                               const Message_ProgressRange&   progress,
                               const Standard_Boolean         toProbe) Standard_OVERRIDE;

  //! Builds the product structure into `document` from the parsed scene graph.
  //! @return false when nothing was parsed, the document is null, the scene graph yields no
  //! shape, or the user interrupted
  virtual bool Transfer(Handle(TDocStd_Document) & document, const Message_ProgressRange& progress);

private:
  struct FacePiece;
  TopoDS_Shape buildNode(const int32_t id, const int depth, int& product);
  TopoDS_Shape buildPart(const int32_t id, const JtData_Model::Node& node, int& product);
  void         collectPieces(const int32_t           id,
                             const gp_Trsf&          placement,
                             const int               depth,
                             std::vector<FacePiece>& pieces);
  bool         nodePlacement(const JtData_Model::Node& node, gp_Trsf& placement) const;
  bool         loadLevel(const Message_ProgressRange& progress);

protected:
  int                             myLodIndex;
  int                             myNbTriangulationLods;
  NCollection_Vector<TopoDS_Face> myLateLoadedFaces;
  Handle(JtData_Model) myModel;
  std::string myError;

private:
  std::vector<Product>                                      myProducts;
  int                                                       myRootProduct;
  std::unordered_map<int32_t, std::pair<TopoDS_Shape, int>> myBuilt;
  std::vector<int32_t>                                      myPath;
};

#endif
