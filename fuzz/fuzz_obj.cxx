#include <FuzzFile.hxx>

#include <algoMesh_OBJ.hxx>

#include <Message.hxx>
#include <Message_Messenger.hxx>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  // The kernel reader reports every read on the standard output; keep the run quiet.
  static const bool quiet = (Message::DefaultMessenger()->ChangePrinters().Clear(), true);
  (void)quiet;
  Handle(Poly_Triangulation) mesh;
  quorin::algoMesh_OBJ().Read(FuzzFile(data, size, ".obj"), mesh);
  return 0;
}
