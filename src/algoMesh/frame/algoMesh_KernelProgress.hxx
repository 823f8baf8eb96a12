// Bridge from the kernel's progress reporting to a progress scope: a kernel function given
// Start() (a Message_ProgressRange) moves the scope from 0 to its end, and a cancellation
// seen by the scope is the kernel's user break, which the kernel's algorithms poll at
// their own progress steps.
#ifndef algoMesh_KernelProgress_HeaderFile
#define algoMesh_KernelProgress_HeaderFile

#include <algoMesh_ProgressScope.hxx>

#include <Message_ProgressIndicator.hxx>

namespace quorin
{

class algoMesh_EXPORT algoMesh_KernelProgress : public Message_ProgressIndicator
{
  DEFINE_STANDARD_RTTIEXT(algoMesh_KernelProgress, Message_ProgressIndicator)
public:
  explicit algoMesh_KernelProgress(const algoMesh_ProgressScope& scope);

  Standard_Boolean UserBreak() override;

  void Show(const Message_ProgressScope& scope, const Standard_Boolean isForce) override;

private:
  algoMesh_ProgressScope m_scope;
};

} // namespace quorin

#endif
