#include <FuzzFile.hxx>

#include <algoMesh_CADReader.hxx>

#include <Message.hxx>
#include <Message_Messenger.hxx>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  // The kernel reports on the standard output; keep the run quiet.
  static const bool quiet = (Message::DefaultMessenger()->ChangePrinters().Clear(), true);
  (void)quiet;
  TopoDS_Shape shape;
  quorin::algoMesh_CADReader::ReadSTEP(FuzzFile(data, size, ".step"), shape,
                                       ActAPI_ProgressEntry());
  return 0;
}
