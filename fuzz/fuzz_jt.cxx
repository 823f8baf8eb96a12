#include <FuzzFile.hxx>

#include <algoMesh_JT.hxx>

#include <TDocStd_Document.hxx>

// Reads the input at its finest level, then at a coarser one, so that every level's
// segments are decoded.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  const std::string path = FuzzFile(data, size, ".jt");
  for (const int level : {0, 1})
  {
    Handle(quorin::algoMesh_JT) reader = new quorin::algoMesh_JT();
    reader->SetLodIndex(level);
    reader->SetDocument(new TDocStd_Document(""));
    if (!reader->Perform(path.c_str(), Message_ProgressRange()) ||
        reader->NbTriangulationLods() < 2)
      break;
  }
  return 0;
}
