// JT reading benchmark: a whole file read at its finest level of detail into a document
// (scene graph, product structure, every face's level decoded and converted), beside the
// scene graph alone, the decoding of the shape segments alone and a raw read of the file.
// No peer reads JT, so the raw read is the floor the figures are compared with.
#include <BenchCommon.hxx>

#include <algoMesh_JT.hxx>

#include <BRep_Tool.hxx>
#include <TDocStd_Document.hxx>
#include <TopoDS.hxx>

#include <fstream>
#include <memory>

namespace bench
{

namespace
{

int runJtRead(const Args& args)
{
  const std::string& path = args.input;

  // 1. The whole reading, as the command line does it.
  Handle(quorin::algoMesh_JT) reader;
  bool         isRead = false;
  const double whole  = BestOf3(
      [&]()
      {
        reader = new quorin::algoMesh_JT();
        reader->SetLodIndex(0);
        reader->SetDocument(new TDocStd_Document(""));
        isRead = reader->Perform(path.c_str(), Message_ProgressRange());
      });
  long long triangles = 0;
  for (const TopoDS_Face& face : reader->LateLoadedFaces())
  {
    TopLoc_Location location;
    const Handle(Poly_Triangulation) mesh = BRep_Tool::Triangulation(face, location);
    triangles += mesh.IsNull() ? 0 : mesh->NbTriangles();
  }
  const long long bytes = FileSize(path);
  Report("jt-read", path, triangles, whole,
         MegabytesPerSecond(bytes, whole) +
             " triangles/s=" + std::to_string(static_cast<long long>(triangles / whole)));

  // 2. Where the time goes: the scene graph alone, then the level's segments decoded one
  //    after the other without building triangulations.
  const double graph = BestOf3(
      [&]()
      {
        Handle(JtData_Model) model = new JtData_Model();
        std::string error;
        model->Read(path.c_str(), error);
      });
  Report("jt-read-graph", path, static_cast<long long>(reader->Model()->Nodes().size()), graph,
         MegabytesPerSecond(bytes, graph));
  const double decode = BestOf3(
      [&]()
      {
        auto stream = std::make_shared<std::ifstream>();
        for (const JTCAFControl_Reader::Product& product : reader->Products())
          for (const Handle(JTCAFControl_Triangulation) & face : product.Faces)
          {
            const Handle(JTCAFControl_Triangulation::Level)& level = face->Levels().First();
            for (int k = 0; !level.IsNull() && k < level->LateLoaded.Length(); ++k)
            {
              level->LateLoaded.Value(k)->Load(nullptr, Message_ProgressRange(), stream);
              level->LateLoaded.Value(k)->Release();
            }
          }
      });
  Report("jt-read-decode", path, triangles, decode,
         MegabytesPerSecond(bytes, decode) +
             " triangles/s=" + std::to_string(static_cast<long long>(triangles / decode)));
  ReportRawRead(path);
  return isRead ? 0 : 1;
}

} // namespace

void AddJTTasks(std::vector<Task>& tasks)
{
  tasks.push_back(
      {"jt-read", "<file.jt>: read at level 0 into a document; triangles/s, MB/s", runJtRead});
}

} // namespace bench
