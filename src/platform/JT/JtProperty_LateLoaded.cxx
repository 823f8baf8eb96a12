#include <JtProperty_LateLoaded.hxx>

#include <Message_ProgressScope.hxx>

IMPLEMENT_STANDARD_RTTIEXT(JtProperty_LateLoaded, Standard_Transient)

bool JtProperty_LateLoaded::Load(const Handle(NCollection_BaseAllocator) & allocator,
                                 const Message_ProgressRange&          progress,
                                 const std::shared_ptr<std::ifstream>& stream)
{
  myObject.Nullify();
  Message_ProgressScope scope(progress, "Loading shape segment", 1);
  if (myModel.IsNull() || scope.UserBreak())
    return false;

  // 1. The shared stream, opened on first use.
  std::shared_ptr<std::ifstream> input = stream ? stream : std::make_shared<std::ifstream>();
  if (!input->is_open())
    input->open(myModel->FilePath().ToCString(), std::ios::binary);
  if (!input->is_open())
    return false;

  // 2. The segment and its first element.
  std::vector<uint8_t> payload;
  if (!myModel->ReadSegment(*input, mySegment, payload))
    return false;
  Handle(JtElement_ShapeLOD_TriStripSet) element = new JtElement_ShapeLOD_TriStripSet(allocator);
  if (!element->Decode(payload.data(), payload.size(), myModel->IsBigEndian(),
                       myModel->MajorVersion(), JtData_Model::DecodeLimit(payload.size())))
    return false;
  myObject = element;
  scope.Next();
  return true;
}
