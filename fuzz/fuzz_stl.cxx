#include <FuzzFile.hxx>

#include <algoMesh_STL.hxx>

#include <Message.hxx>
#include <Message_Messenger.hxx>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  static const bool quiet = (Message::DefaultMessenger()->ChangePrinters().Clear(), true);
  (void)quiet;
  Handle(Poly_Triangulation) mesh;
  quorin::algoMesh_STL::Read(FuzzFile(data, size, ".stl").c_str(), mesh, ActAPI_ProgressEntry());
  return 0;
}
